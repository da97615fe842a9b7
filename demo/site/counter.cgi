#!/bin/sh
# Counters: one runs down once a second, one runs up in steps.
. "${SCRIPT_FILENAME%/*}/../lib/page.sh"
page PLAIN c1
back_link m2
cat <<END
<a href="$B/index.cgi?sDivname=m2" key="4"/>
</head><body>
<div name="c1">Countdown<br/><counter from="10" to="0"/> s left<a href="#c2" key="1"/></div>
<div name="c2">Count up<br/>by 7: <counter from="0" to="100" step="7"/><a href="#c1" key="1"/></div>
</body></nivoml>
END

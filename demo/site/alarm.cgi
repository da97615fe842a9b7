#!/bin/sh
# The alarm page, loaded by an ALARM notification (or from the menu).
. "${SCRIPT_FILENAME%/*}/../lib/page.sh"
page ALARM alarm
back_link m8
cat <<END
<a href="$B/index.cgi?sDivname=m8" key="4"/>
</head><body>
<div name="alarm"><blink>ALARM!</blink><blink><leds s="LED_STATUS_A"/></blink><br/>3:confirm</div>
</body></nivoml>
END

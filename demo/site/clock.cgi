#!/bin/sh
# The date and time setters: key 1 walks the fields, key 2 and keys 1+2 change
# them; after the last field the program sets the clock and follows the goto.
. "${SCRIPT_FILENAME%/*}/../lib/page.sh"
page PLAIN date
back_link m7
cat <<END
</head><body>
<div name="date">Set date 3&gt;<br/>1&gt; 2+ 12-<setdate format="%d%m%y" inccursorkey="1" incdatakey="2" decdatakey="3" goto="#time"/><a href="#time" key="4"/></div>
<div name="time">Set time 3&gt;<br/>1&gt; 2+ 12-<settime format="%H%M" inccursorkey="1" incdatakey="2" decdatakey="3" autosubmit="8000" goto="#both"/><a href="#both" key="4"/></div>
<div name="both">Both 3:menu<br/>1&gt; 2+ 12-<setdatetime format="%H%M%d%m%y" inccursorkey="1" incdatakey="2" decdatakey="3" goto="$B/index.cgi?sDivname=m7"/><a href="$B/index.cgi?sDivname=m7" key="4"/></div>
</body></nivoml>
END

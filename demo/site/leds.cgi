#!/bin/sh
# LEDs and the display's built-in fixed texts. The status display owns the POWER
# and STATUS LEDs and redraws them after every page draw, so a page's own leds
# never show: notifications drive them. Each screen names an LED and the
# simulator keys whose notifications light it (on) or make it blink (bl);
# DISPLAY is the backlight.
. "${SCRIPT_FILENAME%/*}/../lib/page.sh"
page PLAIN l1
back_link m3
cat <<END
<a href="$B/index.cgi?sDivname=m3" key="4"/>
</head><body>
<div name="l1">POWER<br/>on M  bl m<a href="#l2" key="1"/></div>
<div name="l2">STATUS_A<br/>l on  L off<a href="#l3" key="1"/></div>
<div name="l3">STATUS_B<br/>on n v bl i<a href="#l4" key="1"/></div>
<div name="l4">DISPLAY<br/>on: any key<a href="#l5" key="1"/></div>
<div name="l5"><fixedtext textnr="3"/><a href="#l6" key="1"/></div>
<div name="l6"><fixedtext textnr="12"/><a href="#l1" key="1"/></div>
</body></nivoml>
END

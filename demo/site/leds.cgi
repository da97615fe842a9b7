#!/bin/sh
# LEDs and the display's built-in fixed texts. The status display owns the LEDs
# and redraws them after every page draw, so the page's own leds show only until
# then; the simulator's notification keys (n, i, m, M, a) drive them for real.
. "${SCRIPT_FILENAME%/*}/../lib/page.sh"
page PLAIN l1
back_link m3
cat <<END
<a href="$B/index.cgi?sDivname=m3" key="4"/>
</head><body>
<div name="l1">LEDs: keys<br/>n i m M a<leds s="LED_STATUS_A"/><blink><leds s="LED_STATUS_B"/></blink><a href="#l2" key="1"/></div>
<div name="l2"><fixedtext textnr="3"/><a href="#l3" key="1"/></div>
<div name="l3"><fixedtext textnr="12"/><a href="#l1" key="1"/></div>
</body></nivoml>
END

#!/bin/sh
# The service page, loaded by a SERVICE notification (or from the menu); an
# alarm still leads to the alarm page from here.
. "${SCRIPT_FILENAME%/*}/../lib/page.sh"
page SERVICE service
back_link m9
cat <<END
<a href="$B/index.cgi?sDivname=m9" key="4"/>
</head><body>
<div name="service">Service due<br/><blink_inv>3:ok</blink_inv><leds s="LED_STATUS_B"/></div>
</body></nivoml>
END

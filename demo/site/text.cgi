#!/bin/sh
# Text formats: steady, blinking, inversely blinking and hidden text, nesting,
# skip and br; text and a blinking live clock on the seven-segment field.
. "${SCRIPT_FILENAME%/*}/../lib/page.sh"
page PLAIN t0
back_link m1
cat <<END
<a href="$B/index.cgi?sDivname=m1" key="4"/>
</head><body>
<div name="t0">Text styles<br/>1&gt; 3:menu<a href="#t1" key="1"/></div>
<div name="t1">On<skip/><blink>Blink</blink><br/><blink_inv>Inverse</blink_inv><skip/><off>Off</off><a href="#t2" key="1"/></div>
<div name="t2"><blink>bl<on>ON</on>bl</blink><skip count="2"/>x<br/>nest+skip 2<a href="#t3" key="1"/></div>
<div name="t3">Segment<br/>text<time text="12"/><blink><date text="34" pos="2"/></blink><a href="#t4" key="1"/></div>
<div name="t4">Live clock,<br/><blink>time blinks</blink><blink><time symbols format="$time_format"/></blink><date symbols format="$date_format"/><a href="#t0" key="1"/></div>
</body></nivoml>
END

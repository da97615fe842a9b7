#!/bin/sh
# The home menu: a welcome that moves on by itself, one div per demo page
# (key 1 the next entry, key 3 opens it) and a screen behind a long press of key 2.
. "${SCRIPT_FILENAME%/*}/../lib/page.sh"
page HOME hello
clock
cat <<END
<a href="#about" key="2" duration="2"/>
</head><body>
<div name="hello">Welcome to<br/><blink>nivo_lcd</blink><a href="#m1" key="0" autoswitch="3000"/><a href="#m1" key="4"/></div>
<div name="about">Long press<br/>back in 5 s<a href="#m1" key="0" autoswitch="5000"/><a href="#m1" key="4"/></div>
END
set -- Text:text Counter:counter LEDs:leds Display:display Network:network \
    Form:form Clock:clock Alarm:alarm Service:service
n=$#
i=0
for entry; do
    i=$((i + 1))
    printf '<div name="m%d">%d %s<br/>1:next 3:ok<a href="#m%d" key="1"/><a href="%s/%s.cgi" key="4"/></div>\n' \
        "$i" "$i" "${entry%%:*}" "$((i % n + 1))" "$B" "${entry#*:}"
done
echo '</body></nivoml>'

#!/bin/sh
# The display settings, one DISPLAY_SETTING form a screen: the program applies
# and stores each itself, then loads the next screen of this page (sLoadPage,
# sDivname). The settings tail of the request gives the values on show.
. "${SCRIPT_FILENAME%/*}/../lib/page.sh"
page PLAIN con
back_link m4
# The program keeps a new clock format only while a clock is on show.
clock

# A settings form: label $1, control $2, the div to load after setting it $3.
setting() {
    printf '%s<skip/><form method="get" action="DISPLAY_SETTING">%s' "$1" "$2"
    printf '<input type="hidden" name="sLoadPage" value="%s/%s"/>' "$B" "${3%%#*}"
    printf '<input type="hidden" name="sDivname" value="%s"/>' "${3#*#}"
    printf '<input type="decdata" key="1"/><input type="incdata" key="2"/>'
    printf '<input type="submit" key="4"/></form><br/>1- 2+ 3:set'
}
# The options of a select, the one whose value is $1 marked selected.
options() {
    chosen=$1
    shift
    for option; do
        printf '<option value="%s" readout="%s"' "${option%%=*}" "${option#*=}"
        [ "${option%%=*}" = "$chosen" ] && printf ' selected=""'
        printf '/>'
    done
}
number() {
    case $1 in "" | *[!0-9-]*) echo "$2" ;; *) echo "$1" ;; esac
}
contrast=$(number "$(query sContrast)" 7)
brightness=$(number "$(query sBrightness)" 15)
backlight=$(number "$(query sBacklight)" 60)

echo '</head><body>'
printf '<div name="con">'
setting Contrast "<stepper name=\"CONTRAST\" min=\"0\" max=\"15\" init=\"$contrast\" step=\"1\"/>" 'display.cgi#bri'
printf '</div>\n<div name="bri">'
setting Bright "<stepper name=\"BRIGHTNESS\" min=\"0\" max=\"15\" init=\"$brightness\" step=\"1\"/>" 'display.cgi#light'
printf '</div>\n<div name="light">'
setting Light "<select name=\"BACKLIGHT\">$(options "$backlight" '10=10 s' '60=60 s' \
    '300=5 min' '-1=on' '0=off')</select>" 'display.cgi#clock'
printf '</div>\n<div name="clock">'
setting Clock "<select name=\"TIMEFORMAT\">$(options "$time_format" '%H%M=24 h' '%I%M=12 h')</select>" \
    'display.cgi#date'
printf '</div>\n<div name="date">'
setting Date "<select name=\"DATEFORMAT\">$(options "$date_format" '%d%m%y=d.m.y' '%y%m%d=y.m.d')</select>" \
    'index.cgi#m4'
printf '</div>\n</body></nivoml>\n'

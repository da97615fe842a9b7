# Shared by the demo's CGI pages (POSIX sh, sourced). Every link and form action
# carries the server's own address and port, so the site runs on any port.
B="http://127.0.0.1:${SERVER_PORT:-80}"

# The value of NAME in the query (the program's settings tail included); "" when absent.
query() {
    printf '&%s\n' "${QUERY_STRING:-}" | sed -n "s/.*&$1=\([^&]*\).*/\1/p"
}

# The clock formats the program stores (display settings); the defaults otherwise.
config=${NIVO_LCD_CONFIG:-/etc/config/nivo_lcd.conf}
time_format=$(sed -n 's/^TIMEFORMAT=\(%[HI]%M\)$/\1/p' "$config" 2>/dev/null | tail -n 1)
date_format=$(sed -n 's/^DATEFORMAT=\(%d%m%y\|%y%m%d\)$/\1/p' "$config" 2>/dev/null | tail -n 1)
time_format=${time_format:-%H%M}
date_format=${date_format:-%d%m%y}

# The live clock on the seven-segment field, in those formats.
clock() {
    printf '<date symbols format="%s"/><time symbols format="%s"/>\n' "$date_format" "$time_format"
}

# A received value as text for the panel: "+" was a blank, %22 a double quote;
# cut to one line of 11 cells, then escaped for XML.
shown() {
    printf '%s' "$1" | sed 's/+/ /g; s/%22/"/g' | cut -c 1-11 |
        sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g; s/"/\&quot;/g'
}

# The answer header and the page up to the open head: page type $1, start div $2
# unless the request names another (a reload or a settings form asks for its div).
# The alarm and service notifications lead to the same two pages from every page.
page() {
    start=$(query sDivname)
    case $start in "" | *[!A-Za-z0-9_]*) start=$2 ;; esac
    printf 'Content-Type: text/plain; charset=ISO-8859-1\r\n\r\n'
    printf '<nivoml pagetype="%s" alarmpage="%s/alarm.cgi" servicepage="%s/service.cgi">\n' \
        "$1" "$B" "$B"
    printf '<head><goto div="%s"/>\n' "$start"
}

# Keys 1 and 3 together lead back to the menu entry $1 from every sub page.
back_link() {
    printf '<a href="%s/index.cgi?sDivname=%s" key="5"/>\n' "$B" "$1"
}

#!/bin/sh
# What the form's GET request brought: the method, then one screen per pair
# (name above, value below), the program's settings tail included.
. "${SCRIPT_FILENAME%/*}/../lib/page.sh"
pairs=$(printf '%s\n' "${QUERY_STRING:-}" | tr '&' '\n' | grep -c .)
page PLAIN p0
back_link m6
cat <<END
<a href="$B/index.cgi?sDivname=m6" key="4"/><a href="$B/form.cgi?sDivname=form" key="2"/>
</head><body>
<div name="p0">$(shown "${REQUEST_METHOD:-GET}") with<br/>$pairs values$([ "$pairs" -gt 0 ] && echo '<a href="#p1" key="1"/>')</div>
END
i=0
printf '%s\n' "${QUERY_STRING:-}" | tr '&' '\n' | grep . | while IFS= read -r pair; do
    i=$((i + 1))
    next=$((i % pairs + 1))
    [ "$next" -eq 1 ] && next=0
    printf '<div name="p%d">%s<br/>%s<a href="#p%d" key="1"/></div>\n' \
        "$i" "$(shown "${pair%%=*}")" "$(shown "${pair#*=}")" "$next"
done
echo '</body></nivoml>'

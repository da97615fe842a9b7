#!/bin/sh
# The unit's address: an IP input sent by POST. The answer shows what arrived
# and leads back to the form with that address.
. "${SCRIPT_FILENAME%/*}/../lib/page.sh"
if [ "$REQUEST_METHOD" = POST ]; then
    # The pairs end in CR LF each; the program's settings tail follows them uncounted.
    ip=$(head -c "${CONTENT_LENGTH:-0}" | tr -d '\r' | sed -n 's/^ip=\([0-9.]*\)$/\1/p')
    page PLAIN saved
    back_link m5
    cat <<END
<a href="$B/index.cgi?sDivname=m5" key="4"/>
</head><body>
<div name="saved">${ip:-nothing}<skip/>saved<a href="$B/network.cgi?ip=$ip" key="1"/></div>
</body></nivoml>
END
    exit 0
fi
ip=$(query ip)
case $ip in "" | *[!0-9.]*) ip=192.168.1.10 ;; esac
page PLAIN intro
back_link m5
cat <<END
</head><body>
<div name="intro">IP address<br/>3:edit<a href="#ip" key="4"/></div>
<div name="ip"><form method="post" action="$B/network.cgi" enctype="text/plain"><ipinput name="ip" value="$ip"/><input type="inccursor" key="1"/><input type="incdata" key="2"/><input type="decdata" key="3"/><input type="submit" key="4"/></form><skip/>2+ 3ok</div>
</body></nivoml>
END

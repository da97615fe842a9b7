#!/bin/sh
# A form sent by GET with every kind of control: a text field whose cells take
# letters or digits and blanks, a digits field with a range, a check box, a
# radio group, a select, a stepper and a hidden value. answer.cgi shows what came.
. "${SCRIPT_FILENAME%/*}/../lib/page.sh"
page PLAIN help
back_link m6
cat <<END
</head><body>
<div name="help">1&gt; 2+ 12-<br/>3:send<a href="#form" key="4"/><a href="#form" key="0" autoswitch="4000"/></div>
<div name="form"><form method="get" action="$B/answer.cgi"><input type="text" name="code" value="AB1" mask="4,4,17"/><skip/><input type="checkbox" name="cb" value="c"/><skip/><input type="radio" name="r" value="a" checked=""/><input type="radio" name="r" value="b"/><input type="text" name="pin" value="07" mask="1,1" range="59"/><skip/><select name="sel"><option value="lo"/><option value="mid" selected=""/><option value="hi"/></select><skip/><stepper name="n" min="0" max="9" init="5" step="1"/><input type="hidden" name="from" value="demo"/><input type="inccursor" key="1"/><input type="incdata" key="2"/><input type="decdata" key="3"/><input type="submit" key="4"/><input type="reset" key="6"/></form></div>
</body></nivoml>
END

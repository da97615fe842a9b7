// The built checker run on a page file, as a page author runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "tests/tools/run_command.h"
#include "tools/page_rules.h"
#include "tests/util/temp_dir.h"

namespace {

// Runs the checker in a temporary folder on the file "page"; its exit status.
int Check(const std::string& args, const std::string& head, const std::string& body,
          std::string& output, const std::string& environment = "-u NIVO_LCD_DEVICE") {
    TempDir dir;
    dir.Write("page", "<nivoml><head>" + head + "</head><body>" + body + "</body></nivoml>");
    return RunCommand(
        "cd " + dir.Path() + " && env " + environment + " " + NIVOML_CHECK + " " + args + " page",
        output);
}

// Whether the checker's output holds text; the output is shown when it does not.
testing::AssertionResult Shows(const std::string& output, const std::string& text) {
    if (output.find(text) != std::string::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "no \"" << text << "\" in:\n" << output;
}

TEST(NivomlCheck, DrawsTheStartDivTheNamedDivOrEveryDiv) {
    const std::string head = "<goto div='B'/><a href='#A' key='1'/><a href='#B' key='2'/>";
    const std::string body =
        "<div name='A'>first screen</div><div name='B'>second<br/><blink>line</blink></div>";
    std::string output;
    const std::string rest = "+-----------+\nsegments [           ]\nsymbols  -\nleds     -\n"
                             "contrast 0  brightness 0  fixed text 0\n\n";
    const std::string divB =
        "div B\n+-----------+\n|second     |\n|line       |\n:bbbb       :\n" + rest;
    EXPECT_EQ(Check("", head, body, output), 0);
    EXPECT_EQ(output, divB + "page: clean\n");
    EXPECT_EQ(Check("--all", head, body, output), 0);
    EXPECT_EQ(output, "div A\n+-----------+\n|first scree|\n|n          |\n" + rest + divB +
                          "page: clean\n");
    EXPECT_EQ(Check("--div A --submit", head, body, output, "NIVO_LCD_DEVICE="), 0);  // unset
    EXPECT_TRUE(Shows(output, "|first scree|\n|n          |"));
    EXPECT_TRUE(Shows(output, "no form in div A"));
    TempDir dir;
    EXPECT_EQ(Check("", head, body, output, "-u NIVO_LCD_DEVICE TMPDIR=" + dir.Path()), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));  // its own register file went
    EXPECT_EQ(Check("", head, body, output, "NIVO_LCD_DEVICE=" + dir.Write("lcd", "")), 0);
    EXPECT_EQ(ReadFile(dir.Path("lcd")).substr(0, 6), "second");
}

TEST(NivomlCheck, BadInputGetsAClearMessageAndTheDocumentedExitCode) {
    TempDir dir;
    const std::string good =
        dir.Write("good", "<nivoml><head><goto div='a'/></head><body><div name='a'>x<a href='#a' "
                          "key='1'/></div></body></nivoml>");
    std::string big(5 << 20, ' ');
    big.replace(0, 8, "<nivoml>");
    std::string deep = "<nivoml><head><goto div='a'/></head><body><div name='a'>t";
    for (int i = 0; i < 200000; ++i) deep += i < 100000 ? "<x>" : "</x>";  // dropped, nested
    deep += "</div></body></nivoml>";
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += " " + good;
    const struct {
        std::string args;
        int status;
        std::string message;
    } runs[] = {
        {"--bogus page", 2, "usage: nivoml-check"},
        {"--all --div A page", 2, "--all and --div exclude each other"},
        {"", 2, "no PAGE given"},
        {"--all --play ?incdata page", 2, "--play and --submit act on one div"},
        {"--all --svg x.svg page", 2, "--svg draws one div"},
        {"--svg x.svg a b", 2, "--svg draws one page"},
        {"--play ?submit page", 2, "unknown command: ?submit"},
        {"--help", 0, "Exit status: 0 no finding, 1 a finding in any page"},
        {"--version", 0, "nivoml-check 1."},
        {"/tmp", 2, "nivoml-check: cannot read /tmp: it is a directory"},
        {dir.Write("empty", ""), 1, ":1:1: error: the page is empty:"},
        {dir.Write("cut", "<html>\n<nivoml><head>"), 1, "cut:2:1: error: <nivoml> is never closed"},
        {dir.Write("shut", "A: 1\n\n<nivoml><head/><body>\n<div name='a'>\n<form a='/>'>x</div>"
                           "</nivoml>"),
         1, "shut:5:17: error: XML error: Start-end tags mismatch (</div> while <form> of line 5, "
            "column 1 is open: close it first"},
        {dir.Write("stray", "<nivoml><head/><body><div name='a'>x<!--<b>--></b></nivoml>"), 1,
         "(</b> closes nothing: no <b> is open (the innermost open element is <div> of line 1, "
         "column 22); delete it"},
        {dir.Write("deep", deep), 1, "deep: 66 findings"},  // no stack exhausted
        {"/dev/zero", 1, "/dev/zero:1:1: error: the page is larger than 1 MiB"},
        {dir.Write("big", big), 1, "big:1:1: error: the page is larger than 1 MiB"},
        {"--lint" + ten, 0, good + ": clean\n" + good + ": clean\n"},
        {"--lint - < " + good, 0, "<stdin>: clean\n"},
        {dir.Write("l1", "<?xml version='1.0' encoding='Latin1'?>" + ReadFile(good)), 0, "clean"},
        {dir.Write("l2", "<?xml encoding=\"iso8859-1\"?>" + ReadFile(good)), 0, "clean"},
        {"--div", 2, "unexpected argument: --div\nusage:"},
        {good + " " + good, 0, "==> " + good + " <==\ndiv a\n"},
        {"--lint " + good + " /tmp " + good, 2, "cannot read /tmp"},
    };
    std::string output;
    for (const auto& run : runs) {
        EXPECT_EQ(RunCommand(std::string(NIVOML_CHECK) + " " + run.args, output), run.status)
            << run.args << "\n" << output;
        EXPECT_TRUE(Shows(output, run.message)) << run.args;
    }
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 3) << output;  // both pages checked
}

TEST(NivomlCheck, PlaysCommandsOnTheFormTheirKeyReachesAndPrintsItsRequest) {
    const std::string body =
        "<div name='d'>PIN:<form method='get' action='/cgi/pin.cgi?x=1'><input type='text' "
        "name='pin' value='0+0' mask='9,9,9'/><input type='hidden' name='room' value='Bad 1'/>"
        "<input type='inccursor' key='1'/><input type='incdata' key='2'/><input type='submit' "
        "key='4'/></form><form method='get' action='/two'><input type='text' name='b' "
        "value='0' mask='1'/></form></div>";
    TempDir dir;
    std::string output;
    EXPECT_EQ(
        Check("--play ?incdata,?inccursor,?incdata,!incdata --submit --svg " + dir.Path("p.svg"),
              "<goto div='d'/>", body, output),
        1);  // the second form is never sent
    // The cursor starts on the first cell: 0 becomes 1, then + becomes - .
    EXPECT_TRUE(Shows(output, "after ?incdata\n+-----------+\n|PIN:1+00   |"));
    EXPECT_TRUE(Shows(output, "after ?inccursor\n+-----------+\n|PIN:1+00   |\n:     ^     :"));
    EXPECT_TRUE(Shows(output, "port 80, with the unit's default display settings:\nGET "
                              "/cgi/pin.cgi?pin=1-0&room=Bad+1&sContrast=7&sBacklight=60&"
                              "sBrightness=15 HTTP/1.0\r\n\r\n"));
    EXPECT_TRUE(Shows(output, "warning: <form>: the query \"x=1\" in action is dropped"));
    EXPECT_TRUE(Shows(output, "!incdata: no setter in div d"));
    const std::string svg = ReadFile(dir.Path("p.svg"));  // the last picture
    EXPECT_EQ(svg.substr(svg.find('>', svg.find("id=\"cell-5\"")) + 1, 2), "-<");
    // A reset key brings the page's values back; an unknown div gives the first.
    std::string reset = body;
    reset.insert(reset.find("<input type='submit'"), "<input type='reset' key='3'/>");
    Check("--div nosuch --play ?incdata,?reset --submit", "<goto div='d'/>", reset, output);
    EXPECT_TRUE(Shows(output, "no div named nosuch: the program shows the first\ndiv d\n"));
    EXPECT_TRUE(Shows(output, "after ?reset\n+-----------+\n|PIN:0+00   |"));
    EXPECT_TRUE(Shows(output, "GET /cgi/pin.cgi?pin=0%2B0&room=Bad+1&sContrast=7"));
    EXPECT_EQ(Check("--svg " + dir.Path("no/such.svg"), "<goto div='d'/>", body, output), 2);
    EXPECT_TRUE(Shows(output, "cannot write"));
}

TEST(NivomlCheck, PlaysSetterCommandsOnTheSegmentsAndPrintsTheSettingsText) {
    std::string output;
    EXPECT_EQ(Check("-l 1 --play !incdata,!inccursor --submit", "<goto div='t'/>",
                    "<div name='t'>T<settime format='%H%M' inccursorkey='1' incdatakey='2' "
                    "goto='#t'/><form method='post' action='DISPLAY_SETTING'><input "
                    "type='hidden' name='CONTRAST' value='7'/></form></div>",
                    output),
              1);  // the settings form has no submit key
    // Today's hour, whatever it is, goes up by one; then the cursor moves to the minutes.
    const auto segments = [&](const std::string& heading) {
        const size_t at = output.find("segments [", output.find(heading + "\n"));
        return output.substr(at + 10, 35);
    };
    EXPECT_EQ(std::atoi(segments("after !incdata").c_str()) / 100,
              (std::atoi(segments("div t").c_str()) / 100 + 1) % 24)
        << output;
    EXPECT_EQ(segments("after !inccursor").substr(12), "\n         :  bb       :") << output;
    EXPECT_TRUE(Shows(output, "DEBUG flush"));  // the program's log only with -l
    EXPECT_TRUE(Shows(output, "settings:\nCONTRAST=7;\n"));

    // Twelve steps of a 12-hour clock pass noon or midnight: AM and PM both show.
    const std::string twelve = "!incdata,!incdata,!incdata,!incdata,!incdata,!incdata";
    Check("--play " + twelve + "," + twelve, "<goto div='t'/>",
          "<div name='t'>T<settime format='%I%M' inccursorkey='1' incdatakey='2' goto='#t'/></div>",
          output);
    EXPECT_TRUE(Shows(output, "symbols  COLON TIME AM\n")) << output;
    EXPECT_TRUE(Shows(output, "symbols  COLON TIME PM\n")) << output;
}

TEST(NivomlLint, NamesEachProblemInPageOrderWithItsDivAndElementAndExitsOne) {
    // Each div but the last two leads on to the next by autoswitch.
    const char* const divs[] = {
        "<a href='#nowhere' key='2'/>a",
        "0123456789<br/>twelve chars",
        "a<br/>b<br/>T\xfcr",
        "a<stepper name='s' min='5' max='1'/>",
        "a<bogus/>",
        "0123456789<skip count='11'/><form method='get' action='/f'><stepper name='s' min='0' "
        "max='10'/><input type='submit' key='4'/></form>",
        "a<a href='#B' key='1'/><a href='#A' key='1'/>",
        "<blink><a href='#A' key='2'>a</a></blink>",
        "a<a href='#A' key='8'/>",
        "a<settime format='%H%M' inccursorkey='1' incdatakey='2' goto='#x'/>",
        "a<form method='get' action='/f'><input type='text' name='t' value='0'/></form>",
        "l",
        "m<a href='#A' key='1'/>"};
    std::string body;
    for (char name = 'A'; name <= 'M'; ++name) {
        const std::string next =
            std::string("<a href='#") + char(name + 1) + "' key='0' autoswitch='9'/>";
        body += std::string(name == 'M' ? "\n" : "") + "<div name='" + name + "'>" +
                divs[name - 'A'] +
                (name < 'L' ? next : "") + "</div>";
    }
    std::string output;
    EXPECT_EQ(Check("-l 6 --lint", "<goto div='A'/><a href='#A' key='9'/>", body, output), 1);
    // Each finding carries its element's place; all but the last div stand on line 1.
    const char* const expected[] = {
        "1:30: warning: <a href=\"#A\" key=\"9\">: the keys give only 1..7",
        "1:79: warning: <a href=\"#nowhere\" key=\"2\">: no div is named \"nowhere\", so the "
        "link shows the first div",
        "1:180: warning: text \"twelve chars\" runs past the display (to cell 22 of 0..21): the "
        "panel cuts it after cell 21; shorten it or start it earlier\n",  // no UTF-8 hint
        "1:261: error: text \"T\xc3\xbcr\" is dropped: no cell is left for it (what comes before fills the "
        "22 cells, or a <br/> after the first line's 11 cells led past the last)",
        "1:322: error: <stepper name=\"s\" min=\"5\" max=\"1\">: the program drops it, so nothing "
        "of it shows: it needs min < max",
        "1:415: error: <bogus>: the program drops it, so nothing of it shows: it is no NIVOML "
        "element",
        "1:539: warning: <stepper name=\"s\"> runs past the display (cells 21..22 of 0..21)",
        "1:670: warning: <a href=\"#B\" key=\"1\">: a later binding takes key 1",
        "1:778: warning: <a href=\"#A\" key=\"2\"> binds no key: only links placed directly in "
        "the div or head do; move it out of <blink>",
        "1:870: warning: <a href=\"#A\" key=\"8\">: the keys give only 1..7",
        "1:950: warning: <settime goto=\"#x\">: no div is named \"x\"",
        "1:1074: warning: <form action=\"/f\">: no submit key, no autosubmit: it is never sent",
        "1:1194: warning: div L: no way out",
        "2:1: warning: div M: nothing reaches it",
        "page: 14 findings"};
    size_t at = 0;
    for (const char* line : expected) {
        const std::string prefix = std::string(line).rfind("page:", 0) == 0 ? "" : "page:";
        const size_t found = output.find(prefix + line, at);
        EXPECT_NE(found, std::string::npos) << line << "\n" << output;
        if (found != std::string::npos) at = found;  // in page order
    }
    // The panel starts at the first div; key code 7 leads on like any other.
    EXPECT_EQ(Check("-l 6 --lint", "<goto div='X'/>",
                    "<div name='A'>a<a href='#B' key='7'/></div><div name='B'>b<a href='#B' "
                    "key='7'/></div>",
                    output),
              1);
    EXPECT_TRUE(Shows(output, "page:1:15: warning: <goto div=\"X\">: no div is named \"X\", so"));
    EXPECT_TRUE(Shows(output, "page: 1 finding\n"));
}

// Each author mistake, a small page of its own, gives this finding line.
TEST(NivomlLint, AuthorMistakesGiveTheirFindingLine) {
    const std::string head = "<nivoml><head><goto div='x'/></head><body>";
    const std::string tail = "<a href='#x' key='1'/></div></body></nivoml>";
    const std::string div = head + "<div name='x'>";
    const std::string rejected = ": the program rejects the page and keeps showing the one before; ";
    const std::string keys = ": the keys give only 1..7, so it never fires; write a key code 1..7, "
                             "or key=\"0\" with autoswitch";
    const std::string noLatin1 = ", which ISO-8859-1 does not have: the panel shows \"?\"; write a "
                                 "character of ISO-8859-1 instead";
    const std::string dropped = ": the program drops it, so nothing of it shows: ";
    const std::string iconv = "; save the page as ISO-8859-1 (iconv -f UTF-8 -t ISO-8859-1//"
                              "TRANSLIT, which spells out what it lacks, e.g. EUR for the euro sign)";
    const std::string hint = "; but first save the page as ISO-8859-1, as the UTF-8 finding says: "
                             "each UTF-8 sign takes 2 to 4 cells";
    const std::pair<std::string, std::string> mistakes[] = {
        {div + "Hi\n   <br/>" + tail,
         "page:1:57: warning: text \"Hi\\n   \" holds 1 line feed, 3 blanks of indentation: each "
         "takes a cell and control characters show as junk (the panel shows \"Hi?   \"); write "
         "text right against its tags and break lines inside a tag (Hi<br\\n/>)"},
        {div + "Gr\xc3\xbc\xc3\x9f" "e<br\n/>\xe2\x82\xac 12345678<br/>x" + tail,
         "page:1:59: warning: \"\xc3\x83\xc2\xbc\" looks like UTF-8 for \"\xc3\xbc\" (2 lines hold "
         "such bytes): pages are ISO-8859-1, so the panel shows 2 signs \"\xc3\x83\xc2\xbc\"" +
         iconv + "\npage:2:3: warning: text \"\xc3\xa2\\x82\xc2\xac "
         "12345678\" runs past the display (to cell 22 of 0..21): the panel cuts it after cell "
         "21; shorten it or start it earlier" + hint + "\npage:2:20: error: text \"x\" is "
         "dropped: no cell is left for it (what comes before fills the 22 cells, or a <br/> after "
         "the first line's 11 cells led past the last), so the panel does not show it; shorten "
         "what comes before or move it to another div" + hint},
        {div + "\x01\xe2\x82\xac" + tail,
         "page:1:57: warning: text \"\\x01\xc3\xa2\\x82\xc2\xac\" holds 1 control character: each "
         "takes a cell and control characters show as junk (the panel shows \"?\xc3\xa2\\x82\xc2\xac\"); "
         "use blanks or <skip count=\"N\"/> instead\npage:1:58: warning: \"\xc3\xa2\\x82\xc2\xac\" "
         "looks like UTF-8 for U+20AC (not in ISO-8859-1) (1 line holds such bytes): pages are "
         "ISO-8859-1, so the panel shows 3 signs \"\xc3\xa2\\x82\xc2\xac\"" + iconv},
        {"<?xml version='1.0' encoding='UTF-8'?>\n" + div + "a" + tail,
         "page:1:1: warning: the declaration names encoding \"UTF-8\", but the unit reads every "
         "page as ISO-8859-1 whatever it declares: write encoding=\"ISO-8859-1\" and save the page "
         "in it"},
        {"Content-Type: text/plain\r\n\r\n  " + div + "a\tb<br\n/><a href='#x' key='9'/>" + tail,
         "page:3:59: warning: text \"a\\tb\" holds 1 tab: each takes a cell and control "
         "characters show as junk (the panel shows \"a?b\"); use blanks or <skip count=\"N\"/> "
         "instead\n"
         "page:4:3: warning: <a href=\"#x\" key=\"9\">" + keys},
        {head + "<div name='x'><bogus/></div><div name='y'>y<a href='#x' key='1'/></div></body>"
                "</nivoml>",  // the divs named x and y exist, one dropped
         "page:1:15: warning: <goto div=\"x\">: the div named \"x\" is dropped (see its error), "
         "so the panel starts at the first div; mend that div\npage:1:43: error: <div name=\"x\">: "
         "the program drops the div, so none of it shows: it holds nothing the program can use "
         "(no text, or only dropped elements)\npage:1:57: error: <bogus>" + dropped + "it is no "
         "NIVOML element (tags are case-sensitive)\npage:1:86: warning: <a href=\"#x\" key=\"1\">: "
         "the div named \"x\" is dropped (see its error), so the link shows the first div; mend "
         "that div"},
        {div + "&nbsp;" + tail,
         "page:1:57: warning: &nbsp; is no entity the program knows (only &lt; &gt; &amp; &apos; "
         "&quot; and &#NUMBER;): the panel shows the 6 characters as written; write the "
         "character as &#NUMBER; (for example &#160; for a fixed blank)"},
        {"<nivoml><head>\n<goto/></head><body><div name='x'>a</div></body></nivoml>",
         "page:1:9: error: <head> holds nothing the program can use" + rejected +
         "give it at least <goto div=\"...\"/>\npage:2:1: error: <goto>" + dropped +
         "a goto needs div, the name of the first div to show"},
        {head + "\n<div>a</div></body></nivoml>",
         "page:1:37: error: <body> holds no div the program can use" + rejected + "give it at "
         "least one <div name=\"...\"> with text\npage:2:1: error: <div>: the program drops the "
         "div, so none of it shows: a div needs a name: write <div name=\"...\">"},
        {"<nivom><head/><body/></nivom>",
         "page:1:1: error: no <nivoml> element (the root is <nivom>)" + rejected +
         "the root element of a page is <nivoml>"},
        {"HTTP/1.0 500 Internal Error\r\n\r\n<HTML><body>500</body></HTML>",
         "page:3:1: error: this is an HTML page, not NIVOML (a server error page?)" + rejected +
         "check what the CGI script writes and its error log"},
        {div + "a<br\n/><a href='#x' key='1' autoswich='3000'/></div></body></nivoml>",
         "page:2:3: warning: <a>: unknown attribute autoswich=\"3000\", the program ignores it "
         "(did you mean autoswitch?)"},
        {div + "a<br\n/><time format='%H%M' pso='1'/>" + tail,  // a swap counts one
         "page:2:3: warning: <time>: unknown attribute pso=\"1\", the program ignores it (did "
         "you mean pos?)"},
        {div + "&#x20AC;<!--\n\n-->&#255;&#8364;" + tail,  // 255 is ISO-8859-1's last
         "page:1:57: warning: &#x20AC; is U+20AC" + noLatin1 + "\npage:3:10: warning: &#8364; is "
         "U+20AC" + noLatin1},
        {div + "a<a href='http://127.0.0.1:65536/x.cgi' key='2'/>" + tail,
         "page:1:58: warning: <a href=\"http://127.0.0.1:6553...\" key=\"2\">: the port is no "
         "number 1..65535, so the program never follows it; write the whole URL with the web "
         "server's port, e.g. http://127.0.0.1:8080/page.cgi"},
        {div + "a<a href='#x' key='1'/></div><div name='x'>b</div></body></nivoml>",
         "page:1:86: warning: div x: an earlier div has this name, so links lead there; rename one"},
        {"<nivoml><head>T<goto div='x'/></head><body>hi<br/><DIV/><div name='x'>a<p/>" + tail,
         "page:1:15: warning: text \"T\" in the head shows only before the first div's text, and "
         "the other divs are drawn over what is left of it; move it into the divs\npage:1:44: "
         "warning: text \"hi\" is not shown, yet it takes its cells: the next div's text starts "
         "after it (the body keeps only divs); move it into a div\npage:1:46: warning: <br> is not "
         "shown, yet it moves the next div's text on (the body keeps only divs); move it into a div"
         "\npage:1:51: error: <DIV>" + dropped + "it is no NIVOML element (tags are case-sensitive: "
         "did you mean <div>?)\npage:1:72: error: <p>" + dropped + "it is no NIVOML element (tags "
         "are case-sensitive)"},  // no <a> offered for <p>
        {"<nivoml><head><goto div='x'/></head></nivoml>",
         "page:1:1: error: <nivoml> has no <body>" + rejected + "every page needs a <head> (at "
         "least <goto div=\"...\"/>) and a <body> with a <div name=\"...\">"},
        {div + "a<a href='#x' key='x'/>" + tail,
         "page:1:58: warning: <a>: key=\"x\" is not a whole number, so the program reads 0; key is "
         "a key code 1..7 (keys 1, 2, 3 are 1, 2, 4; combinations add up): write it in digits\n"
         "page:1:58: warning: <a href=\"#x\" key=\"0\">" + keys},
        {div + "a<a href='other.cgi' key='2'/>" + tail,
         "page:1:58: warning: <a href=\"other.cgi\" key=\"2\">: a relative URL, which the program "
         "sends as it stands, so no page comes; write the whole URL with the web server's port, "
         "e.g. http://127.0.0.1:8080/page.cgi"},
        {div + "a<a href='http://127.0.0.1/x.cgi' key='2'/>" + tail,
         "page:1:58: warning: <a href=\"http://127.0.0.1/x.cgi\" key=\"2\">: the URL names no "
         "port, so the program asks port 80 for it; write the whole URL with the web server's "
         "port, e.g. http://127.0.0.1:8080/page.cgi"},
        {div + "a<a href='#x' key='1' duration='abc'/></div></body></nivoml>",
         "page:1:58: warning: <a>: duration=\"abc\" is not a whole number, so the program reads 0; "
         "duration is whole seconds the key must be held: write it in digits"},
        {div + "a<leds s='LED_POWER'/>" + tail,
         "page:1:58: warning: <leds>: the status display sets LED_POWER, LED_STATUS_A and "
         "LED_STATUS_B after every draw of a page, so the panel never shows what this element "
         "asks; show the state as text and leave the element out"},
        {div + "<input type='checkbox' name='c' value='a' checked='off'/>" + tail,
         "page:1:57: warning: <input>: checked=\"off\" still counts as checked: the program "
         "looks only at whether the attribute is there; leave it out to switch it off"},
    };
    TempDir dir;
    std::string output;
    for (const auto& [page, line] : mistakes) {
        EXPECT_EQ(RunCommand(std::string(NIVOML_CHECK) + " --lint " + dir.Write("page", page) +
                                 " | sed 's|^" + dir.Path() + "/||'",
                             output),
                  0);  // sed's status
        const size_t count = std::count(line.begin(), line.end(), '\n') + 1;
        EXPECT_EQ(output, line + "\npage: " + std::to_string(count) +
                              (count == 1 ? " finding\n" : " findings\n"))
            << page;
    }
}

// Each dropped element, on a line of its own, is named with the reason it went, also when
// its form went with it.
TEST(NivomlLint, DroppedElementsSayWhatTheyLack) {
    const std::string form = "<form method='get' action='http://127.0.0.1:80/f'>";
    const std::pair<std::string, std::string> dropped[] = {
        {"<date format='%x'/>", "without text, format must be \"%d%m%y\" or \"%y%m%d\""},
        {"<time pos='4' format='%H%M'/>", "pos=\"4\" is outside 0..3"},
        {"<date pos='6' text='1'/>", "pos=\"6\" is outside 0..5"},
        {form + "<input type='submit'/></form>", ":51: error: <input type=\"submit\">: the "
         "program drops it, so nothing of it shows: a key button needs key"},
        {form + "<input type='password' name='p' value='x'/></form>", "type=\"password\" is none"},
        {form + "<input type='text' value='x'/></form>", "it needs a name"},
        {form + "<input type='text' name='t'/></form>", "its value is empty: a text field"},
        {form + "<input type='hidden' name='h'/></form>", "a hidden field needs the value it sends"},
        {"<settime format='%H%M' incdatakey='2' goto='#x'/>", "it needs inccursorkey"},
        {"<setdate format='%d%m%y' inccursorkey='1' goto='#x'/>", "it needs incdatakey or"},
        {"<setdate format='%d%m%y' inccursorkey='1' decdatakey='2'/>", "it needs goto"},
        {"<settime format='%H' inccursorkey='1' incdatakey='2' goto='#x'/>",
         "format=\"%H\" is not \"%H%M\" or \"%I%M\""},
        {"<a key='1'/>", "a link needs href"},
        {"<a href='#x'/>", "a link needs key"},
        {"<form method='put' action='/f'><input type='submit' key='1'/></form>",
         "method=\"put\" is neither GET nor POST"},
        {"<form method='get' action='http://h:65536/f'><input type='submit' key='1'/></form>",
         "the port in action=\"http://h:65536/f\" is not 1..65535"},
        {form + "<select name='s'/></form>", "a select needs at least one <option>"},
        {"<fixedtext textnr='20'/>", "textnr=\"20\" is not 0..19"},
        {"<counter from='5' to='5'/>", "from and to are equal"},
        {"<skip count='-1'/>", "count=\"-1\" is negative"},
        {"<dvi/>", "it is no NIVOML element (did you mean <div>?)"},
        {"<leds s='LED_POWR'/>", "\"LED_POWR\" is no LED name, the program ignores it (did you "
         "mean LED_POWER?)"},
        {form + "<input type='text' name='t' value='ab' mask='1,x'/></form>",
         "mask entry \"x\" is not a whole number, so the program reads 0"},
        {form + "<input type='text' name='t' value='ab' mask='1'/></form>",
         "mask has 1 entries for a value of 2 characters: the program fixes the cells"},
        {form + "<input type='text' name='t' value='ab' range='9x'/></form>",
         "range=\"9x\" holds \"x\", not a digit"},
        {form + "<ipinput name='i' value='1.2.3.400'/></form>", "starts at 001.002.003.255"},
    };
    std::string body = "<div name='x'>a<a href='#x' key='1'/>";
    for (const auto& item : dropped) body += "\n" + item.first;
    std::string output;
    EXPECT_EQ(Check("--lint", "<goto div='x'/>", body + "</div>", output), 1);
    EXPECT_TRUE(Shows(output, "page: 36 findings\n"));  // nothing else
    std::istringstream lines(output);
    std::vector<std::string> found(std::size(dropped));
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find(':', 5), row = std::atoi(line.c_str() + 5) - 2;
        if (at != std::string::npos && row < found.size()) found[row] += line.substr(at);
    }
    for (size_t i = 0; i < std::size(dropped); ++i) {
        EXPECT_TRUE(Shows(found[i], dropped[i].second)) << dropped[i].first;
    }
}

TEST(NivomlLint, DivsReachedOtherThanByKeysAndFullRowsAreClean) {
    // A reaches B by autoswitch, B reaches C by a setter's goto, C reaches D by a settings
    // form's sDivname, E only by the head's autoswitch; A's own key 4 hides the head's.
    const std::string head =
        "<goto div='A'/><a href='http://127.0.0.1:8080/x' key='4'/>"
        "<a href='#E' key='0' autoswitch='2147483647'/>";
    const std::string body =
        "<div name='A'>a<a href='#B' key='0' autoswitch='900'/><a href='#A' key='4'/>"
        "<a href='#A' key='7'/></div><div name='B'>b<a href='!inccursor' key='5'/><setdate format='%y%m%d' inccursorkey='1' "
        "incdatakey='2' goto='#C'/></div><div name='C'><form method='get' "
        "action='DISPLAY_SETTING'><input type='hidden' name='sDivname' value='D'/><input "
        "type='submit' key='2'/></form>c<a href='?submit' key='6'/></div><div name='D'>0123456789<form method='get' "
        "action='/f' autosubmit='5'><input type='text' name='t' value='0'/></form><br/>eleven "
        "cell</div><div name='E'>&#255;P:<skip count='4'/><form method='get' action='/i'><ipinput "
        "name='ip' value='10.0.0.1'/></form></div>";
    std::string output;
    EXPECT_EQ(Check("-l 6 --lint", head, body, output), 0) << output;
    EXPECT_EQ(output, "page: clean\n");  // and no picture with --lint alone
    EXPECT_EQ(Check("-l 6 --lint --all", head, body, output), 0) << output;
    EXPECT_TRUE(Shows(output, "div E\n+-----------+\n|\xC3\xBF" "P:"));
}

// The reference's pages pass the checker, and the reference and the checker know every
// attribute the program reads.
TEST(NivomlReference, ExamplesAreCleanAndEveryAttributeReadIsDescribed) {
    const std::string doc = ReadFile(NIVO_SOURCE_DIR "/docs/nivoml.md");
    TempDir dir;
    std::string output;
    int examples = 0;
    for (size_t at = doc.find("```xml\n"); at != std::string::npos;
         at = doc.find("```xml\n", at + 1)) {
        const size_t end = doc.find("```", at + 7);
        const std::string page = dir.Write("example", doc.substr(at + 7, end - at - 7));
        EXPECT_EQ(RunCommand(std::string(NIVOML_CHECK) + " --lint " + page, output), 0) << output;
        ++examples;
    }
    EXPECT_GE(examples, 8);
    const std::regex lookup(R"re((getAttribute|isAttributeSet)\("(\w+)")re");
    int attributes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(NIVO_SOURCE_DIR "/markup")) {
        const std::string source = ReadFile(entry.path());
        for (std::sregex_iterator it(source.begin(), source.end(), lookup), last; it != last; ++it) {
            const std::string name = (*it)[2];
            ++attributes;
            EXPECT_NE(doc.find("`" + name + "`"), std::string::npos) << name;
            const bool known = std::any_of(
                ElementRules().begin(), ElementRules().end(), [&](const ElementRule& rule) {
                    return std::any_of(rule.attributes.begin(), rule.attributes.end(),
                                       [&](const AttributeRule& a) { return name == a.name; });
                });
            EXPECT_TRUE(known) << name << " read in " << entry.path();
        }
    }
    EXPECT_GE(attributes, 40);
}

}  // namespace

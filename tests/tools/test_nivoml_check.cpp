// The built checker run on a page file, as a page author runs it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/tools/run_command.h"
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
    const std::string head = "<goto div='B'/>";
    const std::string body =
        "<div name='A'>first screen</div><div name='B'>second<br/><blink>line</blink></div>";
    std::string output;
    EXPECT_EQ(Check("", head, body, output), 0);
    EXPECT_TRUE(
        Shows(output, "div B\n+-----------+\n|second     |\n|line       |\n:bbbb       :\n"));
    EXPECT_EQ(Check("--all", head, body, output), 0);
    EXPECT_LT(output.find("|first scree|"), output.find("|second     |")) << output;
    EXPECT_EQ(Check("--div A --submit", head, body, output, "NIVO_LCD_DEVICE="), 0);  // unset
    EXPECT_TRUE(Shows(output, "|first scree|\n|n          |"));
    EXPECT_TRUE(Shows(output, "no form in div A"));
    TempDir dir;
    EXPECT_EQ(Check("", head, body, output, "NIVO_LCD_DEVICE=" + dir.Write("lcd", "")), 0);
    EXPECT_EQ(ReadFile(dir.Path("lcd")).substr(0, 6), "second");
}

TEST(NivomlCheck, RejectedPagesExitOneAndWrongUsageTwo) {
    std::string output;
    EXPECT_EQ(Check("-l 5", "\n", "<div name='A'>x</div>\n</body>", output), 1);
    EXPECT_TRUE(Shows(output, "page rejected"));
    EXPECT_TRUE(Shows(output, "NIVOML-Fehler in Zeile:  3"));
    EXPECT_EQ(output.find("DEBUG"), std::string::npos);

    const std::pair<std::string, std::string> wrong[] = {
        {"--bogus page", "usage: nivoml-check"},
        {"--all --div A page", "--all and --div exclude each other"},
        {"", "no PAGE given"},
        {"--all --play ?incdata page", "--play and --submit act on one div"},
        {"--all --svg x.svg page", "--svg draws one div"},
        {"--play ?submit page", "unknown command: ?submit"},
        {"/tmp", "cannot read /tmp: it is a directory"},
        {"/dev/zero", "larger than 4 MiB"},
    };
    for (const auto& [args, message] : wrong) {
        EXPECT_EQ(RunCommand(std::string(NIVOML_CHECK) + " " + args, output), 2) << args;
        EXPECT_TRUE(Shows(output, message)) << args;
    }
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
        0);
    // The cursor starts on the first cell: 0 becomes 1, then + becomes - .
    EXPECT_TRUE(Shows(output, "after ?incdata\n+-----------+\n|PIN:1+00   |"));
    EXPECT_TRUE(Shows(output, "after ?inccursor\n+-----------+\n|PIN:1+00   |\n:     ^     :"));
    EXPECT_TRUE(Shows(output, "port 80:\nGET /cgi/pin.cgi?pin=1-0&room=Bad+1 HTTP/1.0\r\n\r\n"));
    EXPECT_TRUE(Shows(output, "!incdata: no setter in div d"));
    const std::string svg = ReadFile(dir.Path("p.svg"));  // the last picture
    EXPECT_EQ(svg.substr(svg.find('>', svg.find("id=\"cell-5\"")) + 1, 2), "-<");
    EXPECT_EQ(Check("--svg " + dir.Path("no/such.svg"), "<goto div='d'/>", body, output), 2);
    EXPECT_TRUE(Shows(output, "cannot write"));
}

TEST(NivomlCheck, PlaysSetterCommandsOnTheSegmentsAndPrintsTheSettingsText) {
    std::string output;
    EXPECT_EQ(Check("--play !incdata,!inccursor --submit", "<goto div='t'/>",
                    "<div name='t'>T<settime format='%H%M' inccursorkey='1' incdatakey='2' "
                    "goto='#t'/><form method='post' action='DISPLAY_SETTING'><input "
                    "type='hidden' name='CONTRAST' value='7'/></form></div>",
                    output),
              0);
    // Today's hour, whatever it is, goes up by one; then the cursor moves to the minutes.
    const auto segments = [&](const std::string& heading) {
        const size_t at = output.find("segments [", output.find(heading + "\n"));
        return output.substr(at + 10, 35);
    };
    EXPECT_EQ(std::atoi(segments("after !incdata").c_str()) / 100,
              (std::atoi(segments("div t").c_str()) / 100 + 1) % 24)
        << output;
    EXPECT_EQ(segments("after !inccursor").substr(12), "\n         :  bb       :") << output;
    EXPECT_TRUE(Shows(output, "DEBUG flush"));  // -l 1 by default
    EXPECT_TRUE(Shows(output, "settings:\nCONTRAST=7;\n"));
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
        body += std::string("<div name='") + name + "'>" + divs[name - 'A'] +
                (name < 'L' ? next : "") + "</div>";
    }
    std::string output;
    EXPECT_EQ(Check("-l 6 --lint", "<goto div='A'/><a href='#A' key='9'/>", body, output), 1);
    EXPECT_EQ(output,
              R"(page: head: <a href="#A" key="9">: the keys give only 1..7, so it never fires
page: div A: <a href="#nowhere" key="2">: no div named "nowhere"
page: div B: text "twelve chars" runs past the display (to cell 22 of 0..21)
page: div C: text ")"
              "T\xc3\xbcr"
              R"(" is dropped: the display is full
page: div D: <stepper name="s" min="5" max="1"> is dropped: the program cannot use it
page: div E: <bogus> is dropped: the program cannot use it
page: div F: <stepper name="s"> runs past the display (cells 21..22 of 0..21)
page: div G: <a href="#B" key="1">: a later binding takes key 1, so the key never fires it
page: div H: <a href="#A" key="2"> binds no key: only links placed directly in the div or head do
page: div I: <a href="#A" key="8">: the keys give only 1..7, so it never fires
page: div J: <settime goto="#x">: no div named "x"
page: div K: <form action="/f">: no submit key, no autosubmit: it is never sent
page: div L: no way out: no key bound, no autoswitch, no goto
page: div M: nothing reaches it: not the start div, and no link, goto or autoswitch of a reachable div leads to it
page: 14 findings
)");
    EXPECT_EQ(Check("-l 6 --lint", "<goto div='X'/>", "<div name='A'>a<a href='#A' key='1'/></div>",
                    output),
              1);
    EXPECT_TRUE(Shows(output, R"(page: head: <goto div="X">: no div of that name, the first div)"));
}

TEST(NivomlLint, DivsReachedOtherThanByKeysAndFullRowsAreClean) {
    // A reaches B by autoswitch, B reaches C by a setter's goto, C reaches D by a settings
    // form's sDivname, E only by the head's autoswitch; A's own key 4 hides the head's.
    const std::string head =
        "<goto div='A'/><a href='http://127.0.0.1:8080/x' key='4'/>"
        "<a href='#E' key='0' autoswitch='900'/>";
    const std::string body =
        "<div name='A'>a<a href='#B' key='0' autoswitch='900'/><a href='#A' key='4'/>"
        "<a href='#A' key='7'/></div><div name='B'>b<setdate format='%y%m%d' inccursorkey='1' "
        "incdatakey='2' goto='#C'/></div><div name='C'><form method='get' "
        "action='DISPLAY_SETTING'><input type='hidden' name='sDivname' value='D'/><input "
        "type='submit' key='2'/></form>c</div><div name='D'>0123456789<form method='get' "
        "action='/f' autosubmit='5'><input type='text' name='t' value='0'/></form><br/>eleven "
        "cell</div><div name='E'>IP:<skip count='4'/><form method='get' action='/i'><ipinput "
        "name='ip' value='10.0.0.1'/></form></div>";
    std::string output;
    EXPECT_EQ(Check("-l 6 --lint", head, body, output), 0) << output;
    EXPECT_EQ(output, "page: clean\n");
    EXPECT_EQ(Check("-l 6 --lint --all", head, body, output), 0) << output;
    EXPECT_TRUE(Shows(output, "div E\n+-----------+\n|IP:"));
}

}  // namespace

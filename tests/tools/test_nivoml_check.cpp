#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "tests/tools/run_command.h"

namespace {

// Runs the built checker with a page on standard input; returns its exit status.
int RunChecker(const std::string& args, const std::string& page, std::string& output,
               const std::string& environment = "-u NIVO_LCD_DEVICE") {
    char pagePath[] = "/tmp/nivoml_check_page_XXXXXX";
    int fd = mkstemp(pagePath);
    if (fd < 0) return -1;
    if (write(fd, page.data(), page.size()) != static_cast<ssize_t>(page.size())) return -1;
    close(fd);
    int status = RunCommand("env " + environment + " " + NIVOML_CHECK + " " + args + " - < " +
                                pagePath,
                            output);
    unlink(pagePath);
    return status;
}

const std::string kTwoDivs =
    "<nivoml><head><goto div=\"B\"/></head><body>"
    "<div name=\"A\">first screen</div><div name=\"B\">second<br/><blink>line</blink></div>"
    "</body></nivoml>";

TEST(NivomlCheck, DrawsTheStartDivAndExitsZero) {
    std::string output;
    EXPECT_EQ(RunChecker("", kTwoDivs, output), 0);
    EXPECT_NE(output.find("div B\n+-----------+\n|second     |\n|line       |\n:bbbb       :\n"),
              std::string::npos)
        << output;
}

TEST(NivomlCheck, DrawsEveryDivOrTheNamedOne) {
    std::string output;
    EXPECT_EQ(RunChecker("--all", kTwoDivs, output), 0);
    EXPECT_LT(output.find("|first scree|"), output.find("|second     |")) << output;
    EXPECT_EQ(RunChecker("--div A", kTwoDivs, output), 0);
    EXPECT_NE(output.find("|first scree|\n|n          |"), std::string::npos) << output;
    EXPECT_EQ(RunChecker("--div A", "<nivoml><head><goto div=\"A\"/></head><body><div name=\"A\">"
                                    "0123456789<br/>twelve chars</div></body></nivoml>",
                         output),
              0);
    EXPECT_NE(output.find("Text geht über das Display hinaus: twelve chars"), std::string::npos)
        << output;
}

TEST(NivomlCheck, RejectedPagesExitOneWithTheReasonAndPosition) {
    std::string output;
    EXPECT_EQ(RunChecker("", "<nivoml><body><div name=\"A\">x</div></body></nivoml>", output), 1);
    EXPECT_NE(output.find("page rejected"), std::string::npos);
    EXPECT_EQ(RunChecker("-l 5", "<nivoml>\n<head>\n</nivoml>", output), 1);
    EXPECT_NE(output.find("NIVOML-Fehler in Zeile:  3"), std::string::npos) << output;
    EXPECT_EQ(output.find("DEBUG"), std::string::npos);
}

TEST(NivomlCheck, WrongUsageExitsTwo) {
    std::string output;
    EXPECT_EQ(RunChecker("--bogus", kTwoDivs, output), 2);
    EXPECT_NE(output.find("usage: nivoml-check"), std::string::npos);
    EXPECT_EQ(RunChecker("--all --div A", kTwoDivs, output), 2);
    EXPECT_EQ(RunChecker("--div", "", output), 2);
}

TEST(NivomlCheck, DrawsOntoTheDeviceNamedByTheEnvironment) {
    char device[] = "/tmp/nivoml_check_lcd_XXXXXX";
    int fd = mkstemp(device);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string output;
    EXPECT_EQ(RunChecker("", kTwoDivs, output, std::string("NIVO_LCD_DEVICE=") + device), 0);
    std::ifstream registers(device, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(registers)), {});
    EXPECT_EQ(bytes.substr(0, 6), "second");
    unlink(device);
}

const std::string kPinForm =
    "<nivoml><head><goto div=\"pin\"/></head><body><div name=\"pin\">PIN:"
    "<form method=\"get\" action=\"http://127.0.0.1:8080/cgi/pin.cgi?x=1\">"
    "<input type=\"text\" name=\"pin\" value=\"0+0\" mask=\"9,9,9\"/>"
    "<input type=\"hidden\" name=\"room\" value=\"Bad 1\"/>"
    "<input type=\"submit\" key=\"4\"/></form></div></body></nivoml>";

TEST(NivomlCheck, PlaysFormCommandsAndPrintsTheEditedRequest) {
    std::string output;
    EXPECT_EQ(RunChecker("-l 4 --play ?incdata,?inccursor,?incdata --submit", kPinForm, output), 0);
    // The cursor starts on the first cell: 0 becomes 1, then + becomes - .
    EXPECT_NE(output.find("after ?incdata\n+-----------+\n|PIN:1+0    |\n:    ^      :"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("after ?inccursor\n+-----------+\n|PIN:1+0    |\n:     ^     :"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("request to port 8080:\n"
                          "GET /cgi/pin.cgi?pin=1-0&room=Bad+1 HTTP/1.0\r\n\r\n"),
              std::string::npos)
        << output;
}

TEST(NivomlCheck, SubmitShowsTheSettingsTextOfADisplaySettingForm) {
    std::string output;
    const std::string page =
        "<nivoml><head><goto div=\"s\"/></head><body><div name=\"s\">"
        "<form method=\"post\" action=\"DISPLAY_SETTING\"><input type=\"hidden\" "
        "name=\"CONTRAST\" value=\"7\"/><input type=\"hidden\" name=\"BACKLIGHT\" "
        "value=\"30\"/>x</form></div></body></nivoml>";
    EXPECT_EQ(RunChecker("--submit", page, output), 0);
    EXPECT_NE(output.find("settings:\nCONTRAST=7;BACKLIGHT=30;\n"), std::string::npos) << output;
    EXPECT_EQ(RunChecker("--play !incdata", page, output), 0);
    EXPECT_NE(output.find("!incdata: no setter in div s"), std::string::npos) << output;
    EXPECT_EQ(RunChecker("--play ?submit", page, output), 2);
    EXPECT_EQ(RunChecker("--all --submit", page, output), 2);
}

TEST(NivomlCheck, PlayedCommandsReachTheFormWhoseKeyIsBoundToThem) {
    std::string output;
    const std::string page =
        "<nivoml><head><goto div=\"d\"/></head><body><div name=\"d\">"
        "<form method=\"get\" action=\"/one\"><input type=\"text\" name=\"a\" value=\"0\" "
        "mask=\"1\"/><input type=\"incdata\" key=\"2\"/><input type=\"submit\" key=\"4\"/>"
        "</form><form method=\"get\" action=\"/two\"><input type=\"text\" name=\"b\" "
        "value=\"0\" mask=\"1\"/></form></div></body></nivoml>";
    EXPECT_EQ(RunChecker("-l 4 --play ?incdata --submit", page, output), 0);
    EXPECT_NE(output.find("GET /one?a=1 HTTP/1.0\r\n"), std::string::npos) << output;
}

// A page with the given head content (after a goto to A) and body.
std::string LintPage(const std::string& head, const std::string& body) {
    return "<nivoml><head><goto div=\"A\"/>" + head + "</head><body>" + body + "</body></nivoml>";
}

TEST(NivomlCheck, LintNamesEachProblemWithItsDivAndElementAndExitsOne) {
    const std::string toB = "<a href=\"#B\" key=\"1\"/>";
    const std::string toA = "<a href=\"#A\" key=\"1\"/>";
    struct Case {
        std::string head, body, finding;  // the one finding the page has
    } cases[] = {
        {"", "<div name=\"A\">a<a href=\"#nowhere\" key=\"2\"/>" + toB + "</div><div name=\"B\">b" +
                 toA + "</div>",
         "div A: <a href=\"#nowhere\" key=\"2\">: no div named \"nowhere\""},
        {"", "<div name=\"X\">x<a href=\"#X\" key=\"1\"/></div>",
         "head: <goto div=\"A\">: no div of that name"},
        {toA, "<div name=\"A\">a</div><div name=\"B\">b</div>", "div B: nothing reaches it"},
        {"", "<div name=\"A\">a" + toB + "</div><div name=\"B\">b</div>", "div B: no way out"},
        {toA,
         "<div name=\"A\">a<form method=\"get\" action=\"/f\"><input type=\"text\" name=\"t\" "
         "value=\"0\"/></form></div>",
         "div A: <form action=\"/f\">: no submit key"},
        {toA, "<div name=\"A\">0123456789<br/>twelve chars</div>",
         "div A: text \"twelve chars\" runs past the display (to cell 22"},
        {toA, "<div name=\"A\">a<br/>b<br/>lost</div>",
         "div A: text \"lost\" is dropped: the display is full"},
        {toA, "<div name=\"A\">a<stepper name=\"s\" min=\"5\" max=\"1\"/></div>",
         "div A: <stepper name=\"s\" min=\"5\" max=\"1\"> is dropped"},
        {toA, "<div name=\"A\">a<bogus/></div>", "div A: <bogus> is dropped"},
        {toA,
         "<div name=\"A\">0123456789<skip count=\"11\"/><form method=\"get\" action=\"/f\">"
         "<stepper name=\"s\" min=\"0\" max=\"10\"/><input type=\"submit\" key=\"4\"/></form></div>",
         "div A: <stepper name=\"s\"> runs past the display (cells 21..22"},
        {"<a href=\"#B\" key=\"2\"/>",
         "<div name=\"A\">a" + toB + "<a href=\"#A\" key=\"1\"/></div><div name=\"B\">b</div>",
         "div A: <a href=\"#B\" key=\"1\">: a later binding takes key 1"},
        {toA, "<div name=\"A\"><blink><a href=\"#A\" key=\"2\">a</a></blink></div>",
         "div A: <a href=\"#A\" key=\"2\"> binds no key"},
        {toA, "<div name=\"A\">a<a href=\"#A\" key=\"8\"/></div>",
         "div A: <a href=\"#A\" key=\"8\">: the keys give only 1..7"},
        {toA,
         "<div name=\"A\">a<settime format=\"%H%M\" inccursorkey=\"1\" incdatakey=\"2\" "
         "goto=\"#gone\"/></div>",
         "div A: <settime goto=\"#gone\">: no div named \"gone\""},
    };
    std::string output;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.finding);
        EXPECT_EQ(RunChecker("-l 6 --lint", LintPage(c.head, c.body), output), 1) << output;
        EXPECT_NE(output.find("<stdin>: " + c.finding), std::string::npos) << output;
        EXPECT_NE(output.find("<stdin>: 1 finding\n"), std::string::npos) << output;
    }
    // Divs reached only by an autoswitch, a setter's goto or a settings form's sDivname.
    const std::string reached = LintPage(
        "<a href=\"http://127.0.0.1:8080/x\" key=\"4\"/>",
        "<div name=\"A\">a<a href=\"#B\" key=\"0\" autoswitch=\"900\"/></div>"
        "<div name=\"B\">b<setdate format=\"%y%m%d\" inccursorkey=\"1\" incdatakey=\"2\" "
        "goto=\"#C\"/></div><div name=\"C\"><form method=\"get\" action=\"DISPLAY_SETTING\">"
        "<input type=\"hidden\" name=\"sDivname\" value=\"D\"/><input type=\"submit\" "
        "key=\"2\"/></form>c</div><div name=\"D\">d</div>");
    EXPECT_EQ(RunChecker("-l 6 --lint", reached, output), 0) << output;
    EXPECT_EQ(output, "<stdin>: clean\n");
}

TEST(NivomlCheck, UnusablePagesAndOptionsAreRefusedWithTheReason) {
    const std::string checker = std::string("env -u NIVO_LCD_DEVICE ") + NIVOML_CHECK + " ";
    std::string output;
    EXPECT_EQ(RunCommand(checker + "/tmp", output), 2);
    EXPECT_NE(output.find("cannot read /tmp: it is a directory"), std::string::npos) << output;
    EXPECT_EQ(RunCommand(checker + "/dev/zero", output), 2);
    EXPECT_NE(output.find("larger than 4 MiB"), std::string::npos) << output;
    EXPECT_EQ(RunChecker("--all --play ?incdata", kTwoDivs, output), 2);
    EXPECT_NE(output.find("--play and --submit act on one div"), std::string::npos) << output;
    // Set but empty is unset: a temporary register file.
    EXPECT_EQ(RunChecker("", kTwoDivs, output, "NIVO_LCD_DEVICE="), 0) << output;
    EXPECT_NE(output.find("|second     |"), std::string::npos) << output;
}

}  // namespace

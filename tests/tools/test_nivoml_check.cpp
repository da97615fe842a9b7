#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>
#include <sys/wait.h>

namespace {

// Runs the built checker with a page on standard input; returns its exit status.
int RunChecker(const std::string& args, const std::string& page, std::string& output,
               const std::string& environment = "-u NIVO_LCD_DEVICE") {
    char pagePath[] = "/tmp/nivoml_check_page_XXXXXX";
    int fd = mkstemp(pagePath);
    if (fd < 0) return -1;
    if (write(fd, page.data(), page.size()) != static_cast<ssize_t>(page.size())) return -1;
    close(fd);
    std::string command = "env " + environment + " " + NIVOML_CHECK + " " + args +
                          " - < " + pagePath + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    output.clear();
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    int status = pclose(pipe);
    unlink(pagePath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

}  // namespace

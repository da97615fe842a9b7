// The demo site's pages as its CGI scripts write them pass the checker's lint (nothing
// dropped, no text past the display, every div reached and left; the LED pages keep
// their leds, which the checker names), and every link carries the server's port.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/tools/run_command.h"
#include "tests/util/temp_dir.h"

TEST(DemoSite, EveryPagePassesTheLintAndLinksCarryThePort) {
    const std::string tail = "sContrast=3&sBacklight=-1&sBrightness=9";
    std::vector<std::string> runs = {
        // environment and script; the body is a POST's
        "QUERY_STRING='" + tail + "' display.cgi",
        "QUERY_STRING='code=B+1&cb=c&r=a&pin=59&sel=mid&n=5&" + tail + "' answer.cgi",
        "REQUEST_METHOD=POST CONTENT_LENGTH=20 network.cgi",
        "QUERY_STRING='ip=010.000.000.255&" + tail + "' network.cgi"};
    for (const auto& entry : std::filesystem::directory_iterator(NIVO_SOURCE_DIR "/demo/site")) {
        if (entry.path().extension() == ".cgi") runs.push_back(entry.path().filename());
    }
    TempDir dir;
    const std::string cgi = "cd " NIVO_SOURCE_DIR
                            "/demo/site && env -i PATH=/usr/bin:/bin "
                            "NIVO_LCD_CONFIG=/dev/null SERVER_PORT=8080 REQUEST_METHOD=GET "
                            "CONTENT_LENGTH=0 SCRIPT_FILENAME=$PWD/";
    const std::string body = " < " + dir.Write("body", "ip=010.000.000.255\r\n");
    std::string page, output;
    // Findings other than the status display's LEDs: the lint's exit status for them.
    const auto lint = [&](const std::string& file) {
        return RunCommand(std::string(NIVOML_CHECK) + " --lint " + file +
                              " | grep ': \\(error\\|warning\\): ' | grep -v ': <leds>: the "
                              "status display sets' | grep -c .",
                          output) == 0 ? 1 : 0;
    };
    for (const std::string& run : runs) {
        const size_t blank = run.rfind(' ') + 1;  // 0 when there is none
        const std::string script = run.substr(blank);
        RunCommand(cgi + script + " " + run.substr(0, blank) + "sh " + script + body +
                       " | sed '1,/^\\r$/d'",  // the page without its header
                   page);
        for (size_t at = page.find("http://"); at != std::string::npos;
             at = page.find("http://", at + 1)) {
            EXPECT_EQ(page.substr(at, 22), "http://127.0.0.1:8080/") << run << "\n" << page;
        }
        EXPECT_EQ(lint(dir.Write("page.nivoml", page)), 0) << run << "\n" << output;
    }
    for (const auto& entry : std::filesystem::directory_iterator(NIVO_SOURCE_DIR "/demo/pages")) {
        EXPECT_EQ(lint(entry.path()), 0) << output;
    }
}

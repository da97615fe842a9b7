// The demo site's pages as its CGI scripts write them, run through the checker's
// lint: a dropped element, text past the display, a div nothing reaches or one
// without a way out fails the site, and so does a link that misses the server's port.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/tools/run_command.h"
#include "tests/util/temp_dir.h"

namespace {

const std::string kDemo = std::string(NIVO_SOURCE_DIR) + "/demo";

struct Request {
    std::string script, method, query, body;
};

// The page a CGI script answers with, without its header lines.
std::string RunCgi(const TempDir& dir, const Request& request) {
    const std::string body = dir.Write("body", request.body);
    const std::string script = kDemo + "/site/" + request.script;
    std::string page;
    RunCommand("cd " + kDemo + "/site && env -i PATH=/usr/bin:/bin NIVO_LCD_CONFIG=/dev/null SERVER_PORT=8080"
               " REQUEST_METHOD=" + request.method + " QUERY_STRING='" + request.query +
                   "' CONTENT_LENGTH=" + std::to_string(request.body.size()) +
                   " SCRIPT_FILENAME=" + script + " sh " + script + " < " + body +
                   " | sed '1,/^\\r$/d'",
               page);
    return page;
}

TEST(DemoSite, EveryPagePassesTheLintAndLinksCarryThePort) {
    std::vector<Request> requests;
    for (const auto& entry : std::filesystem::directory_iterator(kDemo + "/site")) {
        if (entry.path().extension() == ".cgi")
            requests.push_back({entry.path().filename().string(), "GET", "", ""});
    }
    ASSERT_GE(requests.size(), 10u);
    const std::string tail = "sContrast=3&sBacklight=-1&sBrightness=9";
    requests.push_back({"display.cgi", "GET", tail, ""});
    requests.push_back({"answer.cgi", "GET", "code=B+1&cb=c&r=a&pin=59&sel=mid&n=5&" + tail, ""});
    requests.push_back({"network.cgi", "POST", "", "ip=010.000.000.255\r\n"});
    requests.push_back({"network.cgi", "GET", "ip=010.000.000.255&" + tail, ""});

    TempDir dir;
    std::string output;
    for (const Request& request : requests) {
        SCOPED_TRACE(request.method + " " + request.script + "?" + request.query);
        const std::string page = RunCgi(dir, request);
        for (size_t at = page.find("http://"); at != std::string::npos;
             at = page.find("http://", at + 1)) {
            EXPECT_EQ(page.substr(at, 22), "http://127.0.0.1:8080/") << page;
        }
        const std::string file = dir.Write("page.nivoml", page);
        EXPECT_EQ(RunCommand(std::string(NIVOML_CHECK) + " -l 6 --lint " + file, output), 0)
            << output << page;
    }
    for (const auto& entry : std::filesystem::directory_iterator(kDemo + "/pages")) {
        EXPECT_EQ(RunCommand(std::string(NIVOML_CHECK) + " -l 6 --lint " + entry.path().string(),
                             output),
                  0)
            << output;
    }
}

}  // namespace

// The demo as a user starts it: scripts/demo with a scripted panel walks the home
// menu with keys, holds a key, sends the GET form, sees the answer page, raises an
// alarm and quits; then it serves an author's folder, where a saved edit reaches
// the panel. Nothing it started may outlive it. One test: both runs take the
// demo's ports.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <regex>

#include "tests/e2e/e2e_fixture.h"

namespace {

const char* const kWalk = R"(waitfor Welcome 10000
key 4
waitfor "1 Text"
key 2 2500
waitfor "Long press"
key 4
waitfor "1 Text"
key 1
waitfor "2 Counter"
key 1
key 1
key 1
key 1
waitfor "6 Form"
key 4
waitfor 3:send
key 4
waitfor AB1
key 2
waitfor BB1
key 4
waitfor "GET with"
key 1
waitfor "code       BB1"
udp ALARM
waitfor ALARM!
key 4
waitfor "8 Alarm"
quit
)";

bool Gone(pid_t pid) {
    return kill(pid, 0) == -1 && errno == ESRCH;
}

// Runs scripts/demo with args until it ends, meanwhile doing what the test does
// beside it; returns its exit status, its output in output.
int RunDemo(const TempDir& dir, std::vector<std::string> args, std::string& output,
            const std::function<void()>& meanwhile) {
    std::filesystem::create_directories(dir.Path("tmp"));
    args.insert(args.begin(), {"/bin/bash", NIVO_SOURCE_DIR "/scripts/demo"});
    ChildProcess demo;
    demo.Start(args,
               {"PATH=/usr/bin:/bin:/usr/sbin:/sbin", "TZ=UTC", "TMPDIR=" + dir.Path("tmp"),
                "NIVO_DEMO_PREBUILT=" NIVO_BUILD_DIR},
               dir.Path("demo.out"));
    meanwhile();
    int status = -1;
    if (!demo.WaitExit(60000, status)) status = demo.Stop(SIGTERM, 10000);  // its trap cleans up
    output = ReadFile(dir.Path("demo.out"));
    std::smatch pids;
    if (std::regex_search(output, pids,
                          std::regex("lighttpd pid (\\d+)\\), nivo_lcd pid (\\d+)"))) {
        EXPECT_TRUE(Gone(std::stoi(pids[1]))) << "lighttpd still runs";
        EXPECT_TRUE(Gone(std::stoi(pids[2]))) << "nivo_lcd still runs";
    } else {
        ADD_FAILURE() << "no pids in the demo's output:\n" << output;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path("tmp"))) << "the run folder was left behind";
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The panel text of the demo running under dir (its only run folder).
std::string DemoPanelText(const TempDir& dir) {
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path("tmp")))
        if (auto picture = DecodePanelFile(entry.path().string() + "/lcd")) return picture->Text();
    return "";
}

std::string StartPage(const std::string& text) {
    return "<nivoml><head><goto div=\"a\"/></head><body><div name=\"a\">" + text +
           "</div></body></nivoml>";
}

}  // namespace

TEST(Demo, ScriptedRunsWalkTheSiteAndShowAnAuthorsEditAtOnce) {
    TempDir dir;
    std::string output;
    EXPECT_EQ(RunDemo(dir, {"--script", dir.Write("walk.txt", kWalk)}, output, [] {}), 0) << output;

    // An author's folder: once the start page shows, the test saves an edit, which
    // the scripted panel must see within its bound.
    std::filesystem::create_directory(dir.Path("site"));
    dir.Write("site/start.nivoml", StartPage("Before"));
    const std::string script =
        dir.Write("edit.txt", "waitfor Before 15000\nwaitfor After 2500\nquit\n");
    auto edit = [&] {
        for (int i = 0; i < 750 && DemoPanelText(dir).find("Before") == std::string::npos; ++i)
            SleepMs(20);
        dir.Write("site/start.nivoml", StartPage("After"));
    };
    EXPECT_EQ(
        RunDemo(dir, {"--site", dir.Path("site"), "--home", "start.nivoml", "--script", script},
                output, edit),
        0)
        << output;
}

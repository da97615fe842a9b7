// The demo as a user starts it: scripts/demo with a scripted panel walks the home
// menu with keys, holds a key, sends the GET form, sees the answer page, raises an
// alarm and quits; nothing it started may outlive it.
#include <cerrno>
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

}  // namespace

TEST(Demo, ScriptedRunWalksTheSiteAndLeavesNothingBehind) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path("tmp"));
    const std::string script = dir.Write("walk.txt", kWalk);
    ChildProcess demo;
    demo.Start({"/bin/bash", NIVO_SOURCE_DIR "/scripts/demo", "--script", script},
               {"PATH=/usr/bin:/bin:/usr/sbin:/sbin", "TZ=UTC", "TMPDIR=" + dir.Path("tmp"),
                "NIVO_DEMO_PREBUILT=" NIVO_BUILD_DIR},
               dir.Path("demo.out"));
    int status = -1;
    if (!demo.WaitExit(60000, status)) status = demo.Stop(SIGTERM, 10000);  // its trap cleans up
    const std::string output = ReadFile(dir.Path("demo.out"));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << output;

    std::smatch pids;
    ASSERT_TRUE(std::regex_search(output, pids, std::regex("lighttpd pid (\\d+)\\), nivo_lcd pid (\\d+)")))
        << output;
    EXPECT_TRUE(Gone(std::stoi(pids[1]))) << "lighttpd still runs";
    EXPECT_TRUE(Gone(std::stoi(pids[2]))) << "nivo_lcd still runs";
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path("tmp"))) << "the run folder was left behind";
}

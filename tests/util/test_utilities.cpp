#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/util/temp_dir.h"
#include "util/logger.h"
#include "util/time_of_day.h"
#include "util/utilities.h"

namespace {

// Sets the SIGCHLD action for one test, as the program does, and restores it.
class SigchldAction {
public:
    explicit SigchldAction(void (*handler)(int)) { m_previous = signal(SIGCHLD, handler); }
    ~SigchldAction() { signal(SIGCHLD, m_previous); }

private:
    void (*m_previous)(int);
};

bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 400; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

class RunCommandTest : public ::testing::Test {
protected:
    int Run(const std::string& commandLine) {
        return RunCommand(commandLine, dir.Path("out"), dir.Path("err"));
    }
    TempDir dir;
    CapturingLogger capture;
    ScopedLogger installed{&capture};
};

}  // namespace

TEST(Utilities, SymbolAndLedNamesAreExactTokensBetweenBars) {
    EXPECT_EQ(ParseSymbolNames(""), 0u);
    EXPECT_EQ(ParseSymbolNames("ALERT|"), 1u);
    EXPECT_EQ(ParseSymbolNames("alert"), 0u);
    EXPECT_EQ(ParseSymbolNames("ALERT |MAIL"), 2u);
    EXPECT_EQ(ParseSymbolNames("ALERT|MAIL|xyz"), 0x0003u);
    EXPECT_EQ(ParseSymbolNames("BATT_50P|HOUSE"), 0x04A8u);
    EXPECT_EQ(ParseSymbolNames("||DATE||BATT_0P"), 0x8480u);
    EXPECT_EQ(ParseLedNames("LED_STATUS_A|LED_DISPLAY"), 12u);
    EXPECT_EQ(ParseLedNames("LED_STATUS_B|LED_POWER|ALERT"), 3u);
}

TEST(Utilities, AllBitsSetNeedsANonZeroMaskFullyPresent) {
    for (unsigned x : {0u, 1u, 0xFFFFFFFFu}) EXPECT_FALSE(AllBitsSet(0, x));
    EXPECT_TRUE(AllBitsSet(6, 7));
    EXPECT_FALSE(AllBitsSet(6, 5));
    EXPECT_FALSE(AllBitsSet(1, 0));
    unsigned bits = 0x5;
    SetBits(bits, 0x2);
    ClearBits(bits, 0x4);
    EXPECT_EQ(bits, 0x3u);
}

TEST(Utilities, NibblesComeLowestFirst) {
    EXPECT_EQ(IntToNibbles(0xFFFFFFFF), std::string(4, '\x0F'));
    EXPECT_EQ(IntToNibbles(0x1234), std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(ByteToNibbles(0x7F), std::string("\x0F\x07", 2));
}

TEST(Utilities, MsToTimevalSplitsSecondsAndMicroseconds) {
    timeval half = MsToTimeval(500);
    EXPECT_EQ(half.tv_sec, 0);
    EXPECT_EQ(half.tv_usec, 500000);
    timeval more = MsToTimeval(1500);
    EXPECT_EQ(more.tv_sec, 1);
    EXPECT_EQ(more.tv_usec, 500000);
    timeval negative = MsToTimeval(-1500);
    EXPECT_EQ(negative.tv_sec, 0);
    EXPECT_EQ(negative.tv_usec, 0);
}

TEST(Utilities, TextEditingFunctions) {
    std::string text = "a b\"c";
    EncodeUrlText(text);
    EXPECT_EQ(text, "a+b%22c");
    text = "banana";
    ReplaceAll(text, "a", "aa");  // replacement containing the searched character
    EXPECT_EQ(text, "baanaanaa");
    ReplaceAll(text, "", "x");
    EXPECT_EQ(text, "baanaanaa");
    text = "hallo w\xE4lt";
    ToUpper(text);
    EXPECT_EQ(text, "HALLO W\xE4LT");  // Latin-1 bytes pass unchanged in the C locale
}

TEST(Utilities, TimeOfDayTextsFollowTheWallClock) {
    FakeWallClock clock(7 * 3600 + 5 * 60 + 9);
    EXPECT_EQ(CurrentTimeText(), "07:05:09");
    EXPECT_EQ(SecondsToNextMinute(), 51);
    clock.Set(13 * 3600 + 5 * 60);
    EXPECT_EQ(CurrentTimeText(), "13:05:00");
    EXPECT_EQ(SecondsToNextMinute(), 60);
    clock.Advance(59);
    EXPECT_EQ(SecondsToNextMinute(), 1);
}

TEST_F(RunCommandTest, ForegroundReturnsExitStatusAndRedirectsOutput) {
    std::string script =
        dir.Write("say.sh", "#!/bin/sh\necho \"$@\"\necho oops >&2\nexit 3\n", 0755);
    EXPECT_EQ(Run("   " + script + "  one   two  "), 3);
    EXPECT_EQ(ReadFile(dir.Path("out")), "one two\n");
    EXPECT_EQ(ReadFile(dir.Path("err")), "oops\n");
    EXPECT_EQ(Run("true"), 0);
    EXPECT_EQ(Run("false"), 1);
    std::string suicide = dir.Write("kill.sh", "#!/bin/sh\nkill -9 $$\n", 0755);
    EXPECT_EQ(Run(suicide), 128 + 9);
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(RunCommandTest, ExitStatusSurvivesIgnoredSigchld) {
    SigchldAction ignored(SIG_IGN);
    std::string script = dir.Write("three.sh", "#!/bin/sh\nexit 3\n", 0755);
    EXPECT_EQ(Run(script), 3);
    struct sigaction now {};
    sigaction(SIGCHLD, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
}

TEST_F(RunCommandTest, BadCommandLinesFailWithoutRunning) {
    EXPECT_EQ(Run(""), -1);
    EXPECT_EQ(Run("   "), -1);
    EXPECT_TRUE(capture.Lines().empty());
    std::string marker = dir.Path("ran");
    // Every word names the marker, so nothing lands outside the test's folder.
    std::string eight;
    for (int i = 0; i < 7; ++i) eight += " " + marker;
    EXPECT_EQ(Run("touch " + marker + eight + " " + marker), -1);
    EXPECT_TRUE(capture.Has(Logger::Error,
                            "RunCommand: too many words: touch " + marker + eight + " " + marker));
    EXPECT_EQ(Run("touch " + marker + eight + " &"), -1);
    EXPECT_FALSE(std::filesystem::exists(marker));
    EXPECT_EQ(Run("touch " + marker + eight), 0);  // nine words are fine
    EXPECT_TRUE(std::filesystem::exists(marker));
}

TEST_F(RunCommandTest, ProgramThatCannotStartGives255AndLogsWhy) {
    ConsoleLogger console;  // the child logs to its standard error, our err file
    ScopedLogger toConsole(&console);
    EXPECT_EQ(Run("/nonexistent/program -x"), 255);
    EXPECT_NE(ReadFile(dir.Path("err"))
                  .find(" ERROR execve failed with return-value: -1; strerror(errno): No such "
                        "file or directory; *argv: /nonexistent/program\n"),
              std::string::npos);
}

TEST_F(RunCommandTest, BackgroundCommandReturnsAtOnce) {
    SigchldAction ignored(SIG_IGN);
    std::string pidFile = dir.Path("pid");
    std::string script = dir.Write(
        "bg.sh", "#!/bin/sh\necho $$ > \"$1.tmp\"\nmv \"$1.tmp\" \"$1\"\nexec sleep 5\n", 0755);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(script + " " + pidFile + " &"), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(pidFile); }));
    pid_t pid = std::stoi(ReadFile(pidFile));
    EXPECT_EQ(kill(pid, SIGTERM), 0);
    EXPECT_TRUE(WaitUntil([&] { return kill(pid, 0) != 0; }));  // reaped by the system
}

TEST_F(RunCommandTest, ChildInheritsNoDescriptorsAndLeavesNoZombies) {
    SigchldAction ignored(SIG_IGN);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    ASSERT_EQ(dup2(pipeFds[1], 57), 57);
    std::string fdCheck =
        dir.Write("fd.sh", "#!/bin/sh\n[ -e /proc/$$/fd/57 ] && exit 1\nexit 0\n", 0755);
    EXPECT_EQ(Run(fdCheck), 0);
    close(57);
    // A background child that ends while a foreground command is waited for.
    std::string bg = dir.Write("bg.sh", "#!/bin/sh\necho $$ > \"$1\"\nexit 0\n", 0755);
    std::string fg = dir.Write("fg.sh",
                               "#!/bin/sh\ni=0\nwhile [ $i -lt 400 ] && ! grep -qs ') Z' "
                               "/proc/$(cat \"$1\" 2>/dev/null)/stat; do sleep 0.01; i=$((i+1)); "
                               "done\n",
                               0755);
    std::string pidFile = dir.Path("bgpid");
    EXPECT_EQ(Run(bg + " " + pidFile + " &"), 0);
    EXPECT_EQ(Run(fg + " " + pidFile), 0);
    pid_t pid = std::stoi(ReadFile(pidFile));
    EXPECT_NE(kill(pid, 0), 0);
    close(pipeFds[0]);
    close(pipeFds[1]);
}

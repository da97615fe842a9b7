#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <climits>

#include "tests/util/temp_dir.h"
#include "util/conversions.h"
#include "util/logger.h"
#include "util/time_of_day.h"
#include "util/utilities.h"

TEST(Conversions, TextsReadLikeStrtolAndNeverFail) {
    std::pair<const char*, int> kInts[] = {{" \t-17xyz", -17}, {"+5", 5}, {"0x1F", 0}, {"- 3", 0}};
    for (auto [text, value] : kInts) EXPECT_EQ(StrToInt(text), value) << text;
    for (auto big : {"2147483648", "99999999999999999999"}) EXPECT_EQ(StrToInt(big), INT_MAX);
    for (auto small : {"-2147483649", "-99999999999999999999"}) EXPECT_EQ(StrToInt(small), INT_MIN);
    EXPECT_EQ(StrToInt('9'), 9);
    EXPECT_EQ(StrToInt(static_cast<char>(0xB9)), 0);  // superscript one in Latin-1
    for (auto yes : {"1", "TRUE", "Yes", "oN", " on\r\n"}) EXPECT_TRUE(StrToBool(yes)) << yes;
    for (auto no : {"0", "off", "", "2", "truex", "y"}) EXPECT_FALSE(StrToBool(no)) << no;
    EXPECT_EQ(BoolToStr(true) + BoolToStr(false), "truefalse");
    EXPECT_DOUBLE_EQ(StrToDouble(" -1e3 V"), -1000.0);
    EXPECT_EQ(SplitString("1..2.", ".;"), (std::vector<std::string>{"1", "", "2", ""}));
    EXPECT_EQ(TrimBlanks(" \t a b \r\n"), "a b");
}

TEST(Logger, ConsoleLoggerWritesEachMessageWholeOnOneLineWithTimeAndLevel) {
    Logger::Log(Logger::Fatal, "nobody listens %d", 1);  // without a logger: dropped
    FakeWallClock clock(7 * 3600 + 5 * 60 + 9);          // 07:05:09 UTC
    ConsoleLogger console;
    ScopedLogger installed(&console);
    testing::internal::CaptureStderr();
    Logger::Log(Logger::Error, "NIVO_Display: flush What=%i\n", 15);
    Logger::Log(Logger::Debug, "dropped below the default level");
    Logger::Log(Logger::Info, "Gr\xfc\xdf %s", "\xd6l");  // Latin-1 in, UTF-8 out
    std::string expected =
        "07:05:09 ERROR NIVO_Display: flush What=15\n07:05:09 INFO Gr\xc3\xbc\xc3\x9f \xc3\x96l\n";
    for (size_t length : {255, 256, 257, 10000}) {  // around the first buffer's size
        std::string text(length - 3, 'x');
        Logger::Log(Logger::Warning, "%s%d", text.c_str(), 255);
        expected += "07:05:09 WARNING " + text + "255\n";
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
}

TEST(Utilities, SymbolAndLedNamesAreExactTokensBetweenBars) {
    const char* const kBits[] = {"ALERT", "MAIL",    "ETHERNET", "HOUSE",   "BATT_S1", "BATT_S2",
                                 "RADIO", "BATT_S3", "DATE_P1",  "DATE_P2", "BATT_S4", "COLON",
                                 "TIME",  "AM",      "PM",       "DATE"};
    for (unsigned bit = 0; bit < 16; ++bit) EXPECT_EQ(ParseSymbolNames(kBits[bit]), 1u << bit);
    EXPECT_EQ(ParseSymbolNames("alert|ALERT |MAIL|xyz"), 2u);
    EXPECT_EQ(ParseSymbolNames("BATT_100P|") | ParseSymbolNames("||DATE||BATT_0P"), 0x84B0u);
    EXPECT_EQ(ParseSymbolNames("BATT_50P|HOUSE"), 0x04A8u);
    EXPECT_EQ(ParseLedNames("LED_STATUS_A|LED_DISPLAY|ALERT"), 12u);
    EXPECT_EQ(ParseLedNames("LED_STATUS_B|LED_POWER"), 3u);
}

TEST(Utilities, TimeOfDayTextsFollowTheLocalWallClock) {
    FakeWallClock clock(13 * 3600 + 5 * 60 + 9);
    EXPECT_EQ(CurrentTimeText() + " " + std::to_string(SecondsToNextMinute()), "13:05:09 51");
    clock.Advance(50);
    EXPECT_EQ(SecondsToNextMinute(), 1);
    setenv("TZ", "XYZ-2", 1);  // two hours east of UTC
    tzset();
    EXPECT_EQ(CurrentTimeText(), "15:05:59");
    setenv("TZ", "UTC", 1);  // as every test expects
    tzset();
}

// Runs commands with SIGCHLD ignored, as the program does.
class RunCommandTest : public ::testing::Test {
protected:
    RunCommandTest() { previous = signal(SIGCHLD, SIG_IGN); }
    ~RunCommandTest() override { signal(SIGCHLD, previous); }
    int Run(const std::string& line) { return RunCommand(line, dir.Path("out"), dir.Path("err")); }
    TempDir dir;
    void (*previous)(int);
};

TEST_F(RunCommandTest, ForegroundRunsOfAtMostNineWordsGiveTheExitStatusAndFreshOutput) {
    std::string say = dir.Write("say.sh", "#!/bin/sh\necho \"$@\"\necho oops >&2\nexit 3\n", 0755);
    EXPECT_EQ(Run("   " + say + "  one   two  "), 3);
    EXPECT_EQ(ReadFile(dir.Path("out")) + ReadFile(dir.Path("err")), "one two\noops\n");
    EXPECT_EQ(Run("false"), 1);
    EXPECT_EQ(ReadFile(dir.Path("out")), "");
    EXPECT_EQ(Run(dir.Write("kill.sh", "#!/bin/sh\nkill -9 $$\n", 0755)), 128 + 9);
    EXPECT_EQ(Run("/nonexistent/program -x"), 255);
    EXPECT_EQ(signal(SIGCHLD, SIG_IGN), SIG_IGN);  // ignored again after the wait
    std::string marker = dir.Path("ran"), nine = "touch";
    for (int i = 0; i < 8; ++i) nine += " " + marker;  // nothing lands outside the folder
    EXPECT_EQ(Run(nine + " " + marker) + Run(nine + " &") + Run("   "), -3);
    EXPECT_EQ(Run(nine), 0);
    EXPECT_TRUE(std::filesystem::exists(marker));
}

// The background child waits for the foreground one, so a run that waited for it would
// fail; it ends while the foreground one is waited for and must not stay a zombie.
TEST_F(RunCommandTest, BackgroundChildRunsAlongInheritsNoDescriptorsAndIsReaped) {
    ASSERT_EQ(dup2(STDIN_FILENO, 57), 57);
    const std::string wait = "i=0\nwhile [ $i -lt 400 ] && ! ";
    const std::string poll = "; do sleep 0.01; i=$((i+1)); done\n";
    std::string bg = "#!/bin/sh\n[ -e /proc/$$/fd/57 ] && exit 1\n" + wait + "[ -e \"$1.go\" ]" +
                     poll + "echo $$ >\"$1\"\n[ -e \"$1.go\" ]\n";
    std::string fg =
        "#!/bin/sh\ntouch \"$1.go\"\n" + wait + "grep -qs ') Z' /proc/$(cat $1)/stat" + poll;
    EXPECT_EQ(Run(dir.Write("bg.sh", bg, 0755) + " " + dir.Path("bg") + " &"), 0);
    EXPECT_EQ(Run(dir.Write("fg.sh", fg, 0755) + " " + dir.Path("bg")), 0);
    close(57);
    ASSERT_TRUE(std::filesystem::exists(dir.Path("bg")));
    EXPECT_NE(kill(std::stoi(ReadFile(dir.Path("bg"))), 0), 0);
}

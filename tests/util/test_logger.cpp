#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "tests/util/temp_dir.h"
#include "util/logger.h"
#include "util/time_of_day.h"

TEST(Logger, MessagesBelowLevelOrWithoutLoggerAreDropped) {
    Logger::Log(Logger::Fatal, "nobody listens %d", 1);  // must not crash
    CapturingLogger capture;
    ScopedLogger installed(&capture);
    capture.SetLevel(Logger::Warning);
    Logger::Log(Logger::Info, "info %d", 2);
    Logger::Log(Logger::Warning, "warning %d", 4);
    Logger::Log(Logger::Fatal, "fatal %s", "six");
    ASSERT_EQ(capture.Lines().size(), 2u);
    EXPECT_TRUE(capture.Has(Logger::Warning, "warning 4"));
    EXPECT_TRUE(capture.Has(Logger::Fatal, "fatal six"));
    EXPECT_FALSE(capture.Has(Logger::Error, "fatal six"));
    EXPECT_TRUE(capture.Contains("six"));
    EXPECT_EQ(capture.Count("warning 4"), 1);
}

TEST(Logger, MessagesOfAnyLengthAreFormattedWhole) {
    CapturingLogger capture;
    ScopedLogger installed(&capture);
    std::string longText(10000, 'x');
    Logger::Log(Logger::Error, "[%s|%d]", longText.c_str(), 255);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].second, "[" + longText + "|255]");
}

TEST(Logger, ConsoleLoggerWritesOneLineWithTimeAndLevelToStderr) {
    TempDir dir;
    std::string path = dir.Path("stderr.txt");
    fflush(stderr);
    int saved = dup(STDERR_FILENO);
    ASSERT_NE(freopen(path.c_str(), "w", stderr), nullptr);
    {
        FakeWallClock clock(7 * 3600 + 5 * 60 + 9);  // 07:05:09 UTC
        ConsoleLogger console;
        ScopedLogger installed(&console);
        Logger::Log(Logger::Error, "NIVO_Display: flush What=%i\n", 15);
        Logger::Log(Logger::Debug, "dropped at the default level");
        Logger::Log(Logger::Info, "Gr\xfc\xdf %s", "\xd6l");  // Latin-1 in, UTF-8 out
    }
    fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    EXPECT_EQ(ReadFile(path),
              "07:05:09 ERROR NIVO_Display: flush What=15\n"
              "07:05:09 INFO Gr\xc3\xbc\xc3\x9f \xc3\x96l\n");
}

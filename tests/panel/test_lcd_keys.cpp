#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "panel/lcd_keys.h"
#include "tests/util/temp_dir.h"
#include "util/file_descriptor.h"
#include "util/timer.h"

namespace {

using Events = std::vector<int>;

int64_t g_nowMs = 0;  // the monotonic clock the hold times are measured on, moved by hand

bool Readable(int fd) {
    pollfd wanted{fd, POLLIN, 0};
    return poll(&wanted, 1, 0) > 0;
}

// A FIFO in a temporary folder stands in for the key device.
class KeysTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(mkfifo(m_path.c_str(), 0600), 0); }

    void OpenWriter() {
        m_writer = FileDescriptor(open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        ASSERT_TRUE(m_writer.IsOpen());
    }
    void Send(const std::string& bytes) {
        EXPECT_EQ(write(m_writer.Get(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // What the manager does when select reports the device readable.
    Events Deliver(LCD_Keys& keys, const std::string& bytes,
                   int (LCD_Keys::*next)() = &LCD_Keys::NextKey) {
        Send(bytes);
        EXPECT_TRUE(Readable(keys.GetFd()));
        keys.ReadAvailable();
        Events events;
        for (int key = (keys.*next)(); key != 0; key = (keys.*next)()) events.push_back(key);
        return events;
    }

    TempDir m_dir;
    std::string m_path = m_dir.Path("keys");
    FileDescriptor m_writer;
};

TEST_F(KeysTest, StateBytesBecomeKeyEventsInOrderOrAsCombinations) {
    LCD_Keys keys(m_path);
    OpenWriter();
    EXPECT_EQ(Deliver(keys, "\x01"), Events({1}));
    EXPECT_EQ(Deliver(keys, "\x03"), Events({2}));  // key 1 is still held
    EXPECT_EQ(Deliver(keys, std::string("\x00\x07\x00", 3)), Events({1, 2, 4}));
    EXPECT_EQ(Deliver(keys, "\x08"), Events());
    EXPECT_TRUE(keys.IsPressed(8) && !keys.IsPressed(9));

    const auto press = &LCD_Keys::NextPress;
    EXPECT_EQ(Deliver(keys, std::string("\x03\x03\x00\x00\x05\x0c", 6), press), Events({3, 5}));
    Send(std::string("\x00\x06\x02", 3));
    keys.ReadAvailable();
    EXPECT_EQ(keys.NextPress(), 6);
    EXPECT_EQ(keys.GetState(), 6);  // the byte that brought the press
}

TEST_F(KeysTest, InputPresentAtStartIsDiscardedAndAWriterMayComeAndGo) {
    // Keep the FIFO open so bytes can wait in it before the reader starts.
    FileDescriptor holder(open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    OpenWriter();
    Send(std::string(20, '\x01'));
    LCD_Keys keys(m_path);
    holder.Reset();
    EXPECT_FALSE(Readable(keys.GetFd()));
    EXPECT_EQ(Deliver(keys, "\x02"), Events({2}));

    m_writer.Reset();  // a writer going away leaves nothing readable behind
    EXPECT_FALSE(Readable(keys.GetFd()));
    OpenWriter();
    EXPECT_EQ(Deliver(keys, std::string("\x00\x04", 2)), Events({4}));
}

TEST_F(KeysTest, HoldTimesFollowTheHeldCombination) {
    TimerTarget::s_timerQueue.SetClock([] { return g_nowMs; });
    for (bool exclusive : {false, true}) {
        SCOPED_TRACE(exclusive ? "exclusive" : "shared");
        g_nowMs = 0;
        LCD_Keys keys(m_path);
        keys.SetExclusiveTiming(exclusive);
        OpenWriter();
        Deliver(keys, "\x01");
        g_nowMs = 3000;
        EXPECT_EQ(keys.GetHoldTime(1), 3.0);
        Deliver(keys, "\x03");
        g_nowMs = 5999;
        EXPECT_EQ(keys.GetHoldTime(1), exclusive ? 0.0 : 5.0);
        EXPECT_EQ(keys.GetHoldTime(2), exclusive ? 0.0 : 2.0);
        EXPECT_EQ(keys.GetHoldTime(3), 2.0);
        for (unsigned mask : {0u, 4u, 8u, 200u}) EXPECT_EQ(keys.GetHoldTime(mask), 0.0) << mask;
        Deliver(keys, std::string("\x00", 1));
        EXPECT_EQ(keys.GetHoldTime(3), 0.0);
    }
    TimerTarget::s_timerQueue.SetClock(nullptr);
}

}  // namespace

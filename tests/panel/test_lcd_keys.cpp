#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "panel/lcd_keys.h"
#include "util/file_descriptor.h"
#include "util/logger.h"
#include "util/timer.h"

namespace {

// The monotonic clock the hold times are measured on, moved by hand.
struct FakeMonotonicClock {
    static inline int64_t s_now = 0;
    static int64_t Now() { return s_now; }
    explicit FakeMonotonicClock(int64_t ms) {
        s_now = ms;
        TimerTarget::s_timerQueue.SetClock(&Now);
    }
    ~FakeMonotonicClock() { TimerTarget::s_timerQueue.SetClock(nullptr); }
    void AdvanceMs(int64_t ms) { s_now += ms; }
};

bool Readable(int fd) {
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(fd, &readSet);
    timeval timeout{0, 0};
    return select(fd + 1, &readSet, nullptr, nullptr, &timeout) > 0;
}

// A FIFO in a temporary folder stands in for the key device.
class KeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/nivo_keys_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
        m_path = m_dir + "/keys";
        ASSERT_EQ(mkfifo(m_path.c_str(), 0600), 0);
    }
    void TearDown() override {
        m_writer.Reset();
        unlink(m_path.c_str());
        rmdir(m_dir.c_str());
    }

    void OpenWriter() {
        m_writer = FileDescriptor(open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        ASSERT_TRUE(m_writer.IsOpen());
    }
    void Send(const std::string& bytes) {
        ASSERT_EQ(write(m_writer.Get(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }
    // What the manager does when select reports the device readable.
    std::vector<int> Deliver(LCD_Keys& keys, const std::string& bytes,
                             int (LCD_Keys::*next)() = &LCD_Keys::NextKey) {
        Send(bytes);
        EXPECT_TRUE(Readable(keys.GetFd()));
        keys.ReadAvailable();
        std::vector<int> events;
        for (int key = (keys.*next)(); key != 0; key = (keys.*next)()) events.push_back(key);
        return events;
    }

    std::string m_dir;
    std::string m_path;
    FileDescriptor m_writer;
};

using Events = std::vector<int>;

TEST_F(KeysTest, StateBytesBecomePressEventsInOrder) {
    LCD_Keys keys(m_path);
    ASSERT_GE(keys.GetFd(), 0);
    OpenWriter();
    EXPECT_EQ(Deliver(keys, "\x01"), Events({1}));
    EXPECT_EQ(Deliver(keys, "\x03"), Events({2}));  // key 1 is still held
    EXPECT_EQ(Deliver(keys, std::string("\x00", 1)), Events());
    EXPECT_EQ(Deliver(keys, std::string("\x01\x00\x03", 3)), Events({1, 1, 2}));
    EXPECT_EQ(Deliver(keys, std::string("\x00\x07", 2)), Events({1, 2, 4}));
    EXPECT_EQ(keys.GetState(), 7);

    // A press and its release in one read lose none of the keys.
    EXPECT_EQ(Deliver(keys, std::string("\x00\x07\x00", 3)), Events({1, 2, 4}));
    EXPECT_EQ(keys.GetState(), 0);

    EXPECT_EQ(Deliver(keys, "\x08"), Events());
    EXPECT_EQ(keys.GetState(), 8);
    EXPECT_TRUE(keys.IsPressed(8));
    EXPECT_FALSE(keys.IsPressed(0));
    EXPECT_FALSE(keys.IsPressed(9));
}

TEST_F(KeysTest, PressesComeOncePerByteAsTheirCombination) {
    LCD_Keys keys(m_path);
    OpenWriter();
    const auto press = &LCD_Keys::NextPress;
    EXPECT_EQ(Deliver(keys, "\x03", press), Events({3}));
    EXPECT_EQ(Deliver(keys, std::string("\x07\x07\x00\x00\x05\x0c", 6), press),
              Events({4, 5}));  // 0x0c newly brings only a bit above the keys
    EXPECT_EQ(keys.GetState(), 0x0c);
    Send(std::string("\x00\x06\x02", 3));
    ASSERT_TRUE(Readable(keys.GetFd()));
    keys.ReadAvailable();
    EXPECT_EQ(keys.NextPress(), 6);
    EXPECT_EQ(keys.GetState(), 6);  // the byte that brought the press
    EXPECT_EQ(keys.NextPress(), 0);
    EXPECT_EQ(keys.GetState(), 2);
}

TEST_F(KeysTest, InputPresentAtStartIsDiscarded) {
    // Keep the FIFO open so bytes can wait in it before the reader starts.
    FileDescriptor holder(open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(holder.IsOpen());
    OpenWriter();
    Send(std::string(20, '\x01'));
    LCD_Keys keys(m_path);
    holder.Reset();
    EXPECT_FALSE(Readable(keys.GetFd()));
    EXPECT_EQ(keys.NextKey(), 0);
    EXPECT_EQ(Deliver(keys, "\x02"), Events({2}));
}

TEST_F(KeysTest, WriterGoingAwayLeavesNothingReadable) {
    setenv("NIVO_KEYS_DEVICE", m_path.c_str(), 1);
    LCD_Keys keys;  // opened before any writer exists, without blocking
    unsetenv("NIVO_KEYS_DEVICE");
    ASSERT_GE(keys.GetFd(), 0);
    OpenWriter();
    Send("\x04");
    m_writer.Reset();
    ASSERT_TRUE(Readable(keys.GetFd()));
    keys.ReadAvailable();
    EXPECT_EQ(keys.NextKey(), 4);
    EXPECT_EQ(keys.NextKey(), 0);
    EXPECT_FALSE(Readable(keys.GetFd()));

    OpenWriter();  // a new writer is heard again
    EXPECT_EQ(Deliver(keys, std::string("\x00\x01", 2)), Events({1}));
}

TEST_F(KeysTest, HoldTimesFollowTheHeldCombination) {
    FakeMonotonicClock clock(0);  // a press at 0 ms is a press all the same
    {
        LCD_Keys exclusive(m_path);
        exclusive.SetExclusiveTiming(true);
        OpenWriter();
        Deliver(exclusive, "\x01");
        clock.AdvanceMs(3000);
        EXPECT_EQ(exclusive.GetHoldTime(1), 3.0);
        Deliver(exclusive, "\x03");
        clock.AdvanceMs(2999);
        EXPECT_EQ(exclusive.GetHoldTime(3), 2.0);
        EXPECT_EQ(exclusive.GetHoldTime(1), 0.0);
        EXPECT_EQ(exclusive.GetHoldTime(2), 0.0);
        m_writer.Reset();
    }

    FakeMonotonicClock::s_now = 0;
    LCD_Keys shared(m_path);
    OpenWriter();
    Deliver(shared, "\x01");
    clock.AdvanceMs(3000);
    Deliver(shared, "\x03");
    clock.AdvanceMs(2999);
    EXPECT_EQ(shared.GetHoldTime(1), 5.0);
    EXPECT_EQ(shared.GetHoldTime(2), 2.0);
    EXPECT_EQ(shared.GetHoldTime(3), 2.0);
    EXPECT_EQ(shared.GetHoldTime(4), 0.0);
    for (unsigned mask : {0u, 8u, 200u}) EXPECT_EQ(shared.GetHoldTime(mask), 0.0) << mask;

    Deliver(shared, std::string("\x00", 1));
    EXPECT_EQ(shared.GetHoldTime(1), 0.0);
    EXPECT_EQ(shared.GetHoldTime(3), 0.0);
}

TEST(KeysDeviceTest, RegularFileWorksAsDevice) {
    char name[] = "/tmp/nivo_keys_file_XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "\x01\x02\x04", 3), 3);
    LCD_Keys keys(name);
    EXPECT_EQ(keys.NextKey(), 0);  // what stood in the file is discarded
    ASSERT_EQ(write(fd, "\x05", 1), 1);
    keys.ReadAvailable();
    EXPECT_EQ(keys.NextKey(), 1);
    EXPECT_EQ(keys.NextKey(), 4);
    EXPECT_EQ(keys.NextKey(), 0);
    close(fd);
    unlink(name);
}

TEST(KeysDeviceTest, OpenFailureIsLoggedAndHarmless) {
    CapturingLogger log;
    ScopedLogger guard(&log);
    LCD_Keys keys("/nonexistent-dir/nivo_keys");
    EXPECT_EQ(keys.GetFd(), -1);
    EXPECT_TRUE(log.Has(Logger::Debug, "LCD_Keys: opening keys failed"));
    keys.ReadAvailable();
    EXPECT_EQ(keys.NextKey(), 0);
    EXPECT_EQ(keys.GetHoldTime(1), 0.0);
}

}  // namespace

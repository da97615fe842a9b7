#include "panel/lcd_keys.h"

#include <fcntl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "util/logger.h"
#include "util/timer.h"
#include "util/utilities.h"

namespace {

constexpr unsigned kKeyBits = 0x7;
constexpr int kBufferSize = 16;

// A FIFO stands in for the device on a PC. Holding it open for writing as well keeps the
// open from blocking while no writer is there, and a writer that goes away leaves no
// end-of-file behind that would make select report it readable for ever.
int OpenKeyDevice(const std::string& path) {
    struct stat info {};
    const bool fifo = ::stat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
    return ::open(path.c_str(), (fifo ? O_RDWR : O_RDONLY) | O_CLOEXEC);
}

bool ReadableWithin(int fd, int microseconds) {
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(fd, &readSet);
    timeval timeout{0, microseconds};
    return ::select(fd + 1, &readSet, nullptr, nullptr, &timeout) > 0;
}

}  // namespace

LCD_Keys::LCD_Keys() : LCD_Keys(DevicePathFromEnvironment()) {}

LCD_Keys::LCD_Keys(const std::string& devicePath) : m_fd(OpenKeyDevice(devicePath)) {
    if (!m_fd.IsOpen()) {
        Logger::Log(Logger::Debug, "LCD_Keys: opening keys failed");
        return;
    }
    DiscardPendingInput();
}

std::string LCD_Keys::DevicePathFromEnvironment() {
    const char* path = std::getenv("NIVO_KEYS_DEVICE");
    return path && *path ? path : "/dev/nivo_keys";
}

// Key states that arrived before we started belong to nobody.
void LCD_Keys::DiscardPendingInput() {
    ssize_t n = 0;
    do {
        n = 0;
        if (ReadableWithin(m_fd.Get(), 1000)) n = ::read(m_fd.Get(), m_buffer, kBufferSize);
    } while (n == kBufferSize);
}

int LCD_Keys::ReadAvailable() {
    if (m_count >= kBufferSize) return m_count;  // unread bytes first
    ssize_t n = -1;
    if (m_fd.IsOpen()) {
        n = ::read(m_fd.Get(), m_buffer + m_count, kBufferSize - m_count);
        if (n > 0) m_count += static_cast<int>(n);
    }
    m_lastReadTime = TimerTarget::s_timerQueue.NowMs();
    return static_cast<int>(n);
}

bool LCD_Keys::Inject(unsigned char state) {
    if (m_count >= kBufferSize) return false;
    m_buffer[m_count++] = state;
    m_lastReadTime = TimerTarget::s_timerQueue.NowMs();
    return true;
}

int LCD_Keys::NextKey() {
    for (;;) {
        // Events of a consumed byte go out before the next byte may overwrite them.
        const unsigned keys = m_pending & kKeyBits;
        if (keys != 0) {
            const unsigned key = keys & (0u - keys);  // the lowest one
            m_pending &= ~key;
            return static_cast<int>(key);
        }
        if (!ConsumeByte()) return 0;
    }
}

int LCD_Keys::NextPress() {
    for (;;) {
        const unsigned keys = m_pending & kKeyBits;
        if (keys != 0) {
            m_pending = 0;
            return static_cast<int>(keys);
        }
        if (!ConsumeByte()) return 0;
    }
}

bool LCD_Keys::ConsumeByte() {
    if (m_count < 1) return false;
    const unsigned char byte = m_buffer[0];
    std::memmove(m_buffer, m_buffer + 1, static_cast<size_t>(m_count - 1));
    --m_count;
    m_pending = byte & ~static_cast<unsigned>(m_state);
    m_state = byte;
    UpdatePressTimes();
    return true;
}

bool LCD_Keys::IsPressed(unsigned mask) const {
    return AllBitsSet(mask, m_state);
}

double LCD_Keys::GetHoldTime(unsigned mask) const {
    if (mask < 1 || mask > kKeyBits) return 0.0;
    if (m_pressTime[mask] < 0) return 0.0;
    const int64_t held = TimerTarget::s_timerQueue.NowMs() - m_pressTime[mask];
    return held > 0 ? static_cast<double>(held / 1000) : 0.0;
}

void LCD_Keys::UpdatePressTimes() {
    for (unsigned m = 0; m <= kKeyBits; ++m) {
        if (AllBitsSet(m, m_state)) {
            if (m_pressTime[m] < 0) m_pressTime[m] = m_lastReadTime;
        } else {
            m_pressTime[m] = -1;
        }
        if (m_exclusiveTiming && m != m_state) m_pressTime[m] = -1;
    }
}

#pragma once
// Reads the key device (one state byte per change), turns state bytes into
// press events for keys 1, 2, 4 and measures how long combinations are held.
#include <ctime>
#include <string>

#include "util/file_descriptor.h"

class LCD_Keys {
public:
    LCD_Keys();  // the device named by NIVO_KEYS_DEVICE, else /dev/nivo_keys
    explicit LCD_Keys(const std::string& devicePath);
    ~LCD_Keys() = default;
    LCD_Keys(const LCD_Keys&) = delete;
    LCD_Keys& operator=(const LCD_Keys&) = delete;

    static std::string DevicePathFromEnvironment();

    int GetFd() const { return m_fd.Get(); }
    void ReadAvailable();
    int NextKey();  // 1, 2 or 4; 0 when none is left
    unsigned char GetState() const { return m_state; }
    bool IsPressed(unsigned mask) const;
    double GetHoldTime(unsigned mask) const;  // seconds; 0.0 for masks outside 1..7
    void SetExclusiveTiming(bool on) { m_exclusiveTiming = on; }

private:
    void DiscardPendingInput();
    void UpdatePressTimes();

    FileDescriptor m_fd;
    unsigned m_pending = 0;
    unsigned char m_state = 0;
    unsigned char m_buffer[16] = {};
    int m_count = 0;
    time_t m_pressTime[8] = {};
    time_t m_lastReadTime = 0;
    bool m_exclusiveTiming = false;
};

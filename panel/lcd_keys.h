#pragma once
// Reads the key device (one state byte per change), turns state bytes into
// press events for keys 1, 2, 4 and measures how long combinations are held.
#include <cstdint>
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
    // Bytes read; 0 at end of file, -1 on an error (the device is gone or broken).
    int ReadAvailable();
    // A state byte as if the device had sent it now (a press from elsewhere);
    // false when the bytes not yet taken fill the buffer.
    bool Inject(unsigned char state);
    int NextKey();  // 1, 2 or 4; 0 when none is left
    // The keys newly pressed by the next state byte that brings any, all at once
    // (a byte pressing two keys gives their combination); 0 when none is left.
    int NextPress();
    unsigned char GetState() const { return m_state; }
    bool IsPressed(unsigned mask) const;
    // Whole seconds the combination has been held, on the monotonic clock; 0.0
    // for masks outside 1..7 or a combination not held.
    double GetHoldTime(unsigned mask) const;
    void SetExclusiveTiming(bool on) { m_exclusiveTiming = on; }

private:
    void DiscardPendingInput();
    bool ConsumeByte();  // false when no byte is buffered
    void UpdatePressTimes();

    FileDescriptor m_fd;
    unsigned m_pending = 0;
    unsigned char m_state = 0;
    unsigned char m_buffer[16] = {};
    int m_count = 0;
    int64_t m_pressTime[8] = {-1, -1, -1, -1, -1, -1, -1, -1};  // ms; -1: not held
    int64_t m_lastReadTime = 0;
    bool m_exclusiveTiming = false;
};

#pragma once
// The LCD panel: a four-plane model of text row, seven-segment field, symbols and
// LEDs, pushed to the register-file device with positioned writes on Flush.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "util/file_descriptor.h"

// Display modes shared by text, segments, symbols and LEDs.
enum DisplayModes : int { MODE_OFF = 0, MODE_BLINK_INV = 1, MODE_BLINK = 2, MODE_ON = 3 };

struct DisplayPlane;

class NIVO_Display {
public:
    enum FlushBits : int {
        FLUSH_SEGMENTS = 1,
        FLUSH_SYMBOLS = 2,
        FLUSH_TEXT = 4,
        FLUSH_LEDS = 8,
        FLUSH_ALL = 15
    };
    static constexpr int kTextCells = 22;
    static constexpr int kSegmentCells = 10;
    static constexpr unsigned char kCursorMark = 0x9F;

    NIVO_Display();  // the device named by NIVO_LCD_DEVICE, else /dev/nivo_lcd
    explicit NIVO_Display(const std::string& devicePath);
    ~NIVO_Display();
    NIVO_Display(const NIVO_Display&) = delete;
    NIVO_Display& operator=(const NIVO_Display&) = delete;

    static std::string DevicePathFromEnvironment();

    bool IsGood();
    void Clear();          // model only
    void Flush(int what);  // FlushBits

    // Settings, written at once.
    void SetContrast(int value);
    int GetContrast() const { return m_contrast; }
    void SetBrightness(int value);
    int GetBrightness() const { return m_brightness; }

    // Text row, cells 0..21.
    void WriteText(const std::string& text, int mode, int pos);
    void ClearText(int plane, int len, int pos);  // plane -1: all four; len 0: whole row
    void GetTextCharAt(int pos, char& ch, int& mode) const;
    std::string GetText(int pos, int len) const;

    // Seven-segment field, cells 0..9 (0..3 time, 4..9 date).
    void WriteSegText(const std::string& text, int mode, int pos);
    void ClearSegText(int plane, int len, int pos);
    void GetSegCharAt(int pos, char& ch, int& mode) const;
    std::string GetSegText(int from, int to) const;  // cells from .. to-1
    std::string GetTimeText() const { return GetSegText(0, 4); }
    std::string GetDateText() const { return GetSegText(4, 10); }

    void SetSymbols(unsigned mask, int mode);
    void GetSymbolMode(unsigned mask, int& mode) const;
    void SetLed(unsigned mask, int mode);
    void GetLed(unsigned mask, int& mode) const;  // mode untouched when mask names no LED
    unsigned GetLedByte() const { return m_leds; }

    void SetCursor(int pos);
    void CursorOff();
    int GetCursor() const { return m_cursor; }

    // Live clock on the segment field. The formats are settings: setting one
    // changes what a live field shows, but never makes a field live again that a
    // page or a setter has taken over.
    void ShowDateTime(const std::string& dateFormat, const std::string& timeFormat, int mode);
    bool SetTimeFormat(const std::string& format);  // "%I%M" or "%H%M"
    bool SetDateFormat(const std::string& format);  // "%d%m%y" or "%y%m%d"
    std::string GetTimeFormat() const { return m_timeFormat; }
    std::string GetDateFormat() const { return m_dateFormat; }
    bool IsTimeLive() const { return m_timeLive; }
    bool IsDateLive() const { return m_dateLive; }
    void StopLiveTime() { m_timeLive = false; }
    void StopLiveDate() { m_dateLive = false; }

    // An information message over the text row. While it is on show, text and
    // cursor writes go to the page underneath and are not seen; ending it brings
    // the page back as it now is.
    void ShowMessage(const std::string& text);
    void EndMessage();
    bool IsMessageShown() const { return m_messageShown; }

    void ShowFixedText(int index);  // 0..19, built into the device

    // A mirror of the device: a regular file that receives every write at the
    // same offset, for a web panel. "" ends it. A mirror that fails is logged
    // once and tried again later; it never touches the device.
    void SetMirror(const std::string& path);
    const std::string& GetMirrorPath() const { return m_mirrorPath; }

    // Test seam: sees every positioned write that goes to the device (offset, bytes).
    using WriteObserver = std::function<void(int offset, const std::string& bytes)>;
    void SetWriteObserver(WriteObserver observer);

private:
    // Implementation details are the display's own; see nivo_display.cpp.
    void WriteAt(int offset, const std::string& bytes, bool force);
    void WriteTextRow(int plane, const std::string& text);
    void WriteSegmentRow(int plane, const std::string& segments);
    void WriteSymbols(int plane, unsigned value);
    void WriteLeds(unsigned value);
    void ResetPlanePart(int part, int plane);
    void RefreshLiveClock();
    void WriteMessageRows();
    void OpenMirror();
    void CheckMirror();
    void WriteMirror(int offset, const std::string& bytes);

    FileDescriptor m_device;
    std::unique_ptr<DisplayPlane[]> m_planes;
    int m_cursor = -1;
    std::string m_dateFormat;
    std::string m_timeFormat;
    // What a live field shows: a page's own format, or the setting once changed.
    std::string m_liveDateFormat;
    std::string m_liveTimeFormat;
    bool m_dateLive = false;
    bool m_timeLive = false;
    std::string m_message;
    bool m_messageShown = false;
    bool m_fixedTextHidden = false;  // a fixed text chosen or covered while a message was shown
    int m_fixedText = 0;
    bool m_holdWrites = true;
    bool m_writeFailed = false;
    unsigned m_leds = 0;
    int m_contrast = 0;
    int m_brightness = 0;
    WriteObserver m_writeObserver;
    std::string m_mirrorPath;
    FileDescriptor m_mirror;
    bool m_mirrorOnly = false;        // writes for the mirror alone (it was just opened)
    bool m_mirrorFailureLogged = false;
    int64_t m_mirrorCheckAtMs = 0;    // monotonic; when a lost mirror is looked at again
};

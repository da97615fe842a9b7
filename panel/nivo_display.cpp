#include "panel/nivo_display.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "util/logger.h"
#include "util/time_of_day.h"
#include "util/timer.h"
#include "util/utilities.h"

namespace {

constexpr int kPlaneCount = 4;
constexpr int64_t kMirrorCheckMs = 2000;
constexpr int kTextOffset = 0x000;
constexpr int kSymbolOffset = 0x030;
constexpr int kPartClearOffset = 0x043;
constexpr int kSegmentOffset = 0x2D0;
constexpr int kLedOffset = 0x040;
constexpr int kContrastOffset = 0x044;
constexpr int kBrightnessOffset = 0x045;
constexpr int kFixedTextOffset = 0x100;
constexpr int kFixedTextCount = 20;

constexpr int kPartAll = 0;
constexpr int kPartSegments = 1;
constexpr int kPartText = 2;
constexpr int kPartSymbols = 3;

constexpr char kBlank = ' ';
// Stored as a plane's text while the device shows one of its own fixed texts.
const std::string kFixedTextMarker = "__FIXED_TEXT__        ";

int Clamp(int value, int low, int high) {
    return value < low ? low : (value > high ? high : value);
}

// ISO-8859-1 to the LCD's character codes; unlisted bytes map to themselves.
std::array<unsigned char, 256> MakeCharTable() {
    std::array<unsigned char, 256> table{};
    for (int i = 0; i < 256; ++i) table[i] = static_cast<unsigned char>(i);
    static const unsigned char kPairs[][2] = {
        {0x80, 0x9D}, {0x9E, 0xA5}, {0xA2, 0x9B}, {0xA3, 0x9C}, {0xA5, 0x9E}, {0xB0, 0xB1},
        {0xB1, 0xB0}, {0xC4, 0x7F}, {0xC5, 0x92}, {0xC6, 0x95}, {0xC7, 0x86}, {0xC9, 0x93},
        {0xDF, 0x85}, {0xE0, 0x89}, {0xE2, 0x88}, {0xE4, 0x82}, {0xE5, 0x8A}, {0xE6, 0x94},
        {0xE8, 0x8E}, {0xE9, 0x87}, {0xEA, 0x8C}, {0xEB, 0x8D}, {0xEC, 0x91}, {0xEE, 0x90},
        {0xEF, 0x8F}, {0xF2, 0x97}, {0xF4, 0x96}, {0xF6, 0x80}, {0xF9, 0x99}, {0xFB, 0x98},
        {0xFC, 0x81}, {0xFF, 0x9A},
    };
    for (const auto& pair : kPairs) table[pair[0]] = pair[1];
    return table;
}

// Seven-segment patterns, bit 0..6 = segments a..g.
std::array<unsigned char, 256> MakeFontTable() {
    std::array<unsigned char, 256> font{};
    static const unsigned char kDigits[] = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                            0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    static const unsigned char kLetters[] = {0x77, 0x7C, 0x58, 0x5E, 0x79, 0x71, 0x7D, 0x76, 0x06,
                                             0x1E, 0x46, 0x38, 0x54, 0x54, 0x3F, 0x73, 0x67, 0x50,
                                             0x6D, 0x78, 0x3E, 0x3E, 0x3E, 0x76, 0x72, 0x5B};
    for (int i = 0; i < 10; ++i) font['0' + i] = kDigits[i];
    for (int i = 0; i < 26; ++i) font['A' + i] = font['a' + i] = kLetters[i];
    static const unsigned char kSigns[][2] = {
        {'"', 0x22}, {'(', 0x39},  {')', 0x0F}, {',', 0x04}, {'-', 0x40}, {'/', 0x52},  {'=', 0x48},
        {'[', 0x39}, {'\\', 0x64}, {']', 0x0F}, {'|', 0x06}, {'}', 0x7F}, {0x7F, 0x7F},
    };
    for (const auto& sign : kSigns) font[sign[0]] = sign[1];
    for (int code = 0x81; code <= 0xFF; ++code)
        font[code] = static_cast<unsigned char>(code - 0x80);
    return font;
}

const std::array<unsigned char, 256> kCharTable = MakeCharTable();
const std::array<unsigned char, 256> kFontTable = MakeFontTable();

std::string ConvertText(const std::string& text) {
    std::string out(text);
    for (char& ch : out) ch = static_cast<char>(kCharTable[static_cast<unsigned char>(ch)]);
    return out;
}

std::string EncodeSegments(const std::string& segments) {
    std::string out;
    out.reserve(segments.size() * 2);
    for (char ch : segments) out += ByteToNibbles(kFontTable[static_cast<unsigned char>(ch)]);
    return out;
}

// Replaces the characters from pos on, cut at the row's end; positions outside the row
// (negative ones included) leave it alone.
void OverlayInto(std::string& row, int pos, const std::string& s) {
    const size_t size = row.size();
    if (static_cast<unsigned>(pos) >= size) return;
    const size_t count = std::min(s.size(), size - pos);
    row.replace(pos, count, s, 0, count);
}

}  // namespace

// One plane of the panel model: text row, segment field and symbol bits.
struct DisplayPlane {
    std::string text;
    std::string segments;
    unsigned symbols = 0;
    int base = 0;
    char textFill = kBlank;
    char segmentFill = kBlank;
    unsigned defaultSymbols = 0;

    void StoreText(const std::string& s) {
        text = s;
        text.resize(NIVO_Display::kTextCells, textFill);
    }
    void StoreSegments(const std::string& s) {
        segments = s;
        segments.resize(NIVO_Display::kSegmentCells, segmentFill);
    }
    std::string OverlayText(int pos, const std::string& s) {
        OverlayInto(text, pos, s);
        return text;
    }
    std::string OverlaySegments(int pos, const std::string& s) {
        OverlayInto(segments, pos, s);
        return segments;
    }
    void Reset(int part) {
        if (part == kPartAll || part == kPartText) StoreText("");
        if (part == kPartAll || part == kPartSegments) StoreSegments("");
        if (part == kPartAll || part == kPartSymbols) symbols = defaultSymbols;
    }
    void SetFills(char textBlank, char segmentBlank, unsigned defaultBits) {
        textFill = textBlank;
        segmentFill = segmentBlank;
        defaultSymbols = defaultBits;
        Reset(kPartAll);
    }
    bool TextEmptyAt(int pos) const { return text[pos] == textFill; }
    bool SegmentEmptyAt(int pos) const { return segments[pos] == segmentFill; }
};

namespace {

// The mode that planes 0 and 2 express at one position.
int ModeFromPlanes(bool set0, bool set2) {
    if (set0) return set2 ? MODE_BLINK : MODE_ON;
    return set2 ? MODE_BLINK_INV : MODE_OFF;
}

// Character and mode of one cell of a row, read from its copies in planes 0 and 2.
void ReadCell(const std::string& row0, char fill0, const std::string& row2, char fill2, int pos,
              char& ch, int& mode) {
    if (pos < 0 || pos >= static_cast<int>(row0.size())) {
        ch = fill0;
        mode = MODE_OFF;
        return;
    }
    const bool set0 = row0[pos] != fill0;
    const bool set2 = row2[pos] != fill2;
    mode = ModeFromPlanes(set0, set2);
    ch = set0 ? row0[pos] : (set2 ? row2[pos] : fill0);
}

}  // namespace

NIVO_Display::NIVO_Display() : NIVO_Display(DevicePathFromEnvironment()) {}

NIVO_Display::NIVO_Display(const std::string& devicePath)
    : m_device(::open(devicePath.c_str(), O_WRONLY | O_CLOEXEC)) {
    if (!m_device.IsOpen()) {
        const int error = errno;
        Logger::Log(Logger::Error, "NIVO_Display: Fehler beim Oeffnen des Displaykanals.");
        Logger::Log(Logger::Error, "NIVO_Display: %s", std::strerror(error));
    }
    // The model exists even without a device, so a failed start can still shut down cleanly.
    m_planes = std::make_unique<DisplayPlane[]>(kPlaneCount);
    for (int i = 0; i < kPlaneCount; ++i) {
        m_planes[i].base = 0x1000 * i;
        m_planes[i].SetFills(kBlank, kBlank, 0);
    }
    m_planes[3].SetFills(static_cast<char>(0xB2), static_cast<char>(0x7F), 0xFFFFFFFFu);
    Clear();
}

NIVO_Display::~NIVO_Display() {
    m_planes.reset();
    // A device that never opened has nothing to close.
    if (m_device.IsOpen() && !m_device.Reset()) {
        Logger::Log(Logger::Error, "NIVO_Display: Fehler beim Schliessen des Displaykanals.");
    }
}

std::string NIVO_Display::DevicePathFromEnvironment() {
    const char* path = std::getenv("NIVO_LCD_DEVICE");
    return path && *path ? path : "/dev/nivo_lcd";
}

void NIVO_Display::SetWriteObserver(WriteObserver observer) {
    m_writeObserver = std::move(observer);
}

bool NIVO_Display::IsGood() {
    if (!m_device.IsOpen() || m_writeFailed) {
        Logger::Log(Logger::Error, "NIVO_Display::IsGood() Fehler im Displaykanal.");
        return false;
    }
    return m_planes != nullptr;
}

void NIVO_Display::Clear() {
    m_cursor = -1;
    for (int i = 0; i < kPlaneCount; ++i) m_planes[i].Reset(kPartAll);
    m_leds = 0;
}

void NIVO_Display::Flush(int what) {
    if (what == 0) return;
    Logger::Log(Logger::Debug, "flush What=%i", what);
    if (!m_mirrorPath.empty()) CheckMirror();
    m_holdWrites = false;
    if (what & FLUSH_SEGMENTS) RefreshLiveClock();
    for (int i = 0; i < kPlaneCount; ++i) {
        const DisplayPlane& plane = m_planes[i];
        if (what & FLUSH_LEDS) WriteLeds(m_leds);
        if (what & FLUSH_SEGMENTS) WriteSegmentRow(i, plane.segments);
        if (what & FLUSH_SYMBOLS) WriteSymbols(i, plane.symbols);
        if ((what & FLUSH_TEXT) && !m_messageShown) {
            WriteTextRow(i, plane.text);
            SetCursor(m_cursor);
        }
    }
    if (what & FLUSH_TEXT) {
        if (m_messageShown) {
            WriteMessageRows();
        } else if (m_fixedTextHidden && !m_mirrorOnly) {
            m_fixedTextHidden = false;
            if (m_planes[0].text == kFixedTextMarker) {
                WriteAt(kFixedTextOffset, std::string(1, static_cast<char>(m_fixedText)), true);
            }
        }
    }
    m_holdWrites = true;
}

void NIVO_Display::SetContrast(int value) {
    m_contrast = Clamp(value, 0, 15);
    WriteAt(kContrastOffset, std::string(1, static_cast<char>(m_contrast)), true);
}

void NIVO_Display::SetBrightness(int value) {
    m_brightness = Clamp(value, 0, 15);
    WriteAt(kBrightnessOffset, std::string(1, static_cast<char>(m_brightness)), true);
}

// ---- device channel and row writers ----

void NIVO_Display::WriteAt(int offset, const std::string& bytes, bool force) {
    if (m_holdWrites && !force) return;
    if (m_mirror.IsOpen()) WriteMirror(offset, bytes);
    if (m_mirrorOnly) return;
    if (m_writeObserver) m_writeObserver(offset, bytes);
    if (!m_device.IsOpen()) return;
    ssize_t written;
    do {  // a signal (SIGUSR1) must not cost a row
        written = ::pwrite(m_device.Get(), bytes.data(), bytes.size(), offset);
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(bytes.size())) m_writeFailed = true;
}

void NIVO_Display::WriteTextRow(int plane, const std::string& text) {
    if (text == kFixedTextMarker) return;
    m_planes[plane].StoreText(text);
    WriteAt(m_planes[plane].base + kTextOffset, ConvertText(m_planes[plane].text), false);
}

void NIVO_Display::WriteSegmentRow(int plane, const std::string& segments) {
    m_planes[plane].StoreSegments(segments);
    WriteAt(m_planes[plane].base + kSegmentOffset, EncodeSegments(m_planes[plane].segments), false);
}

void NIVO_Display::WriteSymbols(int plane, unsigned value) {
    m_planes[plane].symbols = value;
    WriteAt(m_planes[plane].base + kSymbolOffset, IntToNibbles(value), false);
}

void NIVO_Display::WriteLeds(unsigned value) {
    m_leds = value;
    WriteAt(kLedOffset, std::string(1, static_cast<char>(value & 0xFF)), false);
}

void NIVO_Display::ResetPlanePart(int part, int plane) {
    m_planes[plane].Reset(part);
    WriteAt(m_planes[plane].base + kPartClearOffset, IntToNibbles(static_cast<unsigned>(part)),
            false);
}

// ---- text row ----

void NIVO_Display::WriteText(const std::string& text, int mode, int pos) {
    const int n = static_cast<int>(text.size());
    m_planes[0].OverlayText(pos, text);
    switch (mode) {
        case MODE_ON:
            WriteTextRow(0, m_planes[0].text);
            ClearText(2, n, pos);
            break;
        case MODE_OFF:
            ClearText(0, n, pos);
            ClearText(2, n, pos);
            break;
        case MODE_BLINK:
            WriteTextRow(0, m_planes[0].text);
            WriteTextRow(2, m_planes[2].OverlayText(pos, text));
            break;
        case MODE_BLINK_INV:
            ClearText(0, n, pos);
            WriteTextRow(2, m_planes[2].OverlayText(pos, text));
            break;
        default:
            break;
    }
}

void NIVO_Display::ClearText(int plane, int len, int pos) {
    if (plane < -1 || plane >= kPlaneCount || len < 0) return;
    const int first = plane < 0 ? 0 : plane;
    const int last = plane < 0 ? kPlaneCount - 1 : plane;
    for (int i = first; i <= last; ++i) {
        if (len == 0) {
            ResetPlanePart(kPartText, i);
        } else {
            DisplayPlane& p = m_planes[i];
            p.OverlayText(pos, std::string(std::min(len, kTextCells), p.textFill));
        }
    }
}

void NIVO_Display::GetTextCharAt(int pos, char& ch, int& mode) const {
    ReadCell(m_planes[0].text, m_planes[0].textFill, m_planes[2].text, m_planes[2].textFill, pos,
             ch, mode);
}

std::string NIVO_Display::GetText(int pos, int len) const {
    std::string out;
    const int64_t end = std::min(static_cast<int64_t>(pos) + len, int64_t{kTextCells});
    for (int i = std::max(pos, 0); i < end; ++i) {
        char ch;
        int mode;
        GetTextCharAt(i, ch, mode);
        out += ch;
    }
    return out;
}

// ---- seven-segment field ----

void NIVO_Display::WriteSegText(const std::string& text, int mode, int pos) {
    const int n = static_cast<int>(text.size());
    if (pos <= 3) m_timeLive = false;
    if (static_cast<int64_t>(pos) + n > 4) m_dateLive = false;
    switch (mode) {
        case MODE_ON:
            WriteSegmentRow(0, m_planes[0].OverlaySegments(pos, text));
            ClearSegText(2, n, pos);
            break;
        case MODE_OFF:
            ClearSegText(0, n, pos);
            ClearSegText(2, n, pos);
            break;
        case MODE_BLINK:
            WriteSegmentRow(0, m_planes[0].OverlaySegments(pos, text));
            WriteSegmentRow(2, m_planes[2].OverlaySegments(pos, text));
            break;
        case MODE_BLINK_INV:
            ClearSegText(0, n, pos);
            WriteSegmentRow(2, m_planes[2].OverlaySegments(pos, text));
            break;
        default:
            break;
    }
}

void NIVO_Display::ClearSegText(int plane, int len, int pos) {
    if (plane < 0 || plane >= kPlaneCount || len < 0) return;
    if (len == 0) {
        ResetPlanePart(kPartSegments, plane);
    } else {
        DisplayPlane& p = m_planes[plane];
        p.OverlaySegments(pos, std::string(std::min(len, kSegmentCells), p.segmentFill));
    }
    // A live field whose first digit is gone from both content planes has ended.
    const DisplayPlane& p0 = m_planes[0];
    const DisplayPlane& p2 = m_planes[2];
    if (p0.SegmentEmptyAt(0) && p2.SegmentEmptyAt(0)) m_timeLive = false;
    if (p0.SegmentEmptyAt(4) && p2.SegmentEmptyAt(4)) m_dateLive = false;
}

void NIVO_Display::GetSegCharAt(int pos, char& ch, int& mode) const {
    ReadCell(m_planes[0].segments, m_planes[0].segmentFill, m_planes[2].segments,
             m_planes[2].segmentFill, pos, ch, mode);
}

std::string NIVO_Display::GetSegText(int from, int to) const {
    std::string out;
    for (int i = std::max(from, 0); i < std::min(to, static_cast<int>(kSegmentCells)); ++i) {
        char ch;
        int mode;
        GetSegCharAt(i, ch, mode);
        out += ch;
    }
    return out;
}

// ---- symbols and LEDs ----

void NIVO_Display::SetSymbols(unsigned mask, int mode) {
    // The empty-battery outline replaces whatever charge was shown.
    if (mask != 0 && (mask & ~static_cast<unsigned>(BATT_0P)) == 0) SetSymbols(BATT_100P, MODE_OFF);
    const unsigned value0 = m_planes[0].symbols;
    switch (mode) {
        case MODE_ON:
            WriteSymbols(0, value0 | mask);
            WriteSymbols(2, m_planes[2].symbols & ~mask);
            break;
        case MODE_OFF:
            WriteSymbols(0, value0 & ~mask);
            WriteSymbols(2, m_planes[2].symbols & ~mask);
            break;
        case MODE_BLINK:
            SetSymbols(mask, MODE_ON);
            WriteSymbols(2, m_planes[2].symbols | mask);
            break;
        case MODE_BLINK_INV:
            SetSymbols(mask, MODE_OFF);
            WriteSymbols(2, m_planes[2].symbols | mask);
            break;
        default:
            break;
    }
}

void NIVO_Display::GetSymbolMode(unsigned mask, int& mode) const {
    mode = ModeFromPlanes(AllBitsSet(mask, m_planes[0].symbols),
                          AllBitsSet(mask, m_planes[2].symbols));
}

void NIVO_Display::SetLed(unsigned mask, int mode) {
    if (mode < MODE_OFF || mode > MODE_ON) return;
    unsigned leds = m_leds;
    for (int i = 0; i < 4; ++i) {
        if (!(mask & (1u << i))) continue;
        leds &= ~(0x11u << i);
        leds |= static_cast<unsigned>(mode & 1) << i;
        leds |= static_cast<unsigned>((mode >> 1) & 1) << (i + 4);
    }
    WriteLeds(leds);
}

void NIVO_Display::GetLed(unsigned mask, int& mode) const {
    for (int i = 0; i < 4; ++i) {
        if (!(mask & (1u << i))) continue;
        mode = static_cast<int>(((m_leds >> (i + 4)) & 1) * 2 + ((m_leds >> i) & 1));
        return;
    }
}

// ---- cursor ----

void NIVO_Display::SetCursor(int pos) {
    if (static_cast<unsigned>(pos) >= static_cast<unsigned>(kTextCells)) return;
    CursorOff();
    m_cursor = pos;
    std::string rows[kPlaneCount];
    for (int i = 0; i < kPlaneCount; ++i) rows[i] = m_planes[i].text;
    const bool set0 = !m_planes[0].TextEmptyAt(pos);
    const bool set2 = !m_planes[2].TextEmptyAt(pos);
    const char mark = static_cast<char>(kCursorMark);
    if (!set0 && !set2) {
        rows[1][pos] = mark;
        rows[2][pos] = mark;
    } else if (!set0) {
        rows[3][pos] = rows[2][pos];
        rows[1][pos] = mark;
    } else if (!set2) {
        rows[2][pos] = mark;
    } else {
        rows[2][pos] = mark;
        rows[3][pos] = mark;
    }
    for (int i = 1; i < kPlaneCount; ++i) {
        // A device showing a fixed text keeps it; the mark has no place there.
        if (m_planes[i].text == kFixedTextMarker) continue;
        WriteAt(m_planes[i].base + kTextOffset, ConvertText(rows[i]), false);
    }
}

void NIVO_Display::CursorOff() {
    for (int i = 0; i < kPlaneCount; ++i) WriteTextRow(i, m_planes[i].text);
    m_cursor = -1;
}

// ---- live clock ----

void NIVO_Display::ShowDateTime(const std::string& dateFormat, const std::string& timeFormat,
                                int mode) {
    if (dateFormat.empty() && timeFormat.empty()) return;
    const int pos = timeFormat.empty() ? 4 : 0;
    const int width = dateFormat.empty() ? 4 : (timeFormat.empty() ? 6 : 10);
    const std::string format = timeFormat + dateFormat;
    const struct tm now = LocalTimeNow();

    if (timeFormat.find('I') != std::string::npos) {
        // Noon and the hours after it are PM.
        if (now.tm_hour >= 12) {
            SetSymbols(AM, MODE_OFF);
            SetSymbols(PM, MODE_ON);
        } else {
            SetSymbols(AM, MODE_ON);
            SetSymbols(PM, MODE_OFF);
        }
    } else if (timeFormat.find('H') != std::string::npos) {
        SetSymbols(AM | PM, MODE_OFF);
    }

    char buffer[11];
    const size_t length = std::strftime(buffer, sizeof buffer, format.c_str(), &now);
    const std::string shown(buffer, length);
    switch (mode) {
        case MODE_ON:
            WriteSegmentRow(0, m_planes[0].OverlaySegments(pos, shown));
            ClearSegText(2, width, pos);
            break;
        case MODE_OFF:
            ClearSegText(0, width, pos);
            ClearSegText(2, width, pos);
            break;
        case MODE_BLINK:
        case MODE_BLINK_INV:
            WriteSegmentRow(0, m_planes[0].OverlaySegments(pos, shown));
            WriteSegmentRow(2, m_planes[2].OverlaySegments(pos, shown));
            break;
        default:
            break;
    }
    if (mode == MODE_OFF) return;
    if (!dateFormat.empty()) {
        m_liveDateFormat = dateFormat;
        m_dateLive = true;
    }
    if (!timeFormat.empty()) {
        m_liveTimeFormat = timeFormat;
        m_timeLive = true;
    }
}

void NIVO_Display::RefreshLiveClock() {
    char ch;
    int mode = MODE_OFF;
    if (m_timeLive) {
        GetSegCharAt(0, ch, mode);
        ShowDateTime("", m_liveTimeFormat, mode);
    }
    if (m_dateLive) {
        GetSegCharAt(4, ch, mode);
        ShowDateTime(m_liveDateFormat, "", mode);
    }
}

bool NIVO_Display::SetTimeFormat(const std::string& format) {
    if (format != "%I%M" && format != "%H%M") return false;
    m_timeFormat = format;
    if (m_timeLive) m_liveTimeFormat = format;
    return true;
}

bool NIVO_Display::SetDateFormat(const std::string& format) {
    if (format != "%d%m%y" && format != "%y%m%d") return false;
    m_dateFormat = format;
    if (m_dateLive) m_liveDateFormat = format;
    return true;
}

// ---- fixed texts ----

void NIVO_Display::ShowFixedText(int index) {
    ClearText(-1, 0, 0);
    Flush(FLUSH_TEXT);
    for (int i = 0; i < kPlaneCount; ++i) m_planes[i].text = kFixedTextMarker;
    m_fixedText = Clamp(index, 0, kFixedTextCount - 1);
    // Under a message the text comes when the message ends.
    if (m_messageShown) {
        m_fixedTextHidden = true;
        return;
    }
    WriteAt(kFixedTextOffset, std::string(1, static_cast<char>(m_fixedText)), true);
}

// ---- information message ----

void NIVO_Display::ShowMessage(const std::string& text) {
    m_message = text;
    m_message.resize(std::min<size_t>(m_message.size(), kTextCells));
    m_messageShown = true;
    // A fixed text on show must come back when the message ends.
    if (m_planes[0].text == kFixedTextMarker) m_fixedTextHidden = true;
}

void NIVO_Display::EndMessage() {
    m_messageShown = false;
}

// The message steady on plane 0, the other planes empty: no blink, no cursor.
void NIVO_Display::WriteMessageRows() {
    for (int i = 0; i < kPlaneCount; ++i) {
        std::string row(kTextCells, m_planes[i].textFill);
        if (i == 0) row.replace(0, m_message.size(), m_message);
        WriteAt(m_planes[i].base + kTextOffset, ConvertText(row), false);
    }
}

// ---- mirror ----

void NIVO_Display::SetMirror(const std::string& path) {
    if (path == m_mirrorPath) return;
    m_mirror.Reset();
    m_mirrorPath = path;
    m_mirrorFailureLogged = false;
    if (!path.empty()) OpenMirror();
}

// Opens the mirror and gives it the whole panel at once, so that a reader never
// sees a half-made picture; the device gets none of these writes.
void NIVO_Display::OpenMirror() {
    m_mirrorCheckAtMs = TimerTarget::s_timerQueue.NowMs() + kMirrorCheckMs;
    m_mirror = FileDescriptor(::open(m_mirrorPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    struct stat info {};
    if (m_mirror.IsOpen() && (::fstat(m_mirror.Get(), &info) != 0 || !S_ISREG(info.st_mode))) {
        m_mirror.Reset();
        errno = EINVAL;
    }
    if (!m_mirror.IsOpen()) {
        if (!m_mirrorFailureLogged) {
            Logger::Log(Logger::Error, "NIVO_Display: Spiegeldatei %s: %s", m_mirrorPath.c_str(),
                        std::strerror(errno));
        }
        m_mirrorFailureLogged = true;
        return;
    }
    const bool hold = m_holdWrites;
    m_mirrorOnly = true;
    Flush(FLUSH_ALL);
    WriteAt(kContrastOffset, std::string(1, static_cast<char>(m_contrast)), true);
    WriteAt(kBrightnessOffset, std::string(1, static_cast<char>(m_brightness)), true);
    WriteAt(kFixedTextOffset, std::string(1, static_cast<char>(m_fixedText)), true);
    m_mirrorOnly = false;
    m_holdWrites = hold;
}

// Now and then: a mirror that failed is opened again, one that was deleted or
// replaced is made anew where the web panel looks for it.
void NIVO_Display::CheckMirror() {
    const int64_t now = TimerTarget::s_timerQueue.NowMs();
    if (now < m_mirrorCheckAtMs || m_mirrorOnly) return;
    m_mirrorCheckAtMs = now + kMirrorCheckMs;
    struct stat opened {}, named {};
    if (m_mirror.IsOpen() && ::fstat(m_mirror.Get(), &opened) == 0 &&
        ::stat(m_mirrorPath.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
        opened.st_dev == named.st_dev) {
        return;
    }
    m_mirror.Reset();
    OpenMirror();
}

void NIVO_Display::WriteMirror(int offset, const std::string& bytes) {
    ssize_t written;
    do {
        written = ::pwrite(m_mirror.Get(), bytes.data(), bytes.size(), offset);
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(bytes.size())) {
        m_mirrorFailureLogged = false;
        return;
    }
    if (!m_mirrorFailureLogged) {
        Logger::Log(Logger::Error, "NIVO_Display: Spiegeldatei %s: %s", m_mirrorPath.c_str(),
                    written < 0 ? std::strerror(errno) : "unvollstaendig geschrieben");
    }
    m_mirrorFailureLogged = true;
    m_mirror.Reset();  // tried again at a later flush
}

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "panel/nivo_display.h"
#include "sim/panel_decoder.h"
#include "tests/util/temp_dir.h"
#include "util/file_descriptor.h"
#include "util/logger.h"
#include "util/time_of_day.h"
#include "util/utilities.h"

namespace {

using Write = std::pair<int, std::string>;
using ND = NIVO_Display;

// 5 March 2024 at hour:minute, UTC.
time_t UtcTime(int hour, int minute) {
    return 1709596800 + hour * 3600 + minute * 60;
}

// The modes of a row of decoded cells as digits, e.g. "3321".
template <typename Cells>
std::string Modes(const Cells& cells) {
    std::string out;
    for (const PanelCell& cell : cells) out += static_cast<char>('0' + cell.mode);
    return out;
}

// A display on a register file; the decoder reads back what the device was sent.
class DisplayTest : public ::testing::Test {
protected:
    DisplayTest() : m_path(m_dir.Write("lcd.reg", "")), m_display(m_path) {
        m_display.SetWriteObserver(
            [this](int offset, const std::string& bytes) { m_writes.emplace_back(offset, bytes); });
    }
    std::string Bytes(size_t offset, size_t length) const {
        std::string all = ReadFile(m_path);
        all.resize(std::max(all.size(), offset + length), '\0');
        return all.substr(offset, length);
    }
    PanelPicture Panel() const { return DecodePanelFile(m_path).value_or(PanelPicture{}); }

    CapturingLogger m_log;
    ScopedLogger m_logGuard{&m_log};
    TempDir m_dir;
    std::string m_path;
    NIVO_Display m_display;
    std::vector<Write> m_writes;
};

TEST_F(DisplayTest, ContentWaitsForItsFlushBitsWhileSettingsGoAtOnce) {
    m_display.WriteText("HELLO", MODE_ON, 0);
    m_display.WriteSegText("12", MODE_ON, 0);
    m_display.SetLed(LED_POWER, MODE_ON);
    m_display.SetContrast(20);
    m_display.SetBrightness(-1);
    EXPECT_EQ(m_writes, (std::vector<Write>{{0x044, "\x0F"}, {0x045, std::string(1, 0)}}));
    m_writes.clear();
    m_display.Flush(ND::FLUSH_TEXT | ND::FLUSH_LEDS);
    std::vector<int> offsets;
    for (const Write& write : m_writes) offsets.push_back(write.first);
    EXPECT_EQ(offsets,
              (std::vector<int>{0x040, 0x0000, 0x040, 0x1000, 0x040, 0x2000, 0x040, 0x3000}));
    EXPECT_EQ(Panel().Line(0) + Panel().Segments(), "HELLO                ");

    // Plane 3 carries its own fill bytes.
    m_display.Flush(ND::FLUSH_ALL);
    EXPECT_EQ(Bytes(0x3000, 22), std::string(22, '\xB2'));
    EXPECT_EQ(Bytes(0x32D0, 4) + Bytes(0x3030, 4), "\x0F\x07\x0F\x07\x0F\x0F\x0F\x0F");
}

TEST_F(DisplayTest, TextModesLiveInPlanesZeroAndTwo) {
    m_display.WriteText("XYZ", MODE_BLINK, 0);
    m_display.WriteText("AB", MODE_ON, 0);  // steady over blinking
    m_display.WriteText("CD", MODE_BLINK_INV, 5);
    m_display.WriteText("EF", MODE_ON, 8);
    m_display.WriteText("F", MODE_OFF, 9);
    m_display.WriteText("\xF6\xC4\xDF\xB0\xB1\x80\xE0", MODE_ON, 11);  // device codes differ
    m_display.WriteText("GH", MODE_BLINK, 20);
    m_display.WriteText("ZZ", MODE_ON, 30);  // beyond the row: nothing placed
    m_display.Flush(ND::FLUSH_TEXT);
    PanelPicture panel = Panel();
    EXPECT_EQ(panel.Text(), "ABZ  CD E  \xF6\xC4\xDF\xB0\xB1\x80\xE0  GH");
    EXPECT_EQ(Modes(panel.text), "3320011030033333330022");
    EXPECT_EQ(m_display.GetText(4, 5) + m_display.GetText(19, 9), " CD E GH");  // inputs read it
}

TEST_F(DisplayTest, CursorMarkTellsWhatLiesBeneathAndKeepsTheConversion) {
    // The cell in planes 1, 2 and 3 for each mode; 0x82 is the device code of ä.
    const std::string planes123[] = {"\x9F\x9F\xB2", "\x9F\x82\x82", " \x9F\x9F", " \x9F\xB2"};
    for (int mode : {MODE_OFF, MODE_BLINK_INV, MODE_BLINK, MODE_ON}) {
        m_display.Clear();
        m_display.WriteText("\xE4", mode, 7);
        m_display.SetCursor(7);
        m_display.Flush(ND::FLUSH_TEXT);
        EXPECT_EQ(Bytes(0x1007, 1) + Bytes(0x2007, 1) + Bytes(0x3007, 1), planes123[mode]) << mode;
        PanelPicture panel = Panel();
        EXPECT_EQ(panel.cursor, 7) << mode;
        EXPECT_EQ(panel.text[7].mode, mode) << mode;
        EXPECT_EQ(panel.text[7].ch, mode == MODE_OFF ? ' ' : '\xE4') << mode;
    }
    m_display.CursorOff();
    m_display.Flush(ND::FLUSH_TEXT);
    EXPECT_EQ(Panel().cursor, -1);
}

TEST_F(DisplayTest, TwelveHourClockShowsPmFromNoon) {
    const struct {
        int hour, minute;
        const char* format;
        const char* shown;
    } cases[] = {{12, 30, "%I%M", "1230 PM"},
                 {0, 30, "%I%M", "1230 AM"},
                 {13, 5, "%I%M", "0105 PM"},
                 {13, 5, "%H%M", "1305 "}};
    for (const auto& c : cases) {
        FakeWallClock clock(UtcTime(c.hour, c.minute));
        m_display.ShowDateTime("", c.format, MODE_ON);
        m_display.Flush(ND::FLUSH_SEGMENTS | ND::FLUSH_SYMBOLS);
        const PanelPicture panel = Panel();
        EXPECT_EQ(panel.Segments().substr(0, 4) + " " + (panel.SymbolMode(AM) ? "AM" : "") +
                      (panel.SymbolMode(PM) ? "PM" : ""),
                  c.shown)
            << c.hour << c.format;
    }
}

TEST(DisplayDeviceTest, OpenAndWriteFailuresAreReported) {
    CapturingLogger log;
    ScopedLogger guard(&log);
    {
        NIVO_Display display("/nonexistent-dir/nivo_lcd");
        EXPECT_FALSE(display.IsGood());
        display.Flush(ND::FLUSH_ALL);  // the manager's way out must not crash
    }
    for (const char* line : {"NIVO_Display: Fehler beim Oeffnen des Displaykanals.",
                             "NIVO_Display: No such file or directory"})
        EXPECT_TRUE(log.Has(Logger::Error, line)) << line;
    // Nothing was open, so nothing failed to close.
    EXPECT_EQ(log.Count("NIVO_Display: Fehler beim Schliessen des Displaykanals."), 0);

    // pwrite on a FIFO fails: a stand-in for a device that refuses a write.
    TempDir dir;
    const std::string path = dir.Path("lcd");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    FileDescriptor reader(open(path.c_str(), O_RDONLY | O_NONBLOCK));
    NIVO_Display display(path);
    EXPECT_TRUE(display.IsGood());
    display.SetContrast(3);
    EXPECT_FALSE(display.IsGood());
    EXPECT_TRUE(log.Has(Logger::Error, "NIVO_Display::IsGood() Fehler im Displaykanal."));
}

}  // namespace

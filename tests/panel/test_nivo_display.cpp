#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "panel/nivo_display.h"
#include "sim/panel_decoder.h"
#include "util/logger.h"
#include "util/time_of_day.h"
#include "util/utilities.h"

namespace {

using Write = std::pair<int, std::string>;

std::string Repeat(int count, unsigned char byte) {
    return std::string(count, static_cast<char>(byte));
}

time_t UtcTime(int hour, int minute) {
    struct tm t {};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;  // March
    t.tm_mday = 5;
    t.tm_hour = hour;
    t.tm_min = minute;
    return timegm(&t);
}

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/nivo_lcd_XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        m_path = name;
        m_display = std::make_unique<NIVO_Display>(m_path);
        m_display->SetWriteObserver(
            [this](int offset, const std::string& bytes) { m_writes.emplace_back(offset, bytes); });
    }
    void TearDown() override {
        m_display.reset();
        unlink(m_path.c_str());
    }

    std::string Registers() const {
        std::ifstream file(m_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    std::string Bytes(int offset, int length) const {
        std::string all = Registers();
        all.resize(std::max<size_t>(all.size(), offset + length), '\0');
        return all.substr(offset, length);
    }
    PanelPicture Panel() const {
        auto picture = DecodePanelFile(m_path);
        EXPECT_TRUE(picture.has_value());
        return picture.value_or(PanelPicture{});
    }
    std::vector<int> WrittenOffsets() const {
        std::vector<int> offsets;
        for (const auto& write : m_writes) offsets.push_back(write.first);
        return offsets;
    }

    CapturingLogger m_log;
    ScopedLogger m_logGuard{&m_log};
    std::string m_path;
    std::unique_ptr<NIVO_Display> m_display;
    std::vector<Write> m_writes;
};

TEST_F(DisplayTest, FlushSendsOnlySelectedPartsInPlaneOrder) {
    EXPECT_TRUE(m_display->IsGood());
    m_display->Flush(0);
    EXPECT_TRUE(m_writes.empty());
    EXPECT_TRUE(m_log.Lines().empty());
    EXPECT_EQ(Registers(), "");

    m_display->SetLed(LED_POWER, MODE_ON);
    m_display->Flush(NIVO_Display::FLUSH_LEDS);
    EXPECT_EQ(m_writes, std::vector<Write>(4, Write(0x040, "\x11")));
    EXPECT_TRUE(m_log.Has(Logger::Debug, "flush What=8"));
    EXPECT_EQ(Registers().size(), 0x41u);

    m_writes.clear();
    m_display->Flush(NIVO_Display::FLUSH_ALL);
    std::vector<int> expected;
    for (int base = 0; base <= 0x3000; base += 0x1000) {
        expected.insert(expected.end(), {0x040, base + 0x2D0, base + 0x030, base});
    }
    EXPECT_EQ(WrittenOffsets(), expected);
}

TEST_F(DisplayTest, ContentReachesTheDeviceOnlyOnFlush) {
    m_display->WriteText("HELLO", MODE_ON, 0);
    m_display->WriteSegText("12", MODE_ON, 0);
    m_display->SetSymbols(ALERT, MODE_ON);
    m_display->ClearText(-1, 0, 0);
    EXPECT_TRUE(m_writes.empty());
    EXPECT_EQ(Registers(), "");

    m_display->WriteText("HELLO", MODE_ON, 0);
    m_display->Flush(NIVO_Display::FLUSH_TEXT);
    PanelPicture panel = Panel();
    EXPECT_EQ(panel.Line(0), "HELLO      ");
    EXPECT_EQ(panel.Segments(), "          ");  // not flushed yet
    EXPECT_EQ(panel.SymbolMode(ALERT), MODE_OFF);
}

TEST_F(DisplayTest, BlankPlanesSendTheirFillBytes) {
    m_display->Flush(NIVO_Display::FLUSH_ALL);
    EXPECT_EQ(Bytes(0x3000, 22), Repeat(22, 0xB2));
    std::string plane3Segments;
    for (int i = 0; i < 10; ++i) plane3Segments += "\x0F\x07";
    EXPECT_EQ(Bytes(0x32D0, 20), plane3Segments);
    EXPECT_EQ(Bytes(0x3030, 4), Repeat(4, 0x0F));
    for (int base = 0; base < 0x3000; base += 0x1000) {
        EXPECT_EQ(Bytes(base, 22), Repeat(22, ' '));
        EXPECT_EQ(Bytes(base + 0x2D0, 20), Repeat(20, 0));
        EXPECT_EQ(Bytes(base + 0x030, 4), Repeat(4, 0));
    }
    EXPECT_EQ(RenderPanel(Panel()).substr(0, 42), "+-----------+\n|           |\n|           |\n");
}

TEST_F(DisplayTest, SegmentsAndSymbolsUseTheNibbleLayouts) {
    m_display->WriteSegText("8 A-", MODE_ON, 0);
    m_display->SetSymbols(0x1234, MODE_ON);
    m_display->Flush(NIVO_Display::FLUSH_SEGMENTS | NIVO_Display::FLUSH_SYMBOLS);
    EXPECT_EQ(Bytes(0x2D0, 8), std::string("\x0F\x07\x00\x00\x07\x07\x00\x04", 8));
    EXPECT_EQ(Bytes(0x030, 4), "\x04\x03\x02\x01");
    EXPECT_EQ(Panel().Segments(), "8 A-      ");
}

TEST_F(DisplayTest, ContrastAndBrightnessAreClampedAndSentAtOnce) {
    m_display->SetContrast(-5);
    EXPECT_EQ(Bytes(0x044, 1), std::string(1, '\0'));
    m_display->SetContrast(20);
    EXPECT_EQ(m_display->GetContrast(), 15);
    m_display->SetBrightness(-1);
    EXPECT_EQ(m_display->GetBrightness(), 0);
    m_display->SetBrightness(99);
    EXPECT_EQ(Bytes(0x044, 2), "\x0F\x0F");
    m_display->SetBrightness(7);
    PanelPicture panel = Panel();
    EXPECT_EQ(panel.contrast, 15);
    EXPECT_EQ(panel.brightness, 7);
}

TEST_F(DisplayTest, TextModesShowThroughTheContentPlanes) {
    m_display->WriteText("AB", MODE_BLINK, 20);
    m_display->WriteText("XY", MODE_BLINK_INV, 5);
    m_display->WriteText("ON", MODE_ON, 0);
    m_display->WriteText("ZZ", MODE_ON, 30);  // beyond the row: nothing placed
    m_display->Flush(NIVO_Display::FLUSH_TEXT);
    PanelPicture panel = Panel();
    EXPECT_EQ(panel.Text(), "ON   XY             AB");
    EXPECT_EQ(panel.text[20].mode, MODE_BLINK);
    EXPECT_EQ(panel.text[21].mode, MODE_BLINK);
    EXPECT_EQ(panel.text[5].mode, MODE_BLINK_INV);
    EXPECT_EQ(panel.text[0].mode, MODE_ON);
    char ch = 0;
    int mode = -1;
    m_display->GetTextCharAt(5, ch, mode);
    EXPECT_EQ(ch, 'X');
    EXPECT_EQ(mode, MODE_BLINK_INV);
    EXPECT_EQ(m_display->GetText(19, 10), " AB");

    m_display->WriteText("CD", MODE_BLINK, 21);
    m_display->WriteText("N", MODE_OFF, 1);
    m_display->Flush(NIVO_Display::FLUSH_TEXT);
    panel = Panel();
    EXPECT_EQ(panel.Text(), "O    XY             AC");
    EXPECT_EQ(panel.text[1].mode, MODE_OFF);

    m_display->WriteText("", MODE_OFF, 0);  // whole rows of planes 0 and 2
    m_display->Flush(NIVO_Display::FLUSH_TEXT);
    EXPECT_EQ(Panel().Text(), std::string(22, ' '));
    EXPECT_EQ(Bytes(0x2000, 22), Repeat(22, ' '));
}

TEST_F(DisplayTest, LatinCharactersAreConvertedForTheDevice) {
    m_display->WriteText("\xE4\xB0\xDF", MODE_ON, 0);  // ä ° ß
    m_display->Flush(NIVO_Display::FLUSH_TEXT);
    EXPECT_EQ(Bytes(0, 3), "\x82\xB1\x85");
    EXPECT_EQ(Panel().Text().substr(0, 3), "\xE4\xB0\xDF");
    EXPECT_EQ(m_display->GetText(0, 3), "\xE4\xB0\xDF");  // the model keeps ISO-8859-1
}

TEST_F(DisplayTest, CursorMarkTellsWhatLiesBeneath) {
    m_display->SetCursor(22);
    m_display->SetCursor(-1);
    m_display->Flush(NIVO_Display::FLUSH_TEXT);
    EXPECT_EQ(m_writes.size(), 4u);
    EXPECT_EQ(Panel().cursor, -1);

    m_display->SetCursor(0);
    m_display->Flush(NIVO_Display::FLUSH_TEXT);
    EXPECT_EQ(Bytes(0x1000, 1), "\x9F");
    EXPECT_EQ(Bytes(0x2000, 1), "\x9F");
    EXPECT_EQ(Bytes(0x3000, 1), "\xB2");
    EXPECT_EQ(Panel().cursor, 0);

    struct Case {
        int mode;
        std::string plane1, plane2, plane3;
    };
    const Case cases[] = {
        {MODE_ON, " ", "\x9F", "\xB2"},
        {MODE_BLINK, " ", "\x9F", "\x9F"},
        {MODE_BLINK_INV, "\x9F", "Q", "Q"},
    };
    for (const Case& c : cases) {
        m_display->Clear();
        m_display->WriteText("Q", c.mode, 7);
        m_display->SetCursor(7);
        m_display->Flush(NIVO_Display::FLUSH_TEXT);
        EXPECT_EQ(Bytes(0x1007, 1) + Bytes(0x2007, 1) + Bytes(0x3007, 1),
                  c.plane1 + c.plane2 + c.plane3)
            << "mode " << c.mode;
        PanelPicture panel = Panel();
        EXPECT_EQ(panel.cursor, 7);
        EXPECT_EQ(panel.text[7].ch, 'Q');
        EXPECT_EQ(panel.text[7].mode, c.mode);
        EXPECT_EQ(m_display->GetText(7, 1), "Q");  // the mark never enters the model
    }

    m_display->CursorOff();
    m_display->Flush(NIVO_Display::FLUSH_TEXT);
    EXPECT_EQ(m_display->GetCursor(), -1);
    EXPECT_EQ(Panel().cursor, -1);
    EXPECT_EQ(Bytes(0x1007, 1), " ");
}

TEST_F(DisplayTest, CursorRowsKeepTheCharacterConversion) {
    m_display->WriteText("\xB0", MODE_BLINK_INV, 5);  // °, device code 0xB1
    m_display->WriteText("\xE4", MODE_BLINK, 6);      // ä, device code 0x82
    m_display->SetCursor(0);
    m_display->Flush(NIVO_Display::FLUSH_TEXT);
    EXPECT_EQ(Bytes(0x2005, 2), "\xB1\x82");
    PanelPicture panel = Panel();
    EXPECT_EQ(panel.text[5].ch, '\xB0');
    EXPECT_EQ(panel.text[6].ch, '\xE4');
}

TEST_F(DisplayTest, FixedTextKeepsTheDeviceTextUntilRowsAreCleared) {
    m_display->WriteText("OLD", MODE_BLINK, 0);
    m_display->SetCursor(1);
    m_display->ShowFixedText(25);
    EXPECT_EQ(Bytes(0x100, 1), "\x13");
    EXPECT_EQ(Bytes(0, 22), Repeat(22, ' '));
    EXPECT_EQ(Bytes(0x2000, 1) + Bytes(0x2002, 1), "  ");  // the old blink is gone

    m_writes.clear();
    m_display->Flush(NIVO_Display::FLUSH_TEXT);  // neither rows nor the cursor mark go out
    EXPECT_TRUE(m_writes.empty());
    m_display->ShowFixedText(-3);
    EXPECT_EQ(Panel().fixedText, 0);

    m_display->CursorOff();
    m_display->ClearText(-1, 0, 0);
    m_display->WriteText("NEW", MODE_ON, 0);
    m_display->Flush(NIVO_Display::FLUSH_TEXT);
    EXPECT_EQ(Panel().Line(0), "NEW        ");
}

TEST_F(DisplayTest, BatteryOutlineReplacesTheChargeBars) {
    m_display->SetSymbols(BATT_100P, MODE_ON);
    m_display->SetSymbols(BATT_0P, MODE_ON);
    m_display->Flush(NIVO_Display::FLUSH_SYMBOLS);
    PanelPicture panel = Panel();
    EXPECT_EQ(panel.SymbolMode(BATT_S1), MODE_OFF);
    EXPECT_EQ(panel.SymbolMode(BATT_S2), MODE_OFF);
    EXPECT_EQ(panel.SymbolMode(BATT_S3), MODE_ON);
    EXPECT_EQ(panel.SymbolMode(BATT_S4), MODE_ON);

    m_display->SetSymbols(BATT_100P, MODE_ON);
    m_display->SetSymbols(BATT_50P, MODE_ON);
    int mode = -1;
    m_display->GetSymbolMode(BATT_S1, mode);
    EXPECT_EQ(mode, MODE_ON);

    m_display->SetSymbols(MAIL, MODE_BLINK);
    m_display->SetSymbols(HOUSE, MODE_BLINK_INV);
    m_display->SetSymbols(ALERT, 7);  // unknown mode: nothing
    m_display->Flush(NIVO_Display::FLUSH_SYMBOLS);
    panel = Panel();
    EXPECT_EQ(panel.SymbolMode(MAIL), MODE_BLINK);
    EXPECT_EQ(panel.SymbolMode(HOUSE), MODE_BLINK_INV);
    EXPECT_EQ(panel.SymbolMode(ALERT), MODE_OFF);
    m_display->GetSymbolMode(HOUSE, mode);
    EXPECT_EQ(mode, MODE_BLINK_INV);
    m_display->GetSymbolMode(0, mode);
    EXPECT_EQ(mode, MODE_OFF);
}

TEST_F(DisplayTest, LedModesUseTwoBitsPerLed) {
    m_display->SetLed(LED_STATUS_A, MODE_ON);
    EXPECT_EQ(m_display->GetLedByte(), 0x44u);
    int mode = -1;
    m_display->GetLed(LED_STATUS_A, mode);
    EXPECT_EQ(mode, MODE_ON);
    m_display->SetLed(LED_POWER | LED_DISPLAY, MODE_BLINK_INV);
    m_display->SetLed(LED_STATUS_B, MODE_BLINK);
    EXPECT_EQ(m_display->GetLedByte(), 0x44u | 0x09u | 0x20u);
    m_display->SetLed(LED_STATUS_A, MODE_OFF);
    mode = 42;
    m_display->GetLed(0, mode);
    EXPECT_EQ(mode, 42);
    m_display->Flush(NIVO_Display::FLUSH_LEDS);
    PanelPicture panel = Panel();
    EXPECT_EQ(panel.LedMode(LED_POWER), MODE_BLINK_INV);
    EXPECT_EQ(panel.LedMode(LED_STATUS_B), MODE_BLINK);
    EXPECT_EQ(panel.LedMode(LED_STATUS_A), MODE_OFF);
    EXPECT_EQ(panel.LedMode(LED_DISPLAY), MODE_BLINK_INV);
}

TEST_F(DisplayTest, TwelveHourClockShowsPmFromNoon) {
    struct Case {
        int hour, minute;
        const char* digits;
        int am, pm;
    };
    const Case cases[] = {
        {12, 30, "1230", MODE_OFF, MODE_ON},
        {0, 30, "1230", MODE_ON, MODE_OFF},
        {13, 5, "0105", MODE_OFF, MODE_ON},
        {11, 59, "1159", MODE_ON, MODE_OFF},
    };
    for (const Case& c : cases) {
        FakeWallClock clock(UtcTime(c.hour, c.minute));
        m_display->ShowDateTime("", "%I%M", MODE_ON);
        m_display->Flush(NIVO_Display::FLUSH_SEGMENTS | NIVO_Display::FLUSH_SYMBOLS);
        PanelPicture panel = Panel();
        EXPECT_EQ(panel.Segments().substr(0, 4), c.digits) << c.hour << ":" << c.minute;
        EXPECT_EQ(panel.SymbolMode(AM), c.am) << c.hour << ":" << c.minute;
        EXPECT_EQ(panel.SymbolMode(PM), c.pm) << c.hour << ":" << c.minute;
    }
    FakeWallClock clock(UtcTime(13, 5));
    m_display->ShowDateTime("", "%H%M", MODE_ON);
    m_display->Flush(NIVO_Display::FLUSH_SEGMENTS | NIVO_Display::FLUSH_SYMBOLS);
    PanelPicture panel = Panel();
    EXPECT_EQ(panel.Segments().substr(0, 4), "1305");
    EXPECT_EQ(panel.SymbolMode(AM), MODE_OFF);
    EXPECT_EQ(panel.SymbolMode(PM), MODE_OFF);
}

TEST_F(DisplayTest, LiveClockIsRedrawnOnSegmentFlushInItsMode) {
    FakeWallClock clock(UtcTime(9, 59));
    m_display->ShowDateTime("%d%m%y", "%H%M", MODE_BLINK);
    EXPECT_EQ(m_display->GetTimeFormat(), "%H%M");
    EXPECT_EQ(m_display->GetDateFormat(), "%d%m%y");
    m_display->Flush(NIVO_Display::FLUSH_SEGMENTS);
    EXPECT_EQ(Panel().Segments(), "0959050324");

    clock.Advance(60);
    m_display->Flush(NIVO_Display::FLUSH_TEXT);  // no segment flush, no redraw
    EXPECT_EQ(Panel().Segments(), "0959050324");
    m_display->Flush(NIVO_Display::FLUSH_SEGMENTS);
    PanelPicture panel = Panel();
    EXPECT_EQ(panel.Segments(), "1000050324");
    EXPECT_EQ(panel.segments[0].mode, MODE_BLINK);
    EXPECT_EQ(panel.segments[9].mode, MODE_BLINK);

    // A live field switched off stays off and ends.
    m_display->ShowDateTime("", "%H%M", MODE_OFF);
    EXPECT_FALSE(m_display->HasTimeFormat());
    clock.Advance(60);
    m_display->Flush(NIVO_Display::FLUSH_SEGMENTS);
    EXPECT_EQ(Panel().Segments(), "    050324");
}

TEST_F(DisplayTest, WritingSegmentsEndsTheLiveFieldsItCovers) {
    FakeWallClock clock(UtcTime(9, 59));
    m_display->ShowDateTime("%y%m%d", "%H%M", MODE_ON);
    m_display->WriteSegText("12", MODE_ON, 2);
    EXPECT_FALSE(m_display->HasTimeFormat());
    EXPECT_TRUE(m_display->HasDateFormat());
    EXPECT_EQ(m_display->GetSegText(0, 10), "0912240305");

    m_display->ShowDateTime("%y%m%d", "%H%M", MODE_ON);
    m_display->WriteSegText("12", MODE_ON, 4);
    EXPECT_TRUE(m_display->HasTimeFormat());
    EXPECT_FALSE(m_display->HasDateFormat());
    EXPECT_EQ(m_display->GetDateText(), "120305");

    m_display->ClearSegText(0, 0, 0);
    EXPECT_FALSE(m_display->HasTimeFormat());
    EXPECT_EQ(m_display->GetTimeText(), "    ");
}

TEST_F(DisplayTest, OnlyTheKnownClockFormatsAreAccepted) {
    EXPECT_FALSE(m_display->SetTimeFormat("%H:%M"));
    EXPECT_FALSE(m_display->HasTimeFormat());
    EXPECT_TRUE(m_display->SetTimeFormat("%I%M"));
    EXPECT_FALSE(m_display->SetTimeFormat("%M"));
    EXPECT_EQ(m_display->GetTimeFormat(), "%I%M");
    EXPECT_TRUE(m_display->SetDateFormat("%y%m%d"));
    EXPECT_TRUE(m_display->SetDateFormat("%d%m%y"));
    EXPECT_FALSE(m_display->SetDateFormat("%m%d%y"));
    EXPECT_EQ(m_display->GetDateFormat(), "%d%m%y");
}

TEST_F(DisplayTest, OverlongClockFormatShowsNothing) {
    FakeWallClock clock(UtcTime(9, 59));
    m_display->WriteSegText("77", MODE_ON, 0);
    m_display->ShowDateTime("", "%Y-%m-%d %H:%M", MODE_ON);
    EXPECT_EQ(m_display->GetTimeText(), "77  ");
}

TEST_F(DisplayTest, OutOfRangeArgumentsLeaveTheModelAlone) {
    m_display->WriteText("ABC", MODE_ON, 0);
    m_display->ClearText(0, -4, 0);
    m_display->ClearText(9, 3, 0);
    m_display->ClearSegText(-1, 2, 0);
    EXPECT_EQ(m_display->GetText(0, 3), "ABC");
    EXPECT_EQ(m_display->GetText(-5, 3), "");
    EXPECT_EQ(m_display->GetText(20, 5), "  ");
    char ch = 0;
    int mode = -1;
    m_display->GetTextCharAt(22, ch, mode);
    EXPECT_EQ(mode, MODE_OFF);
    m_display->GetSegCharAt(-1, ch, mode);
    EXPECT_EQ(mode, MODE_OFF);
    m_display->SetLed(LED_POWER, 4);
    EXPECT_EQ(m_display->GetLedByte(), 0u);
}

TEST(DisplayDeviceTest, OpenFailureIsReportedAndShutdownStaysSafe) {
    CapturingLogger log;
    ScopedLogger guard(&log);
    {
        NIVO_Display display("/nonexistent-dir/nivo_lcd");
        EXPECT_TRUE(log.Has(Logger::Error, "NIVO_Display: Fehler beim Oeffnen des Displaykanals."));
        EXPECT_TRUE(log.Has(Logger::Error, "NIVO_Display: No such file or directory"));
        EXPECT_FALSE(display.IsGood());
        EXPECT_TRUE(log.Has(Logger::Error, "NIVO_Display::IsGood() Fehler im Displaykanal."));
        // What the manager does on its way out must not crash.
        display.WriteSegText("off", MODE_ON, 0);
        display.SetLed(LED_DISPLAY, MODE_ON);
        display.Flush(NIVO_Display::FLUSH_ALL);
    }
    EXPECT_TRUE(log.Has(Logger::Error, "NIVO_Display: Fehler beim Schliessen des Displaykanals."));
}

TEST(DisplayDeviceTest, FailedWriteMakesTheDisplayBad) {
    // pwrite on a FIFO fails: a stand-in for a device that refuses a write.
    char dir[] = "/tmp/nivo_fifo_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/lcd";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    CapturingLogger log;
    ScopedLogger guard(&log);
    {
        NIVO_Display display(path);
        EXPECT_TRUE(display.IsGood());
        display.SetContrast(3);
        EXPECT_FALSE(display.IsGood());
        EXPECT_TRUE(log.Has(Logger::Error, "NIVO_Display::IsGood() Fehler im Displaykanal."));
    }
    EXPECT_TRUE(log.Has(Logger::Error, "NIVO_Display: Fehler beim Schliessen des Displaykanals."));
    close(reader);
    unlink(path.c_str());
    rmdir(dir);
}

}  // namespace

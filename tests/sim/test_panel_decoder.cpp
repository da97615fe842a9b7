#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "sim/panel_decoder.h"

namespace {

// A register file built by hand, as the device would hold it.
class Registers {
public:
    Registers() : m_bytes(0x3400, '\0') {}

    Registers& Put(std::size_t offset, const std::string& bytes) {
        m_bytes.replace(offset, bytes.size(), bytes);
        return *this;
    }
    Registers& Text(int plane, int cell, const std::string& codes) {
        return Put(plane * 0x1000 + cell, codes);
    }
    // Fills the whole text row of a plane, as every flush does.
    Registers& Row(int plane, unsigned char fill) {
        return Put(plane * 0x1000, std::string(22, static_cast<char>(fill)));
    }
    Registers& Segment(int plane, int cell, unsigned char font) {
        return Put(plane * 0x1000 + 0x2D0 + 2 * cell,
                   {static_cast<char>(font & 0x0F), static_cast<char>(font >> 4)});
    }
    Registers& Symbols(int plane, unsigned value) {
        std::string nibbles;
        for (int k = 0; k < 4; ++k) nibbles += static_cast<char>((value >> (4 * k)) & 0x0F);
        return Put(plane * 0x1000 + 0x030, nibbles);
    }
    PanelPicture Decode() const { return DecodePanel(m_bytes); }
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

std::string Byte(unsigned char b) {
    return std::string(1, static_cast<char>(b));
}

// The blank rows a flush leaves behind: planes 0..2 blank, plane 3 its own fill.
Registers FlushedBlank() {
    Registers r;
    r.Row(0, 0x20).Row(1, 0x20).Row(2, 0x20).Row(3, 0xB2);
    return r;
}

TEST(PanelDecoder, TextCellModesComeFromPlanesZeroAndTwo) {
    Registers r = FlushedBlank();
    r.Text(0, 0, "AB").Text(0, 2, "C").Text(2, 2, "C").Text(2, 3, "D");
    r.Text(0, 21, "Z");
    PanelPicture p = r.Decode();

    EXPECT_EQ(p.text[0].ch, 'A');
    EXPECT_EQ(p.text[0].mode, 3);
    EXPECT_EQ(p.text[2].ch, 'C');
    EXPECT_EQ(p.text[2].mode, 2);
    EXPECT_EQ(p.text[3].ch, 'D');
    EXPECT_EQ(p.text[3].mode, 1);
    EXPECT_EQ(p.text[4].mode, 0);
    EXPECT_EQ(p.Line(0), "ABCD       ");
    EXPECT_EQ(p.Line(1), "          Z");
    EXPECT_EQ(p.cursor, -1);
}

TEST(PanelDecoder, DeviceCodesReadBackAsLatin1) {
    Registers r = FlushedBlank();
    r.Text(0, 0, "\x82\x80\x7F\x81\x85\xB0\xB1\x9D\xA5\x9E");
    r.Text(0, 10, "a\xE4");  // a code nothing converts to stands for itself
    PanelPicture p = r.Decode();

    EXPECT_EQ(p.Text().substr(0, 12),
              "\xE4\xF6\xC4\xFC\xDF\xB1\xB0\x80\x9E\xA5"
              "a\xE4");
}

TEST(PanelDecoder, CursorIsFoundAndCellBeneathRecoveredInAllFourCases) {
    {  // empty cell: mark in planes 1 and 2
        Registers r = FlushedBlank();
        r.Text(0, 0, "x").Text(1, 4, "\x9F").Text(2, 4, "\x9F");
        PanelPicture p = r.Decode();
        EXPECT_EQ(p.cursor, 4);
        EXPECT_EQ(p.text[4].mode, 0);
        EXPECT_EQ(p.text[4].ch, ' ');
    }
    {  // blink_inv cell: mark in plane 1, the character (device code of ä) copied into plane 3
        Registers r = FlushedBlank();
        r.Text(2, 7, "\x82").Text(3, 7, "\x82").Text(1, 7, "\x9F");
        PanelPicture p = r.Decode();
        EXPECT_EQ(p.cursor, 7);
        EXPECT_EQ(p.text[7].ch, '\xE4');
        EXPECT_EQ(p.text[7].mode, 1);
    }
    {  // steady cell: mark in plane 2 only
        Registers r = FlushedBlank();
        r.Text(0, 12, "Q").Text(2, 12, "\x9F");
        PanelPicture p = r.Decode();
        EXPECT_EQ(p.cursor, 12);
        EXPECT_EQ(p.text[12].ch, 'Q');
        EXPECT_EQ(p.text[12].mode, 3);
    }
    {  // blinking cell: mark in planes 2 and 3
        Registers r = FlushedBlank();
        r.Text(0, 21, "\x82").Text(2, 21, "\x9F").Text(3, 21, "\x9F");
        PanelPicture p = r.Decode();
        EXPECT_EQ(p.cursor, 21);
        EXPECT_EQ(p.text[21].ch, '\xE4');
        EXPECT_EQ(p.text[21].mode, 2);
        EXPECT_EQ(p.Line(1), "          \xE4");
    }
}

TEST(PanelDecoder, SegmentsReadAsDigitsThenLettersThenPunctuation) {
    Registers r;
    const unsigned char fonts[10] = {0x3F, 0x7D, 0x06, 0x77, 0x54, 0x0F, 0x40, 0x49, 0x00, 0x76};
    for (int i = 0; i < 10; ++i) r.Segment(0, i, fonts[i]);
    r.Segment(2, 1, 0x7D);  // blink
    r.Segment(2, 8, 0x5B);  // blink_inv: only plane 2 holds it
    PanelPicture p = r.Decode();

    EXPECT_EQ(p.Segments(), "061AM)-?2H");
    EXPECT_EQ(p.segments[0].mode, 3);
    EXPECT_EQ(p.segments[1].mode, 2);
    EXPECT_EQ(p.segments[8].mode, 1);
    EXPECT_EQ(p.segmentPatterns[7], 0x49);
    EXPECT_EQ(p.segmentPatterns[8], 0x5B);
}

TEST(PanelDecoder, SymbolModesPerBitFromBothPlanes) {
    Registers r;
    r.Symbols(0, 0x1801).Symbols(2, 0x9800);  // ALERT on, COLON+TIME blink, DATE blink_inv
    PanelPicture p = r.Decode();

    EXPECT_EQ(p.SymbolMode(0x0001), 3);
    EXPECT_EQ(p.SymbolMode(0x0800), 2);
    EXPECT_EQ(p.SymbolMode(0x1000), 2);
    EXPECT_EQ(p.SymbolMode(0x8000), 1);
    EXPECT_EQ(p.SymbolMode(0x0002), 0);
    EXPECT_EQ(p.symbolModes[15], 1);
}

TEST(PanelDecoder, LedsAndSettingsComeFromTheirRegisters) {
    Registers r;
    r.Put(0x040, Byte(0x41 | 0x04 | 0x88)).Put(0x044, Byte(7)).Put(0x045, Byte(12));
    r.Put(0x100, Byte(19));
    PanelPicture p = r.Decode();

    EXPECT_EQ(p.ledByte, 0xCDu);
    EXPECT_EQ(p.LedMode(1), 1);  // POWER: low bit only
    EXPECT_EQ(p.LedMode(2), 0);
    EXPECT_EQ(p.LedMode(4), 3);  // STATUS_A: 0x04 and 0x40
    EXPECT_EQ(p.LedMode(8), 3);
    EXPECT_EQ(p.contrast, 7);
    EXPECT_EQ(p.brightness, 12);
    EXPECT_EQ(p.fixedText, 19);
}

TEST(PanelDecoder, ShortInputReadsAsZeros) {
    PanelPicture empty = DecodePanel("");
    EXPECT_EQ(empty.Text(), std::string(22, ' '));
    EXPECT_EQ(empty.cursor, -1);
    EXPECT_EQ(empty.Segments(), std::string(10, ' '));
    EXPECT_EQ(empty.SymbolMode(0xFFFF), 0);

    PanelPicture partial =
        DecodePanel("Hi" + std::string(0x41, '\0'));  // ends before the registers
    EXPECT_EQ(partial.text[0].mode, 3);
    EXPECT_EQ(partial.Line(0), "Hi         ");
    EXPECT_EQ(partial.contrast, 0);
}

TEST(PanelDecoder, DecodePanelFileReadsTheFileAndRefusesAMissingOne) {
    char path[] = "/tmp/panel_decoder_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    Registers r = FlushedBlank();
    r.Text(0, 0, "ok");
    std::ofstream(path, std::ios::binary) << r.Bytes();

    auto picture = DecodePanelFile(path);
    unlink(path);
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->Line(0), "ok         ");
    EXPECT_FALSE(DecodePanelFile(path).has_value());
    EXPECT_FALSE(DecodePanelFile("/tmp").has_value());  // a folder opens but cannot be read
}

TEST(PanelDecoder, RenderShowsTextMarksSegmentsSymbolsAndLeds) {
    Registers r = FlushedBlank();
    r.Text(0, 0, "New \x82nd").Text(2, 4, "\x82nd").Text(2, 7, "x");
    r.Text(0, 11, "in 5 sec.").Text(2, 13, "\x9F");  // cursor on the steady '5'
    const unsigned char fonts[10] = {0x06, 0x5B, 0x4F, 0x3F, 0x3F, 0x7D, 0x06, 0x5B, 0x5B, 0x7D};
    for (int i = 0; i < 10; ++i) r.Segment(0, i, fonts[i]);
    for (int i = 0; i < 4; ++i) r.Segment(2, i, fonts[i]);
    r.Symbols(0, 0x1800).Symbols(2, 0x8800);
    r.Put(0x040, Byte(0x11 | 0x40)).Put(0x044, Byte(8)).Put(0x045, Byte(10));

    EXPECT_EQ(RenderPanel(r.Decode()),
              "+-----------+\n"
              "|New \xC3\xA4ndx   |\n"
              ":    bbbi   :\n"
              "|in 5 sec.  |\n"
              ":  ^        :\n"
              "+-----------+\n"
              "segments [1230 061226]\n"
              "         :bbbb       :\n"
              "symbols  COLON(blink) TIME DATE(blink_inv)\n"
              "leds     POWER=on STATUS_A=blink\n"
              "contrast 8  brightness 10  fixed text 0\n");
}

TEST(PanelDecoder, RenderOfAnUntouchedPanelHasNoMarkLines) {
    EXPECT_EQ(RenderPanel(DecodePanel("")),
              "+-----------+\n"
              "|           |\n"
              "|           |\n"
              "+-----------+\n"
              "segments [           ]\n"
              "symbols  -\n"
              "leds     -\n"
              "contrast 0  brightness 0  fixed text 0\n");
}

}  // namespace

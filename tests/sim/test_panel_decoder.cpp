#include <gtest/gtest.h>

#include <string>

#include "sim/panel_decoder.h"

namespace {

// A register file built by hand, as the device holds it after a flush: planes 0..2
// blank, plane 3 its own fill.
struct Registers {
    Registers() {
        for (int plane = 0; plane < 4; ++plane) Text(plane, 0, std::string(22, "   \xB2"[plane]));
    }
    Registers& Put(std::size_t offset, const std::string& codes) {
        bytes.replace(offset, codes.size(), codes);
        return *this;
    }
    Registers& Text(int plane, int cell, const std::string& codes) {
        return Put(plane * 0x1000 + cell, codes);
    }
    Registers& Segment(int plane, int cell, unsigned char font) {
        return Put(plane * 0x1000 + 0x2D0 + 2 * cell,
                   {static_cast<char>(font & 0x0F), static_cast<char>(font >> 4)});
    }
    std::string bytes = std::string(0x3400, '\0');
};

// The one owner of the decoder's picture: every part, every mode and mark.
TEST(PanelDecoder, PictureShowsTextMarksSegmentsSymbolsLedsAndSettings) {
    Registers r;
    r.Text(0, 0, "New \x82nd").Text(2, 4, "\x82nd").Text(2, 7, "x").Text(0, 11, "in 5 sec.");
    r.Text(0, 9, "\xAF\x9D").Text(0, 20, "\xB0\xA5");  // the device's own glyphs
    r.Text(2, 5, "\x9F").Text(3, 5, "\x9F");           // cursor on the blinking 'n'
    const unsigned char fonts[10] = {0x06, 0x5B, 0x4F, 0x3F, 0x3F, 0x7D, 0x06, 0x5B, 0x5B, 0x7D};
    for (int i = 0; i < 10; ++i) r.Segment(i == 9 ? 2 : 0, i, fonts[i]);
    for (int i = 0; i < 4; ++i) r.Segment(2, i, fonts[i]);
    r.Put(0x030, std::string("\0\0\x08\x01", 4)).Put(0x2030, std::string("\0\0\x08\x08", 4));
    r.Put(0x040, "\x53").Put(0x044, "\x08").Put(0x045, "\x0A").Put(0x100, "\x13");

    EXPECT_EQ(RenderPanel(DecodePanel(r.bytes)),
              "+-----------+\n"
              "|New \xC3\xA4ndx \u2610\u20AC|\n"
              ":    bBbi   :\n"
              "|in 5 sec.\u2611\u29D7|\n"
              "+-----------+\n"
              "segments [1230 061226]\n"
              "         :bbbb      i:\n"
              "symbols  COLON(blink) TIME DATE(blink_inv)\n"
              "leds     POWER=on STATUS_B=blink_inv STATUS_A=blink\n"
              "contrast 8  brightness 10  fixed text 19\n");

    EXPECT_EQ(RenderPanel(DecodePanel("")),  // bytes never written: nothing shown
              "+-----------+\n|           |\n|           |\n+-----------+\nsegments [           ]\n"
              "symbols  -\nleds     -\ncontrast 0  brightness 0  fixed text 0\n");

    // A fixed text shows while the text row is blank; index 0 is a register never written.
    std::string fixed(0x101, '\0');
    fixed[0x100] = 3;
    EXPECT_TRUE(DecodePanel(fixed).FixedTextShown());
    fixed[0] = 'x';  // text on the row: the device shows it instead
    EXPECT_FALSE(DecodePanel(fixed).FixedTextShown());
    EXPECT_FALSE(DecodePanel("").FixedTextShown());
}

}  // namespace

#pragma once
// Reconstructs what the panel shows from the LCD device's register file, using
// only the register map (never the display driver's model). Tests use it as their
// eyes; the simulator draws it live.
//
// RenderPanel's picture (UTF-8, one '\n' after every line):
//
//   +-----------+
//   |New request|      text cells 0..10
//   :bb  ^      :      marks, only when the line has a blinking cell or the cursor
//   |in 5 sec.  |      text cells 11..21
//   +-----------+
//   segments [1230 061226]     time (0..3) and date (4..9); off cells blank
//            :bbbb iiiiii:     marks, only when a segment is not steady
//   symbols  TIME COLON DATE(blink) AM(blink_inv)   in bit order, or "-"
//   leds     POWER=on STATUS_A=blink                 LEDs not off, or "-"
//   contrast 8  brightness 10  fixed text 0
//
// Marks: 'b' blink, 'i' blink inverse, '^' cursor on a steady or empty cell,
// 'B' / 'I' cursor on a blinking / inversely blinking cell, blank otherwise.
// Cells show what the device draws (PanelGlyph); control codes appear as '?'.
#include <array>
#include <optional>
#include <string>

struct PanelCell {
    char ch = ' ';  // ISO-8859-1 character (converted back from the device code / font)
    int mode = 0;   // 0 off, 1 blink inverse, 2 blink, 3 on
};

struct PanelPicture {
    std::array<PanelCell, 22> text;                   // cells 0..21 (line 1: 0..10, line 2: 11..21)
    int cursor = -1;                                  // cell of the cursor mark, -1 none
    std::array<PanelCell, 10> segments;               // cells 0..9: 0..3 time, 4..9 date
    std::array<unsigned char, 10> segmentPatterns{};  // raw font bytes of plane 0 (or 2)
    std::array<int, 16> symbolModes{};                // mode of symbol bit i (1 << i)
    std::array<int, 4> ledModes{};                    // mode of LED i (1 << i)
    unsigned ledByte = 0;
    int contrast = 0;    // last written byte at 0x044 (plane 0's part-clear may overwrite it)
    int brightness = 0;  // the same for 0x045
    int fixedText = 0;   // last index written at 0x100

    // Visible characters: cells shown off become blanks.
    std::string Line(int line) const;     // 11 characters of line 0 or 1
    std::string Text() const;             // all 22 cells
    std::string Segments() const;         // 10 characters
    int SymbolMode(unsigned mask) const;  // mode of the lowest bit of mask
    int LedMode(unsigned mask) const;     // mode of the lowest LED of mask
    // The device shows fixed text fixedText: its index register is set and the
    // program left the text row blank for it. Index 0 cannot be told from a
    // register never written, so only 1..19 count.
    bool FixedTextShown() const;
};

// A text cell's character as the device draws it, in UTF-8: the form controls'
// state characters, the hourglass and the euro sign as their glyphs, every other
// ISO-8859-1 character as itself, control codes as '?'.
std::string PanelGlyph(char latin1);

// Decodes raw register bytes (shorter input reads as zeros).
PanelPicture DecodePanel(const std::string& registers);
// Reads and decodes a register file; nullopt when it cannot be read.
std::optional<PanelPicture> DecodePanelFile(const std::string& path);
// A plain-text picture of the panel: text lines with blink marks and cursor,
// seven-segment field, symbols and LEDs (format above).
std::string RenderPanel(const PanelPicture& picture);

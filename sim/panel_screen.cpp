#include "sim/panel_screen.h"

#include "sim/panel_names.h"

namespace {

constexpr int kLineCells = 11;
constexpr int kLampColumn = 16;
constexpr int kDigitRow = 5;
constexpr int kSymbolRow = 9;
constexpr int kSettingsRow = 11;
// Columns of the ten segment cells: HH:MM, a gap, then the date with two points.
constexpr int kDigitColumns[10] = {0, 4, 10, 14, 21, 25, 29, 33, 37, 41};
constexpr int kColonColumn = 8;
constexpr int kDatePointColumns[2] = {28, 36};  // DATE_P1 after date digit 2, DATE_P2 after 4
constexpr unsigned kColonBit = 11;
constexpr unsigned kDatePointBits[2] = {8, 9};

constexpr ScreenStyle kLampColours[kPanelLeds] = {ScreenStyle::LampGreen, ScreenStyle::LampYellow,
                                                  ScreenStyle::LampRed, ScreenStyle::LampBlue};

void Add(std::vector<ScreenSpan>& out, int row, int col, std::string text, ScreenStyle style) {
    out.push_back(ScreenSpan{row, col, std::move(text), style});
}

// The frame points at the cursor cell: 'v' above it on line 1, '^' below it on
// line 2, so a capture without attributes still shows where the cursor stands.
void LayoutText(const PanelPicture& picture, bool blinkOn, std::vector<ScreenSpan>& out) {
    const std::string across(kLineCells, 'q');
    Add(out, 0, 0, "l" + across + "k", ScreenStyle::Frame);
    Add(out, 3, 0, "m" + across + "j", ScreenStyle::Frame);
    const bool fixedText = picture.FixedTextShown();
    for (int line = 0; line < 2; ++line) {
        const int row = 1 + line;
        Add(out, row, 0, "x", ScreenStyle::Frame);
        Add(out, row, kLineCells + 1, "x", ScreenStyle::Frame);
        if (fixedText) {
            // The device draws one of its own texts, which the picture cannot know.
            std::string words =
                line == 0 ? "fixed text" : "no. " + std::to_string(picture.fixedText);
            words.resize(kLineCells, ' ');
            Add(out, row, 1, words, ScreenStyle::FixedText);
            continue;
        }
        for (int i = 0; i < kLineCells; ++i) {
            const int cell = line * kLineCells + i;
            const PanelCell& c = picture.text[cell];
            const std::string shown = ShownInPhase(c.mode, blinkOn) ? PanelGlyph(c.ch) : " ";
            Add(out, row, 1 + i, shown,
                cell == picture.cursor ? ScreenStyle::Cursor : ScreenStyle::Glass);
        }
    }
    if (picture.cursor >= 0) {
        const bool upper = picture.cursor < kLineCells;
        Add(out, upper ? 0 : 3, 1 + picture.cursor % kLineCells, upper ? "v" : "^",
            ScreenStyle::Plain);
    }
}

void LayoutLamps(const PanelPicture& picture, bool blinkOn, std::vector<ScreenSpan>& out) {
    for (int i = 0; i < kPanelLeds; ++i) {
        const int mode = picture.ledModes[i];
        const bool lit = ShownInPhase(mode, blinkOn);
        Add(out, i, kLampColumn, lit ? "(*)" : "( )",
            lit ? kLampColours[i] : ScreenStyle::LampDark);
        std::string label = kPanelLedNames[i];
        label.resize(10, ' ');
        Add(out, i, kLampColumn + 4, label + PanelModeName(mode), ScreenStyle::Plain);
    }
}

void LayoutSegments(const PanelPicture& picture, bool blinkOn, std::vector<ScreenSpan>& out) {
    for (int i = 0; i < 10; ++i) {
        if (!ShownInPhase(picture.segments[i].mode, blinkOn)) continue;
        const std::vector<std::string> glyph = SegmentGlyph(picture.segmentPatterns[i]);
        for (int r = 0; r < 3; ++r)
            Add(out, kDigitRow + r, kDigitColumns[i], glyph[r], ScreenStyle::Segment);
    }
    if (ShownInPhase(picture.symbolModes[kColonBit], blinkOn)) {
        Add(out, kDigitRow + 1, kColonColumn, ".", ScreenStyle::Segment);
        Add(out, kDigitRow + 2, kColonColumn, ".", ScreenStyle::Segment);
    }
    for (int p = 0; p < 2; ++p) {
        if (ShownInPhase(picture.symbolModes[kDatePointBits[p]], blinkOn))
            Add(out, kDigitRow + 2, kDatePointColumns[p], ".", ScreenStyle::Segment);
    }
}

// Lit symbols stand in brackets, so a capture without attributes tells them apart.
void LayoutSymbols(const PanelPicture& picture, bool blinkOn, std::vector<ScreenSpan>& out) {
    Add(out, kSymbolRow, 0, "symbols", ScreenStyle::Plain);
    for (int half = 0; half < 2; ++half) {
        int col = 8;
        for (int bit = half * 8; bit < half * 8 + 8; ++bit) {
            const std::string name = kPanelSymbolNames[bit];
            const bool lit = ShownInPhase(picture.symbolModes[bit], blinkOn);
            Add(out, kSymbolRow + half, col, lit ? "[" + name + "]" : " " + name + " ",
                lit ? ScreenStyle::Lit : ScreenStyle::Dark);
            col += static_cast<int>(name.size()) + 2;
        }
    }
}

void LayoutSettings(const PanelPicture& picture, std::vector<ScreenSpan>& out) {
    Add(out, kSettingsRow, 0,
        "contrast " + std::to_string(picture.contrast) + "  brightness " +
            std::to_string(picture.brightness) + "  fixed text " +
            std::to_string(picture.fixedText),
        ScreenStyle::Plain);
}

}  // namespace

bool ShownInPhase(int mode, bool blinkOn) {
    switch (mode) {
        case 3:
            return true;
        case 2:
            return blinkOn;
        case 1:
            return !blinkOn;
        default:
            return false;
    }
}

bool PanelBlinks(const PanelPicture& picture) {
    auto blinks = [](int mode) { return mode == 1 || mode == 2; };
    for (const PanelCell& cell : picture.text)
        if (blinks(cell.mode)) return true;
    for (const PanelCell& cell : picture.segments)
        if (blinks(cell.mode)) return true;
    for (int mode : picture.symbolModes)
        if (blinks(mode)) return true;
    for (int mode : picture.ledModes)
        if (blinks(mode)) return true;
    return false;
}

std::vector<std::string> SegmentGlyph(unsigned char pattern) {
    auto on = [pattern](int bit, char c) { return (pattern >> bit) & 1u ? c : ' '; };
    return {
        {' ', on(0, '_'), ' '},
        {on(5, '|'), on(6, '_'), on(1, '|')},
        {on(4, '|'), on(3, '_'), on(2, '|')},
    };
}

std::vector<ScreenSpan> LayoutPanel(const PanelPicture& picture, bool blinkOn) {
    std::vector<ScreenSpan> out;
    LayoutText(picture, blinkOn, out);
    LayoutLamps(picture, blinkOn, out);
    LayoutSegments(picture, blinkOn, out);
    LayoutSymbols(picture, blinkOn, out);
    LayoutSettings(picture, out);
    return out;
}

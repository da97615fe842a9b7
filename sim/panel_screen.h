#pragma once
// The simulator's terminal picture of the panel, as plain data: which text goes
// where and how it looks in one blink phase. The ncurses front end only turns
// styles into attributes, so the picture itself can be tested without a terminal.
//
//   lqqqqqqqqqqqk   (*) POWER     on
//   xNew requestx   ( ) STATUS_B  off
//   xin 5 sec.  x   (*) STATUS_A  blink
//   mqq^qqqqqqqqj   (*) DISPLAY   on          '^' / 'v': the cursor cell
//    _   _     _   _      _   _   _   _   _   _
//   | | |_| . |_| | |    |_| |_|.|_| |_|.|_| |_|
//   |_| |_| . |_| |_|    |_| |_|.|_| |_|.|_| |_|
//   symbols [ALERT] MAIL  ETHERNET  HOUSE  BATT_S1  ...     [lit], unlit plain
//           DATE_P1  DATE_P2  BATT_S4 [COLON][TIME] AM  PM [DATE]
//   contrast 8  brightness 10  fixed text 0
//
// While the device shows a fixed text, the glass reads "fixed text" / "no. N".
#include <string>
#include <vector>

#include "sim/panel_decoder.h"

enum class ScreenStyle {
    Plain,      // labels and values
    Frame,      // line drawing in the VT100 alphabet: l k m j corners, q across, x down
    Glass,      // a text cell on the LCD glass
    Segment,    // a seven-segment glyph, the colon or a date point shown in this phase
    Cursor,     // the text cell under the cursor mark
    FixedText,  // the stand-in for a fixed text of the device
    Lit,        // a symbol shown in this phase
    Dark,       // a symbol not shown
    LampGreen,  // lit lamps, by the colour of their LED
    LampRed,
    LampYellow,
    LampBlue,
    LampDark,  // a lamp not lit in this phase
};

struct ScreenSpan {
    int row = 0;
    int col = 0;
    std::string text;  // UTF-8
    ScreenStyle style = ScreenStyle::Plain;
};

// Blink phases: cells in mode blink show while blinkOn, blink_inv cells while not.
bool ShownInPhase(int mode, bool blinkOn);
// True when something on the panel blinks, so the picture changes with the phase.
bool PanelBlinks(const PanelPicture& picture);
// The panel laid out from row 0, column 0 for one blink phase.
std::vector<ScreenSpan> LayoutPanel(const PanelPicture& picture, bool blinkOn);
// Rows LayoutPanel uses.
constexpr int kPanelScreenRows = 12;
// Three rows of a seven-segment glyph (bits 0..6 = segments a..g), three columns each.
std::vector<std::string> SegmentGlyph(unsigned char pattern);

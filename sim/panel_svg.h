#pragma once
// An SVG picture of the panel as the real LCD shows it: text cells (the device's
// check boxes, radio button and hourglass drawn as shapes), a fixed text named by
// its number, seven-segment digits drawn from the raw font bytes, the 16 symbols,
// the four LEDs (lit ones in colour) and the three keys, each labelled. Blinking
// parts animate at two hertz; viewers without animation show them lit. Output is
// plain ASCII: characters above 0x7F are written as character references.
//
// Ids for readers of the picture: cell-0 .. cell-21 (a <text> per visible cell, a
// group of shapes for a glyph), cursor, fixed-text, digit-0 .. digit-9 (each with a
// group class="lit" holding the polygons digit-N-a .. digit-N-g of its lit
// segments), sym-NAME, led-NAME, key-1 .. key-3, and the <desc> settings.
// Every part that has a mode carries it as class: on, blink, blink_inv or off.
#include <string>

#include "sim/panel_decoder.h"

std::string RenderPanelSvg(const PanelPicture& picture);

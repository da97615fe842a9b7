#include "sim/panel_svg.h"

#include <cstdio>

#include "sim/panel_names.h"

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 330;
constexpr const char* kInk = "#1b2316";
constexpr const char* kGlassLit = "#c9dd8f";   // backlight on
constexpr const char* kGlassDark = "#a3ad91";  // backlight off
constexpr const char* kGhostOpacity = "0.07";  // unlit parts stay faintly visible, as on glass
constexpr const char* kFont = "DejaVu Sans Mono, Consolas, monospace";
constexpr const char* kBezelInk = "#d4d8dc";    // labels on the bezel
constexpr const char* kBezelFaint = "#8d9399";  // their second lines

// Text cells
constexpr int kCellX = 58;
constexpr int kCellY[2] = {168, 206};
constexpr int kCellPitch = 44;
constexpr int kCellWidth = 40;
constexpr int kCellHeight = 34;

// Seven-segment field: HH:MM, then the date with its two points
constexpr int kDigitY = 90;
constexpr int kDigitX[10] = {48, 88, 140, 180, 266, 306, 352, 392, 438, 478};
constexpr double kDigitWidth = 30;
constexpr double kDigitHeight = 56;
constexpr double kStroke = 7;
constexpr double kGap = 1;

constexpr int kLedIndexDisplay = 3;
constexpr const char* kLedColours[kPanelLeds] = {"#3ddc4a", "#ffb020", "#ff3b30", "#4aa8ff"};

std::string Num(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

// One character of the panel (ISO-8859-1) as XML text in ASCII.
std::string XmlChar(char c) {
    auto u = static_cast<unsigned char>(c);
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        default:
            break;
    }
    if (u == 0x80) return "&#8364;";  // the device's euro sign
    if (u < 0x20 || (u >= 0x7F && u < 0xA0)) return "?";
    if (u < 0x80) return std::string(1, c);
    return "&#" + std::to_string(u) + ";";
}

// Opens a group showing its content in a display mode: off parts are ghosts,
// blinking parts alternate twice a second (blink_inv in the other half).
// The group's class is the mode's name unless cls is given.
std::string OpenModeGroup(const std::string& id, int mode, const std::string& extra = "",
                          const char* cls = nullptr) {
    std::string out = "<g";
    if (!id.empty()) out += " id=\"" + id + "\"";
    out += " class=\"" + std::string(cls ? cls : PanelModeName(mode)) + "\"" + extra;
    if (mode == 0) out += std::string(" opacity=\"") + kGhostOpacity + "\"";
    out += ">";
    if (mode == 1 || mode == 2) {
        out += std::string("<animate attributeName=\"opacity\" values=\"") +
               (mode == 2 ? "1;0" : "0;1") +
               "\" dur=\"0.5s\" calcMode=\"discrete\" repeatCount=\"indefinite\"/>";
    }
    return out;
}

std::string Polygon(const std::string& id,
                    std::initializer_list<std::pair<double, double>> points) {
    std::string out = "<polygon";
    if (!id.empty()) out += " id=\"" + id + "\"";
    out += " points=\"";
    bool first = true;
    for (const auto& [x, y] : points) {
        out += (first ? "" : " ") + Num(x) + "," + Num(y);
        first = false;
    }
    return out + "\"/>";
}

// Segment a..g (index 0..6) of a digit, as a pointed bar.
std::string SegmentPolygon(int segment, const std::string& id) {
    const double h = kStroke / 2;
    const double left = h, right = kDigitWidth - h;
    const double top = h, middle = kDigitHeight / 2, bottom = kDigitHeight - h;
    auto across = [&](double y) {
        const double x0 = left + kGap, x1 = right - kGap;
        return Polygon(
            id,
            {{x0, y}, {x0 + h, y - h}, {x1 - h, y - h}, {x1, y}, {x1 - h, y + h}, {x0 + h, y + h}});
    };
    auto down = [&](double x, double y0, double y1) {
        y0 += kGap;
        y1 -= kGap;
        return Polygon(
            id,
            {{x, y0}, {x + h, y0 + h}, {x + h, y1 - h}, {x, y1}, {x - h, y1 - h}, {x - h, y0 + h}});
    };
    switch (segment) {
        case 0:
            return across(top);
        case 1:
            return down(right, top, middle);
        case 2:
            return down(right, middle, bottom);
        case 3:
            return across(bottom);
        case 4:
            return down(left, middle, bottom);
        case 5:
            return down(left, top, middle);
        default:
            return across(middle);
    }
}

std::string Digit(const PanelPicture& picture, int cell) {
    const int mode = picture.segments[cell].mode;
    const std::string id = "digit-" + std::to_string(cell);
    std::string out = "<g id=\"" + id + "\" class=\"" + PanelModeName(mode) +
                      "\" transform=\"translate(" + std::to_string(kDigitX[cell]) + "," +
                      std::to_string(kDigitY) + ") skewX(-6)\">";
    out += std::string("<g class=\"ghost\" opacity=\"") + kGhostOpacity + "\">";
    for (int s = 0; s < 7; ++s) out += SegmentPolygon(s, "");
    out += "</g>";
    if (mode != 0) {
        out += OpenModeGroup("", mode, "", "lit");
        for (int s = 0; s < 7; ++s) {
            if ((picture.segmentPatterns[cell] >> s) & 1u)
                out += SegmentPolygon(s, id + "-" + static_cast<char>('a' + s));
        }
        out += "</g>";
    }
    return out + "</g>\n";
}

// The device's own glyphs for the form controls' state characters and the
// hourglass, drawn as shapes in a cell at x, y (no font has them all); "" for
// characters that the font draws.
std::string GlyphShapes(char latin1, int x, int y) {
    const std::string line =
        "fill=\"none\" stroke=\"" + std::string(kInk) + "\" stroke-width=\"2.5\"";
    const std::string box = "<rect x=\"" + std::to_string(x + 10) + "\" y=\"" +
                            std::to_string(y + 7) + "\" width=\"20\" height=\"20\" " + line + "/>";
    auto at = [&](int dx, int dy) { return Num(x + dx) + "," + Num(y + dy); };
    switch (static_cast<unsigned char>(latin1)) {
        case 0xAF:  // check box not checked
            return box;
        case 0xB1:  // check box checked
            return box + "<polyline points=\"" + at(13, 17) + " " + at(18, 23) + " " + at(27, 10) +
                   "\" " + line + "/>";
        case 0xAE:  // radio button checked
            return "<circle cx=\"" + Num(x + 20) + "\" cy=\"" + Num(y + 17) + "\" r=\"10\" " +
                   line + "/><circle cx=\"" + Num(x + 20) + "\" cy=\"" + Num(y + 17) +
                   "\" r=\"5\"/>";
        case 0x9E:  // hourglass
            return "<polygon points=\"" + at(11, 5) + " " + at(29, 5) + " " + at(21, 17) + " " +
                   at(29, 29) + " " + at(11, 29) + " " + at(19, 17) + "\"/>";
        default:
            return "";
    }
}

std::string TextCells(const PanelPicture& picture) {
    std::string out;
    const bool fixedText = picture.FixedTextShown();
    for (int cell = 0; cell < 22; ++cell) {
        const int x = kCellX + (cell % 11) * kCellPitch;
        const int y = kCellY[cell / 11];
        out += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
               std::to_string(kCellWidth) + "\" height=\"" + std::to_string(kCellHeight) +
               "\" fill=\"" + kInk + "\" opacity=\"0.05\"/>";
        const PanelCell& c = picture.text[cell];
        const std::string shapes = GlyphShapes(c.ch, x, y);
        if (c.mode != 0 && !shapes.empty()) {
            out += OpenModeGroup("cell-" + std::to_string(cell), c.mode) + shapes + "</g>";
        } else if (c.mode != 0 && c.ch != ' ') {
            out += OpenModeGroup("", c.mode);
            out += "<text id=\"cell-" + std::to_string(cell) + "\" class=\"" +
                   PanelModeName(c.mode) + "\" x=\"" + std::to_string(x + kCellWidth / 2) +
                   "\" y=\"" + std::to_string(y + 27) + "\">" + XmlChar(c.ch) + "</text></g>";
        }
        if (cell == picture.cursor) {
            out += "<rect id=\"cursor\" x=\"" + std::to_string(x + 2) + "\" y=\"" +
                   std::to_string(y + kCellHeight - 3) + "\" width=\"" +
                   std::to_string(kCellWidth - 4) + "\" height=\"3\" fill=\"" + kInk + "\"/>";
        }
        out += "\n";
    }
    if (fixedText) {
        // The device draws one of its own texts; the picture can only name it.
        out += "<g id=\"fixed-text\"><rect x=\"" + std::to_string(kCellX) + "\" y=\"" +
               std::to_string(kCellY[0]) + "\" width=\"" +
               std::to_string(10 * kCellPitch + kCellWidth) + "\" height=\"" +
               std::to_string(kCellY[1] + kCellHeight - kCellY[0]) + "\" fill=\"none\" stroke=\"" +
               kInk +
               "\" stroke-dasharray=\"6 4\"/><text x=\"298\" y=\"212\" font-style=\"italic\">"
               "fixed text " +
               std::to_string(picture.fixedText) + "</text></g>\n";
    }
    return out;
}

std::string Symbol(const PanelPicture& picture, int bit, int x, int y, const std::string& shapes) {
    return OpenModeGroup(
               std::string("sym-") + kPanelSymbolNames[bit], picture.symbolModes[bit],
               " transform=\"translate(" + std::to_string(x) + "," + std::to_string(y) + ")\"") +
           shapes + "</g>\n";
}

std::string Label(const char* text, int size) {
    return "<text x=\"0\" y=\"" + std::to_string(size) + "\" font-size=\"" + std::to_string(size) +
           "\" font-weight=\"bold\">" + text + "</text>";
}

std::string Symbols(const PanelPicture& picture, const char* glass) {
    const std::string g = glass;
    const std::string line =
        "fill=\"none\" stroke=\"" + std::string(kInk) + "\" stroke-width=\"2.5\"";
    std::string out;
    out += Symbol(picture, 0, 40, 34,
                  "<polygon points=\"12,0 24,22 0,22\"/><rect x=\"11\" y=\"7\" width=\"2\" "
                  "height=\"8\" fill=\"" +
                      g +
                      "\"/><rect x=\"11\" y=\"17\" width=\"2\" "
                      "height=\"2\" fill=\"" +
                      g + "\"/>");
    out += Symbol(picture, 1, 80, 36,
                  "<rect x=\"0\" y=\"0\" width=\"30\" height=\"20\" " + line +
                      "/><polyline points=\"0,0 15,12 30,0\" " + line + "/>");
    out += Symbol(picture, 2, 126, 34,
                  "<rect x=\"9\" y=\"0\" width=\"10\" height=\"7\"/><rect x=\"0\" y=\"15\" "
                  "width=\"10\" height=\"7\"/><rect x=\"18\" y=\"15\" width=\"10\" height=\"7\"/>"
                  "<path d=\"M14 7 V11 M5 11 H23 M5 11 V15 M23 11 V15\" " +
                      line + "/>");
    out += Symbol(picture, 3, 172, 34,
                  "<polygon points=\"13,0 26,11 22,11 22,23 4,23 4,11 0,11\"/><rect x=\"11\" "
                  "y=\"15\" width=\"5\" height=\"8\" fill=\"" +
                      g + "\"/>");
    out += Symbol(picture, 6, 214, 34,
                  "<circle cx=\"12\" cy=\"7\" r=\"2.5\"/><path d=\"M12 8 V23 M6 2 A8 8 0 0 0 6 13 "
                  "M18 2 A8 8 0 0 1 18 13\" " +
                      line + "/>");
    // The battery gauge: BATT_S3 and BATT_S4 the outline, BATT_S2 and BATT_S1 the bars.
    out += Symbol(picture, 7, 480, 36,
                  "<rect x=\"0\" y=\"0\" width=\"40\" height=\"20\" " + line + "/>");
    out += Symbol(picture, 10, 480, 36, "<rect x=\"41\" y=\"6\" width=\"4\" height=\"8\"/>");
    out += Symbol(picture, 5, 480, 36, "<rect x=\"4\" y=\"4\" width=\"15\" height=\"12\"/>");
    out += Symbol(picture, 4, 480, 36, "<rect x=\"21\" y=\"4\" width=\"15\" height=\"12\"/>");
    out += Symbol(picture, 12, 48, 70, Label("TIME", 12));
    out += Symbol(picture, 15, 266, 70, Label("DATE", 12));
    out += Symbol(picture, 13, 222, 96, Label("AM", 13));
    out += Symbol(picture, 14, 222, 128, Label("PM", 13));
    out += Symbol(picture, 11, 124, 0,
                  "<rect x=\"5\" y=\"103\" width=\"5\" height=\"5\"/><rect x=\"2\" y=\"127\" "
                  "width=\"5\" height=\"5\"/>");
    out += Symbol(picture, 8, 341, 140, "<rect x=\"0\" y=\"0\" width=\"5\" height=\"5\"/>");
    out += Symbol(picture, 9, 427, 140, "<rect x=\"0\" y=\"0\" width=\"5\" height=\"5\"/>");
    return out;
}

// What each LED tells, under its name.
constexpr const char* kLedLabels[kPanelLeds][2] = {{"Power", "supply"},
                                                   {"Status B", "device, service"},
                                                   {"Status A", "alarm"},
                                                   {"Display", "backlight"}};

std::string Leds(const PanelPicture& picture) {
    std::string out;
    for (int i = 0; i < kPanelLeds; ++i) {
        const std::string cx = std::to_string(52 + 78 * i);
        const std::string name = kPanelLedNames[i];
        out += "<circle cx=\"" + cx + "\" cy=\"274\" r=\"8\" fill=\"#55595e\"/>";
        const int mode = picture.ledModes[i];
        if (mode != 0) {
            out += OpenModeGroup("led-" + name, mode);
            out += "<circle cx=\"" + cx + "\" cy=\"274\" r=\"8\" fill=\"" + kLedColours[i] +
                   "\"/><circle cx=\"" + cx + "\" cy=\"274\" r=\"13\" fill=\"" + kLedColours[i] +
                   "\" opacity=\"0.3\"/></g>";
        } else {
            out += "<g id=\"led-" + name + "\" class=\"off\"/>";
        }
        out += "<text x=\"" + cx + "\" y=\"302\" font-size=\"12\" text-anchor=\"middle\" fill=\"" +
               kBezelInk + "\">" + kLedLabels[i][0] + "</text><text x=\"" + cx +
               "\" y=\"316\" font-size=\"10\" text-anchor=\"middle\" fill=\"" + kBezelFaint +
               "\">" + kLedLabels[i][1] + "</text>\n";
    }
    return out;
}

// The three keys, each with the key code a page binds it by.
std::string Keys() {
    std::string out;
    for (int k = 0; k < 3; ++k) {
        const int x = 392 + 66 * k;
        const std::string cx = std::to_string(x + 24);
        out += "<g id=\"key-" + std::to_string(k + 1) + "\"><rect x=\"" + std::to_string(x) +
               "\" y=\"258\" width=\"48\" height=\"32\" rx=\"7\" fill=\"#50565c\" "
               "stroke=\"#1e2226\" stroke-width=\"2\"/><text x=\"" +
               cx +
               "\" y=\"281\" font-size=\"17\" font-weight=\"bold\" text-anchor=\"middle\" fill=\"" +
               kBezelInk + "\">" + std::to_string(k + 1) + "</text><text x=\"" + cx +
               "\" y=\"310\" font-size=\"10\" text-anchor=\"middle\" fill=\"" + kBezelFaint +
               "\">key=\"" + std::to_string(1 << k) + "\"</text></g>\n";
    }
    return out;
}

}  // namespace

std::string RenderPanelSvg(const PanelPicture& picture) {
    const char* glass = picture.ledModes[kLedIndexDisplay] != 0 ? kGlassLit : kGlassDark;
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kWidth) +
           "\" height=\"" + std::to_string(kHeight) + "\" viewBox=\"0 0 " + std::to_string(kWidth) +
           " " + std::to_string(kHeight) + "\" font-family=\"" + kFont + "\">\n";
    out += "<title>nivo panel</title>\n";
    // Register values a reader may want, kept off the picture.
    out += "<desc id=\"settings\">contrast " + std::to_string(picture.contrast) + "  brightness " +
           std::to_string(picture.brightness) + "  fixed text " +
           std::to_string(picture.fixedText) + "</desc>\n";
    out += "<rect width=\"" + std::to_string(kWidth) + "\" height=\"" + std::to_string(kHeight) +
           "\" rx=\"16\" fill=\"#33383d\"/>\n";
    out += "<rect x=\"24\" y=\"24\" width=\"552\" height=\"222\" rx=\"6\" fill=\"" +
           std::string(glass) + "\"/>\n";
    out += std::string("<g fill=\"") + kInk + "\">\n";
    out += Symbols(picture, glass);
    for (int cell = 0; cell < 10; ++cell) out += Digit(picture, cell);
    out += "<g font-size=\"28\" text-anchor=\"middle\">\n" + TextCells(picture) + "</g>\n";
    out += "</g>\n";
    out += Leds(picture);
    out += Keys();
    out += "</svg>\n";
    return out;
}

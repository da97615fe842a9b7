// Panel decoder: reads the LCD register file the way the device would and tells
// what the panel shows. It knows the register map and the plane conventions only;
// the display driver's code is deliberately not used, so tests built on this
// decoder catch the driver's mistakes instead of repeating them.
//
// Register map (B = plane base 0x0000, 0x1000, 0x2000, 0x3000):
//   B+0x000  22 text bytes in device codes      B+0x030  4 symbol nibbles, lowest first
//   B+0x043  part-clear command (ignored)       B+0x2D0  10 segment font bytes as nibble pairs
//   0x040 LED byte, 0x044 contrast, 0x045 brightness, 0x100 fixed-text index
// Plane 0 carries content shown steady or blinking, plane 2 content shown blinking
// or inversely blinking; planes 1 and 3 only carry the cursor mark.
//
// Contrast and brightness are reported as the bytes that stand in the file. Plane
// 0's part-clear command covers 0x043..0x046, so a text or segment clear leaves
// zeros there; the decoder does not try to guess the values that were sent before.
#include "sim/panel_decoder.h"

#include <fstream>
#include <iterator>
#include <utility>

namespace {

constexpr std::size_t kPlaneStride = 0x1000;
constexpr std::size_t kTextOffset = 0x000;
constexpr std::size_t kSymbolOffset = 0x030;
constexpr std::size_t kSegmentOffset = 0x2D0;
constexpr std::size_t kLedRegister = 0x040;
constexpr std::size_t kContrastRegister = 0x044;
constexpr std::size_t kBrightnessRegister = 0x045;
constexpr std::size_t kFixedTextRegister = 0x100;
// Nothing past plane 3's segment field matters (and the "file" may be endless).
constexpr std::size_t kRegisterFileSize = 3 * kPlaneStride + kSegmentOffset + 20;

constexpr int kTextCells = 22;
constexpr int kLineCells = 11;
constexpr int kSegmentCells = 10;
constexpr int kSymbolBits = 16;
constexpr int kLeds = 4;

constexpr unsigned char kBlank = 0x20;
constexpr unsigned char kCursorMark = 0x9F;
constexpr int kFixedTextLast = 19;

constexpr int kModeOff = 0;
constexpr int kModeBlinkInv = 1;
constexpr int kModeBlink = 2;
constexpr int kModeOn = 3;

// The register file as the device sees it: bytes never written read as zero.
class RegisterImage {
public:
    explicit RegisterImage(const std::string& bytes) : m_bytes(bytes) {}

    unsigned char At(std::size_t offset) const {
        return offset < m_bytes.size() ? static_cast<unsigned char>(m_bytes[offset]) : 0;
    }
    unsigned char PlaneAt(int plane, std::size_t offset) const {
        return At(plane * kPlaneStride + offset);
    }
    unsigned char TextByte(int plane, int cell) const { return PlaneAt(plane, kTextOffset + cell); }
    unsigned char SegmentFont(int plane, int cell) const {
        unsigned low = PlaneAt(plane, kSegmentOffset + 2 * cell) & 0x0F;
        unsigned high = PlaneAt(plane, kSegmentOffset + 2 * cell + 1) & 0x0F;
        return static_cast<unsigned char>(low | (high << 4));
    }
    unsigned Symbols(int plane) const {
        unsigned value = 0;
        for (int k = 0; k < 4; ++k) value |= (PlaneAt(plane, kSymbolOffset + k) & 0x0Fu) << (4 * k);
        return value;
    }

private:
    const std::string& m_bytes;
};

// ISO-8859-1 -> device code pairs; every other byte is sent unchanged.
constexpr std::pair<unsigned char, unsigned char> kCharacterTable[] = {
    {0x80, 0x9D}, {0x9E, 0xA5}, {0xA2, 0x9B}, {0xA3, 0x9C}, {0xA5, 0x9E}, {0xB0, 0xB1},
    {0xB1, 0xB0}, {0xC4, 0x7F}, {0xC5, 0x92}, {0xC6, 0x95}, {0xC7, 0x86}, {0xC9, 0x93},
    {0xDF, 0x85}, {0xE0, 0x89}, {0xE2, 0x88}, {0xEC, 0x91}, {0xE4, 0x82}, {0xE5, 0x8A},
    {0xE6, 0x94}, {0xE8, 0x8E}, {0xE9, 0x87}, {0xEA, 0x8C}, {0xEB, 0x8D}, {0xFC, 0x81},
    {0xEE, 0x90}, {0xEF, 0x8F}, {0xF2, 0x97}, {0xF4, 0x96}, {0xF6, 0x80}, {0xF9, 0x99},
    {0xFB, 0x98}, {0xFF, 0x9A},
};

// A device code that the table produces stands for the table's character, even
// where the same code would also be sent for itself (0x82 is ä, not 0x82).
char DeviceToLatin1(unsigned char code) {
    static const std::array<unsigned char, 256> inverse = [] {
        std::array<unsigned char, 256> table{};
        for (int i = 0; i < 256; ++i) table[i] = static_cast<unsigned char>(i);
        for (const auto& [from, to] : kCharacterTable) table[to] = from;
        return table;
    }();
    return static_cast<char>(inverse[code]);
}

// Candidates for a segment pattern, most likely reading first.
constexpr std::pair<char, unsigned char> kSegmentFont[] = {
    {'0', 0x3F}, {'1', 0x06}, {'2', 0x5B},  {'3', 0x4F}, {'4', 0x66}, {'5', 0x6D},  //
    {'6', 0x7D}, {'7', 0x07}, {'8', 0x7F},  {'9', 0x6F},                            //
    {'A', 0x77}, {'B', 0x7C}, {'C', 0x58},  {'D', 0x5E}, {'E', 0x79}, {'F', 0x71},  //
    {'G', 0x7D}, {'H', 0x76}, {'I', 0x06},  {'J', 0x1E}, {'K', 0x46}, {'L', 0x38},  //
    {'M', 0x54}, {'N', 0x54}, {'O', 0x3F},  {'P', 0x73}, {'Q', 0x67}, {'R', 0x50},  //
    {'S', 0x6D}, {'T', 0x78}, {'U', 0x3E},  {'V', 0x3E}, {'W', 0x3E}, {'X', 0x76},  //
    {'Y', 0x72}, {'Z', 0x5B},                                                       //
    {'"', 0x22}, {'(', 0x39}, {')', 0x0F},  {',', 0x04}, {'-', 0x40}, {'/', 0x52},  //
    {'=', 0x48}, {'[', 0x39}, {'\\', 0x64}, {']', 0x0F}, {'|', 0x06}, {'}', 0x7F},
};

char SegmentChar(unsigned char pattern) {
    static const std::array<char, 256> reading = [] {
        std::array<char, 256> table{};
        table.fill('?');
        table[0] = ' ';
        for (auto it = std::rbegin(kSegmentFont); it != std::rend(kSegmentFont); ++it)
            table[it->second] = it->first;
        return table;
    }();
    return reading[pattern];
}

int ModeOf(bool inPlane0, bool inPlane2) {
    if (inPlane0) return inPlane2 ? kModeBlink : kModeOn;
    return inPlane2 ? kModeBlinkInv : kModeOff;
}

// Planes 0 and 2 leave unused cells blank; a cell never written is zero.
bool IsEmptyText(unsigned char code) {
    return code == kBlank || code == 0;
}

PanelCell TextCell(unsigned char c0, unsigned char c2) {
    int mode = ModeOf(!IsEmptyText(c0), !IsEmptyText(c2));
    if (mode == kModeOff) return PanelCell{};
    return PanelCell{DeviceToLatin1(mode == kModeBlinkInv ? c2 : c0), mode};
}

void DecodeText(const RegisterImage& image, PanelPicture& picture) {
    for (int i = 0; i < kTextCells; ++i)
        picture.text[i] = TextCell(image.TextByte(0, i), image.TextByte(2, i));
}

// The mark hides part of the cell in planes 1 to 3; which planes carry it tells
// what lies beneath:
//   plane 1 and 2: empty cell          plane 1 only: blink_inv, its character in plane 3
//   plane 2 only: steady plane 0 cell  planes 2 and 3: blinking plane 0 cell
PanelCell CellUnderCursor(const RegisterImage& image, int cell) {
    bool mark1 = image.TextByte(1, cell) == kCursorMark;
    bool mark2 = image.TextByte(2, cell) == kCursorMark;
    bool mark3 = image.TextByte(3, cell) == kCursorMark;
    char c0 = DeviceToLatin1(image.TextByte(0, cell));
    if (mark1 && mark2) return PanelCell{};
    if (mark1) return PanelCell{DeviceToLatin1(image.TextByte(3, cell)), kModeBlinkInv};
    return PanelCell{c0, mark3 ? kModeBlink : kModeOn};
}

void DecodeCursor(const RegisterImage& image, PanelPicture& picture) {
    for (int i = 0; i < kTextCells; ++i) {
        if (image.TextByte(1, i) == kCursorMark || image.TextByte(2, i) == kCursorMark) {
            picture.cursor = i;
            picture.text[i] = CellUnderCursor(image, i);
            return;
        }
    }
}

void DecodeSegments(const RegisterImage& image, PanelPicture& picture) {
    for (int i = 0; i < kSegmentCells; ++i) {
        unsigned char font0 = image.SegmentFont(0, i);
        unsigned char font2 = image.SegmentFont(2, i);
        unsigned char pattern = font0 != 0 ? font0 : font2;
        int mode = ModeOf(font0 != 0, font2 != 0);
        picture.segmentPatterns[i] = pattern;
        picture.segments[i] = PanelCell{mode == kModeOff ? ' ' : SegmentChar(pattern), mode};
    }
}

void DecodeSymbols(const RegisterImage& image, PanelPicture& picture) {
    unsigned plane0 = image.Symbols(0);
    unsigned plane2 = image.Symbols(2);
    for (int bit = 0; bit < kSymbolBits; ++bit)
        picture.symbolModes[bit] = ModeOf((plane0 >> bit) & 1u, (plane2 >> bit) & 1u);
}

void DecodeSettings(const RegisterImage& image, PanelPicture& picture) {
    picture.ledByte = image.At(kLedRegister);
    for (int i = 0; i < kLeds; ++i)
        picture.ledModes[i] =
            ((picture.ledByte >> (i + 4)) & 1u) * 2 + ((picture.ledByte >> i) & 1u);
    picture.contrast = image.At(kContrastRegister);
    picture.brightness = image.At(kBrightnessRegister);
    picture.fixedText = image.At(kFixedTextRegister);
}

// --- rendering ---

constexpr const char* kSymbolNames[kSymbolBits] = {
    "ALERT",   "MAIL",    "ETHERNET", "HOUSE", "BATT_S1", "BATT_S2", "RADIO", "BATT_S3",
    "DATE_P1", "DATE_P2", "BATT_S4",  "COLON", "TIME",    "AM",      "PM",    "DATE",
};
constexpr const char* kLedNames[kLeds] = {"POWER", "STATUS_B", "STATUS_A", "DISPLAY"};
constexpr const char* kModeNames[] = {"off", "blink_inv", "blink", "on"};

const char* ModeName(int mode) {
    return mode >= kModeOff && mode <= kModeOn ? kModeNames[mode] : "?";
}

// Terminals speak UTF-8; the panel's characters are ISO-8859-1.
std::string ToUtf8(const std::string& latin1) {
    std::string out;
    for (char c : latin1) out += PanelGlyph(c);
    return out;
}

char ModeMark(int mode) {
    if (mode == kModeBlink) return 'b';
    if (mode == kModeBlinkInv) return 'i';
    return ' ';
}

char TextMark(const PanelPicture& picture, int cell) {
    char mark = ModeMark(picture.text[cell].mode);
    if (cell != picture.cursor) return mark;
    return mark == ' ' ? '^' : static_cast<char>(mark - 'a' + 'A');
}

void RenderText(const PanelPicture& picture, std::string& out) {
    const std::string border = "+" + std::string(kLineCells, '-') + "+\n";
    out += border;
    for (int line = 0; line < 2; ++line) {
        out += "|" + ToUtf8(picture.Line(line)) + "|\n";
        std::string marks;
        for (int i = 0; i < kLineCells; ++i) marks += TextMark(picture, line * kLineCells + i);
        if (marks.find_first_not_of(' ') != std::string::npos) out += ":" + marks + ":\n";
    }
    out += border;
}

void RenderSegments(const PanelPicture& picture, std::string& out) {
    std::string shown = picture.Segments();
    out += "segments [" + ToUtf8(shown.substr(0, 4)) + " " + ToUtf8(shown.substr(4)) + "]\n";
    std::string marks;
    for (int i = 0; i < kSegmentCells; ++i) {
        if (i == 4) marks += ' ';
        marks += ModeMark(picture.segments[i].mode);
    }
    if (marks.find_first_not_of(' ') != std::string::npos) out += "         :" + marks + ":\n";
}

void RenderSymbols(const PanelPicture& picture, std::string& out) {
    std::string list;
    for (int bit = 0; bit < kSymbolBits; ++bit) {
        int mode = picture.symbolModes[bit];
        if (mode == kModeOff) continue;
        list += list.empty() ? "" : " ";
        list += kSymbolNames[bit];
        if (mode != kModeOn) list += std::string("(") + ModeName(mode) + ")";
    }
    out += "symbols  " + (list.empty() ? std::string("-") : list) + "\n";
}

void RenderLeds(const PanelPicture& picture, std::string& out) {
    std::string list;
    for (int i = 0; i < kLeds; ++i) {
        if (picture.ledModes[i] == kModeOff) continue;
        list += list.empty() ? "" : " ";
        list += std::string(kLedNames[i]) + "=" + ModeName(picture.ledModes[i]);
    }
    out += "leds     " + (list.empty() ? std::string("-") : list) + "\n";
}

void RenderSettings(const PanelPicture& picture, std::string& out) {
    out += "contrast " + std::to_string(picture.contrast) + "  brightness " +
           std::to_string(picture.brightness) + "  fixed text " +
           std::to_string(picture.fixedText) + "\n";
}

char Visible(const PanelCell& cell) {
    return cell.mode == kModeOff ? ' ' : cell.ch;
}

}  // namespace

std::string PanelPicture::Line(int line) const {
    if (line < 0 || line > 1) return "";
    std::string out;
    for (int i = 0; i < kLineCells; ++i) out += Visible(text[line * kLineCells + i]);
    return out;
}

std::string PanelPicture::Text() const {
    return Line(0) + Line(1);
}

std::string PanelPicture::Segments() const {
    std::string out;
    for (const PanelCell& cell : segments) out += Visible(cell);
    return out;
}

int PanelPicture::SymbolMode(unsigned mask) const {
    for (int bit = 0; bit < kSymbolBits; ++bit)
        if (mask & (1u << bit)) return symbolModes[bit];
    return kModeOff;
}

bool PanelPicture::FixedTextShown() const {
    if (cursor >= 0 || fixedText < 1 || fixedText > kFixedTextLast) return false;
    for (const PanelCell& cell : text)
        if (cell.mode != kModeOff) return false;
    return true;
}

// Glyphs of the device codes that stand for no ISO-8859-1 character of their own,
// keyed by the character a page writes for them (the form controls' state
// characters and the please-wait hourglass).
std::string PanelGlyph(char latin1) {
    switch (static_cast<unsigned char>(latin1)) {
        case 0x80:
            return "\u20AC";  // euro sign
        case 0x9E:
            return "\u29D7";  // hourglass (device code 0xA5)
        case 0xAE:
            return "\u25C9";  // radio button checked
        case 0xAF:
            return "\u2610";  // check box not checked
        case 0xB1:
            return "\u2611";  // check box checked (device code 0xB0)
        default:
            break;
    }
    const auto u = static_cast<unsigned char>(latin1);
    if (u < 0x20 || (u >= 0x7F && u < 0xA0)) return "?";
    if (u < 0x80) return std::string(1, latin1);
    return {static_cast<char>(0xC0 | (u >> 6)), static_cast<char>(0x80 | (u & 0x3F))};
}

int PanelPicture::LedMode(unsigned mask) const {
    for (int i = 0; i < kLeds; ++i)
        if (mask & (1u << i)) return ledModes[i];
    return kModeOff;
}

PanelPicture DecodePanel(const std::string& registers) {
    RegisterImage image(registers);
    PanelPicture picture;
    DecodeText(image, picture);
    DecodeCursor(image, picture);
    DecodeSegments(image, picture);
    DecodeSymbols(image, picture);
    DecodeSettings(image, picture);
    return picture;
}

std::optional<PanelPicture> DecodePanelFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes(kRegisterFileSize, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return DecodePanel(bytes);
}

std::string RenderPanel(const PanelPicture& picture) {
    std::string out;
    RenderText(picture, out);
    RenderSegments(picture, out);
    RenderSymbols(picture, out);
    RenderLeds(picture, out);
    RenderSettings(picture, out);
    return out;
}

// nivo-panel-svg: the web panel's helper. Draws the panel from a register file
// without a terminal library (the unit has none) and serves the web panel's two
// CGI doors: the picture from the mirror file and key presses as datagrams.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/panel_decoder.h"
#include "sim/panel_names.h"
#include "sim/panel_svg.h"
#include "util/conversions.h"
#include "util/file_descriptor.h"
#include "util/property_map.h"
#include "util/version.h"

namespace {

// stdio rather than iostream: the unit's static build stays a third smaller.
void Print(const std::string& text, FILE* to = stdout) {
    std::fwrite(text.data(), 1, text.size(), to);
}

constexpr const char* kUsage =
    "Usage: nivo-panel-svg [--text] FILE   the panel in the register file FILE as SVG,\n"
    "                                      or with --text its two text lines\n"
    "       nivo-panel-svg --cgi picture   CGI: the panel from the mirror file as JSON;\n"
    "                                      ?since=ID&wait=MS waits up to MS for a change\n"
    "       nivo-panel-svg --cgi press     CGI (POST): ?key=1..7&hold=0..60000 presses\n"
    "                                      the keys through the notification port\n"
    "The CGI modes read MIRRORFILE and REMOTEKEYS from NIVO_LCD_CONFIG\n"
    "(default /etc/config/nivo_lcd.conf) and the port from NIVO_UDP_PORT (8182).\n";

constexpr size_t kMaxRegisterBytes = 1 << 16;  // the register file is far smaller
constexpr int kPollMs = 10;
constexpr int kLongestWaitMs = 20000;
constexpr int kLongestHoldMs = 60000;

// The whole file, at most kMaxRegisterBytes; false when it cannot be read.
bool ReadRegisters(const std::string& path, std::string& bytes) {
    bytes.clear();
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen()) return false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;  // a directory in its place, among others
        if (n == 0) return true;
        bytes.append(buffer, static_cast<size_t>(n));
        if (bytes.size() > kMaxRegisterBytes) return false;
    }
}

// FNV-1a: names a register image so that a page can wait for the next one.
std::string ImageId(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A text line as the device draws it, in UTF-8.
std::string GlyphLine(const PanelPicture& picture, int line) {
    std::string out;
    for (const char c : picture.Line(line)) out += PanelGlyph(c);
    return out;
}

// The names of the parts that are not off, as a JSON array.
template <size_t N>
std::string LitNames(const std::array<int, N>& modes, const char* const (&names)[N]) {
    std::string out = "[";
    for (size_t i = 0; i < N; ++i) {
        if (modes[i] == 0) continue;
        if (out.size() > 1) out += ',';
        out += JsonString(std::string(names[i]) + (modes[i] == 3 ? "" : " (blinking)"));
    }
    return out + "]";
}

std::string PictureJson(const std::string& id, const PanelPicture& picture) {
    return "{\"id\":" + JsonString(id) + ",\"lines\":[" + JsonString(GlyphLine(picture, 0)) + "," +
           JsonString(GlyphLine(picture, 1)) +
           "],\"fixedText\":" + std::to_string(picture.FixedTextShown() ? picture.fixedText : 0) +
           ",\"symbols\":" + LitNames(picture.symbolModes, kPanelSymbolNames) +
           ",\"leds\":" + LitNames(picture.ledModes, kPanelLedNames) +
           ",\"svg\":" + JsonString(RenderPanelSvg(picture)) + "}\n";
}

int Answer(const char* status, const std::string& message) {
    Print(std::string("Status: ") + status +
          "\r\nContent-Type: text/plain; charset=utf-8\r\nCache-Control: no-store\r\n\r\n" +
          message + "\n");
    return 0;
}

// name=value pairs of the query; false for anything but plain names and values
// made of letters and digits, or a name given twice.
bool ParseQuery(const std::string& query, std::vector<std::pair<std::string, std::string>>& pairs) {
    if (query.empty()) return true;
    if (query.size() > 100) return false;
    for (const std::string& item : SplitString(query, "&")) {
        const size_t equals = item.find('=');
        if (equals == std::string::npos || equals == 0) return false;
        const std::string name = item.substr(0, equals);
        const std::string value = item.substr(equals + 1);
        for (const char c : name + value)
            if (!std::isalnum(static_cast<unsigned char>(c))) return false;
        for (const auto& pair : pairs)
            if (pair.first == name) return false;
        pairs.emplace_back(name, value);
    }
    return true;
}


bool ReadConfig(PropertyMap& config) {
    const char* path = std::getenv("NIVO_LCD_CONFIG");
    return config.ReadFromFile(path != nullptr && *path != '\0' ? path
                                                                : "/etc/config/nivo_lcd.conf");
}

std::string QueryString() {
    const char* query = std::getenv("QUERY_STRING");
    return query != nullptr ? query : "";
}

int64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void SleepMs(int ms) {
    const timespec pause{0, static_cast<long>(ms) * 1000000L};
    nanosleep(&pause, nullptr);
}

// The picture once the mirror holds an image other than `since`, or after wait
// ms. A flush may take several writes: a changed image is taken once it holds.
int ServePicture() {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string since;
    int waitMs = 0;
    bool valid = ParseQuery(QueryString(), pairs);
    for (const auto& [name, value] : pairs) {
        if (name == "since" && value.size() == 16 &&
            value.find_first_not_of("0123456789abcdef") == std::string::npos) {
            since = value;
        } else if (name == "wait" && DecimalInRange(value, kLongestWaitMs) >= 0) {
            waitMs = DecimalInRange(value, kLongestWaitMs);
        } else {
            valid = false;
        }
    }
    if (!valid) return Answer("400 Bad Request", "expected ?since=ID&wait=0..20000");
    PropertyMap config;
    ReadConfig(config);
    const std::string mirror = config.GetStringValue("MIRRORFILE", "");
    if (mirror.empty())
        return Answer("503 Service Unavailable",
                      "the panel mirror is off: set MIRRORFILE in the configuration");
    std::string bytes;
    if (!ReadRegisters(mirror, bytes))
        return Answer("503 Service Unavailable", "no panel picture in " + mirror + " yet");
    const int64_t deadline = NowMs() + waitMs;
    while (ImageId(bytes) == since && NowMs() < deadline) {
        SleepMs(kPollMs);
        std::string now;
        if (!ReadRegisters(mirror, now)) continue;
        for (int settle = 0; settle < 5 && now != bytes; ++settle) {
            bytes = now;
            SleepMs(2);
            if (!ReadRegisters(mirror, now)) now = bytes;
        }
        bytes = now;
    }
    Print("Content-Type: application/json\r\nCache-Control: no-store\r\n\r\n" +
          PictureJson(ImageId(bytes), DecodePanel(bytes)));
    return 0;
}

int UdpPort() {
    const char* text = std::getenv("NIVO_UDP_PORT");
    const int port = text != nullptr ? DecimalInRange(text, 65535) : -1;
    return port >= 1 ? port : 8182;
}

bool SendDatagram(const std::string& text, int port) {
    FileDescriptor fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.IsOpen()) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::sendto(fd.Get(), text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to),
                    sizeof to) == static_cast<ssize_t>(text.size());
}

// Only a POST with exactly a key code and a hold time reaches the program.
int ServePress() {
    const char* method = std::getenv("REQUEST_METHOD");
    if (method == nullptr || std::strcmp(method, "POST") != 0)
        return Answer("405 Method Not Allowed", "presses are sent with POST");
    std::vector<std::pair<std::string, std::string>> pairs;
    int key = -1;
    int hold = -1;
    bool valid = ParseQuery(QueryString(), pairs) && pairs.size() == 2;
    for (const auto& [name, value] : pairs) {
        if (name == "key") {
            key = DecimalInRange(value, 7);
        } else if (name == "hold") {
            hold = DecimalInRange(value, kLongestHoldMs);
        } else {
            valid = false;
        }
    }
    if (!valid || key < 1 || hold < 0)
        return Answer("400 Bad Request", "expected ?key=1..7&hold=0..60000");
    PropertyMap config;
    ReadConfig(config);
    if (!StrToBool(config.GetStringValue("REMOTEKEYS", "")))
        return Answer("403 Forbidden",
                      "remote keys are off: set REMOTEKEYS=true in the configuration");
    const std::string datagram =
        "WEBPANEL\nKEY=" + std::to_string(key) + "\nHOLD=" + std::to_string(hold);
    if (!SendDatagram(datagram, UdpPort()))
        return Answer("502 Bad Gateway",
                      std::string("cannot send the press: ") + std::strerror(errno));
    Print("Status: 204 No Content\r\nCache-Control: no-store\r\n\r\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "--version")) {
        if (args[0] == "--help")
            Print(kUsage);
        else
            Print(std::string("nivo-panel-svg ") + kNivoVersion + "\n");
        return 0;
    }
    if (args.size() == 2 && args[0] == "--cgi" && args[1] == "picture") return ServePicture();
    if (args.size() == 2 && args[0] == "--cgi" && args[1] == "press") return ServePress();
    const bool text = !args.empty() && args[0] == "--text";
    if (args.size() != (text ? 2u : 1u) || args.back().empty() || args.back()[0] == '-') {
        Print(kUsage, stderr);
        return 2;
    }
    std::string bytes;
    if (!ReadRegisters(args.back(), bytes)) {
        Print("nivo-panel-svg: cannot read " + args.back() + "\n", stderr);
        return 1;
    }
    const PanelPicture picture = DecodePanel(bytes);
    Print(text ? GlyphLine(picture, 0) + "\n" + GlyphLine(picture, 1) + "\n"
               : RenderPanelSvg(picture));
    return 0;
}

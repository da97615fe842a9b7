#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "panel/nivo_display.h"
#include "sim/panel_decoder.h"
#include "sim/panel_screen.h"
#include "sim/panel_svg.h"
#include "tests/tools/run_command.h"
#include "tests/util/temp_dir.h"
#include "util/file_descriptor.h"
#include "util/xml_node.h"

namespace {

// A panel drawn by the real driver: every mode of text, segments, symbols and LEDs.
std::string DrawSamplePanel(const TempDir& dir) {
    const std::string path = dir.Write("lcd.reg", "");
    NIVO_Display display(path);
    display.WriteText("Men\xFC", MODE_ON, 0);
    display.WriteText("AB", MODE_BLINK, 11);
    display.WriteText("C", MODE_BLINK_INV, 14);
    display.SetCursor(13);
    display.WriteSegText("1230", MODE_ON, 0);
    display.WriteSegText("24", MODE_BLINK, 4);
    display.SetSymbols(0x0001, MODE_ON);     // ALERT
    display.SetSymbols(0x0008, MODE_BLINK);  // HOUSE
    display.SetLed(1, MODE_ON);              // POWER
    display.SetLed(4, MODE_BLINK);           // STATUS_A
    display.Flush(NIVO_Display::FLUSH_ALL);
    return path;
}

XMLNode FindId(const XMLNode& node, const std::string& id) {
    if (node.getAttribute("id").value_or("") == id) return node;
    for (int i = 0; i < node.nElement(); ++i) {
        XMLNode::Contents item = node.enumContents(i);
        if (item.type != eNodeChild) continue;
        XMLNode found = FindId(item.child, id);
        if (!found.isEmpty()) return found;
    }
    return XMLNode();
}

std::string Attribute(const XMLNode& svg, const std::string& id, const char* name) {
    return FindId(svg, id).getAttribute(name).value_or("<none>");
}

// The letters of the segments drawn lit in digit cell, from the polygons' ids.
std::string LitSegments(const XMLNode& svg, int cell) {
    const std::string id = "digit-" + std::to_string(cell);
    std::string letters;
    for (char s = 'a'; s <= 'g'; ++s) {
        if (!FindId(svg, id + "-" + s).isEmpty()) letters += s;
    }
    return letters;
}

// The centre of a polygon's points "x,y x,y ...".
std::pair<double, double> Centre(const XMLNode& polygon) {
    std::istringstream points(polygon.getAttribute("points").value_or(""));
    double x = 0, y = 0, sumX = 0, sumY = 0;
    int n = 0;
    for (char comma; points >> x >> comma >> y; ++n) {
        sumX += x;
        sumY += y;
    }
    return n ? std::make_pair(sumX / n, sumY / n) : std::make_pair(-1.0, -1.0);
}

TEST(PanelSvg, IsWellFormedAndShowsTheDevicesDigitsTextSymbolsAndLeds) {
    TempDir dir;
    const PanelPicture picture = *DecodePanelFile(DrawSamplePanel(dir));
    XMLResults results;
    const XMLNode svg = XMLNode::parseString(RenderPanelSvg(picture), "svg", &results);
    ASSERT_EQ(results.error, 0) << XMLNode::getError(results.error);

    EXPECT_EQ(LitSegments(svg, 0), "bc");      // 1
    EXPECT_EQ(LitSegments(svg, 1), "abdeg");   // 2
    EXPECT_EQ(LitSegments(svg, 2), "abcdg");   // 3
    EXPECT_EQ(LitSegments(svg, 3), "abcdef");  // 0
    EXPECT_EQ(LitSegments(svg, 5), "bcfg");    // 4
    EXPECT_EQ(LitSegments(svg, 6), "");
    EXPECT_EQ(Attribute(svg, "digit-4", "class"), "blink");
    // A 2: top, middle and bottom bars one above the other, b on the right, e on the left.
    auto segment = [&](char s) { return Centre(FindId(svg, std::string("digit-1-") + s)); };
    EXPECT_LT(segment('a').second, segment('g').second);
    EXPECT_LT(segment('g').second, segment('d').second);
    EXPECT_GT(segment('b').first, segment('e').first);
    EXPECT_LT(segment('b').second, segment('e').second);

    EXPECT_EQ(FindId(svg, "cell-3").getText().value_or(""), "\xFC");
    EXPECT_EQ(Attribute(svg, "cell-0", "class"), "on");
    EXPECT_EQ(Attribute(svg, "cell-11", "class"), "blink");
    EXPECT_EQ(Attribute(svg, "cell-14", "class"), "blink_inv");
    EXPECT_TRUE(FindId(svg, "cell-4").isEmpty());
    const int cursorX = std::stoi(Attribute(svg, "cursor", "x"));
    EXPECT_GT(cursorX, std::stoi(Attribute(svg, "cell-12", "x")));
    EXPECT_LT(cursorX, std::stoi(Attribute(svg, "cell-14", "x")));

    EXPECT_EQ(Attribute(svg, "sym-ALERT", "class"), "on");
    EXPECT_EQ(Attribute(svg, "sym-HOUSE", "class"), "blink");
    EXPECT_EQ(FindId(svg, "sym-HOUSE").getChildNode("animate").getAttribute("values"), "1;0");
    EXPECT_EQ(Attribute(svg, "sym-MAIL", "class"), "off");
    EXPECT_EQ(Attribute(svg, "led-POWER", "class"), "on");
    EXPECT_EQ(Attribute(svg, "led-STATUS_A", "class"), "blink");
    EXPECT_EQ(Attribute(svg, "led-STATUS_B", "class"), "off");
}

const ScreenSpan* SpanAt(const std::vector<ScreenSpan>& spans, int row, int col) {
    for (const ScreenSpan& span : spans)
        if (span.row == row && span.col == col) return &span;
    return nullptr;
}

TEST(PanelScreen, BlinkingCellsTakeTurnsAndDigitsAreSegmentGlyphs) {
    TempDir dir;
    const PanelPicture picture = *DecodePanelFile(DrawSamplePanel(dir));
    ASSERT_TRUE(PanelBlinks(picture));
    EXPECT_FALSE(PanelBlinks(PanelPicture{}));
    for (bool phase : {true, false}) {
        const std::vector<ScreenSpan> spans = LayoutPanel(picture, phase);
        EXPECT_EQ(SpanAt(spans, 1, 4)->text, "\xC3\xBC");         // steady ü
        EXPECT_EQ(SpanAt(spans, 2, 1)->text, phase ? "A" : " ");  // blink
        EXPECT_EQ(SpanAt(spans, 2, 4)->text, phase ? " " : "C");  // blink_inv
        EXPECT_EQ(SpanAt(spans, 2, 3)->style, ScreenStyle::Cursor);
        EXPECT_EQ(SpanAt(spans, 2, 2)->style, ScreenStyle::Glass);
    }
    EXPECT_EQ(SegmentGlyph(0x7F), (std::vector<std::string>{" _ ", "|_|", "|_|"}));
    EXPECT_EQ(SegmentGlyph(0x06), (std::vector<std::string>{"   ", "  |", "  |"}));
    EXPECT_EQ(SegmentGlyph(0x5B), (std::vector<std::string>{" _ ", " _|", "|_ "}));
}

#ifdef NIVO_PANEL
// Runs the built simulator; returns its exit status, output and errors in output.
int RunPanel(const std::string& args, std::string& output) {
    return RunCommand(
        std::string("env -u NIVO_LCD_DEVICE -u NIVO_KEYS_DEVICE ") + NIVO_PANEL + " " + args,
        output);
}

TEST(NivoPanel, SnapshotAndSvgShowTheRegisterFile) {
    TempDir dir;
    const std::string lcd = DrawSamplePanel(dir);
    std::string output;
    EXPECT_EQ(RunPanel("--snapshot --lcd " + lcd, output), 0);
    EXPECT_EQ(output.find("+-----------+\n|Men\xC3\xBC       |\n"), 0u) << output;
    EXPECT_NE(output.find("segments [1230 24    ]\n"), std::string::npos) << output;
    EXPECT_EQ(RunPanel("--svg " + dir.Path("panel.svg") + " --lcd " + lcd, output), 0);
    EXPECT_EQ(ReadFile(dir.Path("panel.svg")), RenderPanelSvg(*DecodePanelFile(lcd)));
    EXPECT_EQ(RunPanel("--snapshot --lcd " + dir.Path("missing.reg"), output), 1);
    EXPECT_EQ(RunPanel("--snapshot --script x", output), 2);
}

TEST(NivoPanel, ScriptWritesKeyBytesAndSendsNotifications) {
    TempDir dir;
    const std::string keys = dir.Path("keys.fifo");
    ASSERT_EQ(mkfifo(keys.c_str(), 0600), 0);
    FileDescriptor reader(open(keys.c_str(), O_RDONLY | O_NONBLOCK));
    FileDescriptor udp(socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(udp.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(udp.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string script = dir.Write("run.txt",
                                         "# a tap, a combination held, two notifications\n"
                                         "key 1 20\n"
                                         "press 6\n"
                                         "release\n"
                                         "udp POWER\\nLOWBAT=true\n"
                                         "udp ALARM\n"
                                         "quit\n"
                                         "key 4\n");
    std::string output;
    EXPECT_EQ(RunPanel("--script " + script + " --lcd " + dir.Path("new.reg") + " --keys " + keys +
                           " --udp-port " + std::to_string(ntohs(address.sin_port)),
                       output),
              0)
        << output;

    char bytes[16];
    EXPECT_EQ(std::string(bytes, std::max<ssize_t>(0, read(reader.Get(), bytes, sizeof bytes))),
              std::string("\x01\x00\x06\x00", 4));
    char datagram[64];
    ssize_t n = recv(udp.Get(), datagram, sizeof datagram, MSG_DONTWAIT);
    EXPECT_EQ(std::string(datagram, std::max<ssize_t>(0, n)), "POWER\nLOWBAT=true");
    n = recv(udp.Get(), datagram, sizeof datagram, MSG_DONTWAIT);
    EXPECT_EQ(std::string(datagram, std::max<ssize_t>(0, n)), "ALARM");
    struct stat info {};
    EXPECT_EQ(stat(dir.Path("new.reg").c_str(), &info), 0);  // created for the program
}

TEST(NivoPanel, ScriptWaitsForTextAndStopsWithThePictureWhenItNeverComes) {
    TempDir dir;
    const std::string lcd = DrawSamplePanel(dir);
    const std::string args = " --lcd " + lcd + " --keys " + dir.Path("keys.fifo");
    std::string output;
    dir.Write("ok.txt", "waitfor Men\xC3\xBC 1000\nwaitfor \"AB C\"\n");
    EXPECT_EQ(RunPanel("--script " + dir.Path("ok.txt") + args, output), 0) << output;
    dir.Write("late.txt", "waitfor Nope 50\nsnapshot\n");
    EXPECT_EQ(RunPanel("--script " + dir.Path("late.txt") + args, output), 1);
    EXPECT_NE(output.find("script line 1: waitfor: \"Nope\" not shown within 50 ms"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("|Men"), std::string::npos) << output;
    EXPECT_EQ(output.find("|Men"), output.rfind("|Men")) << "one picture, no snapshot after";
    dir.Write("bad.txt", "wait 10\nkey one\n");
    EXPECT_EQ(RunPanel("--script " + dir.Path("bad.txt") + args, output), 2);
    EXPECT_NE(output.find("script line 2: cannot read: key one"), std::string::npos) << output;
}
#endif

}  // namespace

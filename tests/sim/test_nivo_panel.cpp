#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

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
    display.WriteText("Men\xFC R&D", MODE_ON, 0);
    display.WriteText("AB", MODE_BLINK, 11);
    display.WriteText("C", MODE_BLINK_INV, 14);
    display.WriteText("\xB1\xAF\xAE\x9E", MODE_ON, 18);  // check boxes, radio button, hourglass
    display.SetCursor(13);
    display.WriteSegText("1230", MODE_ON, 0);
    display.WriteSegText("24", MODE_BLINK, 4);
    display.SetSymbols(0x0001, MODE_ON);         // ALERT
    display.SetSymbols(0x0002, MODE_BLINK_INV);  // MAIL
    display.SetSymbols(0x0008, MODE_BLINK);      // HOUSE
    display.SetLed(1, MODE_ON);                  // POWER
    display.SetLed(4, MODE_BLINK);               // STATUS_A
    display.Flush(NIVO_Display::FLUSH_ALL);
    return path;
}

XMLNode FindId(const XMLNode& node, const std::string& id) {
    if (node.getAttribute("id").value_or("") == id) return node;
    XMLNode found;
    for (int i = 0; i < node.nElement() && found.isEmpty(); ++i)
        if (node.enumContents(i).type == eNodeChild) found = FindId(node.enumContents(i).child, id);
    return found;
}

std::string Attribute(const XMLNode& svg, const std::string& id, const char* name) {
    return FindId(svg, id).getAttribute(name).value_or("<none>");
}

// The letters of the segments drawn lit in a digit cell, from the polygons' ids.
std::string LitSegments(const XMLNode& svg, int cell) {
    std::string letters;
    for (char s = 'a'; s <= 'g'; ++s)
        if (!FindId(svg, "digit-" + std::to_string(cell) + "-" + s).isEmpty()) letters += s;
    return letters;
}

TEST(PanelSvg, ShowsTheDevicesDigitsTextSymbolsAndLeds) {
    TempDir dir;
    const std::string text = RenderPanelSvg(*DecodePanelFile(DrawSamplePanel(dir)));
    XMLResults results;
    const XMLNode svg = XMLNode::parseString(text, "svg", &results);
    ASSERT_EQ(results.error, 0) << XMLNode::getError(results.error);
    EXPECT_NE(text.find(">&amp;</text>"), std::string::npos);  // strict readers refuse a bare &

    EXPECT_EQ(LitSegments(svg, 1) + " " + LitSegments(svg, 3) + " " + LitSegments(svg, 5) + " " +
                  LitSegments(svg, 6),
              "abdeg abcdef bcfg ");  // 2 0 4 and an empty cell

    std::string cells;
    for (int cell : {3, 4, 6})
        cells += FindId(svg, "cell-" + std::to_string(cell)).getText().value_or("-");
    EXPECT_EQ(cells, "\xFC-&");
    // The device's own glyphs are shapes: only the checked box carries a tick.
    EXPECT_FALSE(FindId(svg, "cell-18").getChildNode("polyline").isEmpty());
    EXPECT_TRUE(FindId(svg, "cell-19").getChildNode("polyline").isEmpty());
    EXPECT_TRUE(FindId(svg, "fixed-text").isEmpty());
    auto at = [&](const char* id, const char* name) { return std::stoi(Attribute(svg, id, name)); };
    EXPECT_GT(at("cell-11", "y"), at("cell-0", "y"));
    EXPECT_TRUE(at("cursor", "x") > at("cell-12", "x") && at("cursor", "x") < at("cell-14", "x"));

    // Blinking parts alternate: blink shows first, blink_inv in the other half.
    EXPECT_EQ(FindId(svg, "sym-HOUSE").getChildNode("animate").getAttribute("values"), "1;0");
    EXPECT_EQ(FindId(svg, "sym-MAIL").getChildNode("animate").getAttribute("values"), "0;1");
    std::string classes;
    for (const char* id : {"cell-14", "sym-ALERT", "sym-RADIO", "led-STATUS_A", "led-STATUS_B"})
        classes += Attribute(svg, id, "class") + " ";
    EXPECT_EQ(classes, "blink_inv on off blink off ");
}

// What a terminal capture without attributes shows: rows of plain characters.
std::vector<std::string> Capture(const PanelPicture& picture, bool phase) {
    std::vector<std::vector<std::string>> grid(kPanelScreenRows, std::vector<std::string>(80, " "));
    for (const ScreenSpan& span : LayoutPanel(picture, phase)) {
        const bool glyph = span.text[0] & 0x80;  // a glyph beyond ASCII is a span of its own
        for (size_t i = 0; i < (glyph ? 1 : span.text.size()); ++i)
            grid[span.row][span.col + i] = glyph ? span.text : span.text.substr(i, 1);
    }
    std::vector<std::string> rows(kPanelScreenRows);
    for (int r = 0; r < kPanelScreenRows; ++r)
        for (const std::string& c : grid[r]) rows[r] += c;
    return rows;
}

TEST(PanelScreen, BlinkingCellsTakeTurnsAndDigitsAreSegmentGlyphs) {
    TempDir dir;
    const PanelPicture picture = *DecodePanelFile(DrawSamplePanel(dir));
    for (bool phase : {true, false}) {
        const std::vector<std::string> rows = Capture(picture, phase);
        EXPECT_EQ(rows[2].substr(0, 21), phase ? "xAB     \u2611\u2610\u25C9\u29D7x"
                                               : "x   C   \u2611\u2610\u25C9\u29D7x");
        EXPECT_EQ(rows[3].substr(0, 13), "mqq^qqqqqqqqj");  // the cursor under cell 13
        // Lit symbols stand in brackets: HOUSE blinks, MAIL blinks inversely.
        EXPECT_EQ(rows[9].substr(0, 38), phase ? "symbols [ALERT] MAIL  ETHERNET [HOUSE]"
                                               : "symbols [ALERT][MAIL] ETHERNET  HOUSE ");
    }
    EXPECT_EQ(SegmentGlyph(0x5B), (std::vector<std::string>{" _ ", " _|", "|_ "}));

    // A fixed text on show is named in the glass.
    PanelPicture fixed;
    fixed.fixedText = 12;
    const std::vector<std::string> rows = Capture(fixed, true);
    EXPECT_EQ(rows[1].substr(0, 13) + rows[2].substr(0, 13), "xfixed text xxno. 12     x");
}

#ifdef NIVO_PANEL
// Runs the built simulator; returns its exit status, output and errors in output.
int RunPanel(const std::string& args, std::string& output, const std::string& input = "") {
    return RunCommand(
        input + "env -u NIVO_LCD_DEVICE -u NIVO_KEYS_DEVICE TERM=vt100 " + NIVO_PANEL + " " + args,
        output);
}

// A key FIFO and a UDP port, as the program under the simulator would hold them.
struct ProgramSide {
    TempDir dir;
    std::string keys = dir.Path("keys.fifo");
    FileDescriptor reader;
    FileDescriptor udp{socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0)};
    std::string args;

    ProgramSide() {
        mkfifo(keys.c_str(), 0600);
        reader = FileDescriptor(open(keys.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        bind(udp.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(udp.Get(), reinterpret_cast<sockaddr*>(&address), &length);
        args = " --keys " + keys + " --udp-port " + std::to_string(ntohs(address.sin_port));
    }
    std::string Take(const FileDescriptor& fd) {  // what the simulator wrote or sent
        char bytes[64];
        return std::string(bytes, std::max<ssize_t>(0, read(fd.Get(), bytes, sizeof bytes)));
    }
};

TEST(NivoPanel, SnapshotAndSvgShowTheRegisterFile) {
    TempDir dir;
    const std::string lcd = DrawSamplePanel(dir);
    std::string output;
    EXPECT_EQ(RunPanel("--snapshot --lcd " + lcd, output), 0);
    EXPECT_EQ(output, RenderPanel(*DecodePanelFile(lcd)));
    EXPECT_EQ(RunPanel("--svg " + dir.Path("panel.svg") + " --lcd " + lcd, output), 0);
    EXPECT_EQ(ReadFile(dir.Path("panel.svg")), RenderPanelSvg(*DecodePanelFile(lcd)));
    // Without --lcd: NIVO_LCD_DEVICE, else nivo_lcd.reg in the current folder.
    EXPECT_EQ(RunCommand("NIVO_LCD_DEVICE=" + lcd + " " NIVO_PANEL " --snapshot", output), 0);
    EXPECT_EQ(output, RenderPanel(*DecodePanelFile(lcd)));
    std::filesystem::copy_file(lcd, dir.Path("nivo_lcd.reg"));
    EXPECT_EQ(RunPanel("--snapshot", output, "cd " + dir.Path() + " && "), 0);
    EXPECT_EQ(output, RenderPanel(*DecodePanelFile(lcd)));
    EXPECT_EQ(RunPanel("--snapshot --lcd " + dir.Path("missing.reg"), output), 1);
    EXPECT_EQ(RunPanel("--snapshot --lcd " + dir.Path(), output), 1);  // opens, cannot be read
    EXPECT_EQ(RunPanel("--snapshot --script x", output), 2);
    EXPECT_EQ(RunPanel("--snapshot --udp-port 0", output), 2);
    EXPECT_EQ(RunPanel("--snapshot --udp-port 65535 --lcd " + lcd, output), 0);
    EXPECT_EQ(RunPanel("--snapshot", output, "NIVO_UDP_PORT=8x "), 2);
    EXPECT_EQ(RunPanel("--script " + dir.Path("none"), output), 2);
    EXPECT_NE(output.find("cannot read the script " + dir.Path("none")), std::string::npos);
    EXPECT_EQ(RunPanel("--svg " + dir.Path("no/x.svg") + " --lcd " + lcd, output), 1);
    EXPECT_EQ(RunPanel("--version", output), 0);
    EXPECT_EQ(output.rfind("nivo-panel ", 0), 0u) << output;
    EXPECT_EQ(RunPanel("--help", output), 0);
    EXPECT_NE(output.find("--script FILE"), std::string::npos) << output;
}

TEST(NivoPanel, ScriptPressesKeysSendsNotificationsAndWaitsForText) {
    ProgramSide side;
    const std::string created = side.dir.Path("new.reg");
    const std::string script =
        side.dir.Write("run.txt",
                       "# a tap, a combination, a key left held; CRLF lines\r\nkey 1 20\r\n"
                       "press 6\r\nrelease\r\nudp POWER\\nLOWBAT=true\\t\\\\\\q\\r\\x21\r\npress 2\r\n"
                       "quit\r\nkey 4\r\n");
    std::string output;
    EXPECT_EQ(RunPanel("--script " + script + " --lcd " + created + side.args, output), 0)
        << output;
    EXPECT_EQ(side.Take(side.reader), std::string("\x01\x00\x06\x00\x02\x00", 6));
    EXPECT_EQ(side.Take(side.udp), "POWER\nLOWBAT=true\t\\\\q\r!");
    // The script on standard input; keys and port from the environment.
    const std::string port = side.args.substr(side.args.rfind(' ') + 1);
    EXPECT_EQ(RunCommand("printf 'key 2 5\\nudp RELOAD\\n' | NIVO_KEYS_DEVICE=" + side.keys +
                             " NIVO_UDP_PORT=" + port + " " NIVO_PANEL " --script - --lcd " + created,
                         output),
              0)
        << output;
    EXPECT_EQ(side.Take(side.reader) + side.Take(side.udp), std::string("\x02\x00RELOAD", 8));
    struct stat info {};
    EXPECT_EQ(stat(created.c_str(), &info), 0);  // created for the program

    const std::string lcd = DrawSamplePanel(side.dir);
    side.dir.Write("wait.txt",
                   "waitfor Men\xC3\xBC\t1000\nwaitfor \"AB C\"\nwaitfor Nope 50\nsnapshot\n");
    EXPECT_EQ(
        RunPanel("--script " + side.dir.Path("wait.txt") + " --lcd " + lcd + side.args, output), 1);
    EXPECT_EQ(output, RenderPanel(*DecodePanelFile(lcd)) +  // one picture, no snapshot after
                          "nivo-panel: script line 3: waitfor: \"Nope\" not shown within 50 ms\n");
    side.dir.Write("wait.txt", "waitfor Nope\n");  // without a bound: five seconds
    EXPECT_EQ(RunPanel("--script " + side.dir.Path("wait.txt") + " --lcd " + lcd, output), 1);
    EXPECT_NE(output.find("waitfor: \"Nope\" not shown within 5000 ms"), std::string::npos);
    side.dir.Write("bad.txt", "wait 10\nkey one\n");
    const std::string fifo = side.dir.Path("new.fifo");
    EXPECT_EQ(RunPanel("--script " + side.dir.Path("bad.txt") + " --keys " + fifo + " --lcd " + lcd,
                       output),
              2);
    EXPECT_NE(output.find("script line 2: cannot read: key one"), std::string::npos) << output;
    for (const char* bad : {"key 256", "key 1 2 3", "press", "wait x", "udp", "waitfor \"open",
                            "waitfor \"a\" 5 6", "release now", "frobnicate"}) {
        // Read before anything runs; limits are allowed, comments and blank lines count.
        side.dir.Write("bad.txt", std::string("# c\n\nkey 255 3600000\nwait 3600000\n") + bad);
        EXPECT_EQ(RunPanel("--script " + side.dir.Path("bad.txt") + " --lcd " + lcd, output), 2);
        EXPECT_NE(output.find(std::string("script line 5: cannot read: ") + bad), std::string::npos)
            << output;
    }
    EXPECT_TRUE(stat(fifo.c_str(), &info) == 0 && S_ISFIFO(info.st_mode));  // made for the program
    EXPECT_EQ(RunPanel("--script " + side.dir.Path("wait.txt") + " --keys " + lcd + " --lcd " + lcd,
                       output),
              2);
    EXPECT_NE(output.find(lcd + " is not a FIFO"), std::string::npos) << output;
}

// The program restarts while the script waits: keys reach the new one. Once no
// program reads, the key is reported and the simulator lives on to say so.
TEST(NivoPanel, ScriptKeysReachARestartedProgramAndAMissingOneIsReported) {
    ProgramSide side;
    const std::string lcd = side.dir.Write("lcd.reg", "");
    const std::string run =
        "--script " +
        side.dir.Write("run.txt", "key 1 10\nwaitfor Back\nkey 2 10\nwaitfor Gone\nkey 4\n") +
        " --lcd " + lcd + side.args;
    int status = 0;
    std::string output;
    std::thread panel([&] { status = RunPanel(run, output); });
    auto take = [&side] {  // a key and its release, within 5 s
        std::string got;
        for (int i = 0; i < 250 && got.size() < 2; ++i, poll(nullptr, 0, 20))
            got += side.Take(side.reader);
        return got;
    };
    auto show = [&lcd](const std::string& text) {
        NIVO_Display display(lcd);
        display.WriteText(text, MODE_ON, 0);
        display.Flush(NIVO_Display::FLUSH_ALL);
    };
    EXPECT_EQ(take(), std::string("\x01\x00", 2));
    side.reader.Reset();  // stopped, then started again
    side.reader = FileDescriptor(open(side.keys.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    show("Back");
    EXPECT_EQ(take(), std::string("\x02\x00", 2));
    side.reader.Reset();
    show("Gone");
    panel.join();
    EXPECT_EQ(status, 1);
    EXPECT_NE(output.find("script line 5: key: no program reads the key FIFO"), std::string::npos)
        << output;
}

TEST(NivoPanel, TerminalKeysPressPanelKeysAndSendNotifications) {
    ProgramSide side;
    const std::string lcd = side.dir.Write("lcd.reg", "");
    std::string output;
    int status = -1;
    std::atomic<bool> done{false};
    // script(1) gives the simulator a terminal; the test types into it through a FIFO.
    const std::string typed = side.dir.Path("typed.fifo");
    mkfifo(typed.c_str(), 0600);
    std::thread panel([&] {
        status = RunPanel("--lcd " + lcd + side.args + "' /dev/null", output,
                          "cat " + typed + " | timeout 20 script -qec '");
        done = true;
    });
    FileDescriptor keyboard(open(typed.c_str(), O_WRONLY | O_CLOEXEC));
    const auto type = [&](const std::string& text) {
        EXPECT_EQ(write(keyboard.Get(), text.data(), text.size()), ssize_t(text.size()));
    };
    std::string keys;
    std::vector<std::chrono::steady_clock::time_point> when;
    const auto await = [&](size_t count, int ms = 10000) {  // key bytes, within ms
        for (int i = 0; i < ms / 10 && keys.size() < count; ++i, poll(nullptr, 0, 10)) {
            for (char key : side.Take(side.reader)) {
                keys += key;
                when.push_back(std::chrono::steady_clock::now());
            }
        }
    };
    // A tap, the notifications, the combination 1+2, then key 2 held for 1 s.
    type("3asrmMbBxniIvVlLc1233 h21");  // 3 twice: in and out again
    await(5);
    NIVO_Display display(lcd);  // the terminal follows the register file
    display.WriteText("Hello", MODE_ON, 0);
    display.Flush(NIVO_Display::FLUSH_ALL);
    await(6);
    type("hc13 0");  // 1+3 held for "0", 10 s, until q lets it go
    await(7);
    await(8, 1500);
    EXPECT_EQ(keys.size(), 7u);  // still held
    type("q");
    keyboard.Reset();
    await(8);
    panel.join();
    EXPECT_EQ(status, 0) << output;
    ASSERT_EQ(keys, std::string("\x04\x00\x03\x00\x02\x00\x05\x00", 8));
    const auto held = [&](int i) { return (when[i + 1] - when[i]) / std::chrono::milliseconds(1); };
    EXPECT_GE(held(4), 500);  // 1 s, not a tap (a busy machine may read the press late)
    // Ended by a signal, it says which: 128 + N.
    EXPECT_EQ(RunCommand("sleep 2 | timeout 20 script -qec \"sh -c '(sleep 1; kill -TERM \\$\\$) "
                         "& exec env TERM=vt100 " NIVO_PANEL " --lcd " + lcd + side.args +
                             "'\" /dev/null",
                         output),
              128 + SIGTERM);
    EXPECT_NE(output.find("Hello"), std::string::npos);
    std::string sent;
    for (std::string text = side.Take(side.udp); !text.empty(); text = side.Take(side.udp))
        sent += text + "|";
    EXPECT_EQ(sent,
              "ALARM|SERVICE|RELOAD|POWER\nU_SOURCE_FAIL=true\nU_USBD_OK=false|"
              "POWER\nU_SOURCE_FAIL=false|POWER\nLOWBAT=true|POWER\nLOWBAT=false\nBAT_LEVEL=1.0|"
              "WAVD\nRX=1|WAVD\nNEW_DEVICE=1|WAVD\nINSTALL_MODE=true|WAVD\nINSTALL_MODE=false|"
              "WAVD\nSERVICE=1|WAVD\nSERVICE=0|WAVD\nALARM=true|WAVD\nALARM=false|");
}
#endif

}  // namespace

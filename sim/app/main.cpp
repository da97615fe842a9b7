// nivo-panel: the panel simulator. Shows the LCD register file that nivo_lcd draws
// on, writes key bytes into its key FIFO and sends it notifications.
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/app/panel_io.h"
#include "sim/app/panel_script.h"
#include "sim/app/panel_terminal.h"
#include "sim/panel_decoder.h"
#include "sim/panel_svg.h"
#include "util/version.h"

namespace {

const char* const kUsage =
    "usage: nivo-panel [--lcd FILE] [--keys FIFO] [--udp-port PORT]\n"
    "                  [--snapshot | --svg FILE | --script FILE]\n"
    "       nivo-panel --help | --version\n"
    "Shows the front panel that nivo_lcd draws into FILE, presses its keys and sends\n"
    "it notifications.\n"
    "  --lcd FILE       the LCD register file (NIVO_LCD_DEVICE, else ./nivo_lcd.reg),\n"
    "                   created empty when missing (--snapshot and --svg only read it)\n"
    "  --keys FIFO      the key FIFO (NIVO_KEYS_DEVICE, else ./nivo_keys.fifo),\n"
    "                   created when missing\n"
    "  --udp-port PORT  the program's notification port on 127.0.0.1 (NIVO_UDP_PORT, else 8182)\n"
    "  --snapshot       print the panel as text and exit\n"
    "  --svg FILE       write the panel as an SVG picture and exit\n"
    "  --script FILE    run commands from FILE (- for standard input) instead of the terminal:\n"
    "                   key BITS [HOLD_MS], press BITS, release, udp TEXT, wait MS,\n"
    "                   waitfor TEXT [MS], snapshot, quit\n"
    "  --help           print this text and exit\n"
    "  --version        print the version and exit\n"
    "Without these the panel is shown live in the terminal; keys are listed there.\n"
    "Exit status: 0 done, 1 a snapshot or script command failed, 2 wrong usage or\n"
    "files that cannot be used; 128+N after signal N in the terminal.\n";

struct Options {
    std::string lcdPath = "nivo_lcd.reg";
    std::string keysPath = "nivo_keys.fifo";
    int udpPort = 8182;
    bool snapshot = false;
    std::string svgPath;
    std::string scriptPath;
};

std::string FromEnvironment(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

bool ParsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(text);
    return port >= 1 && port <= 65535;
}

bool ParseOptions(const std::vector<std::string>& args, Options& options) {
    options.lcdPath = FromEnvironment("NIVO_LCD_DEVICE", options.lcdPath);
    options.keysPath = FromEnvironment("NIVO_KEYS_DEVICE", options.keysPath);
    const std::string envPort = FromEnvironment("NIVO_UDP_PORT", "");
    if (!envPort.empty() && !ParsePort(envPort, options.udpPort)) {
        std::cerr << "nivo-panel: NIVO_UDP_PORT is not a port: " << envPort << "\n";
        return false;
    }
    int modes = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--lcd" && hasValue) {
            options.lcdPath = args[++i];
        } else if (arg == "--keys" && hasValue) {
            options.keysPath = args[++i];
        } else if (arg == "--udp-port" && hasValue) {
            if (!ParsePort(args[++i], options.udpPort)) {
                std::cerr << "nivo-panel: not a port: " << args[i] << "\n";
                return false;
            }
        } else if (arg == "--snapshot") {
            options.snapshot = true;
            ++modes;
        } else if (arg == "--svg" && hasValue) {
            options.svgPath = args[++i];
            ++modes;
        } else if (arg == "--script" && hasValue) {
            options.scriptPath = args[++i];
            ++modes;
        } else {
            std::cerr << "nivo-panel: unexpected argument: " << arg << "\n";
            return false;
        }
    }
    if (modes > 1) {
        std::cerr << "nivo-panel: --snapshot, --svg and --script exclude each other\n";
        return false;
    }
    return true;
}

bool ReadScript(const std::string& path, std::string& text) {
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), {});
        return true;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    text.assign(std::istreambuf_iterator<char>(file), {});
    return !file.bad();
}

// --snapshot and --svg only look: they never create the register file.
int ShowPicture(const Options& options) {
    std::optional<PanelPicture> picture = DecodePanelFile(options.lcdPath);
    if (!picture) {
        std::cerr << "nivo-panel: cannot read the register file " << options.lcdPath << "\n";
        return 1;
    }
    if (options.snapshot) {
        std::cout << RenderPanel(*picture);
        return 0;
    }
    std::ofstream svg(options.svgPath, std::ios::binary | std::ios::trunc);
    svg << RenderPanelSvg(*picture);
    if (!svg.flush()) {
        std::cerr << "nivo-panel: cannot write " << options.svgPath << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "nivo-panel " << kNivoVersion << "\n";
        return 0;
    }
    Options options;
    if (!ParseOptions(args, options)) {
        std::cerr << kUsage;
        return 2;
    }
    if (options.snapshot || !options.svgPath.empty()) return ShowPicture(options);

    std::string script;
    if (!options.scriptPath.empty() && !ReadScript(options.scriptPath, script)) {
        std::cerr << "nivo-panel: cannot read the script " << options.scriptPath << "\n";
        return 2;
    }
    std::string error;
    if (!PrepareRegisterFile(options.lcdPath, error) || !PrepareKeyFifo(options.keysPath, error)) {
        std::cerr << "nivo-panel: " << error << "\n";
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);  // a program that stops reading keys must not end us
    KeyFifo keys(options.keysPath);
    UdpSender udp(options.udpPort);
    if (!options.scriptPath.empty())
        return RunPanelScript(script, options.lcdPath, keys, udp, std::cout, std::cerr);
    return RunPanelTerminal(options.lcdPath, options.keysPath, keys, udp);
}

#include "tools/page_check.h"

#include <algorithm>
#include <fstream>

#include "markup/nivoml_body.h"
#include "markup/nivoml_div.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_form.h"
#include "markup/nivoml_mainobj.h"
#include "markup/nivoml_setdatetimeobj.h"
#include "panel/nivo_display.h"
#include "sim/panel_decoder.h"
#include "sim/panel_svg.h"
#include "tools/page_lint.h"
#include "util/conversions.h"
#include "util/logger.h"

const char* const kPageCheckUsage =
    "usage: nivoml-check [-l 0..6] [--div NAME | --all] [--play CMDS] [--submit] [--lint]\n"
    "                    [--svg FILE] PAGE\n"
    "  PAGE         a NIVOML file, or - for standard input\n"
    "  --div NAME   draw the div NAME instead of the start div\n"
    "  --all        draw every div in turn\n"
    "  --play CMDS  apply comma-separated form and setter commands to the div's form or\n"
    "               setter, printing the panel after each: ?inccursor ?incdata ?decdata\n"
    "               ?reset !inccursor !incdata !decdata\n"
    "  --submit     print the request the div's form would send on ?submit (or the\n"
    "               settings text of a DISPLAY_SETTING form)\n"
    "  --lint       list what to fix before the page goes on the unit: links to missing\n"
    "               divs, unreachable divs, divs without a way out, forms without a\n"
    "               submit key, text past the display, dropped elements (alone: no picture)\n"
    "  --svg FILE   write the drawn div's panel (after --play, the last one) as an SVG\n"
    "               picture, as the LCD shows it; one div only, not with --all\n"
    "  -l LEVEL     log level as the program's (default 1: layout notes too)\n"
    "Exit status: 0 page accepted (and, with --lint, nothing found), 1 page rejected or\n"
    "a lint finding, 2 wrong usage, unreadable page or no register file.\n";

namespace {
const char* const kCommands[] = {"?inccursor", "?incdata", "?decdata", "?reset",
                                 "!inccursor", "!incdata", "!decdata"};

bool IsPlayCommand(const std::string& command) {
    return std::find(std::begin(kCommands), std::end(kCommands), command) != std::end(kCommands);
}
}  // namespace

bool ParsePageCheckArgs(const std::vector<std::string>& args, PageCheckOptions& options,
                        std::ostream& err) {
    bool havePage = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--all") {
            options.all = true;
        } else if (arg == "--submit") {
            options.submit = true;
        } else if (arg == "--lint") {
            options.lint = true;
        } else if (arg == "--svg" && hasValue) {
            options.svgPath = args[++i];
        } else if (arg == "--div" && hasValue) {
            options.div = args[++i];
        } else if (arg == "--play" && hasValue) {
            for (const std::string& command : SplitString(args[++i], ",")) {
                if (!IsPlayCommand(command)) {
                    err << "nivoml-check: unknown command: " << command << "\n" << kPageCheckUsage;
                    return false;
                }
                options.play.push_back(command);
            }
        } else if (arg == "-l" && hasValue) {
            options.level = std::clamp(StrToInt(args[++i]), 0, 6);
        } else if (!havePage && (arg == "-" || arg.empty() || arg[0] != '-')) {
            options.pagePath = arg;
            havePage = true;
        } else {
            err << "nivoml-check: unexpected argument: " << arg << "\n" << kPageCheckUsage;
            return false;
        }
    }
    const char* wrong = nullptr;
    if (!havePage) {
        wrong = "no PAGE given (a file, or - for standard input)";
    } else if (options.all && !options.div.empty()) {
        wrong = "--all and --div exclude each other";
    } else if (options.all && (options.submit || !options.play.empty())) {
        wrong = "--play and --submit act on one div: give --div NAME instead of --all";
    } else if (options.all && !options.svgPath.empty()) {
        wrong = "--svg draws one div: give --div NAME instead of --all";
    }
    if (wrong) {
        err << "nivoml-check: " << wrong << "\n" << kPageCheckUsage;
        return false;
    }
    return true;
}

namespace {
// Draws on one display and prints what the panel shows after each step.
class PanelPrinter {
public:
    PanelPrinter(NIVO_Display& display, const std::string& devicePath, std::ostream& out)
        : m_display(display), m_devicePath(devicePath), m_out(out) {}

    void Print(const std::string& heading, int flushBits) {
        m_display.Flush(flushBits);
        m_out << heading << "\n";
        if (std::optional<PanelPicture> picture = DecodePanelFile(m_devicePath)) {
            m_out << RenderPanel(*picture);
            m_last = *picture;
        }
    }
    NIVO_Display& Display() { return m_display; }
    std::ostream& Out() { return m_out; }
    const PanelPicture& Last() const { return m_last; }  // the picture printed last

private:
    NIVO_Display& m_display;
    std::string m_devicePath;
    std::ostream& m_out;
    PanelPicture m_last;
};

bool WriteSvg(const std::string& path, const PanelPicture& picture) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << RenderPanelSvg(picture);
    if (file.flush()) return true;
    Logger::Log(Logger::Error, "nivoml-check: cannot write %s", path.c_str());
    return false;
}

std::vector<std::string> DivNames(NIVOML_MAINOBJ& root) {
    std::vector<std::string> names;
    if (NIVOML_BODY* body = root.GetBody()) {
        for (const auto& child : body->Children()) {
            names.push_back(static_cast<NIVOML_DIV&>(*child).GetDivName());
        }
    }
    return names;
}

void ShowDiv(NIVOML_MAINOBJ& root, const std::string& name, PanelPrinter& printer) {
    root.ShowDiv(name);
    root.Draw(printer.Display());
    printer.Print("div " + root.GetCurrentDivName(), NIVO_Display::FLUSH_ALL);
}

// The form a key bound to command reaches, as the manager picks it for the pressed
// key; without such a key, the div's last form.
NIVOML_FORM* FormFor(NIVOML_MAINOBJ& root, const std::string& command) {
    for (int key = 0; key < KeyTable::kKeys; ++key) {
        if (root.GetKeyTarget(key, 1e9) == command) return root.GetFormForKey(key);
    }
    return root.GetFormForKey(0);
}

// The form and setter part of the manager's key dispatch, with its flush bits.
// Returns false when the div has nothing the command could act on.
bool Play(NIVOML_MAINOBJ& root, const std::string& command, PanelPrinter& printer) {
    NIVO_Display& display = printer.Display();
    int flushBits = 0;
    if (command[0] == '?') {
        NIVOML_FORM* form = FormFor(root, command);
        if (!form) return false;
        if (command == "?reset") {
            form->ResetControls();
            form->Draw(display);
        } else if (command == "?inccursor") {
            form->IncCursor(display);
        } else if (command == "?incdata") {
            form->IncData(display);
        } else {
            form->DecData(display);
        }
        flushBits = NIVO_Display::FLUSH_TEXT;
    } else {
        NIVOML_SETDATETIMEOBJ* setter = root.GetDateTimeSetter();
        if (!setter) return false;
        if (command == "!inccursor") {
            setter->IncCursor(display);
            flushBits = NIVO_Display::FLUSH_SEGMENTS;
        } else {
            if (command == "!incdata") {
                setter->IncData(display);
            } else {
                setter->DecData(display);
            }
            flushBits = NIVO_Display::FLUSH_SEGMENTS | NIVO_Display::FLUSH_SYMBOLS;
        }
    }
    printer.Print("after " + command, flushBits);
    return true;
}

void PrintSubmission(NIVOML_MAINOBJ& root, PanelPrinter& printer) {
    NIVOML_FORM* form = FormFor(root, "?submit");
    std::ostream& out = printer.Out();
    if (!form) {
        out << "no form in div " << root.GetCurrentDivName() << "\n";
    } else if (form->GetAction() == "DISPLAY_SETTING") {
        out << "settings:\n" << form->GetValues(printer.Display()) << "\n";
    } else {
        const unsigned port = form->GetPort() ? form->GetPort() : 80;
        out << "request to port " << port << ":\n" << form->BuildRequest(printer.Display(), "");
    }
}
}  // namespace

namespace {
// Draws what the options ask for; 0, or 2 when the register file cannot be opened.
int DrawPage(const PageCheckOptions& options, NIVOML_MAINOBJ& root,
             const std::string& devicePath, std::ostream& out) {
    NIVO_Display display(devicePath);
    if (!display.IsGood()) return 2;  // the display driver has said why
    PanelPrinter printer(display, devicePath, out);
    std::vector<std::string> names = DivNames(root);
    if (options.all) {
        for (size_t i = 0; i < names.size(); ++i) {
            if (i > 0) out << "\n";
            ShowDiv(root, names[i], printer);
        }
        return 0;
    }
    std::string name = options.div.empty() ? root.GetStartDivName() : options.div;
    if (!options.div.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
        Logger::Log(Logger::Warning, "nivoml-check: no div named %s, the program shows the first",
                    name.c_str());
    }
    ShowDiv(root, name, printer);
    for (const std::string& command : options.play) {
        if (!Play(root, command, printer)) {
            out << command << ": no " << (command[0] == '?' ? "form" : "setter") << " in div "
                << root.GetCurrentDivName() << "\n";
        }
    }
    if (options.submit) PrintSubmission(root, printer);
    if (!options.svgPath.empty() && !WriteSvg(options.svgPath, printer.Last())) return 2;
    return 0;
}

// Page texts are ISO-8859-1; a terminal expects UTF-8.
std::string ToUtf8(const std::string& latin1) {
    std::string out;
    for (unsigned char byte : latin1) {
        if (byte < 0x80) {
            out += static_cast<char>(byte);
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

// One line per finding, prefixed with the page like a compiler's; 1 when there was any.
int PrintLint(const PageCheckOptions& options, const std::string& pageText, NIVOML_MAINOBJ& root,
              std::ostream& out) {
    const std::string page = options.pagePath == "-" ? "<stdin>" : options.pagePath;
    const std::vector<std::string> findings = LintPage(pageText, root);
    for (const std::string& finding : findings) out << ToUtf8(page + ": " + finding) << "\n";
    if (findings.empty()) {
        out << page << ": clean\n";
        return 0;
    }
    out << page << ": " << findings.size() << (findings.size() == 1 ? " finding" : " findings")
        << "\n";
    return 1;
}
}  // namespace

int RunPageCheck(const PageCheckOptions& options, const std::string& pageText,
                 const std::string& devicePath, std::ostream& out) {
    NivomlDocument document(pageText);
    if (!document.IsOk() || !document.Build() || !document.GetRoot()) {
        Logger::Log(Logger::Error, "=========== NIVOML-Error! ===============");
        document.LogErrorPosition();
        out << "page rejected\n";
        return 1;
    }
    NIVOML_MAINOBJ& root = *document.GetRoot();
    const bool draw = !options.lint || options.all || !options.div.empty() ||
                      !options.play.empty() || options.submit || !options.svgPath.empty();
    if (draw) {
        if (int status = DrawPage(options, root, devicePath, out)) return status;
        if (options.lint) out << "\n";
    }
    return options.lint ? PrintLint(options, pageText, root, out) : 0;
}

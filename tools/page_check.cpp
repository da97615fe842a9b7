#include "tools/page_check.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "manager/nivo_manager.h"
#include "markup/nivoml_body.h"
#include "markup/nivoml_div.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_form.h"
#include "markup/nivoml_mainobj.h"
#include "markup/nivoml_setdatetimeobj.h"
#include "net/http_text.h"
#include "panel/nivo_display.h"
#include "sim/panel_decoder.h"
#include "sim/panel_svg.h"
#include "tools/page_lint.h"
#include "util/conversions.h"
#include "util/logger.h"
#include "util/xml_node.h"

const char* const kPageCheckVersion = "nivoml-check 1.1 (NIVOML as nivo_lcd reads it)";

const char* const kPageCheckUsage =
    "usage: nivoml-check [options] PAGE...\n"
    "  PAGE         a NIVOML file, or - for standard input (an HTTP answer or CGI\n"
    "               output is fine: the page is cut from <nivoml to </nivoml>, as the\n"
    "               unit does)\n"
    "Prints the panel as the device would show the page, then every finding, one per\n"
    "line: FILE:LINE:COLUMN: error|warning: message. Errors: the program rejects the\n"
    "page or drops something written; warnings: what the panel shows differs from what\n"
    "was probably meant. Every finding says what the panel shows and how to fix it.\n"
    "  --lint       findings only, no panel (unless --all, --div, --play, --submit or\n"
    "               --svg ask for one)\n"
    "  --div NAME   draw the div NAME instead of the start div\n"
    "  --all        draw every div in turn\n"
    "  --play CMDS  apply comma-separated form and setter commands to the div's form or\n"
    "               setter, printing the panel after each: ?inccursor ?incdata ?decdata\n"
    "               ?reset !inccursor !incdata !decdata\n"
    "  --submit     print the request the div's form would send on ?submit, display\n"
    "               settings at their defaults (or a DISPLAY_SETTING form's settings)\n"
    "  --svg FILE   write the drawn div's panel (after --play, the last one) as an SVG\n"
    "               picture, as the LCD shows it; one page and one div only\n"
    "  -l LEVEL     also print the program's own log from LEVEL on (0 all .. 6 fatal;\n"
    "               1 gives the element debug log)\n"
    "  --help       this text\n"
    "  --version    the version\n"
    "The language is described in docs/nivoml.md.\n"
    "Exit status: 0 no finding, 1 a finding in any page (a rejected page included),\n"
    "2 wrong usage, an unreadable PAGE, or a register or SVG file that cannot be written.\n";

namespace {
const char* const kCommands[] = {"?inccursor", "?incdata", "?decdata", "?reset",
                                 "!inccursor", "!incdata", "!decdata"};

bool IsPlayCommand(const std::string& command) {
    return std::find(std::begin(kCommands), std::end(kCommands), command) != std::end(kCommands);
}
}  // namespace

bool ParsePageCheckArgs(const std::vector<std::string>& args, PageCheckOptions& options,
                        std::ostream& err) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--all") {
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
        } else if (arg == "-" || arg.empty() || arg[0] != '-') {
            options.pagePaths.push_back(arg);
        } else {
            err << "nivoml-check: unexpected argument: " << arg << "\n" << kPageCheckUsage;
            return false;
        }
    }
    const char* wrong = nullptr;
    if (options.help || options.version) return true;
    if (options.pagePaths.empty()) {
        wrong = "no PAGE given (a file, or - for standard input)";
    } else if (options.all && !options.div.empty()) {
        wrong = "--all and --div exclude each other";
    } else if (options.all && (options.submit || !options.play.empty())) {
        wrong = "--play and --submit act on one div: give --div NAME instead of --all";
    } else if (options.all && !options.svgPath.empty()) {
        wrong = "--svg draws one div: give --div NAME instead of --all";
    } else if (options.pagePaths.size() > 1 && !options.svgPath.empty()) {
        wrong = "--svg draws one page: give one PAGE";
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

bool WriteSvg(const std::string& path, const PanelPicture& picture, std::ostream& out) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << RenderPanelSvg(picture);
    if (file.flush()) return true;
    out << "nivoml-check: cannot write " << path << "\n";
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
        const std::string tail = NIVO_Manager::SettingsTail(NIVO_Manager::kDefaultContrast,
                                                            NIVO_Manager::kDefaultBacklight,
                                                            NIVO_Manager::kDefaultBrightness);
        out << "request to port " << port << ", with the unit's default display settings:\n"
            << form->BuildRequest(printer.Display(), tail);
    }
}
}  // namespace

namespace {
// Draws what the options ask for; 0, or 2 when the register or SVG file cannot be written.
int DrawPage(const PageCheckOptions& options, NIVOML_MAINOBJ& root,
             const std::string& devicePath, std::ostream& out) {
    NIVO_Display display(devicePath);
    if (!display.IsGood()) {
        out << "nivoml-check: cannot open the register file " << devicePath << "\n";
        return 2;
    }
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
        out << "no div named " << name << ": the program shows the first\n";
    }
    ShowDiv(root, name, printer);
    for (const std::string& command : options.play) {
        if (!Play(root, command, printer)) {
            out << command << ": no " << (command[0] == '?' ? "form" : "setter") << " in div "
                << root.GetCurrentDivName() << "\n";
        }
    }
    if (options.submit) PrintSubmission(root, printer);
    if (!options.svgPath.empty() && !WriteSvg(options.svgPath, printer.Last(), out)) return 2;
    return 0;
}

// Page texts are ISO-8859-1, a terminal expects UTF-8; control bytes are escaped
// so that every finding stays on one line.
std::string Printable(const std::string& latin1) {
    std::string out;
    for (unsigned char byte : latin1) {
        if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0)) {
            static const char kHex[] = "0123456789abcdef";
            out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

PageFinding PageError(int line, int column, const std::string& message) {
    PageFinding finding;
    finding.line = line;
    finding.column = column;
    finding.error = true;
    finding.message = message;
    return finding;
}

// Where byte at of text stands, from 1.
void LineAndColumn(const std::string& text, size_t at, int& line, int& column) {
    line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
    const size_t feed = text.rfind('\n', at == 0 ? 0 : at - 1);
    column = static_cast<int>(feed == std::string::npos || at == 0 ? at : at - feed - 1) + 1;
}

size_t FindNoCase(const std::string& text, const std::string& lowerNeedle) {
    auto it = std::search(text.begin(), text.end(), lowerNeedle.begin(), lowerNeedle.end(),
                          [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    return it == text.end() ? std::string::npos : static_cast<size_t>(it - text.begin());
}

const char* const kRejected = "the program rejects the page and keeps showing the one before";

// The element a mismatched closing tag leaves open, and where, as the checker says it.
std::string UnclosedBefore(const std::string& text, size_t pageStart, const std::string& page,
                           const XMLResults& results) {
    const std::optional<TagMismatch> mismatch =
        FindTagMismatch(page, results.nLine, results.nColumn);
    if (!mismatch) return "";
    int line = 0, column = 0;
    LineAndColumn(text, pageStart + mismatch->openAt, line, column);
    const std::string where = "<" + mismatch->open + "> of line " + std::to_string(line) +
                              ", column " + std::to_string(column);
    if (!mismatch->closesOuter) {
        return " (</" + mismatch->closing + "> closes nothing: no <" + mismatch->closing +
               "> is open (the innermost open element is " + where +
               "); delete it, or mend its name)";
    }
    return " (</" + mismatch->closing + "> while " + where +
           " is open: close it first, or end it with /> when it holds nothing)";
}

// Why the unit finds no page in text (it cuts from "<nivoml" to the last "</nivoml>").
PageFinding NoPage(const std::string& text) {
    int line = 1, column = 1;
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        return PageError(1, 1, std::string("the page is empty: ") + kRejected +
                                   "; a page is <nivoml><head>...</head><body>...</body></nivoml>");
    }
    const size_t html = FindNoCase(text, "<html");
    const size_t open = text.find("<nivoml");
    if (html != std::string::npos && open == std::string::npos) {
        LineAndColumn(text, html, line, column);
        return PageError(line, column,
                         std::string("this is an HTML page, not NIVOML (a server error page?): ") +
                             kRejected + "; check what the CGI script writes and its error log");
    }
    if (open != std::string::npos) {
        LineAndColumn(text, open, line, column);
        return PageError(line, column,
                         std::string("<nivoml> is never closed by </nivoml>: ") + kRejected +
                             "; end the page with </nivoml>");
    }
    const size_t tag = text.find('<');
    std::string root;
    if (tag != std::string::npos) {
        LineAndColumn(text, tag, line, column);
        root = text.substr(tag, text.find_first_of(" \t\r\n/>", tag + 1) - tag) + ">";
    }
    return PageError(line, column,
                     "no <nivoml> element" + (root.empty() ? "" : " (the root is " + root + ")") +
                         ": " + kRejected + "; the root element of a page is <nivoml>");
}

// Every finding of one page, in page order, with lines and columns in text.
std::vector<PageFinding> CheckPage(const PageCheckOptions& options, const std::string& text,
                                   std::ostream& out, int& status) {
    if (text.size() > kPageCheckMaxPage) {
        return {PageError(1, 1, "the page is larger than 1 MiB: the unit cuts an answer there "
                                "and rejects it; split it into several pages")};
    }
    std::vector<PageFinding> findings = CheckEncoding(text);
    const size_t start = text.find("<nivoml");
    const std::string page = ExtractNivoml(text);
    if (page.empty()) {
        findings.push_back(NoPage(text));
        return findings;
    }
    int shiftLines = 0, shiftColumn = 0;
    LineAndColumn(text, start, shiftLines, shiftColumn);
    auto place = [&](PageFinding finding) {
        if (finding.line == 1) finding.column += shiftColumn - 1;
        finding.line += shiftLines - 1;
        findings.push_back(std::move(finding));
    };

    NivomlDocument document(page);
    if (!document.IsOk()) {
        const XMLResults& results = document.GetResults();
        place(PageError(results.nLine, results.nColumn,
                        std::string("XML error: ") + XMLNode::getError(results.error) +
                            (XMLNode::isTagMismatch(results.error)
                                 ? UnclosedBefore(text, start, page, results)
                                 : "") +
                            ": " +
                            kRejected + "; mend the markup here (a tag closed by another name, "
                            "a stray < or &, an attribute without quotes)"));
    } else {
        const bool built = document.Build() && document.GetRoot();
        NIVOML_MAINOBJ* root = built ? document.GetRoot() : nullptr;
        const bool draw = !options.lint || options.all || !options.div.empty() ||
                          !options.play.empty() || options.submit || !options.svgPath.empty();
        if (root && draw) {
            status = DrawPage(options, *root, options.devicePath, out);
            out << "\n";
        }
        const XMLPositions positions(page);
        for (PageFinding& finding : LintPage(page, root)) {
            if (!positions.Locate(finding.offset, finding.line, finding.column)) {
                finding.line = finding.column = 1;
            }
            place(std::move(finding));
        }
    }
    std::stable_sort(findings.begin(), findings.end(), [](const PageFinding& a, const PageFinding& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return findings;
}
}  // namespace

int RunPageCheck(const PageCheckOptions& options, const std::string& name,
                 const std::string& pageText, const std::string& devicePath, std::ostream& out) {
    PageCheckOptions withDevice = options;
    withDevice.devicePath = devicePath;
    int status = 0;
    const std::vector<PageFinding> findings = CheckPage(withDevice, pageText, out, status);
    for (const PageFinding& finding : findings) {
        out << name << ":" << finding.line << ":" << finding.column << ": "
            << (finding.error ? "error" : "warning") << ": " << Printable(finding.message)
            << "\n";
    }
    if (findings.empty()) {
        out << name << ": clean\n";
    } else {
        out << name << ": " << findings.size() << (findings.size() == 1 ? " finding" : " findings")
            << "\n";
    }
    return status != 0 ? status : (findings.empty() ? 0 : 1);
}

#include "tools/page_check.h"

#include <algorithm>

#include "markup/nivoml_body.h"
#include "markup/nivoml_div.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_mainobj.h"
#include "panel/nivo_display.h"
#include "sim/panel_decoder.h"
#include "util/conversions.h"
#include "util/logger.h"

const char* const kPageCheckUsage =
    "usage: nivoml-check [-l 0..6] [--div NAME | --all] PAGE\n"
    "  PAGE        a NIVOML file, or - for standard input\n"
    "  --div NAME  draw the div NAME instead of the start div\n"
    "  --all       draw every div in turn\n"
    "  -l LEVEL    log level as the program's (default 1: layout notes too)\n"
    "Exit status: 0 page accepted, 1 page rejected, 2 wrong usage.\n";

bool ParsePageCheckArgs(const std::vector<std::string>& args, PageCheckOptions& options,
                        std::ostream& err) {
    bool havePage = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--all") {
            options.all = true;
        } else if (arg == "--div" && hasValue) {
            options.div = args[++i];
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
    if (!havePage || (options.all && !options.div.empty())) {
        err << kPageCheckUsage;
        return false;
    }
    return true;
}

namespace {
std::vector<std::string> DivNames(NIVOML_MAINOBJ& root) {
    std::vector<std::string> names;
    if (NIVOML_BODY* body = root.GetBody()) {
        for (const auto& child : body->Children()) {
            names.push_back(static_cast<NIVOML_DIV&>(*child).GetDivName());
        }
    }
    return names;
}

void ShowDiv(NIVOML_MAINOBJ& root, const std::string& name, NIVO_Display& display,
             const std::string& devicePath, std::ostream& out) {
    root.ShowDiv(name);
    root.Draw(display);
    display.Flush(NIVO_Display::FLUSH_ALL);
    std::optional<PanelPicture> picture = DecodePanelFile(devicePath);
    out << "div " << root.GetCurrentDivName() << "\n";
    if (picture) out << RenderPanel(*picture);
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
    NIVO_Display display(devicePath);
    if (!display.IsGood()) return 1;
    NIVOML_MAINOBJ& root = *document.GetRoot();
    std::vector<std::string> names = DivNames(root);
    if (options.all) {
        for (size_t i = 0; i < names.size(); ++i) {
            if (i > 0) out << "\n";
            ShowDiv(root, names[i], display, devicePath, out);
        }
        return 0;
    }
    std::string name = options.div.empty() ? root.GetStartDivName() : options.div;
    if (!options.div.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
        Logger::Log(Logger::Warning, "nivoml-check: no div named %s, the program shows the first",
                    name.c_str());
    }
    ShowDiv(root, name, display, devicePath, out);
    return 0;
}

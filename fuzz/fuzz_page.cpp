// Feeds arbitrary bytes through the whole document model: parse, build, show
// and draw every div, ask for every key and a few element timers, then drive
// each div's form and setter. The input is the page, optionally followed by a
// NUL byte and one byte per form or setter command. The page checker's findings
// are gathered for every page too, also for the ones the program rejects.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/page_world.h"
#include "markup/element_host.h"
#include "markup/nivoml_body.h"
#include "markup/nivoml_div.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_form.h"
#include "markup/nivoml_mainobj.h"
#include "markup/nivoml_setdatetimeobj.h"
#include "panel/nivo_display.h"
#include "tools/page_lint.h"
#include "tools/page_rules.h"
#include "util/xml_node.h"

namespace {

using page_world::Display;
using page_world::NullHost;

// Applies the commands as the keys would, then reads back what a submission would.
void Play(NIVOML_MAINOBJ& root, const std::string& commands, NIVO_Display& display) {
    for (unsigned char command : commands) {
        NIVOML_FORM* form = root.GetFormForKey(command >> 3);
        NIVOML_SETDATETIMEOBJ* setter = root.GetDateTimeSetter();
        switch (command % 8) {
            case 0:
                if (form) form->IncCursor(display);
                break;
            case 1:
                if (form) form->IncData(display);
                break;
            case 2:
                if (form) form->DecData(display);
                break;
            case 3:
                if (form) {
                    form->ResetControls();
                    form->Draw(display);
                }
                break;
            case 4:
                if (setter) setter->IncCursor(display);
                break;
            case 5:
                if (setter) setter->IncData(display);
                break;
            case 6:
                if (setter) setter->DecData(display);
                break;
            default:
                root.Draw(display);
                break;
        }
    }
    if (NIVOML_FORM* form = root.GetFormForKey(0)) {
        form->BuildRequest(display, "tail \"x\"");
        form->GetValues(display);
    }
    if (NIVOML_SETDATETIMEOBJ* setter = root.GetDateTimeSetter()) {
        setter->GetDay(display);
        setter->GetMonth(display);
        setter->GetYear(display);
        setter->GetHour(display);
        setter->GetMinute(display);
    }
}

// Every finding of the checker, with its position, as the checker makes them.
void Lint(const std::string& page, NIVOML_MAINOBJ* root) {
    CheckEncoding(page);
    const XMLPositions positions(page);
    int line = 0;
    int column = 0;
    for (const PageFinding& finding : LintPage(page, root)) {
        positions.Locate(finding.offset, line, column);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static NullHost host;
    ElementHost::s_instance = &host;
    g_textPosition = 0;
    NIVO_Display& display = Display();

    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = std::min(input.find('\0'), input.size());
    const std::string commands = split < input.size() ? input.substr(split + 1, 64) : "";
    const std::string page = input.substr(0, split);
    NivomlDocument document(page);
    if (!document.IsOk()) {
        const XMLResults& results = document.GetResults();
        FindTagMismatch(page, results.nLine, results.nColumn);  // the checker's words for it
        return 0;
    }
    if (!document.Build() || !document.GetRoot()) {
        Lint(page, nullptr);
        return 0;
    }
    NIVOML_MAINOBJ& root = *document.GetRoot();
    Lint(page, &root);

    std::vector<std::string> names{""};
    if (NIVOML_BODY* body = root.GetBody()) {
        for (const auto& div : body->Children()) {
            names.push_back(static_cast<NIVOML_DIV&>(*div).GetDivName());
        }
    }
    for (const std::string& name : names) {
        root.ShowDiv(name);
        root.Draw(display);
        for (int key = -1; key <= 8; ++key) root.GetKeyTarget(key, 1e9);
        Play(root, commands, display);
    }
    display.Flush(NIVO_Display::FLUSH_ALL);
    std::string target;
    int key = 0;
    const unsigned long first = CookieTimerId(0);
    for (unsigned long id : {0UL, 10UL, first, first + 1, first + g_elementCount,
                             first + g_elementCount - 1, 0x7fffffffUL}) {
        root.OnTimer(id, target, key);
    }
    return 0;
}

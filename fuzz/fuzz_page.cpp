// Feeds arbitrary bytes through the whole document model: parse, build, show
// and draw every div, ask for every key and a few element timers.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "markup/element_host.h"
#include "markup/nivoml_body.h"
#include "markup/nivoml_div.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_mainobj.h"
#include "panel/nivo_display.h"

namespace {

// Remembers nothing: the page's timer calls only have to be safe.
class NullHost : public ElementHost {
public:
    void RestartTimer(long, unsigned long) override {}
    void StopTimer(unsigned long) override {}
    std::string GetCurrentDivName() override { return "x"; }
    void AutoSubmit_Form(int) override {}
    void AutoSubmit_SetDateTime(int) override {}
};

NIVO_Display& Display() {
    static std::string path = [] {
        char name[] = "/tmp/fuzz_page_lcd_XXXXXX";
        int fd = mkstemp(name);
        if (fd < 0) abort();
        close(fd);
        return std::string(name);
    }();
    static NIVO_Display display(path);
    return display;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static NullHost host;
    ElementHost::s_instance = &host;
    g_textPosition = 0;
    NIVO_Display& display = Display();

    NivomlDocument document(std::string(reinterpret_cast<const char*>(data), size));
    if (!document.IsOk() || !document.Build() || !document.GetRoot()) return 0;
    NIVOML_MAINOBJ& root = *document.GetRoot();

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

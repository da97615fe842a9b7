// Takes arbitrary bytes as the web server's answer: status line, success test,
// where the answer ends (Content-Length) and extraction, then, for a successful
// answer with a document, the page build and the first draw, as a page load would do.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/page_world.h"
#include "markup/element_host.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_mainobj.h"
#include "net/http_text.h"
#include "panel/nivo_display.h"

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static page_world::NullHost host;
    static page_world::DroppingLogger logger;
    ElementHost::s_instance = &host;
    Logger::s_logger = &logger;
    g_textPosition = 0;
    const std::string answer(reinterpret_cast<const char*>(data), size);

    std::string version = "v", status = "s", reason = "r";
    ParseStatusLine(answer, version, status, reason);
    if (answer.size() < 15) {
        if (version != "v" || status != "s" || reason != "r") abort();
    } else if (version.size() != 8 || status.size() != 3 ||
               reason.find('\n') != std::string::npos ||
               answer.compare(13, reason.size(), reason) != 0) {
        abort();
    }
    const bool success = IsSuccessResponse(answer);

    // The framing of a complete header is the same however much body follows.
    const AnswerFraming framing = ReadAnswerFraming(answer);
    if (framing.headerComplete) {
        if (framing.bodyStart > answer.size() || framing.contentLength < -1) abort();
        const AnswerFraming header = ReadAnswerFraming(answer.substr(0, framing.bodyStart));
        if (!header.headerComplete || header.bodyStart != framing.bodyStart ||
            header.contentLength != framing.contentLength) {
            abort();
        }
    } else if (framing.bodyStart != 0 || framing.contentLength != -1) {
        abort();
    }

    const std::string document = ExtractNivoml(answer);
    if (!document.empty() &&
        (document.compare(0, 7, "<nivoml") != 0 || !EndsWith(document, "</nivoml>") ||
         answer.find(document) == std::string::npos)) {
        abort();
    }
    if (!success || document.empty()) return 0;

    NivomlDocument page(document);
    if (!page.IsOk() || !page.Build() || !page.GetRoot()) return 0;
    NIVO_Display& display = page_world::Display();
    page.GetRoot()->Draw(display);
    display.Flush(NIVO_Display::FLUSH_ALL);
    return 0;
}

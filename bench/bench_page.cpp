// Parse + build + draw of whole pages, as the manager does for every answer,
// beside the two layers underneath on the same bytes: our XMLNode parse and a
// bare pugixml parse.
#include <benchmark/benchmark.h>
#include <pugixml.hpp>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "markup/nivoml_document.h"
#include "markup/nivoml_form.h"
#include "markup/nivoml_mainobj.h"
#include "panel/nivo_display.h"
#include "util/xml_node.h"

namespace {

const std::string kUrl = "http://127.0.0.1/config/display/nivo_index.cgi";

std::string BasePage() {
    return "<nivoml pagetype=\"BASEPAGE\">\t<head>\t\t<date symbols=\"\" format=\"%d%m%y\"/>"
           "\t\t<time symbols=\"\" format=\"%H%M\"/>\t\t<a href=\"" + kUrl +
           "\" key=\"7\" autoswitch=\"1500\"/>\t\t<a href=\"" + kUrl + "\" key=\"1\"/>"
           "\t\t<a href=\"" + kUrl + "\" key=\"2\"/>\t\t<a href=\"" + kUrl + "\" key=\"4\"/>"
           "\t</head>\t<body>\t\t<div name=\"BP_1\">New requestin<skip/><counter from=\"5\" "
           "to=\"1\"/><skip/>sec.</div>\t</body></nivoml>";
}

// Head with date, time and four links; body with five divs of text, br, skip, a counter.
std::string TypicalPage() {
    std::string page = "<nivoml pagetype=\"MENU\"><head><date symbols=\"\" format=\"%d%m%y\"/>"
                       "<time symbols=\"\" format=\"%H%M\"/><goto div=\"d0\"/>";
    for (int key = 1; key <= 4; ++key) {
        page += "<a href=\"/cgi/menu.cgi?item=" + std::to_string(key) + "\" key=\"" +
                std::to_string(key) + "\"/>";
    }
    page += "</head><body>";
    for (int div = 0; div < 5; ++div) {
        const std::string d = std::to_string(div);
        page += "<div name=\"d" + d + "\">Menu " + d + "<br/><blink>Item</blink><skip/>" +
                "<counter from=\"9\" to=\"0\"/><a href=\"#d" + std::to_string((div + 1) % 5) +
                "\" key=\"4\"/></div>";
    }
    return page + "</body></nivoml>";
}

std::string LargePage(size_t bytes) {
    std::string page = "<nivoml><head><goto div=\"d0\"/></head><body>";
    for (int div = 0; page.size() < bytes; ++div) {
        page += "<div name=\"d" + std::to_string(div) + "\">Screen<br/><blink>" +
                std::to_string(div) + "</blink><skip count=\"2\"/>x</div>\n";
    }
    return page + "</body></nivoml>";
}

// One div with a form of ten controls: text fields, check boxes, a radio group,
// a select, a stepper and an IP input.
std::string FormPage() {
    return "<nivoml><head><goto div=\"f\"/></head><body><div name=\"f\">"
           "<form method=\"post\" enctype=\"text/plain\" action=\"/cgi/set.cgi\">"
           "<input type=\"text\" name=\"a\" value=\"12\" mask=\"1,1\" range=\"59\"/>"
           "<input type=\"text\" name=\"b\" value=\"xy\" mask=\"6,6\"/>"
           "<input type=\"checkbox\" name=\"c\" value=\"c\"/>"
           "<input type=\"checkbox\" name=\"d\" value=\"d\" checked/>"
           "<input type=\"radio\" name=\"r\" value=\"1\"/>"
           "<input type=\"radio\" name=\"r\" value=\"2\" checked/>"
           "<select name=\"s\"><option value=\"0\" readout=\"a\"/>"
           "<option value=\"1\" readout=\"b\"/></select>"
           "<stepper name=\"t\" min=\"0\" max=\"9\" step=\"1\" value=\"5\"/>"
           "<input type=\"hidden\" name=\"h\" value=\"x\"/>"
           "<input type=\"text\" name=\"e\" value=\"0\" mask=\"1\"/>"
           "<input type=\"submit\" key=\"4\"/><input type=\"incdata\" key=\"2\"/>"
           "<input type=\"inccursor\" key=\"1\"/></form></div></body></nivoml>";
}

struct RegisterFile {
    RegisterFile() {
        char name[] = "/tmp/bench_page_lcd_XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path = name;
    }
    ~RegisterFile() { unlink(path.c_str()); }
    std::string path;
};

void ParseBuildDraw(benchmark::State& state, const std::string& page) {
    RegisterFile file;
    NIVO_Display display(file.path);
    for (auto _ : state) {
        g_textPosition = 0;
        NivomlDocument document(page);
        if (!document.IsOk() || !document.Build() || !document.GetRoot()) {
            state.SkipWithError("page rejected");
            return;
        }
        document.GetRoot()->Draw(display);
        benchmark::DoNotOptimize(document.GetRoot());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
    state.counters["page_bytes"] = static_cast<double>(page.size());
}

// Our XML layer alone: Latin-1 in, the pugixml tree, character references decoded.
void XmlNodeParse(benchmark::State& state, const std::string& page) {
    for (auto _ : state) {
        XMLResults results;
        XMLNode root = XMLNode::parseString(page, "nivoml", &results);
        if (root.isEmpty()) {
            state.SkipWithError("page rejected");
            return;
        }
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

// pugixml by itself on the same bytes, the floor under the two above.
void PugixmlParse(benchmark::State& state, const std::string& page) {
    for (auto _ : state) {
        pugi::xml_document document;
        if (!document.load_buffer(page.data(), page.size(), pugi::parse_default,
                                  pugi::encoding_latin1)) {
            state.SkipWithError("page rejected");
            return;
        }
        benchmark::DoNotOptimize(document.first_child());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

BENCHMARK_CAPTURE(ParseBuildDraw, base, BasePage())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(XmlNodeParse, base, BasePage())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PugixmlParse, base, BasePage())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ParseBuildDraw, typical, TypicalPage())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(XmlNodeParse, typical, TypicalPage())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PugixmlParse, typical, TypicalPage())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ParseBuildDraw, large100k, LargePage(100 * 1024))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(XmlNodeParse, large100k, LargePage(100 * 1024))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PugixmlParse, large100k, LargePage(100 * 1024))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ParseBuildDraw, form, FormPage())->Unit(benchmark::kMicrosecond);

// One key press on a form: the value under the cursor steps, the text row is flushed.
void BM_FormIncDataAndRedraw(benchmark::State& state) {
    RegisterFile file;
    NIVO_Display display(file.path);
    g_textPosition = 0;
    NivomlDocument document(FormPage());
    if (!document.IsOk() || !document.Build() || !document.GetRoot()) {
        state.SkipWithError("page rejected");
        return;
    }
    document.GetRoot()->Draw(display);
    NIVOML_FORM* form = document.GetRoot()->GetFormForKey(0);
    for (auto _ : state) {
        form->IncData(display);
        display.Flush(NIVO_Display::FLUSH_TEXT);
    }
}

BENCHMARK(BM_FormIncDataAndRedraw)->Unit(benchmark::kMicrosecond);

}  // namespace

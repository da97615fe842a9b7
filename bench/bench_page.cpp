// Parse + build + draw of whole pages, as the manager does for every answer.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "markup/nivoml_document.h"
#include "markup/nivoml_mainobj.h"
#include "panel/nivo_display.h"

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
}

void BM_BasePage(benchmark::State& state) { ParseBuildDraw(state, BasePage()); }
void BM_TypicalPage(benchmark::State& state) { ParseBuildDraw(state, TypicalPage()); }
void BM_LargePage100K(benchmark::State& state) { ParseBuildDraw(state, LargePage(100 * 1024)); }

BENCHMARK(BM_BasePage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypicalPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LargePage100K)->Unit(benchmark::kMicrosecond);

}  // namespace

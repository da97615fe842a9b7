// Parsing and walking NIVOML-like pages of typical (2 KB) and oversized (100 KB) size.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "util/xml_node.h"

namespace {

// Screens of nested divs with text, formats, attributes and a form, up to about size bytes.
std::string MakePage(size_t size) {
    std::string page =
        "<nivoml><head><keys k1=\"#s0\" k2=\"http://127.0.0.1/config/display/x.cgi\"/></head>"
        "<body>";
    for (int screen = 0; page.size() < size; ++screen) {
        std::string n = std::to_string(screen);
        page += "<div name=\"s" + n + "\" timeout=\"10\" goto=\"#s" + n +
                "\">Temperatur <blink>21\xB0"
                "C</blink><br/><div name=\"i" +
                n +
                "\">K\xFC"
                "che &amp; Bad</div><form action=\"/set.cgi\" method=\"post\">"
                "<input name=\"v" +
                n + "\" type=\"text\" value=\"" + n + "\"/></form>Zeile zwei</div>\n";
    }
    return page + "</body></nivoml>";
}

// Visits every item the way the element tree builder does.
size_t Walk(const XMLNode& root) {
    size_t visited = 0;
    std::vector<XMLNode> stack{root};
    while (!stack.empty()) {
        XMLNode node = stack.back();
        stack.pop_back();
        int texts = 0;
        for (int i = 0; i < node.nElement(); ++i) {
            XMLNode::Contents item = node.enumContents(i);
            if (item.type == eNodeChild) stack.push_back(item.child);
            if (item.type == eNodeAttribute)
                visited += node.getAttribute(item.text.c_str())->size();
            if (item.type == eNodeText) visited += node.getText(texts++)->size();
            ++visited;
        }
    }
    return visited;
}

void BM_ParseString(benchmark::State& state) {
    std::string page = MakePage(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        XMLResults results;
        benchmark::DoNotOptimize(XMLNode::parseString(page, "nivoml", &results));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

void BM_ParseAndWalk(benchmark::State& state) {
    std::string page = MakePage(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        XMLResults results;
        benchmark::DoNotOptimize(Walk(XMLNode::parseString(page, "nivoml", &results)));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

// One element with many children: enumContents must stay linear over the loop.
void BM_WalkWideElement(benchmark::State& state) {
    std::string page = "<nivoml>";
    while (page.size() < static_cast<size_t>(state.range(0))) page += "<br/>text ";
    page += "</nivoml>";
    XMLResults results;
    XMLNode root = XMLNode::parseString(page, "nivoml", &results);
    for (auto _ : state) benchmark::DoNotOptimize(Walk(root));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

BENCHMARK(BM_ParseString)->Arg(2 * 1024)->Arg(100 * 1024);
BENCHMARK(BM_ParseAndWalk)->Arg(2 * 1024)->Arg(100 * 1024);
BENCHMARK(BM_WalkWideElement)->Arg(100 * 1024);

}  // namespace

// Cost of pushing the panel model to a register file: a full flush, and the common
// case of one text change followed by a text flush.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "panel/nivo_display.h"

namespace {

// A temporary register file, removed when the benchmark ends.
class RegisterFile {
public:
    RegisterFile() {
        char name[] = "/tmp/nivo_bench_lcd_XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        m_path = name;
    }
    ~RegisterFile() { unlink(m_path.c_str()); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

void BM_FlushAll(benchmark::State& state) {
    RegisterFile file;
    NIVO_Display display(file.Path());
    display.WriteText("Temperature", MODE_ON, 0);
    display.WriteText("21.5 C", MODE_BLINK, 11);
    display.WriteSegText("1230", MODE_ON, 0);
    display.SetCursor(14);
    for (auto _ : state) display.Flush(NIVO_Display::FLUSH_ALL);
    if (!display.IsGood()) state.SkipWithError("register file write failed");
}
BENCHMARK(BM_FlushAll);

void BM_WriteTextAndFlushText(benchmark::State& state) {
    RegisterFile file;
    NIVO_Display display(file.Path());
    int counter = 0;
    for (auto _ : state) {
        display.WriteText(std::to_string(counter++ % 1000), MODE_ON, 11);
        display.Flush(NIVO_Display::FLUSH_TEXT);
    }
    if (!display.IsGood()) state.SkipWithError("register file write failed");
}
BENCHMARK(BM_WriteTextAndFlushText);

}  // namespace

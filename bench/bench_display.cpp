// Cost of pushing the panel model to a register file: a full flush, and the common
// case of one text change followed by a text flush. The device writes per flush
// are counted through the display's write observer; BM_FlushAllLoop/N does N full
// flushes in one iteration, so that strace -c on /0 and /10000 gives the system
// calls of one flush by difference (mirror:1 with the web panel's mirror file).
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

// A panel as a menu shows it: two text lines, one blinking, the live clock, and
// (as a form shows it) the cursor.
void ShowMenu(NIVO_Display& display, bool cursor) {
    display.WriteText("Temperature", MODE_ON, 0);
    display.WriteText("21.5 C", MODE_BLINK, 11);
    display.SetTimeFormat("%H%M");
    display.SetDateFormat("%d%m%y");
    display.ShowDateTime("%d%m%y", "%H%M", MODE_ON);
    if (cursor) display.SetCursor(14);
}

void BM_FlushAll(benchmark::State& state) {
    RegisterFile file, mirror;
    NIVO_Display display(file.Path());
    ShowMenu(display, state.range(0) != 0);
    if (state.range(1) != 0) display.SetMirror(mirror.Path());  // the web panel's copy
    long writes = 0;
    display.SetWriteObserver([&writes](int, const std::string&) { ++writes; });
    for (auto _ : state) display.Flush(NIVO_Display::FLUSH_ALL);
    if (!display.IsGood()) state.SkipWithError("register file write failed");
    state.counters["writes_per_flush"] =
        static_cast<double>(writes) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FlushAll)->ArgNames({"cursor", "mirror"})->Args({0, 0})->Args({1, 0})->Args({1, 1});

void BM_FlushAllLoop(benchmark::State& state) {
    RegisterFile file, mirror;
    NIVO_Display display(file.Path());
    ShowMenu(display, true);
    if (state.range(1) != 0) display.SetMirror(mirror.Path());
    for (auto _ : state) {
        for (int64_t i = 0; i < state.range(0); ++i) display.Flush(NIVO_Display::FLUSH_ALL);
    }
    if (!display.IsGood()) state.SkipWithError("register file write failed");
}
BENCHMARK(BM_FlushAllLoop)
    ->ArgNames({"flushes", "mirror"})
    ->Args({0, 0})
    ->Args({10000, 0})
    ->Args({0, 1})
    ->Args({10000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

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

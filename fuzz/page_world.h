#pragma once
// What a page needs around it in a fuzz target: an element host that remembers
// nothing (the page's timer calls only have to be safe), a logger that formats
// and drops, and a display on a register file of its own, made once per process.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "markup/element_host.h"
#include "panel/nivo_display.h"
#include "util/logger.h"

namespace page_world {

class NullHost : public ElementHost {
public:
    void RestartTimer(long, unsigned long) override {}
    void StopTimer(unsigned long) override {}
    std::string GetCurrentDivName() override { return "x"; }
    void AutoSubmit_Form(int) override {}
    void AutoSubmit_SetDateTime(int) override {}
};

// Formats every message, so the logging paths run with the fuzzed texts, and drops it.
class DroppingLogger : public Logger {
public:
    DroppingLogger() { SetLevel(All); }

protected:
    void Write(LogLevel, const std::string&) override {}
};

inline NIVO_Display& Display() {
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

}  // namespace page_world

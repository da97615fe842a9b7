#pragma once
// Shared world of the markup tests: a display on a temporary register file,
// a recording element host, a capturing logger and a fixed wall clock.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "markup/element_host.h"
#include "markup/nivoml_body.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_mainobj.h"
#include "panel/nivo_display.h"
#include "sim/panel_decoder.h"
#include "tests/util/temp_dir.h"
#include "util/conversions.h"
#include "util/logger.h"
#include "util/time_of_day.h"
#include "util/timer.h"
#include "util/utilities.h"

// Records what elements ask of the manager; armed timers are kept by id.
class RecordingHost : public ElementHost {
public:
    void RestartTimer(long ms, unsigned long id) override { armed[id] = ms; }
    void StopTimer(unsigned long id) override { armed.erase(id); }
    std::string GetCurrentDivName() override { return currentDiv; }
    void AutoSubmit_Form(int ms) override { formSubmits.push_back(ms); }
    void AutoSubmit_SetDateTime(int ms) override { setterSubmits.push_back(ms); }
    std::map<unsigned long, long> armed;
    std::vector<int> formSubmits;
    std::vector<int> setterSubmits;
    std::string currentDiv;
};

class PageTest : public ::testing::Test {
protected:
    // 2026-12-06 12:30:00 UTC (tests run with TZ=UTC).
    static constexpr time_t kNoon = 1796560200;
    PageTest() : m_logGuard(&log), m_clock(kNoon), m_previousHost(ElementHost::s_instance) {
        TimerTarget::s_timerQueue.SetClock([] { return s_nowMs; });
        std::ofstream(m_dir.Path("lcd")).flush();
        display = std::make_unique<NIVO_Display>(m_dir.Path("lcd"));
        ElementHost::s_instance = &host;
        g_textPosition = 0;
    }
    ~PageTest() override {
        document.reset();
        ElementHost::s_instance = m_previousHost;
        TimerTarget::s_timerQueue.SetClock(nullptr);
    }
    // Parses and builds a page; false when the program would reject it.
    bool Load(const std::string& text) {
        document = std::make_unique<NivomlDocument>(text);
        return document->IsOk() && document->Build() && document->GetRoot();
    }
    NIVOML_MAINOBJ& Root() { return *document->GetRoot(); }
    // Draws the page as the manager does, flushes everything and decodes the panel.
    PanelPicture Show() {
        Root().Draw(*display);
        return Flushed();
    }
    PanelPicture Flushed() {
        display->Flush(NIVO_Display::FLUSH_ALL);
        return DecodePanelFile(m_dir.Path("lcd")).value();  // throws when unreadable
    }
    // Time passes: the wall clock and the monotonic one move together.
    void Advance(time_t seconds) {
        m_clock.Advance(seconds);
        s_nowMs += seconds * 1000;
    }
    void SetWallClock(time_t now) { m_clock.Set(now); }  // `date -s`: only the wall clock jumps
    static std::string Page(const std::string& headContent, const std::string& bodyContent) {
        return "<nivoml><head>" + headContent + "</head><body>" + bodyContent + "</body></nivoml>";
    }
    // A page whose only div "D" (the start div) holds content.
    static std::string Screen(const std::string& content) {
        return Page("<goto div='D'/>", "<div name='D'>" + content + "</div>");
    }
    // The first element of class T in the body (or list), depth first; null when there is none.
    template <class T>
    T* Find(const NIVOML_BASELISTOBJ* list = nullptr) {
        for (const auto& child : (list ? list : Root().GetBody())->Children()) {
            if (auto* found = dynamic_cast<T*>(child.get())) return found;
            auto* inner = dynamic_cast<NIVOML_BASELISTOBJ*>(child.get());
            if (T* found = inner ? Find<T>(inner) : nullptr) return found;
        }
        return nullptr;
    }
    // The commands of keys 0..7 held for the given seconds, each ended by '|'.
    std::string Bindings(double held) {
        std::string all;
        for (int key = 0; key < KeyTable::kKeys; ++key) all += Root().GetKeyTarget(key, held) + "|";
        return all;
    }
    // Modes of the LEDs power, status B, status A and display as digits.
    static std::string Leds(const PanelPicture& panel) {
        std::string modes;
        for (unsigned led = LED_POWER; led <= LED_DISPLAY; led <<= 1)
            modes += std::to_string(panel.LedMode(led));
        return modes;
    }
    // Modes of text cells from..from+len-1 as digits (0 off, 1 blink inverse, 2 blink, 3 on).
    static std::string Modes(const PanelPicture& panel, int from, int len) {
        std::string modes;
        for (int i = from; i < from + len; ++i) modes += std::to_string(panel.text[i].mode);
        return modes;
    }
    TempDir m_dir;  // first member: the display's file outlives the display
    CapturingLogger log;
    RecordingHost host;
    std::unique_ptr<NIVO_Display> display;
    std::unique_ptr<NivomlDocument> document;

private:
    static inline int64_t s_nowMs = 0;
    ScopedLogger m_logGuard;
    FakeWallClock m_clock;
    ElementHost* m_previousHost;
};

#pragma once
// Shared world of the markup tests: a display on a temporary register file,
// a recording element host, a capturing logger and a fixed wall clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "markup/element_host.h"
#include "markup/nivoml_baseobj.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_mainobj.h"
#include "panel/nivo_display.h"
#include "sim/panel_decoder.h"
#include "util/logger.h"
#include "util/time_of_day.h"

// Records what elements ask of the manager; armed timers are kept by id.
class RecordingHost : public ElementHost {
public:
    void RestartTimer(long ms, unsigned long id) override {
        armed[id] = ms;
        restarts.push_back(id);
    }
    void StopTimer(unsigned long id) override {
        armed.erase(id);
        stops.push_back(id);
    }
    std::string GetCurrentDivName() override { return currentDiv; }
    void AutoSubmit_Form(int ms) override { formSubmits.push_back(ms); }
    void AutoSubmit_SetDateTime(int ms) override { setterSubmits.push_back(ms); }

    std::map<unsigned long, long> armed;
    std::vector<unsigned long> restarts;
    std::vector<unsigned long> stops;
    std::vector<int> formSubmits;
    std::vector<int> setterSubmits;
    std::string currentDiv;
};

class PageTest : public ::testing::Test {
protected:
    // 2026-12-06 12:30:00 UTC (tests run with TZ=UTC).
    static constexpr time_t kNoon = 1796560200;

    PageTest() : m_logGuard(&log), m_clock(kNoon) {
        char dir[] = "/tmp/nivo_markup_XXXXXX";
        m_dir = mkdtemp(dir);
        m_device = m_dir + "/lcd";
        std::ofstream(m_device).flush();
        display = std::make_unique<NIVO_Display>(m_device);
        m_previousHost = ElementHost::s_instance;
        ElementHost::s_instance = &host;
        g_textPosition = 0;
    }
    ~PageTest() override {
        document.reset();
        display.reset();
        ElementHost::s_instance = m_previousHost;
        std::remove(m_device.c_str());
        rmdir(m_dir.c_str());
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
        auto picture = DecodePanelFile(m_device);
        EXPECT_TRUE(picture.has_value());
        return picture.value_or(PanelPicture{});
    }
    void Advance(time_t seconds) { m_clock.Advance(seconds); }

    // A page with a head holding headContent and a body holding bodyContent.
    static std::string Page(const std::string& headContent, const std::string& bodyContent) {
        return "<nivoml><head>" + headContent + "</head><body>" + bodyContent +
               "</body></nivoml>";
    }
    // A page whose only div "D" holds content.
    static std::string Screen(const std::string& content) {
        return Page("<goto div=\"D\"/>", "<div name=\"D\">" + content + "</div>");
    }

    CapturingLogger log;
    RecordingHost host;
    std::unique_ptr<NIVO_Display> display;
    std::unique_ptr<NivomlDocument> document;

private:
    ScopedLogger m_logGuard;
    FakeWallClock m_clock;
    ElementHost* m_previousHost = nullptr;
    std::string m_dir;
    std::string m_device;
};

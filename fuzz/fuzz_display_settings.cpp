// The settings text of a DISPLAY_SETTING form, applied to a running manager.
// Afterwards the display holds values it accepts, and the configuration file
// reads back to the display's contrast and brightness, the manager's backlight
// timeout and formats the display accepts. A text whose page to load would
// connect anywhere but port 1 of 127.0.0.1 (refused at once) is not run: no fuzz
// input may reach a server that happens to listen there.
#include <cstdint>
#include <string>

#include "fuzz/manager_world.h"
#include "net/http_text.h"
#include "panel/nivo_display.h"
#include "util/property_map.h"

namespace {

// The page the text would load: the last "sLoadPage" value, as the manager reads it.
std::string LoadPageOf(const std::string& settings) {
    std::string url;
    for (const auto& [key, value] : NIVO_Manager::SplitDisplaySettings(settings)) {
        if (key == "sLoadPage") url = value;
    }
    return url;
}

bool ConnectsElsewhere(const std::string& settings) {
    const std::string url = LoadPageOf(settings);
    std::string scheme, host, path, query;
    uint16_t port = 0;
    return !url.empty() && SplitUrl(url, scheme, host, port, path, query) && port != 1;
}

bool InRange(int value) {
    return value >= 0 && value <= 15;
}

// A page's own time or date field may show another format than the stored one.
bool Accepted(const std::string& format, const char* first, const char* second) {
    return format == first || format == second;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NIVO_Manager& manager = fuzz_world::Manager();
    const std::string settings(reinterpret_cast<const char*>(data), size);
    if (ConnectsElsewhere(settings)) return -1;  // keeps it out of the corpus

    manager.ApplyDisplaySettings(settings);

    NIVO_Display& display = manager.GetDisplay();
    if (!InRange(display.GetContrast()) || !InRange(display.GetBrightness())) __builtin_trap();
    PropertyMap config;
    if (!config.ReadFromFile(NIVO_Manager::ConfigPath())) __builtin_trap();
    if (config.GetIntValue("CONTRAST", -1) != display.GetContrast() ||
        config.GetIntValue("BRIGHTNESS", -1) != display.GetBrightness() ||
        config.GetStringValue("BACKLIGHT", "") != std::to_string(manager.GetBacklightTimeout())) {
        __builtin_trap();
    }
    // "" is the display's live clock being off.
    const std::string timeShown = display.GetTimeFormat();
    const std::string dateShown = display.GetDateFormat();
    if (!Accepted(config.GetStringValue("TIMEFORMAT", ""), "%H%M", "%I%M") ||
        !Accepted(config.GetStringValue("DATEFORMAT", ""), "%d%m%y", "%y%m%d") ||
        (!timeShown.empty() && !Accepted(timeShown, "%H%M", "%I%M")) ||
        (!dateShown.empty() && !Accepted(dateShown, "%d%m%y", "%y%m%d"))) {
        __builtin_trap();
    }
    return 0;
}

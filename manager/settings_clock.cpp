// Display settings, their configuration file, and the system clock.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "manager/nivo_manager.h"
#include "panel/nivo_display.h"
#include "util/conversions.h"
#include "util/logger.h"
#include "util/property_map.h"
#include "util/time_of_day.h"
#include "util/utilities.h"

namespace {

const char* const kDefaultTimeFormat = "%H%M";
const char* const kDefaultDateFormat = "%d%m%y";

using FormatSetter = bool (NIVO_Display::*)(const std::string&);

// Reads the configuration file. True when the map may be written back: the file
// was read, or there is none yet. A file that exists but cannot be read is
// never replaced by what little the program knows.
bool ReadConfig(PropertyMap& config) {
    const std::string path = NIVO_Manager::ConfigPath();
    if (config.ReadFromFile(path)) return true;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT) return true;
    Logger::Log(Logger::Error, "NIVO_Manager: Konfigurationsdatei %s nicht lesbar", path.c_str());
    return false;
}

// A refused format gives way to the fallback; nothing to say when both are the same.
void ApplyFormat(NIVO_Display& display, FormatSetter set, const char* key, const std::string& value,
                 const std::string& fallback) {
    if ((display.*set)(value) || value == fallback) return;
    Logger::Log(Logger::Warning, "Displayeinstellung %s=\"%s\" ung\xfcltig, nehme \"%s\".", key,
                value.c_str(), fallback.c_str());
    (display.*set)(fallback);
}

// The display's "" means its live clock is off, which is no setting to keep.
void StoreFormat(PropertyMap& config, const char* key, const std::string& format) {
    if (!format.empty()) config.SetValue(key, format);
}

}  // namespace

std::string NIVO_Manager::ConfigPath() {
    const char* path = std::getenv("NIVO_LCD_CONFIG");
    return path != nullptr && *path != '\0' ? path : "/etc/config/nivo_lcd.conf";
}

// The web panel's two doors, both shut unless the file opens them.
void NIVO_Manager::ApplyPanelAccess(const PropertyMap& config) {
    m_remoteKeys = StrToBool(config.GetStringValue("REMOTEKEYS", ""));
    m_pDisplay->SetMirror(config.GetStringValue("MIRRORFILE", ""));
}

void NIVO_Manager::ApplySettings(int backlight, int contrast, int brightness,
                                 const std::string& timeFormat, const std::string& dateFormat,
                                 const std::string& storedTime, const std::string& storedDate) {
    m_pDisplay->SetContrast(contrast);
    m_pDisplay->SetBrightness(brightness);
    ApplyFormat(*m_pDisplay, &NIVO_Display::SetTimeFormat, "TIMEFORMAT", timeFormat, storedTime);
    ApplyFormat(*m_pDisplay, &NIVO_Display::SetDateFormat, "DATEFORMAT", dateFormat, storedDate);
    m_backlightTimeout = backlight;
}

void NIVO_Manager::ReadDisplaySettings() {
    NIVO_Display& display = *m_pDisplay;
    display.Clear();
    display.Flush(NIVO_Display::FLUSH_ALL);

    PropertyMap config;
    const bool writable = ReadConfig(config);
    ApplyPanelAccess(config);
    ApplySettings(config.GetIntValue("BACKLIGHT", kDefaultBacklight),
                  config.GetIntValue("CONTRAST", kDefaultContrast),
                  config.GetIntValue("BRIGHTNESS", kDefaultBrightness),
                  config.GetStringValue("TIMEFORMAT", kDefaultTimeFormat),
                  config.GetStringValue("DATEFORMAT", kDefaultDateFormat), kDefaultTimeFormat,
                  kDefaultDateFormat);

    // What the driver took, so that a clamped or refused value is corrected in the file.
    config.SetIntValue("BACKLIGHT", m_backlightTimeout);
    config.SetIntValue("CONTRAST", display.GetContrast());
    config.SetIntValue("BRIGHTNESS", display.GetBrightness());
    StoreFormat(config, "TIMEFORMAT", display.GetTimeFormat());
    StoreFormat(config, "DATEFORMAT", display.GetDateFormat());
    if (config.IsDirty()) {
        // Missing, empty or junk settings: the program runs on defaults and says so.
        Logger::Log(Logger::Warning,
                    "NIVO_Manager: Displayeinstellungen aus %s erg\xe4nzt oder korrigiert.",
                    ConfigPath().c_str());
        if (writable) config.WriteToFile("");
    }

    ActivateBacklight();
    RequestTimer(SecondsToNextMinute() * 1000L, TIME_UPDATE);
}

// SIGUSR1. The armed timers are left alone: firing them all would submit a form
// being edited and cut short the status indications.
void NIVO_Manager::ReloadDisplaySettings() {
    NIVO_Display& display = *m_pDisplay;
    const std::string timeFormat = display.GetTimeFormat();
    const std::string dateFormat = display.GetDateFormat();
    Logger::Log(Logger::Debug, "Aktualisiere Displayeinstellungen");

    PropertyMap config;
    ReadConfig(config);
    ApplyPanelAccess(config);
    ApplySettings(config.GetIntValue("BACKLIGHT", m_backlightTimeout),
                  config.GetIntValue("CONTRAST", display.GetContrast()),
                  config.GetIntValue("BRIGHTNESS", display.GetBrightness()),
                  config.GetStringValue("TIMEFORMAT", timeFormat),
                  config.GetStringValue("DATEFORMAT", dateFormat), timeFormat, dateFormat);
    OnTimer(TIME_UPDATE);
    ActivateBacklight();
}

std::vector<std::pair<std::string, std::string>> NIVO_Manager::SplitDisplaySettings(
    const std::string& settings) {
    std::vector<std::pair<std::string, std::string>> pairs;
    size_t start = 0;
    while (start < settings.size()) {
        size_t end = settings.find(';', start);
        if (end == std::string::npos) end = settings.size();
        const std::string piece = settings.substr(start, end - start);
        start = end + 1;
        const size_t equals = piece.find('=');
        if (equals != std::string::npos)
            pairs.emplace_back(piece.substr(0, equals), piece.substr(equals + 1));
    }
    return pairs;
}

void NIVO_Manager::ApplyDisplaySettings(const std::string& settings) {
    std::string divName;
    std::string loadURL;
    for (const auto& [key, value] : SplitDisplaySettings(settings)) {
        if (key == "sDivname") {
            divName = value;
        } else if (key == "sLoadPage") {
            loadURL = value;
        } else {
            ApplyDisplaySetting(key, value);
        }
    }
    if (!loadURL.empty()) LoadNivomlPage(loadURL, divName);
}

void NIVO_Manager::ApplyDisplaySetting(const std::string& key, const std::string& value) {
    NIVO_Display& display = *m_pDisplay;
    PropertyMap config;
    const bool writable = ReadConfig(config);
    if (key == "CONTRAST") {
        display.SetContrast(StrToInt(value));
        config.SetIntValue(key, display.GetContrast());
    } else if (key == "BRIGHTNESS") {
        display.SetBrightness(StrToInt(value));
        config.SetIntValue(key, display.GetBrightness());
    } else if (key == "BACKLIGHT") {
        m_backlightTimeout = StrToInt(value);
        config.SetIntValue(key, m_backlightTimeout);
        ActivateBacklight();
    } else if (key == "TIMEFORMAT") {
        ApplyFormat(display, &NIVO_Display::SetTimeFormat, "TIMEFORMAT", value,
                    config.GetStringValue(key, kDefaultTimeFormat));
        const std::string accepted = display.GetTimeFormat();
        OnTimer(TIME_UPDATE);
        StoreFormat(config, "TIMEFORMAT", accepted);
    } else if (key == "DATEFORMAT") {
        ApplyFormat(display, &NIVO_Display::SetDateFormat, "DATEFORMAT", value,
                    config.GetStringValue(key, kDefaultDateFormat));
        const std::string accepted = display.GetDateFormat();
        OnTimer(TIME_UPDATE);
        StoreFormat(config, "DATEFORMAT", accepted);
    } else {
        Logger::Log(Logger::Error, "Displayeinstellung \"%s\" unbekannt.", key.c_str());
        return;
    }
    if (writable && config.IsDirty()) config.WriteToFile("");
}

// 64-bit time on every target (-D_TIME_BITS=64 on 32-bit ones): the clock goes past 2038.
static_assert(sizeof(time_t) >= 8, "time_t must hold dates past 2038");

// `date -s @SECONDS`: the one argument form every `date` reads the same way.
int NIVO_Manager::SetSystemClock(const std::string& day, const std::string& month,
                                 const std::string& year, const std::string& hour,
                                 const std::string& minute) {
    // One snapshot, so that a part kept from it cannot come from the next day.
    const struct tm now = LocalTimeNow();
    auto valueOr = [](const std::string& text, int current) {
        const int value = StrToInt(text);
        return value < 0 ? current : value;
    };
    const int yy = valueOr(year, now.tm_year % 100);
    const int mm = valueOr(month, now.tm_mon + 1);
    const int dd = valueOr(day, now.tm_mday);
    const int mi = valueOr(minute, now.tm_min);
    const int hh = valueOr(hour, now.tm_hour);
    char asked[64];
    std::snprintf(asked, sizeof asked, "%02d.%02d.%02d %02d:%02d", dd, mm, yy, hh, mi);

    // A unit set today lives in this century: every two-digit year is 20yy.
    struct tm wanted {};
    wanted.tm_year = 100 + yy;
    wanted.tm_mon = mm - 1;
    wanted.tm_mday = dd;
    wanted.tm_hour = hh;
    wanted.tm_min = mi;
    wanted.tm_isdst = -1;
    struct tm converted = wanted;
    const time_t seconds = yy > 99 ? -1 : std::mktime(&converted);
    // mktime moves what does not exist (31.02, 24:00, an hour skipped for summer time).
    const bool unchanged =
        converted.tm_year == wanted.tm_year && converted.tm_mon == wanted.tm_mon &&
        converted.tm_mday == wanted.tm_mday && converted.tm_hour == wanted.tm_hour &&
        converted.tm_min == wanted.tm_min && converted.tm_sec == 0;
    int result = -1;
    if (seconds < 0) {
        Logger::Log(Logger::Error, "NIVO_Manager::SetSystemClock: %s nicht darstellbar", asked);
    } else if (!unchanged) {
        Logger::Log(Logger::Error, "NIVO_Manager::SetSystemClock: %s ung\xfcltig", asked);
    } else {
        const std::string command = "date -s @" + std::to_string(static_cast<long long>(seconds));
        result = RunCommand(command, "/dev/null", "/dev/null");
        if (result != 0) {
            Logger::Log(Logger::Error, "%s", command.c_str());
            result = result > 0 ? -result : result;
        }
    }
    ActivateBacklight();
    return result;
}

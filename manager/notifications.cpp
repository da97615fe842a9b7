// UDP notifications: the queue, status reports and page events, and the
// status record shown on symbols and LEDs.
#include <algorithm>
#include <cmath>
#include <utility>

#include "manager/nivo_manager.h"
#include "manager/nivo_status.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_mainobj.h"
#include "panel/nivo_display.h"
#include "util/conversions.h"
#include "util/logger.h"
#include "util/utilities.h"

namespace {

const char* const kSourceNames[] = {"WAVD", "POWER", "LIGHTTPD", "TALVAD", "KORRANIVO"};

// An identical text handled less than this long ago waits.
constexpr int64_t kRepeatPauseMs = 1000;

// Prefix test only: UpdateStatus insists on the exact first line.
bool IsStatusReport(const std::string& text) {
    for (const char* name : kSourceNames) {
        if (text.compare(0, std::char_traits<char>::length(name), name) == 0) return true;
    }
    return false;
}

bool IsSourceName(const std::string& text) {
    return std::find(std::begin(kSourceNames), std::end(kSourceNames), text) !=
           std::end(kSourceNames);
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

// The battery gauge shown now: the first full group whose mode is not off.
unsigned ShownBatteryGroup(const NIVO_Display& display) {
    for (unsigned group : {BATT_100P, BATT_50P, BATT_0P}) {
        int mode = MODE_OFF;
        display.GetSymbolMode(group, mode);
        if (mode != MODE_OFF) return group;
    }
    return 0;
}

// The report keys that set a flag of the record straight from their value.
bool NIVO_Status::*FlagFor(const std::string& key) {
    static const std::pair<const char*, bool NIVO_Status::*> kFlags[] = {
        {"U_SOURCE_FAIL", &NIVO_Status::uSourceFail},
        {"LOWBAT", &NIVO_Status::lowBat},
        {"U_USBD_OK", &NIVO_Status::uUsbdOk},
        {"USBH_POWERFAIL", &NIVO_Status::usbhPowerFail},
        {"ALARM", &NIVO_Status::alarm},
        {"HOUSE", &NIVO_Status::house},
        {"ALERT", &NIVO_Status::alert},
        {"MAIL", &NIVO_Status::mail}};
    for (const auto& entry : kFlags) {
        if (key == entry.first) return entry.second;
    }
    return nullptr;
}

enum class PageAction { Nothing, Reload, AlarmPage, ServicePage };

PageAction ActionFor(const std::string& pageType, const std::string& text) {
    const bool reloadText = text == "RELOAD" || text == pageType;
    if (pageType == "ALARM") {
        return reloadText || text == "SERVICE" ? PageAction::Reload : PageAction::Nothing;
    }
    if (text == "ALARM") return PageAction::AlarmPage;
    if (pageType == "SERVICE") return reloadText ? PageAction::Reload : PageAction::Nothing;
    if (text == "SERVICE") return PageAction::ServicePage;
    return reloadText ? PageAction::Reload : PageAction::Nothing;
}

}  // namespace

void NIVO_Manager::PushErrorMsg(const std::string& text) {
    if (text.empty()) return;
    auto queued = std::find(m_udpQueue.begin(), m_udpQueue.end(), text);
    if (queued != m_udpQueue.end()) {
        // The newer copy tells the newer state: it takes the newest place.
        Logger::Log(Logger::Debug, "PushErrorMsg: Schon drin");
        m_udpQueue.erase(queued);
    }
    m_udpQueue.push_back(text);
    if (m_udpQueue.size() <= kMaxQueuedTexts) return;
    // A later report of a source repeats its state; a lost page event is lost for good.
    auto dropped = std::find_if(m_udpQueue.begin(), m_udpQueue.end(), IsStatusReport);
    if (dropped == m_udpQueue.end()) dropped = m_udpQueue.begin();
    Logger::Log(Logger::Warning, "PushErrorMsg: Warteschlange voll, \"%s\" verworfen",
                FirstLine(*dropped).c_str());
    m_udpQueue.erase(dropped);
}

// The oldest text, unless it has to wait; the texts behind it wait with it,
// so that reports take effect in the order they came.
void NIVO_Manager::PopErrorMsg() {
    m_udpMessage.clear();
    if (m_udpQueue.empty() || IsRecentlyHandled(m_udpQueue.front())) return;
    m_udpMessage = std::move(m_udpQueue.front());
    m_udpQueue.pop_front();
}

bool NIVO_Manager::IsRecentlyHandled(const std::string& text) const {
    return !m_lastHandledText.empty() && text == m_lastHandledText &&
           TimerTarget::s_timerQueue.NowMs() - m_lastHandledMs < kRepeatPauseMs;
}

int NIVO_Manager::MsUntilQueueDue() const {
    if (m_udpQueue.empty() || !IsRecentlyHandled(m_udpQueue.front())) return 0;
    return static_cast<int>(kRepeatPauseMs - (TimerTarget::s_timerQueue.NowMs() - m_lastHandledMs));
}

// Every status report that is due, and at most one page event; stops once a
// request is in flight.
void NIVO_Manager::HandleUdpMessages() {
    bool pageEventHandled = false;
    while (m_pendingRequest.empty() && !m_udpQueue.empty()) {
        if (pageEventHandled && !IsStatusReport(m_udpQueue.front())) return;
        PopErrorMsg();
        if (m_udpMessage.empty()) return;
        m_lastHandledText = m_udpMessage;
        m_lastHandledMs = TimerTarget::s_timerQueue.NowMs();
        Logger::Log(Logger::Debug, "Handle UDP-Message at %s", CurrentTimeText().c_str());

        if (IsStatusReport(m_udpMessage)) {
            if (UpdateStatus(m_udpMessage)) {
                ShowStatus(m_pStatus.get(), m_pDisplay.get(), true);
            } else {
                Logger::Log(Logger::Error, "Status-Update failed: %s", m_udpMessage.c_str());
            }
            m_udpMessage.clear();
            continue;
        }
        // Only an event that loads a page counts: junk must not hold up the queue.
        if (HandlePageEvent()) pageEventHandled = true;
    }
}

// The text stays in m_udpMessage: the request cycle names it when it gives up.
bool NIVO_Manager::HandlePageEvent() {
    NIVOML_MAINOBJ* root = GetRoot();
    if (root == nullptr) return false;
    Logger::Log(Logger::Debug, "Handle ErrorInProcess: %s", m_udpMessage.c_str());
    const std::string divName = root->GetCurrentDivName();
    const bool editing = root->GetFormForKey(0) != nullptr || root->GetDateTimeSetter() != nullptr;

    std::string url;
    switch (ActionFor(root->GetPageType(), m_udpMessage)) {
        case PageAction::Nothing:
            return false;
        case PageAction::Reload:
            if (editing) {
                // A reload would throw away the user's unsent edits.
                Logger::Log(Logger::Debug,
                            "HandleUdpMessages: Eingabe auf der Seite, %s nicht neu geladen",
                            m_udpMessage.c_str());
                return false;
            }
            m_drawNewPage = true;
            ReloadPage(divName);
            return true;
        case PageAction::AlarmPage:
            url = root->GetAlarmPage();
            break;
        case PageAction::ServicePage:
            url = root->GetServicePage();
            break;
    }
    m_drawNewPage = true;
    LoadNivomlPage(url, "");
    return true;
}

bool NIVO_Manager::UpdateStatus(const std::string& text) {
    if (!m_pStatus) return false;
    NIVO_Status& status = *m_pStatus;
    const std::vector<std::string> lines = SplitString(text, "\n");
    const std::string& source = lines.front();
    if (!IsSourceName(source)) return false;

    for (size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> pair = SplitString(lines[i], "=");
        if (pair.size() != 2) continue;
        const std::string& key = pair[0];
        const std::string& value = pair[1];
        if (key == "INSTALL_MODE") {
            status.installMode = StrToBool(value);
            if (status.installMode) {
                ActivateInstallMode(90000);
            } else {
                KillTimer(SET_INSTALL_MODE_OFF);
            }
        } else if (key == "REQUEST") {
            ActivateWebserverRequest(600000);
        } else if (key == "RX") {
            ActivateRadioFrequencyRX(2500);
        } else if (key == "NEW_DEVICE") {
            ActivateNewDevice(3000);
        } else if (key == "I_USBH") {
            status.iUsbh = StrToDouble(value);
        } else if (key == "BAT_LEVEL") {
            const double level = StrToDouble(value);
            if (std::isfinite(level)) status.batLevel = level;  // "nan" compares false everywhere
        } else if (key == "SERVICE") {
            status.serviceCount[source] = StrToInt(value);
        } else if (bool NIVO_Status::*flag = FlagFor(key)) {
            status.*flag = StrToBool(value);
        }
    }
    return true;
}

void NIVO_Manager::ShowStatus(NIVO_Status* status, NIVO_Display* display, bool logAndFlush) {
    if (status == nullptr || display == nullptr) return;
    int changes = 0;
    auto setLed = [&](unsigned led, int mode) {
        int before = MODE_OFF;
        display->GetLed(led, before);
        display->SetLed(led, mode);
        if (before != mode) changes |= NIVO_Display::FLUSH_LEDS;
    };
    auto setSymbol = [&](unsigned symbol, bool on) {
        int before = MODE_OFF;
        display->GetSymbolMode(symbol, before);
        const int mode = on ? MODE_ON : MODE_OFF;
        display->SetSymbols(symbol, mode);
        if (before != mode) changes |= NIVO_Display::FLUSH_SYMBOLS;
    };

    // Battery gauge.
    const unsigned groupBefore = ShownBatteryGroup(*display);
    if (status->batLevel < 0.4 || status->lowBat) {
        display->SetSymbols(BATT_0P, MODE_BLINK);
    } else if (status->batLevel <= 0.7) {
        display->SetSymbols(BATT_50P, MODE_ON);
        display->SetSymbols(BATT_S1, MODE_OFF);  // the full bar of a fuller gauge
    } else {
        display->SetSymbols(BATT_100P, MODE_ON);
    }
    if (ShownBatteryGroup(*display) != groupBefore) changes |= NIVO_Display::FLUSH_SYMBOLS;

    // Supply: on battery the backlight is limited (ActivateBacklight knows how).
    int powerBefore = MODE_OFF;
    int lightBefore = MODE_OFF;
    display->GetLed(LED_POWER, powerBefore);
    display->GetLed(LED_DISPLAY, lightBefore);
    if (!status->uSourceFail || status->uUsbdOk) {
        display->SetLed(LED_POWER, MODE_ON);
        if (lightBefore == MODE_OFF && m_backlightTimeout < 0) ActivateBacklight();
    } else {
        display->SetLed(LED_POWER, MODE_BLINK_INV);
        if (lightBefore != MODE_OFF) ActivateBacklight();
    }
    int powerAfter = MODE_OFF;
    int lightAfter = MODE_OFF;
    display->GetLed(LED_POWER, powerAfter);
    display->GetLed(LED_DISPLAY, lightAfter);
    if (powerAfter != powerBefore || lightAfter != lightBefore) {
        changes |= NIVO_Display::FLUSH_LEDS;
    }

    const bool service = status->AnyService();
    int statusB = MODE_OFF;
    if (status->newDevice) {
        statusB = status->installMode || !service ? MODE_ON : MODE_OFF;
    } else if (status->installMode) {
        statusB = MODE_BLINK_INV;
    } else if (service) {
        statusB = MODE_ON;
    }
    setLed(LED_STATUS_B, statusB);
    setLed(LED_STATUS_A, status->alarm ? MODE_ON : MODE_OFF);

    setSymbol(HOUSE, status->house);
    setSymbol(ALERT, status->alert);
    setSymbol(MAIL, status->mail);
    setSymbol(RADIO, status->rx);
    setSymbol(ETHERNET, status->webSrvReq);

    if (!logAndFlush) return;  // the caller flushes everything
    if (changes != 0) {
        Logger::Log(Logger::Debug,
                    "U_SOURCE_FAIL:%s LOWBAT:%s U_USBD_OK:%s USBH_POWERFAIL:%s I_USBH:%fA "
                    "BAT_LEVEL:%f%% INSTALL_MODE:%s NEW_DEVICE:%s RX:%s WEBSRVREQ:%s ALARM:%s "
                    "SERVICE:%s HOUSE:%s ALERT:%s MAIL:%s",
                    BoolToStr(status->uSourceFail).c_str(), BoolToStr(status->lowBat).c_str(),
                    BoolToStr(status->uUsbdOk).c_str(), BoolToStr(status->usbhPowerFail).c_str(),
                    status->iUsbh, status->batLevel * 100.0, BoolToStr(status->installMode).c_str(),
                    BoolToStr(status->newDevice).c_str(), BoolToStr(status->rx).c_str(),
                    BoolToStr(status->webSrvReq).c_str(), BoolToStr(status->alarm).c_str(),
                    BoolToStr(service).c_str(), BoolToStr(status->house).c_str(),
                    BoolToStr(status->alert).c_str(), BoolToStr(status->mail).c_str());
    }
    display->Flush(changes);
}

// Everything the panel does later rather than now: backlight off, the end of an
// information message, please-wait, resending, automatic submission, the
// short-lived status indications, the clock's minute and the page's own timers.
#include <climits>
#include <cstdint>

#include "manager/nivo_manager.h"
#include "manager/nivo_status.h"
#include "markup/nivoml_mainobj.h"
#include "panel/lcd_keys.h"
#include "panel/nivo_display.h"
#include "util/logger.h"
#include "util/utilities.h"

namespace {
// RequestTimer takes a long, which is 32 bits on the unit.
constexpr int64_t kLongestTimerMs = INT32_MAX;

const char* TimerName(unsigned long id) {
    static const char* const kNames[] = {
        "LED_DISPLAY_BACKLIGHTOFF", "INFO_MSG_NIVO_OFF",  "AUTO_SUBMIT_FORM_EXEC",
        "AUTO_SUBMIT_SETDATETIME_EXEC", "SET_BITS_WRITE_SOCKET", nullptr,
        "SET_INSTALL_MODE_OFF",     "SET_RX_OFF",         "SET_NEW_DEVICE_OFF",
        "SET_WEBSRVREQ_OFF",        "SET_PLEASEWAIT",     "REMOTE_KEY_RELEASE"};
    return id < sizeof kNames / sizeof kNames[0] ? kNames[id] : nullptr;
}
}  // namespace

void NIVO_Manager::OnTimer(unsigned long id) {
    if (id >= g_cookieBase) {
        Logger::Log(Logger::Debug, "AUTOSWITCH Cookie: %i", static_cast<int>(id));
    } else if (const char* name = TimerName(id)) {
        Logger::Log(Logger::Debug, "%s", name);
    }
    int flushMask = 0;
    switch (id) {
        case LED_DISPLAY_BACKLIGHTOFF:
            m_pDisplay->SetLed(LED_DISPLAY, MODE_OFF);
            m_pDisplay->Flush(NIVO_Display::FLUSH_LEDS);
            return;
        case INFO_MSG_NIVO_OFF:
            m_pDisplay->EndMessage();
            if (NIVOML_MAINOBJ* root = GetRoot()) {
                if (root->GetFormForKey(0) || root->GetDateTimeSetter()) {
                    // A redraw would reset what the user entered: the page comes
                    // back as it stands under the message, its timers started again.
                    root->StartTimers();
                } else {
                    root->Draw(*m_pDisplay);
                    // The page's redraw must not take the status LEDs and symbols with it.
                    ShowStatus(m_pStatus.get(), m_pDisplay.get(), false);
                }
            }
            m_pDisplay->Flush(NIVO_Display::FLUSH_ALL);
            return;
        case AUTO_SUBMIT_FORM_EXEC:
        case AUTO_SUBMIT_SETDATETIME_EXEC:
            if (!m_pendingRequest.empty()) {
                RequestTimer(kInFlightRetryMs, id);  // one request at a time
                return;
            }
            HandleKey(0, flushMask, id == AUTO_SUBMIT_FORM_EXEC ? "?submit" : "!submit");
            m_pDisplay->Flush(flushMask);
            return;
        case SET_BITS_WRITE_SOCKET:
            if (!m_pendingRequest.empty() && !(m_channelFlags & FLAG_READ_SOCKET)) {
                m_channelFlags |= FLAG_WRITE_SOCKET;
            }
            return;
        case TIME_UPDATE:
            RequestTimer(SecondsToNextMinute() * 1000L, TIME_UPDATE);
            if (m_pDisplay->IsTimeLive() || m_pDisplay->IsDateLive()) {
                m_pDisplay->Flush(NIVO_Display::FLUSH_SEGMENTS);
            }
            return;
        case SET_INSTALL_MODE_OFF:
            m_pStatus->installMode = false;
            ShowStatus(m_pStatus.get(), m_pDisplay.get(), true);
            return;
        case SET_RX_OFF:
            m_pStatus->rx = false;
            ShowStatus(m_pStatus.get(), m_pDisplay.get(), true);
            return;
        case SET_NEW_DEVICE_OFF:
            m_pStatus->newDevice = false;
            ShowStatus(m_pStatus.get(), m_pDisplay.get(), true);
            return;
        case SET_WEBSRVREQ_OFF:
            m_pStatus->webSrvReq = false;
            ShowStatus(m_pStatus.get(), m_pDisplay.get(), true);
            return;
        case REMOTE_KEY_RELEASE:
            m_pKeys->Inject(0);
            DispatchKeys(flushMask);
            m_pDisplay->Flush(flushMask);
            return;
        case SET_PLEASEWAIT:
            if (!m_pendingRequest.empty()) {
                ActivatePleaseWait(10000, flushMask);
                m_pDisplay->Flush(flushMask);
            }
            return;
        default:
            break;
    }
    if (id < g_cookieBase) return;
    NIVOML_MAINOBJ* root = GetRoot();
    std::string target;
    int key = 0;
    if (!root || !root->OnTimer(id, target, key)) return;
    // A redraw of the div may run now; anything that would start a request waits.
    if (!m_pendingRequest.empty() && (target.empty() || target[0] != '#')) {
        RequestTimer(kInFlightRetryMs, id);
        return;
    }
    HandleKey(key, flushMask, target);
    m_pDisplay->Flush(flushMask);
}

void NIVO_Manager::ActivateBacklight() {
    int seconds = m_backlightTimeout;
    // On battery the light stays at most 2 s (also when it is meant to stay on).
    if (m_pStatus->uSourceFail && static_cast<unsigned>(seconds) >= 2u) seconds = 2;
    Logger::Log(Logger::Debug, "ActivateBacklight(): %i", seconds);
    KillTimer(LED_DISPLAY_BACKLIGHTOFF);
    if (seconds != 0) {
        m_pDisplay->SetLed(LED_DISPLAY, MODE_ON);
        if (seconds > 0) {
            const int64_t ms = static_cast<int64_t>(seconds) * 1000;
            RequestTimer(static_cast<long>(ms < kLongestTimerMs ? ms : kLongestTimerMs),
                         LED_DISPLAY_BACKLIGHTOFF);
        }
    } else {
        m_pDisplay->SetLed(LED_DISPLAY, MODE_OFF);
    }
    m_pDisplay->Flush(NIVO_Display::FLUSH_LEDS);
}

void NIVO_Manager::ActivateInfoMsgNivo(const std::string& text, int ms, int& flushMask) {
    if (ms < 1) return;
    Logger::Log(Logger::Debug, "ActivateInfoMsgNivo(): %i", ms);
    KillTimer(INFO_MSG_NIVO_OFF);
    m_pDisplay->ShowMessage(text);
    flushMask |= NIVO_Display::FLUSH_TEXT;
    RequestTimer(ms, INFO_MSG_NIVO_OFF);
}

void NIVO_Manager::ActivatePleaseWait(int ms, int& flushMask) {
    Logger::Log(Logger::Debug, "ActivatePleaseWait() for <= %i ms.", ms);
    ActivateInfoMsgNivo("Please     wait...   \x9E", ms, flushMask);
}

void NIVO_Manager::PreparePleaseWaitMsg(int ms) {
    Logger::Log(Logger::Debug, "PreparePleaseWaitMsg() in %i ms.", ms);
    RestartTimer(ms, SET_PLEASEWAIT);
}

void NIVO_Manager::ActivateSetBitsWriteSocket(int ms) {
    if (ms < 1) return;
    Logger::Log(Logger::Debug, "ActivateSetBitsWriteSocket(): %i", ms);
    RestartTimer(ms, SET_BITS_WRITE_SOCKET);
}

void NIVO_Manager::ActivateInstallMode(int ms) {
    Logger::Log(Logger::Debug, "ActivateInstallMode(): %i", ms);
    RestartTimer(ms, SET_INSTALL_MODE_OFF);
}

void NIVO_Manager::ActivateRadioFrequencyRX(int ms) {
    Logger::Log(Logger::Debug, "ActivateRadioFrequencyRX(): %i", ms);
    m_pStatus->rx = true;
    RestartTimer(ms, SET_RX_OFF);
}

void NIVO_Manager::ActivateWebserverRequest(int ms) {
    Logger::Log(Logger::Debug, "ActivateWebserverRequest(): %i", ms);
    m_pStatus->webSrvReq = true;
    RestartTimer(ms, SET_WEBSRVREQ_OFF);
}

void NIVO_Manager::ActivateNewDevice(int ms) {
    Logger::Log(Logger::Debug, "ActivateNewDevice(): %i", ms);
    m_pStatus->newDevice = true;
    RestartTimer(ms, SET_NEW_DEVICE_OFF);
}

void NIVO_Manager::AutoSubmit_Form(int ms) {
    Logger::Log(Logger::Debug, "AutoSubmit_Form(): %i", ms);
    RestartTimer(ms, AUTO_SUBMIT_FORM_EXEC);
}

void NIVO_Manager::AutoSubmit_SetDateTime(int ms) {
    Logger::Log(Logger::Debug, "AutoSubmit_SetDateTime(): %i", ms);
    RestartTimer(ms, AUTO_SUBMIT_SETDATETIME_EXEC);
}

void NIVO_Manager::KillAutoTimers(bool cookies) {
    KillTimer(AUTO_SUBMIT_FORM_EXEC);
    KillTimer(AUTO_SUBMIT_SETDATETIME_EXEC);
    if (cookies) KillTimersIntervall(g_cookieBase, 0x7fffffff);
}

void NIVO_Manager::RestartTimer(long ms, unsigned long id) {
    KillTimer(id);
    RequestTimer(ms, id);
}

void NIVO_Manager::StopTimer(unsigned long id) {
    KillTimer(id);
}

void NIVO_Manager::EndInfoMessage(int& flushMask) {
    KillTimer(INFO_MSG_NIVO_OFF);
    if (!m_pDisplay->IsMessageShown()) return;
    m_pDisplay->EndMessage();
    flushMask |= NIVO_Display::FLUSH_TEXT;
}

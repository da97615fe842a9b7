// The one place where commands are interpreted: a key's binding, or a command
// from a timer, becomes a link, a form or setter action or a page request.
#include <algorithm>
#include <cstdio>

#include "manager/nivo_manager.h"
#include "manager/nivo_status.h"
#include "markup/nivoml_form.h"
#include "markup/nivoml_mainobj.h"
#include "markup/nivoml_setdatetimeobj.h"
#include "panel/lcd_keys.h"
#include "panel/nivo_display.h"
#include "util/conversions.h"
#include "util/logger.h"
#include "util/utilities.h"

namespace {
std::string TwoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}
}  // namespace

void NIVO_Manager::HandleKey(int key, int& flushMask, const std::string& command) {
    // The panel has three keys: codes above 7 come from no key of ours.
    if (command.empty() && (key < 0 || key > 7)) return;
    NIVOML_MAINOBJ* root = GetRoot();
    if (!root) return;
    const double held = m_pKeys->GetHoldTime(static_cast<unsigned>(key));
    const std::string target = command.empty() ? root->GetKeyTarget(key, held) : command;
    if (target.empty()) return;

    if (target[0] == '#') {
        const bool otherDiv = target != "#" + root->GetCurrentDivName();
        KillAutoTimers(otherDiv);
        Logger::Log(Logger::Debug, "Interner LINK");
        root->ShowDiv(target.substr(1));
        root->Draw(*m_pDisplay);
        ShowStatus(m_pStatus.get(), m_pDisplay.get(), false);
        flushMask |= NIVO_Display::FLUSH_ALL;
        if (otherDiv && m_pKeys->GetState() != 0) m_keysLatched = true;
    } else if (target[0] == '?') {
        HandleFormCommand(key, flushMask, target);
    } else if (target[0] == '!') {
        HandleSetterCommand(flushMask, target);
    } else {
        KillAutoTimers(true);
        Logger::Log(Logger::Debug, "Externer LINK");
        LoadNivomlPage(target, "");
    }
}

void NIVO_Manager::HandleFormCommand(int key, int& flushMask, const std::string& command) {
    KillAutoTimers(true);
    NIVOML_FORM* form = GetRoot()->GetFormForKey(key);
    if (!form) return;
    NIVO_Display& display = *m_pDisplay;
    if (command == "?submit") {
        Logger::Log(Logger::Debug, "SUBMIT");
        if (form->GetAction() == "DISPLAY_SETTING") {
            ApplyDisplaySettings(form->GetValues(display));
            return;
        }
        const bool showAnswer = form->IsReloadAfterSubmit();
        m_requestedURL.clear();  // the form's answer page is reloaded from the page's URL
        SendString(form->BuildRequest(display, DisplaySettingsQuery("")), form->GetPort());
        if (!m_pendingRequest.empty()) m_formAnswerNotShown = !showAnswer;
    } else if (command == "?reset") {
        Logger::Log(Logger::Debug, "RESET");
        form->ResetControls();
        form->Draw(display);
        flushMask |= NIVO_Display::FLUSH_TEXT;
    } else if (command == "?inccursor") {
        Logger::Log(Logger::Debug, "INCCURSOR");
        form->IncCursor(display);
        flushMask |= NIVO_Display::FLUSH_TEXT;
    } else if (command == "?incdata" || command == "?decdata") {
        const bool increase = command == "?incdata";
        Logger::Log(Logger::Debug, increase ? "INCDATA" : "DECDATA");
        if (increase) {
            form->IncData(display);
        } else {
            form->DecData(display);
        }
        if (form->GetAutoSubmit() > 0) AutoSubmit_Form(form->GetAutoSubmit());
        flushMask |= NIVO_Display::FLUSH_TEXT;
    }
}

void NIVO_Manager::HandleSetterCommand(int& flushMask, const std::string& command) {
    KillAutoTimers(false);
    NIVOML_SETDATETIMEOBJ* setter = GetRoot()->GetDateTimeSetter();
    if (!setter) return;
    NIVO_Display& display = *m_pDisplay;
    if (command == "!inccursor") {
        Logger::Log(Logger::Debug, "INCCURSOR");
        setter->IncCursor(display);
        flushMask |= NIVO_Display::FLUSH_SEGMENTS;
    } else if (command == "!incdata" || command == "!decdata") {
        const bool increase = command == "!incdata";
        Logger::Log(Logger::Debug, increase ? "INCDATA" : "DECDATA");
        if (increase) {
            setter->IncData(display);
        } else {
            setter->DecData(display);
        }
        if (setter->GetAutosubmit() > 0) AutoSubmit_SetDateTime(setter->GetAutosubmit());
        flushMask |= NIVO_Display::FLUSH_SEGMENTS | NIVO_Display::FLUSH_SYMBOLS;
    } else if (command == "!submit") {
        Logger::Log(Logger::Debug, "SUBMIT");
        SubmitSetter(*setter, flushMask);
    }
}

// Sets the clock from what the setter shows, then follows its goto target.
void NIVO_Manager::SubmitSetter(NIVOML_SETDATETIMEOBJ& setter, int& flushMask) {
    NIVO_Display& display = *m_pDisplay;
    const std::string day = TwoDigits(setter.GetDay(display));
    const std::string month = TwoDigits(setter.GetMonth(display));
    const std::string year = TwoDigits(setter.GetYear(display));
    const std::string minute = TwoDigits(setter.GetMinute(display));
    const std::string hour = TwoDigits(setter.GetHour(display));  // already 0..23
    const std::string tag = setter.GetName();
    const std::string gotoTarget = setter.GetGoto();

    int result = 0;
    if (tag == "setdatetime") {
        result = SetSystemClock(day, month, year, hour, minute);
    } else if (tag == "settime") {
        result = SetSystemClock("-1", "-1", "-1", hour, minute);
    } else {
        result = SetSystemClock(day, month, year, "-1", "-1");
    }
    if (!gotoTarget.empty() && gotoTarget[0] == '!') {
        // "!submit" as its own goto would submit again and again.
        Logger::Log(Logger::Warning, "NIVO_Manager::HandleKey: Sprungziel ignoriert: %s",
                    EscapeForLog(gotoTarget, 256).c_str());
    } else if (!gotoTarget.empty()) {
        HandleKey(0, flushMask, gotoTarget);
    }
    if (result < 0) ActivateInfoMsgNivo("Failure", 2002, flushMask);
}

namespace {
const char* const kRemoteSource = "WEBPANEL";
constexpr int kLongestRemoteHoldMs = 60000;
}  // namespace

bool NIVO_Manager::IsRemotePress(const std::string& text) {
    const size_t end = text.find_first_of("\r\n");
    return text.compare(0, end, kRemoteSource) == 0;
}

void NIVO_Manager::PressRemoteKey(const std::string& text, int& flushMask) {
    int key = -1;
    int holdMs = -1;
    bool valid = true;
    const std::vector<std::string> lines = SplitString(text, "\n");
    for (size_t i = 1; i < lines.size() && valid; ++i) {
        std::string line = lines[i];
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() && i + 1 == lines.size()) break;  // a closing line feed
        const size_t equals = line.find('=');
        const std::string name = line.substr(0, equals);
        const int value = equals == std::string::npos
                              ? -1
                              : DecimalInRange(line.substr(equals + 1), kLongestRemoteHoldMs);
        if (name == "KEY" && key < 0) {
            key = value;
        } else if (name == "HOLD" && holdMs < 0) {
            holdMs = value;
        } else {
            valid = false;
        }
    }
    if (!valid || key < 1 || key > 7 || holdMs < 0) {
        Logger::Log(Logger::Warning, "NIVO_Manager: Tastendruck ungueltig: %s",
                    EscapeForLog(text, 256).c_str());
        return;
    }
    if (IsTimerArmed(REMOTE_KEY_RELEASE)) {  // the press before lets go first
        KillTimer(REMOTE_KEY_RELEASE);
        m_pKeys->Inject(0);
    }
    m_pKeys->Inject(static_cast<unsigned char>(key));
    DispatchKeys(flushMask);
    RequestTimer(std::max(holdMs, 1), REMOTE_KEY_RELEASE);
}

#include "markup/nivoml_form.h"

#include <cstring>

#include "markup/element_factory.h"
#include "markup/element_host.h"
#include "markup/nivoml_input.h"
#include "net/http_text.h"
#include "util/conversions.h"
#include "util/logger.h"
#include "util/utilities.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_FORM)

namespace {
const char* const kDisplaySetting = "DISPLAY_SETTING";

// Pairs of a GET request travel in the query: a literal '%' or '+' typed on the
// panel must not turn into an escape or a blank on the server's side, nor an
// '&', '=' or '#' into another pair or the end of the query. Blanks and '"' are
// encoded once the pairs are joined.
std::string EscapeQueryText(const std::string& text) {
    std::string out = text;
    ReplaceAll(out, "%", "%25");
    ReplaceAll(out, "+", "%2B");
    ReplaceAll(out, "&", "%26");
    ReplaceAll(out, "=", "%3D");
    ReplaceAll(out, "#", "%23");
    return out;
}
}  // namespace

bool NIVOML_FORM::IsTag(const char* tag) {
    return std::strcmp(tag, "form") == 0;
}

NIVOML_FORM::NIVOML_FORM() {
    m_name = "form";
}

bool NIVOML_FORM::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    if (auto action = node.getAttribute("action")) m_action = *action;
    if (auto method = node.getAttribute("method")) m_method = *method;
    if (auto enctype = node.getAttribute("enctype")) m_enctype = *enctype;
    if (auto autosubmit = node.getAttribute("autosubmit")) m_autosubmit = StrToInt(*autosubmit);
    if (m_autosubmit < 0) m_autosubmit = 0;
    m_reload = !node.isAttributeSet("dontreload");

    ToUpper(m_method);
    if (m_method != "GET" && m_method != "POST") return false;
    if (m_action != kDisplaySetting) {
        std::string scheme, host, query;
        const std::string url = m_action;
        if (!SplitUrl(url, scheme, host, m_port, m_action, query)) {
            Logger::Log(Logger::Error,
                        "NIVOML_FORM: Port ung\xfc"
                        "ltig: %s",
                        url.c_str());
            return false;
        }
    }
    return NIVOML_BASELISTOBJ::InitFromNivoml(node);
}

void NIVOML_FORM::Draw(NIVO_Display& display) {
    ResetControls();
    NIVOML_BASELISTOBJ::Draw(display);
    NextControl(true);
    if (m_focus) AfterIncCursor(display, m_focus->IncCursor(display));
}

void NIVOML_FORM::ResetControls() {
    for (auto& child : m_children) {
        if (auto* control = dynamic_cast<NIVOML_FORMOBJ*>(child.get())) control->ResetCursor();
    }
}

void NIVOML_FORM::IncCursor(NIVO_Display& display) {
    if (m_focus) AfterIncCursor(display, m_focus->IncCursor(display));
}

// -2: the control wants the form sent now; -1: the cursor left it, so the next
// control takes the focus and its first editable position (one retry only).
void NIVOML_FORM::AfterIncCursor(NIVO_Display& display, int result) {
    if (result == -2) {
        if (ElementHost::s_instance) ElementHost::s_instance->AutoSubmit_Form(1);
    } else if (result == -1) {
        NextControl(false);
        if (m_focus) m_focus->IncCursor(display);
    }
}

void NIVOML_FORM::IncData(NIVO_Display& display) {
    ChangeData(display, true);
}

void NIVOML_FORM::DecData(NIVO_Display& display) {
    ChangeData(display, false);
}

// A radio button clears its group first and hands the cursor on afterwards.
void NIVOML_FORM::ChangeData(NIVO_Display& display, bool increase) {
    if (!m_focus) return;
    const bool radio = m_focus->GetType() == "radio";
    if (radio) ClearRadioGroup(display, m_focus->GetControlName());
    if (increase) {
        m_focus->IncData(display);
    } else {
        m_focus->DecData(display);
    }
    if (radio) IncCursor(display);
}

void NIVOML_FORM::ClearRadioGroup(NIVO_Display& display, const std::string& groupName) {
    for (auto& child : m_children) {
        auto* input = dynamic_cast<NIVOML_INPUT*>(child.get());
        if (input && input->GetType() == "radio" && input->GetControlName() == groupName) {
            input->Uncheck();
            input->Draw(display);
        }
    }
}

std::vector<NIVOML_FORMOBJ*> NIVOML_FORM::GetControls(bool includeHidden) const {
    std::vector<NIVOML_FORMOBJ*> controls;
    for (const auto& child : m_children) {
        auto* control = dynamic_cast<NIVOML_FORMOBJ*>(child.get());
        if (!control || NIVOML_INPUT::IsCommandType(control->GetType())) continue;
        if (!includeHidden && control->GetType() == "hidden") continue;
        controls.push_back(control);
    }
    return controls;
}

void NIVOML_FORM::NextControl(bool restart) {
    const std::vector<NIVOML_FORMOBJ*> controls = GetControls(false);
    if (controls.empty()) {
        m_focus = nullptr;
        return;
    }
    const int count = static_cast<int>(controls.size());
    if (restart || m_focusIndex >= count) m_focusIndex = 0;
    m_focus = controls[m_focusIndex];
    if (++m_focusIndex >= count) m_focusIndex = 0;
}

void NIVOML_FORM::AddToKeyTable(KeyTable& table) {
    for (const auto& child : m_children) {
        auto* input = dynamic_cast<NIVOML_INPUT*>(child.get());
        if (!input || !NIVOML_INPUT::IsCommandType(input->GetType())) continue;
        if (KeyTable::IsKey(input->GetKey()))
            table.targets[input->GetKey()] = "?" + input->GetType();
    }
}

std::string NIVOML_FORM::GetValues(NIVO_Display& display) {
    std::string result;
    for (NIVOML_FORMOBJ* control : GetControls(true)) {
        const std::string value = control->GetValue(display);
        if (!value.empty()) result += control->GetControlName() + "=" + value + ";";
    }
    return result;
}

std::string NIVOML_FORM::BuildRequest(NIVO_Display& display, const std::string& tail) {
    std::string escapedTail = tail;
    EncodeUrlText(escapedTail);
    const std::vector<NIVOML_FORMOBJ*> controls = GetControls(true);
    if (controls.empty()) return "";

    const bool post = m_method == "POST";
    const std::string separator = post ? "\r\n" : "&";
    std::string pairs;
    for (NIVOML_FORMOBJ* control : controls) {
        const std::string value = control->GetValue(display);
        if (value.empty()) continue;
        if (post) {
            pairs += control->GetControlName() + "=" + value + separator;
        } else {
            pairs += EscapeQueryText(control->GetControlName()) + "=" +
                     EscapeQueryText(value) + separator;
        }
    }
    if (!post) {
        if (!pairs.empty()) pairs.pop_back();
        EncodeUrlText(pairs);
        return m_method + " " + m_action + "?" + pairs + escapedTail + " HTTP/1.0\r\n\r\n";
    }
    // Content-Length counts the pairs only; the tail rides behind them.
    return m_method + " " + m_action + " HTTP/1.0\r\nContent-Type: " + m_enctype +
           "\r\nContent-Length: " + IntToStr(static_cast<int>(pairs.size())) + "\r\n\r\n" + pairs +
           escapedTail;
}

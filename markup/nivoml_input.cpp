#include "markup/nivoml_input.h"

#include <cstring>

#include "markup/element_factory.h"
#include "panel/nivo_display.h"
#include "util/conversions.h"
#include "util/logger.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_INPUT)

bool NIVOML_INPUT::IsTag(const char* tag) {
    return std::strcmp(tag, "input") == 0;
}

bool NIVOML_INPUT::IsCommandType(const std::string& type) {
    return type == "submit" || type == "reset" || type == "inccursor" || type == "incdata" ||
           type == "decdata";
}

std::string NIVOML_INPUT::CharacterCycle(int bits, int rangeDigit) {
    std::string cycle;
    if (bits & MASK_DIGITS) {
        const int digits = rangeDigit < 0 ? 1 : (rangeDigit > 9 ? 10 : rangeDigit + 1);
        cycle += std::string("0123456789").substr(0, digits);
    }
    if (bits & MASK_LOWER) cycle += "abcdefghijklmnopqrstuvwxyz";
    if (bits & MASK_UPPER) cycle += "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    if (bits & MASK_SIGNS) cycle += "+-*/_";
    if (bits & MASK_BLANK) cycle += " ";
    if (bits & MASK_CHECKBOX) cycle += {CHECKBOX_ON, CHECKBOX_OFF};
    if (bits & MASK_RADIO) cycle += RADIO_ON;
    return cycle;
}

NIVOML_INPUT::NIVOML_INPUT() {
    m_name = "input";
}

bool NIVOML_INPUT::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    const bool nameOk = NIVOML_FORMOBJ::InitFromNivoml(node);
    m_checked = node.isAttributeSet("checked");
    std::string maskText;
    if (auto type = node.getAttribute("type")) m_type = *type;
    if (auto value = node.getAttribute("value")) m_value = *value;
    if (auto range = node.getAttribute("range")) m_range = *range;
    if (auto mask = node.getAttribute("mask")) maskText = *mask;
    if (auto key = node.getAttribute("key")) m_key = StrToInt(*key);

    if (IsEditable()) {
        Logger::Log(Logger::Debug,
                    "Achtung! Der Input-Typ '%s' wird noch mit Cursor anstatt blinkenden Text "
                    "eingegeben.",
                    m_type.c_str());
    }
    if (m_type == "hidden" && nameOk) return !m_value.empty();
    if (IsCommandType(m_type)) return m_key != 0;
    if (!nameOk) return false;
    if (m_type == "text") return InitTextField(maskText);
    if (m_type == "checkbox") {
        InitStateField(MASK_CHECKBOX);
        return true;
    }
    if (m_type == "radio") {
        InitStateField(MASK_RADIO);
        return true;
    }
    return false;
}

bool NIVOML_INPUT::InitTextField(const std::string& maskText) {
    if (!maskText.empty()) {
        std::vector<std::string> pieces = SplitString(maskText, ",");
        if (pieces.back().empty()) pieces.pop_back();  // a trailing comma adds no entry
        for (const std::string& piece : pieces) m_mask.push_back(StrToInt(piece));
    }
    const int valueLength = static_cast<int>(m_value.size());
    if (static_cast<int>(m_mask.size()) != valueLength) {
        Logger::Log(Logger::Warning,
                    "Die Maskenl\xe4nge (%i) und Valuel\xe4nge (%i) sind unterschiedlich.",
                    static_cast<int>(m_mask.size()), valueLength);
    }
    m_mask.resize(m_value.size(), 0);
    m_initialValue = m_value;
    return !m_value.empty();
}

// Check boxes and radio buttons: the page value is fixed, only the state cell edits.
void NIVOML_INPUT::InitStateField(int stateBit) {
    m_initialValue = m_value;
    m_mask.assign(m_value.size(), 0);
    m_mask.push_back(stateBit);
    ResetCursor();
}

bool NIVOML_INPUT::IsEditable() const {
    return m_type == "text" || m_type == "checkbox" || m_type == "radio";
}

void NIVOML_INPUT::Draw(NIVO_Display& display) {
    if (IsEditable()) display.WriteText(m_value, m_mode, m_position);
}

int NIVOML_INPUT::GetWidth() const {
    return IsEditable() ? static_cast<int>(m_mask.size()) : 0;
}

std::string NIVOML_INPUT::GetValue(NIVO_Display& display) {
    if (m_type == "hidden") return m_value;
    if (m_type == "text") return display.GetText(m_position, static_cast<int>(m_mask.size()));
    if (m_type == "radio" && StateShown(display, RADIO_ON)) return m_initialValue;
    if (m_type == "checkbox" && StateShown(display, CHECKBOX_ON)) return m_initialValue;
    return "";
}

bool NIVOML_INPUT::StateShown(NIVO_Display& display, char onCharacter) const {
    if (m_mask.empty() || m_value.empty()) return false;
    char ch = 0;
    int mode = 0;
    display.GetTextCharAt(m_position + GetWidth() - 1, ch, mode);
    return ch == onCharacter;
}

void NIVOML_INPUT::ResetCursor() {
    if (m_type == "text") m_value = m_initialValue;
    if (m_type == "checkbox") m_value = m_initialValue + (m_checked ? CHECKBOX_ON : CHECKBOX_OFF);
    if (m_type == "radio") m_value = m_initialValue + (m_checked ? RADIO_ON : RADIO_OFF);
    m_cursor = -1;
}

int NIVOML_INPUT::IncCursor(NIVO_Display& display) {
    if (!IsEditable() || m_mask.empty()) return -1;
    const int size = static_cast<int>(m_mask.size());
    do {
        ++m_cursor;
    } while (m_cursor < size && m_mask[m_cursor] == 0);
    if (m_cursor < size) {
        display.SetCursor(m_position + m_cursor);
    } else {
        m_cursor = -1;
        display.SetCursor(m_position);
    }
    return m_cursor;
}

void NIVOML_INPUT::IncData(NIVO_Display& display) {
    int column = -1;
    int bits = -1;
    int rangeDigit = 9;
    if (m_type == "text") {
        column = m_cursor;
        if (m_cursor >= 0 && m_cursor < static_cast<int>(m_mask.size())) bits = m_mask[m_cursor];
        if (m_cursor >= 0 && m_cursor < static_cast<int>(m_range.size())) {
            rangeDigit = StrToInt(m_range[m_cursor]);
        }
    } else if (m_type == "checkbox" || m_type == "radio") {
        column = GetWidth() - 1;
        bits = m_type == "checkbox" ? MASK_CHECKBOX : MASK_RADIO;
    }
    if (bits < 0 || column < 0 || column >= static_cast<int>(m_value.size())) return;

    char ch = 0;
    int mode = 0;
    display.GetTextCharAt(m_position + column, ch, mode);
    const std::string cycle = CharacterCycle(bits, rangeDigit);
    if (cycle.empty()) return;
    const std::string::size_type at = cycle.find(ch);
    const char next =
        (at == std::string::npos || at + 1 == cycle.size()) ? cycle[0] : cycle[at + 1];
    if (next == ch) return;
    // A blank cell reads as switched off; the new character takes the control's own mode.
    if (mode == MODE_OFF) mode = m_mode;
    m_value[column] = next;
    display.WriteText(std::string(1, next), mode, m_position + column);
}

void NIVOML_INPUT::Uncheck() {
    m_value = m_initialValue + RADIO_OFF;
}

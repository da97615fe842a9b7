#include "markup/nivoml_setdatetimeobj.h"

#include <cstring>
#include <utility>

#include "markup/element_host.h"
#include "panel/nivo_display.h"
#include "util/conversions.h"
#include "util/utilities.h"
#include "util/xml_node.h"

namespace {

struct FieldLimits {
    const char* field;
    int minimum;
    int maximum;
};

// The day runs to 31 whatever the month; setting the clock checks the date.
constexpr FieldLimits kLimits[] = {{"%d", 1, 31}, {"%m", 1, 12}, {"%y", 0, 99},
                                   {"%H", 0, 23}, {"%I", 1, 12}, {"%M", 0, 59}};

const FieldLimits* LimitsOf(const std::string& field) {
    for (const FieldLimits& limits : kLimits) {
        if (field == limits.field) return &limits;
    }
    return nullptr;
}

int ReadTwoDigits(const NIVO_Display& display, int pos) {
    return StrToInt(display.GetSegText(pos, pos + 2));
}

std::string TwoDigits(int value) {
    return (value < 10 ? "0" : "") + IntToStr(value);
}

bool IsOn(const NIVO_Display& display, unsigned symbol) {
    int mode = MODE_OFF;
    display.GetSymbolMode(symbol, mode);
    return mode == MODE_ON;
}

// The display shows 0..11 with AM and 12..23 with PM, so the hour wraps from
// 11 to 12 (and back) exactly where AM and PM change.
void SwapAmPm(NIVO_Display& display) {
    const bool wasAm = IsOn(display, AM);
    display.SetSymbols(AM, wasAm ? MODE_OFF : MODE_ON);
    display.SetSymbols(PM, wasAm ? MODE_ON : MODE_OFF);
}

}  // namespace

NIVOML_SETDATETIMEOBJ::NIVOML_SETDATETIMEOBJ(int firstCell) : m_firstCell(firstCell) {
    m_name = "setdatetimeobj";
}

bool NIVOML_SETDATETIMEOBJ::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    m_name = node.getName();
    if (auto key = node.getAttribute("inccursorkey")) m_incCursorKey = StrToInt(*key);
    if (auto key = node.getAttribute("incdatakey")) m_incDataKey = StrToInt(*key);
    if (auto key = node.getAttribute("decdatakey")) m_decDataKey = StrToInt(*key);
    if (auto delay = node.getAttribute("autosubmit")) m_autosubmit = StrToInt(*delay);
    if (auto format = node.getAttribute("format")) m_format = *format;
    if (auto target = node.getAttribute("goto")) m_gotoTarget = *target;
    if (m_autosubmit < 0) m_autosubmit = 0;
    if (m_format == "%d%m%y") {
        // Day-month-year is edited year first.
        m_cursorStep = -2;
        m_cursor = 6;
    }
    return m_incCursorKey != 0 && (m_incDataKey != 0 || m_decDataKey != 0) &&
           !m_gotoTarget.empty() && IsAcceptedFormat(m_format);
}

void NIVOML_SETDATETIMEOBJ::AddToKeyTable(KeyTable& table) {
    const std::pair<int, const char*> bindings[] = {
        {m_incCursorKey, "!inccursor"}, {m_incDataKey, "!incdata"}, {m_decDataKey, "!decdata"}};
    for (const auto& [key, command] : bindings) {
        if (key != 0 && KeyTable::IsKey(key)) table.targets[key] = command;
    }
}

bool NIVOML_SETDATETIMEOBJ::OnTimer(unsigned long id, std::string& target, int& key) {
    if (id != CookieTimerId(GetId())) return false;
    target = m_gotoTarget;
    key = 0;
    return true;
}

int NIVOML_SETDATETIMEOBJ::GetHour(NIVO_Display& display) const {
    const int hour = ReadTwoDigits(display, 0);
    if (!IsTwelveHour()) return hour;
    const bool pm = IsOn(display, PM);
    if (hour == 12) return pm ? 12 : 0;
    return pm && hour >= 0 && hour < 12 ? hour + 12 : hour;
}

int NIVOML_SETDATETIMEOBJ::GetMinute(NIVO_Display& display) const {
    return ReadTwoDigits(display, 2);
}

int NIVOML_SETDATETIMEOBJ::GetDay(NIVO_Display& display) const {
    return ReadTwoDigits(display, IsYearFirst() ? 8 : 4);
}

int NIVOML_SETDATETIMEOBJ::GetMonth(NIVO_Display& display) const {
    return ReadTwoDigits(display, 6);
}

int NIVOML_SETDATETIMEOBJ::GetYear(NIVO_Display& display) const {
    return ReadTwoDigits(display, IsYearFirst() ? 4 : 8);
}

void NIVOML_SETDATETIMEOBJ::MarkField(NIVO_Display& display, int from, int to) const {
    const std::string text = display.GetSegText(from, to);
    display.WriteSegText(text, MODE_ON, from);
    if (m_cursor >= 0 && static_cast<size_t>(m_cursor) < text.size()) {
        display.WriteSegText(text.substr(m_cursor, 2), MODE_BLINK, from + m_cursor);
    }
}

void NIVOML_SETDATETIMEOBJ::IncData(NIVO_Display& display) {
    StepField(display, +1);
}

void NIVOML_SETDATETIMEOBJ::DecData(NIVO_Display& display) {
    StepField(display, -1);
}

void NIVOML_SETDATETIMEOBJ::StepField(NIVO_Display& display, int delta) const {
    // Between walks the cursor may rest outside the format: nothing to edit then.
    if (m_cursor < 0 || static_cast<size_t>(m_cursor) + 2 > m_format.size()) return;
    const FieldLimits* limits = LimitsOf(m_format.substr(m_cursor, 2));
    if (!limits) return;
    const int cell = m_firstCell + m_cursor;
    int value = ReadTwoDigits(display, cell) + delta;
    if (value > limits->maximum) value = limits->minimum;
    if (value < limits->minimum) value = limits->maximum;
    const bool crossesNoon = delta > 0 ? value == 12 : value == 11;
    if (std::strcmp(limits->field, "%I") == 0 && crossesNoon) SwapAmPm(display);
    display.WriteSegText(TwoDigits(value), MODE_BLINK, cell);
}

void NIVOML_SETDATETIMEOBJ::SubmitSoon() {
    if (ElementHost* host = ElementHost::s_instance) host->AutoSubmit_SetDateTime(1);
}

bool NIVOML_SETDATETIMEOBJ::IsYearFirst() const {
    return m_format == "%y%m%d" ||
           (m_format.size() > 4 && m_format.compare(4, std::string::npos, "%y%m%d") == 0);
}

bool NIVOML_SETDATETIMEOBJ::IsTwelveHour() const {
    return m_format.compare(0, 4, "%I%M") == 0;
}

#include "markup/nivoml_settime.h"

#include <cstring>

#include "markup/element_factory.h"
#include "panel/nivo_display.h"
#include "util/utilities.h"

NIVOML_REGISTER_ELEMENT(NIVOML_SETTIME)

namespace {
constexpr int kLastField = 2;  // the minutes
}

bool NIVOML_SETTIME::IsTag(const char* tag) {
    return std::strcmp(tag, "settime") == 0;
}

NIVOML_SETTIME::NIVOML_SETTIME() {
    m_name = "settime";
}

bool NIVOML_SETTIME::IsAcceptedFormat(const std::string& format) const {
    return format == "%H%M" || format == "%I%M";
}

void NIVOML_SETTIME::Draw(NIVO_Display& display) {
    display.ShowDateTime("", m_format, MODE_ON);
    display.SetSymbols(COLON | TIME, MODE_ON);
    display.StopLiveTime();
    // Step back so that the step below lands on the field being edited.
    if (m_cursor >= -1 && m_cursor <= kLastField + 1) m_cursor -= m_cursorStep;
    IncCursor(display);
}

int NIVOML_SETTIME::IncCursor(NIVO_Display& display) {
    m_cursor += m_cursorStep;
    if (m_cursor >= 0 && m_cursor <= kLastField) {
        MarkField(display, 0, 4);
        return 1;
    }
    m_cursor = 0;
    SubmitSoon();
    return 0;
}

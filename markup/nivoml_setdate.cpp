#include "markup/nivoml_setdate.h"

#include <cstring>

#include "markup/element_factory.h"
#include "panel/nivo_display.h"
#include "util/utilities.h"

NIVOML_REGISTER_ELEMENT(NIVOML_SETDATE)

namespace {
constexpr int kFirstCell = 4;  // the date cells of the segment field
constexpr int kLastField = 4;
}  // namespace

bool NIVOML_SETDATE::IsTag(const char* tag) {
    return std::strcmp(tag, "setdate") == 0;
}

NIVOML_SETDATE::NIVOML_SETDATE() : NIVOML_SETDATETIMEOBJ(kFirstCell) {
    m_name = "setdate";
}

bool NIVOML_SETDATE::IsAcceptedFormat(const std::string& format) const {
    return format == "%d%m%y" || format == "%y%m%d";
}

void NIVOML_SETDATE::Draw(NIVO_Display& display) {
    display.ShowDateTime(m_format, "", MODE_ON);
    display.SetSymbols(DATE | DATE_P1 | DATE_P2, MODE_ON);
    display.StopLiveDate();
    // Step back so that the step below lands on the field being edited.
    if (m_cursor >= -1 && m_cursor <= kLastField + 1) m_cursor -= m_cursorStep;
    IncCursor(display);
}

int NIVOML_SETDATE::IncCursor(NIVO_Display& display) {
    m_cursor += m_cursorStep;
    if (m_cursor >= 0 && m_cursor <= kLastField) {
        MarkField(display, kFirstCell, kFirstCell + 6);
        return 1;
    }
    m_cursor = m_cursor < 0 ? kLastField : 0;
    SubmitSoon();
    return 0;
}

#include "markup/nivoml_setdatetime.h"

#include <cstdlib>
#include <cstring>

#include "markup/element_factory.h"
#include "panel/nivo_display.h"

NIVOML_REGISTER_ELEMENT(NIVOML_SETDATETIME)

namespace {
constexpr int kMinuteField = 2;
constexpr int kEndOfField = 10;
}  // namespace

bool NIVOML_SETDATETIME::IsTag(const char* tag) {
    return std::strcmp(tag, "setdatetime") == 0;
}

NIVOML_SETDATETIME::NIVOML_SETDATETIME() {
    m_name = "setdatetime";
}

bool NIVOML_SETDATETIME::IsAcceptedFormat(const std::string& format) const {
    for (const char* accepted : {"%H%M%d%m%y", "%I%M%d%m%y", "%H%M%y%m%d", "%I%M%y%m%d"}) {
        if (format == accepted) return true;
    }
    return false;
}

// Every draw moves the cursor one field on: there is no step back here.
void NIVOML_SETDATETIME::Draw(NIVO_Display& display) {
    display.ShowDateTime("", m_format, MODE_ON);  // ten characters fill the whole field
    display.StopLiveTime();
    // A live date from the page head would otherwise overwrite the edited date.
    display.StopLiveDate();
    IncCursor(display);
}

int NIVOML_SETDATETIME::IncCursor(NIVO_Display& display) {
    if (m_cursor == kMinuteField && m_format.size() > 4 &&
        m_format.compare(4, std::string::npos, "%d%m%y") == 0) {
        // Day-month-year is walked year first, right to left.
        m_cursorStep = -2;
        m_cursor = kEndOfField;
    }
    m_cursor += m_cursorStep;
    const bool backAtMinutes = m_cursor == kMinuteField && m_cursorStep < 0;
    if (m_cursor >= 0 && m_cursor < kEndOfField && !backAtMinutes) {
        MarkField(display, 0, kEndOfField);
        return 1;
    }
    m_cursor = -2;
    m_cursorStep = std::abs(m_cursorStep);
    SubmitSoon();
    return 0;
}

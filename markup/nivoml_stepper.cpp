#include "markup/nivoml_stepper.h"

#include <algorithm>
#include <cstring>

#include "markup/element_factory.h"
#include "panel/nivo_display.h"
#include "util/conversions.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_STEPPER)

bool NIVOML_STEPPER::IsTag(const char* tag) {
    return std::strcmp(tag, "stepper") == 0;
}

NIVOML_STEPPER::NIVOML_STEPPER() {
    m_name = "stepper";
}

bool NIVOML_STEPPER::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    const bool named = NIVOML_FORMOBJ::InitFromNivoml(node);
    if (auto min = node.getAttribute("min")) m_min = StrToInt(*min);
    if (auto max = node.getAttribute("max")) m_max = StrToInt(*max);
    if (auto init = node.getAttribute("init")) m_init = StrToInt(*init);
    if (auto step = node.getAttribute("step")) m_step = StrToInt(*step);
    ResetCursor();
    return named && m_min < m_max && m_min <= m_init && m_init <= m_max;
}

void NIVOML_STEPPER::Draw(NIVO_Display& display) {
    std::string text = IntToStr(m_current);
    const int pad = GetWidth() - static_cast<int>(text.size());
    if (pad > 0) text.insert(0, pad, ' ');
    display.WriteText(text, MODE_BLINK, m_position);
}

int NIVOML_STEPPER::GetWidth() const {
    return static_cast<int>(std::max(IntToStr(m_min).size(), IntToStr(m_max).size()));
}

std::string NIVOML_STEPPER::GetValue(NIVO_Display&) {
    return IntToStr(m_current);
}

void NIVOML_STEPPER::IncData(NIVO_Display& display) {
    StepBy(m_step, display);
}

void NIVOML_STEPPER::DecData(NIVO_Display& display) {
    StepBy(-static_cast<long long>(m_step), display);
}

void NIVOML_STEPPER::StepBy(long long delta, NIVO_Display& display) {
    // Wide arithmetic: a page's step near the int limits must not overflow.
    long long next = static_cast<long long>(m_current) + delta;
    if (next > m_max) {
        next = m_max;
    } else if (next < m_min) {
        next = m_min;
    }
    m_current = static_cast<int>(next);
    Draw(display);
}

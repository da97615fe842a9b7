#include "markup/nivoml_counter.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "markup/element_factory.h"
#include "markup/element_host.h"
#include "panel/nivo_display.h"
#include "util/conversions.h"
#include "util/logger.h"
#include "util/timer.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_COUNTER)

bool NIVOML_COUNTER::IsTag(const char* tag) { return std::strcmp(tag, "counter") == 0; }

NIVOML_COUNTER::NIVOML_COUNTER() { m_name = "counter"; }

bool NIVOML_COUNTER::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    if (auto from = node.getAttribute("from")) m_from = StrToInt(*from);
    if (auto to = node.getAttribute("to")) m_to = StrToInt(*to);
    if (auto step = node.getAttribute("step")) m_step = StrToInt(*step);
    if (m_step == 0) m_step = 1;
    // The step always points towards `to` when counting down; INT_MIN has no
    // positive twin, so it stays as it is.
    if (m_to < m_from && m_step > 0) m_step = -m_step;
    if (m_from == m_to) Logger::Log(Logger::Error, "from == to");
    m_current = m_from;
    m_width = static_cast<int>(std::max(IntToStr(m_to).size(), IntToStr(m_from).size()));
    if (m_from == m_to) {
        m_width = 0;
        return false;
    }
    return true;
}

void NIVOML_COUNTER::Draw(NIVO_Display& display) {
    if (m_restartPending) {
        m_current = m_from;
        m_startMs = TimerTarget::s_timerQueue.NowMs();
        m_restartPending = false;
    } else {
        // Computed wide: a large step times a long run must not overflow.
        const int64_t elapsedMs = TimerTarget::s_timerQueue.NowMs() - m_startMs;
        const long long seconds = std::clamp<int64_t>(elapsedMs / 1000, 0, 2000000000);
        long long value = m_from + static_cast<long long>(m_step) * seconds;
        if (m_step > 0 && value > m_to) value = m_to;
        if (m_step < 0 && value < m_to) value = m_to;
        m_current = static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
    }
    std::string text = IntToStr(m_current);
    if (static_cast<int>(text.size()) < m_width) text.insert(0, m_width - text.size(), ' ');
    display.WriteText(text, m_mode, m_position);
}

void NIVOML_COUNTER::StartTimer() {
    if (m_current == m_to) {
        m_restartPending = true;  // the next draw of the div starts a new run
        return;
    }
    if (ElementHost* host = ElementHost::s_instance) host->RestartTimer(1000, CookieTimerId(GetId()));
}

void NIVOML_COUNTER::StopTimer() {
    if (ElementHost* host = ElementHost::s_instance) host->StopTimer(CookieTimerId(GetId()));
}

bool NIVOML_COUNTER::OnTimer(unsigned long id, std::string& target, int& key) {
    if (id != CookieTimerId(GetId())) return false;
    ElementHost* host = ElementHost::s_instance;
    target = "#" + (host ? host->GetCurrentDivName() : std::string());
    key = 0;
    return true;
}

#include "markup/nivoml_a.h"

#include <cstring>

#include "markup/element_factory.h"
#include "markup/element_host.h"
#include "util/conversions.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_A)

bool NIVOML_A::IsTag(const char* tag) { return std::strcmp(tag, "a") == 0; }

NIVOML_A::NIVOML_A() { m_name = "a"; }

bool NIVOML_A::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    std::optional<std::string> href = node.getAttribute("href");
    if (!href) return false;
    m_href = *href;
    std::optional<std::string> key = node.getAttribute("key");
    if (!key) return false;
    m_key = StrToInt(*key);
    if (auto duration = node.getAttribute("duration")) m_duration = StrToInt(*duration);
    if (auto autoswitch = node.getAttribute("autoswitch")) m_autoswitch = StrToInt(*autoswitch);
    NIVOML_BASELISTOBJ::InitFromNivoml(node);  // a link without content is fine
    return !m_href.empty();
}

void NIVOML_A::AddToKeyTable(KeyTable& table) {
    if (!KeyTable::IsKey(m_key)) return;
    table.targets[m_key] = m_href;
    table.durations[m_key] = static_cast<double>(m_duration);
}

void NIVOML_A::StartAutoswitch() {
    if (m_autoswitch == 0) return;
    if (ElementHost* host = ElementHost::s_instance) {
        host->RestartTimer(m_autoswitch, CookieTimerId(GetId()));
    }
}

void NIVOML_A::StopAutoswitch() {
    if (m_autoswitch == 0) return;
    if (ElementHost* host = ElementHost::s_instance) host->StopTimer(CookieTimerId(GetId()));
}

bool NIVOML_A::OnTimer(unsigned long id, std::string& target, int& key) {
    if (m_autoswitch == 0 || id != CookieTimerId(GetId())) return false;
    target = m_href;
    key = m_key;
    return true;
}

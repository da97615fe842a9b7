#include "markup/nivoml_body.h"

#include <cstring>

#include "markup/element_factory.h"
#include "markup/nivoml_div.h"

NIVOML_REGISTER_ELEMENT(NIVOML_BODY)

bool NIVOML_BODY::IsTag(const char* tag) { return std::strcmp(tag, "body") == 0; }

NIVOML_BODY::NIVOML_BODY() { m_name = "body"; }

void NIVOML_BODY::Draw(NIVO_Display& display) {
    if (m_currentDiv) m_currentDiv->Draw(display);
}

void NIVOML_BODY::AddChild(std::unique_ptr<NIVOML_BASEOBJ> child) {
    auto* div = dynamic_cast<NIVOML_DIV*>(child.get());
    if (!div) return;  // anything but a div is discarded
    NIVOML_BASELISTOBJ::AddChild(std::move(child));
    if (!m_currentDiv) m_currentDiv = div;
}

void NIVOML_BODY::SelectDiv(const std::string& divName) {
    if (m_children.empty()) return;
    if (!divName.empty()) {
        for (auto& child : m_children) {
            auto* div = static_cast<NIVOML_DIV*>(child.get());
            if (div->GetDivName() == divName) {
                m_currentDiv = div;
                return;
            }
        }
    }
    m_currentDiv = static_cast<NIVOML_DIV*>(m_children.front().get());
}

std::string NIVOML_BODY::GetCurrentDivName() const {
    return m_currentDiv ? m_currentDiv->GetDivName() : "";
}

void NIVOML_BODY::AddToKeyTable(KeyTable& table) {
    if (m_currentDiv) m_currentDiv->AddToKeyTable(table);
}

void NIVOML_BODY::StartTimers() {
    if (m_currentDiv) m_currentDiv->StartTimers();
}

void NIVOML_BODY::StopTimers() {
    for (auto& child : m_children) static_cast<NIVOML_DIV*>(child.get())->StopTimers();
}

bool NIVOML_BODY::OnTimer(unsigned long id, std::string& target, int& key) {
    for (auto& child : m_children) {
        if (static_cast<NIVOML_DIV*>(child.get())->OnTimer(id, target, key)) return true;
    }
    return false;
}

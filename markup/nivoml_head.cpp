#include "markup/nivoml_head.h"

#include <cstring>

#include "markup/element_factory.h"
#include "markup/nivoml_a.h"
#include "markup/nivoml_goto.h"

NIVOML_REGISTER_ELEMENT(NIVOML_HEAD)

bool NIVOML_HEAD::IsTag(const char* tag) { return std::strcmp(tag, "head") == 0; }

NIVOML_HEAD::NIVOML_HEAD() { m_name = "head"; }

std::string NIVOML_HEAD::GetStartDivName() const {
    for (const auto& child : m_children) {
        if (auto* go = dynamic_cast<NIVOML_GOTO*>(child.get())) return go->GetTarget();
    }
    return "";
}

void NIVOML_HEAD::AddToKeyTable(KeyTable& table) {
    for (auto& child : m_children) {
        if (auto* link = dynamic_cast<NIVOML_A*>(child.get())) link->AddToKeyTable(table);
    }
}

void NIVOML_HEAD::StartTimers() {
    for (auto& child : m_children) {
        if (auto* link = dynamic_cast<NIVOML_A*>(child.get())) link->StartAutoswitch();
    }
}

void NIVOML_HEAD::StopTimers() {
    for (auto& child : m_children) {
        if (auto* link = dynamic_cast<NIVOML_A*>(child.get())) link->StopAutoswitch();
    }
}

bool NIVOML_HEAD::OnTimer(unsigned long id, std::string& target, int& key) {
    for (auto& child : m_children) {
        auto* link = dynamic_cast<NIVOML_A*>(child.get());
        if (link && link->OnTimer(id, target, key)) return true;
    }
    return false;
}

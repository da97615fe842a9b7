#include "markup/nivoml_head.h"

#include <cstring>

#include "markup/element_factory.h"
#include "markup/nivoml_a.h"
#include "markup/nivoml_goto.h"

NIVOML_REGISTER_ELEMENT(NIVOML_HEAD)

bool NIVOML_HEAD::IsTag(const char* tag) {
    return std::strcmp(tag, "head") == 0;
}

NIVOML_HEAD::NIVOML_HEAD() {
    m_name = "head";
}

std::string NIVOML_HEAD::GetStartDivName() const {
    for (const auto& child : m_children) {
        if (auto* go = dynamic_cast<NIVOML_GOTO*>(child.get())) return go->GetTarget();
    }
    return "";
}

void NIVOML_HEAD::AddToKeyTable(KeyTable& table) {
    ForEachChild<NIVOML_A>([&](NIVOML_A& link) { link.AddToKeyTable(table); });
}

void NIVOML_HEAD::StartTimers() {
    ForEachChild<NIVOML_A>([](NIVOML_A& link) { link.StartAutoswitch(); });
}

void NIVOML_HEAD::StopTimers() {
    ForEachChild<NIVOML_A>([](NIVOML_A& link) { link.StopAutoswitch(); });
}

bool NIVOML_HEAD::OnTimer(unsigned long id, std::string& target, int& key) {
    return AnyChild<NIVOML_A>([&](NIVOML_A& link) { return link.OnTimer(id, target, key); });
}

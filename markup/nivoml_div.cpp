#include "markup/nivoml_div.h"

#include <cstring>

#include "markup/element_factory.h"
#include "markup/nivoml_form.h"
#include "markup/nivoml_setdatetimeobj.h"
#include "util/logger.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_DIV)

bool NIVOML_DIV::IsTag(const char* tag) {
    return std::strcmp(tag, "div") == 0;
}

NIVOML_DIV::NIVOML_DIV() {
    m_name = "div";
}

bool NIVOML_DIV::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    std::optional<std::string> name = node.getAttribute("name");
    if (!name) {
        Logger::Log(Logger::Error, "div ohne Namen.");
        return false;
    }
    m_divName = *name;
    return NIVOML_BASELISTOBJ::InitFromNivoml(node);
}

void NIVOML_DIV::AddChild(std::unique_ptr<NIVOML_BASEOBJ> child) {
    NIVOML_BASEOBJ* added = child.get();
    NIVOML_BASELISTOBJ::AddChild(std::move(child));
    if (auto* form = dynamic_cast<NIVOML_FORM*>(added)) m_form = form;
    if (auto* setter = dynamic_cast<NIVOML_SETDATETIMEOBJ*>(added)) m_setter = setter;
}

NIVOML_FORM* NIVOML_DIV::GetFormForKey(int key) const {
    if (key == 0) return m_form;
    for (const auto& child : m_children) {
        auto* form = dynamic_cast<NIVOML_FORM*>(child.get());
        if (!form) continue;
        KeyTable bindings;
        form->AddToKeyTable(bindings);
        if (KeyTable::IsKey(key) && !bindings.targets[key].empty()) return form;
    }
    return m_form;
}

// Only direct children bind keys and run timers; a link nested in a format
// element is drawn but stays inert.
void NIVOML_DIV::AddToKeyTable(KeyTable& table) {
    ForEachChild<KeyBinder>([&](KeyBinder& binder) { binder.AddToKeyTable(table); });
}

void NIVOML_DIV::StartTimers() {
    ForEachChild<TimerOwner>([](TimerOwner& owner) { owner.StartTimer(); });
}

void NIVOML_DIV::StopTimers() {
    ForEachChild<TimerOwner>([](TimerOwner& owner) { owner.StopTimer(); });
}

bool NIVOML_DIV::OnTimer(unsigned long id, std::string& target, int& key) {
    return AnyChild<TimerOwner>([&](TimerOwner& owner) { return owner.OnTimer(id, target, key); });
}

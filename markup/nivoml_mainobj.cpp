#include "markup/nivoml_mainobj.h"

#include <cstring>

#include "markup/element_factory.h"
#include "markup/nivoml_body.h"
#include "markup/nivoml_div.h"
#include "markup/nivoml_head.h"
#include "panel/nivo_display.h"
#include "util/utilities.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_MAINOBJ)

namespace {
// Takes the created element only if it has the expected class.
template <class T>
std::unique_ptr<T> Take(std::unique_ptr<NIVOML_BASEOBJ>& element) {
    if (auto* typed = dynamic_cast<T*>(element.get())) {
        element.release();
        return std::unique_ptr<T>(typed);
    }
    return nullptr;
}
}  // namespace

bool NIVOML_MAINOBJ::IsTag(const char* tag) { return std::strcmp(tag, "nivoml") == 0; }

NIVOML_MAINOBJ::NIVOML_MAINOBJ() { m_name = "nivoml"; }

NIVOML_MAINOBJ::~NIVOML_MAINOBJ() { StopTimers(); }

bool NIVOML_MAINOBJ::InitFromNivoml(XMLNode& node) {
    if (auto v = node.getAttribute("pagetype")) m_pagetype = *v;
    if (auto v = node.getAttribute("alarmpage")) m_alarmpage = *v;
    if (auto v = node.getAttribute("servicepage")) m_servicepage = *v;
    XMLNode headNode = node.getChildNode("head");
    XMLNode bodyNode = node.getChildNode("body");
    if (headNode.isEmpty() || bodyNode.isEmpty()) return false;

    std::unique_ptr<NIVOML_BASEOBJ> element;
    int position = 0;
    const bool headMade = CreateFromNivoml(headNode, element, position);
    m_head = Take<NIVOML_HEAD>(element);
    position = 0;
    const bool bodyMade = CreateFromNivoml(bodyNode, element, position);
    m_body = Take<NIVOML_BODY>(element);

    ShowDiv(GetStartDivName());
    return headMade && bodyMade;
}

void NIVOML_MAINOBJ::Draw(NIVO_Display& display) {
    int backlight = MODE_OFF;
    display.GetLed(LED_DISPLAY, backlight);
    display.Clear();
    display.SetLed(LED_DISPLAY, backlight);
    if (m_head) m_head->Draw(display);
    if (m_body) m_body->Draw(display);
    StartTimers();
}

void NIVOML_MAINOBJ::ShowDiv(const std::string& divName) {
    if (m_body) m_body->SelectDiv(divName);
    m_keyTable.emplace();
    if (m_head) m_head->AddToKeyTable(*m_keyTable);
    if (m_body) m_body->AddToKeyTable(*m_keyTable);
}

std::string NIVOML_MAINOBJ::GetStartDivName() const {
    return m_head ? m_head->GetStartDivName() : "";
}

std::string NIVOML_MAINOBJ::GetCurrentDivName() const {
    return m_body ? m_body->GetCurrentDivName() : "";
}

std::string NIVOML_MAINOBJ::GetKeyTarget(int key, double heldSeconds) const {
    if (!m_keyTable || !KeyTable::IsKey(key)) return "";
    if (heldSeconds < m_keyTable->durations[key]) return "";
    return m_keyTable->targets[key];
}

void NIVOML_MAINOBJ::StartTimers() {
    if (m_head) m_head->StartTimers();
    if (m_body) m_body->StartTimers();
}

void NIVOML_MAINOBJ::StopTimers() {
    if (m_head) m_head->StopTimers();
    if (m_body) m_body->StopTimers();
}

bool NIVOML_MAINOBJ::OnTimer(unsigned long id, std::string& target, int& key) {
    if (m_body && m_body->OnTimer(id, target, key)) return true;
    return m_head && m_head->OnTimer(id, target, key);
}

NIVOML_FORM* NIVOML_MAINOBJ::GetFormForKey(int key) const {
    NIVOML_DIV* div = m_body ? m_body->GetCurrentDiv() : nullptr;
    return div ? div->GetFormForKey(key) : nullptr;
}

NIVOML_SETDATETIMEOBJ* NIVOML_MAINOBJ::GetDateTimeSetter() const {
    NIVOML_DIV* div = m_body ? m_body->GetCurrentDiv() : nullptr;
    return div ? div->GetDateTimeSetter() : nullptr;
}

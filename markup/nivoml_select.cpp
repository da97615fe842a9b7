#include "markup/nivoml_select.h"

#include <algorithm>
#include <cstring>

#include "markup/element_factory.h"
#include "markup/nivoml_option.h"
#include "panel/nivo_display.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_SELECT)

bool NIVOML_SELECT::IsTag(const char* tag) {
    return std::strcmp(tag, "select") == 0;
}

NIVOML_SELECT::NIVOML_SELECT() {
    m_name = "select";
}

bool NIVOML_SELECT::InitFromNivoml(XMLNode& node) {
    if (!NIVOML_FORMOBJ::InitFromNivoml(node)) return false;
    // Only options are kept and they take no cells, so text or placed elements
    // the page puts between them must not move what follows the select.
    const int position = g_textPosition;
    NIVOML_BASELISTOBJ::InitFromNivoml(node);
    g_textPosition = position;
    return m_optionCount > 0;
}

void NIVOML_SELECT::AddChild(std::unique_ptr<NIVOML_BASEOBJ> child) {
    auto* option = dynamic_cast<NIVOML_OPTION*>(child.get());
    if (!option) return;
    m_width = std::max(m_width, static_cast<int>(option->GetReadout().size()));
    if (option->IsSelected()) {
        m_initialSelected = m_optionCount;
        ResetCursor();
    }
    ++m_optionCount;
    m_children.push_back(std::move(child));
}

void NIVOML_SELECT::Draw(NIVO_Display& display) {
    const NIVOML_OPTION* option = SelectedOption();
    if (!option || m_width == 0) return;
    // An empty readout blanks the field, so the previous choice does not stay on show.
    std::string text = option->GetReadout();
    text.resize(m_width, ' ');
    display.WriteText(text, MODE_BLINK, m_position);
}

std::string NIVOML_SELECT::GetValue(NIVO_Display&) {
    const NIVOML_OPTION* option = SelectedOption();
    return option ? option->GetValue() : std::string();
}

void NIVOML_SELECT::ResetCursor() {
    m_selected = m_initialSelected;
}

void NIVOML_SELECT::IncData(NIVO_Display& display) {
    if (m_selected + 1 < OptionCount()) ++m_selected;
    Draw(display);
}

void NIVOML_SELECT::DecData(NIVO_Display& display) {
    if (m_selected > 0) --m_selected;
    Draw(display);
}

const NIVOML_OPTION* NIVOML_SELECT::SelectedOption() const {
    if (m_selected < 0 || m_selected >= OptionCount()) return nullptr;
    return static_cast<const NIVOML_OPTION*>(m_children[m_selected].get());
}

#include "markup/nivoml_text.h"

#include "panel/nivo_display.h"
#include "util/xml_node.h"

NIVOML_TEXT::NIVOML_TEXT() { m_name = "text"; }

bool NIVOML_TEXT::InitFromNivoml(XMLNode& parent) {
    if (parent.isEmpty()) return false;
    std::optional<std::string> run = parent.getText(m_textIndex);
    if (!run) return false;
    m_text = *run;
    return true;
}

void NIVOML_TEXT::Draw(NIVO_Display& display) { display.WriteText(m_text, m_mode, m_position); }

void NIVOML_TEXT::SetPosition(int position) {
    if (position >= 1 && position <= 21) m_position = position;
}

void NIVOML_TEXT::SetTextIndex(int index) {
    if (index > 0) m_textIndex = index;
}

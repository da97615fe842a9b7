#include "markup/nivoml_fixedtext.h"

#include <cstring>

#include "markup/element_factory.h"
#include "panel/nivo_display.h"
#include "util/conversions.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_FIXEDTEXT)

bool NIVOML_FIXEDTEXT::IsTag(const char* tag) { return std::strcmp(tag, "fixedtext") == 0; }

NIVOML_FIXEDTEXT::NIVOML_FIXEDTEXT() { m_name = "fixedtext"; }

bool NIVOML_FIXEDTEXT::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    std::optional<std::string> textnr = node.getAttribute("textnr");
    m_textnr = textnr ? StrToInt(*textnr) : -1;
    return m_textnr >= 0 && m_textnr <= 19;
}

void NIVOML_FIXEDTEXT::Draw(NIVO_Display& display) { display.ShowFixedText(m_textnr); }

#include "markup/nivoml_option.h"

#include <cstring>

#include "markup/element_factory.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_OPTION)

bool NIVOML_OPTION::IsTag(const char* tag) {
    return std::strcmp(tag, "option") == 0;
}

NIVOML_OPTION::NIVOML_OPTION() {
    m_name = "option";
}

bool NIVOML_OPTION::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    if (auto value = node.getAttribute("value")) m_value = *value;
    if (auto readout = node.getAttribute("readout")) m_readout = *readout;
    m_selected = node.isAttributeSet("selected");
    return true;
}

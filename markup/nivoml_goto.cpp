#include "markup/nivoml_goto.h"

#include <cstring>

#include "markup/element_factory.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_GOTO)

bool NIVOML_GOTO::IsTag(const char* tag) { return std::strcmp(tag, "goto") == 0; }

NIVOML_GOTO::NIVOML_GOTO() { m_name = "goto"; }

bool NIVOML_GOTO::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    std::optional<std::string> div = node.getAttribute("div");
    if (!div) return false;
    m_target = *div;
    return true;
}

#include "markup/nivoml_skip.h"

#include <cstring>

#include "markup/element_factory.h"
#include "util/conversions.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_SKIP)

bool NIVOML_SKIP::IsTag(const char* tag) { return std::strcmp(tag, "skip") == 0; }

NIVOML_SKIP::NIVOML_SKIP() { m_name = "skip"; }

bool NIVOML_SKIP::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    if (auto count = node.getAttribute("count")) m_count = StrToInt(*count);
    return m_count >= 0;
}

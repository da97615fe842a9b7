#include "markup/nivoml_br.h"

#include <cstring>

#include "markup/element_factory.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_BR)

bool NIVOML_BR::IsTag(const char* tag) { return std::strcmp(tag, "br") == 0; }

NIVOML_BR::NIVOML_BR() { m_name = "br"; }

bool NIVOML_BR::InitFromNivoml(XMLNode& node) { return !node.isEmpty(); }

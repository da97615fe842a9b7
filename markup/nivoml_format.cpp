#include "markup/nivoml_format.h"

#include <cstring>

#include "markup/element_factory.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_Format)

namespace {
struct FormatTag {
    const char* tag;
    DisplayMode mode;
};
constexpr FormatTag kFormatTags[] = {{"blink", 2}, {"blink_inv", 1}, {"off", 0}, {"on", 3}};
}  // namespace

bool NIVOML_Format::IsTag(const char* tag) {
    for (const FormatTag& f : kFormatTags) {
        if (std::strcmp(tag, f.tag) == 0) return true;
    }
    return false;
}

NIVOML_Format::NIVOML_Format() { m_name = "format"; }

bool NIVOML_Format::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    const std::string tag = node.getName();
    for (const FormatTag& f : kFormatTags) {
        if (tag == f.tag) m_mode = f.mode;
    }
    m_name = tag;
    return NIVOML_BASELISTOBJ::InitFromNivoml(node);
}

void NIVOML_Format::AddChild(std::unique_ptr<NIVOML_BASEOBJ> child) {
    if (!child) return;
    child->SetMode(m_mode);
    NIVOML_BASELISTOBJ::AddChild(std::move(child));
}

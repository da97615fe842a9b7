#include "markup/nivoml_formobj.h"

#include "util/xml_node.h"

NIVOML_FORMOBJ::NIVOML_FORMOBJ() {
    m_name = "formobj";
}

bool NIVOML_FORMOBJ::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    std::optional<std::string> name = node.getAttribute("name");
    if (!name || name->empty()) return false;
    m_controlName = *name;
    return true;
}

// A refused child is destroyed here; no page gives a control other children.
void NIVOML_FORMOBJ::AddChild(std::unique_ptr<NIVOML_BASEOBJ> child) {
    if (!child) return;
    const std::string tag = child->GetName();
    if (tag == "input" || tag == "select" || tag == "stepper") {
        NIVOML_BASELISTOBJ::AddChild(std::move(child));
    }
}

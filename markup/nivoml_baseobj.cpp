#include "markup/nivoml_baseobj.h"

#include "markup/element_factory.h"
#include "util/xml_node.h"

int g_elementCount = 0;
int g_textPosition = 0;

namespace {
int NextElementId() {
    // Wrap long before the timer ids would leave the manager's cookie range.
    if (g_elementCount >= NIVOML_BASEOBJ::kMaxElementId || g_elementCount < 0) g_elementCount = 0;
    return ++g_elementCount;
}
}  // namespace

NIVOML_BASEOBJ::NIVOML_BASEOBJ() : m_id(NextElementId()) {}

NIVOML_BASELISTOBJ::NIVOML_BASELISTOBJ() { m_name = "BASELISTOBJ"; }

bool NIVOML_BASELISTOBJ::InitFromNivoml(XMLNode& node) {
    int created = 0;
    int textIndex = 0;
    int textRuns = 0;
    if (node.isEmpty()) return false;
    const int items = node.nElement();
    for (int i = 0; i < items; ++i) {
        XMLNode::Contents item = node.enumContents(i);
        std::unique_ptr<NIVOML_BASEOBJ> child;
        bool made = false;
        if (item.type == eNodeChild) {
            made = CreateFromNivoml(item.child, child, g_textPosition);
        } else if (item.type == eNodeText) {
            made = ParseText(node, child, textIndex, g_textPosition);
            // A refused run keeps its place, so a later run never shows its text.
            textIndex = ++textRuns;
        }
        if (made && child) {
            ++created;
            AddChild(std::move(child));
        }
    }
    return created > 0;
}

void NIVOML_BASELISTOBJ::Draw(NIVO_Display& display) {
    for (auto& child : m_children) child->Draw(display);
}

void NIVOML_BASELISTOBJ::AddChild(std::unique_ptr<NIVOML_BASEOBJ> child) {
    if (child) m_children.push_back(std::move(child));
}

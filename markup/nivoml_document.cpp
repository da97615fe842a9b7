#include "markup/nivoml_document.h"

#include <utility>
#include <vector>

#include "markup/element_factory.h"
#include "markup/nivoml_mainobj.h"
#include "util/logger.h"

namespace {
// Depth of the element tree under node, walked without recursion; stops
// counting once the limit is passed.
int ElementDepth(const XMLNode& root, int limit) {
    int deepest = 0;
    std::vector<std::pair<XMLNode, int>> pending{{root, 1}};
    while (!pending.empty()) {
        auto [node, depth] = std::move(pending.back());
        pending.pop_back();
        if (depth > deepest) deepest = depth;
        if (deepest > limit) break;
        const int items = node.nElement();
        for (int i = 0; i < items; ++i) {
            XMLNode::Contents item = node.enumContents(i);
            if (item.type == eNodeChild) pending.emplace_back(item.child, depth + 1);
        }
    }
    return deepest;
}
}  // namespace

NivomlDocument::NivomlDocument(const std::string& text) {
    m_xml = XMLNode::parseString(text, "nivoml", &m_results);
    m_ok = m_results.error == 0;
    if (!m_ok) Logger::Log(Logger::Error, "XMLNode::parseString: %s", XMLNode::getError(m_results.error));
}

NivomlDocument::~NivomlDocument() = default;

void NivomlDocument::LogErrorPosition() const {
    Logger::Log(Logger::Error, "NIVOML-Fehler in Zeile:  %i", m_results.nLine);
    Logger::Log(Logger::Error, "NIVOML-Fehler in Spalte: %i", m_results.nColumn);
}

bool NivomlDocument::Build() {
    if (ElementDepth(m_xml, kMaxDepth) > kMaxDepth) {
        Logger::Log(Logger::Error, "NIVOML-Datei zu tief verschachtelt (mehr als %i Ebenen).",
                    kMaxDepth);
        return false;
    }
    // Text of an earlier page (in its head, or after its last div) must not shift this one.
    g_textPosition = 0;
    int position = 0;
    std::unique_ptr<NIVOML_BASEOBJ> element;
    const bool made = CreateFromNivoml(m_xml, element, position);
    if (auto* root = dynamic_cast<NIVOML_MAINOBJ*>(element.get())) {
        element.release();
        m_root.reset(root);
    }
    Logger::Log(Logger::Debug, "NIVOML-Datei geparsed");
    return made;
}

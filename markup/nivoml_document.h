#pragma once
// One received page: the parsed XML and, once built, its element tree.
#include <memory>
#include <string>

#include "util/xml_node.h"

class NIVOML_MAINOBJ;

class NivomlDocument {
public:
    // Pages nested deeper than this are refused: the tree is built recursively.
    static constexpr int kMaxDepth = 64;

    explicit NivomlDocument(const std::string& text);
    ~NivomlDocument();
    NivomlDocument(const NivomlDocument&) = delete;
    NivomlDocument& operator=(const NivomlDocument&) = delete;

    bool IsOk() const { return m_ok; }
    void LogErrorPosition() const;
    bool Build();
    NIVOML_MAINOBJ* GetRoot() const { return m_root.get(); }
    const XMLResults& GetResults() const { return m_results; }

private:
    XMLNode m_xml;
    XMLResults m_results;
    bool m_ok = false;
    std::unique_ptr<NIVOML_MAINOBJ> m_root;
};

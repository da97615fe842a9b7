#pragma once
// One screen of the display: text, links, forms, setters and indicators.
#include "markup/element_roles.h"
#include "markup/nivoml_baseobj.h"

class NIVOML_DIV : public NIVOML_BASELISTOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_DIV();
    bool InitFromNivoml(XMLNode& node) override;
    void AddChild(std::unique_ptr<NIVOML_BASEOBJ> child) override;

    std::string GetDivName() const { return m_divName; }
    void AddToKeyTable(KeyTable& table);  // links, forms, setters: later ones win
    void StartTimers();                   // links and counters
    void StopTimers();
    bool OnTimer(unsigned long id, std::string& target, int& key);

private:
    std::string m_divName;
};

#pragma once
// One screen of the display: text, links, forms, setters and indicators.
#include "markup/element_roles.h"
#include "markup/nivoml_baseobj.h"

class NIVOML_FORM;
class NIVOML_SETDATETIMEOBJ;

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
    // The last form, or with a key the first form that binds that key.
    NIVOML_FORM* GetFormForKey(int key) const;
    NIVOML_SETDATETIMEOBJ* GetDateTimeSetter() const { return m_setter; }

private:
    std::string m_divName;
    NIVOML_FORM* m_form = nullptr;             // the last form child
    NIVOML_SETDATETIMEOBJ* m_setter = nullptr;  // the last setter child
};

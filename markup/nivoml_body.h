#pragma once
// The screens of a page; exactly one div is current and drawn.
#include "markup/element_roles.h"
#include "markup/nivoml_baseobj.h"

class NIVOML_DIV;

class NIVOML_BODY : public NIVOML_BASELISTOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_BODY();
    void Draw(NIVO_Display& display) override;  // the current div only
    void AddChild(std::unique_ptr<NIVOML_BASEOBJ> child) override;  // keeps divs only

    void SelectDiv(const std::string& divName);  // first match, else the first div
    std::string GetCurrentDivName() const;
    NIVOML_DIV* GetCurrentDiv() const { return m_currentDiv; }
    void AddToKeyTable(KeyTable& table);  // the current div's bindings
    void StartTimers();                   // the current div only
    void StopTimers();                    // every div
    bool OnTimer(unsigned long id, std::string& target, int& key);  // every div

private:
    NIVOML_DIV* m_currentDiv = nullptr;
};

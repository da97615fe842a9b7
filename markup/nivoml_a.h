#pragma once
// A link: binds a key code to a target, optionally after a hold time, and can
// fire by itself after an automatic-switch delay.
#include "markup/element_roles.h"
#include "markup/nivoml_baseobj.h"

class NIVOML_A : public NIVOML_BASELISTOBJ, public KeyBinder, public TimerOwner {
public:
    static bool IsTag(const char* tag);
    NIVOML_A();
    bool InitFromNivoml(XMLNode& node) override;

    void AddToKeyTable(KeyTable& table) override;
    void StartAutoswitch();
    void StopAutoswitch();
    bool OnTimer(unsigned long id, std::string& target, int& key) override;
    void StartTimer() override { StartAutoswitch(); }
    void StopTimer() override { StopAutoswitch(); }

    std::string GetHref() const { return m_href; }
    int GetKey() const { return m_key; }

private:
    std::string m_href;
    int m_key = 0;
    int m_duration = 0;
    int m_autoswitch = 0;
};

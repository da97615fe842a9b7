#pragma once
// The page root: head, body, page attributes and the key table of the current div.
// The manager reaches the page only through it.
#include <memory>
#include <optional>
#include <string>

#include "markup/element_roles.h"
#include "markup/nivoml_baseobj.h"

class NIVOML_HEAD;
class NIVOML_BODY;
class NIVOML_FORM;
class NIVOML_SETDATETIMEOBJ;

class NIVOML_MAINOBJ : public NIVOML_BASEOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_MAINOBJ();
    ~NIVOML_MAINOBJ() override;  // stops every element timer of the page first

    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display& display) override;  // keeps the display LED as it was

    void ShowDiv(const std::string& divName);  // select and rebuild the key table
    std::string GetStartDivName() const;
    std::string GetCurrentDivName() const;
    // targets[key] when the key has been held at least its duration, else "".
    std::string GetKeyTarget(int key, double heldSeconds) const;
    void StartTimers();
    void StopTimers();
    bool OnTimer(unsigned long id, std::string& target, int& key);
    // The current div's form for a key (0: its last form); null without one.
    NIVOML_FORM* GetFormForKey(int key) const;
    NIVOML_SETDATETIMEOBJ* GetDateTimeSetter() const;

    std::string GetPageType() const { return m_pagetype; }
    std::string GetAlarmPage() const { return m_alarmpage; }
    std::string GetServicePage() const { return m_servicepage; }
    NIVOML_HEAD* GetHead() const { return m_head.get(); }
    NIVOML_BODY* GetBody() const { return m_body.get(); }

private:
    std::unique_ptr<NIVOML_HEAD> m_head;
    std::unique_ptr<NIVOML_BODY> m_body;
    std::optional<KeyTable> m_keyTable;
    std::string m_pagetype;
    std::string m_alarmpage;
    std::string m_servicepage;
};

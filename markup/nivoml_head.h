#pragma once
// What belongs to the whole page: date and time, links valid on every screen,
// the start div.
#include "markup/element_roles.h"
#include "markup/nivoml_baseobj.h"

class NIVOML_HEAD : public NIVOML_BASELISTOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_HEAD();

    std::string GetStartDivName() const;  // target of the first goto, "" if none
    void AddToKeyTable(KeyTable& table);  // its links, in order
    void StartTimers();
    void StopTimers();
    bool OnTimer(unsigned long id, std::string& target, int& key);
};

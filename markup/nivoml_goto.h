#pragma once
// Names the div a page shows first.
#include "markup/nivoml_baseobj.h"

class NIVOML_GOTO : public NIVOML_BASEOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_GOTO();
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display&) override {}
    std::string GetTarget() const { return m_target; }

private:
    std::string m_target;
};

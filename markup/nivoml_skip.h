#pragma once
// Leaves count empty text cells.
#include "markup/nivoml_baseobj.h"

class NIVOML_SKIP : public NIVOML_BASEOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_SKIP();
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display&) override {}
    int GetCount() const { return m_count; }

private:
    int m_count = 1;
};

#pragma once
// Line break: the next text starts on the next display line.
#include "markup/nivoml_baseobj.h"

class NIVOML_BR : public NIVOML_BASEOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_BR();
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display&) override {}
};

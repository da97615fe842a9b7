#pragma once
// Shows one of the display device's 20 built-in texts.
#include "markup/nivoml_baseobj.h"

class NIVOML_FIXEDTEXT : public NIVOML_BASEOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_FIXEDTEXT();
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display& display) override;

private:
    int m_textnr = -1;
};

#pragma once
// Sets front-panel LEDs (never the display backlight) in the element's mode.
#include "markup/nivoml_baseobj.h"

class NIVOML_LEDS : public NIVOML_BASEOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_LEDS();
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display& display) override;

private:
    unsigned m_leds = 0;
};

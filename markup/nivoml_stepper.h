#pragma once
// A form control for a number stepped between limits; the number blinks,
// right-aligned, and is submitted in decimal.
#include <string>

#include "markup/nivoml_formobj.h"

class NIVOML_STEPPER : public NIVOML_FORMOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_STEPPER();
    // Name set, min < max and min <= init <= max.
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display& display) override;

    int GetWidth() const override;  // digits of the longer limit
    std::string GetValue(NIVO_Display& display) override;
    void ResetCursor() override { m_current = m_init; }
    int IncCursor(NIVO_Display&) override { return -1; }  // no cursor of its own
    void IncData(NIVO_Display& display) override;         // up by step, held within the limits
    void DecData(NIVO_Display& display) override;         // down by step, held within the limits

private:
    void StepBy(long long delta, NIVO_Display& display);

    int m_min = 0;
    int m_max = 0;
    int m_init = 0;
    int m_step = 0;
    int m_current = 0;
};

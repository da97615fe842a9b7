#pragma once
// A form control editing an IPv4 address digit by digit in its 15-cell dotted
// text (000.000.000.000); the digit under the cursor blinks.
#include <array>
#include <cstdint>
#include <string>

#include "markup/nivoml_formobj.h"

class NIVOML_IPINPUT : public NIVOML_FORMOBJ {
public:
    static constexpr int kCells = 15;

    static bool IsTag(const char* tag);
    NIVOML_IPINPUT();
    // Name required; a malformed address is repaired and logged.
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display& display) override;

    int GetWidth() const override { return kCells; }
    std::string GetValue(NIVO_Display& display) override;  // the 15 cells as shown
    void ResetCursor() override;
    // Next digit cell; -2 after the last one (submit now).
    int IncCursor(NIVO_Display& display) override;
    void IncData(NIVO_Display& display) override;  // digit under the cursor up
    void DecData(NIVO_Display& display) override;  // digit under the cursor down

    int GetCursor() const { return m_cursor; }
    std::string GetText() const;  // the dotted text of the octets being edited

private:
    using Octets = std::array<int16_t, 4>;
    void ReadAddress(const std::string& text);
    // Octet and digit place (0 hundreds, 1 tens, 2 units) under the cursor; false off a digit.
    bool DigitUnderCursor(int& octet, int& place) const;
    void StoreOctet(int octet, int value, NIVO_Display& display);

    Octets m_octets{};
    Octets m_initialOctets{};
    int m_cursor = -1;
};

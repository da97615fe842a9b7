#pragma once
// The input control: text fields edited cell by cell through a character mask,
// check boxes and radio buttons, hidden values, and key buttons that bind a
// panel key to a form command.
#include <string>
#include <vector>

#include "markup/nivoml_formobj.h"

class NIVOML_INPUT : public NIVOML_FORMOBJ {
public:
    // State characters, as codes of the display model's text row.
    static constexpr char CHECKBOX_ON = static_cast<char>(0xB1);
    static constexpr char CHECKBOX_OFF = static_cast<char>(0xAF);
    static constexpr char RADIO_ON = static_cast<char>(0xAE);
    static constexpr char RADIO_OFF = 'o';

    // Character classes of a mask entry, appended to a cell's cycle in this order.
    enum MaskBits : int {
        MASK_DIGITS = 0x01,
        MASK_LOWER = 0x02,
        MASK_UPPER = 0x04,
        MASK_SIGNS = 0x08,
        MASK_BLANK = 0x10,
        MASK_CHECKBOX = 0x20,
        MASK_RADIO = 0x40
    };

    static bool IsTag(const char* tag);
    NIVOML_INPUT();
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display& display) override;

    int GetWidth() const override;
    std::string GetValue(NIVO_Display& display) override;
    void ResetCursor() override;
    int IncCursor(NIVO_Display& display) override;
    void IncData(NIVO_Display& display) override;
    void DecData(NIVO_Display&) override {}  // values only step forward

    int GetKey() const { return m_key; }
    // Shows the radio button unchecked; the form clears a radio group with it.
    void Uncheck();

    // Key button types: "submit", "reset", "inccursor", "incdata", "decdata".
    static bool IsCommandType(const std::string& type);
    // The characters a cell with these mask bits steps through; rangeDigit cuts the digits.
    static std::string CharacterCycle(int bits, int rangeDigit);

private:
    bool IsEditable() const;  // text, checkbox or radio
    bool InitTextField(const std::string& maskText);
    void InitStateField(int stateBit);
    bool StateShown(NIVO_Display& display, char onCharacter) const;

    std::string m_value;
    std::string m_initialValue;
    std::string m_range;
    int m_key = 0;
    int m_cursor = -1;
    bool m_checked = false;
    std::vector<int> m_mask;
};

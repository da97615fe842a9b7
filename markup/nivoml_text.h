#pragma once
// One run of character data, written at its display cell.
#include "markup/nivoml_baseobj.h"

class NIVOML_TEXT : public NIVOML_BASEOBJ {
public:
    NIVOML_TEXT();
    bool InitFromNivoml(XMLNode& parent) override;  // reads the parent's run number text index
    void Draw(NIVO_Display& display) override;

    void SetPosition(int position);  // 1..21 taken, others ignored
    void SetTextIndex(int index);    // above 0 taken, others ignored
    std::string GetText() const { return m_text; }
    int GetPosition() const { return m_position; }

private:
    std::string m_text;
    int m_position = 0;
    int m_textIndex = 0;
};

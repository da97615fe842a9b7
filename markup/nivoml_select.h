#pragma once
// A form control stepping through fixed choices (its option children); the
// choice on show blinks and its value is submitted.
#include <string>

#include "markup/nivoml_formobj.h"

class NIVOML_OPTION;

class NIVOML_SELECT : public NIVOML_FORMOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_SELECT();
    // Name and at least one option.
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display& display) override;
    // Keeps option children only.
    void AddChild(std::unique_ptr<NIVOML_BASEOBJ> child) override;

    int GetWidth() const override { return m_width; }
    std::string GetValue(NIVO_Display& display) override;
    void ResetCursor() override;
    int IncCursor(NIVO_Display&) override { return -1; }  // no cursor of its own
    void IncData(NIVO_Display& display) override;         // next option, stops at the last
    void DecData(NIVO_Display& display) override;         // previous option, stops at the first

    int GetSelected() const { return m_selected; }

private:
    const NIVOML_OPTION* SelectedOption() const;
    int OptionCount() const { return static_cast<int>(m_children.size()); }

    int m_selected = 0;
    int m_initialSelected = 0;
    int m_optionCount = 0;
    int m_width = 0;
};

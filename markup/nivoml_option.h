#pragma once
// One choice of a select: the value it submits and the text it shows.
#include <string>

#include "markup/nivoml_baseobj.h"

class NIVOML_OPTION : public NIVOML_BASEOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_OPTION();
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display&) override {}  // the select draws for it

    std::string GetValue() const { return m_value; }
    // The readout attribute, or the value when the page gave none.
    std::string GetReadout() const { return m_readout.empty() ? m_value : m_readout; }
    bool IsSelected() const { return m_selected; }

private:
    std::string m_value;
    bool m_selected = false;
    std::string m_readout;
};

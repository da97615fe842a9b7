#pragma once
// Edits the date on the date cells of the seven-segment field.
#include "markup/nivoml_setdatetimeobj.h"

class NIVOML_SETDATE : public NIVOML_SETDATETIMEOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_SETDATE();

    void Draw(NIVO_Display& display) override;
    int IncCursor(NIVO_Display& display) override;

protected:
    bool IsAcceptedFormat(const std::string& format) const override;
};

#pragma once
// Edits time and date together across the whole seven-segment field.
#include "markup/nivoml_setdatetimeobj.h"

class NIVOML_SETDATETIME : public NIVOML_SETDATETIMEOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_SETDATETIME();

    void Draw(NIVO_Display& display) override;
    int IncCursor(NIVO_Display& display) override;

protected:
    bool IsAcceptedFormat(const std::string& format) const override;
};

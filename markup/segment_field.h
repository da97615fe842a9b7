#pragma once
// Shared by date and time: a live clock or a fixed text in one part of the
// seven-segment field, optionally with that part's symbols.
#include <string>

#include "markup/nivoml_baseobj.h"

class SegmentFieldElement : public NIVOML_BASEOBJ {
public:
    struct Field {
        const char* label;              // "Date" / "Time" in the log texts
        const char* formatA;            // the two accepted live formats
        const char* formatB;
        const char* formatMessage;      // logged when neither text nor a valid format
        int firstCell;                  // field cell of position 0
        int width;                      // cells of this part
        unsigned symbols;               // symbols shown with the attribute symbols
        bool isDate;
    };

    explicit SegmentFieldElement(const Field& field);
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display& display) override;

private:
    const Field& m_field;
    std::string m_text;
    std::string m_format;
    int m_position = 0;
    bool m_symbols = false;
};

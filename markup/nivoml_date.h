#pragma once
// The date part of the seven-segment field (cells 4..9): live date or a text.
#include "markup/segment_field.h"

class NIVOML_DATE : public SegmentFieldElement {
public:
    static bool IsTag(const char* tag);
    NIVOML_DATE();
};

#pragma once
// The time part of the seven-segment field (cells 0..3): live time or a text.
#include "markup/segment_field.h"

class NIVOML_TIME : public SegmentFieldElement {
public:
    static bool IsTag(const char* tag);
    NIVOML_TIME();
};

#include "markup/nivoml_time.h"

#include <cstring>

#include "markup/element_factory.h"
#include "util/utilities.h"

NIVOML_REGISTER_ELEMENT(NIVOML_TIME)

namespace {
const SegmentFieldElement::Field kTimeField = {
    "Time", "%I%M", "%H%M", "Ung\xfcltiges Format.\ngueltig=\"%I%M\" | \"%H%M\"",
    0,      4,      TIME | COLON, false};
}

bool NIVOML_TIME::IsTag(const char* tag) { return std::strcmp(tag, "time") == 0; }

NIVOML_TIME::NIVOML_TIME() : SegmentFieldElement(kTimeField) { m_name = "time"; }

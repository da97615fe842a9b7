#include "markup/nivoml_date.h"

#include <cstring>

#include "markup/element_factory.h"
#include "util/utilities.h"

NIVOML_REGISTER_ELEMENT(NIVOML_DATE)

namespace {
const SegmentFieldElement::Field kDateField = {
    "Date", "%d%m%y", "%y%m%d", "Ung\xfcltiges Format.\ngueltig=\"%d%m%y\" | \"%y%m%d\"",
    4,      6,        DATE | DATE_P2 | DATE_P1, true};
}

bool NIVOML_DATE::IsTag(const char* tag) { return std::strcmp(tag, "date") == 0; }

NIVOML_DATE::NIVOML_DATE() : SegmentFieldElement(kDateField) { m_name = "date"; }

#include "markup/nivoml_leds.h"

#include <cstring>

#include "markup/element_factory.h"
#include "panel/nivo_display.h"
#include "util/utilities.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_LEDS)

bool NIVOML_LEDS::IsTag(const char* tag) { return std::strcmp(tag, "leds") == 0; }

NIVOML_LEDS::NIVOML_LEDS() { m_name = "leds"; }

bool NIVOML_LEDS::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    std::optional<std::string> names = node.getAttribute("s");
    if (!names) return false;
    m_leds = ParseLedNames(*names);
    ClearBits(m_leds, LED_DISPLAY);  // the backlight belongs to the manager
    return true;
}

void NIVOML_LEDS::Draw(NIVO_Display& display) {
    display.SetLed(m_leds, m_mode);
}

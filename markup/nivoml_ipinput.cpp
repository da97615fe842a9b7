#include "markup/nivoml_ipinput.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "markup/element_factory.h"
#include "panel/nivo_display.h"
#include "util/conversions.h"
#include "util/logger.h"
#include "util/xml_node.h"

NIVOML_REGISTER_ELEMENT(NIVOML_IPINPUT)

namespace {
bool IsDotCell(int cell) {
    return cell == 3 || cell == 7 || cell == 11;
}

int StepUp(int value, int place) {
    switch (place) {
        case 0:
            return value == 255 ? 55 : value + 100;
        case 1:
            value = value / 100 == (value + 10) / 100 ? value + 10 : value - 90;
            return value == 265 ? 205 : value;
        default:
            value = value / 10 == (value + 1) / 10 ? value + 1 : value - 9;
            return value == 256 ? 250 : value;
    }
}

int StepDown(int value, int place) {
    switch (place) {
        case 0:
            return value == 0 ? 200 : value - 100;
        case 1:
            value = value / 100 == (value - 10) / 100 ? value - 10 : value + 90;
            return value == -10 ? 90 : value;
        default:
            value = value / 10 == (value - 1) / 10 ? value - 1 : value + 9;
            return value == -1 ? 9 : value;
    }
}

int ToOctetRange(int value) {
    return value > 255 ? 255 : (value < 0 ? 0 : value);
}
}  // namespace

bool NIVOML_IPINPUT::IsTag(const char* tag) {
    return std::strcmp(tag, "ipinput") == 0;
}

NIVOML_IPINPUT::NIVOML_IPINPUT() {
    m_name = "ipinput";
}

bool NIVOML_IPINPUT::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    if (!NIVOML_FORMOBJ::InitFromNivoml(node)) {
        Logger::Log(Logger::Error, "Name nicht gesetzt");
        return false;
    }
    std::string text = node.getAttribute("value").value_or("");
    if (text.empty()) text = "0.0.0.0";
    ReadAddress(text);
    return true;
}

void NIVOML_IPINPUT::ReadAddress(const std::string& text) {
    const std::vector<std::string> parts = SplitString(text, ".");
    const int count = static_cast<int>(parts.size());
    if (count != 4) {
        Logger::Log(Logger::Warning, "IP '%s' hat keine vier Bereiche (%i)", text.c_str(), count);
    }
    for (int i = 0; i < 4 && i < count; ++i) {
        const int value = StrToInt(parts[i]);
        if (value != ToOctetRange(value)) {
            Logger::Log(Logger::Warning, "IP '%s' au\xdf" "erhalb des g\xfcltigen Bereichs von 0..255 (%i)",
                        text.c_str(), value);
        }
        m_initialOctets[i] = m_octets[i] = static_cast<int16_t>(ToOctetRange(value));
    }
}

std::string NIVOML_IPINPUT::GetText() const {
    char text[32];  // sized for any int16, so the format checker sees no truncation
    std::snprintf(text, sizeof text, "%03d.%03d.%03d.%03d", m_octets[0], m_octets[1], m_octets[2],
                  m_octets[3]);
    return std::string(text, kCells);
}

void NIVOML_IPINPUT::Draw(NIVO_Display& display) {
    const std::string text = GetText();
    display.WriteText(text, MODE_ON, m_position);
    if (m_cursor >= 0 && m_cursor < kCells) {
        display.WriteText(text.substr(m_cursor, 1), MODE_BLINK, m_position + m_cursor);
    }
}

std::string NIVOML_IPINPUT::GetValue(NIVO_Display& display) {
    return display.GetText(m_position, kCells);
}

void NIVOML_IPINPUT::ResetCursor() {
    m_octets = m_initialOctets;
    m_cursor = -1;
}

int NIVOML_IPINPUT::IncCursor(NIVO_Display& display) {
    ++m_cursor;
    if (IsDotCell(m_cursor)) ++m_cursor;
    if (m_cursor < kCells) {
        Draw(display);
        return m_cursor;
    }
    m_cursor = -2;
    return -2;
}

void NIVOML_IPINPUT::IncData(NIVO_Display& display) {
    int octet = 0;
    int place = 0;
    if (!DigitUnderCursor(octet, place)) return;
    StoreOctet(octet, StepUp(m_octets[octet], place), display);
}

void NIVOML_IPINPUT::DecData(NIVO_Display& display) {
    int octet = 0;
    int place = 0;
    if (!DigitUnderCursor(octet, place)) return;
    StoreOctet(octet, StepDown(m_octets[octet], place), display);
}

bool NIVOML_IPINPUT::DigitUnderCursor(int& octet, int& place) const {
    if (m_cursor < 0 || m_cursor >= kCells || IsDotCell(m_cursor)) return false;
    octet = m_cursor / 4;
    place = m_cursor % 4;
    return true;
}

void NIVOML_IPINPUT::StoreOctet(int octet, int value, NIVO_Display& display) {
    m_octets[octet] = static_cast<int16_t>(ToOctetRange(value));
    Draw(display);
}

#include "markup/segment_field.h"

#include "panel/nivo_display.h"
#include "util/conversions.h"
#include "util/logger.h"
#include "util/xml_node.h"

SegmentFieldElement::SegmentFieldElement(const Field& field) : m_field(field) {}

bool SegmentFieldElement::InitFromNivoml(XMLNode& node) {
    if (node.isEmpty()) return false;
    std::optional<std::string> format = node.getAttribute("format");
    std::optional<std::string> text = node.getAttribute("text");
    std::optional<std::string> pos = node.getAttribute("pos");
    m_symbols = node.isAttributeSet("symbols");
    if (format) m_format = *format;
    if (text) {
        m_text = *text;
    } else if (m_format != m_field.formatA && m_format != m_field.formatB) {
        Logger::Log(Logger::Error, "%s", m_field.formatMessage);
        return false;
    }
    if (pos) m_position = StrToInt(*pos);
    const int lastPosition = m_field.width - 1;
    if (static_cast<unsigned>(m_position) > static_cast<unsigned>(lastPosition)) {
        Logger::Log(Logger::Error,
                    "Position f\xfcr %s-Text liegt ausserhalb des gueltigen Bereichs.\ngueltig=0..%i",
                    m_field.label, lastPosition);
        return false;
    }
    if (static_cast<int>(m_text.size()) + m_position > m_field.width) {
        Logger::Log(Logger::Warning, "Text ist zu lang fuer das %s-Feld. String wird gekuerzt.",
                    m_field.label);
        m_text.resize(m_field.width - m_position);
    }
    return true;
}

void SegmentFieldElement::Draw(NIVO_Display& display) {
    if (!m_format.empty()) {
        if (m_field.isDate) {
            display.ShowDateTime(m_format, "", m_mode);
        } else {
            display.ShowDateTime("", m_format, m_mode);
        }
    } else if (!m_text.empty()) {
        display.WriteSegText(m_text, m_mode, m_field.firstCell + m_position);
    }
    if (m_symbols) display.SetSymbols(m_field.symbols, m_mode);
}

#include "util/xml_node.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <pugixml.hpp>
#include <vector>

#include "util/logger.h"

struct XMLNode::Document {
    pugi::xml_document xml;
};

namespace {

// Our own code, one past pugixml's last status.
constexpr int kErrorMissingTag = pugi::status_no_document_element + 1;

// pugixml hands out UTF-8; we hand out one byte per character. Anything that does not
// fit into ISO-8859-1 (a character reference like &#8364;) becomes '?'.
std::string ToLatin1(const char* utf8) {
    std::string out;
    if (utf8 == nullptr) return out;
    out.reserve(std::strlen(utf8));
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p != 0) {
        unsigned char lead = *p;
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++p;
            continue;
        }
        int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        int taken = 1;
        while (taken < length && (p[taken] & 0xC0) == 0x80) ++taken;
        bool latin1 = length == 2 && taken == 2 && lead >= 0xC2 && lead <= 0xC3;
        out += latin1 ? static_cast<char>(((lead & 0x1F) << 6) | (p[1] & 0x3F)) : '?';
        p += taken;
    }
    return out;
}

std::string ToUtf8(const char* latin1) {
    std::string out;
    for (const char* c = latin1; *c != 0; ++c) {
        auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x80) {
            out += *c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

// Appends the character as UTF-8, as pugixml would have; past Latin-1 it can only
// become '?' on the way out, so it becomes that now.
void AppendCharacter(unsigned long code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code <= 0xFF) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += '?';
    }
}

// Reads the reference at text (just past the '&'); its length up to and including
// the ';', or 0 when it is none (the '&' then stays as it is).
size_t ReadReference(const char* text, unsigned long& code) {
    static const struct {
        const char* name;
        char character;
    } kNamed[] = {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}};
    for (const auto& named : kNamed) {
        const size_t length = std::strlen(named.name);
        if (std::strncmp(text, named.name, length) == 0) {
            code = static_cast<unsigned char>(named.character);
            return length;
        }
    }
    if (text[0] != '#') return 0;
    const bool hex = text[1] == 'x';
    size_t i = hex ? 2 : 1;
    const size_t firstDigit = i;
    code = 0;
    for (;; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
            digit = (c | 0x20) - 'a' + 10;
        } else {
            break;
        }
        code = std::min(code * (hex ? 16 : 10) + digit, 0x110000UL);  // saturate past Unicode
    }
    if (i == firstDigit || text[i] != ';') return 0;
    return i + 1;
}

// pugixml would write a reference to character 0 as a NUL into its C string and
// so cut the value there; we decode references ourselves and drop only that one.
// True when such a reference was dropped.
bool DecodeReferences(const char* text, std::string& out) {
    bool droppedZero = false;
    for (const char* c = text; *c != 0; ++c) {
        unsigned long code = 0;
        const size_t length = *c == '&' ? ReadReference(c + 1, code) : 0;
        if (length == 0) {
            out += *c;
            continue;
        }
        if (code == 0) {
            droppedZero = true;
        } else {
            AppendCharacter(code, out);
        }
        c += length;
    }
    return droppedZero;
}

template <typename Item>
void DecodeValue(Item item) {
    if (std::strchr(item.value(), '&') == nullptr) return;
    std::string decoded;
    if (DecodeReferences(item.value(), decoded)) {
        Logger::Log(Logger::Warning, "XMLNode: Zeichenreferenz auf 0 entfernt");
    }
    item.set_value(decoded.c_str());
}

// Iterative, so that deeply nested input cannot exhaust the stack.
void DecodeAllReferences(pugi::xml_document& document) {
    pugi::xml_node node = document.first_child();
    while (node) {
        if (node.type() == pugi::node_pcdata) DecodeValue(node);
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
            DecodeValue(a);
        }
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling()) {
            node = node.parent();
            if (node == document) return;
        }
        if (node) node = node.next_sibling();
    }
}

bool IsTextRun(pugi::xml_node node) {
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

pugi::xml_node NodeOf(void* node) {
    return pugi::xml_node(static_cast<pugi::xml_node_struct*>(node));
}

pugi::xml_attribute AttributeOf(void* attribute) {
    return pugi::xml_attribute(static_cast<pugi::xml_attribute_struct*>(attribute));
}

// Iterative, so that deeply nested input cannot exhaust the stack.
pugi::xml_node FindFirstElement(const pugi::xml_document& document, const std::string& name) {
    pugi::xml_node node = document.first_child();
    while (node) {
        if (node.type() == pugi::node_element && name == node.name()) return node;
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling()) {
            node = node.parent();
            if (node == document) return pugi::xml_node();
        }
        if (node) node = node.next_sibling();
    }
    return pugi::xml_node();
}

bool IsNameStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c == ':' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
    return IsNameStart(c) || std::isdigit(c) || c == '-' || c == '.';
}
bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Pages write flags as attributes without a value (<date symbols format="%d%m%y"/>), which
// XML does not allow. Gives each such attribute an empty value; anything else, including
// malformed markup, is left for the parser to judge. Marks the bytes it inserted.
bool AddMissingAttributeValues(const std::string& text, std::string& out,
                               std::vector<bool>& inserted) {
    const size_t n = text.size();
    std::vector<size_t> at;  // insert positions in text
    size_t i = 0;
    auto skipPast = [&](const char* terminator) {
        size_t end = text.find(terminator, i);
        i = end == std::string::npos ? n : end + std::strlen(terminator);
    };
    while ((i = text.find('<', i)) != std::string::npos) {
        ++i;
        if (text.compare(i, 3, "!--") == 0) {
            skipPast("-->");
        } else if (text.compare(i, 8, "![CDATA[") == 0) {
            skipPast("]]>");
        } else if (i < n && (text[i] == '?' || text[i] == '!' || text[i] == '/')) {
            skipPast(">");
        } else if (i < n && IsNameStart(text[i])) {
            while (i < n && IsNameChar(text[i])) ++i;  // the element's name
            for (;;) {
                while (i < n && IsBlank(text[i])) ++i;
                if (i >= n || !IsNameStart(text[i])) break;  // end of tag, or malformed
                while (i < n && IsNameChar(text[i])) ++i;
                size_t afterName = i;
                while (i < n && IsBlank(text[i])) ++i;
                if (i >= n || text[i] != '=') {
                    at.push_back(afterName);
                    continue;
                }
                ++i;
                while (i < n && IsBlank(text[i])) ++i;
                if (i >= n || (text[i] != '"' && text[i] != '\'')) break;
                size_t close = text.find(text[i], i + 1);
                if (close == std::string::npos) break;
                i = close + 1;
            }
        }
    }
    if (at.empty()) return false;
    out.reserve(n + 3 * at.size());
    inserted.reserve(n + 3 * at.size());
    size_t from = 0;
    for (size_t pos : at) {
        out.append(text, from, pos - from);
        inserted.insert(inserted.end(), pos - from, false);
        out += "=\"\"";
        inserted.insert(inserted.end(), 3, true);
        from = pos;
    }
    out.append(text, from, std::string::npos);
    inserted.insert(inserted.end(), n - from, false);
    return true;
}

// The error offset counts bytes of pugixml's UTF-8 copy of the Latin-1 input, where every
// byte of 0x80 and above took two; bytes we inserted do not count for the page's author.
void SetErrorPosition(const std::string& text, const std::vector<bool>& inserted, ptrdiff_t offset,
                      XMLResults* results) {
    results->nLine = 1;
    results->nColumn = 1;
    ptrdiff_t converted = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (converted >= offset) break;
        converted += static_cast<unsigned char>(c) < 0x80 ? 1 : 2;
        if (i < inserted.size() && inserted[i]) continue;
        if (c == '\n') {
            ++results->nLine;
            results->nColumn = 1;
        } else {
            ++results->nColumn;
        }
    }
}

}  // namespace

XMLNode::XMLNode() = default;
XMLNode::~XMLNode() = default;
XMLNode::XMLNode(const XMLNode&) = default;
XMLNode& XMLNode::operator=(const XMLNode&) = default;

XMLNode::XMLNode(std::shared_ptr<Document> document, void* node)
    : m_document(std::move(document)), m_node(node) {}

XMLNode XMLNode::parseString(const std::string& text, const char* tag, XMLResults* results) {
    XMLResults local;
    XMLResults& out = results != nullptr ? *results : local;
    out = XMLResults();
    auto document = std::make_shared<Document>();
    std::string completed;
    std::vector<bool> inserted;
    const std::string& source =
        AddMissingAttributeValues(text, completed, inserted) ? completed : text;
    pugi::xml_parse_result parsed = document->xml.load_buffer(
        source.data(), source.size(), pugi::parse_default & ~pugi::parse_escapes,
        pugi::encoding_latin1);
    if (!parsed) {
        out.error = parsed.status;
        SetErrorPosition(source, inserted, parsed.offset, &out);
        return XMLNode();
    }
    DecodeAllReferences(document->xml);
    pugi::xml_node found = FindFirstElement(document->xml, ToUtf8(tag != nullptr ? tag : ""));
    if (!found) {
        out.error = kErrorMissingTag;
        return XMLNode();
    }
    return XMLNode(std::move(document), found.internal_object());
}

const char* XMLNode::getError(int code) {
    if (code == kErrorMissingTag) return "required element not found";
    if (code < pugi::status_ok || code > pugi::status_no_document_element) return "unknown error";
    pugi::xml_parse_result result;
    result.status = static_cast<pugi::xml_parse_status>(code);
    return result.description();
}

bool XMLNode::isTagMismatch(int code) {
    return code == pugi::status_end_element_mismatch;
}

bool XMLNode::isEmpty() const {
    return m_node == nullptr;
}

std::string XMLNode::getName() const {
    return ToLatin1(NodeOf(m_node).name());
}

std::optional<std::string> XMLNode::getAttribute(const char* name, int index) const {
    if (m_node == nullptr || name == nullptr || index < 0) return std::nullopt;
    std::string wanted = ToUtf8(name);
    for (pugi::xml_attribute a = NodeOf(m_node).first_attribute(); a; a = a.next_attribute()) {
        if (wanted == a.name() && index-- == 0) return ToLatin1(a.value());
    }
    return std::nullopt;
}

bool XMLNode::isAttributeSet(const char* name) const {
    return getAttribute(name).has_value();
}

int XMLNode::nElement() const {
    countContents();
    return m_itemCount;
}

XMLNode::Contents XMLNode::enumContents(int i) const {
    Contents contents;
    void* item = itemAt(i);
    if (item == nullptr) return contents;
    if (i < m_attributeCount) {
        contents.type = eNodeAttribute;
        contents.text = ToLatin1(AttributeOf(item).name());
        return contents;
    }
    pugi::xml_node node = NodeOf(item);
    if (node.type() == pugi::node_element) {
        contents.type = eNodeChild;
        contents.child = XMLNode(m_document, item);
    } else if (IsTextRun(node)) {
        contents.type = eNodeText;
        contents.text = ToLatin1(node.value());
    }
    return contents;
}

XMLNode XMLNode::getChildNode(const char* name, int index) const {
    if (m_node == nullptr || name == nullptr || index < 0) return XMLNode();
    std::string wanted = ToUtf8(name);
    for (pugi::xml_node c = NodeOf(m_node).first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && wanted == c.name() && index-- == 0) {
            return XMLNode(m_document, c.internal_object());
        }
    }
    return XMLNode();
}

int XMLNode::nText() const {
    countContents();
    return m_textCount;
}

std::optional<std::string> XMLNode::getText(int i) const {
    void* run = textAt(i);
    if (run == nullptr) return std::nullopt;
    return ToLatin1(NodeOf(run).value());
}

long XMLNode::getOffset() const {
    if (m_node == nullptr) return -1;
    const ptrdiff_t name = NodeOf(m_node).offset_debug();
    return name > 0 ? static_cast<long>(name - 1) : -1;  // the '<' before the name
}

long XMLNode::getTextOffset(int i) const {
    void* run = textAt(i);
    return run == nullptr ? -1 : static_cast<long>(NodeOf(run).offset_debug());
}

XMLPositions::XMLPositions(const std::string& text) {
    if (!AddMissingAttributeValues(text, m_source, m_inserted)) m_source = text;
    long offset = 0;
    m_lines.push_back({0, 0});
    for (size_t i = 0; i < m_source.size(); ++i) {
        offset += static_cast<unsigned char>(m_source[i]) < 0x80 ? 1 : 2;
        if (m_source[i] == '\n') m_lines.push_back({offset, i + 1});
    }
}

bool XMLPositions::Locate(long offset, int& line, int& column) const {
    if (offset < 0) return false;
    auto after = std::upper_bound(m_lines.begin(), m_lines.end(), offset,
                                  [](long value, const Line& l) { return value < l.offset; });
    const Line& start = *(after - 1);  // the first line starts at 0, so there is one
    line = static_cast<int>(after - m_lines.begin());
    column = 1;
    long converted = start.offset;
    for (size_t i = start.index; i < m_source.size() && converted < offset; ++i) {
        converted += static_cast<unsigned char>(m_source[i]) < 0x80 ? 1 : 2;
        if (i >= m_inserted.size() || !m_inserted[i]) ++column;
    }
    return true;
}

void XMLNode::countContents() const {
    if (m_itemCount >= 0) return;
    m_attributeCount = m_itemCount = m_textCount = 0;
    pugi::xml_node node = NodeOf(m_node);
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        ++m_attributeCount;
    }
    m_itemCount = m_attributeCount;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        ++m_itemCount;
        if (IsTextRun(c)) ++m_textCount;
    }
}

// Items are the attributes followed by the children; walks on from the cursor when it can.
void* XMLNode::itemAt(int i) const {
    countContents();
    if (i < 0 || i >= m_itemCount) return nullptr;
    if (m_itemCursor.index < 0 || m_itemCursor.index > i) {
        pugi::xml_node node = NodeOf(m_node);
        m_itemCursor.index = 0;
        m_itemCursor.item = m_attributeCount > 0
                                ? static_cast<void*>(node.first_attribute().internal_object())
                                : static_cast<void*>(node.first_child().internal_object());
    }
    while (m_itemCursor.index < i) {
        int k = m_itemCursor.index++;
        if (k + 1 < m_attributeCount) {
            m_itemCursor.item = AttributeOf(m_itemCursor.item).next_attribute().internal_object();
        } else if (k + 1 == m_attributeCount) {
            m_itemCursor.item = NodeOf(m_node).first_child().internal_object();
        } else {
            m_itemCursor.item = NodeOf(m_itemCursor.item).next_sibling().internal_object();
        }
    }
    return m_itemCursor.item;
}

void* XMLNode::textAt(int i) const {
    countContents();
    if (i < 0 || i >= m_textCount) return nullptr;
    if (m_textCursor.index < 0 || m_textCursor.index > i) {
        pugi::xml_node run = NodeOf(m_node).first_child();
        while (!IsTextRun(run)) run = run.next_sibling();
        m_textCursor = Cursor{0, run.internal_object()};
    }
    while (m_textCursor.index < i) {
        pugi::xml_node run = NodeOf(m_textCursor.item).next_sibling();
        while (!IsTextRun(run)) run = run.next_sibling();
        m_textCursor = Cursor{m_textCursor.index + 1, run.internal_object()};
    }
    return m_textCursor.item;
}

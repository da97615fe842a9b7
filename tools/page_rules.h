#pragma once
// What the program reads from a page, as a table per element (attribute, kind,
// meaning), and the checks that compare a page's elements, values, text runs and
// bytes against it. Each finding says what the panel will show and how to fix it.
#include <optional>
#include <string>
#include <vector>

class XMLNode;

struct PageFinding {
    long offset = -1;     // parser offset (XMLNode::getOffset), or -1
    int line = 0;         // from 1; filled from offset, or by the raw-text scans
    int column = 0;       // from 1, counting bytes
    bool error = false;   // the page is rejected, or something written is lost
    std::string message;  // ISO-8859-1; the printer escapes control bytes
};

enum class AttributeKind {
    Text,      // taken as written
    Integer,   // a whole number; the program reads the leading digits, else 0
    Flag,      // only its presence counts
    LedNames,  // LED names joined by |
    Mask,      // comma-separated whole numbers
    Digits,    // one digit per character
    Address,   // a dotted IPv4 address
};

struct AttributeRule {
    const char* name;
    AttributeKind kind;
    const char* meaning;  // what the value is, with unit and example
};

struct ElementRule {
    const char* tag;
    std::vector<AttributeRule> attributes;
};

// Every element the program knows, with every attribute it reads.
const std::vector<ElementRule>& ElementRules();
const ElementRule* FindElementRule(const std::string& tag);
// The known name closest to name, or "" when none is close.
std::string NearestName(const std::string& name, const std::vector<std::string>& known);

// Unknown attributes and values that do not read as meant.
void CheckAttributes(const XMLNode& node, std::vector<PageFinding>& findings);
// Why the program drops node (the caller knows it does), with the fix.
std::string WhyDropped(const XMLNode& node);
// Line feeds, tabs and other control characters in one text run.
void CheckTextRun(const std::string& text, long offset, std::vector<PageFinding>& findings);
// Scans the page's bytes: UTF-8, the declared encoding, references past
// ISO-8859-1 and entities the program does not know. Fills line and column.
std::vector<PageFinding> CheckEncoding(const std::string& pageText);
// Whether text holds a UTF-8 sequence of two or more bytes.
bool HoldsUtf8(const std::string& text);

// A closing tag at line and column (from 1) of page that names another element than the
// one still open: both names, and where the open one's '<' stands in page.
struct TagMismatch {
    std::string closing;
    std::string open;
    size_t openAt;
    bool closesOuter;  // the closing tag's element is open further out
};
std::optional<TagMismatch> FindTagMismatch(const std::string& page, int line, int column);

#include "tools/page_rules.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/http_text.h"
#include "util/conversions.h"
#include "util/utilities.h"
#include "util/xml_node.h"

namespace {

using K = AttributeKind;

const char* const kKey = "a key code 1..7 (keys 1, 2, 3 are 1, 2, 4; combinations add up)";
const char* const kMs = "milliseconds";

std::vector<ElementRule> MakeRules() {
    const std::vector<AttributeRule> setter = {
        {"inccursorkey", K::Integer, kKey}, {"incdatakey", K::Integer, kKey},
        {"decdatakey", K::Integer, kKey},   {"autosubmit", K::Integer, kMs},
        {"format", K::Text, ""},            {"goto", K::Text, ""}};
    const std::vector<AttributeRule> segments = {
        {"format", K::Text, ""}, {"text", K::Text, ""}, {"pos", K::Integer, "a cell of the field"},
        {"symbols", K::Flag, ""}};
    return {
        {"nivoml", {{"pagetype", K::Text, ""}, {"alarmpage", K::Text, ""},
                    {"servicepage", K::Text, ""}}},
        {"head", {}},
        {"body", {}},
        {"div", {{"name", K::Text, ""}}},
        {"a", {{"href", K::Text, ""}, {"key", K::Integer, kKey},
               {"duration", K::Integer, "whole seconds the key must be held"},
               {"autoswitch", K::Integer, kMs}}},
        {"goto", {{"div", K::Text, ""}}},
        {"blink", {}},
        {"blink_inv", {}},
        {"on", {}},
        {"off", {}},
        {"date", segments},
        {"time", segments},
        {"skip", {{"count", K::Integer, "the number of empty cells"}}},
        {"br", {}},
        {"form", {{"action", K::Text, ""}, {"method", K::Text, ""}, {"enctype", K::Text, ""},
                  {"autosubmit", K::Integer, kMs}, {"dontreload", K::Flag, ""}}},
        {"input", {{"type", K::Text, ""}, {"name", K::Text, ""}, {"value", K::Text, ""},
                   {"checked", K::Flag, ""}, {"mask", K::Mask, ""}, {"range", K::Digits, ""},
                   {"key", K::Integer, kKey}}},
        {"select", {{"name", K::Text, ""}}},
        {"option", {{"value", K::Text, ""}, {"readout", K::Text, ""}, {"selected", K::Flag, ""}}},
        {"stepper", {{"name", K::Text, ""}, {"min", K::Integer, "the lowest value"},
                     {"max", K::Integer, "the highest value"},
                     {"init", K::Integer, "the first value"},
                     {"step", K::Integer, "the change per key press"}}},
        {"ipinput", {{"name", K::Text, ""}, {"value", K::Address, ""}}},
        {"setdate", setter},
        {"settime", setter},
        {"setdatetime", setter},
        {"leds", {{"s", K::LedNames, ""}}},
        {"fixedtext", {{"textnr", K::Integer, "the number of a built-in text, 0..19"}}},
        {"counter", {{"from", K::Integer, "the first value"}, {"to", K::Integer, "the last value"},
                     {"step", K::Integer, "the change per second"}}},
    };
}

// Edits between two names, a swap of neighbours counting as one.
size_t Distance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

std::string Quoted(const std::string& text) {
    return "\"" + (text.size() <= 24 ? text : text.substr(0, 21) + "...") + "\"";
}

std::string Join(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
    return out;
}

std::vector<std::string> AttributeNames(const ElementRule& rule) {
    std::vector<std::string> names;
    for (const AttributeRule& attribute : rule.attributes) names.push_back(attribute.name);
    return names;
}

bool IsWholeNumber(const std::string& text) {
    size_t i = text.size() > 0 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size() || text.size() - i > 10) return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    const long long value = std::stoll(text);
    return value >= INT_MIN && value <= INT_MAX;
}

std::string Element(const XMLNode& node) {
    return "<" + node.getName() + ">";
}

void Add(std::vector<PageFinding>& findings, const XMLNode& node, bool error,
         const std::string& message) {
    PageFinding finding;
    finding.offset = node.getOffset();
    finding.error = error;
    finding.message = message;
    findings.push_back(std::move(finding));
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsFalseWord(const std::string& text) {
    const std::string value = Lower(text);
    return value == "false" || value == "0" || value == "no" || value == "off";
}

const char* const kLedNames[] = {"LED_POWER", "LED_STATUS_A", "LED_STATUS_B", "LED_DISPLAY"};

void CheckLedNames(const XMLNode& node, const std::string& value,
                   std::vector<PageFinding>& findings) {
    const std::vector<std::string> known(std::begin(kLedNames), std::end(kLedNames));
    for (const std::string& name : SplitString(value, "|")) {
        if (name == "LED_DISPLAY") {
            Add(findings, node, false,
                "<leds>: LED_DISPLAY is the backlight, which the program keeps for itself: it "
                "ignores the name; leave it out");
        } else if (std::find(known.begin(), known.end(), name) == known.end()) {
            const std::string near = NearestName(name, known);
            Add(findings, node, false,
                "<leds>: " + Quoted(name) + " is no LED name, the program ignores it" +
                    (near.empty() ? "" : " (did you mean " + near + "?)") +
                    "; the names are LED_POWER, LED_STATUS_A, LED_STATUS_B joined by |");
        }
    }
}

void CheckMask(const XMLNode& node, const std::string& mask, std::vector<PageFinding>& findings) {
    std::vector<std::string> pieces = SplitString(mask, ",");
    if (!pieces.empty() && pieces.back().empty()) pieces.pop_back();
    for (const std::string& piece : pieces) {
        if (!IsWholeNumber(piece)) {
            Add(findings, node, false,
                "<input>: mask entry " + Quoted(piece) + " is not a whole number, so the program "
                "reads " + std::to_string(StrToInt(piece)) + " for its cell; an entry adds 1 for "
                "digits, 2 a-z, 4 A-Z, 8 +-*/_, 16 a blank (0: the cell is fixed)");
        }
    }
    const std::string value = node.getAttribute("value").value_or("");
    if (node.getAttribute("type") == "text" && pieces.size() != value.size()) {
        Add(findings, node, false,
            "<input>: mask has " + std::to_string(pieces.size()) + " entries for a value of " +
                std::to_string(value.size()) + " characters: the program " +
                (pieces.size() > value.size() ? "drops the extra entries"
                                              : "fixes the cells without an entry") +
                "; give one entry per character of value");
    }
}

void CheckAddress(const XMLNode& node, const std::string& value,
                  std::vector<PageFinding>& findings) {
    const std::vector<std::string> parts = SplitString(value.empty() ? "0.0.0.0" : value, ".");
    bool good = parts.size() == 4;
    int octets[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < parts.size() && i < 4; ++i) {
        const int octet = StrToInt(parts[i]);
        good = good && IsWholeNumber(parts[i]) && octet >= 0 && octet <= 255;
        octets[i] = std::clamp(octet, 0, 255);
    }
    if (good) return;
    char shown[32];
    std::snprintf(shown, sizeof shown, "%03d.%03d.%03d.%03d", octets[0], octets[1], octets[2],
                  octets[3]);
    Add(findings, node, false,
        "<ipinput>: value=" + Quoted(value) + " is not an address of four parts 0..255, so the "
        "panel starts at " + shown + "; write e.g. value=\"192.168.1.10\"");
}

// A form sends its own inputs only: a query written into action never reaches the server.
void CheckAction(const XMLNode& node, const std::string& action,
                 std::vector<PageFinding>& findings) {
    std::string scheme, host, path, query;
    uint16_t port = 0;
    if (SplitUrl(action, scheme, host, port, path, query) && !query.empty()) {
        Add(findings, node, false,
            Element(node) + ": the query " + Quoted(query.substr(query[0] == '?' ? 1 : 0)) +
                " in action is dropped, as the form sends only its inputs; send each pair as <input "
                "type=\"hidden\" name=\"...\" value=\"...\"/>");
    }
}

void CheckValue(const XMLNode& node, const AttributeRule& rule, const std::string& value,
                std::vector<PageFinding>& findings) {
    const std::string written = std::string(rule.name) + "=" + Quoted(value);
    switch (rule.kind) {
        case K::Integer:
            if (!IsWholeNumber(value)) {
                Add(findings, node, false,
                    Element(node) + ": " + written + " is not a whole number, so the program "
                    "reads " + std::to_string(StrToInt(value)) + "; " + rule.name + " is " +
                    rule.meaning + ": write it in digits");
            }
            break;
        case K::Flag:
            if (IsFalseWord(value)) {
                Add(findings, node, false,
                    Element(node) + ": " + written + " still counts as " + rule.name +
                        ": the program looks only at whether the attribute is there; leave it "
                        "out to switch it off");
            }
            break;
        case K::LedNames:
            CheckLedNames(node, value, findings);
            break;
        case K::Mask:
            CheckMask(node, value, findings);
            break;
        case K::Digits:
            for (char c : value) {
                if (c < '0' || c > '9') {
                    Add(findings, node, false,
                        "<input>: " + written + " holds " + Quoted(std::string(1, c)) +
                            ", not a digit, so its cell offers only 0; write one digit per cell "
                            "(the highest digit offered)");
                    break;
                }
            }
            break;
        case K::Address:
            CheckAddress(node, value, findings);
            break;
        case K::Text:
            if (node.getName() == "form" && std::strcmp(rule.name, "action") == 0) {
                CheckAction(node, value, findings);
            }
            break;
    }
}

bool IsOneOf(const std::optional<std::string>& value, std::initializer_list<const char*> set) {
    if (!value) return false;
    for (const char* item : set) {
        if (*value == item) return true;
    }
    return false;
}

std::string WhySegmentDropped(const XMLNode& node, const char* a, const char* b, int last) {
    if (!node.getAttribute("text") &&
        !IsOneOf(node.getAttribute("format"), {a, b})) {
        return std::string("without text, format must be \"") + a + "\" or \"" + b + "\"";
    }
    return "pos=" + Quoted(node.getAttribute("pos").value_or("")) + " is outside 0.." +
           std::to_string(last);
}

std::string WhyInputDropped(const XMLNode& node) {
    const std::optional<std::string> type = node.getAttribute("type");
    const std::string name = node.getAttribute("name").value_or("");
    if (IsOneOf(type, {"submit", "reset", "inccursor", "incdata", "decdata"})) {
        return "a key button needs key, a key code 1..7 (write e.g. key=\"4\")";
    }
    if (!IsOneOf(type, {"text", "checkbox", "radio", "hidden"})) {
        return "type=" + Quoted(type.value_or("")) + " is none of text, checkbox, radio, hidden, "
               "submit, reset, inccursor, incdata, decdata";
    }
    if (name.empty()) return "it needs a name, the name of its pair in the submission";
    return "its value is empty: a " + *type + " field needs " +
           (*type == "text" ? "the characters it starts with" : "the value it sends");
}

std::string WhySetterDropped(const XMLNode& node, const std::string& tag) {
    const auto key = [&](const char* name) { return StrToInt(node.getAttribute(name).value_or("")); };
    if (key("inccursorkey") == 0) return "it needs inccursorkey, the key code that moves the cursor";
    if (key("incdatakey") == 0 && key("decdatakey") == 0) {
        return "it needs incdatakey or decdatakey, the key codes that change the field";
    }
    if (node.getAttribute("goto").value_or("").empty()) {
        return "it needs goto, where to go once the clock is set (e.g. goto=\"#menu\")";
    }
    const char* formats = tag == "setdate"   ? "\"%d%m%y\" or \"%y%m%d\""
                          : tag == "settime" ? "\"%H%M\" or \"%I%M\""
                                             : "\"%H%M%d%m%y\", \"%I%M%d%m%y\", \"%H%M%y%m%d\" "
                                               "or \"%I%M%y%m%d\"";
    return "format=" + Quoted(node.getAttribute("format").value_or("")) + " is not " + formats;
}

}  // namespace

const std::vector<ElementRule>& ElementRules() {
    static const std::vector<ElementRule> rules = MakeRules();
    return rules;
}

const ElementRule* FindElementRule(const std::string& tag) {
    for (const ElementRule& rule : ElementRules()) {
        if (tag == rule.tag) return &rule;
    }
    return nullptr;
}

std::string NearestName(const std::string& name, const std::vector<std::string>& known) {
    std::string best;
    size_t bestDistance = std::max<size_t>(1, std::min<size_t>(2, name.size() / 3));
    for (const std::string& candidate : known) {
        const size_t distance = Distance(name, candidate);
        // A name replaced whole (<p> for <a>) resembles nothing.
        if (distance <= bestDistance && distance < name.size() &&
            (best.empty() || distance < Distance(name, best))) {
            best = candidate;
        }
    }
    return best;
}

void CheckAttributes(const XMLNode& node, std::vector<PageFinding>& findings) {
    const ElementRule* rule = FindElementRule(node.getName());
    if (!rule) return;
    const std::vector<std::string> known = AttributeNames(*rule);
    for (int i = 0; i < node.nElement(); ++i) {
        XMLNode::Contents item = node.enumContents(i);
        if (item.type != eNodeAttribute) break;  // attributes come first
        const std::string value = node.getAttribute(item.text.c_str()).value_or("");
        auto found = std::find_if(rule->attributes.begin(), rule->attributes.end(),
                                  [&](const AttributeRule& a) { return item.text == a.name; });
        if (found != rule->attributes.end()) {
            CheckValue(node, *found, value, findings);
            continue;
        }
        const std::string near = NearestName(item.text, known);
        std::string hint = !near.empty()      ? "did you mean " + near + "?"
                           : known.empty()    ? Element(node) + " takes no attributes"
                                              : Element(node) + " knows " + Join(known);
        Add(findings, node, false,
            Element(node) + ": unknown attribute " + item.text + "=" + Quoted(value) +
                ", the program ignores it (" + hint + ")");
    }
}

std::string WhyDropped(const XMLNode& node) {
    const std::string tag = node.getName();
    const auto has = [&](const char* name) { return node.getAttribute(name).has_value(); };
    const auto text = [&](const char* name) { return node.getAttribute(name).value_or(""); };
    if (!FindElementRule(tag)) {
        std::vector<std::string> tags;
        for (const ElementRule& rule : ElementRules()) tags.push_back(rule.tag);
        const std::string lower = Lower(tag);
        if (FindElementRule(lower)) {
            return "it is no NIVOML element (tags are case-sensitive: did you mean <" + lower +
                   ">?)";
        }
        const std::string near = NearestName(tag, tags);
        return "it is no NIVOML element" +
               (near.empty() ? std::string(" (tags are case-sensitive)")
                             : " (did you mean <" + near + ">?)");
    }
    if (tag == "div" && !has("name")) return "a div needs a name: write <div name=\"...\">";
    if (tag == "a") {
        if (text("href").empty()) return "a link needs href, a #div or a URL";
        if (!has("key")) return "a link needs key, a key code 1..7 (0 with autoswitch)";
    }
    if (tag == "goto") return "a goto needs div, the name of the first div to show";
    if (tag == "date") return WhySegmentDropped(node, "%d%m%y", "%y%m%d", 5);
    if (tag == "time") return WhySegmentDropped(node, "%H%M", "%I%M", 3);
    if (tag == "skip") return "count=" + Quoted(text("count")) + " is negative";
    if (tag == "form") {
        std::string method = text("method");
        ToUpper(method);
        if (method != "GET" && method != "POST") {
            return "method=" + Quoted(text("method")) + " is neither GET nor POST";
        }
        std::string scheme, host, path, query;
        uint16_t port = 0;
        if (text("action") != "DISPLAY_SETTING" &&
            !SplitUrl(text("action"), scheme, host, port, path, query)) {
            return "the port in action=" + Quoted(text("action")) + " is not 1..65535";
        }
    }
    if (tag == "input") return WhyInputDropped(node);
    if ((tag == "select" || tag == "stepper" || tag == "ipinput") && text("name").empty()) {
        return "it needs a name, the name of its pair in the submission";
    }
    if (tag == "select") return "a select needs at least one <option>";
    if (tag == "stepper") {
        return "it needs min < max and min <= init <= max (min=" + Quoted(text("min")) +
               " max=" + Quoted(text("max")) + " init=" + Quoted(text("init")) + ")";
    }
    if (tag == "setdate" || tag == "settime" || tag == "setdatetime") {
        return WhySetterDropped(node, tag);
    }
    if (tag == "leds") return "it needs s, the LED names joined by |";
    if (tag == "fixedtext") return "textnr=" + Quoted(text("textnr")) + " is not 0..19";
    if (tag == "counter") return "from and to are equal, so there is nothing to count";
    return "it holds nothing the program can use (no text, or only dropped elements)";
}

void CheckTextRun(const std::string& text, long offset, std::vector<PageFinding>& findings) {
    int feeds = 0, tabs = 0, others = 0, indent = 0;
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // 0x80..0x9F after a lead byte is UTF-8, reported as such.
        const bool utf8 = i > 0 && static_cast<unsigned char>(text[i - 1]) >= 0xC2;
        const bool control =
            c < 0x20 || c == 0x7F || (c > 0x80 && c < 0xA0 && c != 0x9E && !utf8);
        shown += control ? '?' : text[i];
        if (c == '\n') {
            ++feeds;
            while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) {
                ++indent;
                shown += text[++i] == '\t' ? '?' : ' ';
            }
        } else if (c == '\t') {
            ++tabs;
        } else if (control) {
            ++others;
        }
    }
    if (feeds + tabs + others == 0) return;
    std::vector<std::string> parts;
    const auto count = [](int n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    if (feeds) parts.push_back(count(feeds, "line feed", "line feeds"));
    if (indent) parts.push_back(count(indent, "blank of indentation", "blanks of indentation"));
    if (tabs) parts.push_back(count(tabs, "tab", "tabs"));
    if (others) parts.push_back(count(others, "control character", "control characters"));
    PageFinding finding;
    finding.offset = offset;
    finding.message = "text " + Quoted(text) + " holds " + Join(parts) +
                      ": each takes a cell and control characters show as junk (the panel "
                      "shows " + Quoted(shown) + "); " +
                      (feeds ? "write text right against its tags and break lines inside a "
                               "tag (Hi<br\n/>)"
                             : "use blanks or <skip count=\"N\"/> instead");
    findings.push_back(std::move(finding));
}

namespace {

// The length of a UTF-8 sequence of two or more bytes at text[i], or 0.
size_t Utf8Length(const std::string& text, size_t i, unsigned long& code) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || i + length > text.size()) return 0;
    code = lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    return code >= (length == 2 ? 0x80UL : length == 3 ? 0x800UL : 0x10000UL) ? length : 0;
}

}  // namespace

bool HoldsUtf8(const std::string& text) {
    unsigned long code = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (Utf8Length(text, i, code) != 0) return true;
    }
    return false;
}

namespace {

struct RawScan {
    const std::string& text;
    std::vector<PageFinding> findings;
    int line = 1;
    size_t lineStart = 0;

    void Add(size_t at, bool error, const std::string& message) {
        PageFinding finding;
        finding.line = line;
        finding.column = static_cast<int>(at - lineStart) + 1;
        finding.error = error;
        finding.message = message;
        findings.push_back(std::move(finding));
    }
};

std::string Hex(unsigned long code) {
    char text[24];  // "U+" and up to 16 hex digits: gcc checks the widest
    std::snprintf(text, sizeof text, "U+%04lX", code);
    return text;
}

void CheckDeclaration(RawScan& scan, size_t at) {
    const size_t end = scan.text.find("?>", at);
    const std::string declaration = scan.text.substr(at, end == std::string::npos ? 200 : end - at);
    const size_t key = declaration.find("encoding");
    if (key == std::string::npos) return;
    const size_t open = declaration.find_first_of("\"'", key);
    if (open == std::string::npos) return;
    const size_t close = declaration.find(declaration[open], open + 1);
    std::string name = declaration.substr(open + 1, close == std::string::npos ? 0 : close - open - 1);
    std::string upper = name;
    ToUpper(upper);
    if (upper == "ISO-8859-1" || upper == "LATIN1" || upper == "ISO8859-1") return;
    scan.Add(at, false,
             "the declaration names encoding " + Quoted(name) + ", but the unit reads every page "
             "as ISO-8859-1 whatever it declares: write encoding=\"ISO-8859-1\" and save the "
             "page in it");
}

// A reference or entity at text[at] ('&'); its length when it is one.
void CheckReference(RawScan& scan, size_t at) {
    const std::string& text = scan.text;
    size_t end = at + 1;
    while (end < text.size() && end - at < 12 && (std::isalnum(static_cast<unsigned char>(text[end])) ||
                                                  text[end] == '#')) {
        ++end;
    }
    if (end >= text.size() || text[end] != ';' || end == at + 1) return;
    const std::string name = text.substr(at + 1, end - at - 1);
    if (name[0] == '#') {
        const bool hex = name.size() > 1 && name[1] == 'x';
        const std::string digits = name.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 7) return;
        const unsigned long code = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
        if (code > 0xFF) {
            scan.Add(at, false,
                     "&" + name + "; is " + Hex(code) + ", which ISO-8859-1 does not have: the "
                     "panel shows \"?\"; write a character of ISO-8859-1 instead");
        }
        return;
    }
    for (const char* known : {"lt", "gt", "amp", "apos", "quot"}) {
        if (name == known) return;
    }
    scan.Add(at, false,
             "&" + name + "; is no entity the program knows (only &lt; &gt; &amp; &apos; &quot; "
             "and &#NUMBER;): the panel shows the " + std::to_string(name.size() + 2) +
                 " characters as written; write the character as &#NUMBER; (for example &#160; "
                 "for a fixed blank)");
}

}  // namespace

std::vector<PageFinding> CheckEncoding(const std::string& pageText) {
    RawScan scan{pageText, {}};
    size_t firstUtf8 = std::string::npos;
    int utf8Lines = 0, lastUtf8Line = 0, firstLine = 0, firstColumn = 0;
    unsigned long firstCode = 0;
    size_t firstLength = 0;
    for (size_t i = 0; i < pageText.size(); ++i) {
        const char c = pageText[i];
        if (c == '\n') {
            ++scan.line;
            scan.lineStart = i + 1;
        } else if (c == '<' && pageText.compare(i, 5, "<?xml") == 0) {
            CheckDeclaration(scan, i);
        } else if (c == '<' && pageText.compare(i, 4, "<!--") == 0) {
            const size_t end = pageText.find("-->", i);
            const size_t stop = end == std::string::npos ? pageText.size() : end + 2;
            for (; i < stop; ++i) {  // comments may span lines
                if (pageText[i] == '\n') {
                    ++scan.line;
                    scan.lineStart = i + 1;
                }
            }
            --i;
        } else if (c == '&') {
            CheckReference(scan, i);
        } else if (static_cast<unsigned char>(c) >= 0xC2) {
            unsigned long code = 0;
            const size_t length = Utf8Length(pageText, i, code);
            if (length == 0) continue;
            if (lastUtf8Line != scan.line) ++utf8Lines;
            lastUtf8Line = scan.line;
            if (firstUtf8 == std::string::npos) {
                firstUtf8 = i;
                firstLine = scan.line;
                firstColumn = static_cast<int>(i - scan.lineStart) + 1;
                firstCode = code;
                firstLength = length;
            }
            i += length - 1;
        }
    }
    if (firstUtf8 != std::string::npos) {
        const std::string bytes = pageText.substr(firstUtf8, firstLength);
        PageFinding finding;
        finding.line = firstLine;
        finding.column = firstColumn;
        finding.message =
            Quoted(bytes) + " looks like UTF-8 for " +
            (firstCode <= 0xFF ? Quoted(std::string(1, static_cast<char>(firstCode)))
                               : Hex(firstCode) + " (not in ISO-8859-1)") +
            " (" + std::to_string(utf8Lines) + (utf8Lines == 1 ? " line holds" : " lines hold") +
            " such bytes): pages are ISO-8859-1, so the panel shows " +
            std::to_string(firstLength) + " signs " + Quoted(bytes) +
            "; save the page as ISO-8859-1 (iconv -f UTF-8 -t ISO-8859-1//TRANSLIT, which "
            "spells out what it lacks, e.g. EUR for the euro sign)";
        scan.findings.push_back(std::move(finding));
    }
    return std::move(scan.findings);
}

// The page may be broken anywhere after the error, so only what comes before it is read.
std::optional<TagMismatch> FindTagMismatch(const std::string& page, int line, int column) {
    size_t at = 0;
    for (int l = 1; l < line && at < page.size(); ++l) {
        const size_t feed = page.find('\n', at);
        at = feed == std::string::npos ? page.size() : feed + 1;
    }
    at = std::min(page.size(), at + static_cast<size_t>(std::max(column, 1)) - 1);
    const size_t close = page.rfind("</", at);
    if (close == std::string::npos || page.find('>', close) < at) return std::nullopt;
    const auto nameAt = [&](size_t from) {
        return page.substr(from, page.find_first_of(" \t\r\n/<>", from) - from);
    };
    std::vector<size_t> open;  // where each open element's '<' stands
    for (size_t i = page.find('<'); i < close; i = page.find('<', i)) {
        const size_t tag = i++;
        const char next = page[i];
        if (page.compare(tag, 4, "<!--") == 0) {
            i = page.find("-->", i);
        } else if (next == '/' || next == '?' || next == '!') {
            if (next == '/' && !open.empty()) open.pop_back();
            i = page.find('>', i);
        } else {
            char quote = 0;  // a '>' inside a quoted value ends nothing
            for (; i < page.size() && (quote != 0 || page[i] != '>'); ++i) {
                if (quote == 0 && (page[i] == '"' || page[i] == '\'')) {
                    quote = page[i];
                } else if (page[i] == quote) {
                    quote = 0;
                }
            }
            if (i < page.size() && page[i - 1] != '/') open.push_back(tag);
        }
        if (i >= page.size()) break;
    }
    if (open.empty()) return std::nullopt;
    TagMismatch mismatch{nameAt(close + 2), nameAt(open.back() + 1), open.back(), false};
    if (mismatch.open == mismatch.closing) return std::nullopt;
    for (size_t tag : open) mismatch.closesOuter |= nameAt(tag + 1) == mismatch.closing;
    return mismatch;
}

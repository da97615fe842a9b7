#include "tools/page_lint.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <set>

#include "markup/element_factory.h"
#include "markup/element_host.h"
#include "markup/nivoml_a.h"
#include "markup/nivoml_body.h"
#include "markup/nivoml_div.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_form.h"
#include "markup/nivoml_formobj.h"
#include "markup/nivoml_head.h"
#include "markup/nivoml_ipinput.h"
#include "markup/nivoml_mainobj.h"
#include "markup/nivoml_setdatetimeobj.h"
#include "markup/nivoml_text.h"
#include "net/http_text.h"
#include "util/logger.h"
#include "util/xml_node.h"

namespace {

constexpr int kCells = 22;
constexpr int kFirstKey = 1;  // the three keys and their combinations give 1..7
constexpr int kLastKey = 7;
constexpr double kForever = 1e9;  // a hold time that satisfies every duration

class SilentLogger : public Logger {
protected:
    void Write(LogLevel, const std::string&) override {}
};

// What goes wrong when the program follows a URL: a relative one reaches no page,
// one without a port goes to port 80, whatever server sent the page.
const char* UrlFault(const std::string& target) {
    if (target.empty() || target[0] == '#' || target[0] == '?' || target[0] == '!') return nullptr;
    std::string scheme, host, path, query;
    uint16_t port = 0;
    if (!SplitUrl(target, scheme, host, port, path, query)) {
        return "the port is no number 1..65535, so the program never follows it";
    }
    if (scheme.empty() || path.empty() || path[0] != '/') {
        return "a relative URL, which the program sends as it stands, so no page comes";
    }
    if (port == 0) return "the URL names no port, so the program asks port 80 for it";
    return nullptr;
}

bool IsInternal(const std::string& target) {
    return !target.empty() && target[0] == '#';
}

std::string Short(const std::string& text) {
    return text.size() <= 24 ? text : text.substr(0, 21) + "...";
}

std::string Quoted(const std::string& text) {
    return "\"" + Short(text) + "\"";
}

// The element as its author wrote it: tag and attributes.
std::string Describe(const XMLNode& node) {
    std::string out = "<" + node.getName();
    for (int i = 0; i < node.nElement(); ++i) {
        XMLNode::Contents item = node.enumContents(i);
        if (item.type != eNodeAttribute) break;  // attributes come first
        out += " " + item.text + "=" + Quoted(node.getAttribute(item.text.c_str()).value_or(""));
    }
    return out + ">";
}

std::string Describe(const NIVOML_A& link) {
    return "<a href=" + Quoted(link.GetHref()) + " key=\"" + std::to_string(link.GetKey()) + "\">";
}

std::string Describe(const NIVOML_FORM& form) {
    return "<form action=" + Quoted(form.GetAction()) + ">";
}

std::string Describe(const NIVOML_FORMOBJ& control) {
    std::string out = "<" + control.GetName();
    if (!control.GetType().empty()) out += " type=" + Quoted(control.GetType());
    return out + " name=" + Quoted(control.GetControlName()) + ">";
}

// The element the program makes of node on its own, or null when it drops it.
std::unique_ptr<NIVOML_BASEOBJ> BuildAlone(XMLNode& node) {
    SilentLogger silent;
    ScopedLogger quiet(&silent);
    const int saved = g_textPosition;
    g_textPosition = 0;
    int position = 0;
    std::unique_ptr<NIVOML_BASEOBJ> element;
    if (!CreateFromNivoml(node, element, position)) element.reset();
    g_textPosition = saved;
    return element;
}

// Deeper than the program builds; iterative, as hostile pages nest deeply.
bool TooDeep(const XMLNode& root) {
    std::vector<std::pair<XMLNode, int>> pending{{root, 1}};
    while (!pending.empty()) {
        auto [node, depth] = std::move(pending.back());
        pending.pop_back();
        if (depth > NivomlDocument::kMaxDepth) return true;
        for (int i = 0; i < node.nElement(); ++i) {
            XMLNode::Contents item = node.enumContents(i);
            if (item.type == eNodeChild) pending.emplace_back(item.child, depth + 1);
        }
    }
    return false;
}

struct TextRun {
    std::string text;
    long offset;
};

// The text runs of a head or div as written, leaving out those inside dropped elements.
struct Scope {
    std::string where;  // "head", "div NAME"
    long offset = -1;
    std::vector<TextRun> texts;
    std::vector<std::string> settingsDivs;  // sDivname of its DISPLAY_SETTING forms
};

// The div a DISPLAY_SETTING form asks for after applying its settings, or "".
std::string SettingsDiv(XMLNode& form) {
    if (form.getName() != "form" || form.getAttribute("action") != "DISPLAY_SETTING") return "";
    for (int i = 0; !form.getChildNode("input", i).isEmpty(); ++i) {
        XMLNode input = form.getChildNode("input", i);
        if (input.getAttribute("type") == "hidden" && input.getAttribute("name") == "sDivname") {
            return input.getAttribute("value").value_or("");
        }
    }
    return "";
}

class PageLint {
public:
    explicit PageLint(NIVOML_MAINOBJ* root) : m_root(root) {}

    std::vector<PageFinding> Run(const std::string& pageText);

private:
    void Add(long offset, bool error, const std::string& what) {
        PageFinding finding;
        finding.offset = offset;
        finding.error = error;
        finding.message = what;
        m_findings.push_back(std::move(finding));
    }
    void Add(const NIVOML_BASEOBJ& element, bool error, const std::string& what) {
        Add(element.GetSourceOffset(), error, what);
    }
    void AddDropped(const XMLNode& node) {
        Add(node.getOffset(), true,
            Describe(node) + ": the program drops it, so nothing of it shows: " + WhyDropped(node));
    }
    void CheckContents(XMLNode& node, Scope& scope);
    void ReportDropped(const XMLNode& node);
    void ReportDroppedChildren(const XMLNode& node);
    void CheckBody(XMLNode& body, std::vector<Scope>& divScopes);
    void ExplainRejection(XMLNode& xml);
    void CheckPlacement(const NIVOML_BASELISTOBJ& container, bool direct, int& textCount);
    void CheckLinks(const NIVOML_BASELISTOBJ& container, bool inDiv);
    void CheckStart(XMLNode& headXml);
    void CheckDiv(NIVOML_DIV& div, const Scope& scope);
    void CheckForms(NIVOML_DIV& div);
    void CheckReach();
    bool IsDiv(const std::string& name) const { return m_exits.count(name) > 0; }
    // Why name leads nowhere, and what mends it: the div may be there but dropped.
    std::string NoDiv(const std::string& name, const std::string& so) const {
        return m_droppedDivs.count(name)
                   ? "the div named " + Quoted(name) + " is dropped (see its error), " + so +
                         "; mend that div"
                   : "no div is named " + Quoted(name) + ", " + so + "; name an existing div";
    }

    NIVOML_MAINOBJ* m_root;
    std::vector<PageFinding> m_findings;
    std::vector<NIVOML_DIV*> m_divs;
    std::map<std::string, std::set<std::string>> m_exits;  // div -> divs it leads to
    std::set<std::string> m_droppedDivs;
    std::string m_start;
    // Counting cells is misleading in a UTF-8 page: each sign there takes 2 to 4 cells.
    std::string m_utf8Hint;
};

// A container of dropped elements is dropped itself: the author needs each one's reason.
void PageLint::ReportDropped(const XMLNode& node) {
    AddDropped(node);
    ReportDroppedChildren(node);
}

// Iterative, as hostile pages nest deeply; below the depth the program builds, the
// page's rejection says it all.
void PageLint::ReportDroppedChildren(const XMLNode& node) {
    std::vector<std::pair<XMLNode, int>> pending{{node, 1}};
    while (!pending.empty()) {
        auto [parent, depth] = std::move(pending.back());
        pending.pop_back();
        if (depth > NivomlDocument::kMaxDepth) continue;
        for (int i = 0; i < parent.nElement(); ++i) {
            XMLNode::Contents item = parent.enumContents(i);
            if (item.type != eNodeChild) continue;
            CheckAttributes(item.child, m_findings);
            if (BuildAlone(item.child)) continue;
            AddDropped(item.child);
            pending.emplace_back(item.child, depth + 1);
        }
    }
}

void PageLint::CheckContents(XMLNode& node, Scope& scope) {
    int run = 0;
    for (int i = 0; i < node.nElement(); ++i) {
        XMLNode::Contents item = node.enumContents(i);
        if (item.type == eNodeText) {
            long offset = node.getTextOffset(run++);
            if (offset < 0) offset = node.getOffset();
            scope.texts.push_back({item.text, offset});
            CheckTextRun(item.text, offset, m_findings);
        }
        if (item.type != eNodeChild) continue;
        CheckAttributes(item.child, m_findings);
        std::unique_ptr<NIVOML_BASEOBJ> element = BuildAlone(item.child);
        if (!element) {
            ReportDropped(item.child);
            continue;
        }
        if (element->GetName() == "leds") {
            Add(item.child.getOffset(), false,
                "<leds>: the status display sets LED_POWER, LED_STATUS_A and LED_STATUS_B after "
                "every draw of a page, so the panel never shows what this element asks; show "
                "the state as text and leave the element out");
        }
        if (std::string div = SettingsDiv(item.child); !div.empty()) {
            scope.settingsDivs.push_back(div);
        }
        // Only containers that took content read their children (an input's text is ignored).
        auto* container = dynamic_cast<NIVOML_BASELISTOBJ*>(element.get());
        if (container && !container->Children().empty()) CheckContents(item.child, scope);
    }
}

void PageLint::CheckBody(XMLNode& body, std::vector<Scope>& divScopes) {
    CheckAttributes(body, m_findings);
    int run = 0;
    for (int i = 0; i < body.nElement(); ++i) {
        XMLNode::Contents item = body.enumContents(i);
        if (item.type == eNodeText) {
            Add(std::max(body.getTextOffset(run++), body.getOffset()), false,
                "text " + Quoted(item.text) + " is not shown, yet it takes its cells: the next "
                    "div's text starts after it (the body keeps only divs); move it into a div");
        }
        if (item.type != eNodeChild) continue;
        CheckAttributes(item.child, m_findings);
        if (!FindElementRule(item.child.getName())) {
            ReportDropped(item.child);  // <DIV> is no div: moving it would not help
        } else if (item.child.getName() == "br" || item.child.getName() == "skip") {
            Add(item.child.getOffset(), false,
                Describe(item.child) + " is not shown, yet it moves the next div's text on (the "
                "body keeps only divs); move it into a div");
        } else if (item.child.getName() != "div") {
            Add(item.child.getOffset(), false,
                Describe(item.child) + " is not shown: the body keeps only divs; move it into "
                "a div (or the head)");
        } else if (!BuildAlone(item.child)) {
            Add(item.child.getOffset(), true,
                Describe(item.child) + ": the program drops the div, so none of it shows: " +
                    WhyDropped(item.child));
            ReportDroppedChildren(item.child);
            if (auto name = item.child.getAttribute("name")) m_droppedDivs.insert(*name);
        } else {
            Scope scope;
            scope.where = "div " + item.child.getAttribute("name").value_or("");
            scope.offset = item.child.getOffset();
            CheckContents(item.child, scope);
            divScopes.push_back(scope);
        }
    }
}

void PageLint::ExplainRejection(XMLNode& xml) {
    const char* const rejected = ": the program rejects the page and keeps showing the one before; ";
    XMLNode head = xml.getChildNode("head");
    XMLNode body = xml.getChildNode("body");
    if (TooDeep(xml)) {
        Add(xml.getOffset(), true,
            "<nivoml>: elements nest deeper than " + std::to_string(NivomlDocument::kMaxDepth) +
                " levels" + rejected + "flatten the page");
    } else if (head.isEmpty() || body.isEmpty()) {
        Add(xml.getOffset(), true,
            std::string("<nivoml> has no <") + (head.isEmpty() ? "head" : "body") + ">" + rejected +
                "every page needs a <head> (at least <goto div=\"...\"/>) and a <body> with a "
                "<div name=\"...\">");
    } else if (!BuildAlone(head)) {
        Add(head.getOffset(), true,
            std::string("<head> holds nothing the program can use") + rejected +
                "give it at least <goto div=\"...\"/>");
    } else {
        Add(body.getOffset(), true,
            std::string("<body> holds no div the program can use") + rejected +
                "give it at least one <div name=\"...\"> with text");
    }
}

// Texts and controls past the last cell; links nested where they bind no key.
void PageLint::CheckPlacement(const NIVOML_BASELISTOBJ& container, bool direct, int& textCount) {
    for (const auto& child : container.Children()) {
        if (auto* text = dynamic_cast<const NIVOML_TEXT*>(child.get())) {
            ++textCount;
            const int end = text->GetPosition() + static_cast<int>(text->GetText().size());
            if (end > kCells) {
                Add(*text, false,
                    "text " + Quoted(text->GetText()) + " runs past the display (to cell " +
                        std::to_string(end - 1) + " of 0..21): the panel cuts it after cell 21; "
                        "shorten it or start it earlier" + m_utf8Hint);
            }
        }
        if (auto* control = dynamic_cast<const NIVOML_FORMOBJ*>(child.get())) {
            const int end = control->GetPosition() + control->GetWidth();
            if (control->GetWidth() > 0 && end > kCells) {
                Add(*control, false,
                    Describe(*control) + " runs past the display (cells " +
                        std::to_string(control->GetPosition()) + ".." + std::to_string(end - 1) +
                        " of 0..21): the panel cuts it after cell 21; put it earlier");
            }
        }
        if (auto* link = dynamic_cast<const NIVOML_A*>(child.get()); link && !direct) {
            Add(*link, false,
                Describe(*link) + " binds no key: only links placed directly in the div or head "
                "do; move it out of <" + container.GetName() + ">");
        }
        if (auto* inner = dynamic_cast<const NIVOML_BASELISTOBJ*>(child.get())) {
            CheckPlacement(*inner, false, textCount);
        }
    }
}

// Links to missing divs, keys the panel never gives, links a later binding hides.
void PageLint::CheckLinks(const NIVOML_BASELISTOBJ& container, bool inDiv) {
    container.ForEachChild<NIVOML_A>([&](NIVOML_A& link) {
        std::string target;
        int key = 0;
        const bool autoswitch = link.OnTimer(CookieTimerId(link.GetId()), target, key);
        const std::string href = link.GetHref();
        if (IsInternal(href) && !IsDiv(href.substr(1))) {
            Add(link, false,
                Describe(link) + ": " + NoDiv(href.substr(1), "so the link shows the first div"));
        }
        if (const char* fault = UrlFault(href)) {
            Add(link, false,
                Describe(link) + ": " + fault + "; write the whole URL with the web server's "
                "port, e.g. http://127.0.0.1:8080/page.cgi");
        }
        if (link.GetKey() < kFirstKey || link.GetKey() > kLastKey) {
            if (!autoswitch) {
                Add(link, false,
                    Describe(link) + ": the keys give only 1..7, so it never fires; write a key "
                    "code 1..7, or key=\"0\" with autoswitch");
            }
        } else if (inDiv && m_root->GetKeyTarget(link.GetKey(), kForever) != href) {
            Add(link, false,
                Describe(link) + ": a later binding takes key " + std::to_string(link.GetKey()) +
                    ", so the key never fires it; give one of them another key");
        }
    });
}

void PageLint::CheckStart(XMLNode& headXml) {
    m_start = m_root->GetStartDivName();
    if (!m_start.empty() && !IsDiv(m_start)) {
        long offset = headXml.getChildNode("goto").getOffset();
        Add(offset < 0 ? headXml.getOffset() : offset, false,
            "<goto div=" + Quoted(m_start) + ">: " +
                NoDiv(m_start, "so the panel starts at the first div"));
        m_start.clear();
    }
    if (m_start.empty() && !m_divs.empty()) m_start = m_divs.front()->GetDivName();
}

void PageLint::CheckDiv(NIVOML_DIV& div, const Scope& scope) {
    int textCount = 0;
    CheckPlacement(div, true, textCount);
    // The display is full: every text run after that one is refused.
    for (size_t i = static_cast<size_t>(textCount); i < scope.texts.size(); ++i) {
        Add(scope.texts[i].offset, true,
            "text " + Quoted(scope.texts[i].text) +
                " is dropped: no cell is left for it (what comes before fills the 22 cells, or "
                "a <br/> after the first line's 11 cells led past the last), so the panel does "
                "not show it; shorten what comes before or move it to another div" + m_utf8Hint);
    }

    m_root->ShowDiv(div.GetDivName());
    CheckLinks(div, true);
    std::set<std::string>& exits = m_exits[div.GetDivName()];
    bool wayOut = false;
    auto follow = [&](const std::string& target) {
        if (target.empty()) return;
        wayOut = true;
        if (IsInternal(target) && IsDiv(target.substr(1))) exits.insert(target.substr(1));
    };
    for (int key = kFirstKey; key <= kLastKey; ++key) follow(m_root->GetKeyTarget(key, kForever));
    auto autoswitch = [&](NIVOML_A& link) {
        std::string target;
        int key = 0;
        if (link.OnTimer(CookieTimerId(link.GetId()), target, key)) follow(target);
    };
    if (NIVOML_HEAD* head = m_root->GetHead()) head->ForEachChild<NIVOML_A>(autoswitch);
    div.ForEachChild<NIVOML_A>(autoswitch);
    if (NIVOML_SETDATETIMEOBJ* setter = div.GetDateTimeSetter()) {
        const std::string target = setter->GetGoto();
        if (IsInternal(target) && !IsDiv(target.substr(1))) {
            Add(*setter, false,
                "<" + setter->GetName() + " goto=" + Quoted(target) + ">: " +
                    NoDiv(target.substr(1), "so setting the clock ends on the first div"));
        }
        follow(target);
    }
    // A settings form loads its page again at the div it names (sLoadPage, sDivname).
    for (const std::string& name : scope.settingsDivs) {
        if (IsDiv(name)) exits.insert(name);
    }
    if (!wayOut) {
        Add(div, false,
            scope.where + ": no way out: no key is bound, no autoswitch, no goto, so the panel "
            "stays on this div until a notification comes; add <a href=\"#...\" key=\"1\"/>");
    }
    CheckForms(div);
}

void PageLint::CheckForms(NIVOML_DIV& div) {
    div.ForEachChild<NIVOML_FORM>([&](NIVOML_FORM& form) {
        for (int key = kFirstKey; key <= kLastKey; ++key) {
            if (m_root->GetKeyTarget(key, kForever) == "?submit" &&
                m_root->GetFormForKey(key) == &form)
                return;
        }
        if (form.GetAutoSubmit() > 0) return;
        for (NIVOML_FORMOBJ* control : form.GetControls(true)) {
            if (dynamic_cast<NIVOML_IPINPUT*>(control)) return;  // submits after its last digit
        }
        Add(form, false,
            Describe(form) + ": no submit key, no autosubmit: it is never sent; add <input "
            "type=\"submit\" key=\"4\"/>");
    });
}

// Every div the start div leads to, through keys, autoswitch, setter gotos and settings forms.
void PageLint::CheckReach() {
    std::set<std::string> reached;
    std::deque<std::string> open;
    if (!m_start.empty()) open.push_back(m_start);
    while (!open.empty()) {
        const std::string name = open.front();
        open.pop_front();
        if (!reached.insert(name).second) continue;
        for (const std::string& next : m_exits[name]) open.push_back(next);
    }
    for (NIVOML_DIV* div : m_divs) {
        if (!reached.count(div->GetDivName())) {
            Add(*div, false,
                "div " + div->GetDivName() +
                    ": nothing reaches it: not the start div, and no link, goto or autoswitch of "
                    "a reachable div leads to it; link to it or leave it out");
        }
    }
}

std::vector<PageFinding> PageLint::Run(const std::string& pageText) {
    XMLResults results;
    XMLNode xml = XMLNode::parseString(pageText, "nivoml", &results);
    if (xml.isEmpty()) return {};
    if (HoldsUtf8(pageText)) {
        m_utf8Hint = "; but first save the page as ISO-8859-1, as the UTF-8 finding says: each "
                     "UTF-8 sign takes 2 to 4 cells";
    }
    CheckAttributes(xml, m_findings);
    XMLNode headXml = xml.getChildNode("head");
    XMLNode bodyXml = xml.getChildNode("body");
    Scope headScope;
    headScope.where = "head";
    if (!headXml.isEmpty()) {
        CheckAttributes(headXml, m_findings);
        CheckContents(headXml, headScope);
        for (const TextRun& text : headScope.texts) {  // drawn ahead of the first div's text
            Add(text.offset, false,
                "text " + Quoted(text.text) + " in the head shows only before the first div's "
                "text, and the other divs are drawn over what is left of it; move it into the divs");
        }
    }
    std::vector<Scope> divScopes;
    if (!bodyXml.isEmpty()) CheckBody(bodyXml, divScopes);
    if (!m_root) {
        ExplainRejection(xml);
    } else {
        // The built divs are the XML divs that survived, in the same order.
        std::vector<std::pair<NIVOML_DIV*, const Scope*>> checked;
        if (NIVOML_BODY* body = m_root->GetBody()) {
            size_t index = 0;
            body->ForEachChild<NIVOML_DIV>([&](NIVOML_DIV& div) {
                if (index >= divScopes.size()) return;
                const Scope& scope = divScopes[index++];
                if (IsDiv(div.GetDivName())) {
                    Add(div, false,
                        scope.where + ": an earlier div has this name, so links lead there; "
                        "rename one");
                    return;
                }
                m_exits[div.GetDivName()];
                m_divs.push_back(&div);
                checked.emplace_back(&div, &scope);
            });
        }
        CheckStart(headXml);
        if (NIVOML_HEAD* head = m_root->GetHead()) {
            int textCount = 0;
            CheckPlacement(*head, true, textCount);
            CheckLinks(*head, false);
        }
        for (auto& [div, scope] : checked) CheckDiv(*div, *scope);
        CheckReach();
        m_root->ShowDiv(m_start);
    }
    return std::move(m_findings);  // the checker puts every finding in page order
}

}  // namespace

std::vector<PageFinding> LintPage(const std::string& pageText, NIVOML_MAINOBJ* root) {
    return PageLint(root).Run(pageText);
}

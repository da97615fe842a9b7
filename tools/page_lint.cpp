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
#include "markup/nivoml_form.h"
#include "markup/nivoml_formobj.h"
#include "markup/nivoml_head.h"
#include "markup/nivoml_ipinput.h"
#include "markup/nivoml_mainobj.h"
#include "markup/nivoml_setdatetimeobj.h"
#include "markup/nivoml_text.h"
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

// The text runs of a head or div as written, leaving out those inside dropped elements.
struct Scope {
    std::string where;  // "head", "div NAME"
    std::vector<std::string> texts;
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
    explicit PageLint(NIVOML_MAINOBJ& root) : m_root(root) {}

    // The findings in page order: head, body, then the divs as written.
    std::vector<std::string> Run(const std::string& pageText);

private:
    void Add(const std::string& where, const std::string& what) {
        m_order.emplace(where, m_order.size());
        m_findings.emplace_back(m_order[where], where + ": " + what);
    }
    void CheckDroppedElements(XMLNode& node, Scope& scope);
    void CheckBody(XMLNode& body, std::vector<Scope>& divScopes);
    void CheckPlacement(const NIVOML_BASELISTOBJ& container, bool direct,
                        const std::string& where, int& textCount);
    void CheckLinks(const NIVOML_BASELISTOBJ& container, const std::string& where,
                    bool inDiv);
    void CheckStart();
    void CheckDiv(NIVOML_DIV& div, const Scope& scope);
    void CheckForms(NIVOML_DIV& div, const std::string& where);
    void CheckReach();
    bool IsDiv(const std::string& name) const { return m_exits.count(name) > 0; }

    NIVOML_MAINOBJ& m_root;
    std::map<std::string, size_t> m_order;  // where -> place in the page
    std::vector<std::pair<size_t, std::string>> m_findings;
    std::vector<NIVOML_DIV*> m_divs;
    std::map<std::string, std::set<std::string>> m_exits;  // div -> divs it leads to
    std::string m_start;
};

void PageLint::CheckDroppedElements(XMLNode& node, Scope& scope) {
    for (int i = 0; i < node.nElement(); ++i) {
        XMLNode::Contents item = node.enumContents(i);
        if (item.type == eNodeText) scope.texts.push_back(item.text);
        if (item.type != eNodeChild) continue;
        std::unique_ptr<NIVOML_BASEOBJ> element = BuildAlone(item.child);
        if (!element) {
            Add(scope.where, Describe(item.child) + " is dropped: the program cannot use it");
            continue;
        }
        if (std::string div = SettingsDiv(item.child); !div.empty()) {
            scope.settingsDivs.push_back(div);
        }
        // Only containers that took content read their children (an input's text is ignored).
        auto* container = dynamic_cast<NIVOML_BASELISTOBJ*>(element.get());
        if (container && !container->Children().empty()) CheckDroppedElements(item.child, scope);
    }
}

void PageLint::CheckBody(XMLNode& body, std::vector<Scope>& divScopes) {
    for (int i = 0; i < body.nElement(); ++i) {
        XMLNode::Contents item = body.enumContents(i);
        if (item.type == eNodeText) {
            Add("body", "text " + Quoted(item.text) + " is not shown: the body keeps only divs");
        }
        if (item.type != eNodeChild) continue;
        if (item.child.getName() != "div") {
            Add("body", Describe(item.child) + " is not shown: the body keeps only divs");
        } else if (!BuildAlone(item.child)) {
            Add("body", Describe(item.child) + " is dropped: a div needs a name and content");
        } else {
            Scope scope;
            scope.where = "div " + item.child.getAttribute("name").value_or("");
            m_order.emplace(scope.where, m_order.size());
            CheckDroppedElements(item.child, scope);
            divScopes.push_back(scope);
        }
    }
}

// Texts and controls past the last cell; links nested where they bind no key.
void PageLint::CheckPlacement(const NIVOML_BASELISTOBJ& container, bool direct,
                              const std::string& where, int& textCount) {
    for (const auto& child : container.Children()) {
        if (auto* text = dynamic_cast<const NIVOML_TEXT*>(child.get())) {
            ++textCount;
            const int end = text->GetPosition() + static_cast<int>(text->GetText().size());
            if (end > kCells) {
                Add(where, "text " + Quoted(text->GetText()) + " runs past the display (to cell " +
                               std::to_string(end - 1) + " of 0..21)");
            }
        }
        if (auto* control = dynamic_cast<const NIVOML_FORMOBJ*>(child.get())) {
            const int end = control->GetPosition() + control->GetWidth();
            if (control->GetWidth() > 0 && end > kCells) {
                Add(where, Describe(*control) + " runs past the display (cells " +
                               std::to_string(control->GetPosition()) + ".." +
                               std::to_string(end - 1) + " of 0..21)");
            }
        }
        if (auto* link = dynamic_cast<const NIVOML_A*>(child.get()); link && !direct) {
            Add(where, Describe(*link) +
                           " binds no key: only links placed directly in the div or head do");
        }
        if (auto* inner = dynamic_cast<const NIVOML_BASELISTOBJ*>(child.get())) {
            CheckPlacement(*inner, false, where, textCount);
        }
    }
}

// Links to missing divs, keys the panel never gives, links a later binding hides.
void PageLint::CheckLinks(const NIVOML_BASELISTOBJ& container, const std::string& where,
                          bool inDiv) {
    container.ForEachChild<NIVOML_A>([&](NIVOML_A& link) {
        std::string target;
        int key = 0;
        const bool autoswitch = link.OnTimer(CookieTimerId(link.GetId()), target, key);
        const std::string href = link.GetHref();
        if (IsInternal(href) && !IsDiv(href.substr(1))) {
            Add(where, Describe(link) + ": no div named " + Quoted(href.substr(1)));
        }
        if (link.GetKey() < kFirstKey || link.GetKey() > kLastKey) {
            if (!autoswitch) {
                Add(where, Describe(link) + ": the keys give only 1..7, so it never fires");
            }
        } else if (inDiv && m_root.GetKeyTarget(link.GetKey(), kForever) != href) {
            Add(where, Describe(link) + ": a later binding takes key " +
                           std::to_string(link.GetKey()) + ", so the key never fires it");
        }
    });
}

void PageLint::CheckStart() {
    m_start = m_root.GetStartDivName();
    if (!m_start.empty() && !IsDiv(m_start)) {
        Add("head", "<goto div=" + Quoted(m_start) + ">: no div of that name, the first div shows");
        m_start.clear();
    }
    if (m_start.empty() && !m_divs.empty()) m_start = m_divs.front()->GetDivName();
}

void PageLint::CheckDiv(NIVOML_DIV& div, const Scope& scope) {
    const std::string& where = scope.where;
    int textCount = 0;
    CheckPlacement(div, true, where, textCount);
    // The display is full: every text run after that one is refused.
    for (size_t i = static_cast<size_t>(textCount); i < scope.texts.size(); ++i) {
        Add(where, "text " + Quoted(scope.texts[i]) + " is dropped: the display is full");
    }

    m_root.ShowDiv(div.GetDivName());
    CheckLinks(div, where, true);
    std::set<std::string>& exits = m_exits[div.GetDivName()];
    bool wayOut = false;
    auto follow = [&](const std::string& target) {
        if (target.empty()) return;
        wayOut = true;
        if (IsInternal(target) && IsDiv(target.substr(1))) exits.insert(target.substr(1));
    };
    for (int key = kFirstKey; key <= kLastKey; ++key) follow(m_root.GetKeyTarget(key, kForever));
    auto autoswitch = [&](NIVOML_A& link) {
        std::string target;
        int key = 0;
        if (link.OnTimer(CookieTimerId(link.GetId()), target, key)) follow(target);
    };
    if (NIVOML_HEAD* head = m_root.GetHead()) head->ForEachChild<NIVOML_A>(autoswitch);
    div.ForEachChild<NIVOML_A>(autoswitch);
    if (NIVOML_SETDATETIMEOBJ* setter = div.GetDateTimeSetter()) {
        const std::string target = setter->GetGoto();
        if (IsInternal(target) && !IsDiv(target.substr(1))) {
            Add(where, "<" + setter->GetName() + " goto=" + Quoted(target) +
                           ">: no div named " + Quoted(target.substr(1)));
        }
        follow(target);
    }
    // A settings form loads its page again at the div it names (sLoadPage, sDivname).
    for (const std::string& name : scope.settingsDivs) {
        if (IsDiv(name)) exits.insert(name);
    }
    if (!wayOut) Add(where, "no way out: no key bound, no autoswitch, no goto");
    CheckForms(div, where);
}

void PageLint::CheckForms(NIVOML_DIV& div, const std::string& where) {
    div.ForEachChild<NIVOML_FORM>([&](NIVOML_FORM& form) {
        for (int key = kFirstKey; key <= kLastKey; ++key) {
            if (m_root.GetKeyTarget(key, kForever) == "?submit" &&
                m_root.GetFormForKey(key) == &form)
                return;
        }
        if (form.GetAutoSubmit() > 0) return;
        for (NIVOML_FORMOBJ* control : form.GetControls(true)) {
            if (dynamic_cast<NIVOML_IPINPUT*>(control)) return;  // submits after its last digit
        }
        Add(where, Describe(form) + ": no submit key, no autosubmit: it is never sent");
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
            Add("div " + div->GetDivName(),
                "nothing reaches it: not the start div, and no link, goto or autoswitch of a "
                "reachable div leads to it");
        }
    }
}

std::vector<std::string> PageLint::Run(const std::string& pageText) {
    m_order = {{"head", 0}, {"body", 1}};
    XMLResults results;
    XMLNode xml = XMLNode::parseString(pageText, "nivoml", &results);
    XMLNode headXml = xml.getChildNode("head");
    XMLNode bodyXml = xml.getChildNode("body");
    Scope headScope;
    headScope.where = "head";
    CheckDroppedElements(headXml, headScope);
    std::vector<Scope> divScopes;
    CheckBody(bodyXml, divScopes);

    // The built divs are the XML divs that survived, in the same order.
    std::vector<std::pair<NIVOML_DIV*, const Scope*>> checked;
    if (NIVOML_BODY* body = m_root.GetBody()) {
        size_t index = 0;
        body->ForEachChild<NIVOML_DIV>([&](NIVOML_DIV& div) {
            if (index >= divScopes.size()) return;
            const Scope& scope = divScopes[index++];
            if (IsDiv(div.GetDivName())) {
                Add(scope.where, "an earlier div has this name: links lead there");
                return;
            }
            m_exits[div.GetDivName()];
            m_divs.push_back(&div);
            checked.emplace_back(&div, &scope);
        });
    }
    CheckStart();
    if (NIVOML_HEAD* head = m_root.GetHead()) {
        int textCount = 0;
        CheckPlacement(*head, true, "head", textCount);
        CheckLinks(*head, "head", false);
    }
    for (auto& [div, scope] : checked) CheckDiv(*div, *scope);
    CheckReach();
    m_root.ShowDiv(m_start);
    std::stable_sort(m_findings.begin(), m_findings.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> lines;
    for (auto& finding : m_findings) lines.push_back(std::move(finding.second));
    return lines;
}

}  // namespace

std::vector<std::string> LintPage(const std::string& pageText, NIVOML_MAINOBJ& root) {
    return PageLint(root).Run(pageText);
}

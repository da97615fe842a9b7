// The two pages the manager builds itself: the base page shown until the first
// page arrives, and the error page when the server keeps refusing.
#include <memory>

#include "manager/nivo_manager.h"
#include "manager/nivo_status.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_mainobj.h"
#include "panel/nivo_display.h"
#include "util/utilities.h"

namespace {
const char* const kNetworkURL = "http://127.0.0.1/config/display/network.cgi";

// The URL goes into an attribute: a quote in -h must not break the page.
std::string EscapeXmlAttribute(const std::string& text) {
    std::string out = text;
    ReplaceAll(out, "&", "&amp;");
    ReplaceAll(out, "<", "&lt;");
    ReplaceAll(out, ">", "&gt;");
    ReplaceAll(out, "\"", "&quot;");
    return out;
}

std::string KeyLink(const std::string& url, const char* attributes) {
    return std::string("\t\t<a href=\"") + url + "\" " + attributes + "/>";
}

std::string GeneratedPage(const char* pageType, const std::string& links, const char* div) {
    return std::string("<nivoml pagetype=\"") + pageType + "\">" + "\t<head>" +
           "\t\t<date symbols format=\"%d%m%y\"/>" + "\t\t<time symbols format=\"%H%M\"/>" +
           links + "\t</head>" + "\t<body>" + "\t\t<div name=\"BP_1\">" + div + "</div>" +
           "\t</body>" + "</nivoml>";
}
}  // namespace

void NIVO_Manager::BuildBasePage() {
    const std::string url = EscapeXmlAttribute(m_currentURL);
    const std::string links = KeyLink(url, "key=\"7\" autoswitch=\"1500\"") +
                              KeyLink(url, "key=\"1\"") + KeyLink(url, "key=\"2\"") +
                              KeyLink(url, "key=\"4\"");
    ShowGeneratedPage(GeneratedPage(
        "BASEPAGE", links, "New requestin<skip/><counter from=\"5\" to=\"1\"/><skip/>sec."));
}

void NIVO_Manager::ShowErrorPage() {
    const std::string links =
        KeyLink(kNetworkURL, "key=\"1\"") + KeyLink(kNetworkURL, "key=\"2\"") +
        KeyLink(kNetworkURL, "key=\"4\"");
    ShowGeneratedPage(GeneratedPage("ERRORPAGE", links, "Please<br/>reboot"));
}

bool NIVO_Manager::ShowGeneratedPage(const std::string& text) {
    auto page = std::make_unique<NivomlDocument>(text);
    if (!page->IsOk() || !page->Build() || !page->GetRoot()) return false;
    int flushMask = 0;
    EndInfoMessage(flushMask);  // the new page covers any message
    page->GetRoot()->Draw(*m_pDisplay);
    ShowStatus(m_pStatus.get(), m_pDisplay.get(), false);
    ReplacePage(std::move(page));
    if (flushMask != 0) m_pDisplay->Flush(NIVO_Display::FLUSH_ALL);  // no timer will
    return true;
}

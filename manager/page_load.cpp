// The request cycle: a URL becomes a GET request, the connection is retried
// when the server does not answer, and the answer becomes the new page or is
// rejected, logged and tried once more.
#include <memory>

#include "manager/nivo_manager.h"
#include "manager/nivo_status.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_form.h"
#include "markup/nivoml_mainobj.h"
#include "net/http_text.h"
#include "net/tcp_channel.h"
#include "panel/nivo_display.h"
#include "util/logger.h"
#include "util/utilities.h"

int g_errCountAll = 0;
int g_errCountThisMsg = 0;
int g_okCountAll = 0;
std::string g_lastFailedRequest;
int g_sendFailCount = 0;

namespace {
constexpr size_t kLoggedAnswerBytes = 2048;
constexpr int kConnectRetries = 2;
constexpr unsigned kRetryPauseSeconds = 2;
}  // namespace

void NIVO_Manager::LoadNivomlPage(const std::string& url, std::string divName) {
    std::string scheme, host, path, query;
    uint16_t port = 0;
    const bool portOk = SplitUrl(url, scheme, host, port, path, query);
    if (url.empty()) {
        Logger::Log(Logger::Error, "NIVO_Manager::LoadNivomlPage: Der Pfad ist nicht spezifiziert.");
        return;
    }
    if (!portOk) {
        Logger::Log(Logger::Error, "NIVO_Manager::LoadNivomlPage: Port ung\xfc" "ltig: %s",
                    EscapeForLog(url, kLoggedAnswerBytes).c_str());
        return;
    }
    // The port is written out, so a reload of this URL never depends on a default.
    const std::string pageURL = scheme + "://" + host + ":" + std::to_string(port ? port : 80) + path;
    if (query.find("sDivname") != std::string::npos) divName.clear();

    std::string tail = DisplaySettingsQuery(divName);
    if (query.empty() && !tail.empty()) tail[0] = '?';
    const std::string request = BuildGetRequest(path + query, tail);
    if (request.empty()) {
        Logger::Log(Logger::Error, "NIVO_Manager::LoadNivomlPage: Steuerzeichen in der URL: %s",
                    EscapeForLog(url, kLoggedAnswerBytes).c_str());
        return;
    }
    m_formAnswerNotShown = false;
    SendString(request, port);
    // The page on show keeps its URL until this one has arrived: a reload must
    // not fetch a page that never came.
    if (!m_pendingRequest.empty()) m_requestedURL = pageURL;
}

std::string NIVO_Manager::DisplaySettingsQuery(const std::string& divName) {
    std::string tail = SettingsTail(m_pDisplay->GetContrast(), m_backlightTimeout,
                                    m_pDisplay->GetBrightness());
    if (!divName.empty()) tail += "&sDivname=" + PercentEncodeQueryValue(divName);
    return tail;
}

void NIVO_Manager::SendString(const std::string& request, uint16_t port) {
    if (request.empty()) {
        // Nothing to send would leave the socket writable and select spinning.
        Logger::Log(Logger::Warning, "NIVO_Manager::SendString: Leere Anfrage, nichts gesendet.");
        return;
    }
    const std::string requestLine = request.substr(0, request.find("\r\n"));
    if (HasControlByte(requestLine)) {
        Logger::Log(Logger::Error, "NIVO_Manager::SendString: Steuerzeichen in der Anfrage: %s",
                    EscapeForLog(requestLine, kLoggedAnswerBytes).c_str());
        return;
    }
    bool connected = m_pTcp->Connect(port);
    for (int attempt = 0; !connected && attempt < kConnectRetries; ++attempt) {
        int flushMask = 0;
        ActivatePleaseWait(10000, flushMask);
        m_pDisplay->Flush(flushMask);
        Logger::Log(Logger::Error, "NIVO_Manager::SendString: port: %i", port);
        Logger::Log(Logger::Error, "NIVO_Manager::SendString: msg:  %s",
                    EscapeForLog(request, kLoggedAnswerBytes).c_str());
        Logger::Log(Logger::Error, "NIVO_Manager::SendString: time: %s", CurrentTimeText().c_str());
        Logger::Log(Logger::Error, "NIVO_Manager::SendString: sleep(2)");
        s_sleep(kRetryPauseSeconds);
        connected = m_pTcp->Connect(port);
    }
    if (!connected) {
        ++g_sendFailCount;
        int flushMask = 0;
        ActivateInfoMsgNivo("Retry...", 2000, flushMask);
        m_pDisplay->Flush(flushMask);
        NIVOML_MAINOBJ* root = GetRoot();
        if (root && root->GetPageType() == "BASEPAGE" && g_sendFailCount > 5) {
            Logger::Log(Logger::Error, "NIVO_Manager::SendString: server not ready (5x)");
            g_sendFailCount = 0;
            ShowErrorPage();
        }
        return;
    }
    m_channelFlags |= FLAG_WRITE_SOCKET;
    m_pendingRequest = request;
    g_sendFailCount = 0;
}

// Only the answer to a dontreload form's own submission stays off the panel.
bool NIVO_Manager::ShouldLoadAnswer() {
    if (!m_formAnswerNotShown) return true;
    NIVOML_MAINOBJ* root = GetRoot();
    if (!root) return true;
    NIVOML_FORM* form = root->GetFormForKey(0);
    return !form || form->IsReloadAfterSubmit();
}

void NIVO_Manager::ReloadPage(const std::string& divName) {
    LoadNivomlPage(m_currentURL, divName);
}

void NIVO_Manager::HandleReceivedMsg(int& flushMask) {
    const bool success = IsSuccessResponse(m_received);
    if (success && !ShouldLoadAnswer()) {
        Logger::Log(Logger::Debug, "I don't load the answer.");
        EndInfoMessage(flushMask);  // "Please wait..." has nothing left to wait for
        AcceptAnswer();
        return;
    }
    const std::string text = ExtractNivoml(m_received);
    if (!success || text.empty()) {
        RejectAnswer(flushMask);
        return;
    }
    if (text.find('\0') != std::string::npos) {
        Logger::Log(Logger::Error, "NIVO_Manager::HandleReceivedMsg: NUL-Byte in der Seite.");
        RejectAnswer(flushMask);
        return;
    }
    auto page = std::make_unique<NivomlDocument>(text);
    if (!page->IsOk() || !page->Build()) {
        Logger::Log(Logger::Error, "=========== NIVOML-Error! ===============");
        page->LogErrorPosition();
        RejectAnswer(flushMask);
        return;
    }
    if (NIVOML_MAINOBJ* root = page->GetRoot()) {
        if (m_drawNewPage) {
            EndInfoMessage(flushMask);  // the new page covers any message
            root->Draw(*m_pDisplay);
            ShowStatus(m_pStatus.get(), m_pDisplay.get(), false);
            flushMask |= NIVO_Display::FLUSH_ALL;
        }
        m_drawNewPage = true;
        ReplacePage(std::move(page));
        if (!m_requestedURL.empty()) m_currentURL = m_requestedURL;
    }
    AcceptAnswer();
}

void NIVO_Manager::AcceptAnswer() {
    m_pendingRequest.clear();
    g_lastFailedRequest.clear();
    ++g_okCountAll;
}

void NIVO_Manager::RejectAnswer(int& flushMask) {
    if (m_pendingRequest != g_lastFailedRequest) g_errCountThisMsg = 0;
    g_lastFailedRequest = m_pendingRequest;
    std::string version, status, reason;
    ParseStatusLine(m_received, version, status, reason);
    Logger::Log(Logger::Error, "=========== Received message ===========");
    Logger::Log(Logger::Error, "%s", EscapeForLog(m_received, kLoggedAnswerBytes).c_str());
    Logger::Log(Logger::Error, "=========== Error-Statistik ============");
    Logger::Log(Logger::Error,
                "HTTP-Response___: http_version: %s, status_code: %s, reason_phrase: %s",
                EscapeForLog(version, kLoggedAnswerBytes).c_str(),
                EscapeForLog(status, kLoggedAnswerBytes).c_str(),
                EscapeForLog(reason, kLoggedAnswerBytes).c_str());
    Logger::Log(Logger::Error, "errcount_at_All_: %i", ++g_errCountAll);
    Logger::Log(Logger::Error, "errcount_thisMsg: %i", ++g_errCountThisMsg);
    Logger::Log(Logger::Error, "okcount_at_All__: %i", g_okCountAll);
    Logger::Log(Logger::Error, "Prog_StartTime__: %s", g_startTime.c_str());
    Logger::Log(Logger::Error, "Prog_CurrentTime: %s", CurrentTimeText().c_str());
    if (g_errCountThisMsg <= 1) return;  // the waiting step schedules the second attempt

    ActivateInfoMsgNivo("Retry...", 2000, flushMask);
    m_pDisplay->Flush(flushMask);  // shown during the pause, not after it
    Logger::Log(Logger::Error, "Dieser Fehler konnte 2x nicht behandelt werden ");
    Logger::Log(Logger::Error, "NIVO_Manager::HandleReceivedMsg: time: %s",
                CurrentTimeText().c_str());
    Logger::Log(Logger::Error, "NIVO_Manager::HandleReceivedMsg: sleep(2)");
    s_sleep(kRetryPauseSeconds);
    if (!m_udpMessage.empty()) {
        Logger::Log(Logger::Error, ": %s", EscapeForLog(m_udpMessage, kLoggedAnswerBytes).c_str());
    }
    g_lastFailedRequest.clear();
    m_pendingRequest.clear();
    m_udpMessage.clear();
}

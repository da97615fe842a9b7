#include "manager/nivo_manager.h"

#include <sys/select.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "manager/nivo_status.h"
#include "markup/nivoml_document.h"
#include "markup/nivoml_mainobj.h"
#include "net/tcp_channel.h"
#include "net/udp_channel.h"
#include "panel/lcd_keys.h"
#include "panel/nivo_display.h"
#include "util/logger.h"
#include "util/utilities.h"

volatile sig_atomic_t g_running = 1;
volatile sig_atomic_t g_lastSignal = -1;

std::string g_homeURL = "http://127.0.0.1/config/display/nivo_index.cgi";
std::string g_startTime;

namespace {
void SleepSeconds(unsigned seconds) {
    ::sleep(seconds);
}
}  // namespace

void (*NIVO_Manager::s_sleep)(unsigned seconds) = SleepSeconds;

NIVO_Manager::NIVO_Manager(const std::string& homeURL) {
    ElementHost::s_instance = this;
    m_pStatus = std::make_unique<NIVO_Status>();
    m_pTcp = std::make_unique<TCP_CHANNEL>();
    m_pUdp = std::make_unique<UDP_CHANNEL>();
    m_pDisplay = std::make_unique<NIVO_Display>();
    m_pKeys = std::make_unique<LCD_Keys>();
    m_pKeys->SetExclusiveTiming(true);
    g_startTime = CurrentTimeText();
    if (!homeURL.empty()) g_homeURL = homeURL;
    m_currentURL = g_homeURL;
    if (!Init()) return;
    ReadDisplaySettings();
    BuildBasePage();
    m_pDisplay->Flush(NIVO_Display::FLUSH_ALL);
    LoadNivomlPage(g_homeURL, "");
}

NIVO_Manager::~NIVO_Manager() {
    if (Init()) {
        m_pDisplay->EndMessage();
        m_pDisplay->Clear();
        m_pDisplay->WriteSegText("off", MODE_ON, 4);
        m_pDisplay->SetLed(LED_DISPLAY, MODE_ON);
        m_pDisplay->Flush(NIVO_Display::FLUSH_ALL);
    }
    m_pStatus.reset();
    m_pDisplay.reset();
    m_pKeys.reset();
    m_pTcp.reset();
    m_pUdp.reset();
    m_pPage.reset();  // its elements stop their timers through s_instance
    if (ElementHost::s_instance == this) ElementHost::s_instance = nullptr;
}

bool NIVO_Manager::Init() {
    return m_pDisplay->IsGood() && m_pKeys->GetFd() > 0 && m_pUdp->GetSocket() > 0;
}

NIVOML_MAINOBJ* NIVO_Manager::GetRoot() const {
    return m_pPage ? m_pPage->GetRoot() : nullptr;
}

std::string NIVO_Manager::GetCurrentDivName() {
    NIVOML_MAINOBJ* root = GetRoot();
    return root ? root->GetCurrentDivName() : std::string();
}

void NIVO_Manager::WaitAndHandle(int timeoutMs) {
    int flushMask = 0;

    // One page event goes per pass: the rest of the queue must not wait out idle passes.
    if (!RequestInFlight() && !m_udpQueue.empty()) {
        const int due = std::max(MsUntilQueueDue(), 1);
        if (timeoutMs == 0 || due < timeoutMs) timeoutMs = due;
    }
    if (m_pUdp->GetSocket() < 1) m_pUdp->Open();
    if (m_pTcp->GetSocket() < 1 && (m_channelFlags & FLAG_WRITE_SOCKET) && !m_pTcp->Reconnect()) {
        m_received.clear();
        ConcludeRequest(flushMask, true);
    }
    const int keyFd = m_pKeys->GetFd();
    const int tcpFd = m_pTcp->GetSocket();
    const int udpFd = m_pUdp->GetSocket();

    fd_set readSet, writeSet, exceptSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    FD_ZERO(&exceptSet);
    int highest = -1;
    auto watch = [&highest](int fd, fd_set& set) {
        if (fd < 1 || fd >= FD_SETSIZE) return;
        FD_SET(fd, &set);
        if (fd > highest) highest = fd;
    };
    if ((m_channelFlags & FLAG_KEYS) && s_timerQueue.NowMs() >= m_keysPausedUntilMs) {
        watch(keyFd, readSet);
    }
    if (m_channelFlags & FLAG_READ_SOCKET) {
        watch(tcpFd, readSet);
        // A silent server must not hold the answer clock back.
        const int left = m_pTcp->MsUntilAnswerDeadline();
        if (timeoutMs == 0 || left < timeoutMs) timeoutMs = left < 1 ? 1 : left;
    }
    watch(udpFd, readSet);
    if (m_channelFlags & FLAG_WRITE_SOCKET) watch(tcpFd, writeSet);

    timeval timeout = MsToTimeval(timeoutMs);
    const int ready =
        ::select(highest + 1, &readSet, &writeSet, &exceptSet, timeoutMs == 0 ? nullptr : &timeout);
    const int selectError = errno;
    ActOnSignal();
    if (ready < 0) {
        if (selectError != EINTR) LogSelectError(selectError);
        m_pDisplay->Flush(flushMask);
        return;
    }

    const bool keysReadable = keyFd > 0 && FD_ISSET(keyFd, &readSet);
    ReadKeys(keysReadable, flushMask);
    if (!keysReadable) RepeatHeldKey(flushMask);
    if (udpFd > 0 && FD_ISSET(udpFd, &readSet)) ReceiveDatagrams(flushMask);
    if (tcpFd > 0 && FD_ISSET(tcpFd, &readSet)) {
        ReceiveAnswer(flushMask);
    } else if ((m_channelFlags & FLAG_READ_SOCKET) && m_pTcp->MsUntilAnswerDeadline() <= 0) {
        Logger::Log(Logger::Error, "NIVO_Manager::WaitAndHandle: Keine Antwort nach %i ms.",
                    TCP_CHANNEL::kAnswerTimeoutMs);
        ConcludeRequest(flushMask, true);
    }
    if (tcpFd > 0 && FD_ISSET(tcpFd, &writeSet) && tcpFd == m_pTcp->GetSocket()) {
        WriteRequest(flushMask);
    }
    if (!RequestInFlight() && !m_udpQueue.empty()) HandleUdpMessages();

    m_pDisplay->Flush(flushMask);
}

// A signal that arrives while the program is busy is acted on after the next select.
void NIVO_Manager::ActOnSignal() {
    const int signal = g_lastSignal;
    if (signal == -1) return;
    g_lastSignal = -1;
    if (signal == SIGUSR1) ReloadDisplaySettings();
}

void NIVO_Manager::LogSelectError(int error) {
    switch (error) {
        case EINTR:
            Logger::Log(Logger::Error, "Error: Received non-blocking signal");
            break;
        case EBADF:
            Logger::Log(Logger::Error, "Error: Invalid File-Descriptor");
            break;
        case ENOMEM:
            Logger::Log(Logger::Error, "Error: can't get memory");
            break;
        case EINVAL:
            Logger::Log(Logger::Error, "Error: n is negative");
            break;
        default:
            Logger::Log(Logger::Error, "%s", std::strerror(error));
            break;
    }
}

// Each state byte that presses keys is dispatched once, as the combination it holds.
void NIVO_Manager::ReadKeys(bool readable, int& flushMask) {
    if (!readable) return;
    const int read = m_pKeys->ReadAvailable();
    if (read == 0 || (read < 0 && errno != EINTR && errno != EAGAIN)) {
        if (!m_keyDeviceSilent) {
            Logger::Log(Logger::Error, "NIVO_Manager: Tastenger\xe4t liefert keine Daten (%s).",
                        read == 0 ? "Dateiende" : std::strerror(errno));
        }
        m_keyDeviceSilent = true;
        m_keysPausedUntilMs = s_timerQueue.NowMs() + kKeyDeviceRetryMs;
        return;
    }
    m_keyDeviceSilent = false;
    DispatchKeys(flushMask);
}

// The state bytes read or injected, as the panel's keys would press them.
void NIVO_Manager::DispatchKeys(int& flushMask) {
    while (m_pKeys->NextPress() != 0) {
        const int key = m_pKeys->GetState();
        if (key > 7) continue;  // no such key on the panel
        m_keysLatched = false;
        int backlight = MODE_OFF;
        m_pDisplay->GetLed(LED_DISPLAY, backlight);
        if ((backlight != MODE_OFF || m_backlightTimeout == 0) && m_pendingRequest.empty()) {
            HandleKey(key, flushMask, "");
        }
        ActivateBacklight();
    }
    if (m_pKeys->GetState() == 0) m_keysLatched = false;
}

// A held key repeats at the pace of the main loop; a binding that waits for a
// hold time fires once per press.
void NIVO_Manager::RepeatHeldKey(int& flushMask) {
    const int key = m_pKeys->GetState();
    if (key == 0 || key > 7 || m_keysLatched || !m_pendingRequest.empty()) return;
    const double held = m_pKeys->GetHoldTime(key);
    NIVOML_MAINOBJ* root = GetRoot();
    const bool longPress =
        root && root->GetKeyTarget(key, 0.0).empty() && !root->GetKeyTarget(key, held).empty();
    if (!longPress && held <= 1.0) return;
    HandleKey(key, flushMask, "");
    ActivateBacklight();
    if (longPress) m_keysLatched = true;
}

void NIVO_Manager::ReceiveDatagrams(int& flushMask) {
    std::string text;
    for (int i = 0; i < kMaxDatagramsPerPass; ++i) {
        if (m_pUdp->Receive(text) < 0) break;
        if (m_remoteKeys && IsRemotePress(text)) {
            PressRemoteKey(text, flushMask);  // at once, as the key device would
        } else {
            PushErrorMsg(text);
        }
    }
}

void NIVO_Manager::ReceiveAnswer(int& flushMask) {
    const bool cut = m_pTcp->Receive(m_received) < 0;
    if (cut) {
        Logger::Log(Logger::Error, "NIVO_Manager::WaitAndHandle: Antwort unvollst\xe4"
                                   "ndig (%u Bytes).",
                    static_cast<unsigned>(m_received.size()));
    }
    ConcludeRequest(flushMask, cut);
}

void NIVO_Manager::WriteRequest(int& flushMask) {
    if (m_pendingRequest.empty()) return;
    PreparePleaseWaitMsg(2000);
    if (m_pTcp->SendMessage(m_pendingRequest) < 0) {
        m_received.clear();
        ConcludeRequest(flushMask, true);
        return;
    }
    KillTimer(SET_BITS_WRITE_SOCKET);
    m_channelFlags |= FLAG_READ_SOCKET;
    m_channelFlags &= ~FLAG_WRITE_SOCKET;
}

// The end of one attempt: the answer is accepted or rejected, then the request
// is either done or waits for its second attempt.
void NIVO_Manager::ConcludeRequest(int& flushMask, bool rejected) {
    m_pTcp->Close();
    m_channelFlags &= ~(FLAG_READ_SOCKET | FLAG_WRITE_SOCKET);
    if (rejected) {
        RejectAnswer(flushMask);
    } else {
        HandleReceivedMsg(flushMask);
    }
    if (m_pendingRequest.empty()) {
        KillTimer(SET_PLEASEWAIT);
        m_udpMessage.clear();
        m_formAnswerNotShown = false;
        m_requestedURL.clear();
        return;
    }
    const int delay = static_cast<int>(std::sqrt(static_cast<double>(g_errCountThisMsg)) * 1000.0);
    Logger::Log(Logger::Error, "Received Data is not ok. I will request it again.");
    ActivateSetBitsWriteSocket(delay);
}

void NIVO_Manager::ReplacePage(std::unique_ptr<NivomlDocument> page) {
    // Timers armed for the old page's form or setter must never submit the new one.
    KillTimer(AUTO_SUBMIT_FORM_EXEC);
    KillTimer(AUTO_SUBMIT_SETDATETIME_EXEC);
    m_pPage = std::move(page);
    if (m_pKeys->GetState() != 0) m_keysLatched = true;
}

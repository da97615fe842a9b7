#pragma once
// The panel's single controller: owns the devices, the channels, the status
// record and the page on show; waits for keys, answers and notifications and
// dispatches them. One source file per concern:
//   nivo_manager.cpp     construction, the waiting step
//   generated_pages.cpp  base page, error page
//   key_dispatch.cpp     commands from keys and timers
//   timers.cpp           timed actions
//   notifications.cpp    UDP notifications, status indication
//   settings_clock.cpp   display settings, configuration file, system clock
//   page_load.cpp        request cycle, answers, error statistics
#include <csignal>
#include <cstdint>
#include <ctime>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "markup/element_host.h"
#include "util/timer.h"

class NIVO_Display;
class PropertyMap;
class LCD_Keys;
class TCP_CHANNEL;
class UDP_CHANNEL;
class NivomlDocument;
class NIVOML_MAINOBJ;
class NIVOML_SETDATETIMEOBJ;
struct NIVO_Status;

// Set by main's signal handlers, acted on by the waiting step.
extern volatile sig_atomic_t g_running;
extern volatile sig_atomic_t g_lastSignal;  // -1: none pending

extern std::string g_homeURL;
extern std::string g_startTime;

// Error statistics of the request cycle.
extern int g_errCountAll;
extern int g_errCountThisMsg;
extern int g_okCountAll;
extern std::string g_lastFailedRequest;
extern int g_sendFailCount;

class NIVO_Manager : public TimerTarget, public ElementHost {
public:
    // Display settings without a configuration file (the checker's requests carry them too).
    static constexpr int kDefaultBacklight = 60;
    static constexpr int kDefaultContrast = 7;
    static constexpr int kDefaultBrightness = 15;
    // The display settings every request ends with, so that pages can show them.
    static std::string SettingsTail(int contrast, int backlight, int brightness) {
        return "&sContrast=" + std::to_string(contrast) + "&sBacklight=" +
               std::to_string(backlight) + "&sBrightness=" + std::to_string(brightness);
    }
    enum ChannelFlags : unsigned { FLAG_READ_SOCKET = 1, FLAG_WRITE_SOCKET = 2, FLAG_KEYS = 4 };
    enum TimerIds : unsigned long {
        LED_DISPLAY_BACKLIGHTOFF = 0,
        INFO_MSG_NIVO_OFF = 1,
        AUTO_SUBMIT_FORM_EXEC = 2,
        AUTO_SUBMIT_SETDATETIME_EXEC = 3,
        SET_BITS_WRITE_SOCKET = 4,
        TIME_UPDATE = 5,
        SET_INSTALL_MODE_OFF = 6,
        SET_RX_OFF = 7,
        SET_NEW_DEVICE_OFF = 8,
        SET_WEBSRVREQ_OFF = 9,
        SET_PLEASEWAIT = 10,
        REMOTE_KEY_RELEASE = 11,
    };
    static constexpr size_t kMaxQueuedTexts = 32;
    static constexpr int kMaxDatagramsPerPass = 64;
    static constexpr int kInFlightRetryMs = 500;  // timer commands wait for the answer

    explicit NIVO_Manager(const std::string& homeURL);
    ~NIVO_Manager() override;
    NIVO_Manager(const NIVO_Manager&) = delete;
    NIVO_Manager& operator=(const NIVO_Manager&) = delete;

    // Display good, key device and UDP socket open.
    bool Init();
    // One pass: wait up to timeoutMs for keys, answers and datagrams; handle them; flush.
    void WaitAndHandle(int timeoutMs);

    // ElementHost
    std::string GetCurrentDivName() override;
    void RestartTimer(long ms, unsigned long id) override;
    void StopTimer(unsigned long id) override;
    void AutoSubmit_Form(int ms) override;
    void AutoSubmit_SetDateTime(int ms) override;

    // TimerTarget
    void OnTimer(unsigned long id) override;

    // Page load cycle.
    void LoadNivomlPage(const std::string& url, std::string divName);
    void SendString(const std::string& request, uint16_t port);
    void HandleReceivedMsg(int& flushMask);
    bool ShouldLoadAnswer();
    void ReloadPage(const std::string& divName);
    std::string DisplaySettingsQuery(const std::string& divName);

    // Generated pages.
    void BuildBasePage();
    void ShowErrorPage();
    bool ShowGeneratedPage(const std::string& text);

    // Keys and commands.
    void HandleKey(int key, int& flushMask, const std::string& command);
    // A key press datagram ("WEBPANEL", "KEY=1..7", "HOLD=0..60000" ms), taken
    // when the configuration says REMOTEKEYS=true; false when text is none.
    static bool IsRemotePress(const std::string& text);
    void PressRemoteKey(const std::string& text, int& flushMask);

    // Timed actions.
    void ActivateBacklight();
    void ActivateInfoMsgNivo(const std::string& text, int ms, int& flushMask);
    void ActivatePleaseWait(int ms, int& flushMask);
    void EndInfoMessage(int& flushMask);
    void PreparePleaseWaitMsg(int ms);
    void ActivateSetBitsWriteSocket(int ms);
    void ActivateInstallMode(int ms);
    void ActivateRadioFrequencyRX(int ms);
    void ActivateWebserverRequest(int ms);
    void ActivateNewDevice(int ms);
    void KillAutoTimers(bool cookies);

    // Notifications and status.
    void PushErrorMsg(const std::string& text);
    void PopErrorMsg();
    void HandleUdpMessages();
    bool UpdateStatus(const std::string& text);
    void ShowStatus(NIVO_Status* status, NIVO_Display* display, bool logAndFlush);

    // Display settings and clock.
    void ReadDisplaySettings();
    void ReloadDisplaySettings();
    void ApplyDisplaySettings(const std::string& settings);
    // The key=value pieces of a settings text; pieces without "=" are left out.
    static std::vector<std::pair<std::string, std::string>> SplitDisplaySettings(
        const std::string& settings);
    void ApplyDisplaySetting(const std::string& key, const std::string& value);
    // Two-digit texts; a negative number keeps that part of the current time.
    // RunCommand's result: negative when the clock was not set.
    int SetSystemClock(const std::string& day, const std::string& month, const std::string& year,
                       const std::string& hour, const std::string& minute);

    // NIVO_LCD_CONFIG, else /etc/config/nivo_lcd.conf.
    static std::string ConfigPath();

    // Read access for tests, fuzz targets and benchmarks.
    NIVO_Display& GetDisplay() { return *m_pDisplay; }
    NIVO_Status& GetStatus() { return *m_pStatus; }
    NIVOML_MAINOBJ* GetRoot() const;
    const std::deque<std::string>& GetUdpQueue() const { return m_udpQueue; }
    const std::string& GetPendingRequest() const { return m_pendingRequest; }
    int GetBacklightTimeout() const { return m_backlightTimeout; }

    // The blocking pauses of the request cycle; tests and fuzz targets replace it.
    static void (*s_sleep)(unsigned seconds);

private:
    // nivo_manager.cpp
    void LogSelectError(int error);
    void ActOnSignal();
    void ReadKeys(bool readable, int& flushMask);
    void DispatchKeys(int& flushMask);
    void RepeatHeldKey(int& flushMask);
    void ReceiveDatagrams(int& flushMask);
    void ReceiveAnswer(int& flushMask);
    void ConcludeRequest(int& flushMask, bool rejected);
    void WriteRequest(int& flushMask);
    void ReplacePage(std::unique_ptr<NivomlDocument> page);
    bool RequestInFlight() const {
        return !m_pendingRequest.empty() ||
               (m_channelFlags & (FLAG_READ_SOCKET | FLAG_WRITE_SOCKET));
    }
    // key_dispatch.cpp
    void HandleFormCommand(int key, int& flushMask, const std::string& command);
    void HandleSetterCommand(int& flushMask, const std::string& command);
    void SubmitSetter(NIVOML_SETDATETIMEOBJ& setter, int& flushMask);
    // page_load.cpp
    void AcceptAnswer();
    void RejectAnswer(int& flushMask);
    // notifications.cpp
    bool IsRecentlyHandled(const std::string& text) const;
    int MsUntilQueueDue() const;  // 0: the oldest queued text may be handled now
    bool HandlePageEvent();  // true when it loaded a page
    // settings_clock.cpp
    void ApplyPanelAccess(const PropertyMap& config);
    void ApplySettings(int backlight, int contrast, int brightness, const std::string& timeFormat,
                       const std::string& dateFormat, const std::string& storedTime,
                       const std::string& storedDate);

    std::unique_ptr<NIVO_Status> m_pStatus;
    std::unique_ptr<NIVO_Display> m_pDisplay;
    std::unique_ptr<LCD_Keys> m_pKeys;
    std::unique_ptr<TCP_CHANNEL> m_pTcp;
    std::unique_ptr<UDP_CHANNEL> m_pUdp;
    std::unique_ptr<NivomlDocument> m_pPage;
    std::deque<std::string> m_udpQueue;  // oldest first
    std::string m_pendingRequest;
    std::string m_received;
    std::string m_currentURL;
    std::string m_udpMessage;
    bool m_drawNewPage = true;
    bool m_remoteKeys = false;  // key press datagrams are taken
    int m_backlightTimeout = -1;
    unsigned m_channelFlags = FLAG_KEYS;

    // Keys: a held key does nothing after a page change or a long press until released.
    bool m_keysLatched = false;
    // A key device at end of file or failing stays readable: it is left alone a while.
    static constexpr int kKeyDeviceRetryMs = 1000;
    int64_t m_keysPausedUntilMs = 0;
    bool m_keyDeviceSilent = false;
    // The URL of the page in flight; it becomes m_currentURL when the page arrives.
    std::string m_requestedURL;
    // The request in flight is a submission whose answer the form does not want shown.
    bool m_formAnswerNotShown = false;
    // Notifications: the last text handled and when (monotonic ms).
    std::string m_lastHandledText;
    int64_t m_lastHandledMs = 0;
};

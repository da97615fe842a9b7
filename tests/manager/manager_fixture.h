#pragma once
// A manager built in-process on a temporary panel: register file, key FIFO,
// configuration file and a free UDP port; a home page nobody serves (port 1
// refuses at once), a listening loopback server the test answers by hand, a stub
// `date` first in PATH and a fake monotonic clock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "manager/nivo_manager.h"
#include "panel/nivo_display.h"
#include "sim/panel_decoder.h"
#include "tests/util/loopback.h"
#include "tests/util/temp_dir.h"
#include "util/file_descriptor.h"
#include "util/logger.h"
#include "util/timer.h"
#include "util/utilities.h"

class ManagerTest : public ::testing::Test {
protected:
    ManagerTest() : m_logGuard(&log), m_path(std::getenv("PATH")) {
        s_nowMs = 1000000;
        TimerTarget::s_timerQueue.SetClock([] { return s_nowMs; });
        const int udpPort = BoundPort(BoundSocket(SOCK_DGRAM).Get());  // closed again: free
        const std::string lcd = dir.Write("lcd", "");
        ::mkfifo(dir.Path("keys").c_str(), 0600);
        setenv("NIVO_LCD_DEVICE", lcd.c_str(), 1);
        setenv("NIVO_KEYS_DEVICE", dir.Path("keys").c_str(), 1);
        setenv("NIVO_LCD_CONFIG", Config().c_str(), 1);
        setenv("NIVO_UDP_PORT", std::to_string(udpPort).c_str(), 1);
        dir.Write("date",
                  "#!/bin/sh\necho \"$@\" > " + dir.Path("date.args") + "\nexit $(cat " +
                      dir.Path("date.status") + ")\n",
                  0755);
        dir.Write("date.status", "0");
        setenv("PATH", (dir.Path() + ":" + m_path).c_str(), 1);
        m_sleep = NIVO_Manager::s_sleep;
        NIVO_Manager::s_sleep = [](unsigned) {};
    }
    ~ManagerTest() override {
        manager.reset();
        NIVO_Manager::s_sleep = m_sleep;
        setenv("PATH", m_path.c_str(), 1);
        for (const char* name :
             {"NIVO_LCD_DEVICE", "NIVO_KEYS_DEVICE", "NIVO_LCD_CONFIG", "NIVO_UDP_PORT"}) {
            unsetenv(name);
        }
        TimerTarget::s_timerQueue.SetClock(nullptr);
    }

    // Builds the manager; tests write the configuration file first when they need one.
    void Start(const std::string& home = "http://127.0.0.1:1/x") {
        g_sendFailCount = 0;
        manager = std::make_unique<NIVO_Manager>(home);
        ASSERT_TRUE(manager->Init());
        m_server = BoundSocket(SOCK_STREAM);
        m_port = static_cast<uint16_t>(BoundPort(m_server.Get()));
        m_keys = FileDescriptor(::open(dir.Path("keys").c_str(), O_WRONLY | O_NONBLOCK));
    }
    void Advance(int64_t ms) { s_nowMs += ms; }
    void Elapse(int64_t ms) {  // the fake clock moves on and the due timers run
        Advance(ms);
        TimerTarget::s_timerQueue.Execute();
    }
    // One notification, handled as the waiting step would.
    void Notify(const std::string& text) {
        manager->PushErrorMsg(text);
        manager->HandleUdpMessages();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    // A page whose head and body are given; start names the div shown first.
    void Show(const std::string& start, const std::string& body, const std::string& head = "",
              const std::string& attributes = "") {
        ASSERT_TRUE(manager->ShowGeneratedPage("<nivoml" + attributes + "><head><goto div=\"" +
                                               start + "\"/>" + head + "</head><body>" + body +
                                               "</body></nivoml>"));
        manager->GetDisplay().Flush(NIVO_Display::FLUSH_ALL);
    }
    void Key(unsigned char state, int64_t heldMs = 0) {  // released first, then pressed
        const unsigned char bytes[] = {0, state};
        ASSERT_EQ(::write(m_keys.Get(), bytes, 2), 2);
        manager->WaitAndHandle(100);
        if (heldMs > 0) Hold(heldMs);
    }
    void Hold(int64_t ms) {  // time passes, then one pass of the waiting step
        Advance(ms);
        manager->WaitAndHandle(1);
    }
    // Writes the pending request, answers it as the web server would ("" keeps the
    // connection silent; keepOpen leaves it open after the answer) and reads the
    // answer; the request as it came.
    std::string Serve(const std::string& answer, bool keepOpen = false) {
        manager->WaitAndHandle(100);
        pollfd ready{m_server.Get(), POLLIN, 0};
        if (::poll(&ready, 1, 500) != 1) {
            ADD_FAILURE() << "no request came";
            return "";
        }
        m_client = FileDescriptor(::accept(m_server.Get(), nullptr, nullptr));
        pollfd sent{m_client.Get(), POLLIN, 0};  // a connection may come without a request
        std::string request(4096, '\0');
        const ssize_t got =
            ::poll(&sent, 1, 500) == 1 ? ::recv(m_client.Get(), &request[0], 4096, 0) : 0;
        request.resize(static_cast<size_t>(std::max<ssize_t>(0, got)));
        if (answer.empty()) return request;
        EXPECT_EQ(::send(m_client.Get(), answer.data(), answer.size(), 0),
                  static_cast<ssize_t>(answer.size()));
        if (!keepOpen) m_client.Reset();
        manager->WaitAndHandle(100);
        return request;
    }
    // The request line of the request in flight, without " HTTP/1.0".
    std::string Pending() const {
        const std::string& request = manager->GetPendingRequest();
        return request.substr(0, request.find(" HTTP/1.0"));
    }
    PanelPicture Panel() { return DecodePanelFile(dir.Path("lcd")).value_or(PanelPicture{}); }
    std::string Config() const { return dir.Path("nivo_lcd.conf"); }
    std::string DateArgs() const { return ReadFile(dir.Path("date.args")); }

    static inline const std::string kTail = "sContrast=7&sBacklight=60&sBrightness=15";
    TempDir dir;
    CapturingLogger log;
    std::unique_ptr<NIVO_Manager> manager;

private:
    static inline int64_t s_nowMs = 0;
    ScopedLogger m_logGuard;
    std::string m_path;
    void (*m_sleep)(unsigned) = nullptr;
    FileDescriptor m_server, m_keys, m_client;
    uint16_t m_port = 0;
};

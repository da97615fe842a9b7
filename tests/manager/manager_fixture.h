#pragma once
// A manager built in-process on a temporary panel: register file, key FIFO,
// configuration file and a free UDP port; a home page nobody serves (port 1
// refuses at once), a stub `date` first in PATH and a fake monotonic clock.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "manager/nivo_manager.h"
#include "panel/nivo_display.h"
#include "sim/panel_decoder.h"
#include "tests/util/temp_dir.h"
#include "util/file_descriptor.h"
#include "util/logger.h"
#include "util/timer.h"

// A socket bound to a free loopback port; a TCP one listens, so connections
// to it succeed (and wait in its backlog).
inline FileDescriptor BindLoopback(int type, uint16_t& port) {
    FileDescriptor fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        (type == SOCK_STREAM && ::listen(fd.Get(), 4) != 0)) {
        ADD_FAILURE() << "no loopback port";
    }
    port = ntohs(address.sin_port);
    return fd;
}

class ManagerTest : public ::testing::Test {
protected:
    ManagerTest() : m_logGuard(&log), m_path(std::getenv("PATH")) {
        s_nowMs = 1000000;
        TimerTarget::s_timerQueue.SetClock([] { return s_nowMs; });
        uint16_t udpPort = 0;
        BindLoopback(SOCK_DGRAM, udpPort);  // closed again: free for the manager
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
    void Start() {
        g_sendFailCount = 0;
        manager = std::make_unique<NIVO_Manager>("http://127.0.0.1:1/x");
        ASSERT_TRUE(manager->Init());
    }
    void Advance(int64_t ms) { s_nowMs += ms; }
    // One notification, handled as the waiting step would.
    void Notify(const std::string& text) {
        manager->PushErrorMsg(text);
        manager->HandleUdpMessages();
    }
    PanelPicture Panel() { return DecodePanelFile(dir.Path("lcd")).value_or(PanelPicture{}); }
    std::string Config() const { return dir.Path("nivo_lcd.conf"); }
    std::string DateArgs() const { return ReadFile(dir.Path("date.args")); }

    TempDir dir;
    CapturingLogger log;
    std::unique_ptr<NIVO_Manager> manager;

private:
    static inline int64_t s_nowMs = 0;
    ScopedLogger m_logGuard;
    std::string m_path;
    void (*m_sleep)(unsigned) = nullptr;
};

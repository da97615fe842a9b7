#pragma once
// Black-box harness for the built nivo_lcd: lighttpd serving a test site of CGI
// scripts on a free loopback port, the program started with its seams pointing
// into a private folder, keys written to the FIFO, datagrams to its UDP port and
// the panel read back through the decoder. Every wait has a bound; TearDown stops
// every process, also when the test failed.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/types.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/panel_decoder.h"
#include "tests/util/loopback.h"
#include "tests/util/temp_dir.h"
#include "util/file_descriptor.h"

// 127.0.0.1 at port; the port a socket is bound to.

// A child started with fork/exec, its output in a file; dies with the test process.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(SIGKILL, 0); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::string& outputPath);
    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }  // for /proc; -1 without a child
    void Signal(int signal) const {
        if (m_pid > 0) kill(m_pid, signal);
    }
    // Sends signal, waits up to boundMs, then SIGKILL; the wait status, -1 without a child.
    int Stop(int signal, int boundMs);
    // Waits up to boundMs for the child to end by itself; false when it still runs.
    bool WaitExit(int boundMs, int& status);

private:
    pid_t m_pid = -1;
};

// A bare TCP server on 127.0.0.1 that records each request as it came over the wire
// and answers it with a fixed text, or holds the connection silently when that is "".
class RawServer {
public:
    explicit RawServer(std::string answer);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    std::string Url(const std::string& path) const;
    std::string Site(const std::string& nivoml) const;  // "@/" replaced
    std::vector<std::string> Requests() const;

private:
    void Serve();
    std::string ReadRequest(int connection) const;

    std::string m_answer;
    FileDescriptor m_listener;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::vector<FileDescriptor> m_held;  // silent connections, closed at the end
    std::thread m_thread;
};

// The query tail every request carries with the default display settings.
inline const std::string kDefaultTail = "sContrast=7&sBacklight=60&sBrightness=15";

// A page of one div showing text; key 4 leads to home.cgi.
std::string SimplePage(const std::string& text, const std::string& pageType = "PLAIN");
// The answer a raw server gives: a NIVOML page behind a 200 status line.
std::string HttpAnswer(const std::string& nivoml);

class E2E : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Test site. "@/" in a page stands for Url("").
    std::string Url(const std::string& path) const;
    std::string Site(const std::string& nivoml) const;  // "@/" replaced
    // site/NAME.cgi records its query string (one line per call) and its body, runs
    // shell (which sees the call number as $N and may print a Status and exit), then
    // prints the page.
    void Page(const std::string& name, const std::string& nivoml, const std::string& shell = "");
    // home.cgi: div A "Home page", div B "Div B"; key 1 -> second.cgi, key 2 -> #B, key 4
    // held 2 s -> long.cgi; names alarm.cgi and service.cgi. second.cgi: "Second page".
    void HomeSite(const std::string& homeShell = "");
    void StartServer();
    std::vector<std::string> Queries(const std::string& page) const;
    std::string Body(const std::string& page) const;

    // The program, started with -c -l 1 -h URL(homePage) and the seams.
    void StartProgram(const std::string& homePage);
    void StartProgramWith(const std::vector<std::string>& arguments);
    int StopProgram();  // SIGINT, SIGKILL after a bound; the wait status
    bool WaitProgramExit(int& status) { return m_program.WaitExit(5000, status); }
    void Signal(int signal) const;
    void WriteConfig(const std::string& text) const;  // replaced atomically
    std::string Config() const;
    std::string Log() const;
    int LogCount(const std::string& text) const;
    std::string DateCalls() const;  // arguments the stub date was run with, one call a line

    // Panel, keys, notifications.
    PanelPicture Panel() const;
    std::string Text() const { return Panel().Text(); }
    ::testing::AssertionResult WaitFor(const std::function<bool()>& done, const std::string& what,
                                       int boundMs = 5000) const;
    ::testing::AssertionResult WaitForText(const std::string& text, int boundMs = 5000) const;
    void Press(unsigned keys) const;  // the key state byte: bits 1, 2, 4
    void Release() const { Press(0); }
    void Tap(unsigned key) const;
    void SendUdp(const std::string& text) const;

    TempDir m_dir;
    int m_port = 0;
    int m_udpPort = 0;
    ChildProcess m_server;
    ChildProcess m_program;
};

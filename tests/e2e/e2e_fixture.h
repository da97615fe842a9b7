#pragma once
// Black-box harness for the built nivo_lcd: lighttpd serving CGI scripts on a free
// loopback port, the program with its seams in a private folder, keys written to the
// FIFO, the panel read back through the decoder. Every wait has a bound; every
// process started is stopped, also when a test fails.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <iostream>
#include <thread>

#include "sim/panel_decoder.h"
#include "tests/util/loopback.h"
#include "tests/util/temp_dir.h"
#include "util/conversions.h"
#include "util/file_descriptor.h"
#include "util/utilities.h"

inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

inline bool ExitedWith(int status, int code) {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// A child started with fork/exec, its output in a file; it dies with the test process.
class ChildProcess {
public:
    ~ChildProcess() { Stop(SIGKILL, 0); }
    void Start(std::vector<std::string> argv, std::vector<std::string> environment,
               const std::string& outputPath) {
        std::vector<char*> argp, envp;  // built before fork: the test runs threads
        for (std::string& text : argv) argp.push_back(text.data());
        for (std::string& text : environment) envp.push_back(text.data());
        argp.push_back(nullptr);
        envp.push_back(nullptr);
        FileDescriptor output(
            open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        FileDescriptor input(open("/dev/null", O_RDONLY | O_CLOEXEC));
        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid != 0) return;
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // a test killed by its timeout leaves no orphans
        if (getppid() != parent) _exit(127);
        dup2(input.Get(), 0);
        dup2(output.Get(), 1);
        dup2(output.Get(), 2);
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    bool Running() const { return m_pid > 0; }
    void Signal(int signal) const { kill(m_pid, signal); }
    // Waits up to boundMs for the child to end by itself; false when it still runs.
    bool WaitExit(int boundMs, int& status) {
        for (int waited = 0; m_pid > 0 && waited <= boundMs; waited += 20, SleepMs(20)) {
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) m_pid = -1;
        }
        return m_pid <= 0;
    }
    // Sends signal, waits up to boundMs, then SIGKILL; the wait status, -1 without a child.
    int Stop(int signal, int boundMs) {
        int status = -1;
        if (m_pid <= 0) return status;
        kill(m_pid, signal);
        if (WaitExit(boundMs, status)) return status;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }

private:
    pid_t m_pid = -1;
};

class E2E : public ::testing::Test {
protected:
    void SetUp() override {
        for (int type : {SOCK_STREAM, SOCK_DGRAM}) {  // ports just handed out and taken back
            (type == SOCK_STREAM ? m_port : m_udpPort) = BoundPort(BoundSocket(type).Get());
        }
        mkdir(m_dir.Path("site").c_str(), 0755);
        mkfifo(m_dir.Path("keys").c_str(), 0600);
        m_dir.Write("lcd", "");
    }
    void TearDown() override {
        EXPECT_TRUE(!m_program.Running() || ExitedWith(StopProgram(), 0)) << "not ended by SIGINT";
        m_server.Stop(SIGTERM, 5000);
        if (HasFailure()) std::cout << RenderPanel(Panel()) << ReadFile(m_dir.Path("program.log"));
    }

    // Test site. "@/" in a page stands for Url("").
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/" + path;
    }
    std::string Site(std::string nivoml) const {
        ReplaceAll(nivoml, "@/", Url(""));
        return nivoml;
    }
    // site/NAME.cgi records its query string (one line per call), runs shell (which
    // may print a Status line, or the whole answer and exit), then prints the page.
    void Page(const std::string& name, const std::string& nivoml, const std::string& shell = "") {
        m_dir.Write("site/" + name + ".cgi",
                    "echo \"$QUERY_STRING\" >> '" + m_dir.Path(name) + ".query'\n" + shell +
                        "\nprintf 'Content-Type: text/plain\\r\\n\\r\\n'\ncat <<'END'\n" +
                        Site(nivoml) + "\nEND\n");
    }
    void StartServer() {
        const std::string config =
            m_dir.Write("lighttpd.conf",
                        "server.bind = \"127.0.0.1\"\nserver.port = " + std::to_string(m_port) +
                            "\nserver.document-root = \"" + m_dir.Path("site") +
                            "\"\nserver.modules = (\"mod_cgi\")\n"
                            "cgi.assign = (\".cgi\" => \"/bin/sh\")\n");
        m_server.Start({"/bin/sh", "-c", "exec lighttpd -D -f '" + config + "'"},
                       {"PATH=/usr/sbin:/usr/local/sbin:/usr/bin:/bin"},
                       m_dir.Path("lighttpd.out"));
        sockaddr_in address = Loopback(m_port);
        ASSERT_TRUE(WaitFor(
            [&] {
                FileDescriptor fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
                return connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) ==
                       0;
            },
            "lighttpd accepting connections"))
            << ReadFile(m_dir.Path("lighttpd.out"));
    }
    std::vector<std::string> Queries(const std::string& page) const {
        std::vector<std::string> lines = SplitString(ReadFile(m_dir.Path(page + ".query")), "\n");
        lines.pop_back();  // after the last line feed
        return lines;
    }

    // The program, with the seams and -c -l 1 -h URL(homePage) unless other arguments are given.
    void StartProgram(const std::string& homePage, std::vector<std::string> arguments = {}) {
        if (arguments.empty()) arguments = {"-c", "-l", "1", "-h", Url(homePage)};
        arguments.insert(arguments.begin(), NIVO_LCD_BIN);
        std::vector<std::string> environment = {"NIVO_LCD_DEVICE=" + m_dir.Path("lcd"),
                                                "NIVO_KEYS_DEVICE=" + m_dir.Path("keys"),
                                                "NIVO_LCD_CONFIG=" + m_dir.Path("nivo_lcd.conf"),
                                                "NIVO_UDP_PORT=" + std::to_string(m_udpPort),
                                                "TZ=UTC",
                                                "PATH=/usr/bin:/bin"};
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {  // the sanitizer build's
            if (const char* value = getenv(name))
                environment.push_back(std::string(name) + "=" + value);
        }
        m_program.Start(arguments, environment, m_dir.Path("program.log"));
    }
    int StopProgram() { return m_program.Stop(SIGINT, 10000); }  // the wait status
    void WriteConfig(const std::string& text) const {            // replaced atomically
        m_dir.Write("nivo_lcd.conf.new", text);
        rename(m_dir.Path("nivo_lcd.conf.new").c_str(), m_dir.Path("nivo_lcd.conf").c_str());
    }
    int LogCount(const std::string& text) const {
        const std::string log = ReadFile(m_dir.Path("program.log"));
        int count = 0;
        for (size_t i = log.find(text); i != std::string::npos; i = log.find(text, i + 1)) ++count;
        return count;
    }

    PanelPicture Panel() const {
        return DecodePanelFile(m_dir.Path("lcd")).value_or(PanelPicture{});
    }
    ::testing::AssertionResult WaitFor(const std::function<bool()>& done, const std::string& what,
                                       int boundMs = 5000) const {
        for (int waited = 0; waited <= boundMs; waited += 20, SleepMs(20)) {
            if (done()) return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "no " << what << " within " << boundMs << " ms";
    }
    ::testing::AssertionResult WaitForText(const std::string& text, int boundMs = 5000) const {
        return WaitFor([&] { return Panel().Text().find(text) != std::string::npos; },
                       "\"" + text + "\"", boundMs);
    }
    void Press(unsigned keys) const {  // the key state byte: bits 1, 2, 4
        FileDescriptor fifo(open(m_dir.Path("keys").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        const unsigned char state = static_cast<unsigned char>(keys);
        ASSERT_EQ(write(fifo.Get(), &state, 1), 1) << "key FIFO has no reader";
    }
    void Tap(unsigned key) const {
        Press(key);
        SleepMs(60);
        Press(0);
    }
    TempDir m_dir;
    int m_port = 0;
    int m_udpPort = 0;
    ChildProcess m_server;
    ChildProcess m_program;
};

// Fault survival: a web server, notifiers, a configuration file and devices that
// misbehave on purpose. A row ends with the panel still in use (a later good page,
// a key that works), or, for a device that fails at start, the program ended with
// its reason logged.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <sstream>

#include "panel/nivo_display.h"
#include "tests/e2e/e2e_fixture.h"
#include "util/utilities.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto npos = std::string::npos;

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void Report(const std::string& what, const std::string& figures) {
    std::cout << "[ faults   ] " << what << ": " << figures << std::endl;
}

bool SendAll(int fd, const std::string& data) {
    for (size_t sent = 0; sent < data.size();) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// A web server that misbehaves on purpose: it reads each request up to its blank
// line, then plays its part on the connection and closes it.
class FaultServer {
public:
    using Play = std::function<void(int connection, const std::atomic<bool>& stop)>;

    explicit FaultServer(Play play)
        : m_play(std::move(play)), m_listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address = Loopback(0);
        bind(m_listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_listener.Get(), 8);
        m_port = BoundPort(m_listener.Get());
        m_thread = std::thread([this] { Serve(); });
    }
    ~FaultServer() {
        m_stop = true;
        m_thread.join();
    }
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/" + path;
    }
    int Connections() const { return m_connections; }

private:
    void Serve() {
        while (!m_stop) {
            pollfd listener{m_listener.Get(), POLLIN, 0};
            if (poll(&listener, 1, 50) != 1) continue;
            FileDescriptor connection(accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!connection.IsOpen()) continue;
            ++m_connections;
            std::string head;
            for (int waited = 0; head.find("\r\n\r\n") == npos && waited < 2000; waited += 20) {
                pollfd readable{connection.Get(), POLLIN, 0};
                if (poll(&readable, 1, 20) != 1) continue;
                char buffer[4096];
                const ssize_t n = recv(connection.Get(), buffer, sizeof buffer, 0);
                if (n <= 0) break;
                head.append(buffer, static_cast<size_t>(n));
            }
            m_play(connection.Get(), m_stop);
        }
    }

    Play m_play;
    FileDescriptor m_listener;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

FaultServer::Play Answer(std::string text) {
    return [text](int fd, const std::atomic<bool>&) { SendAll(fd, text); };
}

// Half of the answer, then a reset instead of an orderly close.
FaultServer::Play ResetHalfway(std::string text) {
    return [text](int fd, const std::atomic<bool>&) {
        SendAll(fd, text.substr(0, text.size() / 2));
        SleepMs(50);
        linger abort{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    };
}

// Accepts and says nothing until the client gives up.
FaultServer::Play Silent() {
    return [](int fd, const std::atomic<bool>& stop) {
        char byte;
        while (!stop) {
            pollfd readable{fd, POLLIN, 0};
            if (poll(&readable, 1, 50) == 1 && recv(fd, &byte, 1, 0) <= 0) return;
        }
    };
}

FaultServer::Play OneByteAtATime(std::string text, int pauseMs) {
    return [text, pauseMs](int fd, const std::atomic<bool>& stop) {
        int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        for (size_t i = 0; i < text.size() && !stop; ++i) {
            if (!SendAll(fd, text.substr(i, 1))) return;
            SleepMs(pauseMs);
        }
    };
}

// CPU time (user + system) of a process in ms, from /proc.
int64_t CpuMs(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t end = stat.rfind(')');
    if (end == npos) return -1;
    std::istringstream fields(stat.substr(end + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoll(field);
        if (i == 15) stime = std::stoll(field);
    }
    return (utime + stime) * 1000 / sysconf(_SC_CLK_TCK);
}

long VmRssKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Appends to the file until its file system refuses another byte.
void FillUp(const std::string& path) {
    FileDescriptor fd(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    const std::string block(4096, 'f');
    while (write(fd.Get(), block.data(), block.size()) > 0) {
    }
    while (write(fd.Get(), "f", 1) > 0) {
    }
}

// A small tmpfs mounted on a folder for one test, unmounted at the end. Without
// root the test enters a user and mount namespace of its own, where tmpfs is allowed.
class Tmpfs {
public:
    Tmpfs(const std::string& folder, const std::string& options) : m_folder(folder) {
        mkdir(folder.c_str(), 0755);
        m_mounted = Mount(options);
        if (!m_mounted && errno == EPERM && geteuid() != 0 && EnterOwnNamespace())
            m_mounted = Mount(options);
        if (!m_mounted) m_error = strerror(errno);
    }
    ~Tmpfs() {
        if (m_mounted) umount2(m_folder.c_str(), MNT_DETACH);
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;

    bool Mounted() const { return m_mounted; }
    const std::string& Error() const { return m_error; }
    bool MakeReadOnly() const {
        return mount("tmpfs", m_folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    bool Mount(const std::string& options) const {
        return mount("tmpfs", m_folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) ==
               0;
    }
    static bool EnterOwnNamespace() {
        const uid_t uid = getuid();
        const gid_t gid = getgid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
        return true;
    }

    std::string m_folder;
    bool m_mounted = false;
    std::string m_error;
};

// Two divs that key 2 toggles; key 4 leads to good.cgi, key 1 to link1.
std::string TwoDivPage(const std::string& title, const std::string& link1 = "@/good.cgi") {
    return "<nivoml><head><a href=\"" + link1 +
           "\" key=\"1\"/><a href=\"@/good.cgi\" key=\"4\"/></head><body>"
           "<div name=\"A\">" +
           title +
           "<a href=\"#B\" key=\"2\"/></div>"
           "<div name=\"B\">Div B<a href=\"#A\" key=\"2\"/></div></body></nivoml>";
}

// A good page had it come with a 200: shown, it would leave key 2 without a binding.
const std::string kFaultPage = SimplePage("Fault page");

std::string Status(const std::string& line, const std::string& body) {
    return line + "\r\nContent-Type: text/plain\r\n\r\n" + body;
}

}  // namespace

class E2EFaults : public E2E {
protected:
    pid_t Pid() const { return m_program.Pid(); }

    // On a TwoDivPage: key 2 shows the other div, key 4 loads good.cgi.
    void ExpectPanelInUse() {
        Tap(2);
        EXPECT_TRUE(WaitForText("Div B"));
        Tap(4);
        EXPECT_TRUE(WaitForText("Good page"));
    }

    ::testing::AssertionResult NoSpin(const std::string& when) {
        const int64_t before = CpuMs(Pid());
        SleepMs(kSpinWindowMs);
        const int64_t used = CpuMs(Pid()) - before;
        Report("CPU over " + std::to_string(kSpinWindowMs) + " ms " + when,
               std::to_string(used) + " ms");
        if (before >= 0 && used < kSpinWindowMs / 4) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "nivo_lcd used " << used << " ms CPU in " << kSpinWindowMs << " ms " << when;
    }

    static constexpr int kSpinWindowMs = 3000;
};

// ---------------------------------------------------------------- web server

struct ServerFault {
    const char* name;
    FaultServer::Play play;  // empty: nothing listens on the port
    std::string logged;      // the reason the program gives for the rejection
    std::string shown = "";  // the page text when the answer is good in the end
    int boundMs = 8000;      // until the program gives up or shows the page
};

class E2EServerFaults : public E2EFaults {
protected:
    void RunAll(const std::vector<ServerFault>& faults) {
        Page("good", SimplePage("Good page"));
        StartServer();
        for (const ServerFault& fault : faults) {
            SCOPED_TRACE(fault.name);
            const auto start = Clock::now();
            Run(fault);
            if (m_program.Running()) m_program.Stop(SIGKILL, 0);  // a failed row ends here
            Report(fault.name, std::to_string(MsSince(start)) + " ms");
        }
    }

    void Run(const ServerFault& fault) {
        // Refused: a port taken but never listened on.
        FileDescriptor taken(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address = Loopback(0);
        bind(taken.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        std::unique_ptr<FaultServer> server;
        std::string target = "http://127.0.0.1:" + std::to_string(BoundPort(taken.Get())) + "/x";
        if (fault.play) {
            server = std::make_unique<FaultServer>(fault.play);
            target = server->Url("fault.cgi");
        }
        Page("home", TwoDivPage("Home page", target));
        StartProgram("home.cgi");
        ASSERT_TRUE(WaitForText("Home page"));
        Tap(1);
        if (fault.shown.empty()) {
            ASSERT_TRUE(WaitForText("Retry...", fault.boundMs));
            ASSERT_TRUE(WaitForText("Home page", 8000));
            if (server) {
                EXPECT_EQ(server->Connections(), 2) << "asked for once more, then given up";
            }
            EXPECT_GE(LogCount(fault.logged), 1) << "not rejected for its fault";
        } else {
            ASSERT_TRUE(WaitForText(fault.shown, fault.boundMs));
        }
        ExpectPanelInUse();
        const int status = StopProgram();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    }
};

TEST_F(E2EServerFaults, BadAnswersAreRejectedAndThePanelStaysInUse) {
    std::string deep =
        "<nivoml><head><a href=\"@/good.cgi\" key=\"4\"/></head><body><div name=\"A\">";
    for (int i = 0; i < 100000; ++i) deep += "<b>";
    deep += "Deep";
    for (int i = 0; i < 100000; ++i) deep += "</b>";
    deep += "</div></body></nivoml>";
    const std::string good = HttpAnswer(Site(kFaultPage));
    std::string huge = Site(kFaultPage);
    huge.insert(huge.find("<body>"), std::string(5 * 1024 * 1024, ' '));
    const std::string any = "errcount_thisMsg: 2";
    RunAll({
        {"answer cut in the middle", Answer(good.substr(0, good.size() / 2)), any},
        {"reset in the middle", ResetHalfway(good), "Antwort unvollst"},
        {"404 with a page", Answer(Status("HTTP/1.0 404 Not Found", Site(kFaultPage))),
         "status_code: 404"},
        {"500 with a page", Answer(Status("HTTP/1.0 500 Internal Server Error", Site(kFaultPage))),
         "status_code: 500"},
        {"status line garbage",
         Answer(std::string("\x01\xff\x00garbage\r\n\r\n", 14) + Site(kFaultPage)), any},
        {"status line too short", Answer("HTTP/1.0\r\n\r\n" + Site(kFaultPage)), any},
        {"no NIVOML in the body",
         Answer(Status("HTTP/1.0 200 OK", "<html><body>Fault page</body></html>")), any},
        {"malformed NIVOML",
         Answer(HttpAnswer(Site("<nivoml><head><a href=\"@/good.cgi\" key=\"4\"/></head><body>"
                                "<div name=\"A\">Fault page</dvi></body></nivoml>"))),
         "NIVOML-Fehler in Zeile:  1"},
        {"5 MB answer", Answer(HttpAnswer(huge)), "answer longer than 1048576 bytes"},
        {"100000 nested elements", Answer(HttpAnswer(Site(deep))), "zu tief verschachtelt"},
        {"every element invalid",
         Answer(HttpAnswer("<nivoml><head><a key=\"9\"/><goto/></head><body><div><bogus/>"
                           "<input type=\"nonsense\"/><select/><a/></div><div/></body></nivoml>")),
         "InitFromNivoml fehlgeschlagen"},
        {"one byte at a time", OneByteAtATime(HttpAnswer(Site(TwoDivPage("Trickled page"))), 5), "",
         "Trickled page"},
    });
}

// Slow: the program's own bounds (10 s per answer, 2 s pauses) set the pace.
TEST_F(E2EServerFaults, SlowServersAreGivenUpAndThePanelStaysInUse) {
    RunAll({
        {"connection refused", nullptr, "Connection refused", "", 12000},
        {"accepted then silent", Silent(), "Keine Antwort nach 10000 ms", "", 30000},
        {"one byte at a time past the bound",
         OneByteAtATime(HttpAnswer(Site(TwoDivPage("Trickled page"))), 100),
         "no complete answer within 10000 ms", "", 30000},
    });
}

// ---------------------------------------------------------------- notifiers

struct NotifierFault {
    const char* name;
    int count;
    std::function<std::string(int index, std::mt19937& random)> datagram;
    // Sent after the flood; once its symbol shows, everything before it was handled.
    const char* marker;
    unsigned markerSymbol;
    std::function<bool(const PanelPicture&)> leaves;  // what the flood must leave shown
};

TEST_F(E2EFaults, NotifierFloodsLeaveKeysAndStatusWorkingInBoundedMemory) {
    // An unbounded queue would hold some 50 MB of these floods.
#if defined(__SANITIZE_ADDRESS__)
    // ASan parks freed memory in a quarantine of 256 MB (kept at 4 MB here) and keeps
    // its size-class pools: some 20 MB on the first flood, flat after it.
    const char* asan = getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":quarantine_size_mb=4").c_str(), 1);
    const long growthBoundKb = 40 * 1024;
#else
    const long growthBoundKb = 8 * 1024;
#endif
    const std::vector<std::string> reports = {
        "POWER\nBAT_LEVEL=0.9",  "WAVD\nRX=1",         "WAVD\nSERVICE=1", "TALVAD\nHOUSE=false",
        "KORRANIVO\nMAIL=false", "WAVD\nNEW_DEVICE=1", "WAVD\nSERVICE=0", "POWER\nBAT_LEVEL=0.8",
    };
    auto full = [](const PanelPicture& p) { return p.SymbolMode(BATT_S1) == MODE_ON; };
    const std::vector<NotifierFault> faults = {
        {"100000 datagrams of random bytes", 100000,
         [](int, std::mt19937& random) {
             std::string bytes(1 + random() % 1023, '\0');
             for (char& byte : bytes) byte = static_cast<char>(random());
             return bytes;
         },
         "WAVD\nHOUSE=true", HOUSE, full},
        {"100000 valid texts", 100000,
         [&reports](int index, std::mt19937&) { return reports[index % reports.size()]; },
         "KORRANIVO\nMAIL=true", MAIL, full},
        // The first 1023 bytes say half full; what lies beyond them must be lost.
        {"datagrams over 1023 bytes", 2000,
         [](int index, std::mt19937&) {
             std::string text = "POWER\nBAT_LEVEL=0.5\nPAD=";
             text.resize(1023, 'x');
             text += "\nBAT_LEVEL=0.1\nLOWBAT=true\n";
             const size_t sizes[] = {1100, 1500, 9000, 65507};
             return text.append(sizes[index % 4] - text.size(), 'y');
         },
         "TALVAD\nALERT=true", ALERT,
         [](const PanelPicture& p) {
             return p.SymbolMode(BATT_S1) == MODE_OFF && p.SymbolMode(BATT_S2) == MODE_ON &&
                    p.SymbolMode(BATT_S3) == MODE_ON;
         }},
    };

    Page("home", TwoDivPage("Home page"));
    Page("good", SimplePage("Good page"));
    StartServer();
    StartProgramWith({"-c", "-l", "2", "-h", Url("home.cgi")});
    ASSERT_TRUE(WaitForText("Home page"));
    const long rssBefore = VmRssKb(Pid());
    std::mt19937 random(std::random_device{}());

    bool onDivA = true;
    for (const NotifierFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        const auto start = Clock::now();
        std::atomic<bool> sending{true};
        int64_t sendMs = 0;
        std::mt19937 senderRandom(random());
        std::thread sender([&] {
            FileDescriptor fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
            const sockaddr_in address = Loopback(m_udpPort);
            for (int i = 0; i < fault.count; ++i) {
                const std::string text = fault.datagram(i, senderRandom);
                sendto(fd.Get(), text.data(), text.size(), 0,
                       reinterpret_cast<const sockaddr*>(&address), sizeof address);
                if (i % 50 == 49) SleepMs(1);  // a flood that lasts a few seconds
            }
            sendMs = MsSince(start);
            sending = false;
        });
        int switches = 0;
        do {  // keys during the flood: each press switches the div within the bound
            Tap(2);
            onDivA = !onDivA;
            if (!WaitForText(onDivA ? "Home page" : "Div B")) {
                ADD_FAILURE() << "key 2 did not switch the div during the flood";
                break;
            }
            ++switches;
        } while (sending);
        sender.join();
        SendUdp(fault.marker);
        const auto flooded = Clock::now();
        EXPECT_TRUE(WaitFor([&] { return Panel().SymbolMode(fault.markerSymbol) == MODE_ON; },
                            "the report sent after the flood"));
        const int64_t shownMs = MsSince(flooded);
        EXPECT_TRUE(fault.leaves(Panel())) << "status after the flood:\n" << RenderPanel(Panel());
        Report(fault.name, std::to_string(fault.count * 1000 / std::max<int64_t>(sendMs, 1)) +
                               " datagrams/s sent, " + std::to_string(switches) +
                               " div switches during it, the report after it shown in " +
                               std::to_string(shownMs) + " ms, " + std::to_string(MsSince(start)) +
                               " ms");
    }
    const long rssAfter = VmRssKb(Pid());
    Report("resident memory", std::to_string(rssBefore) + " kB before, " +
                                  std::to_string(rssAfter) + " kB after the floods");
    EXPECT_LT(rssAfter - rssBefore, growthBoundKb) << "resident memory grew beyond the bound";
}

// ---------------------------------------------------------------- configuration file

struct ConfigFault {
    const char* name;
    std::function<void()> make;
    const char* logged;  // the line that says what the program did about it
};

TEST_F(E2EFaults, ConfigurationFaultsGiveDefaultsAndASettingsWriteSurvivesSigkill) {
    const std::string path = m_dir.Path("nivo_lcd.conf");
    Tmpfs readOnly(m_dir.Path("ro"), "size=64k");
    ASSERT_TRUE(readOnly.Mounted()) << "tmpfs: " << readOnly.Error();
    m_dir.Write("ro/nivo_lcd.conf", "CONTRAST=abc\n");
    ASSERT_TRUE(readOnly.MakeReadOnly()) << strerror(errno);

    Page("home", TwoDivPage("Home page"));
    Page("good", SimplePage("Good page"));
    Page("settings",
         "<nivoml><head><a href=\"@/home.cgi\" key=\"4\"/></head><body><div name=\"S\">Settings"
         "<form method=\"get\" action=\"DISPLAY_SETTING\">"
         "<input type=\"hidden\" name=\"CONTRAST\" value=\"3\"/>"
         "<input type=\"hidden\" name=\"BRIGHTNESS\" value=\"9\"/>"
         "<input type=\"hidden\" name=\"BACKLIGHT\" value=\"30\"/>"
         "<input type=\"hidden\" name=\"sLoadPage\" value=\"@/home.cgi\"/>"
         "<input type=\"submit\" key=\"1\"/></form></div></body></nivoml>");
    StartServer();

    std::string junk = "\x01\x02 binary\n=5\nCONTRAST\nCONTRAST=abc\nBACKLIGHT==\n# note\n";
    junk += std::string(100000, 'j') + "\n";
    const std::vector<ConfigFault> faults = {
        {"missing", [] {}, "Displayeinstellungen aus"},
        {"empty", [&] { WriteConfig(""); }, "Displayeinstellungen aus"},
        {"junk lines", [&] { WriteConfig(junk); }, "Displayeinstellungen aus"},
        {"a folder in its place", [&] { mkdir(path.c_str(), 0755); }, "nicht lesbar"},
        {"read-only folder", [&] { symlink(m_dir.Path("ro/nivo_lcd.conf").c_str(), path.c_str()); },
         "PropertyMap::WriteToFile: cannot create"},
    };
    for (const ConfigFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        const auto start = Clock::now();
        std::filesystem::remove_all(path);
        fault.make();
        StartProgram("home.cgi");
        EXPECT_TRUE(WaitForText("Home page"));
        ExpectPanelInUse();
        EXPECT_EQ(Queries("home").back(), kDefaultTail) << "not the default settings";
        EXPECT_GE(LogCount(fault.logged), 1) << "nothing said about it";
        const int status = StopProgram();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
        Report(std::string("configuration ") + fault.name, std::to_string(MsSince(start)) + " ms");
    }
    EXPECT_EQ(ReadFile(m_dir.Path("ro/nivo_lcd.conf")), "CONTRAST=abc\n");

    // SIGKILL at random moments of a write: the file is always one of the complete
    // versions the program meant to leave, never a broken one.
    std::filesystem::remove_all(path);
    const auto started = Clock::now();
    StartProgram("home.cgi");
    for (int ms = 0; ms < 5000 && !std::filesystem::exists(path); ++ms) SleepMs(1);
    const int startWriteMs = static_cast<int>(MsSince(started));  // when kills hit at start
    ASSERT_TRUE(WaitForText("Home page"));
    StopProgram();
    const std::string complete = Config();  // what the program writes from nothing
    auto set = [](std::string text, const std::string& key, const std::string& value) {
        const size_t at = text.find(key + "=");
        return text.replace(at, text.find('\n', at) - at, key + "=" + value);
    };
    const std::string contrast = set(complete, "CONTRAST", "3");
    const std::string brightness = set(contrast, "BRIGHTNESS", "9");
    const std::string backlight = set(brightness, "BACKLIGHT", "30");
    struct KillDuring {
        const char* name;
        std::string old;
        std::vector<std::string> versions;  // old first
        std::function<void()> act;          // starts the write; the kill follows
        int windowMs;
    };
    const std::vector<KillDuring> kills = {
        {"completing the file at start",
         "CONTRAST=7\n",
         {"CONTRAST=7\n",
          "CONTRAST=7\nBACKLIGHT=60\nBRIGHTNESS=15\nTIMEFORMAT=%H%M\n"
          "DATEFORMAT=%d%m%y\n"},
         [&] { StartProgram("home.cgi"); },
         2 * startWriteMs + 1},
        {"a DISPLAY_SETTING form",
         complete,
         {complete, contrast, brightness, backlight},
         [&] {
             StartProgram("settings.cgi");
             ASSERT_TRUE(WaitForText("Settings"));
             Press(1);
         },
         12},
        {"SIGUSR1",
         complete,
         {complete},
         [&] {
             StartProgram("home.cgi");
             ASSERT_TRUE(WaitForText("Home page"));
             Signal(SIGUSR1);
         },
         10},
    };
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    for (const KillDuring& kill : kills) {
        SCOPED_TRACE(std::string(kill.name) + ", seed " + std::to_string(seed));
        const auto start = Clock::now();
        std::map<size_t, int> seen;
        for (int round = 0; round < 40; ++round) {
            WriteConfig(kill.old);
            m_dir.Write("lcd", "");  // no panel left over from the last round
            kill.act();
            std::this_thread::sleep_for(
                std::chrono::microseconds(random() % (kill.windowMs * 1000)));
            m_program.Stop(SIGKILL, 2000);
            const std::string file = Config();
            const auto found = std::find(kill.versions.begin(), kill.versions.end(), file);
            EXPECT_NE(found, kill.versions.end()) << "broken file after SIGKILL:\n" << file;
            ++seen[static_cast<size_t>(found - kill.versions.begin())];
        }
        std::string histogram;
        for (const auto& [version, count] : seen)
            histogram += " version " + std::to_string(version) + ": " + std::to_string(count);
        Report(std::string("SIGKILL during ") + kill.name,
               std::to_string(MsSince(start)) + " ms," + histogram);
    }
    int leftovers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path())) {
        if (entry.path().filename().string().rfind("nivo_lcd.conf.", 0) == 0) ++leftovers;
    }
    Report("temporary files left by the kills", std::to_string(leftovers));
}

// ---------------------------------------------------------------- devices

TEST_F(E2EFaults, DeviceFaultsAreLoggedWithoutSpinOrCrash) {
    Page("home", TwoDivPage("Home page"));
    Page("good", SimplePage("Good page"));
    StartServer();
    const std::string lcd = m_dir.Path("lcd");
    const std::string keys = m_dir.Path("keys");
    auto onTmpfs = [&](Tmpfs& fs) {  // the register file moves onto the small file system
        unlink(lcd.c_str());
        m_dir.Write("lcdfs/lcd", "");
        symlink(m_dir.Path("lcdfs/lcd").c_str(), lcd.c_str());
        return fs.Mounted();
    };
    auto stopCleanly = [&] {
        const int status = StopProgram();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    };
    const std::vector<std::pair<const char*, std::function<void()>>> faults = {
        {"LCD register file on a full file system",
         [&] {
             Tmpfs fs(m_dir.Path("lcdfs"), "size=16k");
             ASSERT_TRUE(onTmpfs(fs)) << "tmpfs: " << fs.Error();
             FillUp(m_dir.Path("lcdfs/filler"));
             StartProgram("home.cgi");
             int status = 0;
             ASSERT_TRUE(WaitProgramExit(status)) << "still running on a device that fails";
             EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
             EXPECT_GE(LogCount("Fehler im Displaykanal"), 1);
             EXPECT_GE(LogCount("nicht vollst"), 1);
         }},
        {"LCD file system full while running",
         [&] {
             Tmpfs fs(m_dir.Path("lcdfs"), "size=256k");
             ASSERT_TRUE(onTmpfs(fs)) << "tmpfs: " << fs.Error();
             StartProgramWith({"-c", "-l", "1", "-h", Url("home.cgi")});
             ASSERT_TRUE(WaitForText("Home page"));
             // Text row 0 loses its storage and there is none left to give it back.
             FillUp(m_dir.Path("lcdfs/filler"));
             FileDescriptor fd(open(lcd.c_str(), O_WRONLY | O_CLOEXEC));
             ASSERT_EQ(fallocate(fd.Get(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, 4096), 0)
                 << strerror(errno);
             FillUp(m_dir.Path("lcdfs/filler"));
             Tap(2);
             ASSERT_TRUE(WaitFor([&] { return LogCount("Interner LINK") == 1; }, "key handled"));
             EXPECT_TRUE(NoSpin("with writes failing"));
             unlink(m_dir.Path("lcdfs/filler").c_str());
             Tap(2);
             EXPECT_TRUE(WaitForText("Home page")) << "no redraw once there is room again";
             stopCleanly();
             EXPECT_GE(LogCount("Fehler im Displaykanal"), 1);
         }},
        {"key FIFO closed by its writer",
         [&] {
             StartProgram("home.cgi");
             ASSERT_TRUE(WaitForText("Home page"));
             Tap(2);  // each key state byte opens the FIFO, writes and closes it
             ASSERT_TRUE(WaitForText("Div B"));
             EXPECT_TRUE(NoSpin("after the writer closed"));
             Tap(2);
             EXPECT_TRUE(WaitForText("Home page"));
             stopCleanly();
         }},
        {"key device at end of file",
         [&] {
             unlink(keys.c_str());
             m_dir.Write("keys", "");
             StartProgram("home.cgi");
             ASSERT_TRUE(WaitForText("Home page"));
             EXPECT_TRUE(NoSpin("on a key device at its end"));
             EXPECT_EQ(LogCount("liefert keine Daten (Dateiende)"), 1);  // said once
             SendUdp("WAVD\nHOUSE=true");
             EXPECT_TRUE(
                 WaitFor([&] { return Panel().SymbolMode(HOUSE) == MODE_ON; }, "house symbol"));
             stopCleanly();
         }},
    };
    for (const auto& [name, run] : faults) {
        SCOPED_TRACE(name);
        const auto start = Clock::now();
        unlink(lcd.c_str());
        unlink(keys.c_str());
        m_dir.Write("lcd", "");
        mkfifo(keys.c_str(), 0600);
        run();
        if (m_program.Running()) m_program.Stop(SIGKILL, 0);
        Report(name, std::to_string(MsSince(start)) + " ms");
    }
}

// The running manager as a user and the web server meet it: from a key byte to
// the redrawn div in the register file, from a page request (and from the
// answer's arrival) to the flushed page, and the wake-ups of the idle program.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "manager/nivo_manager.h"
#include "panel/nivo_display.h"
#include "sim/panel_decoder.h"
#include "util/file_descriptor.h"
#include "util/timer.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPassesPerWait = 20;  // WaitAndHandle(500) passes before giving up

void NoPause(unsigned) {}

// Binds port 0 on 127.0.0.1; the bound port, or -1.
int BindLoopback(int fd) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return -1;
    }
    return ntohs(address.sin_port);
}

// A private folder with the program's seams: LCD register file, key FIFO,
// configuration file (written by the program) and a free UDP port.
class Seams {
public:
    Seams() {
        char name[] = "/tmp/nivo_bench_mgr_XXXXXX";
        if (mkdtemp(name) == nullptr) return;
        m_folder = name;
        FileDescriptor lcd(::open(Lcd().c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
        FileDescriptor udp(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        m_udpPort = udp.IsOpen() ? BindLoopback(udp.Get()) : -1;
        m_ok = lcd.IsOpen() && ::mkfifo(Keys().c_str(), 0600) == 0 && m_udpPort > 0;
    }
    ~Seams() {
        std::error_code ignored;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
    }
    Seams(const Seams&) = delete;
    Seams& operator=(const Seams&) = delete;

    bool Ok() const { return m_ok; }
    std::string Lcd() const { return m_folder + "/lcd"; }
    std::string Keys() const { return m_folder + "/keys"; }
    std::vector<std::string> Variables() const {
        return {"NIVO_LCD_DEVICE=" + Lcd(), "NIVO_KEYS_DEVICE=" + Keys(),
                "NIVO_LCD_CONFIG=" + m_folder + "/nivo_lcd.conf",
                "NIVO_UDP_PORT=" + std::to_string(m_udpPort)};
    }
    void Export() const {
        for (const std::string& variable : Variables()) {
            const size_t equals = variable.find('=');
            setenv(variable.substr(0, equals).c_str(), variable.substr(equals + 1).c_str(), 1);
        }
    }
    // The panel text, "" when the register file cannot be read.
    std::string PanelText() const {
        const auto picture = DecodePanelFile(Lcd());
        return picture ? picture->Text() : std::string();
    }

private:
    std::string m_folder;
    int m_udpPort = -1;
    bool m_ok = false;
};

std::string HttpAnswer(const std::string& nivoml) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + nivoml;
}

// A page as the web server's menus look: live date and time, four links, five divs.
std::string MenuPage(const std::string& title) {
    std::string page =
        "<nivoml pagetype=\"MENU\"><head><date symbols=\"\" format=\"%d%m%y\"/>"
        "<time symbols=\"\" format=\"%H%M\"/><goto div=\"d0\"/>";
    for (int key = 1; key <= 4; ++key) {
        page += "<a href=\"/cgi/menu.cgi?item=" + std::to_string(key) + "\" key=\"" +
                std::to_string(key) + "\"/>";
    }
    page += "</head><body>";
    for (int div = 0; div < 5; ++div) {
        const std::string d = std::to_string(div);
        page += "<div name=\"d" + d + "\">" + (div == 0 ? title : "Menu " + d) +
                "<br/><blink>Item</blink><skip/>" + d + "<a href=\"#d" +
                std::to_string((div + 1) % 5) + "\" key=\"4\"/></div>";
    }
    return page + "</body></nivoml>";
}

// A raw HTTP/1.0 server on 127.0.0.1: reads each request up to its blank line,
// answers with the next of its answers in turn and closes. The destructor stops
// and joins its thread.
class PageServer {
public:
    explicit PageServer(std::vector<std::string> answers)
        : m_answers(std::move(answers)),
          m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        if (!m_listener.IsOpen()) return;
        m_port = BindLoopback(m_listener.Get());
        if (m_port < 0 || ::listen(m_listener.Get(), 8) != 0) {
            m_port = -1;
            return;
        }
        m_thread = std::thread(&PageServer::Serve, this);
    }
    ~PageServer() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    bool Ok() const { return m_port > 0; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    // Index of the last answer given (-1 none) and when its write began.
    int LastAnswer() const { return m_lastAnswer; }
    Clock::time_point LastAnswerTime() const {
        return Clock::time_point(Clock::duration(m_lastAnswerTicks.load()));
    }

private:
    static bool Readable(int fd, int ms) {
        pollfd entry{fd, POLLIN, 0};
        return ::poll(&entry, 1, ms) > 0;
    }

    void Serve() {
        for (size_t count = 0; !m_stop;) {
            if (!Readable(m_listener.Get(), 50)) continue;  // looks at m_stop every 50 ms
            FileDescriptor connection(::accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!connection.IsOpen() || !ReadRequest(connection.Get())) continue;
            const size_t index = count++ % m_answers.size();
            const std::string& answer = m_answers[index];
            m_lastAnswerTicks = Clock::now().time_since_epoch().count();
            m_lastAnswer = static_cast<int>(index);
            for (size_t sent = 0; sent < answer.size();) {
                const ssize_t n = ::send(connection.Get(), answer.data() + sent,
                                         answer.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
        }
    }

    // Up to the blank line ending the request head, each read bounded by one second.
    static bool ReadRequest(int fd) {
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            if (!Readable(fd, 1000)) return false;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) return false;
            request.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }

    std::vector<std::string> m_answers;
    FileDescriptor m_listener;
    int m_port = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_lastAnswer{-1};
    std::atomic<Clock::rep> m_lastAnswerTicks{0};
    std::thread m_thread;
};

// A manager in this process with its seams, its home page on port 1 (refused at
// once) and no pauses; only one exists at a time.
class RunningManager {
public:
    RunningManager() {
        if (!m_seams.Ok()) return;
        m_seams.Export();
        NIVO_Manager::s_sleep = NoPause;
        m_manager = std::make_unique<NIVO_Manager>("http://127.0.0.1:1/");
        // The manager holds the FIFO's reading end, so this open does not block.
        m_keys = FileDescriptor(::open(m_seams.Keys().c_str(), O_WRONLY | O_CLOEXEC));
    }

    bool Ok() const { return m_manager && m_manager->Init() && m_keys.IsOpen(); }
    NIVO_Manager& Manager() { return *m_manager; }
    const Seams& Files() const { return m_seams; }

    bool Show(const std::string& page) {
        if (!m_manager->ShowGeneratedPage(page)) return false;
        m_manager->GetDisplay().Flush(NIVO_Display::FLUSH_ALL);
        return true;
    }
    bool WriteKeyState(unsigned char state) { return ::write(m_keys.Get(), &state, 1) == 1; }
    // One round of the main loop.
    void Pass() {
        TimerTarget::s_timerQueue.Execute();
        m_manager->WaitAndHandle(500);
    }

private:
    Seams m_seams;
    std::unique_ptr<NIVO_Manager> m_manager;
    FileDescriptor m_keys;
};

bool Shows(const std::string& panelText, const std::string& text) {
    return panelText.compare(0, text.size(), text) == 0;
}

// Key 1 switches between div A and div B by internal links: one iteration is one
// switch, from the key's state bytes to the other div's text in the register file.
void BM_KeyToPanel(benchmark::State& state) {
    RunningManager world;
    const std::string page =
        "<nivoml pagetype=\"MENU\"><head><goto div=\"A\"/></head><body>"
        "<div name=\"A\">Screen A<br/>Kitchen<a href=\"#B\" key=\"1\"/></div>"
        "<div name=\"B\">Screen B<br/>Garage<a href=\"#A\" key=\"1\"/></div></body></nivoml>";
    if (!world.Ok() || !world.Show(page) || !Shows(world.Files().PanelText(), "Screen A")) {
        state.SkipWithError("manager or page not ready");
        return;
    }
    bool onA = true;
    for (auto _ : state) {
        const std::string next = onA ? "Screen B" : "Screen A";
        if (!world.WriteKeyState(1) || !world.WriteKeyState(0)) {
            state.SkipWithError("key FIFO write failed");
            break;
        }
        bool shown = false;
        for (int pass = 0; pass < kPassesPerWait && !shown; ++pass) {
            world.Pass();
            shown = Shows(world.Files().PanelText(), next);
        }
        if (!shown) {
            state.SkipWithError("the other div never reached the panel");
            break;
        }
        onA = !onA;
    }
}
BENCHMARK(BM_KeyToPanel)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One page load against a raw server: request, answer, parse, draw, flush. With
// answerOnly, the time counted is from the server's write of the answer to the
// end of the pass that flushed the page.
void PageLoad(benchmark::State& state, bool answerOnly) {
    const std::vector<std::string> titles{"Page one", "Page two"};
    PageServer server({HttpAnswer(MenuPage(titles[0])), HttpAnswer(MenuPage(titles[1]))});
    RunningManager world;
    if (!server.Ok() || !world.Ok()) {
        state.SkipWithError("server or manager not ready");
        return;
    }
    NIVO_Manager& manager = world.Manager();
    const std::string url = server.Url("/cgi/menu.cgi");
    for (auto _ : state) {
        manager.LoadNivomlPage(url, "");
        if (manager.GetPendingRequest().empty()) {
            state.SkipWithError("connect failed");
            break;
        }
        for (int pass = 0; pass < kPassesPerWait && !manager.GetPendingRequest().empty(); ++pass) {
            world.Pass();
        }
        const Clock::time_point flushed = Clock::now();
        if (answerOnly) {
            state.SetIterationTime(
                std::chrono::duration<double>(flushed - server.LastAnswerTime()).count());
        }
        state.PauseTiming();
        const int answer = server.LastAnswer();
        const bool shown = manager.GetPendingRequest().empty() && answer >= 0 &&
                           Shows(world.Files().PanelText(), titles[answer]);
        state.ResumeTiming();
        if (!shown) {
            state.SkipWithError("the answered page never reached the panel");
            break;
        }
    }
}

void BM_PageLoad(benchmark::State& state) {
    PageLoad(state, false);
}
void BM_AnswerToFlush(benchmark::State& state) {
    PageLoad(state, true);
}
BENCHMARK(BM_PageLoad)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_AnswerToFlush)->Unit(benchmark::kMicrosecond)->UseManualTime();

// The real nivo_lcd as a child: started with the seams and -h, stopped with
// SIGINT (SIGKILL after a bound) and always reaped.
class Program {
public:
    Program(const std::vector<std::string>& arguments, const std::vector<std::string>& variables) {
        std::vector<std::string> environment = variables;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            if (text.compare(0, 5, "NIVO_") != 0) environment.push_back(text);
        }
        std::vector<char*> argv{const_cast<char*>(NIVO_LCD_BINARY)};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& variable : environment) envp.push_back(variable.data());
        envp.push_back(nullptr);

        m_pid = ::fork();
        if (m_pid == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                ::dup2(null, STDOUT_FILENO);
                ::dup2(null, STDERR_FILENO);
            }
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
    }
    ~Program() { Stop(); }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t Pid() const { return m_pid; }
    // The wait status, -1 when there was no child.
    int Stop() {
        if (m_pid <= 0) return -1;
        ::kill(m_pid, SIGINT);
        int status = -1;
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        m_pid = -1;
        return status;
    }

private:
    pid_t m_pid = -1;
};

// voluntary_ctxt_switches of /proc/PID/status: each time the process went to
// sleep, which for nivo_lcd is each select that waited. -1 when unreadable.
long VoluntarySwitches(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        const std::string key = "voluntary_ctxt_switches:";
        if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
    }
    return -1;
}

// The idle program with its home page on show: wake-ups per second over three seconds.
void BM_IdleWakeups(benchmark::State& state) {
    const std::string title = "Idle home";
    PageServer server({HttpAnswer(MenuPage(title))});
    Seams seams;
    if (!server.Ok() || !seams.Ok()) {
        state.SkipWithError("server or seams not ready");
        return;
    }
    Program program({"-c", "-l", "4", "-h", server.Url("/cgi/home.cgi")}, seams.Variables());
    bool home = false;
    for (int wait = 0; wait < 100 && !home; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        home = Shows(seams.PanelText(), title);
    }
    if (!home) {
        state.SkipWithError("the program never showed its home page");
        return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));  // the request cycle's timers end
    for (auto _ : state) {
        const long before = VoluntarySwitches(program.Pid());
        const Clock::time_point start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const long after = VoluntarySwitches(program.Pid());
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (before < 0 || after < 0) {
            state.SkipWithError("/proc status unreadable");
            break;
        }
        state.SetIterationTime(seconds);
        state.counters["wakeups_per_s"] = static_cast<double>(after - before) / seconds;
    }
    const int status = program.Stop();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        state.SkipWithError("SIGINT did not end it with 0");
    }
}
BENCHMARK(BM_IdleWakeups)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

#include "tests/e2e/e2e_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <sstream>

extern char** environ;

namespace {

constexpr int kPollMs = 20;

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

namespace {

// A port the kernel just handed out and took back: free for the next bind.
int FreePort(int type) {
    FileDescriptor fd(socket(AF_INET, type | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(0);
    if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 0;
    return BoundPort(fd.Get());
}

bool Connects(int port) {
    FileDescriptor fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(port);
    return connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

std::string FindInPath(const std::string& name) {
    std::string path = std::string(getenv("PATH") ? getenv("PATH") : "") + ":/usr/sbin:/sbin";
    std::stringstream folders(path);
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && access((folder + "/" + name).c_str(), X_OK) == 0)
            return folder + "/" + name;
    return name;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

// ---------------------------------------------------------------- ChildProcess

void ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment,
                         const std::string& outputPath) {
    // Everything the child needs is built before fork: the test runs threads.
    std::vector<std::string> arguments = argv;
    std::vector<std::string> variables = environment;
    std::vector<char*> argp = Pointers(arguments);
    std::vector<char*> envp = Pointers(variables);
    FileDescriptor output(open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    FileDescriptor input(open("/dev/null", O_RDONLY | O_CLOEXEC));
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // a test killed by its timeout leaves no orphans
        if (getppid() != parent) _exit(127);
        dup2(input.Get(), 0);
        dup2(output.Get(), 1);
        dup2(output.Get(), 2);
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
}

bool ChildProcess::WaitExit(int boundMs, int& status) {
    for (int waited = 0; m_pid > 0; waited += kPollMs) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return true;
        }
        if (waited >= boundMs) return false;
        SleepMs(kPollMs);
    }
    return false;
}

int ChildProcess::Stop(int signal, int boundMs) {
    if (m_pid <= 0) return -1;
    int status = -1;
    kill(m_pid, signal);
    if (WaitExit(boundMs, status)) return status;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return status;
}

// ---------------------------------------------------------------- RawServer

RawServer::RawServer(std::string answer)
    : m_answer(std::move(answer)), m_listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address = Loopback(0);
    bind(m_listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(m_listener.Get(), 8);
    m_port = BoundPort(m_listener.Get());
    m_thread = std::thread([this] { Serve(); });
}

RawServer::~RawServer() {
    m_stop = true;
    m_thread.join();
}

std::string RawServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/" + path;
}

std::vector<std::string> RawServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void RawServer::Serve() {
    while (!m_stop) {
        pollfd listener{m_listener.Get(), POLLIN, 0};
        if (poll(&listener, 1, 50) != 1) continue;
        FileDescriptor connection(accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection.IsOpen()) continue;
        std::string request = ReadRequest(connection.Get());
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request);  // before answering: the answer shows on the panel
        if (m_answer.empty())
            m_held.push_back(std::move(connection));
        else
            send(connection.Get(), m_answer.data(), m_answer.size(), MSG_NOSIGNAL);
    }
}

// The request has no end mark past Content-Length: it is complete once the
// sender has been quiet for a while.
std::string RawServer::ReadRequest(int connection) const {
    std::string request;
    for (int quietMs = 0, totalMs = 0; quietMs < 300 && totalMs < 5000 && !m_stop; totalMs += 50) {
        pollfd readable{connection, POLLIN, 0};
        if (poll(&readable, 1, 50) != 1) {
            quietMs += 50;
            continue;
        }
        char buffer[4096];
        ssize_t n = recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
        quietMs = 0;
    }
    return request;
}

std::string SimplePage(const std::string& text, const std::string& pageType) {
    return "<nivoml pagetype=\"" + pageType +
           "\"><head><a href=\"@/home.cgi\" key=\"4\"/></head>"
           "<body><div name=\"P\">" +
           text + "</div></body></nivoml>";
}

std::string HttpAnswer(const std::string& nivoml) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + nivoml;
}

// ---------------------------------------------------------------- E2E: site and server

void E2E::SetUp() {
    m_port = FreePort(SOCK_STREAM);
    m_udpPort = FreePort(SOCK_DGRAM);
    mkdir(m_dir.Path("site").c_str(), 0755);
    mkdir(m_dir.Path("bin").c_str(), 0755);
    mkfifo(m_dir.Path("keys").c_str(), 0600);
    m_dir.Write("lcd", "");
    m_dir.Write("bin/date", "#!/bin/sh\necho \"$*\" >> '" + m_dir.Path("date.calls") + "'\n", 0755);
}

void E2E::TearDown() {
    if (m_program.Running()) {
        int status = StopProgram();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "nivo_lcd did not end cleanly on SIGINT, wait status " << status;
    }
    m_server.Stop(SIGTERM, 5000);
    if (HasFailure()) {
        std::vector<std::string> log = Lines(Log());
        size_t from = log.size() > 60 ? log.size() - 60 : 0;
        std::cout << "---- panel\n" << RenderPanel(Panel()) << "---- last lines of the log\n";
        for (size_t i = from; i < log.size(); ++i) std::cout << log[i] << "\n";
    }
}

std::string E2E::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/" + path;
}

void E2E::Page(const std::string& name, const std::string& nivoml, const std::string& shell) {
    const std::string record = m_dir.Path(name);
    m_dir.Write("site/" + name + ".cgi",
                "echo \"$QUERY_STRING\" >> '" + record +
                    ".query'\n"
                    "[ -n \"$CONTENT_LENGTH\" ] && head -c \"$CONTENT_LENGTH\" > '" +
                    record +
                    ".body'\n"
                    "N=$(wc -l < '" +
                    record + ".query')\n" + shell +
                    "\nprintf 'Content-Type: text/plain\\r\\n\\r\\n'\n"
                    "cat <<'END_OF_PAGE'\n" +
                    Site(nivoml) + "\nEND_OF_PAGE\n");
}

std::string E2E::Site(const std::string& nivoml) const {
    return ReplaceAll(nivoml, "@/", Url(""));
}

void E2E::HomeSite(const std::string& homeShell) {
    Page("home",
         "<nivoml pagetype=\"HOME\" alarmpage=\"@/alarm.cgi\" servicepage=\"@/service.cgi\">"
         "<head><a href=\"@/second.cgi\" key=\"1\"/><a href=\"#B\" key=\"2\"/>"
         "<a href=\"@/long.cgi\" key=\"4\" duration=\"2\"/></head>"
         "<body><div name=\"A\">Home page</div><div name=\"B\">Div B</div></body></nivoml>",
         homeShell);
    Page("second", SimplePage("Second page"));
}

void E2E::StartServer() {
    const std::string config = m_dir.Write("lighttpd.conf",
                                           "server.bind = \"127.0.0.1\"\n"
                                           "server.port = " +
                                               std::to_string(m_port) +
                                               "\n"
                                               "server.document-root = \"" +
                                               m_dir.Path("site") +
                                               "\"\n"
                                               "server.pid-file = \"" +
                                               m_dir.Path("lighttpd.pid") +
                                               "\"\n"
                                               "server.errorlog = \"" +
                                               m_dir.Path("lighttpd.error.log") +
                                               "\"\n"
                                               "server.modules = (\"mod_cgi\")\n"
                                               "cgi.assign = (\".cgi\" => \"/bin/sh\")\n");
    m_server.Start({FindInPath("lighttpd"), "-D", "-f", config}, {"PATH=/usr/bin:/bin"},
                   m_dir.Path("lighttpd.out"));
    ASSERT_TRUE(WaitFor([&] { return Connects(m_port); }, "lighttpd accepting connections"))
        << ReadFile(m_dir.Path("lighttpd.out")) << ReadFile(m_dir.Path("lighttpd.error.log"));
}

std::vector<std::string> E2E::Queries(const std::string& page) const {
    return Lines(ReadFile(m_dir.Path(page + ".query")));
}

std::string E2E::Body(const std::string& page) const {
    return ReadFile(m_dir.Path(page + ".body"));
}

// ---------------------------------------------------------------- E2E: the program

void E2E::StartProgram(const std::string& homePage) {
    StartProgramWith({"-c", "-l", "1", "-h", Url(homePage)});
}

void E2E::StartProgramWith(const std::vector<std::string>& arguments) {
    std::vector<std::string> environment = {
        "NIVO_LCD_DEVICE=" + m_dir.Path("lcd"),
        "NIVO_KEYS_DEVICE=" + m_dir.Path("keys"),
        "NIVO_LCD_CONFIG=" + m_dir.Path("nivo_lcd.conf"),
        "NIVO_UDP_PORT=" + std::to_string(m_udpPort),
        "TZ=UTC",
        "PATH=" + m_dir.Path("bin") + ":/usr/bin:/bin",
    };
    for (char** variable = environ; *variable != nullptr; ++variable) {
        std::string text = *variable;
        if (text.rfind("ASAN_", 0) == 0 || text.rfind("UBSAN_", 0) == 0 ||
            text.rfind("LSAN_", 0) == 0)
            environment.push_back(text);  // the sanitizer build's settings reach the program
    }
    std::vector<std::string> argv = {NIVO_LCD_BIN};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    m_program.Start(argv, environment, m_dir.Path("program.log"));
}

int E2E::StopProgram() {
    return m_program.Stop(SIGINT, 10000);
}

void E2E::Signal(int signal) const {
    m_program.Signal(signal);
}

void E2E::WriteConfig(const std::string& text) const {
    m_dir.Write("nivo_lcd.conf.new", text);
    rename(m_dir.Path("nivo_lcd.conf.new").c_str(), m_dir.Path("nivo_lcd.conf").c_str());
}

std::string E2E::Config() const {
    return ReadFile(m_dir.Path("nivo_lcd.conf"));
}

std::string E2E::Log() const {
    return ReadFile(m_dir.Path("program.log"));
}

int E2E::LogCount(const std::string& text) const {
    const std::string log = Log();
    int count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
}

std::string E2E::DateCalls() const {
    return ReadFile(m_dir.Path("date.calls"));
}

// ---------------------------------------------------------------- E2E: panel, keys, datagrams

PanelPicture E2E::Panel() const {
    return DecodePanelFile(m_dir.Path("lcd")).value_or(PanelPicture{});
}

::testing::AssertionResult E2E::WaitFor(const std::function<bool()>& done, const std::string& what,
                                        int boundMs) const {
    for (int waited = 0; waited < boundMs; waited += kPollMs) {
        if (done()) return ::testing::AssertionSuccess();
        SleepMs(kPollMs);
    }
    if (done()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "no " << what << " within " << boundMs << " ms; panel:\n"
           << RenderPanel(Panel());
}

::testing::AssertionResult E2E::WaitForText(const std::string& text, int boundMs) const {
    return WaitFor([&] { return Text().find(text) != std::string::npos; }, "\"" + text + "\"",
                   boundMs);
}

void E2E::Press(unsigned keys) const {
    FileDescriptor fifo(open(m_dir.Path("keys").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    const unsigned char state = static_cast<unsigned char>(keys);
    ASSERT_EQ(write(fifo.Get(), &state, 1), 1) << "key FIFO has no reader";
}

void E2E::Tap(unsigned key) const {
    Press(key);
    SleepMs(60);
    Release();
}

void E2E::SendUdp(const std::string& text) const {
    FileDescriptor fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(m_udpPort);
    sendto(fd.Get(), text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&address),
           sizeof address);
}

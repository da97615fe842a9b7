#include "util/utilities.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <vector>

#include "util/conversions.h"
#include "util/logger.h"
#include "util/time_of_day.h"

namespace {

struct NamedBits {
    const char* name;
    unsigned bits;
};

const NamedBits kSymbolNames[] = {
    {"ALERT", ALERT},
    {"MAIL", MAIL},
    {"ETHERNET", ETHERNET},
    {"HOUSE", HOUSE},
    {"BATT_S1", BATT_S1},
    {"BATT_S2", BATT_S2},
    {"RADIO", RADIO},
    {"BATT_S3", BATT_S3},
    {"DATE_P1", DATE_P1},
    {"DATE_P2", DATE_P2},
    {"BATT_S4", BATT_S4},
    {"COLON", COLON},
    {"TIME", TIME},
    {"AM", AM},
    {"PM", PM},
    {"DATE", DATE},
    {"BATT_100P", BATT_100P},
    {"BATT_50P", BATT_50P},
    {"BATT_0P", BATT_0P},
};

const NamedBits kLedNames[] = {
    {"LED_POWER", LED_POWER},
    {"LED_STATUS_B", LED_STATUS_B},
    {"LED_STATUS_A", LED_STATUS_A},
    {"LED_DISPLAY", LED_DISPLAY},
};

template <size_t N>
unsigned ParseNames(const std::string& names, const NamedBits (&table)[N]) {
    unsigned result = 0;
    for (const std::string& token : SplitString(names, "|")) {
        for (const NamedBits& entry : table) {
            if (token == entry.name) result |= entry.bits;
        }
    }
    return result;
}

const size_t kMaxWords = 9;  // the argument vector has room for 9 words and the end marker

std::vector<std::string> SplitWords(const std::string& commandLine) {
    std::vector<std::string> words;
    size_t start = commandLine.find_first_not_of(' ');
    while (start != std::string::npos) {
        size_t end = commandLine.find(' ', start);
        words.push_back(commandLine.substr(start, end == std::string::npos ? end : end - start));
        start = commandLine.find_first_not_of(' ', end);
    }
    return words;
}

// Points a standard descriptor at a file; an empty path leaves it alone.
void RedirectTo(const std::string& path, int target) {
    if (path.empty()) return;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
        Logger::Log(Logger::Error, "RunCommand: cannot open %s: %s", path.c_str(), strerror(errno));
        fd = ::open("/dev/null", O_WRONLY);
        if (fd < 0) return;
    }
    if (fd != target) {
        ::dup2(fd, target);
        ::close(fd);
    }
}

// The command must not inherit the panel device or the sockets.
void CloseInheritedDescriptors() {
    if (::close_range(STDERR_FILENO + 1, ~0U, 0) == 0) return;
    long last = std::min(::sysconf(_SC_OPEN_MAX), 4096L);  // kernels without close_range
    for (int fd = STDERR_FILENO + 1; fd < last; ++fd) ::close(fd);
}

[[noreturn]] void RunChild(std::vector<char*>& argv, const std::string& stdoutPath,
                           const std::string& stderrPath) {
    signal(SIGCHLD, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    signal(SIGUSR1, SIG_DFL);
    RedirectTo(stdoutPath, STDOUT_FILENO);
    RedirectTo(stderrPath, STDERR_FILENO);
    CloseInheritedDescriptors();
    int rc = ::execvp(argv[0], argv.data());
    Logger::Log(Logger::Error,
                "execve failed with return-value: %i; strerror(errno): %s; *argv: %s", rc,
                strerror(errno), argv[0]);
    _exit(255);
}

// Exit status of the child; a child killed by a signal counts as 128 + signal, as in sh.
int WaitForChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

// The program ignores SIGCHLD, which would let the system reap a foreground child
// before waitpid sees its status: the default action holds while we wait.
class DefaultSigchldWhileWaiting {
public:
    DefaultSigchldWhileWaiting() {
        struct sigaction defaultAction {};
        defaultAction.sa_handler = SIG_DFL;
        sigemptyset(&defaultAction.sa_mask);
        sigaction(SIGCHLD, &defaultAction, &m_previous);
    }
    // Back to ignoring: a background child that ended meanwhile is a zombie by now,
    // and nobody else would ever collect it.
    ~DefaultSigchldWhileWaiting() {
        sigaction(SIGCHLD, &m_previous, nullptr);
        if (m_previous.sa_handler != SIG_IGN && (m_previous.sa_flags & SA_NOCLDWAIT) == 0) return;
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }
    DefaultSigchldWhileWaiting(const DefaultSigchldWhileWaiting&) = delete;
    DefaultSigchldWhileWaiting& operator=(const DefaultSigchldWhileWaiting&) = delete;

private:
    struct sigaction m_previous {};
};

// The child's pid, or -1 when fork failed.
pid_t StartChild(std::vector<char*>& argv, const std::string& stdoutPath,
                 const std::string& stderrPath) {
    pid_t pid = ::fork();
    if (pid == 0) RunChild(argv, stdoutPath, stderrPath);
    if (pid < 0) Logger::Log(Logger::Error, "fork failed: %s", argv[0]);
    return pid;
}

int StartAndWait(std::vector<char*>& argv, const std::string& stdoutPath,
                 const std::string& stderrPath) {
    DefaultSigchldWhileWaiting waiting;
    pid_t pid = StartChild(argv, stdoutPath, stderrPath);
    return pid < 0 ? -1 : WaitForChild(pid);
}

}  // namespace

unsigned ParseSymbolNames(const std::string& names) {
    return ParseNames(names, kSymbolNames);
}

unsigned ParseLedNames(const std::string& names) {
    return ParseNames(names, kLedNames);
}

bool AllBitsSet(unsigned mask, unsigned value) {
    return mask != 0 && value != 0 && (value & mask) == mask;
}

void SetBits(unsigned& target, unsigned bits) {
    target |= bits;
}

void ClearBits(unsigned& target, unsigned bits) {
    target &= ~bits;
}

std::string IntToNibbles(unsigned value) {
    std::string bytes(4, '\0');
    for (int k = 0; k < 4; ++k) bytes[k] = static_cast<char>((value >> (4 * k)) & 0xF);
    return bytes;
}

std::string ByteToNibbles(unsigned char byte) {
    return {static_cast<char>(byte & 0xF), static_cast<char>(byte >> 4)};
}

timeval MsToTimeval(int ms) {
    if (ms < 0) ms = 0;  // a negative microsecond field would make select fail
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

void ToUpper(std::string& text) {
    for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
}

void ReplaceAll(std::string& text, const std::string& what, const std::string& with) {
    if (what.empty()) return;
    // Continue behind the inserted text, so a replacement containing what cannot loop.
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p)) {
        text.replace(p, what.size(), with);
        p += with.size();
    }
}

void EncodeUrlText(std::string& text) {
    ReplaceAll(text, " ", "+");
    ReplaceAll(text, "\"", "%22");
}

std::string PercentEncodeQueryValue(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '&' || c == '#' || c == '%') {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

std::string EscapeForLog(const std::string& text, size_t limit) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    const size_t shown = text.size() < limit ? text.size() : limit;
    out.reserve(shown + 16);
    for (size_t i = 0; i < shown; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += text[i];
        }
    }
    if (shown < text.size()) out += "...";
    return out;
}

std::string CurrentTimeText() {
    struct tm now = LocalTimeNow();
    char text[11];
    strftime(text, sizeof text, "%H:%M:%S", &now);
    return text;
}

int SecondsToNextMinute() {
    struct tm now = LocalTimeNow();
    int left = 60 - now.tm_sec;  // tm_sec may be 60 in a leap second
    return left < 1 ? 1 : left;
}

int RunCommand(const std::string& commandLine, const std::string& stdoutPath,
               const std::string& stderrPath) {
    std::vector<std::string> words = SplitWords(commandLine);
    if (words.empty()) return -1;
    if (words.size() > kMaxWords) {
        Logger::Log(Logger::Error, "RunCommand: too many words: %s", commandLine.c_str());
        return -1;
    }
    bool background = words.back() == "&";
    if (background) words.pop_back();
    if (words.empty()) {
        Logger::Log(Logger::Error, "RunCommand: no program: %s", commandLine.c_str());
        return -1;
    }
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);

    if (background) return StartChild(argv, stdoutPath, stderrPath) < 0 ? -1 : 0;
    return StartAndWait(argv, stdoutPath, stderrPath);
}

#include "sim/app/panel_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

int64_t MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool PrepareRegisterFile(const std::string& path, std::string& error) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
    struct stat info {};
    if (!fd.IsOpen() || fstat(fd.Get(), &info) != 0) {
        error = "cannot create the register file " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        return false;
    }
    return true;
}

bool PrepareKeyFifo(const std::string& path, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT && ::mkfifo(path.c_str(), 0600) == 0) return true;
        error = "cannot create the key FIFO " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISFIFO(info.st_mode)) {
        error = path + " is not a FIFO";
        return false;
    }
    return true;
}

namespace {
bool IsHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}
}  // namespace

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        if (next == 'n') {
            out += '\n';
        } else if (next == 't') {
            out += '\t';
        } else if (next == 'r') {
            out += '\r';
        } else if (next == '\\') {
            out += '\\';
        } else if (next == 'x' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += '\\';
            out += next;
        }
    }
    return out;
}

// Non-blocking, so that a FIFO nobody reads is reported instead of hanging the panel.
bool KeyFifo::Open(std::string& error) {
    if (m_fd.IsOpen()) return true;
    m_fd = FileDescriptor(::open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (m_fd.IsOpen()) return true;
    error = errno == ENXIO ? "no program reads the key FIFO " + m_path
                           : "cannot open the key FIFO " + m_path + ": " + std::strerror(errno);
    return false;
}

bool KeyFifo::Send(unsigned char state, std::string& error) {
    // A reader that went away leaves a broken pipe: open again once for the next one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!Open(error)) return false;
        if (::write(m_fd.Get(), &state, 1) == 1) {
            m_state = state;
            return true;
        }
        const int failure = errno;
        m_fd.Reset();
        if (failure != EPIPE) {
            error = std::string("cannot write the key FIFO: ") + std::strerror(failure);
            return false;
        }
    }
    error = "no program reads the key FIFO " + m_path;
    return false;
}

UdpSender::UdpSender(int port)
    : m_port(port), m_socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}

bool UdpSender::Send(const std::string& text, std::string& error) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(m_port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_socket.IsOpen() &&
        ::sendto(m_socket.Get(), text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) == static_cast<ssize_t>(text.size())) {
        return true;
    }
    error = std::string("cannot send the notification: ") + std::strerror(errno);
    return false;
}

RegisterWatch::RegisterWatch(std::string path)
    : m_path(std::move(path)), m_inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    Watch();
    StatChanged();
}

bool RegisterWatch::Watch() {
    if (!m_inotify.IsOpen()) return false;
    m_watch =
        ::inotify_add_watch(m_inotify.Get(), m_path.c_str(),
                            IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF);
    return m_watch >= 0;
}

bool RegisterWatch::StatChanged() {
    struct stat info {};
    if (::stat(m_path.c_str(), &info) != 0) info = {};
    const bool changed = info.st_size != m_size || info.st_mtim.tv_sec != m_mtime.tv_sec ||
                         info.st_mtim.tv_nsec != m_mtime.tv_nsec;
    m_size = info.st_size;
    m_mtime = info.st_mtim;
    return changed;
}

bool RegisterWatch::TakeChange() {
    if (m_watch < 0) {
        // The file was gone or replaced: watch it again as soon as it is back.
        const bool back = Watch();
        return StatChanged() || back;
    }
    alignas(inotify_event) char buffer[4096];
    bool changed = false;
    for (;;) {
        const ssize_t n = ::read(m_inotify.Get(), buffer, sizeof buffer);
        if (n <= 0) break;
        changed = true;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                ::inotify_rm_watch(m_inotify.Get(), m_watch);
                m_watch = -1;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (m_watch < 0) Watch();
    StatChanged();
    return changed;
}

#include "net/tcp_channel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "net/http_text.h"
#include "util/logger.h"
#include "util/timer.h"

namespace {

const char* const kServerAddress = "127.0.0.1";
constexpr size_t kAnswerReserve = 102400;
constexpr size_t kReadChunk = 16384;

bool SetNonBlocking(int fd, bool on) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return false;
    return ::fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

// Waits for a non-blocking connect to finish; 0, or -1 with errno set.
int FinishConnect(int fd, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd entry{fd, POLLOUT, 0};
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int rc = ::poll(&entry, 1, static_cast<int>(std::max<int64_t>(left, 0)));
        if (rc > 0) break;
        if (rc == 0) {
            errno = ETIMEDOUT;
            return -1;
        }
        if (errno != EINTR) return -1;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0) return -1;
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

// The server closed: the answer is whole unless its header promised more.
int EndOfStream(const std::string& answer, const AnswerFraming& framing) {
    if (framing.contentLength >= 0 &&
        static_cast<long long>(answer.size() - framing.bodyStart) < framing.contentLength) {
        Logger::Log(Logger::Error,
                    "TCP_CHANNEL::Receive: closed before the %lld bytes of Content-Length",
                    framing.contentLength);
        return -1;
    }
    return static_cast<int>(answer.size());
}

}  // namespace

int TCP_CHANNEL::CreateSocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) Logger::Log(Logger::Error, "TCP_CHANNEL: failed to create TCP-Socket.");
    m_socket = FileDescriptor(fd);
    return fd;
}

// Connects without blocking so that a server that never answers the handshake
// cannot stall the panel for the kernel's minutes of SYN retries; the exchange
// itself runs on a blocking socket again.
int TCP_CHANNEL::ConnectServer(unsigned short port) {
    m_port = port;
    const int fd = m_socket.Get();
    int rc = -1;
    if (fd < 0) {
        errno = EBADF;
    } else {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        inet_pton(AF_INET, kServerAddress, &address.sin_addr);
        if (SetNonBlocking(fd, true)) {
            rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            if (rc < 0 && errno == EINPROGRESS) rc = FinishConnect(fd, kConnectTimeoutMs);
            if (rc == 0 && !SetNonBlocking(fd, false)) rc = -1;
        }
    }
    if (rc != 0) {
        const int error = errno;
        Logger::Log(Logger::Error, "TCP_CHANNEL::ConnectServer: can't connect to server.");
        Logger::Log(Logger::Error, "TCP_CHANNEL::ConnectServer: %s", std::strerror(error));
        Close();  // a half-made connection is no channel: the caller reconnects
        return -1;
    }
    return 0;
}

bool TCP_CHANNEL::Connect(unsigned short port) {
    Close();
    if (port == 0) port = 80;
    CreateSocket();
    return ConnectServer(port) == 0;
}

bool TCP_CHANNEL::Reconnect() {
    return Connect(m_port);
}

int TCP_CHANNEL::SendMessage(const std::string& message) {
    m_answerDeadlineMs = TimerTarget::s_timerQueue.NowMs() + kAnswerTimeoutMs;
    return HTTP_CHANNEL::SendMessage(message);
}

int TCP_CHANNEL::MsUntilAnswerDeadline() const {
    const int64_t left = m_answerDeadlineMs - TimerTarget::s_timerQueue.NowMs();
    return static_cast<int>(std::clamp<int64_t>(left, INT_MIN, INT_MAX));
}

int TCP_CHANNEL::Receive(std::string& out) {
    out.clear();
    out.reserve(kAnswerReserve);
    const int fd = GetSocket();
    if (fd < 1) return -1;
    char buffer[kReadChunk];
    AnswerFraming framing;
    for (;;) {
        const int left = MsUntilAnswerDeadline();
        if (left <= 0) break;
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, left);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) break;
        if (ready < 0) {
            Logger::Log(Logger::Error, "TCP_CHANNEL::Receive: %s", std::strerror(errno));
            return -1;
        }
        // One byte past the limit tells a full answer from a cut one.
        const size_t room = std::min(sizeof buffer, kMaxAnswerBytes + 1 - out.size());
        const ssize_t n = ::read(fd, buffer, room);
        if (n == 0) return EndOfStream(out, framing);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            Logger::Log(Logger::Error, "TCP_CHANNEL::Receive: %s", std::strerror(errno));
            return -1;
        }
        out.append(buffer, static_cast<size_t>(n));
        if (!framing.headerComplete) framing = ReadAnswerFraming(out);
        if (framing.contentLength >= 0) {
            // A server that keeps the connection open must not cost the answer.
            const long long body = static_cast<long long>(out.size() - framing.bodyStart);
            const size_t bodyRoom = kMaxAnswerBytes - std::min(kMaxAnswerBytes, framing.bodyStart);
            if (framing.contentLength > static_cast<long long>(bodyRoom)) {
                Logger::Log(Logger::Error, "TCP_CHANNEL::Receive: answer longer than %zu bytes",
                            kMaxAnswerBytes);
                return -1;
            }
            if (body == framing.contentLength) return static_cast<int>(out.size());
            if (body > framing.contentLength) {
                Logger::Log(Logger::Error,
                            "TCP_CHANNEL::Receive: more than the %lld bytes of Content-Length",
                            framing.contentLength);
                return -1;
            }
        }
        if (out.size() > kMaxAnswerBytes) {
            out.resize(kMaxAnswerBytes);
            Logger::Log(Logger::Error, "TCP_CHANNEL::Receive: answer longer than %zu bytes",
                        kMaxAnswerBytes);
            return -1;
        }
    }
    Logger::Log(Logger::Error, "TCP_CHANNEL::Receive: no complete answer within %d ms",
                kAnswerTimeoutMs);
    return -1;
}

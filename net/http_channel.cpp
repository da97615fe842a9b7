#include "net/http_channel.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "util/logger.h"

namespace {

// How long one send may wait for room in the socket buffer before it gives up.
constexpr int kSendWaitMs = 3000;

bool WritableWithin(int fd, int ms) {
    pollfd entry{fd, POLLOUT, 0};
    int rc;
    do {
        rc = ::poll(&entry, 1, ms);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

}  // namespace

int HTTP_CHANNEL::SendMessage(const std::string& message) {
    const int fd = GetSocket();
    if (fd < 1) {
        Logger::Log(Logger::Error, "HTTP_CHANNEL::SendMessage: Can not send message. sockfd: %i",
                    fd);
        return -1;
    }
    Logger::Log(Logger::Debug, "=========== Send =======================");
    Logger::Log(Logger::Debug, "%s", message.c_str());
    Logger::Log(Logger::Debug, "----------------------------------------");

    size_t sent = 0;
    while (sent < message.size()) {
        // MSG_NOSIGNAL: a server that went away must not kill us with SIGPIPE.
        const ssize_t n = ::send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WritableWithin(fd, kSendWaitMs)) {
            continue;
        }
        // A send of 0 bytes would repeat for ever; anything else is the peer's fault.
        Logger::Log(Logger::Error, "HTTP_CHANNEL::SendMessage: %s",
                    n == 0 ? "nothing written" : std::strerror(errno));
        return -1;
    }
    return static_cast<int>(message.size());
}

#include "net/udp_channel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "util/conversions.h"
#include "util/logger.h"

UDP_CHANNEL::UDP_CHANNEL() : m_port(PortFromEnvironment()) {
    if (!Open()) {
        Logger::Log(Logger::Error,
                    "UDP_CHANNEL: Fehler beim \xd6"
                    "ffnen des UDP-Kanals.");
    }
}

uint16_t UDP_CHANNEL::PortFromEnvironment() {
    const char* text = std::getenv("NIVO_UDP_PORT");
    if (text == nullptr || *text == '\0') return kDefaultPort;
    // Digits only: "81x" or "-1" must not quietly become some other port.
    const int value = DecimalInRange(text, 65535);
    if (value < 1) {
        Logger::Log(Logger::Warning, "UDP_CHANNEL: NIVO_UDP_PORT is not a port: %s, using %u", text,
                    static_cast<unsigned>(kDefaultPort));
        return kDefaultPort;
    }
    return static_cast<uint16_t>(value);
}

bool UDP_CHANNEL::Open() {
    Close();
    CreateSocket();
    if (Bind() < 0) {
        Close();  // an unbound socket hears nothing: report the channel closed
        return false;
    }
    return true;
}

int UDP_CHANNEL::CreateSocket() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) Logger::Log(Logger::Error, "UDP_CHANNEL: failed to create UDP-Socket.");
    m_socket = FileDescriptor(fd);
    return fd;
}

int UDP_CHANNEL::Bind() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_port);
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    const int rc =
        ::bind(m_socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (rc < 0) Logger::Log(Logger::Error, "UDP_CHANNEL: can't bind Port. err: %i", rc);
    return rc;
}

int UDP_CHANNEL::Receive(std::string& out) {
    out.clear();
    const int fd = GetSocket();
    if (fd < 1) return -1;
    char buffer[kMaxDatagram + 1];
    ssize_t n;
    do {
        n = ::recv(fd, buffer, kMaxDatagram, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return -1;
    out.assign(buffer, strnlen(buffer, static_cast<size_t>(n)));
    return static_cast<int>(n);
}

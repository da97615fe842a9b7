#pragma once
// Addresses on 127.0.0.1 for the tests' own servers and clients.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "util/file_descriptor.h"

inline sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// The port a socket is bound to.
inline int BoundPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// A socket bound to a free loopback port; a stream socket listens, so connections
// wait in its backlog.
inline FileDescriptor BoundSocket(int type) {
    FileDescriptor fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(0);
    EXPECT_EQ(::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    if (type == SOCK_STREAM) ::listen(fd.Get(), 4);
    return fd;
}

#pragma once
// Socket channels on the loopback interface: the abstract base that owns the
// socket, the TCP client that carries one HTTP/1.0 exchange per connection and
// the UDP receiver of the other processes' notifications.
#include <cstdint>
#include <string>

#include "util/file_descriptor.h"

class HTTP_CHANNEL {
public:
    HTTP_CHANNEL() = default;
    virtual ~HTTP_CHANNEL() = default;
    HTTP_CHANNEL(const HTTP_CHANNEL&) = delete;
    HTTP_CHANNEL& operator=(const HTTP_CHANNEL&) = delete;

    // The descriptor; below 1 when the channel is closed.
    int GetSocket() const { return m_socket.Get() > 0 ? m_socket.Get() : 0; }
    void Close() { m_socket.Reset(); }
    // Sends the whole message; its length, or -1. Never raises SIGPIPE.
    virtual int SendMessage(const std::string& message);
    virtual int Receive(std::string& out) = 0;

protected:
    FileDescriptor m_socket;
};

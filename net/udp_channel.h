#pragma once
// Receives the notification datagrams of the unit's other processes on
// 127.0.0.1 (port 8182, or NIVO_UDP_PORT). The socket stays open between datagrams.
#include "net/http_channel.h"

class UDP_CHANNEL : public HTTP_CHANNEL {
public:
    static constexpr uint16_t kDefaultPort = 8182;
    static constexpr int kMaxDatagram = 1023;  // longer datagrams are cut to this

    UDP_CHANNEL();  // opens; logs when that fails
    ~UDP_CHANNEL() override = default;

    // NIVO_UDP_PORT when it is a port 1..65535, else 8182 (a bad value is logged).
    static uint16_t PortFromEnvironment();

    bool Open();  // (re)creates and binds the socket
    int CreateSocket();
    int Bind();
    // One pending datagram without waiting, up to its first NUL byte and at most
    // kMaxDatagram bytes. The bytes received, or -1 when none was pending or the
    // socket failed (out is then empty).
    int Receive(std::string& out) override;

private:
    uint16_t m_port = kDefaultPort;
};

#pragma once
// The client side of one HTTP/1.0 exchange with the web server on 127.0.0.1:
// connect, send the request, read the answer until it is complete.
#include "net/http_channel.h"

class TCP_CHANNEL : public HTTP_CHANNEL {
public:
    static constexpr int kConnectTimeoutMs = 3000;
    static constexpr int kAnswerTimeoutMs = 10000;          // from the write to the last byte
    static constexpr size_t kMaxAnswerBytes = 1024 * 1024;  // larger answers are cut

    TCP_CHANNEL() = default;
    ~TCP_CHANNEL() override = default;

    int CreateSocket();                     // new stream socket; -1 on failure
    int ConnectServer(unsigned short port);  // 0 or -1; remembers the port
    bool Connect(unsigned short port);       // closes, then connects (port 0 means 80)
    bool Reconnect();                        // Connect with the remembered port
    unsigned short GetPort() const { return m_port; }

    // Also starts the answer clock.
    int SendMessage(const std::string& message) override;
    // Reads until the server closes the stream, or until the body has the length
    // its Content-Length header announced. The length of out; -1 when the answer
    // was cut or broken (answer clock ran out, more than kMaxAnswerBytes, a body
    // longer or shorter than announced, read error): out then holds what did arrive.
    int Receive(std::string& out) override;
    // Milliseconds left on the answer clock (0 or less: overdue).
    int MsUntilAnswerDeadline() const;

private:
    unsigned short m_port = 0;
    int64_t m_answerDeadlineMs = 0;  // on TimerQueue's monotonic scale
};

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/util/loopback.h"
#include "net/tcp_channel.h"
#include "net/udp_channel.h"
#include "util/file_descriptor.h"
#include "util/logger.h"
#include "util/timer.h"

namespace {

constexpr int kWaitMs = 5000;  // bound of every wait in these tests

// A socket bound to a free loopback port of the given type.
FileDescriptor BoundSocket(int type) {
    FileDescriptor fd(socket(AF_INET, type | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(0);
    bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

bool Readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, kWaitMs) > 0;
}

// A raw HTTP server on 127.0.0.1 serving one connection per answer, in order.
class RawServer {
public:
    enum Behaviour { kAnswerAndClose, kAnswerAndStaySilent, kCloseAtOnce };

    explicit RawServer(std::vector<std::string> answers, Behaviour behaviour = kAnswerAndClose)
        : m_listen(BoundSocket(SOCK_STREAM)),
          m_answers(std::move(answers)),
          m_behaviour(behaviour) {
        listen(m_listen.Get(), 4);
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) std::abort();
        m_stopRead = FileDescriptor(ends[0]);
        m_stopWrite = FileDescriptor(ends[1]);
        m_thread = std::thread([this] { Run(); });
    }
    ~RawServer() {
        (void)!write(m_stopWrite.Get(), "x", 1);
        m_thread.join();
    }
    uint16_t Port() const { return BoundPort(m_listen.Get()); }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    // False when stopped or the bound ran out.
    bool Wait(int fd, short events) {
        pollfd entries[2] = {{fd, events, 0}, {m_stopRead.Get(), POLLIN, 0}};
        return poll(entries, 2, kWaitMs) > 0 && entries[1].revents == 0;
    }
    void Run() {
        for (const std::string& answer : m_answers) {
            if (!Wait(m_listen.Get(), POLLIN)) return;
            FileDescriptor connection(accept4(m_listen.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (m_behaviour == kCloseAtOnce) continue;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos &&
                   Wait(connection.Get(), POLLIN)) {
                const ssize_t n = recv(connection.Get(), buffer, sizeof buffer, 0);
                if (n <= 0) break;
                request.append(buffer, static_cast<size_t>(n));
            }
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_requests.push_back(request);
            }
            size_t sent = 0;
            while (sent < answer.size() && Wait(connection.Get(), POLLOUT)) {
                const ssize_t n = send(connection.Get(), answer.data() + sent, answer.size() - sent,
                                       MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
            if (m_behaviour == kAnswerAndStaySilent) Wait(m_stopRead.Get(), 0);
        }
    }

    FileDescriptor m_listen;
    FileDescriptor m_stopRead;
    FileDescriptor m_stopWrite;
    std::vector<std::string> m_answers;
    Behaviour m_behaviour;
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// Each reading of this clock moves it on by s_step milliseconds.
struct SteppingClock {
    static inline int64_t s_now = 1000000;
    static inline int64_t s_step = 0;
    static int64_t Now() { return s_now += s_step; }

    explicit SteppingClock(int64_t step) {
        s_step = step;
        TimerTarget::s_timerQueue.SetClock(&Now);
    }
    ~SteppingClock() { TimerTarget::s_timerQueue.SetClock(nullptr); }
};

const std::string kRequest = "GET /a.cgi HTTP/1.0\r\n\r\n";

TEST(TcpChannelTest, ClosedOrRefusedChannelsFailWithTheirLogLines) {
    CapturingLogger log;
    ScopedLogger installed(&log);
    TCP_CHANNEL channel;
    std::string out = "stale";
    EXPECT_EQ(channel.SendMessage(kRequest), -1);
    EXPECT_TRUE(
        log.Has(Logger::Error, "HTTP_CHANNEL::SendMessage: Can not send message. sockfd: 0"));
    EXPECT_EQ(channel.Receive(out), -1);
    EXPECT_EQ(out, "");

    FileDescriptor bound = BoundSocket(SOCK_STREAM);  // bound, never listening: refused
    const uint16_t port = BoundPort(bound.Get());
    EXPECT_FALSE(channel.Connect(port));
    EXPECT_EQ(channel.GetSocket(), 0);
    EXPECT_EQ(channel.GetPort(), port);
    EXPECT_TRUE(log.Has(Logger::Error, "TCP_CHANNEL::ConnectServer: can't connect to server."));
    EXPECT_TRUE(log.Has(Logger::Error, "TCP_CHANNEL::ConnectServer: Connection refused"));
    EXPECT_FALSE(channel.Reconnect());
    EXPECT_EQ(channel.GetPort(), port);

    channel.Connect(0);
    EXPECT_EQ(channel.GetPort(), 80);
}

TEST(TcpChannelTest, AnswersAreReadWholeWithEveryByteUpToTheSizeLimit) {
    CapturingLogger log;
    ScopedLogger installed(&log);
    const std::string withNul = std::string("HTTP/1.0 200 OK\r\n\r\n<nivoml>a\0b", 30) +
                                std::string(5000, 'x') + "</nivoml>";
    const std::string full(TCP_CHANNEL::kMaxAnswerBytes, 'f');
    const std::string tooLong = std::string(TCP_CHANNEL::kMaxAnswerBytes, 'g') + "hij";
    RawServer server({withNul, full, tooLong});

    TCP_CHANNEL channel;
    std::string out;
    ASSERT_TRUE(channel.Connect(server.Port()));
    EXPECT_GT(channel.GetSocket(), 0);
    EXPECT_EQ(channel.SendMessage(kRequest), static_cast<int>(kRequest.size()));
    EXPECT_TRUE(log.Has(Logger::Debug, "=========== Send ======================="));
    EXPECT_TRUE(log.Has(Logger::Debug, kRequest));
    EXPECT_EQ(channel.Receive(out), static_cast<int>(withNul.size()));
    EXPECT_EQ(out, withNul);

    channel.Close();
    ASSERT_TRUE(channel.Reconnect());
    ASSERT_EQ(channel.SendMessage(kRequest), static_cast<int>(kRequest.size()));
    EXPECT_EQ(channel.Receive(out), static_cast<int>(full.size()));
    EXPECT_EQ(out.size(), full.size());

    ASSERT_TRUE(channel.Connect(server.Port()));
    ASSERT_EQ(channel.SendMessage(kRequest), static_cast<int>(kRequest.size()));
    EXPECT_EQ(channel.Receive(out), -1);
    EXPECT_EQ(out, tooLong.substr(0, TCP_CHANNEL::kMaxAnswerBytes));
    channel.Close();
    EXPECT_EQ(server.Requests(), std::vector<std::string>(3, kRequest));
}

TEST(TcpChannelTest, SilentServerIsCutAtTheAnswerDeadline) {
    RawServer server({"HTTP/1.0 200 OK\r\n"}, RawServer::kAnswerAndStaySilent);
    // The answer clock runs 10 s from the send: the first read sees 5 s left, the
    // second only 10 ms, which the silent server lets pass.
    SteppingClock clock(TCP_CHANNEL::kAnswerTimeoutMs / 2 - 5);
    TCP_CHANNEL channel;
    ASSERT_TRUE(channel.Connect(server.Port()));
    ASSERT_EQ(channel.SendMessage(kRequest), static_cast<int>(kRequest.size()));
    ASSERT_TRUE(Readable(channel.GetSocket()));
    std::string out;
    EXPECT_EQ(channel.Receive(out), -1);
    EXPECT_EQ(out, "HTTP/1.0 200 OK\r\n");
    EXPECT_LE(channel.MsUntilAnswerDeadline(), 0);
    EXPECT_EQ(channel.Receive(out), -1);  // overdue: no wait at all
}

TEST(TcpChannelTest, SendingToAClosedPeerFailsWithoutSigpipe) {
    CapturingLogger log;
    ScopedLogger installed(&log);
    RawServer server({""}, RawServer::kCloseAtOnce);
    TCP_CHANNEL channel;
    ASSERT_TRUE(channel.Connect(server.Port()));
    char byte;
    ASSERT_TRUE(Readable(channel.GetSocket()));
    ASSERT_EQ(recv(channel.GetSocket(), &byte, 1, 0), 0);  // the server has gone
    EXPECT_EQ(channel.SendMessage(std::string(8 * 1024 * 1024, 'p')), -1);
}

// Points NIVO_UDP_PORT at a free port for the lifetime of the guard.
class UdpPort {
public:
    UdpPort() {
        FileDescriptor probe = BoundSocket(SOCK_DGRAM);
        m_port = BoundPort(probe.Get());
        setenv("NIVO_UDP_PORT", std::to_string(m_port).c_str(), 1);
    }
    ~UdpPort() { unsetenv("NIVO_UDP_PORT"); }
    uint16_t Port() const { return m_port; }

    void Send(const std::string& datagram) const {
        FileDescriptor sender(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        sockaddr_in address = Loopback(m_port);
        sendto(sender.Get(), datagram.data(), datagram.size(), 0,
               reinterpret_cast<sockaddr*>(&address), sizeof address);
    }

private:
    uint16_t m_port = 0;
};

TEST(UdpChannelTest, DatagramsAreCutAtNulAndLengthAndTheSocketStaysOpen) {
    UdpPort port;
    UDP_CHANNEL channel;
    const int fd = channel.GetSocket();
    ASSERT_GT(fd, 0);
    EXPECT_EQ(BoundPort(fd), port.Port());
    std::string out = "stale";
    EXPECT_EQ(channel.Receive(out), -1);  // nothing pending: no wait
    EXPECT_EQ(out, "");

    port.Send(std::string("ALARM\0more", 10));
    port.Send(std::string(2000, 'd'));
    port.Send("STATUS");
    ASSERT_TRUE(Readable(fd));
    EXPECT_EQ(channel.Receive(out), 10);
    EXPECT_EQ(out, "ALARM");
    ASSERT_TRUE(Readable(fd));
    EXPECT_EQ(channel.Receive(out), UDP_CHANNEL::kMaxDatagram);
    EXPECT_EQ(out, std::string(1023, 'd'));
    ASSERT_TRUE(Readable(fd));
    EXPECT_EQ(channel.Receive(out), 6);
    EXPECT_EQ(out, "STATUS");
    EXPECT_EQ(channel.Receive(out), -1);
    EXPECT_EQ(channel.GetSocket(), fd);
}

TEST(UdpChannelTest, PortComesFromTheEnvironmentAndBadValuesFallBack) {
    CapturingLogger log;
    ScopedLogger installed(&log);
    unsetenv("NIVO_UDP_PORT");
    EXPECT_EQ(UDP_CHANNEL::PortFromEnvironment(), 8182);
    setenv("NIVO_UDP_PORT", "65535", 1);
    EXPECT_EQ(UDP_CHANNEL::PortFromEnvironment(), 65535);
    EXPECT_TRUE(log.Lines().empty());
    for (const char* bad : {"0", "65536", "99999999999", "81x", "-1", " 81"}) {
        setenv("NIVO_UDP_PORT", bad, 1);
        EXPECT_EQ(UDP_CHANNEL::PortFromEnvironment(), 8182) << bad;
        EXPECT_EQ(log.Lines().back().first, Logger::Warning) << bad;
    }
    unsetenv("NIVO_UDP_PORT");

    // A port someone else holds: the channel says so and stays closed.
    UdpPort port;
    UDP_CHANNEL first;
    ASSERT_GT(first.GetSocket(), 0);
    UDP_CHANNEL second;
    EXPECT_EQ(second.GetSocket(), 0);
    EXPECT_TRUE(log.Has(Logger::Error, "UDP_CHANNEL: can't bind Port. err: -1"));
    EXPECT_TRUE(log.Has(Logger::Error,
                        "UDP_CHANNEL: Fehler beim \xd6"
                        "ffnen des UDP-Kanals."));
    std::string out;
    EXPECT_EQ(second.Receive(out), -1);
    first.Close();
    EXPECT_TRUE(second.Open());
}

}  // namespace

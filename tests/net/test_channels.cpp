#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

#include "net/tcp_channel.h"
#include "net/udp_channel.h"
#include "tests/util/loopback.h"
#include "util/logger.h"
#include "util/timer.h"

namespace {

bool Ready(int fd, short events = POLLIN) {
    pollfd entry{fd, events, 0};
    return poll(&entry, 1, 5000) > 0 && (entry.revents & events) != 0;
}

// Serves one connection: reads the request, sends the answer and closes, or hands the
// connection to keep; the request.
std::string Answer(const FileDescriptor& server, const std::string& answer,
                   FileDescriptor* keep = nullptr) {
    FileDescriptor connection(Ready(server.Get()) ? accept(server.Get(), nullptr, nullptr) : -1);
    const timeval bound{5, 0};  // every wait is bounded
    setsockopt(connection.Get(), SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
    char buffer[256];
    const ssize_t n = Ready(connection.Get()) ? recv(connection.Get(), buffer, 256, 0) : 0;
    send(connection.Get(), answer.data(), answer.size(), MSG_NOSIGNAL);
    if (keep) *keep = std::move(connection);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

const std::string kRequest = "GET /a.cgi HTTP/1.0\r\n\r\n";

TEST(TcpChannelTest, ClosedOrRefusedChannelsFailAndStayClosed) {
    TCP_CHANNEL channel;
    std::string out;
    EXPECT_EQ(channel.SendMessage(kRequest), -1);
    EXPECT_EQ(channel.Receive(out), -1);

    const uint16_t port = BoundPort(BoundSocket(SOCK_DGRAM).Get());  // no stream listens
    EXPECT_FALSE(channel.Connect(port));
    EXPECT_EQ(channel.GetSocket(), 0);
    EXPECT_FALSE(channel.Reconnect());
    EXPECT_EQ(channel.GetPort(), port);
    channel.Connect(0);
    EXPECT_EQ(channel.GetPort(), 80);
}

TEST(TcpChannelTest, AnswersAreReadWholeWithEveryByteUpToTheSizeLimit) {
    std::string full(TCP_CHANNEL::kMaxAnswerBytes, 'f');
    full[20] = '\0';
    FileDescriptor server = BoundSocket(SOCK_STREAM);
    std::string requests;
    std::thread thread([&] {
        requests = Answer(server, full);
        requests += Answer(server, full + "g");
    });
    TCP_CHANNEL channel;
    std::string out;
    EXPECT_TRUE(channel.Connect(BoundPort(server.Get())));
    EXPECT_EQ(channel.SendMessage(kRequest), static_cast<int>(kRequest.size()));
    EXPECT_EQ(channel.Receive(out), static_cast<int>(full.size()));
    EXPECT_TRUE(out == full);

    EXPECT_TRUE(channel.Reconnect());
    EXPECT_EQ(channel.SendMessage(kRequest), static_cast<int>(kRequest.size()));
    EXPECT_EQ(channel.Receive(out), -1);
    EXPECT_TRUE(out == full);  // cut at the limit
    channel.Close();
    thread.join();
    EXPECT_EQ(requests, kRequest + kRequest);
}

TEST(TcpChannelTest, SilentServerIsCutTenSecondsAfterTheSendAndAGoneOneFailsTheSend) {
    static int64_t now = 1000000;
    TimerTarget::s_timerQueue.SetClock([] { return now; });
    FileDescriptor server = BoundSocket(SOCK_STREAM);
    TCP_CHANNEL channel;
    EXPECT_TRUE(channel.Connect(BoundPort(server.Get())));
    EXPECT_EQ(channel.SendMessage(kRequest), static_cast<int>(kRequest.size()));
    EXPECT_EQ(channel.MsUntilAnswerDeadline(), 10000);
    FileDescriptor connection;
    EXPECT_EQ(Answer(server, "HTTP/1.0 200 OK\r\n", &connection), kRequest);
    EXPECT_TRUE(Ready(channel.GetSocket()));
    now += 9999;  // 1 ms left: what has come is kept, then given up
    std::string out;
    EXPECT_EQ(channel.Receive(out), -1);
    EXPECT_EQ(out, "HTTP/1.0 200 OK\r\n");
    now += 1;
    EXPECT_EQ(channel.Receive(out), -1);  // overdue: no wait at all
    TimerTarget::s_timerQueue.SetClock(nullptr);
    connection.Reset();  // the server has gone: sending fails, and raises no SIGPIPE
    EXPECT_EQ(channel.SendMessage(std::string(8 << 20, 'p')), -1);
}

TEST(UdpChannelTest, PortComesFromTheEnvironmentAndDatagramsAreCutAtNulAndLength) {
    CapturingLogger log;
    ScopedLogger installed(&log);
    unsetenv("NIVO_UDP_PORT");
    EXPECT_EQ(UDP_CHANNEL::PortFromEnvironment(), 8182);
    for (const char* bad : {"0", "65536", "99999999999", "81x", "-1", " 81"}) {
        setenv("NIVO_UDP_PORT", bad, 1);
        EXPECT_EQ(UDP_CHANNEL::PortFromEnvironment(), 8182) << bad;
        EXPECT_EQ(log.Lines().back().first, Logger::Warning) << bad;
    }
    setenv("NIVO_UDP_PORT", "65535", 1);
    EXPECT_EQ(UDP_CHANNEL::PortFromEnvironment(), 65535);

    const uint16_t port = BoundPort(BoundSocket(SOCK_DGRAM).Get());  // free a moment ago
    setenv("NIVO_UDP_PORT", std::to_string(port).c_str(), 1);
    UDP_CHANNEL channel;
    const int fd = channel.GetSocket();
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    EXPECT_EQ(ntohs(bound.sin_port), port);
    EXPECT_EQ(ntohl(bound.sin_addr.s_addr), INADDR_LOOPBACK);  // no other host may notify
    std::string out = "stale";
    EXPECT_EQ(channel.Receive(out), -1);  // nothing pending: no wait
    EXPECT_EQ(out, "");
    const std::pair<std::string, std::string> datagrams[] = {
        {std::string("ALARM\0more", 10), "ALARM"},
        {std::string(2000, 'd'), std::string(1023, 'd')}};
    for (const auto& [datagram, text] : datagrams) {
        sockaddr_in address = Loopback(port);
        sendto(BoundSocket(SOCK_DGRAM).Get(), datagram.data(), datagram.size(), 0,
               reinterpret_cast<sockaddr*>(&address), sizeof address);
        EXPECT_TRUE(Ready(fd));
        EXPECT_EQ(channel.Receive(out), static_cast<int>(std::min<size_t>(datagram.size(), 1023)));
        EXPECT_EQ(out, text);
    }
    EXPECT_EQ(channel.GetSocket(), fd);  // the socket stays open
    sockaddr_in other = Loopback(port);  // 127.0.0.2, another address of this machine
    other.sin_addr.s_addr = htonl(INADDR_LOOPBACK + 1);
    sockaddr_in own = Loopback(port);
    const FileDescriptor sender = BoundSocket(SOCK_DGRAM);
    sendto(sender.Get(), "ALARM", 5, 0, reinterpret_cast<sockaddr*>(&other), sizeof other);
    sendto(sender.Get(), "RELOAD", 6, 0, reinterpret_cast<sockaddr*>(&own), sizeof own);
    EXPECT_TRUE(Ready(fd));
    EXPECT_EQ(channel.Receive(out), 6);  // the first datagram never came
    EXPECT_EQ(out, "RELOAD");

    UDP_CHANNEL second;  // the port is taken: the channel stays closed
    EXPECT_EQ(second.GetSocket(), 0);
    EXPECT_EQ(second.Receive(out), -1);
    channel.Close();
    EXPECT_TRUE(second.Open());
    unsetenv("NIVO_UDP_PORT");
}

}  // namespace

// Readiness notifications over real loopback sockets: which notification comes when, and
// how often.
#include "platform/SocketNotifier.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/ErrorCodes.h"
#include "platform/SocketApi.h"
#include "platform/TickCount.h"
#include "tests/support/PumpUntil.h"

namespace tarnwick::platform {
namespace {

using tarnwick::testing::PumpFor;
using tarnwick::testing::PumpUntil;

constexpr uint32_t kMsgSock = kMsgUser + 1;
constexpr uint32_t kAll = kFdRead | kFdWrite | kFdAccept | kFdConnect | kFdClose;
constexpr int kQuietMs = 60;  // long enough for a wrongly re-posted notification to show

struct Notes {
    std::vector<std::pair<uint16_t, uint16_t>> events;  // (event bit, error)
    std::vector<uintptr_t> handles;
    TargetId target;
    Notes() {
        target = EventLoop::Current().RegisterTarget([this](const Message& m) {
            events.emplace_back(SelectEvent(m.lParam), SelectError(m.lParam));
            handles.push_back(m.wParam);
        });
    }
    ~Notes() { EventLoop::Current().UnregisterTarget(target); }
    int Count(uint16_t ev) const {
        int n = 0;
        for (const auto& e : events) n += (e.first == ev);
        return n;
    }
};

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

TSocket OpenListener(uint16_t& port) {
    TSocket s = SocketOpen(AF_INET, SOCK_STREAM, 0);
    EXPECT_NE(s, kInvalidSocket);
    EXPECT_EQ(SocketBind(s, Loopback(0)), 0);
    EXPECT_EQ(SocketListen(s, 5), 0);
    sockaddr_in bound{};
    int len = sizeof(bound);
    EXPECT_EQ(SocketGetSockName(s, &bound, &len), 0);
    port = ntohs(bound.sin_port);
    return s;
}

// A connected pair: client c (selected to client notes) and accepted a (server notes, once
// a test selects it); the listener reports to its own notes.
struct Pair {
    Notes accepts, server, client;
    TSocket listener = kInvalidSocket, c = kInvalidSocket, a = kInvalidSocket;
    Pair() {
        uint16_t port = 0;
        listener = OpenListener(port);
        EXPECT_EQ(SocketAsyncSelect(listener, accepts.target, kMsgSock, kAll), 0);
        c = SocketOpen(AF_INET, SOCK_STREAM, 0);
        EXPECT_EQ(SocketAsyncSelect(c, client.target, kMsgSock, kAll), 0);
        EXPECT_EQ(SocketConnect(c, Loopback(port)), kSocketError);
        EXPECT_EQ(SocketLastError(), kErrWouldBlock);
        EXPECT_TRUE(PumpUntil(
            [&] { return client.Count(kFdWrite) == 1 && accepts.Count(kFdAccept) == 1; }));
        a = SocketAccept(listener, nullptr, nullptr);
        EXPECT_NE(a, kInvalidSocket);
    }
    ~Pair() {
        for (TSocket s : {listener, c, a}) {
            if (s != kInvalidSocket) SocketClose(s);
        }
    }
};

TEST(SocketNotifier, ConnectThenWriteOnceAndNothingMore) {
    Pair p;
    ASSERT_GE(p.client.events.size(), 2u);
    EXPECT_EQ(p.client.events[0], std::make_pair(kFdConnect, uint16_t{0}));
    EXPECT_EQ(p.client.events[1], std::make_pair(kFdWrite, uint16_t{0}));
    EXPECT_EQ(p.client.handles[0], p.c);
    PumpFor(kQuietMs);
    EXPECT_EQ(p.client.events.size(), 2u);
}

TEST(SocketNotifier, RefusedConnectGivesOneConnectNotificationWithTheError) {
    uint16_t port = 0;
    TSocket probe = OpenListener(port);
    SocketClose(probe);  // nobody listens there now
    Notes notes;
    TSocket c = SocketOpen(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(SocketAsyncSelect(c, notes.target, kMsgSock, kAll), 0);
    EXPECT_EQ(SocketConnect(c, Loopback(port)), kSocketError);
    EXPECT_EQ(SocketLastError(), kErrWouldBlock);
    ASSERT_TRUE(PumpUntil([&] { return !notes.events.empty(); }));
    PumpFor(kQuietMs);
    ASSERT_EQ(notes.events.size(), 1u);
    EXPECT_EQ(notes.events[0], std::make_pair(kFdConnect, uint16_t{10061}));
    SocketClose(c);
}

TEST(SocketNotifier, ReadIsRepostedOnlyAfterAReceiveWhileDataRemains) {
    Pair p;
    ASSERT_EQ(SocketAsyncSelect(p.a, p.server.target, kMsgSock, kAll), 0);
    ASSERT_EQ(SocketSend(p.c, "0123456789", 10, 0), 10);
    ASSERT_TRUE(PumpUntil([&] { return p.server.Count(kFdRead) == 1; }));
    PumpFor(kQuietMs);
    EXPECT_EQ(p.server.Count(kFdRead), 1);  // unread, but no flood

    char buf[16];
    ASSERT_EQ(SocketRecv(p.a, buf, 5, 0), 5);
    ASSERT_TRUE(PumpUntil([&] { return p.server.Count(kFdRead) == 2; }));
    ASSERT_EQ(SocketRecv(p.a, buf, 16, 0), 5);
    PumpFor(kQuietMs);
    EXPECT_EQ(p.server.Count(kFdRead), 2);  // everything read: quiet until new data

    ASSERT_EQ(SocketSend(p.c, "x", 1, 0), 1);
    EXPECT_TRUE(PumpUntil([&] { return p.server.Count(kFdRead) == 3; }));
}

TEST(SocketNotifier, AcceptedHandleGetsOneWriteWhenSelected) {
    Pair p;
    ASSERT_EQ(SocketAsyncSelect(p.a, p.server.target, kMsgSock, kAll), 0);
    ASSERT_TRUE(PumpUntil([&] { return p.server.Count(kFdWrite) == 1; }));
    PumpFor(kQuietMs);
    EXPECT_EQ(p.server.Count(kFdWrite), 1);
    EXPECT_EQ(p.server.Count(kFdConnect), 0);
}

TEST(SocketNotifier, PeerCloseComesAfterTheReadOfRemainingData) {
    Pair p;
    ASSERT_EQ(SocketAsyncSelect(p.a, p.server.target, kMsgSock, kFdRead | kFdClose), 0);
    ASSERT_EQ(SocketSend(p.c, "abc", 3, 0), 3);
    linger off{0, 0};
    SocketSetOpt(p.c, SOL_SOCKET, SO_LINGER, &off, sizeof(off));
    SocketClose(p.c);
    p.c = kInvalidSocket;
    ASSERT_TRUE(PumpUntil([&] { return p.server.Count(kFdClose) == 1; }));
    PumpFor(kQuietMs);
    ASSERT_EQ(p.server.events.size(), 2u);
    EXPECT_EQ(p.server.events[0], std::make_pair(kFdRead, uint16_t{0}));
    EXPECT_EQ(p.server.events[1], std::make_pair(kFdClose, uint16_t{0}));
    char buf[8];
    EXPECT_EQ(SocketRecv(p.a, buf, 8, 0), 3);
    EXPECT_EQ(SocketRecv(p.a, buf, 8, 0), 0);
    PumpFor(kQuietMs);
    EXPECT_EQ(p.server.events.size(), 2u);  // end of stream is no new read notification
}

TEST(SocketNotifier, ResetGivesCloseWithConnectionReset) {
    Pair p;
    ASSERT_EQ(SocketAsyncSelect(p.a, p.server.target, kMsgSock, kFdRead | kFdClose), 0);
    linger hard{1, 0};
    ASSERT_EQ(SocketSetOpt(p.c, SOL_SOCKET, SO_LINGER, &hard, sizeof(hard)), 0);
    SocketClose(p.c);
    p.c = kInvalidSocket;
    ASSERT_TRUE(PumpUntil([&] { return p.server.Count(kFdClose) == 1; }));
    EXPECT_EQ(p.server.events.back(), std::make_pair(kFdClose, uint16_t{10054}));
    PumpFor(kQuietMs);
    EXPECT_EQ(p.server.Count(kFdClose), 1);
}

TEST(SocketNotifier, WriteComesBackOnlyAfterASendCouldNotTakeEverything) {
    Pair p;
    const std::vector<char> chunk(64 * 1024, 'x');
    int sent = 0;
    while (SocketSend(p.c, chunk.data(), static_cast<int>(chunk.size()), 0) > 0) ++sent;
    ASSERT_EQ(SocketLastError(), kErrWouldBlock);
    EXPECT_GT(sent, 0);
    PumpFor(kQuietMs);
    EXPECT_EQ(p.client.Count(kFdWrite), 1);  // the one after connect

    std::vector<char> sink(256 * 1024);
    ASSERT_TRUE(PumpUntil([&] {
        while (SocketRecv(p.a, sink.data(), static_cast<int>(sink.size()), 0) > 0) {
        }
        return p.client.Count(kFdWrite) == 2;
    }));
    PumpFor(kQuietMs);
    EXPECT_EQ(p.client.Count(kFdWrite), 2);
}

TEST(SocketNotifier, AcceptIsRepostedOnlyAfterAnAccept) {
    uint16_t port = 0;
    TSocket l = OpenListener(port);
    Notes notes;
    ASSERT_EQ(SocketAsyncSelect(l, notes.target, kMsgSock, kAll), 0);
    TSocket c1 = SocketOpen(AF_INET, SOCK_STREAM, 0);
    TSocket c2 = SocketOpen(AF_INET, SOCK_STREAM, 0);
    SocketConnect(c1, Loopback(port));
    SocketConnect(c2, Loopback(port));
    ASSERT_TRUE(PumpUntil([&] { return notes.Count(kFdAccept) == 1; }));
    PumpFor(kQuietMs);
    EXPECT_EQ(notes.Count(kFdAccept), 1);
    TSocket a1 = SocketAccept(l, nullptr, nullptr);
    ASSERT_NE(a1, kInvalidSocket);
    ASSERT_TRUE(PumpUntil([&] { return notes.Count(kFdAccept) == 2; }));
    EXPECT_EQ(notes.events.size(), 2u);  // a listener reports accepts only
    for (TSocket s : {a1, c1, c2, l}) SocketClose(s);
}

TEST(SocketNotifier, DatagramSocketGetsWriteOnceAndReadPerDatagram) {
    Notes notes;
    TSocket u = SocketOpen(AF_INET, SOCK_DGRAM, 0);
    ASSERT_EQ(SocketBind(u, Loopback(0)), 0);
    sockaddr_in bound{};
    int len = sizeof(bound);
    ASSERT_EQ(SocketGetSockName(u, &bound, &len), 0);
    ASSERT_EQ(SocketAsyncSelect(u, notes.target, kMsgSock, kAll), 0);
    ASSERT_TRUE(PumpUntil([&] { return notes.Count(kFdWrite) == 1; }));
    TSocket sender = SocketOpen(AF_INET, SOCK_DGRAM, 0);
    ASSERT_EQ(SocketSendTo(sender, "ping", 4, 0, bound), 4);
    ASSERT_TRUE(PumpUntil([&] { return notes.Count(kFdRead) == 1; }));
    char buf[8];
    sockaddr_in from{};
    int fromLen = sizeof(from);
    EXPECT_EQ(SocketRecvFrom(u, buf, 8, 0, &from, &fromLen), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
    PumpFor(kQuietMs);
    EXPECT_EQ(notes.Count(kFdWrite), 1);
    EXPECT_EQ(notes.Count(kFdClose), 0);
    SocketClose(sender);
    SocketClose(u);
}

TEST(SocketApi, ClosedHandlesAreRecognisedEvenWhenTheFdIsReused) {
    TSocket first = SocketOpen(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(first, kInvalidSocket);
    const int fd = SocketFd(first);
    ASSERT_EQ(SocketClose(first), 0);
    TSocket second = SocketOpen(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(SocketFd(second), fd);  // the kernel hands out the lowest free fd again
    EXPECT_NE(second, first);
    EXPECT_EQ(SocketFd(first), -1);
    char c = 0;
    EXPECT_EQ(SocketSend(first, &c, 1, 0), kSocketError);
    EXPECT_EQ(SocketLastError(), kErrNotSocket);
    EXPECT_EQ(SocketClose(first), kSocketError);
    EXPECT_EQ(SocketRecv(kInvalidSocket, &c, 1, 0), kSocketError);
    EXPECT_EQ(SocketAccept(0, nullptr, nullptr), kInvalidSocket);
    EXPECT_EQ(SocketClose(second), 0);
}

TEST(SocketApi, AddressConversions) {
    EXPECT_EQ(InetNtoa(InetAddr("10.1.2.3")), "10.1.2.3");
    EXPECT_EQ(InetAddr("255.255.255.255"), INADDR_NONE);
    EXPECT_EQ(InetAddr("host.example"), INADDR_NONE);
    EXPECT_EQ(InetNtoa(InetAddr("1.2.3")), "1.2.0.3");  // the classic short form
}

}  // namespace
}  // namespace tarnwick::platform

namespace tarnwick::platform {
namespace {

TEST(SocketApi, ALingeringCloseNeverBlocksAndStillDeliversEverything) {
    Pair p;
    linger wait{1, 10};
    ASSERT_EQ(SocketSetOpt(p.c, SOL_SOCKET, SO_LINGER, &wait, sizeof(wait)), 0);
    const std::vector<char> chunk(64 * 1024, 'l');
    size_t queued = 0;
    int n;
    while ((n = SocketSend(p.c, chunk.data(), static_cast<int>(chunk.size()), 0)) > 0)
        queued += static_cast<size_t>(n);
    const uint64_t start = GetTickCount();
    EXPECT_EQ(SocketClose(p.c), 0);  // the peer reads nothing yet: a lingering close would wait
    p.c = kInvalidSocket;
    EXPECT_LT(GetTickCount() - start, 1000u);
    std::vector<char> sink(256 * 1024);
    size_t got = 0;
    ASSERT_TRUE(PumpUntil([&] {
        while ((n = SocketRecv(p.a, sink.data(), static_cast<int>(sink.size()), 0)) > 0)
            got += static_cast<size_t>(n);
        return n == 0;  // end of stream
    }));
    EXPECT_EQ(got, queued);
}

}  // namespace
}  // namespace tarnwick::platform

// IPv6 next to IPv4: address texts, listening, connecting and accepting over ::1, the
// family and address texts of a connected socket, and a connect that moves on to the next
// address of a name when one is refused.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "net/WSocket.h"
#include "platform/ErrorCodes.h"
#include "platform/TickCount.h"
#include "tests/net/SocketTestKit.h"
#include "tests/support/FakeNameService.h"
#include "tests/support/LoopbackPorts.h"

namespace tarnwick::net {
namespace {

using namespace testkit;
using platform::SocketAddress;
using tarnwick::testing::IPv6LoopbackAvailable;
using tarnwick::testing::ScopedFakeNameService;

#define REQUIRE_IPV6()                                                          \
    do {                                                                        \
        if (!IPv6LoopbackAvailable()) GTEST_SKIP() << "no ::1 on this machine"; \
    } while (0)

// ---- address texts ----------------------------------------------------------------------

TEST(IPv6Addresses, TextsResolveToTheirAddressesOrTheExistingRefusals) {
    ScopedFakeNameService names;  // no system resolver: names answer from the table only
    names->AddHost("dual.test", {"::1", "127.0.0.1"});
    names->AddHost("v6only.test", {"2001:db8::7"});
    struct Case {
        const char* text;
        std::vector<std::string> addresses;  // empty: refused with `error`
        const char* error;
    };
    const std::vector<Case> cases = {
        {"127.0.0.1", {"127.0.0.1"}, ""},
        {" 10.1.2.3 ", {"10.1.2.3"}, ""},
        {"::1", {"::1"}, ""},
        {"[::1]", {"::1"}, ""},
        {" [::1] ", {"::1"}, ""},
        {"[2001:DB8:0:0::1]", {"2001:db8::1"}, ""},
        {"::ffff:10.0.0.1", {"::ffff:10.0.0.1"}, ""},
        {"dual.test", {"::1", "127.0.0.1"}, ""},
        {"v6only.test", {"2001:db8::7"}, ""},
        {"[1.2.3.4]", {}, "WSocketResolveHost: '[1.2.3.4]' Invalid IP address."},
        {"[dual.test]", {}, "WSocketResolveHost: '[dual.test]' Invalid IP address."},
        {"[::1", {}, "WSocketResolveHost: '[::1' Invalid IP address."},
        {"1::2::3", {}, "WSocketResolveHost: Cannot convert host address '1::2::3', Error #11001"},
        {"::g", {}, "WSocketResolveHost: Cannot convert host address '::g', Error #11001"},
        {"", {}, "WSocketResolveHost: '' Invalid Hostname."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> got;
        const std::string raised = RaisedText([&] {
            for (const auto& a : WSocketResolveHostAddresses(c.text))
                got.push_back(platform::AddressText(a));
        });
        EXPECT_EQ(raised, c.error);
        EXPECT_EQ(got, c.addresses);
    }
}

TEST(IPv6Addresses, IPv4RulesStayAsTheyWere) {
    // The IPv4 resolver answers IPv4 only: an IPv6 address of a name is not its address.
    ScopedFakeNameService names;
    names->AddHost("dual.test", {"::1", "10.0.0.9"});
    names->AddHost("v6only.test", {"::1"});
    EXPECT_EQ(platform::InetNtoa(WSocketResolveHost("dual.test")), "10.0.0.9");
    EXPECT_EQ(RaisedText([] { WSocketResolveHost("v6only.test"); }),
              "WSocketResolveHost: Cannot convert host address 'v6only.test', Error #11004");
    EXPECT_FALSE(IsDottedQuad("::1"));
    SocketAddress a;
    EXPECT_FALSE(ParseNumericAddress("dual.test", a));
    EXPECT_FALSE(ParseNumericAddress("1.2.3", a));
    ASSERT_TRUE(ParseNumericAddress("[fe80::1%1]", a));
    EXPECT_EQ(a.Family(), AF_INET6);
}

TEST(IPv6Addresses, LookupHostOfAnIPv6AddressIsDoneInsideTheCall) {
    for (const char* text : {"::1", "[::1]", "0:0::1"}) {
        SCOPED_TRACE(text);
        TWSocket s;
        EventLog log;
        log.Attach(s);
        s.LookupHost(text);
        EXPECT_EQ(log.entries, (std::vector<std::string>{"dns:0"}));
        EXPECT_EQ(s.DnsResult(), "::1");
    }
}

TEST(IPv6Addresses, LookupOfANameGivesBothFamiliesInTheResolversOrder) {
    ScopedFakeNameService names;
    names->AddHost("dual.test", {"2001:db8::5", "10.0.0.5", "::1"});
    TWSocket s;
    EventLog log;
    log.Attach(s);
    s.LookupHost("dual.test");
    ASSERT_TRUE(PumpUntil([&] { return log.Has("dns:0"); }));
    EXPECT_EQ(s.DnsResultList(), (std::vector<std::string>{"2001:db8::5", "10.0.0.5", "::1"}));
    EXPECT_EQ(s.DnsResult(), "2001:db8::5");
}

TEST(IPv6Addresses, LocalAddrTakesIPv6TextsAndStillRefusesBadOnes) {
    TWSocket s;
    s.SetLocalAddr("[::1]");
    EXPECT_EQ(s.LocalAddr(), "::1");
    s.SetLocalAddr("");
    EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
    EXPECT_EQ(RaisedText([&] { s.SetLocalAddr("::g"); }), "SetLocalAddr(): Invalid IP address");
}

// ---- listen, connect, accept over ::1 ------------------------------------------------------

// A listener on `addr` whose connections are adopted into `conn`.
struct Listener {
    explicit Listener(const std::string& addr, const std::string& port = "0") {
        listener.SetProto("tcp");
        listener.SetAddr(addr);
        listener.SetPort(port);
        listener.Listen();
        listener.OnSessionAvailable = [this](TCustomWSocket*, uint16_t) {
            const TSocket h = listener.Accept();
            if (h != kInvalidSocket) conn.Dup(h);
        };
    }
    TWSocket listener;
    TWSocket conn;
};

TEST(IPv6Sockets, ConnectListenAndAcceptOverTheIPv6Loopback) {
    REQUIRE_IPV6();
    struct Case {
        const char* listenAddr;
        const char* connectAddr;
        const char* boundAddr;  // what the listener reports
    };
    const std::vector<Case> cases = {
        {"::1", "::1", "::1"},
        {"[::1]", "[::1]", "::1"},
        {"::", "::1", "::"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.listenAddr) + " <- " + c.connectAddr);
        Listener server(c.listenAddr);
        ASSERT_EQ(server.listener.State(), wsListening);
        EXPECT_EQ(server.listener.AddressFamily(), AF_INET6);
        EXPECT_EQ(server.listener.GetBoundAddr(), c.boundAddr);

        TWSocket client;
        EventLog log;
        log.Attach(client);
        std::vector<uint8_t> atServer;
        server.conn.OnDataAvailable = ReadAllInto(atServer);
        client.SetProto("tcp");
        client.SetAddr(c.connectAddr);
        client.SetPort(server.listener.GetBoundPort());
        client.Connect();
        ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0"); })) << log.Text();
        ASSERT_TRUE(PumpUntil([&] { return server.conn.State() == wsConnected; }));

        EXPECT_EQ(client.AddressFamily(), AF_INET6);
        EXPECT_EQ(server.conn.AddressFamily(), AF_INET6);
        EXPECT_EQ(client.PeerAddr(), "::1");
        EXPECT_EQ(client.PeerPort(), server.listener.GetBoundPort());
        EXPECT_EQ(client.GetBoundAddr(), "::1");
        EXPECT_EQ(server.conn.PeerAddr(), "::1");
        EXPECT_EQ(server.conn.PeerPort(), client.GetBoundPort());
        SocketAddress peer;
        ASSERT_EQ(server.conn.GetPeerAddress(peer), 0);
        SocketAddress local;
        ASSERT_EQ(client.GetSockAddress(local), 0);
        EXPECT_TRUE(peer.SameHost(local));
        EXPECT_EQ(peer.Port(), local.Port());

        client.SendText("over six");
        ASSERT_TRUE(PumpUntil([&] { return atServer.size() == 8; }));
        EXPECT_EQ(std::string(atServer.begin(), atServer.end()), "over six");
    }
}

TEST(IPv6Sockets, TheIPv6WildcardTakesNoIPv4Connections) {
    REQUIRE_IPV6();
    Listener server("::");
    TWSocket client;
    EventLog log;
    log.Attach(client);
    ConnectTo(client, server.listener.GetBoundPort());  // 127.0.0.1
    ASSERT_TRUE(PumpUntil([&] { return client.State() == wsClosed; }));
    EXPECT_TRUE(log.Has("connected:10061")) << log.Text();
}

TEST(IPv6Sockets, IPv4SocketsReportTheirFamilyAndTexts) {
    LoopbackServer server;
    TWSocket client;
    EventLog log;
    log.Attach(client);
    EXPECT_EQ(client.AddressFamily(), AF_UNSPEC);
    ConnectTo(client, server.PortText());
    ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0") && server.accepted == 1; }));
    EXPECT_EQ(client.AddressFamily(), AF_INET);
    EXPECT_EQ(server.listener.AddressFamily(), AF_INET);
    EXPECT_EQ(client.PeerAddr(), "127.0.0.1");
    EXPECT_EQ(client.GetBoundAddr(), "127.0.0.1");
    EXPECT_EQ(server.conn.PeerAddr(), "127.0.0.1");
}

TEST(IPv6Sockets, ALocalPortIsBoundInTheTargetsFamily) {
    REQUIRE_IPV6();
    Listener server("::1");
    TWSocket client;
    EventLog log;
    log.Attach(client);
    const std::string localPort = ClosedPort();  // free on 127.0.0.1, most likely on ::1 too
    client.SetLocalPort(localPort);
    client.SetProto("tcp");
    client.SetAddr("::1");
    client.SetPort(server.listener.GetBoundPort());
    client.Connect();
    ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0"); })) << log.Text();
    EXPECT_EQ(client.GetBoundPort(), localPort);
    EXPECT_EQ(client.GetBoundAddr(), "::1");
}

// ---- the next address after a refused one ----------------------------------------------

// The listener, on `working`, is the second address of "multi.test"; nothing listens at the
// first one on the same port.
TEST(AddressFallback, ANameWhoseFirstAddressRefusesConnectsToTheNextOne) {
    struct Case {
        const char* refused;
        const char* working;
        bool viaLookup;  // LookupHost, then Addr := DnsResult (as the FTP engine does)
        bool needsIPv6;
    };
    const std::vector<Case> cases = {
        {"127.0.0.2", "127.0.0.1", false, false}, {"127.0.0.2", "127.0.0.1", true, false},
        {"::1", "127.0.0.1", true, true},         {"127.0.0.1", "::1", true, true},
        {"127.0.0.1", "::1", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.refused) + " then " + c.working +
                     (c.viaLookup ? " via lookup" : ""));
        if (c.needsIPv6 && !IPv6LoopbackAvailable()) continue;
        ScopedFakeNameService names;
        names->AddHost("multi.test", {c.refused, c.working});
        Listener server(c.working);
        TWSocket client;
        EventLog log;
        log.Attach(client);
        client.SetProto("tcp");
        client.SetPort(server.listener.GetBoundPort());
        if (c.viaLookup) {
            client.LookupHost("multi.test");
            ASSERT_TRUE(PumpUntil([&] { return log.Has("dns:0"); }));
            client.SetAddr(client.DnsResult());
        } else {
            client.SetAddr("multi.test");
        }
        client.Connect();
        ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0"); })) << log.Text();
        EXPECT_EQ(client.PeerAddr(),
                  platform::AddressText(WSocketResolveHostAddresses(c.working)[0]));
        EXPECT_EQ(log.Count("state:wsClosed>wsOpened"), 1) << log.Text();
        EXPECT_FALSE(log.Has("closed:0")) << log.Text();
        EXPECT_EQ(log.Count("connected:0"), 1);
    }
}

// A listener whose queue is full takes no more connections: a connect to it neither
// succeeds nor fails until the system gives up.
class FullListener {
  public:
    explicit FullListener(const char* address) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = platform::InetAddr(address);
        socklen_t len = sizeof(addr);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::listen(fd_, 0) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        port_ = ntohs(addr.sin_port);
        for (int& filler : fillers_) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&addr), len);
        }
    }
    ~FullListener() {
        for (int filler : fillers_)
            if (filler >= 0) ::close(filler);
        if (fd_ >= 0) ::close(fd_);
    }
    FullListener(const FullListener&) = delete;
    FullListener& operator=(const FullListener&) = delete;
    uint16_t Port() const { return port_; }

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
    int fillers_[3] = {-1, -1, -1};
};

TEST(AddressFallback, AnAddressThatDoesNotAnswerInTimeGivesWayToTheNext) {
    constexpr int kAttemptMs = 300;
    FullListener silent("127.0.0.2");
    ASSERT_NE(silent.Port(), 0);
    Listener server("127.0.0.1", std::to_string(silent.Port()));
    ASSERT_EQ(server.listener.State(), wsListening);

    ScopedFakeNameService names;
    names->AddHost("slow.test", {"127.0.0.2", "127.0.0.1"});
    TWSocket client;
    EventLog log;
    log.Attach(client);
    client.SetConnectAttemptTimeout(kAttemptMs);
    client.SetProto("tcp");
    client.SetAddr("slow.test");
    client.SetPort(std::to_string(silent.Port()));
    const uint64_t start = platform::GetTickCount();
    client.Connect();
    ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0"); })) << log.Text();
    EXPECT_GE(platform::GetTickCount() - start, static_cast<uint64_t>(kAttemptMs - 20));
    EXPECT_EQ(client.PeerAddr(), "127.0.0.1");
    EXPECT_EQ(log.Count("state:wsClosed>wsOpened"), 1) << log.Text();
}

TEST(AddressFallback, AConnectClosedWhileWaitingTriesNoFurtherAddress) {
    constexpr int kAttemptMs = 100;
    FullListener silent("127.0.0.2");
    ASSERT_NE(silent.Port(), 0);
    Listener server("127.0.0.1", std::to_string(silent.Port()));
    ScopedFakeNameService names;
    names->AddHost("slow.test", {"127.0.0.2", "127.0.0.1"});
    TWSocket client;
    EventLog log;
    log.Attach(client);
    client.SetConnectAttemptTimeout(kAttemptMs);
    client.SetProto("tcp");
    client.SetAddr("slow.test");
    client.SetPort(std::to_string(silent.Port()));
    client.Connect();
    client.Close();
    log.Clear();
    PumpFor(3 * kAttemptMs);
    EXPECT_TRUE(log.entries.empty()) << log.Text();
    EXPECT_EQ(server.conn.State(), wsClosed);
}

TEST(AddressFallback, WhenEveryAddressRefusesTheLastRefusalIsReportedOnce) {
    ScopedFakeNameService names;
    names->AddHost("nowhere.test", {"127.0.0.2", "127.0.0.3", "127.0.0.1"});
    TWSocket client;
    EventLog log;
    log.Attach(client);
    client.SetProto("tcp");
    client.SetAddr("nowhere.test");
    client.SetPort(ClosedPort());
    client.Connect();
    ASSERT_TRUE(PumpUntil([&] { return client.State() == wsClosed; })) << log.Text();
    EXPECT_EQ(log.Count("connected:10061"), 1) << log.Text();
    EXPECT_EQ(log.Count("state:wsClosed>wsOpened"), 1) << log.Text();
}

TEST(AddressFallback, AnAddressOtherThanTheLookupsFirstHasNoFallbacks) {
    ScopedFakeNameService names;
    names->AddHost("multi.test", {"127.0.0.2", "127.0.0.1"});
    Listener server("127.0.0.1");
    TWSocket client;
    EventLog log;
    log.Attach(client);
    client.LookupHost("multi.test");
    ASSERT_TRUE(PumpUntil([&] { return log.Has("dns:0"); }));
    client.SetProto("tcp");
    client.SetAddr("127.0.0.3");
    client.SetPort(server.listener.GetBoundPort());
    client.Connect();
    ASSERT_TRUE(PumpUntil([&] { return client.State() == wsClosed; })) << log.Text();
    EXPECT_TRUE(log.Has("connected:10061")) << log.Text();
}

}  // namespace
}  // namespace tarnwick::net

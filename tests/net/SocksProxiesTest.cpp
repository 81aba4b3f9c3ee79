// The SOCKS client through real proxies (microsocks, dante) to an echo server on
// 127.0.0.1: the handshake each proxy really speaks, and a byte-exact round trip after it.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/net/SocksTestKit.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/SocksProxies.h"

namespace tarnwick::net {
namespace {

using testing::DanteProxy;
using testing::MicrosocksProxy;
using testkit::PumpUntil;
using testkit::SocksClient;

constexpr size_t kRoundTripBytes = 256 * 1024;
constexpr int kRoundTripDeadlineMs = 20000;

// Accepts one connection and sends back whatever arrives on it.
struct EchoServer {
    EchoServer() {
        server.conn.OnDataAvailable = [](TCustomWSocket* s, uint16_t) {
            char buf[16384];
            int n;
            while ((n = s->Receive(buf, sizeof(buf))) > 0) s->Send(buf, n);
        };
    }
    testkit::LoopbackServer server;
};

// Connects through the proxy, sends a pattern and expects it back unchanged.
void RoundTrip(SocksClient& client, const std::string& proxyPort, const std::string& level,
               const std::string& host = "127.0.0.1") {
    EchoServer echo;
    std::vector<uint8_t> back;
    client.sock.OnDataAvailable = testkit::ReadAllInto(back);
    client.Connect(proxyPort, level, host, echo.server.PortText());
    ASSERT_TRUE(client.WaitConnected()) << client.log.Text();
    ASSERT_TRUE(client.log.Has("connected:0")) << client.log.Text();
    EXPECT_TRUE(client.log.Has("socksconnected:0"));
    EXPECT_TRUE(PumpUntil([&] { return echo.server.accepted == 1; }));
    const auto sent = testkit::Pattern(kRoundTripBytes, 7);
    ASSERT_EQ(client.sock.Send(sent.data(), static_cast<int>(sent.size())),
              static_cast<int>(sent.size()));
    ASSERT_TRUE(PumpUntil([&] { return back.size() >= sent.size(); }, kRoundTripDeadlineMs))
        << back.size() << " of " << sent.size();
    EXPECT_TRUE(back == sent);
    client.sock.Close();
}

TEST(SocksThroughMicrosocks, UserAndPasswordThenRoundTrip) {
    MicrosocksProxy proxy;
    ASSERT_TRUE(proxy.Running()) << proxy.Failure();
    SocksClient client;
    client.UseCredentials(proxy.User(), proxy.Password());
    RoundTrip(client, proxy.PortText(), "5");
    EXPECT_TRUE(client.log.IndexOf("auth:begin") < client.log.IndexOf("auth:succeeded"));
    EXPECT_LT(client.log.IndexOf("auth:succeeded"), client.log.IndexOf("connected:0"));
}

TEST(SocksThroughMicrosocks, WrongPasswordEndsWithTheSocksCodeAndClosed) {
    MicrosocksProxy proxy;
    ASSERT_TRUE(proxy.Running()) << proxy.Failure();
    EchoServer echo;
    SocksClient client;
    client.UseCredentials(proxy.User(), "not-the-password");
    client.Connect(proxy.PortText(), "5", "127.0.0.1", echo.server.PortText());
    ASSERT_TRUE(client.WaitClosed()) << client.log.Text();
    const std::vector<std::string> tail = {"sockserror:20015:socks authentication failed",
                                           "connected:20015", "state:wsConnected>wsClosed",
                                           "closed:20015"};
    const auto& e = client.log.entries;
    ASSERT_GE(e.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(e.end() - 4, e.end()), tail) << client.log.Text();
    EXPECT_EQ(echo.server.accepted, 0);
}

TEST(SocksThroughMicrosocks, NoAuthenticationWhenTheProxyAsksNone) {
    MicrosocksProxy proxy("", "");
    ASSERT_TRUE(proxy.Running()) << proxy.Failure();
    SocksClient client;
    RoundTrip(client, proxy.PortText(), "5");
}

TEST(SocksThroughMicrosocks, RefusedDestinationGivesTheProxysCode) {
    MicrosocksProxy proxy("", "");
    ASSERT_TRUE(proxy.Running()) << proxy.Failure();
    SocksClient client;
    client.Connect(proxy.PortText(), "5", "127.0.0.1", testkit::ClosedPort());
    ASSERT_TRUE(client.WaitClosed()) << client.log.Text();
    EXPECT_TRUE(client.log.Has("sockserror:20008:connection refused")) << client.log.Text();
    EXPECT_TRUE(client.log.Has("closed:20008"));
}

// microsocks reaches an IPv6 destination named by its 16 bytes: an echo server on ::1.
TEST(SocksThroughMicrosocks, AnIPv6DestinationRoundTrips) {
    if (!testing::IPv6LoopbackAvailable()) GTEST_SKIP() << "no ::1 on this machine";
    MicrosocksProxy proxy;
    ASSERT_TRUE(proxy.Running()) << proxy.Failure();
    TWSocket listener;
    TWSocket conn;
    conn.OnDataAvailable = [](TCustomWSocket* s, uint16_t) {
        char buf[16384];
        int n;
        while ((n = s->Receive(buf, sizeof(buf))) > 0) s->Send(buf, n);
    };
    listener.SetAddr("::1");
    listener.SetPort("0");
    listener.Listen();
    listener.OnSessionAvailable = [&](TCustomWSocket*, uint16_t) {
        const TSocket h = listener.Accept();
        if (h != kInvalidSocket) conn.Dup(h);
    };
    SocksClient client;
    client.UseCredentials(proxy.User(), proxy.Password());
    std::vector<uint8_t> back;
    client.sock.OnDataAvailable = testkit::ReadAllInto(back);
    client.Connect(proxy.PortText(), "5", "[::1]", listener.GetBoundPort());
    ASSERT_TRUE(client.WaitConnected()) << client.log.Text() << proxy.Log();
    ASSERT_TRUE(client.log.Has("connected:0")) << client.log.Text() << proxy.Log();
    ASSERT_TRUE(PumpUntil([&] { return conn.State() == wsConnected; }));
    EXPECT_EQ(conn.PeerAddr(), "::1");  // the proxy's leg to the server is IPv6
    const auto sent = testkit::Pattern(kRoundTripBytes, 11);
    ASSERT_EQ(client.sock.Send(sent.data(), static_cast<int>(sent.size())),
              static_cast<int>(sent.size()));
    ASSERT_TRUE(PumpUntil([&] { return back.size() >= sent.size(); }, kRoundTripDeadlineMs))
        << back.size() << " of " << sent.size();
    EXPECT_TRUE(back == sent);
}

TEST(SocksThroughDante, Socks4AndSocks5RoundTrips) {
    DanteProxy proxy;
    ASSERT_TRUE(proxy.Running()) << proxy.Failure();
    // SOCKS 5 hands even a name to the proxy, which resolves it. (This dante takes no
    // SOCKS 4A: it connects to 0.0.0.1 literally; 4A is shown against the scripted server.)
    const std::pair<const char*, const char*> cases[] = {
        {"4", "127.0.0.1"}, {"5", "127.0.0.1"}, {"5", "localhost"}};
    for (const auto& [level, host] : cases) {
        SCOPED_TRACE(std::string(level) + " " + host);
        SocksClient client;
        RoundTrip(client, proxy.PortText(), level, host);
    }
}

TEST(SocksThroughDante, Socks4RefusedDestinationIsRejected) {
    DanteProxy proxy;
    ASSERT_TRUE(proxy.Running()) << proxy.Failure();
    SocksClient client;
    client.Connect(proxy.PortText(), "4", "127.0.0.1", testkit::ClosedPort());
    ASSERT_TRUE(client.WaitClosed()) << client.log.Text();
    EXPECT_TRUE(client.log.Has("sockserror:20016:request rejected or failed"))
        << client.log.Text() << proxy.Log();
}

}  // namespace
}  // namespace tarnwick::net

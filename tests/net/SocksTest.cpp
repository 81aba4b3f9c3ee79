// The SOCKS client against a scripted SOCKS server: byte-exact requests, the replies that
// end a handshake and the events they raise, the data that comes with the reply, and the
// properties' rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/net/SocksTestKit.h"
#include "tests/support/FakeNameService.h"
#include "tests/support/ScriptedSocksServer.h"

namespace tarnwick::net {
namespace {

using testing::Bytes;
using testing::Hex;
using testing::ScopedFakeNameService;
using testing::ScriptedSocksServer;
using testkit::PumpUntil;
using testkit::SocksClient;

const std::string kSocks4Granted = Bytes({0, 90, 0, 21, 10, 0, 0, 5});
const std::string kSocks5Granted = Bytes({5, 0, 0, 1, 127, 0, 0, 1, 0, 21});

std::string Socks5Connect(const std::string& host, int port) {
    return Bytes({5, 1, 0, 3, static_cast<int>(host.size())}) + host +
           Bytes({port >> 8, port & 0xFF});
}

// ---- requests -------------------------------------------------------------------------

struct RequestCase {
    const char* name;
    const char* level;
    const char* user;      // with a password: user/password authentication asked
    const char* password;  // nullptr: no authentication asked
    const char* addr;
    const char* port;
    std::vector<std::string> requests;  // what the client must send, step by step
    std::vector<std::string> replies;   // the proxy's answer to each
    std::vector<std::string> socksEvents;
};

TEST(SocksRequests, AreByteExactAndEndConnected) {
    const std::vector<RequestCase> cases = {
        {"socks4 empty user code: 9 bytes",
         "4",
         "",
         nullptr,
         "10.0.0.5",
         "21",
         {Bytes({4, 1, 0, 21, 10, 0, 0, 5, 0})},
         {kSocks4Granted},
         {"socksconnected:0"}},
        {"socks4 with a user code",
         "4",
         "bob",
         nullptr,
         "127.0.0.1",
         "2121",
         {Bytes({4, 1, 8, 73, 127, 0, 0, 1}) + "bob" + Bytes({0})},
         {kSocks4Granted},
         {"socksconnected:0"}},
        {"socks4a names the host after 0.0.0.1",
         "4a",
         "u",
         nullptr,
         "ftp.example.org",
         "21",
         {Bytes({4, 1, 0, 21, 0, 0, 0, 1}) + "u" + Bytes({0}) + "ftp.example.org" + Bytes({0})},
         {kSocks4Granted},
         {"socksconnected:0"}},
        {"socks5 sends a dotted address as a name",
         "5",
         "",
         nullptr,
         "10.0.0.5",
         "21",
         {Bytes({5, 1, 0}), Bytes({5, 1, 0, 3, 8}) + "10.0.0.5" + Bytes({0, 0x15})},
         {Bytes({5, 0}), kSocks5Granted},
         {"socksconnected:0"}},
        {"socks5 with user and password",
         "5",
         "bob",
         "pass",
         "ftp.example.org",
         "21",
         {Bytes({5, 1, 2}), Bytes({1, 3}) + "bob" + Bytes({4}) + "pass",
          Socks5Connect("ftp.example.org", 21)},
         {Bytes({5, 2}), Bytes({1, 0}), kSocks5Granted},
         {"socksconnected:0", "auth:begin", "auth:succeeded"}},
        {"socks5 authentication skipped by the proxy",
         "5",
         "bob",
         "pass",
         "10.0.0.5",
         "21",
         {Bytes({5, 1, 2}), Socks5Connect("10.0.0.5", 21)},
         {Bytes({5, 0}), kSocks5Granted},
         {"socksconnected:0", "auth:skipped"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedFakeNameService names;  // the destination is never looked up here
        ScriptedSocksServer proxy;
        std::string all;
        for (size_t i = 0; i < c.requests.size(); ++i) {
            proxy.Expect(c.requests[i]).Send(c.replies[i]);
            all += c.requests[i];
        }
        proxy.Start();
        SocksClient client;
        if (c.password != nullptr) {
            client.UseCredentials(c.user, c.password);
        } else {
            client.sock.SetSocksUsercode(c.user);
        }
        client.Connect(proxy.PortText(), c.level, c.addr, c.port);
        ASSERT_TRUE(client.WaitConnected()) << client.log.Text();
        EXPECT_EQ(proxy.Mismatches(), std::vector<std::string>{});
        EXPECT_EQ(Hex(proxy.Received()), Hex(all));
        EXPECT_TRUE(names->Queries().empty());

        std::vector<std::string> expected = {"state:wsClosed>wsOpened",
                                             "state:wsOpened>wsConnecting",
                                             "state:wsConnecting>wsConnected"};
        expected.insert(expected.end(), c.socksEvents.begin(), c.socksEvents.end());
        expected.push_back("connected:0");
        EXPECT_EQ(client.log.entries, expected) << client.log.Text();
        EXPECT_EQ(client.sock.State(), wsConnected);
        EXPECT_EQ(client.sock.SocksState(), SocksReady);
    }
}

// ---- failures -------------------------------------------------------------------------

struct FailureCase {
    const char* name;
    const char* level;
    bool credentials;
    std::vector<size_t> reads;  // request sizes the proxy reads before each reply
    std::vector<std::string> replies;
    bool closeAfter;  // the proxy closes after its last reply
    int code;
    const char* text;
    const char* authEvent;  // an auth event right before the error, or nullptr
};

TEST(SocksFailures, EndWithTheCodeThenConnectedThenClosed) {
    const size_t k4 = 9;                                     // socks4, empty user, 10.0.0.5
    const size_t k5 = Socks5Connect("10.0.0.5", 21).size();  // 15
    const std::vector<FailureCase> cases = {
        {"socks4 91",
         "4",
         false,
         {k4},
         {Bytes({0, 91, 0, 0, 0, 0, 0, 0})},
         false,
         20016,
         "request rejected or failed",
         nullptr},
        {"socks4 92",
         "4",
         false,
         {k4},
         {Bytes({0, 92, 0, 0, 0, 0, 0, 0})},
         false,
         20008,
         "connection refused",
         nullptr},
        {"socks4 93",
         "4",
         false,
         {k4},
         {Bytes({0, 93, 0, 0, 0, 0, 0, 0})},
         false,
         20015,
         "authentification failed",
         nullptr},
        {"socks4 other code",
         "4",
         false,
         {k4},
         {Bytes({0, 99, 0, 0, 0, 0, 0, 0})},
         false,
         20012,
         "unassigned error #99",
         nullptr},
        {"socks4 wrong version",
         "4",
         false,
         {k4},
         {Bytes({4, 90, 0, 0, 0, 0, 0, 0})},
         false,
         20002,
         "socks version error",
         nullptr},
        {"socks5 method 255",
         "5",
         false,
         {3},
         {Bytes({5, 255})},
         false,
         20003,
         "authentification method not acceptable",
         nullptr},
        {"socks5 wrong version",
         "5",
         false,
         {3},
         {Bytes({4, 0})},
         false,
         20002,
         "socks version error",
         nullptr},
        {"socks5 reply 1",
         "5",
         false,
         {3, k5},
         {Bytes({5, 0}), Bytes({5, 1})},
         false,
         20004,
         "general SOCKS server failure",
         nullptr},
        {"socks5 reply 2",
         "5",
         false,
         {3, k5},
         {Bytes({5, 0}), Bytes({5, 2})},
         false,
         20005,
         "connection not allowed by ruleset",
         nullptr},
        {"socks5 reply 5",
         "5",
         false,
         {3, k5},
         {Bytes({5, 0}), Bytes({5, 5})},
         false,
         20008,
         "connection refused",
         nullptr},
        {"socks5 reply 8",
         "5",
         false,
         {3, k5},
         {Bytes({5, 0}), Bytes({5, 8})},
         false,
         20011,
         "address type not supported",
         nullptr},
        {"socks5 reply 9",
         "5",
         false,
         {3, k5},
         {Bytes({5, 0}), Bytes({5, 9})},
         false,
         20012,
         "unassigned error #9",
         nullptr},
        {"socks5 unknown bound address type",
         "5",
         false,
         {3, k5},
         {Bytes({5, 0}), Bytes({5, 0, 0, 2, 0})},
         false,
         20011,
         "address type not supported",
         nullptr},
        {"socks5 password refused",
         "5",
         true,
         {3, 7},
         {Bytes({5, 2}), Bytes({1, 1})},
         false,
         20015,
         "socks authentication failed",
         nullptr},
        {"socks5 auth reply too long",
         "5",
         true,
         {3, 7},
         {Bytes({5, 2}), Bytes({1, 0, 0})},
         false,
         20001,
         "too much data availaible",
         nullptr},
        {"socks5 auth reply wrong version",
         "5",
         true,
         {3, 7},
         {Bytes({5, 2}), Bytes({5, 0})},
         false,
         20002,
         "socks version error",
         nullptr},
        {"socks5 proxy closes during authentication",
         "5",
         true,
         {3, 7},
         {Bytes({5, 2}), ""},
         true,
         20015,
         "socks authentication failed",
         "auth:refused"},
        {"socks5 proxy closes before its connect reply",
         "5",
         false,
         {3, k5},
         {Bytes({5, 0}), ""},
         true,
         10053,
         "connection closed by socks server",
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSocksServer proxy;
        for (size_t i = 0; i < c.reads.size(); ++i) proxy.Read(c.reads[i]).Send(c.replies[i]);
        if (c.closeAfter) proxy.Close();
        proxy.Start();
        SocksClient client;
        if (c.credentials) client.UseCredentials("bob", "pass");
        client.Connect(proxy.PortText(), c.level, "10.0.0.5", "21");
        ASSERT_TRUE(client.WaitClosed()) << client.log.Text();

        const std::string code = std::to_string(c.code);
        std::vector<std::string> tail;
        if (c.authEvent != nullptr) tail.push_back(c.authEvent);
        tail.insert(tail.end(), {"sockserror:" + code + ":" + c.text, "connected:" + code,
                                 "state:wsConnected>wsClosed", "closed:" + code});
        const auto& e = client.log.entries;
        ASSERT_GE(e.size(), tail.size()) << client.log.Text();
        EXPECT_EQ(std::vector<std::string>(e.end() - static_cast<long>(tail.size()), e.end()), tail)
            << client.log.Text();
        EXPECT_EQ(client.log.Count("connected:" + code), 1);
        EXPECT_EQ(client.sock.SocksState(), SocksReady);
    }
}

TEST(SocksFailures, UnreachableProxyIsAFailedConnect) {
    SocksClient client;
    client.Connect(testkit::ClosedPort(), "5", "10.0.0.5", "21");
    ASSERT_TRUE(client.WaitClosed()) << client.log.Text();
    const std::vector<std::string> tail = {"socksconnected:10061", "connected:10061",
                                           "state:wsConnected>wsClosed", "closed:0"};
    const auto& e = client.log.entries;
    ASSERT_GE(e.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(e.end() - 4, e.end()), tail) << client.log.Text();
}

TEST(SocksFailures, Socks4DestinationNotResolvedClosesWith20017) {
    ScopedFakeNameService names;  // knows no host
    ScriptedSocksServer proxy;
    proxy.Start();
    SocksClient client;
    client.Connect(proxy.PortText(), "4", "nowhere.example", "21");
    ASSERT_TRUE(client.WaitClosed()) << client.log.Text();
    EXPECT_FALSE(client.log.Has("connected:20017"));
    ASSERT_EQ(client.log.entries.size(), 7u) << client.log.Text();
    EXPECT_EQ(client.log.entries[3], "socksconnected:0");
    EXPECT_EQ(client.log.entries[4].rfind("sockserror:20017:ESocketException ", 0), 0u)
        << client.log.entries[4];
    EXPECT_EQ(client.log.entries[5], "state:wsConnected>wsClosed");
    EXPECT_EQ(client.log.entries[6], "closed:20017");
}

// A request that would not fit the 128-byte request area is refused before it is sent.
TEST(SocksFailures, OverlongRequestsAreRefused) {
    struct Case {
        const char* name;
        const char* level;
        std::string user;
        std::string password;  // non-empty: authentication asked
        std::string host;
        size_t sentBefore;  // bytes the proxy gets before the refusal
        std::string replyFirst;
    };
    const std::vector<Case> cases = {
        {"socks5 host name of 122", "5", "", "", std::string(122, 'h'), 3, Bytes({5, 0})},
        {"socks5 user and password of 126", "5", std::string(63, 'u'), std::string(63, 'p'),
         "10.0.0.5", 3, Bytes({5, 2})},
        {"socks4 user code of 120", "4", std::string(120, 'u'), "", "10.0.0.5", 0, ""},
        {"socks4a user code and host of 119", "4A", std::string(60, 'u'), "", std::string(59, 'h'),
         0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSocksServer proxy;
        if (c.sentBefore > 0) proxy.Read(c.sentBefore).Send(c.replyFirst);
        proxy.Start();
        SocksClient client;
        if (c.password.empty()) {
            client.sock.SetSocksUsercode(c.user);
        } else {
            client.UseCredentials(c.user, c.password);
        }
        client.Connect(proxy.PortText(), c.level, c.host, "21");
        ASSERT_TRUE(client.WaitClosed()) << client.log.Text();
        EXPECT_TRUE(client.log.Has("sockserror:20014:socks request too long")) << client.log.Text();
        EXPECT_TRUE(client.log.Has("connected:20014"));
        EXPECT_TRUE(client.log.Has("closed:20014"));
        EXPECT_FALSE(client.log.Has("auth:begin"));
        ASSERT_TRUE(PumpUntil([&] { return proxy.ClientClosed(); }));
        EXPECT_EQ(proxy.Received().size(), c.sentBefore);
    }
    // The longest requests that fit still go out whole.
    ScriptedSocksServer proxy;
    const std::string host(121, 'h');
    proxy.Expect(Bytes({5, 1, 0})).Send(Bytes({5, 0})).Expect(Socks5Connect(host, 21));
    proxy.Send(kSocks5Granted);
    proxy.Start();
    SocksClient client;
    client.Connect(proxy.PortText(), "5", host, "21");
    ASSERT_TRUE(client.WaitConnected());
    EXPECT_TRUE(client.log.Has("connected:0")) << client.log.Text();
    EXPECT_EQ(proxy.Mismatches(), std::vector<std::string>{});
}

// ---- data behind the reply ------------------------------------------------------------

TEST(SocksData, BytesBehindTheSocks5ReplyComeThroughReceiveFirst) {
    ScriptedSocksServer proxy;
    proxy.Read(3).Send(Bytes({5, 0})).Read(15).Send(kSocks5Granted + "abc").Pause(100).Send("def");
    proxy.Start();
    SocksClient client;
    client.Connect(proxy.PortText(), "5", "10.0.0.5", "21");
    ASSERT_TRUE(PumpUntil([&] { return client.received == "abcdef"; })) << client.log.Text();
    const int connected = client.log.IndexOf("connected:0");
    ASSERT_GE(connected, 0);
    EXPECT_EQ(client.log.IndexOf("data:abc"), connected + 1) << client.log.Text();
    EXPECT_TRUE(client.log.Has("data:def"));
}

TEST(SocksData, ALongBoundHostNameInTheReplyIsPassedOver) {
    const std::string bound(200, 'b');
    ScriptedSocksServer proxy;
    proxy.Read(3).Send(Bytes({5, 0})).Read(15);
    proxy.Send(Bytes({5, 0, 0, 3, 200}) + bound + Bytes({0, 21}) + "xyz");
    proxy.Start();
    SocksClient client;
    client.Connect(proxy.PortText(), "5", "10.0.0.5", "21");
    ASSERT_TRUE(PumpUntil([&] { return client.received == "xyz"; })) << client.log.Text();
    EXPECT_TRUE(client.log.Has("connected:0"));
}

TEST(SocksData, ReplyInPiecesAndSendingAfterwards) {
    ScriptedSocksServer proxy;
    proxy.Read(3).Send(Bytes({5})).Pause(50).Send(Bytes({0})).Read(15);
    proxy.Send(kSocks5Granted.substr(0, 4)).Pause(50).Send(kSocks5Granted.substr(4));
    proxy.Start();
    SocksClient client;
    client.Connect(proxy.PortText(), "5", "10.0.0.5", "21");
    ASSERT_TRUE(PumpUntil([&] { return client.log.Has("connected:0"); })) << client.log.Text();
    EXPECT_EQ(client.sock.SendText("hello"), 5);
    ASSERT_TRUE(PumpUntil([&] { return proxy.Received().size() == 3 + 15 + 5; }));
    EXPECT_EQ(proxy.Received().substr(18), "hello");
}

// Whatever form the proxy names its bound address in, the reply is passed over and what
// follows it is the connection's first data.
TEST(SocksData, EveryBoundAddressFormIsPassedOver) {
    const struct {
        const char* name;
        std::string reply;
    } cases[] = {
        {"ipv4", kSocks5Granted},
        {"ipv6 (::1)", Bytes({5, 0, 0, 4}) + std::string(15, '\0') + Bytes({1, 0, 21})},
        {"host name", Bytes({5, 0, 0, 3, 4}) + "host" + Bytes({0, 21})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSocksServer proxy;
        proxy.Read(3).Send(Bytes({5, 0})).Read(15).Send(c.reply + "xyz");
        proxy.Start();
        SocksClient client;
        client.Connect(proxy.PortText(), "5", "10.0.0.5", "21");
        ASSERT_TRUE(client.WaitConnected()) << client.log.Text();
        ASSERT_TRUE(PumpUntil([&] { return client.received == "xyz"; })) << client.log.Text();
        EXPECT_TRUE(client.log.Has("connected:0")) << client.log.Text();
        EXPECT_EQ(client.sock.State(), wsConnected);
    }
}

// The bytes that came with the reply are held by the socket, not by the stack: they all
// reach Receive, before any close, however few the handler takes per call.
TEST(SocksData, BytesBehindTheReplyAllArriveWhateverTheReadSize) {
    struct Case {
        const char* name;
        int readSize;
        bool proxyCloses;
        bool noReceiveLoop;
    };
    const Case cases[] = {
        {"one byte per receive, then the proxy closes", 1, true, false},
        {"three bytes per receive, then the proxy closes", 3, true, false},
        {"one byte per receive, the connection stays", 1, false, false},
        {"one offer per notification", 1, false, true},
        {"everything in one receive, then the proxy closes", 4096, true, false},
    };
    const std::string behind = "0123456789abcdefghij";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSocksServer proxy;
        proxy.Read(3).Send(Bytes({5, 0})).Read(15).Send(kSocks5Granted + behind);
        if (c.proxyCloses) proxy.Close();
        proxy.Start();
        SocksClient client;
        if (c.noReceiveLoop) client.sock.SetComponentOptions(wsoNoReceiveLoop);
        std::string got;
        std::string gotAtClose;
        bool closed = false;
        client.sock.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
            char buf[4096];
            const int n = s->Receive(buf, c.readSize);
            if (n > 0) got.append(buf, static_cast<size_t>(n));
        };
        client.sock.OnSessionClosed = [&](TCustomWSocket*, uint16_t) {
            closed = true;
            gotAtClose = got;
        };
        client.Connect(proxy.PortText(), "5", "10.0.0.5", "21");
        if (c.proxyCloses) {
            ASSERT_TRUE(PumpUntil([&] { return closed; })) << got;
            EXPECT_EQ(gotAtClose, behind);
        } else {
            EXPECT_TRUE(PumpUntil([&] { return got == behind; }, 1000)) << got;
            EXPECT_FALSE(closed);
        }
    }
}

// ---- properties -----------------------------------------------------------------------

TEST(SocksProperties, LevelServerPortRulesAndDefaultsAfterClose) {
    TWSocket s;
    EXPECT_EQ(s.SocksLevel(), "5");
    s.SetSocksLevel("4a");
    EXPECT_EQ(s.SocksLevel(), "4A");
    EXPECT_EQ(testkit::RaisedText([&] { s.SetSocksLevel("6"); }),
              "Invalid socks level. Must be 4, 4A or 5.");
    EXPECT_EQ(s.SocksLevel(), "4A");
    s.SetSocksServer("  proxy.example  ");
    EXPECT_EQ(s.SocksServer(), "proxy.example");
    EXPECT_EQ(testkit::RaisedText([&] { s.Listen(); }),
              "Listening is not supported thru socks server");
    s.SetProto("udp");
    s.SetAddr("10.0.0.5");
    s.SetPort("21");
    EXPECT_EQ(testkit::RaisedText([&] { s.Connect(); }),
              "tcp is the only protocol supported thru socks server");

    // Open, the settings are refused; after the close the proxy is forgotten, the
    // credentials are kept.
    ScriptedSocksServer proxy;
    proxy.Read(3).Send(Bytes({5, 0})).Read(15).Send(kSocks5Granted);
    proxy.Start();
    SocksClient client;
    client.UseCredentials("bob", "pw");
    client.sock.SetSocksAuthentication(socksNoAuthentication);
    client.Connect(proxy.PortText(), "5", "10.0.0.5", "21");
    ASSERT_TRUE(client.WaitConnected());
    EXPECT_EQ(testkit::RaisedText([&] { client.sock.SetSocksLevel("4"); }),
              "Can't change socks level if not closed");
    EXPECT_EQ(testkit::RaisedText([&] { client.sock.SetSocksServer("x"); }),
              "Can't change socks server if not closed");
    EXPECT_EQ(testkit::RaisedText([&] { client.sock.SetSocksPort("1"); }),
              "Can't change socks port if not closed");
    client.sock.Close();
    EXPECT_EQ(client.sock.SocksServer(), "");
    EXPECT_EQ(client.sock.SocksPort(), "");
    EXPECT_EQ(client.sock.SocksLevel(), "5");
    EXPECT_EQ(client.sock.SocksUsercode(), "bob");
    EXPECT_EQ(client.sock.SocksPassword(), "pw");
}

// A Connect through a proxy that stops at its checks leaves no trace of the proxy: the
// next direct Connect reaches the destination.
TEST(SocksProperties, RefusedConnectDoesNotRedirectTheNextOne) {
    testkit::LoopbackServer target;
    TWSocket s;
    testkit::EventLog log;
    log.Attach(s);
    s.SetSocksServer("127.0.0.1");
    s.SetSocksPort("1");
    s.SetPort(target.PortText());
    EXPECT_EQ(testkit::RaisedText([&] { s.Connect(); }), "Connect: No IP Address Specified");
    s.SetSocksServer("");
    s.SetAddr("127.0.0.1");
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0"); })) << log.Text();
    ASSERT_TRUE(PumpUntil([&] { return target.accepted == 1; }));
}

}  // namespace
}  // namespace tarnwick::net

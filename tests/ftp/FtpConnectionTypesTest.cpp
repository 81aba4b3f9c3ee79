// The connection types: what choosing one does to passive mode and to the SOCKS settings
// of both sockets, and the control connection made through a scripted SOCKS server that
// plays the FTP server behind the handshake.
#include <algorithm>
#include <string>
#include <vector>

#include "tests/ftp/FtpTestKit.h"
#include "tests/support/FakeNameService.h"
#include "tests/support/ScriptedSocksServer.h"

namespace tarnwick::ftp {
namespace {

using tarnwick::testing::Bytes;
using tarnwick::testing::Hex;
using tarnwick::testing::ScriptedSocksServer;
using testkit::EngineFixture;
using testkit::ScriptedFtpServer;

class FtpConnectionTypes : public EngineFixture<> {};

TEST_F(FtpConnectionTypes, ChoosingATypeSetsPassiveAndBothSocketsSocksLevel) {
    struct Case {
        TFtpConnectionType type;
        bool passive;       // after SetPassive(false)
        std::string level;  // both sockets, starting from "4"
        bool usercodeAuth;  // with a user code set
    };
    const Case cases[] = {
        {ftpDirect, false, "4", false}, {ftpProxy, true, "4", false}, {ftpSocks4, true, "4", true},
        {ftpSocks4A, true, "4A", true}, {ftpSocks5, true, "5", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        TFtpClient engine;
        engine.SetSocksUserCode("joe");
        engine.SetConnectionType(ftpSocks4);
        engine.SetConnectionType(ftpDirect);
        engine.SetPassive(false);
        engine.SetConnectionType(c.type);
        EXPECT_EQ(engine.ConnectionType(), c.type);
        EXPECT_EQ(engine.Passive(), c.type != ftpDirect);
        engine.SetPassive(false);
        EXPECT_EQ(engine.Passive(), c.passive);
        engine.SetPassive(true);
        EXPECT_TRUE(engine.Passive());
        const auto auth =
            c.usercodeAuth ? net::socksAuthenticateUsercode : net::socksNoAuthentication;
        for (net::TWSocket* s : {&engine.ControlSocket(), &engine.DataSocket()}) {
            EXPECT_EQ(s->SocksLevel(), c.level);
            EXPECT_EQ(s->SocksAuthentication(), auth);
        }
    }
}

TEST_F(FtpConnectionTypes, LeavingSocksKeepsPassiveUntilItIsSetAgain) {
    ftp.SetConnectionType(ftpSocks5);
    ftp.SetConnectionType(ftpDirect);
    EXPECT_TRUE(ftp.Passive());
    ftp.SetPassive(false);
    EXPECT_FALSE(ftp.Passive());
    // A stored value outside the five types reads as direct.
    ftp.SetConnectionType(static_cast<TFtpConnectionType>(9));
    EXPECT_EQ(ftp.ConnectionType(), ftpDirect);
}

TEST_F(FtpConnectionTypes, SocksSettingsGoIntoBothSockets) {
    ftp.SetSocksServer("socks.example");
    ftp.SetSocksPort("1080");
    ftp.SetSocksUserCode("joe");
    ftp.SetSocksPassword("pw");
    ftp.SetConnectionType(ftpSocks5);
    for (net::TWSocket* s : {&ftp.ControlSocket(), &ftp.DataSocket()}) {
        EXPECT_EQ(s->SocksServer(), "socks.example");
        EXPECT_EQ(s->SocksPort(), "1080");
        EXPECT_EQ(s->SocksUsercode(), "joe");
        EXPECT_EQ(s->SocksPassword(), "pw");
        EXPECT_EQ(s->SocksAuthentication(), net::socksAuthenticateUsercode);
    }
    EXPECT_EQ(ftp.SocksServer(), "socks.example");
    EXPECT_EQ(ftp.SocksPort(), "1080");
    EXPECT_EQ(ftp.SocksUserCode(), "joe");
    EXPECT_EQ(ftp.SocksPassword(), "pw");
}

TEST_F(FtpConnectionTypes, AnFtpProxyWithoutItsOwnPortIsReachedAtPort) {
    ScriptedFtpServer proxy;
    const std::string user = "USER joe@ftp.example.com:" + proxy.PortText();
    proxy.Reply("220 Proxy ready").Expect(user).Reply("230 in");
    proxy.Start();
    ftp.SetConnectionType(ftpProxy);
    ftp.SetProxyServer("127.0.0.1");
    ftp.SetProxyPort("");
    ftp.SetHostName("ftp.example.com");
    ftp.SetPort(proxy.PortText());
    ftp.SetUserName("joe");
    ExpectRequest([&] { ftp.ConnectAsync(); }, TFtpRequest::ConnectAsync, 0);
    EXPECT_TRUE(proxy.Mismatches().empty()) << proxy.Mismatches().front();
}

// The FTP server's port behind the proxy: 2222 = 08 AE.
constexpr int kPortHigh = 0x08;
constexpr int kPortLow = 0xAE;
const std::string kGrant5 = Bytes({5, 0, 0, 1, 127, 0, 0, 1, kPortHigh, kPortLow});
const std::string kGrant4 = Bytes({0, 90, 0, 0, 0, 0, 0, 0});

TEST_F(FtpConnectionTypes, TheControlConnectionGoesThroughTheSocksServer) {
    struct Case {
        const char* name;
        TFtpConnectionType type;
        std::string user;
        std::string password;
        std::vector<std::string> handshake;  // expected, answer, expected, answer ...
    };
    const std::string connect5 =
        Bytes({5, 1, 0, 3, 9}) + "127.0.0.1" + Bytes({kPortHigh, kPortLow});
    const Case cases[] = {
        {"socks5 with user",
         ftpSocks5,
         "joe",
         "pw",
         {Bytes({5, 1, 2}), Bytes({5, 2}), Bytes({1, 3}) + "joe" + Bytes({2}) + "pw", Bytes({1, 0}),
          connect5, kGrant5}},
        {"socks5 without user",
         ftpSocks5,
         "",
         "",
         {Bytes({5, 1, 0}), Bytes({5, 0}), connect5, kGrant5}},
        {"socks4",
         ftpSocks4,
         "joe",
         "",
         {Bytes({4, 1, kPortHigh, kPortLow, 127, 0, 0, 1}) + "joe" + Bytes({0}), kGrant4}},
        {"socks4a",
         ftpSocks4A,
         "",
         "",
         {Bytes({4, 1, kPortHigh, kPortLow, 0, 0, 0, 1, 0}) + "127.0.0.1" + Bytes({0}), kGrant4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSocksServer proxy;
        for (size_t i = 0; i + 1 < c.handshake.size(); i += 2)
            proxy.Expect(c.handshake[i]).Send(c.handshake[i + 1]);
        // Behind the grant the proxy relays the FTP server: here it plays it.
        proxy.Send("220 Ready\r\n").Expect("USER u\r\n").Send("230 in\r\n");
        proxy.Start();
        ftp.SetConnectionType(c.type);
        ftp.SetSocksServer("127.0.0.1");
        ftp.SetSocksPort(proxy.PortText());
        ftp.SetSocksUserCode(c.user);
        ftp.SetSocksPassword(c.password);
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort("2222");
        ftp.SetUserName("u");
        ExpectRequest([&] { ftp.ConnectAsync(); }, TFtpRequest::ConnectAsync, 0);
        for (const auto& m : proxy.Mismatches()) ADD_FAILURE() << m;
        EXPECT_TRUE(Displayed("< 220 Ready"));
        ftp.AbortSession();
        testkit::PumpFor(20);
    }
}

// Through SOCKS 4A and 5 the server's name goes to the proxy unresolved: it may be a
// name only the proxy can resolve, and no lookup of it is made here. SOCKS 4 carries an
// address, so there the name is still looked up locally.
TEST_F(FtpConnectionTypes, TheServersNameIsResolvedByTheProxyExceptWithSocks4) {
    const std::string host = "files.inside.example";  // 20 characters
    struct Case {
        const char* name;
        TFtpConnectionType type;
        std::vector<std::string> handshake;  // expected, answer, expected, answer ...
        bool lookedUpHere;
    };
    const Case cases[] = {
        {"socks5",
         ftpSocks5,
         {Bytes({5, 1, 0}), Bytes({5, 0}),
          Bytes({5, 1, 0, 3, 20}) + host + Bytes({kPortHigh, kPortLow}), kGrant5},
         false},
        {"socks4a",
         ftpSocks4A,
         {Bytes({4, 1, kPortHigh, kPortLow, 0, 0, 0, 1, 0}) + host + Bytes({0}), kGrant4},
         false},
        {"socks4", ftpSocks4, {Bytes({4, 1, kPortHigh, kPortLow, 10, 1, 2, 3, 0}), kGrant4}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tarnwick::testing::ScopedFakeNameService names;
        if (c.lookedUpHere) names->AddHost(host, {"10.1.2.3"});
        ScriptedSocksServer proxy;
        for (size_t i = 0; i + 1 < c.handshake.size(); i += 2)
            proxy.Expect(c.handshake[i]).Send(c.handshake[i + 1]);
        proxy.Send("220 Ready\r\n").Expect("USER u\r\n").Send("230 in\r\n");
        proxy.Start();
        ftp.SetConnectionType(c.type);
        ftp.SetSocksServer("127.0.0.1");
        ftp.SetSocksPort(proxy.PortText());
        ftp.SetSocksUserCode("");
        ftp.SetSocksPassword("");
        ftp.SetHostName(host);
        ftp.SetPort("2222");
        ftp.SetUserName("u");
        ExpectRequest([&] { ftp.ConnectAsync(); }, TFtpRequest::ConnectAsync, 0);
        for (const auto& m : proxy.Mismatches()) ADD_FAILURE() << m;
        const auto queries = names->Queries();
        EXPECT_EQ(std::count(queries.begin(), queries.end(), host), c.lookedUpHere ? 1 : 0);
        ftp.AbortSession();
        testkit::PumpFor(20);
    }
}

TEST_F(FtpConnectionTypes, ARefusalOfTheSocksServerEndsTheConnectWithItsCode) {
    struct Case {
        const char* name;
        TFtpConnectionType type;
        std::vector<std::string> answers;  // each after one read of the request
        std::vector<size_t> reads;
        uint16_t error;
        std::string text;
        std::string user = "joe";
    };
    const Case cases[] = {
        {"wrong password",
         ftpSocks5,
         {Bytes({5, 2}), Bytes({1, 1})},
         {3, 9},
         20015,
         "socks authentication failed"},
        {"no acceptable method",
         ftpSocks5,
         {Bytes({5, 255})},
         {3},
         20003,
         "authentification method not acceptable"},
        {"socks4 rejected",
         ftpSocks4,
         {Bytes({0, 91, 0, 0, 0, 0, 0, 0})},
         {12},
         20016,
         "request rejected or failed"},
        // A request that would outgrow the 128-byte area is never sent.
        {"user code too long",
         ftpSocks4,
         {},
         {},
         20014,
         "socks request too long",
         std::string(120, 'u')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSocksServer proxy;
        for (size_t i = 0; i < c.answers.size(); ++i) proxy.Read(c.reads[i]).Send(c.answers[i]);
        proxy.Start();
        ftp.SetConnectionType(c.type);
        ftp.SetSocksServer("127.0.0.1");
        ftp.SetSocksPort(proxy.PortText());
        ftp.SetSocksUserCode(c.user);
        ftp.SetSocksPassword("bad");
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort("2222");
        ftp.SetUserName("u");
        ExpectRequest([&] { ftp.ConnectAsync(); }, TFtpRequest::ConnectAsync, c.error);
        EXPECT_EQ(ftp.ErrorMessage(),
                  "500 " + c.text + " (SOCKS error #" + std::to_string(c.error) + ")");
        EXPECT_FALSE(ftp.Connected());
        EXPECT_EQ(ftp.State(), esReady);
        EXPECT_TRUE(testkit::PumpUntil([&] { return proxy.ClientClosed(); }));
    }
}

}  // namespace
}  // namespace tarnwick::ftp

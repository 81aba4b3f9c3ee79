// SOCKS and IPv6 destinations against a scripted SOCKS server: SOCKS 5 sends an IPv6
// address as its 16 bytes (address type 4); SOCKS 4 and 4A refuse one before the proxy is
// reached at all.
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
using testkit::PumpFor;
using testkit::RaisedText;
using testkit::SocksClient;

const std::string kLoopback6 = Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
const std::string kDocumentation6 =
    Bytes({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34});

TEST(SocksIPv6, Socks5SendsAnIPv6DestinationAsSixteenBytes) {
    struct Case {
        const char* addr;
        const char* port;
        std::string address;  // the 16 bytes on the wire
        std::string portBytes;
        std::string reply;  // the proxy's grant (bound address of either family)
    };
    const std::vector<Case> cases = {
        {"::1", "21", kLoopback6, Bytes({0, 21}),
         Bytes({5, 0, 0, 4}) + kLoopback6 + Bytes({0x9c, 0x40})},
        {"[::1]", "2121", kLoopback6, Bytes({0x08, 0x49}),
         Bytes({5, 0, 0, 1, 127, 0, 0, 1, 0, 21})},
        {"[2001:DB8::1234]", "21", kDocumentation6, Bytes({0, 21}),
         Bytes({5, 0, 0, 4}) + kDocumentation6 + Bytes({0, 21})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.addr);
        ScopedFakeNameService names;  // nothing is looked up on this side
        ScriptedSocksServer proxy;
        const std::string request = Bytes({5, 1, 0, 4}) + c.address + c.portBytes;
        proxy.Expect(Bytes({5, 1, 0})).Send(Bytes({5, 0})).Expect(request).Send(c.reply);
        proxy.Start();
        SocksClient client;
        client.Connect(proxy.PortText(), "5", c.addr, c.port);
        ASSERT_TRUE(client.WaitConnected()) << client.log.Text();
        EXPECT_TRUE(client.log.Has("connected:0")) << client.log.Text();
        EXPECT_EQ(proxy.Mismatches(), std::vector<std::string>{});
        EXPECT_EQ(Hex(proxy.Received()), Hex(Bytes({5, 1, 0}) + request));
        EXPECT_TRUE(names->Queries().empty());
        EXPECT_EQ(client.sock.SocksState(), SocksReady);
    }
}

TEST(SocksIPv6, Socks4And4ARefuseAnIPv6DestinationBeforeReachingTheProxy) {
    struct Case {
        const char* level;
        const char* addr;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"4", "::1", "SOCKS 4 cannot reach an IPv6 address"},
        {"4", "[2001:db8::1]", "SOCKS 4 cannot reach an IPv6 address"},
        {"4a", "[::1]", "SOCKS 4A cannot reach an IPv6 address"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.level) + " " + c.addr);
        ScriptedSocksServer proxy;
        proxy.Start();
        SocksClient client;
        EXPECT_EQ(RaisedText([&] { client.Connect(proxy.PortText(), c.level, c.addr, "21"); }),
                  c.text);
        EXPECT_EQ(client.sock.State(), wsClosed);
        EXPECT_EQ(client.sock.HSocket(), kInvalidSocket);
        PumpFor(50);
        EXPECT_TRUE(client.log.entries.empty()) << client.log.Text();
        EXPECT_EQ(proxy.Received(), "");

        // Through OnError the refusal is the error's text, and nothing is raised.
        SocksClient quiet;
        quiet.sock.OnError = [&](TCustomWSocket*) { quiet.log.Add("error"); };
        quiet.Connect(proxy.PortText(), c.level, c.addr, "21");
        EXPECT_EQ(quiet.sock.LastErrorMessage(), c.text);
        EXPECT_EQ(quiet.log.entries, std::vector<std::string>{"error"});
    }
}

// The FTP engine looks the server up itself for SOCKS 4 and connects to the first result:
// when that is an IPv6 address, an IPv4 address of the same lookup goes to the proxy.
TEST(SocksIPv6, Socks4TakesAnIPv4AddressOfTheLookupWhenItsFirstIsIPv6) {
    ScopedFakeNameService names;
    names->AddHost("dual.test", {"::1", "10.0.0.5"});
    ScriptedSocksServer proxy;
    proxy.Expect(Bytes({4, 1, 0, 21, 10, 0, 0, 5, 0})).Send(Bytes({0, 90, 0, 21, 10, 0, 0, 5}));
    proxy.Start();
    SocksClient client;
    client.sock.LookupHost("dual.test");
    ASSERT_TRUE(testkit::PumpUntil([&] { return client.log.Has("dns:0"); }));
    ASSERT_EQ(client.sock.DnsResult(), "::1");
    client.Connect(proxy.PortText(), "4", client.sock.DnsResult(), "21");
    ASSERT_TRUE(client.WaitConnected()) << client.log.Text();
    EXPECT_TRUE(client.log.Has("connected:0")) << client.log.Text();
    EXPECT_EQ(proxy.Mismatches(), std::vector<std::string>{});

    names->AddHost("v6only.test", {"::1", "2001:db8::1"});
    SocksClient v6only;
    v6only.sock.LookupHost("v6only.test");
    ASSERT_TRUE(testkit::PumpUntil([&] { return v6only.log.Has("dns:0"); }));
    EXPECT_EQ(RaisedText([&] { v6only.Connect(proxy.PortText(), "4", "::1", "21"); }),
              "SOCKS 4 cannot reach an IPv6 address");
}

}  // namespace
}  // namespace tarnwick::net

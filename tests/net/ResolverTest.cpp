#include "net/Resolver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

#include "net/SocketErrors.h"
#include "tests/net/SocketTestKit.h"
#include "tests/support/FakeNameService.h"

namespace tarnwick::net {
namespace {

using tarnwick::testing::ScopedFakeNameService;
using testkit::RaisedText;

TEST(Resolver, IsDottedQuad) {
    const struct {
        const char* text;
        bool dotted;
    } cases[] = {
        {"1.2.3.4", true},
        {" 10.1.2.3 ", true},
        {"255.255.255.255", true},
        {"0.0.0.0", true},
        {"256.1.1.1", false},
        {"1.2.3", false},
        {"1.2.3.256", false},
        {".1.2.3", false},
        {"1.2.3.", false},
        {"1..2.3", false},
        {"1.2.3.4.5", false},
        {"", false},
        {"   ", false},
        {"1.2.3.4x", false},
        {"a.b.c.d", false},
        {"1.2.3.4 5", false},
        {"99999999999.1.1.1", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsDottedQuad(c.text), c.dotted) << "'" << c.text << "'";
}

TEST(Resolver, LeadingNumber) {
    EXPECT_EQ(LeadingNumber("21x"), 21);
    EXPECT_EQ(LeadingNumber("  42"), 42);
    EXPECT_EQ(LeadingNumber("x1"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("-5"), 0);
}

TEST(Resolver, DottedAddressesNeverReachTheNameService) {
    ScopedFakeNameService names;
    EXPECT_EQ(WSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(WSocketResolveHost(" 10.1.2.3 "), inet_addr("10.1.2.3"));
    EXPECT_TRUE(names->Queries().empty());
    EXPECT_EQ(RaisedText([] { WSocketResolveHost("09.1.1.1"); }),
              "WSocketResolveHost: '09.1.1.1' Invalid IP address.");
}

TEST(Resolver, EverythingElseGoesToTheNameService) {
    ScopedFakeNameService names;
    names->AddHost("ftp.example.test", {"10.0.0.5", "10.0.0.6"});
    names->AddHost("1.2.3", {"1.2.0.3"});
    EXPECT_EQ(WSocketResolveHost("ftp.example.test"), inet_addr("10.0.0.5"));
    EXPECT_EQ(WSocketResolveHost("1.2.3"), inet_addr("1.2.0.3"));
    EXPECT_EQ(RaisedText([] { WSocketResolveHost("256.1.1.1"); }),
              "WSocketResolveHost: Cannot convert host address '256.1.1.1', Error #11001");
    EXPECT_EQ(names->Queries(),
              (std::vector<std::string>{"ftp.example.test", "1.2.3", "256.1.1.1"}));
}

TEST(Resolver, HostTextLimits) {
    EXPECT_EQ(RaisedText([] { WSocketResolveHost(""); }),
              "WSocketResolveHost: '' Invalid Hostname.");
    const std::string tooLong(257, 'a');
    EXPECT_EQ(RaisedText([&] { WSocketResolveHost(tooLong); }),
              "WSocketResolveHost: '" + tooLong + "' Invalid Hostname.");
}

TEST(Resolver, Ports) {
    EXPECT_EQ(WSocketResolvePort("21", "tcp"), 21);
    EXPECT_EQ(WSocketResolvePort("21x", "tcp"), 21);
    EXPECT_EQ(WSocketResolvePort("ftp", "tcp"), 21);
    EXPECT_EQ(WSocketResolvePort("ftp", ""), 21);
    EXPECT_EQ(RaisedText([] { WSocketResolvePort("", "tcp"); }),
              "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(RaisedText([] { WSocketResolvePort(std::string(32, '1'), "tcp"); }),
              "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(RaisedText([] { WSocketResolvePort("nosuchservice", "tcp"); }),
              "WSocketResolvePort: Cannot convert port 'nosuchservice', Error #11004");
}

TEST(Resolver, Protocols) {
    EXPECT_EQ(WSocketResolveProto("tcp"), 6);
    EXPECT_EQ(WSocketResolveProto(" udp "), 17);
    EXPECT_EQ(WSocketResolveProto("6"), 6);
    EXPECT_EQ(RaisedText([] { WSocketResolveProto(""); }),
              "WSocketResolveProto: Invalid Protocol.");
    EXPECT_EQ(RaisedText([] { WSocketResolveProto("bogus"); }),
              "WSocketResolveProto: Cannot convert protocol 'bogus', Error #11004");
}

TEST(SocketErrors, WinsockErrorText) {
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {0, "No Error"},
        {10004, "Interrupted system call"},
        {10035, "Operation would block"},
        {10047, "Address family not supported by protocol family"},
        {10054, "Connection reset by peer"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references: can't splice"},
        {10061, "Connection refused"},
        {10069, "Disc quota exceeded"},
        {10092, "WinSock DLL cannot support this application"},
        {11001, "Host not found"},
        {11004, "No Data"},
        {10001, "Not a WinSock error"},
        {-1, "Not a WinSock error"},
        {13028, "Not a WinSock error"},
    };
    for (const auto& c : cases) EXPECT_EQ(WinsockErrorText(c.code), c.text) << c.code;
}

}  // namespace
}  // namespace tarnwick::net

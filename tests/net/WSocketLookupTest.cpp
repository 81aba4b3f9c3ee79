// Asynchronous lookups of a socket, against a name service that answers from a table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/WSocket.h"
#include "tests/net/SocketTestKit.h"
#include "tests/support/FakeNameService.h"

namespace tarnwick::net {
namespace {

using namespace testkit;
using tarnwick::testing::ScopedFakeNameService;

TEST(WSocketLookup, DottedAddressCompletesInsideTheCall) {
    TWSocket s;
    EventLog log;
    log.Attach(s);
    s.LookupHost("192.168.0.1");
    EXPECT_EQ(log.entries, (std::vector<std::string>{"dns:0"}));
    EXPECT_EQ(s.DnsResult(), "192.168.0.1");
    EXPECT_TRUE(s.DnsResultList().empty());
}

TEST(WSocketLookup, AHandlerMayConnectFromTheCompletion) {
    LoopbackServer server;
    TWSocket s;
    EventLog log;
    log.Attach(s);
    s.OnDnsLookupDone = [&](TCustomWSocket* sock, uint16_t error) {
        log.Add("dns:" + std::to_string(error));
        sock->SetAddr(sock->DnsResult());
        sock->SetPort(server.PortText());
        sock->Connect();
    };
    s.LookupHost("127.0.0.1");
    ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0"); }));
    EXPECT_EQ(log.entries.front(), "dns:0");
}

TEST(WSocketLookup, NameLookupCompletesLaterWithEveryAddress) {
    ScopedFakeNameService names;
    names->AddHost("ftp.example.test", {"10.0.0.5", "10.0.0.6"});
    TWSocket s;
    EventLog log;
    log.Attach(s);
    s.LookupHost("ftp.example.test");
    EXPECT_TRUE(log.entries.empty());
    ASSERT_TRUE(PumpUntil([&] { return log.Has("dns:0"); }));
    EXPECT_EQ(s.DnsResult(), "10.0.0.5");
    EXPECT_EQ(s.DnsResultList(), (std::vector<std::string>{"10.0.0.5", "10.0.0.6"}));
}

TEST(WSocketLookup, UnknownHostGivesHostNotFoundAndEmptyResults) {
    ScopedFakeNameService names;
    TWSocket s;
    EventLog log;
    log.Attach(s);
    s.LookupHost("nowhere.example.test");
    ASSERT_TRUE(PumpUntil([&] { return !log.entries.empty(); }));
    EXPECT_EQ(log.entries, (std::vector<std::string>{"dns:11001"}));
    EXPECT_EQ(s.DnsResult(), "");
    EXPECT_TRUE(s.DnsResultList().empty());
}

TEST(WSocketLookup, AReplacedLookupsCompletionIsIgnored) {
    ScopedFakeNameService names;
    names->AddHost("first.example.test", {"10.1.1.1"});
    names->AddHost("second.example.test", {"10.2.2.2"});
    names->Hold("first.example.test");
    TWSocket s;
    EventLog log;
    log.Attach(s);
    s.LookupHost("first.example.test");
    ASSERT_TRUE(PumpUntil([&] { return names->Queries().size() == 1; }));
    s.LookupHost("second.example.test");  // replaces the first, without an event for it
    ASSERT_TRUE(PumpUntil([&] { return log.Has("dns:0"); }));
    names->Release("first.example.test");
    PumpFor(100);
    EXPECT_EQ(log.entries, (std::vector<std::string>{"dns:0"}));
    EXPECT_EQ(s.DnsResult(), "10.2.2.2");
}

TEST(WSocketLookup, CancelReportsInterruptedAndTheLateAnswerIsIgnored) {
    ScopedFakeNameService names;
    names->AddHost("slow.example.test", {"10.3.3.3"});
    names->Hold("slow.example.test");
    TWSocket s;
    EventLog log;
    log.Attach(s);
    s.LookupHost("slow.example.test");
    // Cancelled while the query runs; its answer comes afterwards.
    ASSERT_TRUE(PumpUntil([&] { return names->Queries().size() == 1; }));
    s.CancelLookup();
    EXPECT_EQ(log.entries, (std::vector<std::string>{"dns:10004"}));
    s.CancelLookup();  // nothing pending: nothing happens
    names->Release("slow.example.test");
    PumpFor(100);
    EXPECT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(s.DnsResult(), "");
}

TEST(WSocketLookup, DestroyingTheSocketCancelsWithoutAnEvent) {
    ScopedFakeNameService names;
    names->Hold("gone.example.test");
    EventLog log;
    {
        TWSocket s;
        log.Attach(s);
        s.LookupHost("gone.example.test");
    }
    names->Release("gone.example.test");
    PumpFor(50);
    EXPECT_TRUE(log.entries.empty());
}

TEST(WSocketLookup, EmptyNameIsRefused) {
    TWSocket s;
    EventLog log;
    log.Attach(s);
    s.OnError = [&](TCustomWSocket*) { log.Add("error"); };
    s.LookupHost("  ");
    EXPECT_EQ(log.entries, (std::vector<std::string>{"error", "dns:10022"}));
    EXPECT_EQ(s.LastErrorMessage(), "DNS lookup: invalid host name.");
}

TEST(WSocketLookup, AddressLookupGivesTheHostName) {
    ScopedFakeNameService names;
    names->AddReverse("10.9.8.7", "files.example.test");
    TWSocket s;
    EventLog log;
    log.Attach(s);
    s.LookupAddress("10.9.8.7");
    ASSERT_TRUE(PumpUntil([&] { return log.Has("dns:0"); }));
    EXPECT_EQ(s.DnsResult(), "files.example.test");
    EXPECT_EQ(s.DnsResultList(), (std::vector<std::string>{"files.example.test"}));
}

TEST(WSocketLookup, AbortCancelsAPendingLookup) {
    ScopedFakeNameService names;
    names->Hold("held.example.test");
    TWSocket s;
    EventLog log;
    log.Attach(s);
    s.LookupHost("held.example.test");
    s.Abort();
    EXPECT_EQ(log.entries, (std::vector<std::string>{"dns:10004"}));
    names->Release("held.example.test");
    PumpFor(50);
    EXPECT_EQ(log.entries.size(), 1u);
}

}  // namespace
}  // namespace tarnwick::net

// Property rules and bad input: every misuse gives its fixed text and nothing crashes.
#include <gtest/gtest.h>

#include <string>

#include "net/WSocket.h"
#include "tests/net/SocketTestKit.h"

namespace tarnwick::net {
namespace {

using namespace testkit;

// The text an operation raises (without OnError), or "" when it raises nothing.

struct ListeningSocket {
    TWSocket s;
    ListeningSocket() {
        s.SetAddr("127.0.0.1");
        s.SetPort("0");
        s.Listen();
    }
};

TEST(WSocketProperties, SettersWhileOpenReportAndKeepTheOldValue) {
    ListeningSocket open;
    TWSocket& s = open.s;
    ASSERT_EQ(s.State(), wsListening);
    const struct {
        const char* expected;
        std::function<void()> set;
        std::function<std::string()> get;
        std::string old;
    } cases[] = {
        {"Cannot change Addr if not closed", [&] { s.SetAddr("10.0.0.1"); },
         [&] { return s.Addr(); }, "127.0.0.1"},
        {"Cannot change Port if not closed", [&] { s.SetPort("21"); }, [&] { return s.Port(); },
         "0"},
        {"Cannot change Proto if not closed", [&] { s.SetProto("udp"); }, [&] { return s.Proto(); },
         "tcp"},
        {"Cannot change LocalPort if not closed", [&] { s.SetLocalPort("2000"); },
         [&] { return s.LocalPort(); }, "0"},
        {"Cannot change LocalAddr if not closed", [&] { s.SetLocalAddr("127.0.0.1"); },
         [&] { return s.LocalAddr(); }, "0.0.0.0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RaisedText(c.set), c.expected);
        EXPECT_EQ(c.get(), c.old) << c.expected;
    }
    // With OnError assigned the report goes there and the call returns.
    int errors = 0;
    s.OnError = [&](TCustomWSocket*) { ++errors; };
    for (const auto& c : cases) {
        EXPECT_EQ(RaisedText(c.set), "");
        EXPECT_EQ(c.get(), c.old);
        EXPECT_EQ(s.LastErrorMessage(), c.expected);
    }
    EXPECT_EQ(errors, 5);
    // The same Addr text again is no change at all.
    EXPECT_EQ(RaisedText([&] { s.SetAddr("127.0.0.1"); }), "");
    EXPECT_EQ(errors, 5);
}

TEST(WSocketProperties, AddrAndPortAreTrimmedAndMustBeAssignedAgainAfterAClose) {
    LoopbackServer server;
    TWSocket s;
    s.SetAddr("  127.0.0.1 ");
    s.SetPort(" " + server.PortText() + " ");
    EXPECT_EQ(s.Addr(), "127.0.0.1");
    EXPECT_EQ(s.Port(), server.PortText());
    s.Connect();
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
    s.Close();
    EXPECT_EQ(s.Port(), server.PortText());  // the text stays ...
    EXPECT_EQ(RaisedText([&] { s.Connect(); }),
              "Connect: No Port Specified");  // ... but is not assigned
    s.SetPort(server.PortText());
    EXPECT_EQ(RaisedText([&] { s.Connect(); }), "Connect: No IP Address Specified");
    s.SetAddr("127.0.0.1");
    s.SetProto("");
    EXPECT_EQ(RaisedText([&] { s.Connect(); }), "Connect: No Protocol Specified");
    s.SetProto("tcp");
    EXPECT_EQ(RaisedText([&] { s.Connect(); }), "");
    EXPECT_EQ(RaisedText([&] { s.Connect(); }), "Connect: Socket already in use");
}

TEST(WSocketProperties, LocalAddrTakesOnlyNumericAddresses) {
    TWSocket s;
    s.SetLocalAddr("");
    EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
    s.SetLocalAddr("127.000.0.1");
    EXPECT_EQ(s.LocalAddr(), "127.0.0.1");  // stored in canonical form
    EXPECT_EQ(RaisedText([&] { s.SetLocalAddr("localhost"); }),
              "SetLocalAddr(): Invalid IP address");
    EXPECT_EQ(s.LocalAddr(), "127.0.0.1");
    s.OnError = [](TCustomWSocket*) {};
    s.SetLocalAddr("not an address");
    EXPECT_EQ(s.LocalAddr(), "255.255.255.255");
}

TEST(WSocketProperties, SendFlagsAndDefaultsAfterClose) {
    TWSocket s;
    s.SetSendFlags(wsSendUrgent);
    EXPECT_EQ(s.SendFlags(), wsSendUrgent);
    EXPECT_EQ(RaisedText([&] { s.SetSendFlags(static_cast<TSocketSendFlags>(7)); }),
              "Invalid SendFlags");
    EXPECT_EQ(s.SendFlags(), wsSendUrgent);

    LoopbackServer server;
    s.SetLocalAddr("127.0.0.1");
    s.SetLingerOnOff(wsLingerOff);
    s.SetLingerTimeout(10);
    ConnectTo(s, server.PortText());
    EXPECT_NE(s.LocalPort(), "0");  // the port the system chose for the local bind
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
    s.Close();
    EXPECT_EQ(s.Proto(), "tcp");
    EXPECT_EQ(s.LocalPort(), "0");
    EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
    EXPECT_EQ(s.LingerOnOff(), wsLingerOn);
    EXPECT_EQ(s.LingerTimeout(), 0);
}

TEST(WSocketProperties, ResolutionFailuresInConnectAndListen) {
    TWSocket s;
    s.SetAddr("127.0.0.1");
    s.SetPort("21");
    s.SetProto("nosuchproto");
    EXPECT_EQ(RaisedText([&] { s.Connect(); }),
              "connect: WSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #11004");
    s.SetProto("tcp");
    s.SetPort("nosuchservice");
    EXPECT_EQ(RaisedText([&] { s.Listen(); }),
              "listen: WSocketResolvePort: Cannot convert port 'nosuchservice', Error #11004");
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocketProperties, ListenPreconditionsAndABusyPort) {
    TWSocket s;
    EXPECT_EQ(RaisedText([&] { s.Listen(); }),
              "Error 10022 in function listen: port not assigned\r\nInvalid argument");
    s.SetPort("0");
    EXPECT_EQ(RaisedText([&] { s.Listen(); }),
              "Error 10022 in function listen: address not assigned\r\nInvalid argument");
    s.SetProto("");
    EXPECT_EQ(RaisedText([&] { s.Listen(); }),
              "Error 10022 in function listen: protocol not assigned\r\nInvalid argument");

    ListeningSocket busy;
    TWSocket second;
    second.SetAddr("127.0.0.1");
    second.SetPort(busy.s.GetBoundPort());
    EXPECT_EQ(RaisedText([&] { second.Listen(); }),
              "Error 10048 in function Bind\r\nAddress already in use");
    EXPECT_EQ(second.State(), wsClosed);
    EXPECT_EQ(second.HSocket(), kInvalidSocket);  // nothing left open
}

TEST(WSocketProperties, DupAndAcceptRefuseBadInput) {
    TWSocket s;
    EXPECT_EQ(RaisedText([&] { s.Dup(kInvalidSocket); }),
              "Error 10022 in function Dup\r\nInvalid argument");
    EXPECT_EQ(RaisedText([&] { s.Dup(0); }), "Error 10022 in function Dup\r\nInvalid argument");
    EXPECT_EQ(RaisedText([&] { s.Accept(); }),
              "Error 10022 in function not a listening socket\r\nInvalid argument");
    s.OnError = [](TCustomWSocket*) {};
    s.Dup(kInvalidSocket);
    EXPECT_EQ(s.LastError(), 10022);
    EXPECT_EQ(s.Accept(), kInvalidSocket);
    EXPECT_EQ(s.LastError(), 10022);
    EXPECT_EQ(s.State(), wsClosed);
    // A handle that was never a socket handle: adopting it fails cleanly.
    s.Dup(0x12345678ABCDull);
    EXPECT_NE(s.State(), wsConnected);
}

TEST(WSocketProperties, OperationsOnAClosedSocketNeverCrash) {
    TWSocket s;
    int errors = 0;
    s.OnError = [&](TCustomWSocket*) { ++errors; };
    char buf[16];
    EXPECT_EQ(s.Receive(buf, sizeof(buf)), -1);
    EXPECT_EQ(s.LastError(), 10038);
    EXPECT_EQ(s.Send("x", 1), -1);
    EXPECT_EQ(s.LastError(), 10057);
    EXPECT_EQ(s.LastErrorMessage(), "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(s.ReceiveText(), "");
    EXPECT_EQ(s.RcvdCount(), -1);
    EXPECT_EQ(s.PeerAddr(), "error");
    EXPECT_EQ(s.PeerPort(), "error");
    EXPECT_EQ(s.GetBoundPort(), "error");
    sockaddr_in a{};
    int len = sizeof(a);
    EXPECT_EQ(s.GetPeerSockAddr(a, len), -1);
    EXPECT_EQ(s.GetSockName(a, len), -1);
    s.Shutdown(2);
    s.Close();
    s.Abort();
    s.Flush();
    s.WaitUntilClosed();
    s.SuspendEvents();
    s.ResumeEvents();
    s.CancelLookup();
    s.PostClose();
    PumpFor(10);
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_GE(errors, 3);

    TWSocket raising;  // without OnError the misuse raises, with the same texts
    EXPECT_EQ(RaisedText([&] { raising.Send("x", 1); }),
              "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(RaisedText([&] { raising.RcvdCount(); }),
              "Error 10038 in function ioctlSocket\r\nSocket operation on non-socket");
    EXPECT_EQ(RaisedText([&] { raising.ApplyLinger(); }), "Cannot set linger option at this time");
}

TEST(WSocketProperties, PeerAndBoundPortOfAListeningSocket) {
    ListeningSocket open;
    EXPECT_EQ(open.s.PeerAddr(), "error");
    EXPECT_NE(open.s.GetBoundPort(), "error");
    EXPECT_NE(open.s.GetBoundPort(), "0");
}

TEST(WSocketDatagram, ListenAndConnectOverUdp) {
    TWSocket receiver;
    EventLog log;
    log.Attach(receiver);
    receiver.SetProto("udp");
    receiver.SetAddr("127.0.0.1");
    receiver.SetPort("0");
    receiver.Listen();
    EXPECT_EQ(log.entries,
              (std::vector<std::string>{"state:wsClosed>wsBound", "state:wsBound>wsListening",
                                        "state:wsListening>wsConnected", "connected:0"}));
    std::string got;
    std::string from;
    receiver.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        char buf[64];
        sockaddr_in src{};
        int len = sizeof(src);
        const int n = s->ReceiveFrom(buf, sizeof(buf), src, len);
        if (n > 0) {
            got.append(buf, static_cast<size_t>(n));
            from = platform::InetNtoa(src.sin_addr.s_addr);
        }
    };

    TWSocket sender;
    EventLog senderLog;
    senderLog.Attach(sender);
    sender.SetProto("udp");
    sender.SetAddr("127.0.0.1");
    sender.SetPort(receiver.GetBoundPort());
    sender.Connect();
    EXPECT_EQ(sender.State(), wsConnected);
    EXPECT_TRUE(senderLog.Has("connected:0"));  // at once, inside Connect
    EXPECT_EQ(sender.SendText("datagram"), 8);
    ASSERT_TRUE(PumpUntil([&] { return got == "datagram"; }));
    EXPECT_EQ(from, "127.0.0.1");
}

}  // namespace
}  // namespace tarnwick::net

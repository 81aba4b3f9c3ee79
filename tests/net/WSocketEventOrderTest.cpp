// The event orders the FTP engine relies on, over real loopback connections.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "net/WSocket.h"
#include "platform/SocketNotifier.h"
#include "tests/net/SocketTestKit.h"

namespace tarnwick::net {
namespace {

using namespace testkit;

TEST(WSocketEventOrder, SuccessfulConnect) {
    LoopbackServer server;
    TWSocket client;
    EventLog log;
    log.Attach(client);
    ConnectTo(client, server.PortText());
    EXPECT_EQ(log.entries,
              (std::vector<std::string>{"state:wsClosed>wsOpened", "state:wsOpened>wsConnecting"}));
    EXPECT_EQ(client.State(), wsConnecting);
    ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0"); }));
    ASSERT_GE(log.entries.size(), 4u);
    EXPECT_EQ(log.entries[2], "state:wsConnecting>wsConnected");
    EXPECT_EQ(log.entries[3], "connected:0");
    EXPECT_EQ(client.State(), wsConnected);
    EXPECT_EQ(client.PeerAddr(), "127.0.0.1");
    EXPECT_EQ(client.PeerPort(), server.PortText());
    ASSERT_TRUE(PumpUntil([&] { return server.accepted == 1; }));
}

TEST(WSocketEventOrder, RefusedConnect) {
    TWSocket client;
    EventLog log;
    log.Attach(client);
    ConnectTo(client, ClosedPort());
    ASSERT_TRUE(PumpUntil([&] { return log.Has("closed:0"); }));
    PumpFor(50);
    EXPECT_EQ(log.entries,
              (std::vector<std::string>{"state:wsClosed>wsOpened", "state:wsOpened>wsConnecting",
                                        "state:wsConnecting>wsConnected", "connected:10061",
                                        "state:wsConnected>wsClosed", "closed:0"}));
    EXPECT_EQ(client.State(), wsClosed);
}

TEST(WSocketEventOrder, PeerCloseOffersUnreadDataFirstAndClosesOnce) {
    LoopbackServer server;
    server.conn.SetLingerOnOff(wsLingerOff);  // a graceful close, nothing lost in flight
    TWSocket client;
    EventLog log;
    log.Attach(client);
    std::string received;
    client.OnDataAvailable = [&](TCustomWSocket* s, uint16_t e) {
        char buf[4096];
        const int n = s->Receive(buf, sizeof(buf));
        log.Add("data:" + std::to_string(e) + ":" + std::to_string(n) + ":" +
                StateName(s->State()));
        if (n > 0) received.append(buf, static_cast<size_t>(n));
    };
    ConnectTo(client, server.PortText());
    ASSERT_TRUE(PumpUntil([&] { return server.accepted == 1 && log.Has("connected:0"); }));

    const std::string payload(100000, 'p');
    // Suspend the client so that the data and the close are both waiting when it looks.
    client.SuspendEvents();
    server.conn.SendText(payload);
    server.conn.Flush();
    server.conn.Close();
    PumpFor(50);
    client.ResumeEvents();
    ASSERT_TRUE(PumpUntil([&] { return log.Has("closed:0"); }));
    PumpFor(50);

    EXPECT_EQ(received, payload);
    const int closedAt = log.IndexOf("closed:0");
    const int stateAt = log.IndexOf("state:wsConnected>wsClosed");
    ASSERT_GE(stateAt, 0) << log.Text();
    EXPECT_LT(closedAt, stateAt) << "OnSessionClosed comes while the state is still open";
    EXPECT_EQ(log.Count("closed:0"), 1);
    for (size_t i = 0; i < log.entries.size(); ++i) {
        if (log.entries[i].rfind("data:", 0) == 0) {
            EXPECT_LT(static_cast<int>(i), closedAt) << log.Text();
            EXPECT_NE(log.entries[i].find(":wsConnected"), std::string::npos) << log.entries[i];
        }
    }
    EXPECT_EQ(client.State(), wsClosed);
}

TEST(WSocketEventOrder, LocalCloseFromInsideAHandler) {
    LoopbackServer server;
    TWSocket client;
    EventLog log;
    log.Attach(client);
    client.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        log.Add("data");
        s->Close();
        log.Add("after-close");
    };
    ConnectTo(client, server.PortText());
    ASSERT_TRUE(PumpUntil([&] { return server.accepted == 1 && log.Has("connected:0"); }));
    log.Clear();
    server.conn.SendText("hello");
    ASSERT_TRUE(PumpUntil([&] { return log.Has("after-close"); }));
    PumpFor(80);  // the peer's reaction must not raise anything more
    EXPECT_EQ(log.entries, (std::vector<std::string>{"data", "state:wsConnected>wsClosed",
                                                     "closed:0", "after-close"}));
    EXPECT_EQ(client.State(), wsClosed);
    EXPECT_EQ(client.Proto(), "tcp");  // defaults restored
    EXPECT_EQ(client.LocalPort(), "0");
}

TEST(WSocketEventOrder, PeerCloseSeenByADataHandlerThatClosesRaisesOneSessionClosed) {
    LoopbackServer server;
    TWSocket client;
    EventLog log;
    log.Attach(client);
    int reads = 0;
    client.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        char buf[256];
        const int n = s->Receive(buf, sizeof(buf));
        if (n > 0) ++reads;
        if (n == 0) s->Close();  // the peer is gone
    };
    ConnectTo(client, server.PortText());
    ASSERT_TRUE(PumpUntil([&] { return server.accepted == 1 && log.Has("connected:0"); }));
    // The data and the close arrive together, as a server's last words do.
    server.conn.SendText("partial");
    server.conn.Flush();
    ::shutdown(server.conn.HSocket(), SHUT_RDWR);
    server.conn.Close();
    ASSERT_TRUE(PumpUntil([&] { return log.Has("closed:0"); }));
    PumpFor(50);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(log.Count("closed:0"), 1) << log.Text();
    EXPECT_EQ(client.State(), wsClosed);
}

TEST(WSocketEventOrder, DupOfAnAcceptedHandleRaisesNoSessionConnected) {
    // The engine's active-mode data connection: listen, accept, close the listening
    // handle, adopt the accepted one into the same object.
    TWSocket data;
    EventLog log;
    log.Attach(data);
    std::vector<uint8_t> got;
    data.OnDataAvailable = ReadAllInto(got);
    data.SetAddr("127.0.0.1");
    data.SetPort("0");
    data.Listen();
    ASSERT_EQ(data.State(), wsListening);
    data.OnSessionAvailable = [&](TCustomWSocket* s, uint16_t) {
        log.Add("available");
        const TSocket h = s->Accept();
        s->Close();
        s->Dup(h);
    };
    TWSocket peer;
    ConnectTo(peer, data.GetBoundPort());
    ASSERT_TRUE(PumpUntil([&] { return data.State() == wsConnected; }));
    EXPECT_EQ(log.entries,
              (std::vector<std::string>{"state:wsClosed>wsBound", "state:wsBound>wsListening",
                                        "available", "state:wsListening>wsClosed", "closed:0",
                                        "state:wsClosed>wsConnected"}));
    ASSERT_TRUE(PumpUntil([&] { return peer.State() == wsConnected; }));
    peer.SendText("over the adopted handle");
    ASSERT_TRUE(PumpUntil([&] { return got.size() == 23; }));
    EXPECT_EQ(std::string(got.begin(), got.end()), "over the adopted handle");
    EXPECT_FALSE(log.Has("connected:0"));
}

TEST(WSocketEventOrder, NotificationsForAnEarlierHandleAreDropped) {
    LoopbackServer server;
    TWSocket client;
    EventLog log;
    log.Attach(client);
    int dataCalls = 0;
    client.OnDataAvailable = [&](TCustomWSocket*, uint16_t) { ++dataCalls; };
    ConnectTo(client, server.PortText());
    ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0"); }));
    const TSocket first = client.HSocket();
    client.Close();
    ConnectTo(client, server.PortText());
    ASSERT_TRUE(PumpUntil([&] { return log.Count("connected:0") == 2; }));
    PumpFor(30);
    log.Clear();
    dataCalls = 0;
    // A close and a read notification queued for the first handle arrive now.
    auto& loop = platform::EventLoop::Current();
    loop.Post(client.Window(), MsgSocketEvent, first,
              platform::MakeSelectReply(platform::kFdClose, 0));
    loop.Post(client.Window(), MsgSocketEvent, first,
              platform::MakeSelectReply(platform::kFdRead, 0));
    loop.Post(client.Window(), MsgSocketEvent, first,
              platform::MakeSelectReply(platform::kFdConnect, 10061));
    PumpFor(30);
    EXPECT_TRUE(log.entries.empty()) << log.Text();
    EXPECT_EQ(dataCalls, 0);
    EXPECT_EQ(client.State(), wsConnected);
}

TEST(WSocketEventOrder, CloseNotificationWhileConnectingIsIgnored) {
    LoopbackServer server;
    TWSocket client;
    EventLog log;
    log.Attach(client);
    ConnectTo(client, server.PortText());
    ASSERT_EQ(client.State(), wsConnecting);
    platform::EventLoop::Current().Post(client.Window(), MsgSocketEvent, client.HSocket(),
                                        platform::MakeSelectReply(platform::kFdClose, 0));
    ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0"); }));
    PumpFor(30);
    EXPECT_FALSE(log.Has("closed:0"));
    EXPECT_EQ(client.State(), wsConnected);
}

TEST(WSocketEventOrder, WithoutADataHandlerReceivedBytesAreDrainedAndTheConnectionStaysUsable) {
    LoopbackServer server;
    std::vector<uint8_t> atServer;
    server.conn.OnDataAvailable = ReadAllInto(atServer);
    TWSocket client;
    ConnectTo(client, server.PortText());
    ASSERT_TRUE(PumpUntil([&] { return server.accepted == 1 && client.State() == wsConnected; }));
    server.conn.SendText(std::string(50000, 'z'));
    ASSERT_TRUE(PumpUntil([&] { return client.ReadCount() == 50000; }));
    EXPECT_EQ(client.RcvdCount(), 0);
    client.SendText("still here");
    ASSERT_TRUE(PumpUntil([&] { return atServer.size() == 10; }));
    EXPECT_EQ(client.State(), wsConnected);
}

TEST(WSocketEventOrder, NoReceiveLoopOffersOncePerNotification) {
    LoopbackServer server;
    TWSocket client;
    int calls = 0;
    std::string got;
    client.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        ++calls;
        char c;
        if (s->Receive(&c, 1) == 1) got += c;
    };
    ConnectTo(client, server.PortText());
    ASSERT_TRUE(PumpUntil([&] { return server.accepted == 1 && client.State() == wsConnected; }));

    client.SetComponentOptions(wsoNoReceiveLoop);
    client.SuspendEvents();
    server.conn.SendText("12345");
    ASSERT_TRUE(PumpUntil([&] { return client.RcvdCount() == 5; }));
    client.ResumeEvents();
    platform::EventLoop::Current().PumpMessages();
    EXPECT_EQ(calls, 1);  // one notification, one offer, although four bytes still wait
    ASSERT_TRUE(PumpUntil([&] { return got == "12345"; }));
    EXPECT_EQ(calls, 5);

    // Without the option one notification offers until nothing is left.
    client.SetComponentOptions(0);
    client.SuspendEvents();
    calls = 0;
    server.conn.SendText("6789");
    ASSERT_TRUE(PumpUntil([&] { return client.RcvdCount() == 4; }));
    client.ResumeEvents();
    platform::EventLoop::Current().PumpMessages();
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(got, "123456789");
}

TEST(WSocketEventOrder, AHandlerThatTakesNothingDoesNotHangTheLoop) {
    LoopbackServer server;
    TWSocket client;
    int calls = 0;
    client.OnDataAvailable = [&](TCustomWSocket*, uint16_t) { ++calls; };
    ConnectTo(client, server.PortText());
    ASSERT_TRUE(PumpUntil([&] { return server.accepted == 1 && client.State() == wsConnected; }));
    server.conn.SendText("ignored");
    ASSERT_TRUE(PumpUntil([&] { return calls >= 1; }));
    PumpFor(50);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(client.RcvdCount(), 7);
}

TEST(WSocketEventOrder, ExceptionInAHandlerAbortsUnlessBgExceptionKeepsTheSocket) {
    for (bool keep : {false, true}) {
        LoopbackServer server;
        TWSocket client;
        EventLog log;
        log.Attach(client);
        std::string seen;
        client.OnSessionConnected = [](TCustomWSocket*, uint16_t) {
            throw ESocketException("handler failed");
        };
        client.OnBgException = [&](TCustomWSocket*, const std::exception& e, bool& canClose) {
            seen = e.what();
            if (keep) canClose = false;
        };
        ConnectTo(client, server.PortText());
        ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
        PumpFor(20);
        EXPECT_EQ(seen, "handler failed");
        EXPECT_EQ(client.State(), keep ? wsConnected : wsClosed) << "keep=" << keep;
    }
}

TEST(WSocketEventOrder, TestExceptionMessageReachesBgException) {
    TWSocket s;
    std::string seen;
    s.OnBgException = [&](TCustomWSocket*, const std::exception& e, bool&) { seen = e.what(); };
    platform::EventLoop::Current().Post(s.Window(), MsgTestException, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, "Test exception in WSocket");
}

TEST(WSocketEventOrder, PostCloseAndPostDestroyActAfterTheHandlerReturned) {
    LoopbackServer server;
    auto client = std::make_unique<TWSocket>();
    EventLog log;
    log.Attach(*client);
    ConnectTo(*client, server.PortText());
    ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0"); }));
    client->PostClose();
    EXPECT_EQ(client->State(), wsConnected);
    ASSERT_TRUE(PumpUntil([&] { return log.Has("closed:0"); }));

    client->OnDestroyLater = [&](TCustomWSocket*) { client.reset(); };
    client->PostDestroy();
    EXPECT_TRUE(client);
    ASSERT_TRUE(PumpUntil([&] { return !client; }));
}

TEST(WSocketEventOrder, DestroyingAConnectedSocketRaisesNoSessionClosed) {
    LoopbackServer server;
    EventLog log;
    {
        TWSocket client;
        log.Attach(client);
        ConnectTo(client, server.PortText());
        ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0"); }));
        log.Clear();
    }
    PumpFor(20);
    EXPECT_TRUE(log.entries.empty()) << log.Text();
}

}  // namespace
}  // namespace tarnwick::net

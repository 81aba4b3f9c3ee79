// The send queue over real loopback connections.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>

#include "net/WSocket.h"
#include "tests/net/SocketTestKit.h"

namespace tarnwick::net {
namespace {

using namespace testkit;

constexpr size_t kBigSend = 32 * 1024 * 1024;  // far more than the kernel buffers hold

struct ConnectedPair {
    LoopbackServer server;
    TWSocket client;
    EventLog log;
    ConnectedPair() {
        log.Attach(client);
        ConnectTo(client, server.PortText());
        EXPECT_TRUE(PumpUntil([&] { return server.accepted == 1 && log.Has("connected:0"); }));
        // The write notification after the connect ends in an OnDataSent of its own.
        EXPECT_TRUE(PumpUntil([&] { return log.Has("sent:0"); }));
        log.Clear();
    }
};

TEST(WSocketSend, SendDataDuringSendAndDataSentOnlyAfterItReturned) {
    ConnectedPair p;
    std::vector<int> sendData;
    p.client.OnSendData = [&](TCustomWSocket*, int n) { sendData.push_back(n); };
    const std::vector<uint8_t> bytes = Pattern(4000, 1);
    EXPECT_EQ(p.client.Send(bytes.data(), static_cast<int>(bytes.size())), 4000);
    EXPECT_EQ(sendData, (std::vector<int>{1514, 1514, 972}));  // one hand-over per block
    EXPECT_TRUE(p.log.entries.empty()) << "OnDataSent must not fire inside Send";
    ASSERT_TRUE(PumpUntil([&] { return p.log.Has("sent:0"); }));
    PumpFor(30);
    EXPECT_EQ(p.log.Count("sent:0"), 1);
}

TEST(WSocketSend, ZeroByteSendAfterADrainedBlockLeadsToDataSent) {
    ConnectedPair p;
    p.client.SendText("x");
    ASSERT_TRUE(PumpUntil([&] { return p.log.Has("sent:0"); }));
    p.log.Clear();
    EXPECT_EQ(p.client.Send(nullptr, 0), 0);
    ASSERT_TRUE(PumpUntil([&] { return p.log.Has("sent:0"); }));
}

TEST(WSocketSend, ZeroByteSendOnAFreshConnectionLeavesAllSentFalse) {
    ConnectedPair p;
    EXPECT_EQ(p.client.Send(nullptr, 0), 0);
    EXPECT_FALSE(p.client.AllSent());
    PumpFor(30);
    EXPECT_FALSE(p.log.Has("sent:0"));
    p.client.Flush();  // nothing queued: returns at once
}

// Through the queue on a fresh socket; then with 1 MiB blocks after a send that drained,
// where the first block goes to the stack from the caller's buffer and the stack takes only
// part of it.
TEST(WSocketSend, SlowPeerGetsEveryByteInOrderAndDataSentFiresOnce) {
    for (const bool straight : {false, true}) {
        SCOPED_TRACE(straight ? "straight" : "queued");
        ConnectedPair p;
        std::vector<uint8_t> got;
        if (straight) {
            p.client.SetSendBlockSize(1024 * 1024);
            p.server.conn.OnDataAvailable = ReadAllInto(got);
            p.client.SendText("<");
            ASSERT_TRUE(PumpUntil([&] { return got.size() == 1 && p.log.Has("sent:0"); }));
            p.log.Clear();
        }
        p.server.conn.SuspendEvents();  // the peer stops reading
        const std::vector<uint8_t> bytes = Pattern(kBigSend, 2);
        EXPECT_EQ(p.client.Send(bytes.data(), static_cast<int>(bytes.size())),
                  static_cast<int>(kBigSend));
        PumpFor(100);
        EXPECT_GT(p.client.SendQueue().PendingBytes(), 0);  // the kernel buffers are full
        EXPECT_FALSE(p.log.Has("sent:0"));

        p.server.conn.OnDataAvailable = ReadAllInto(got);
        p.server.conn.ResumeEvents();
        const size_t total = kBigSend + (straight ? 1 : 0);
        ASSERT_TRUE(PumpUntil([&] { return got.size() == total && p.log.Has("sent:0"); }, 20000));
        PumpFor(30);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), got.end() - kBigSend));
        EXPECT_EQ(p.log.Count("sent:0"), 1);
        EXPECT_EQ(p.client.SendQueue().PendingBytes(), 0);
    }
}

TEST(WSocketSend, FlushWaitsUntilTheQueueIsEmpty) {
    ConnectedPair p;
    std::vector<uint8_t> got;
    p.server.conn.OnDataAvailable = ReadAllInto(got);
    const std::vector<uint8_t> bytes = Pattern(2 * 1024 * 1024, 3);
    p.client.Send(bytes.data(), static_cast<int>(bytes.size()));
    p.client.Flush();  // the peer reads inside Flush's pumping
    EXPECT_TRUE(p.client.AllSent());
    EXPECT_EQ(p.client.SendQueue().PendingBytes(), 0);
    ASSERT_TRUE(PumpUntil([&] { return got.size() == bytes.size(); }));
    EXPECT_TRUE(got == bytes);
}

TEST(WSocketSend, AbortDiscardsTheQueue) {
    ConnectedPair p;
    std::vector<uint8_t> got;
    p.server.conn.SuspendEvents();
    const std::vector<uint8_t> bytes = Pattern(kBigSend, 4);
    p.client.Send(bytes.data(), static_cast<int>(bytes.size()));
    PumpFor(50);
    ASSERT_GT(p.client.SendQueue().PendingBytes(), 0);
    p.client.Abort();
    EXPECT_TRUE(p.client.SendQueue().Empty());
    EXPECT_EQ(p.client.State(), wsClosed);
    EXPECT_EQ(p.log.Count("closed:0"), 1);

    EventLog serverLog;
    serverLog.Attach(p.server.conn);
    p.server.conn.OnDataAvailable = ReadAllInto(got);
    p.server.conn.ResumeEvents();
    ASSERT_TRUE(PumpUntil([&] { return serverLog.Has("closed:0"); }, 20000));
    EXPECT_LT(got.size(), kBigSend);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin()));  // what came is a prefix
}

TEST(WSocketSend, NextConnectAfterCloseDiscardsWhatWasQueued) {
    ConnectedPair p;
    p.server.conn.SuspendEvents();
    const std::vector<uint8_t> bytes = Pattern(kBigSend, 5);
    p.client.Send(bytes.data(), static_cast<int>(bytes.size()));
    PumpFor(30);
    p.client.Close();
    EXPECT_GT(p.client.SendQueue().PendingBytes(), 0);  // Close leaves the queue alone
    ConnectTo(p.client, p.server.PortText());
    EXPECT_TRUE(p.client.SendQueue().Empty());
}

TEST(WSocketSend, LostConnectionWhileSendingClosesWithTheError) {
    ConnectedPair p;
    p.server.conn.SuspendEvents();
    const std::vector<uint8_t> bytes = Pattern(kBigSend, 6);
    p.client.Send(bytes.data(), static_cast<int>(bytes.size()));
    PumpFor(30);
    p.server.conn.Close();  // linger on with 0 seconds: the connection is reset
    ASSERT_TRUE(PumpUntil([&] { return p.client.State() == wsClosed; }));
    PumpFor(30);
    int closes = 0;
    for (const auto& e : p.log.entries) {
        if (e.rfind("closed:", 0) == 0) {
            ++closes;
            EXPECT_TRUE(e == "closed:10054" || e == "closed:10053") << e;
        }
    }
    EXPECT_EQ(closes, 1) << p.log.Text();
}

TEST(WSocketSend, SixtyFourMebibytesBothWaysAtOnceArriveIdentical) {
    constexpr size_t kTotal = 64u * 1024u * 1024u;
    constexpr int kChunk = 64 * 1024;
    ConnectedPair p;
    const std::vector<uint8_t> outA = Pattern(kTotal, 7);
    const std::vector<uint8_t> outB = Pattern(kTotal, 8);
    std::vector<uint8_t> inA, inB;
    inA.reserve(kTotal);
    inB.reserve(kTotal);
    size_t sentA = 0, sentB = 0;
    // Each side sends the next chunk whenever its queue has drained, as an uploader does.
    auto pump = [](TCustomWSocket* s, const std::vector<uint8_t>& out, size_t& sent) {
        if (sent >= out.size()) return;
        const int n = static_cast<int>(std::min<size_t>(kChunk, out.size() - sent));
        s->Send(out.data() + sent, n);
        sent += static_cast<size_t>(n);
    };
    p.client.OnDataSent = [&](TCustomWSocket* s, uint16_t) { pump(s, outA, sentA); };
    p.server.conn.OnDataSent = [&](TCustomWSocket* s, uint16_t) { pump(s, outB, sentB); };
    p.client.OnDataAvailable = ReadAllInto(inB);
    p.server.conn.OnDataAvailable = ReadAllInto(inA);
    pump(&p.client, outA, sentA);
    pump(&p.server.conn, outB, sentB);
    ASSERT_TRUE(PumpUntil([&] { return inA.size() >= kTotal && inB.size() >= kTotal; }, 100000))
        << inA.size() << " " << inB.size();
    EXPECT_EQ(inA.size(), kTotal);
    EXPECT_EQ(inB.size(), kTotal);
    EXPECT_TRUE(inA == outA);
    EXPECT_TRUE(inB == outB);
    EXPECT_EQ(p.client.ReadCount(), static_cast<int64_t>(kTotal));
}

}  // namespace
}  // namespace tarnwick::net

namespace tarnwick::net {
namespace {

using namespace testkit;

TEST(WSocketSend, AConnectionLostInsideSendRaisesNoDataSentAfterwards) {
    ConnectedPair p;
    p.client.SuspendEvents();  // the reset below is not noticed before the next Send
    p.server.conn.Close();     // linger on, 0 seconds: the peer resets the connection
    PumpFor(30);
    EXPECT_EQ(p.client.SendText("late"), 4);
    EXPECT_EQ(p.client.State(), wsClosed);
    PumpFor(50);
    EXPECT_EQ(p.log.Count("sent:0"), 0) << p.log.Text();
    int closes = 0;
    for (const auto& e : p.log.entries) closes += (e.rfind("closed:", 0) == 0);
    EXPECT_EQ(closes, 1) << p.log.Text();
}

}  // namespace
}  // namespace tarnwick::net

// Handlers that act on their own socket from inside its events (send, abort, close,
// connect anew), and a handle adopted after its peer had already gone.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "net/WSocket.h"
#include "tests/net/SocketTestKit.h"
#include "tests/support/ScriptedSocksServer.h"

namespace tarnwick::net {
namespace {

using namespace testkit;
using tarnwick::testing::Bytes;
using tarnwick::testing::ScriptedSocksServer;

constexpr int kSettleMs = 50;  // time for the kernel to take a peer's close or reset

// A blocking client of our own, outside the event loop: it connects at once (loopback
// completes the handshake without an accept), optionally sends, then closes gracefully
// or resets.
class RawPeer {
  public:
    explicit RawPeer(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0;
    }
    ~RawPeer() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Connected() const { return connected_; }
    void Send(const std::string& bytes) {
        EXPECT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    void Close(bool reset) {
        if (reset) {
            linger now{1, 0};  // a close that resets the connection
            ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &now, sizeof(now));
        }
        ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

// The engine's active-mode data connection, adopted after the peer had sent what it had
// and gone: what it sent arrives, and the close is reported like any other.
TEST(WSocketReentry, AnAdoptedHandleWhosePeerHadGoneReportsItsClose) {
    struct Case {
        const char* name;
        std::string sent;
        bool reset;
        std::string closed;
    };
    const Case cases[] = {
        {"peer closed", "", false, "closed:0"},
        {"peer sent, then closed", "last words", false, "closed:0"},
        {"peer reset", "", true, "closed:10054"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TWSocket data;
        EventLog log;
        log.Attach(data);
        std::vector<uint8_t> got;
        data.OnDataAvailable = ReadAllInto(got);
        data.SetAddr("127.0.0.1");
        data.SetPort("0");
        data.Listen();
        ASSERT_EQ(data.State(), wsListening);
        RawPeer peer(static_cast<uint16_t>(std::stoi(data.GetBoundPort())));
        ASSERT_TRUE(peer.Connected());
        if (!c.sent.empty()) peer.Send(c.sent);
        peer.Close(c.reset);
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));

        const TSocket h = data.Accept();
        ASSERT_NE(h, kInvalidSocket);
        data.Close();
        log.Clear();
        data.Dup(h);
        ASSERT_TRUE(PumpUntil([&] { return data.State() == wsClosed; })) << log.Text();
        EXPECT_EQ(log.Count(c.closed), 1) << log.Text();
        EXPECT_EQ(std::string(got.begin(), got.end()), c.sent);
    }
}

struct SendReentryCase {
    const char* name;
    // What the OnSendData handler does on its first call.
    std::function<void(TCustomWSocket&)> act;
    std::string appended;  // what the handler's sends add behind the first bytes
    bool closes;           // the handler ends the connection
};

// OnSendData runs after the bytes have left the queue: a Send from there queues behind
// them (nothing goes twice), an Abort or Close there leaves the queue step nothing freed
// to touch (the sanitizer build checks the latter).
TEST(WSocketReentry, SendAbortAndCloseFromOnSendData) {
    const std::vector<SendReentryCase> cases = {
        {"send", [](TCustomWSocket& s) { s.SendText(" world"); }, " world", false},
        {"send twice",
         [](TCustomWSocket& s) {
             s.SendText(" one");
             s.SendText(" two");
         },
         " one two", false},
        {"abort", [](TCustomWSocket& s) { s.Abort(); }, "", true},
        {"close", [](TCustomWSocket& s) { s.Close(); }, "", true},
    };
    // One block, or three (1514, 1514, 972): the handler acts after the first hand-over. On
    // a fresh socket the bytes go through the queue; once a send has drained, the first block
    // goes to the stack straight from the caller's buffer and only the rest is queued.
    for (const bool primed : {false, true}) {
        for (const std::string& payload : {std::string("hello"), std::string(4000, 'b')}) {
            for (const auto& c : cases) {
                SCOPED_TRACE(std::string(c.name) + " after " + std::to_string(payload.size()) +
                             (primed ? ", straight" : ", queued"));
                LoopbackServer server;
                std::vector<uint8_t> atPeer;
                server.conn.OnDataAvailable = ReadAllInto(atPeer);
                bool peerClosed = false;
                server.conn.OnSessionClosed = [&](TCustomWSocket*, uint16_t) { peerClosed = true; };
                TWSocket client;
                EventLog log;
                log.Attach(client);
                client.SetLingerOnOff(wsLingerOff);  // a close sends what went out, then FIN
                ConnectTo(client, server.PortText());
                ASSERT_TRUE(
                    PumpUntil([&] { return log.Has("connected:0") && server.accepted == 1; }));
                const std::string before = primed ? "<" : "";
                if (primed) {
                    client.SendText(before);
                    ASSERT_TRUE(PumpUntil([&] { return atPeer.size() == 1 && client.AllSent(); }));
                }
                int calls = 0;
                client.OnSendData = [&](TCustomWSocket* s, int) {
                    if (calls++ == 0) c.act(*s);
                };
                client.SendText(payload);
                std::string expected;
                if (c.closes) {
                    // The first hand-over went out; what the handler cut short never did.
                    expected = before + payload.substr(0, std::min<size_t>(payload.size(), 1514));
                    ASSERT_TRUE(PumpUntil([&] { return peerClosed; }));
                    EXPECT_EQ(log.Count("closed:0"), 1) << log.Text();
                } else {
                    expected = before + payload + c.appended;
                    ASSERT_TRUE(PumpUntil([&] { return atPeer.size() >= expected.size(); }));
                    PumpFor(20);
                }
                // Compared by size and content apart: a mismatch of 4000 bytes reads badly.
                const std::string got(atPeer.begin(), atPeer.end());
                EXPECT_EQ(got.size(), expected.size());
                EXPECT_TRUE(got == expected) << "the peer got other bytes than were sent";
            }
        }
    }
}

// A handler that closes and connects again from inside OnSessionConnected(error) or
// OnSessionClosed keeps its new connection: the close that follows such a notification
// is for the connection it was about.
TEST(WSocketReentry, AConnectStartedByTheHandlerSurvivesTheAutomaticClose) {
    enum class Trigger { RefusedConnect, PeerClose, SocksRefusal };
    const struct {
        const char* name;
        Trigger trigger;
    } cases[] = {
        {"refused connect", Trigger::RefusedConnect},
        {"peer closed", Trigger::PeerClose},
        {"socks refusal", Trigger::SocksRefusal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer first;   // the peer that closes
        LoopbackServer second;  // where the handler connects anew
        ScriptedSocksServer proxy;
        proxy.Read(3).Send(Bytes({5, 0})).Read(15).Send(Bytes({5, 5}));
        proxy.Start();
        TWSocket s;
        EventLog log;
        log.Attach(s);
        bool reconnected = false;
        auto reconnect = [&](TCustomWSocket* sock) {
            if (reconnected) return;
            reconnected = true;
            sock->Close();
            log.Add("reconnect");
            ConnectTo(*sock, second.PortText());
        };
        switch (c.trigger) {
            case Trigger::RefusedConnect:
                s.OnSessionConnected = [&](TCustomWSocket* sock, uint16_t e) {
                    log.Add("connected:" + std::to_string(e));
                    if (e != 0) reconnect(sock);
                };
                ConnectTo(s, ClosedPort());
                break;
            case Trigger::PeerClose:
                s.OnSessionClosed = [&](TCustomWSocket* sock, uint16_t e) {
                    log.Add("closed:" + std::to_string(e));
                    reconnect(sock);
                };
                ConnectTo(s, first.PortText());
                ASSERT_TRUE(PumpUntil([&] { return first.accepted == 1; }));
                ASSERT_TRUE(PumpUntil([&] { return log.Has("connected:0"); }));
                first.conn.Close();
                break;
            case Trigger::SocksRefusal:
                s.OnSessionConnected = [&](TCustomWSocket* sock, uint16_t e) {
                    log.Add("connected:" + std::to_string(e));
                    if (e != 0) reconnect(sock);
                };
                s.SetSocksServer("127.0.0.1");
                s.SetSocksPort(proxy.PortText());
                s.SetSocksLevel("5");
                s.SetAddr("10.0.0.5");
                s.SetPort("21");
                s.Connect();
                break;
        }
        ASSERT_TRUE(PumpUntil([&] { return second.accepted == 1; })) << log.Text();
        PumpFor(kSettleMs);
        EXPECT_EQ(s.State(), wsConnected) << log.Text();
        // Nothing closed the new connection: it connected, and no close followed.
        const int at = log.IndexOf("reconnect");
        ASSERT_GE(at, 0);
        const std::vector<std::string> after(log.entries.begin() + at + 1, log.entries.end());
        const std::vector<std::string> connect = {"state:wsClosed>wsOpened",
                                                  "state:wsOpened>wsConnecting",
                                                  "state:wsConnecting>wsConnected", "connected:0"};
        ASSERT_GE(after.size(), connect.size()) << log.Text();
        EXPECT_EQ(std::vector<std::string>(after.begin(), after.begin() + 4), connect)
            << log.Text();
        for (const auto& e : after)
            EXPECT_TRUE(e.rfind("closed:", 0) != 0 && e.find(">wsClosed") == std::string::npos)
                << log.Text();
    }
}

}  // namespace
}  // namespace tarnwick::net

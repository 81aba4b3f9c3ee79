// Line mode over real loopback connections: lines cut at the marker whatever the reads,
// echo and editing, the last line at close, switching the mode with bytes held, the bytes
// behind a SOCKS 5 reply, and a large random stream.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "net/WSocket.h"
#include "tests/net/SocketTestKit.h"
#include "tests/support/ScriptedSocksServer.h"

namespace tarnwick::net {
namespace {

using namespace testkit;
using testing::Bytes;
using testing::ScriptedSocksServer;

// A connected pair: the accepted side reads in line mode, the client writes raw bytes.
struct LinePair {
    LoopbackServer server;
    TWSocket client;
    EventLog log;
    std::vector<std::string> lines;  // one entry per data offer that yielded bytes
    std::vector<uint8_t> echoed;     // what the line side sent back
    int closed = 0;

    LinePair() {
        server.conn.SetLineMode(true);
        server.conn.OnDataAvailable = [this](TCustomWSocket* s, uint16_t) {
            const std::string text = s->ReceiveText();
            if (!text.empty()) lines.push_back(text);
        };
        server.conn.OnSessionClosed = [this](TCustomWSocket*, uint16_t) { ++closed; };
        log.Attach(client);
        client.OnDataAvailable = ReadAllInto(echoed);
        ConnectTo(client, server.PortText());
        EXPECT_TRUE(PumpUntil([&] { return server.accepted == 1 && log.Has("connected:0"); }));
    }
    // Sends one piece and waits until the line side has read it (so the next piece comes
    // in a read of its own).
    void SendPiece(const std::string& piece) {
        const int64_t before = server.conn.ReadCount();
        ASSERT_EQ(client.SendText(piece), static_cast<int>(piece.size()));
        ASSERT_TRUE(PumpUntil(
            [&] { return server.conn.ReadCount() > before || server.conn.State() == wsClosed; }));
    }
    std::string Echo() const { return std::string(echoed.begin(), echoed.end()); }
};

struct LineCase {
    const char* name;
    std::vector<std::string> pieces;  // each arrives in a read of its own
    bool edit;
    bool echo;
    std::string lineEnd;
    std::vector<std::string> lines;
    std::string echoed;
};

TEST(LineMode, DeliversOneLinePerOfferWhateverTheReads) {
    const std::vector<LineCase> cases = {
        {"two lines in one read",
         {"one\r\ntwo\r\n"},
         false,
         false,
         "\r\n",
         {"one\r\n", "two\r\n"},
         ""},
        {"CR ends one read, LF starts the next",
         {"abc\r", "\ndef\r\n"},
         false,
         false,
         "\r\n",
         {"abc\r\n", "def\r\n"},
         ""},
        {"a line over three reads", {"ab", "cd", "e\r\n"}, false, false, "\r\n", {"abcde\r\n"}, ""},
        {"a lone CR is no marker", {"a\rb\r\n"}, false, false, "\r\n", {"a\rb\r\n"}, ""},
        {"another marker", {"x||y|", "|"}, false, false, "||", {"x||", "y||"}, ""},
        {"backspace edits", {"ab\bc\r\n"}, true, false, "\r\n", {"ac\r\n"}, ""},
        {"backspace edits and echoes",
         {"ab\bc\r\n"},
         true,
         true,
         "\r\n",
         {"ac\r\n"},
         "ab\b \bc\r\n"},
        {"tab at column 3 gives 5 blanks",
         {"abc\tx\r\n"},
         true,
         true,
         "\r\n",
         {"abc     x\r\n"},
         "abc     x\r\n"},
        {"tab at column 8 gives 8 blanks",
         {"abcdefgh\t\r\n"},
         true,
         false,
         "\r\n",
         {"abcdefgh        \r\n"},
         ""},
        {"backspace erases bytes of an earlier read",
         {"ab", "\b\bz\r\n"},
         true,
         false,
         "\r\n",
         {"z\r\n"},
         ""},
        {"backspace at the start of a line erases nothing",
         {"\b\bq\r\n"},
         true,
         true,
         "\r\n",
         {"q\r\n"},
         "q\r\n"},
        {"echo without editing sends the bytes back",
         {"hi\b\r\n"},
         false,
         true,
         "\r\n",
         {"hi\b\r\n"},
         "hi\b\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LinePair p;
        p.server.conn.SetLineEdit(c.edit);
        p.server.conn.SetLineEcho(c.echo);
        p.server.conn.SetLineEnd(c.lineEnd);
        for (const auto& piece : c.pieces) p.SendPiece(piece);
        ASSERT_TRUE(PumpUntil([&] { return p.lines.size() >= c.lines.size(); }));
        ASSERT_TRUE(PumpUntil([&] { return p.echoed.size() >= c.echoed.size(); }));
        PumpFor(20);
        EXPECT_EQ(p.lines, c.lines);
        EXPECT_EQ(p.Echo(), c.echoed);
    }
}

TEST(LineMode, APartialLineArrivesOnceWithoutMarkerAtClose) {
    LinePair p;
    p.SendPiece("one\r\ntail");
    p.client.Close();
    ASSERT_TRUE(PumpUntil([&] { return p.closed == 1; }));
    PumpFor(20);
    EXPECT_EQ(p.lines, (std::vector<std::string>{"one\r\n", "tail"}));
    EXPECT_EQ(p.closed, 1);
}

TEST(LineMode, AHandlerThatClosesStillGetsTheHeldLinesThenTheRest) {
    LinePair p;
    p.server.conn.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        p.lines.push_back(s->ReceiveText());
        if (p.lines.size() == 1) s->Close();
    };
    p.SendPiece("a\r\nb\r\nc");
    ASSERT_TRUE(PumpUntil([&] { return p.closed == 1; }));
    PumpFor(20);
    EXPECT_EQ(p.lines, (std::vector<std::string>{"a\r\n", "b\r\n", "c"}));
    EXPECT_EQ(p.server.conn.HeldCount(), 0);
}

TEST(LineMode, TurnedOffWithBytesHeldTheNextReceiveReturnsThemFirst) {
    LinePair p;
    p.SendPiece("held");
    EXPECT_EQ(p.server.conn.RcvdCount(), 0);  // no complete line
    p.server.conn.SetLineMode(false);
    EXPECT_EQ(p.server.conn.RcvdCount(), 4);
    char buf[64];
    ASSERT_EQ(p.server.conn.Receive(buf, sizeof(buf)), 4);
    EXPECT_EQ(std::string(buf, 4), "held");
    // Later data comes as it arrives, lines or not.
    p.SendPiece("more\r\nx");
    ASSERT_TRUE(PumpUntil([&] { return !p.lines.empty(); }));
    EXPECT_EQ(p.lines, (std::vector<std::string>{"more\r\nx"}));
}

TEST(LineMode, AHandlerThatLeavesLineModeGetsTheRestRedelivered) {
    LinePair p;
    p.server.conn.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        const std::string text = s->ReceiveText();
        if (!text.empty()) p.lines.push_back(text);
        if (text == "a\r\n") p.server.conn.SetLineMode(false);
    };
    p.SendPiece("a\r\nb\r\nc");
    ASSERT_TRUE(PumpUntil([&] { return p.lines.size() == 2; }));
    EXPECT_EQ(p.lines, (std::vector<std::string>{"a\r\n", "b\r\nc"}));
    // Back to line mode: what comes now is cut into lines again.
    p.server.conn.SetLineMode(true);
    p.SendPiece("d\r\ne\r\n");
    ASSERT_TRUE(PumpUntil([&] { return p.lines.size() == 4; }));
    EXPECT_EQ(p.lines[2], "d\r\n");
    EXPECT_EQ(p.lines[3], "e\r\n");
}

TEST(LineMode, HeldLinesAreCutWhenLineModeIsTurnedOn) {
    LinePair p;
    // A handler that takes nothing: the bytes stay held in the line buffer.
    bool taking = false;
    p.server.conn.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        if (!taking) return;
        p.lines.push_back(s->ReceiveText());
    };
    p.SendPiece("1\r\n2\r\n3");
    EXPECT_EQ(p.server.conn.HeldCount(), 7);
    // Toggling the mode redelivers what is held, the complete lines one by one.
    taking = true;
    p.server.conn.SetLineMode(false);
    p.server.conn.SetLineMode(true);
    ASSERT_TRUE(PumpUntil([&] { return p.lines.size() == 2; }));
    PumpFor(20);
    EXPECT_EQ(p.lines, (std::vector<std::string>{"1\r\n", "2\r\n"}));
    EXPECT_EQ(p.server.conn.HeldCount(), 1);
}

TEST(LineMode, AHandlerThatTakesNothingIsNotCalledInALoop) {
    LinePair p;
    int calls = 0;
    bool taking = false;
    p.server.conn.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        ++calls;
        if (taking) p.lines.push_back(s->ReceiveText());
    };
    p.SendPiece("x\r\ny\r\n");
    PumpFor(50);
    EXPECT_EQ(calls, 1);  // offered once; the line waits for more data
    // Mode changes with only a partial line held post no endless redelivery either.
    p.SendPiece("part");
    const int afterData = calls;
    for (int i = 0; i < 3; ++i) {
        p.server.conn.SetLineMode(false);
        p.server.conn.SetLineMode(true);
    }
    PumpFor(50);
    EXPECT_LE(calls - afterData, 1);
    // Taking again: the waiting lines come with the next data.
    taking = true;
    p.SendPiece("\r\n");
    ASSERT_TRUE(PumpUntil([&] { return p.lines.size() == 3; }));
    EXPECT_EQ(p.lines, (std::vector<std::string>{"x\r\n", "y\r\n", "part\r\n"}));
}

TEST(LineMode, AHandlerMayTakeItsLineInPieces) {
    LinePair p;
    std::vector<int> counts;
    p.server.conn.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        counts.push_back(s->RcvdCount());
        char buf[3];
        const int n = s->Receive(buf, sizeof(buf));
        if (n > 0) p.lines.push_back(std::string(buf, static_cast<size_t>(n)));
        // Nothing past the line: the next line is not handed out early.
        if (s->RcvdCount() == 0) {
            EXPECT_LT(s->Receive(buf, sizeof(buf)), 0);
        }
    };
    p.SendPiece("abcdefg\r\nhi\r\n");
    ASSERT_TRUE(PumpUntil([&] { return p.lines.size() == 5; }));
    EXPECT_EQ(p.lines, (std::vector<std::string>{"abc", "def", "g\r\n", "hi\r", "\n"}));
    EXPECT_EQ(counts, (std::vector<int>{9, 6, 3, 4, 1}));
}

TEST(LineMode, BytesBehindTheSocks5ReplyReachTheHandlerAsLines) {
    ScriptedSocksServer proxy;
    proxy.Read(3).Send(Bytes({5, 0})).Read(15);
    proxy.Send(Bytes({5, 0, 0, 1, 127, 0, 0, 1, 0, 21}) + "220 ready\r\n230 ");
    proxy.Pause(100).Send("in\r\n");
    proxy.Start();
    TWSocket sock;
    std::vector<std::string> lines;
    sock.SetLineMode(true);
    sock.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) { lines.push_back(s->ReceiveText()); };
    sock.SetSocksServer("127.0.0.1");
    sock.SetSocksPort(proxy.PortText());
    sock.SetSocksLevel("5");
    sock.SetProto("tcp");
    sock.SetAddr("10.0.0.5");  // 15 bytes of request
    sock.SetPort("21");
    sock.Connect();
    ASSERT_TRUE(PumpUntil([&] { return lines.size() == 2; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"220 ready\r\n", "230 in\r\n"}));
}

// ---- a large random stream --------------------------------------------------------------

constexpr size_t kStreamBytes = 10 * 1024 * 1024;
constexpr int kMaxLineLength = 4000;
constexpr int kMaxPiece = 70000;

uint64_t Mix(uint64_t h, const std::string& line) {
    for (const unsigned char c : line) h = (h ^ c) * 1099511628211ull;  // FNV-1a
    return (h ^ 0xFF) * 1099511628211ull;                               // a line boundary
}

TEST(LineMode, TenMiBOfRandomLinesInRandomPiecesArriveUnchanged) {
    std::mt19937 rng(20261208);
    std::string stream;
    uint64_t sentSum = 14695981039346656037ull;
    size_t sentLines = 0;
    while (stream.size() < kStreamBytes) {
        std::string line(std::uniform_int_distribution<int>(0, kMaxLineLength)(rng), 'x');
        for (auto& c : line) {
            c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
            if (c == '\n') c = 'n';  // CR alone is fine, CR LF only at the end
        }
        line += "\r\n";
        sentSum = Mix(sentSum, line);
        ++sentLines;
        stream += line;
    }

    LinePair p;
    p.client.SetSendBlockSize(kMaxPiece);
    uint64_t gotSum = 14695981039346656037ull;
    size_t gotLines = 0;
    size_t gotBytes = 0;
    std::string current;
    std::mt19937 takeRng(7);
    p.server.conn.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        // Takes the line in one or two pieces.
        char buf[kMaxLineLength + 2];
        const int want = std::uniform_int_distribution<int>(1, kMaxLineLength + 2)(takeRng);
        const int n = s->Receive(buf, want);
        if (n <= 0) return;
        current.append(buf, static_cast<size_t>(n));
        gotBytes += static_cast<size_t>(n);
        if (s->RcvdCount() == 0) {
            gotSum = Mix(gotSum, current);
            ++gotLines;
            current.clear();
        }
    };
    size_t sent = 0;
    while (sent < stream.size()) {
        const size_t piece = std::min<size_t>(
            stream.size() - sent, std::uniform_int_distribution<int>(1, kMaxPiece)(rng));
        p.client.Send(stream.data() + sent, static_cast<int>(piece));
        sent += piece;
        if (p.client.SendQueue().PendingBytes() > 4 * kMaxPiece) {
            ASSERT_TRUE(PumpUntil([&] { return p.client.SendQueue().PendingBytes() < kMaxPiece; }));
        }
        platform::EventLoop::Current().PumpMessages();
    }
    ASSERT_TRUE(PumpUntil([&] { return gotBytes == stream.size(); }, 60000))
        << gotBytes << " of " << stream.size();
    EXPECT_EQ(gotLines, sentLines);
    EXPECT_EQ(gotSum, sentSum);
    EXPECT_EQ(p.server.conn.HeldCount(), 0);
}

// ---- waits ----------------------------------------------------------------------------

TEST(SyncWait, RunAndWaitReturnsOnceTheFlagIsSet) {
    LoopbackServer server;
    TWSocket client;
    bool connected = false;
    client.OnSessionConnected = [&](TCustomWSocket*, uint16_t) { connected = true; };
    client.SetWaitTimeout(5000);
    EXPECT_EQ(client.RunAndWait([&] { ConnectTo(client, server.PortText()); }, connected), 0);
    EXPECT_TRUE(connected);
    EXPECT_EQ(client.State(), wsConnected);
}

TEST(SyncWait, AWaitWithATimeOutEndsWith12001) {
    TWSocket sock;
    bool never = false;
    sock.SetWaitTimeout(50);
    const uint64_t start = platform::GetTickCount();
    EXPECT_EQ(sock.WaitForFlag(never), kSyncWaitTimedOut);
    const uint64_t took = platform::GetTickCount() - start;
    EXPECT_GE(took, 50u);
    EXPECT_LT(took, 2000u);
    bool done = true;
    EXPECT_EQ(sock.RunAndWait(nullptr, done), kSyncWaitTimedOut);  // the flag is cleared first
    EXPECT_FALSE(done);
}

}  // namespace
}  // namespace tarnwick::net

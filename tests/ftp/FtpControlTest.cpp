// The control connection against the scripted server: greeting, line endings, reply
// dispatch, lost connections, AbortSession and the waiting wrappers.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/TickCount.h"
#include "tests/ftp/FtpTestKit.h"
#include "tests/support/FakeNameService.h"

namespace tarnwick::ftp {
namespace {

using testkit::EngineFixture;
using testkit::PumpFor;
using testkit::PumpUntil;
using testkit::ScriptedFtpServer;

class FtpControl : public EngineFixture<> {};

using Lines = std::vector<std::string>;

TEST_F(FtpControl, GreetingsInAnyCuttingEndOpenOnceAfterTheFinalLine) {
    struct Case {
        std::vector<std::string> pieces;
        TFtpOptions options;
        std::string last;
        int responses;
    };
    const Case cases[] = {
        {{"220-Welcome\r\n", "220 Ready\r\n"}, ftpAcceptLF, "220 Ready", 2},
        {{"220-Wel", "come\r\n220 Re", "ady\r\n"}, ftpAcceptLF, "220 Ready", 2},
        {{"220 Ready\r\r\n"}, ftpAcceptLF, "220 Ready", 1},
        {{"220 Ready\n"}, ftpAcceptLF, "220 Ready", 1},
        // Without ftpAcceptLF a bare LF does not end the line: both arrive as one.
        {{"220 Hi\n", "there\r\n"}, 0, "220 Hi\nthere", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last);
        ScriptedFtpServer server;
        server.SendPieces(c.pieces, 60);
        server.Start();
        ftp.SetOptions(c.options);
        responses.clear();
        display.clear();
        sessionConnected = 0;
        const size_t before = dones.size();
        Open(server);
        ASSERT_EQ(dones.size(), before + 1);
        EXPECT_EQ(dones.back().rq, TFtpRequest::OpenAsync);
        EXPECT_EQ(ftp.LastResponse(), c.last);
        EXPECT_EQ(ftp.StatusCode(), 220);
        EXPECT_EQ(static_cast<int>(responses.size()), c.responses);
        EXPECT_EQ(sessionConnected, 1);
        EXPECT_EQ(ftp.State(), esReady);
        EXPECT_TRUE(Displayed("< " + c.last));
        ftp.AbortSession();
    }
}

TEST_F(FtpControl, GreetingOtherThan220EndsConnectWithItsCode) {
    ScriptedFtpServer server;
    server.Reply("421 Too many users");
    server.Start();
    Target(server);
    ftp.SetUserName("anonymous");
    ftp.SetPassWord("guest@");
    ExpectRequest([&] { ftp.ConnectAsync(); }, TFtpRequest::ConnectAsync, 421);
    EXPECT_EQ(ftp.ErrorMessage(), "421 Too many users");
    EXPECT_EQ(sessionClosed, 1);
    EXPECT_EQ(sessionConnected, 0);
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(ftp.State(), esReady);
    PumpFor(50);
    EXPECT_TRUE(server.Received().empty());  // no USER after a refusal
}

TEST_F(FtpControl, ConnectFailuresReportTheSocketError) {
    tarnwick::testing::ScopedFakeNameService names;
    struct Case {
        std::string host;
        std::string port;
        uint16_t error;
        std::string text;
    };
    std::string closedPort;
    {
        ScriptedFtpServer probe;
        closedPort = probe.PortText();
    }
    const Case cases[] = {
        {"nowhere.invalid", "21", 11001, "500 Host not found (Winsock error #11001)"},
        {"127.0.0.1", closedPort, 10061, "500 Connection refused (Winsock error #10061)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        ftp.SetHostName(c.host);
        ftp.SetPort(c.port);
        ASSERT_EQ(Start([&] { ftp.OpenAsync(); }), "");
        ASSERT_TRUE(WaitNextDone());
        EXPECT_EQ(dones.back().error, c.error);
        EXPECT_EQ(ftp.LastResponse(), c.text);
        EXPECT_EQ(ftp.StatusCode(), 500);
        EXPECT_EQ(ftp.State(), esReady);
        EXPECT_FALSE(ftp.Connected());
    }
    // An empty host name ends the request too, instead of resolving for ever.
    ftp.SetHostName("");
    ASSERT_EQ(Start([&] { ftp.OpenAsync(); }), "");
    ASSERT_TRUE(WaitNextDone());
    EXPECT_EQ(dones.back().error, 500);
    EXPECT_EQ(ftp.State(), esReady);
}

TEST_F(FtpControl, RepliesInOneReadAreHandledInOrderAndOnlyFinalLinesReachTheRequest) {
    ScriptedFtpServer server;
    server.Reply("220 Ready")
        .Expect("NOOP")
        .Send("200-Hello\r\n200-More\r\n200 Done\r\n211 Unsolicited\r\n");
    server.Start();
    Open(server);
    responses.clear();
    display.clear();
    ftp.SetLocalFileName("NOOP");
    ASSERT_EQ(Start([&] { ftp.QuoteAsync(); }), "");
    ASSERT_TRUE(WaitNextDone());
    ASSERT_TRUE(PumpUntil([&] { return responses.size() == 4; }));
    EXPECT_EQ(responses, (Lines{"200-Hello", "200-More", "200 Done", "211 Unsolicited"}));
    EXPECT_EQ(display, (Lines{"> NOOP", "< 200 Done", "< 211 Unsolicited"}));
    EXPECT_EQ(dones.back().error, 0);
    EXPECT_EQ(ftp.StatusCode(), 200);
}

TEST_F(FtpControl, CommandsOnADeadConnectionAreShownNotSent) {
    ftp.SendCommand("NOOP");
    EXPECT_EQ(display, (Lines{"> NOOP"}));
    EXPECT_EQ(Start([&] { ftp.PwdAsync(); }), "FTP component not connected");
    EXPECT_EQ(Start([&] { ftp.QuitAsync(); }), "FTP component not connected");
}

TEST_F(FtpControl, OnCommandMayRewriteTheCommand) {
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("PWD -x").Reply("257 \"/\"");
    server.Start();
    Open(server);
    ftp.OnCommand = [](TCustomFtpCli*, std::string& cmd) { cmd += " -x"; };
    ASSERT_EQ(Start([&] { ftp.PwdAsync(); }), "");
    ASSERT_TRUE(WaitNextDone());
    EXPECT_TRUE(Displayed("> PWD -x"));
    EXPECT_TRUE(server.Mismatches().empty());
}

TEST_F(FtpControl, AbortSessionWhileIdleClosesWithoutAReport) {
    ScriptedFtpServer server;
    server.Reply("220 Ready");
    server.Start();
    Open(server);
    states.clear();
    ftp.AbortSession();
    EXPECT_EQ(sessionClosed, 1);
    EXPECT_EQ(ftp.State(), esReady);
    EXPECT_FALSE(ftp.Connected());
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.front(), esAborting);
    EXPECT_EQ(states.back(), esReady);
    const size_t reports = dones.size();
    PumpFor(50);
    EXPECT_EQ(dones.size(), reports);
}

TEST_F(FtpControl, RequestsCutShortFailInsteadOfReportingSuccess) {
    // What the server does while CWD waits for its reply, and what the request reports.
    struct Case {
        const char* name;
        std::string bytes;  // then the server closes, or the engine aborts
        bool abort;
        uint16_t error;
        std::string message;
    };
    const Case cases[] = {
        {"closes mid-reply", "250-multi\r\n250-li", false, 426,
         "426 Connection closed before the reply"},
        {"5000-byte line", std::string(5000, 'x'), false, 426,
         "426 Reply line longer than 4095 bytes"},
        {"aborted", "", true, 426, "426 Operation aborted."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("CWD /x").Send(c.bytes);
        if (!c.abort && c.bytes.size() < 4096) server.Close();
        server.Start();
        sessionClosed = 0;
        Open(server);
        ftp.SetHostDirName("/x");
        ASSERT_EQ(Start([&] { ftp.CwdAsync(); }), "");
        if (c.abort) {
            ASSERT_TRUE(PumpUntil([&] { return !server.Received().empty(); }));
            ftp.AbortSession();
        }
        ASSERT_TRUE(WaitNextDone());
        EXPECT_EQ(dones.back().rq, TFtpRequest::CwdAsync);
        EXPECT_EQ(dones.back().error, c.error);
        EXPECT_EQ(dones.back().errorMessage, c.message);
        EXPECT_EQ(sessionClosed, 1);
        EXPECT_EQ(ftp.State(), esReady);
        EXPECT_FALSE(ftp.Connected());
    }
}

TEST_F(FtpControl, BinaryGarbageIsLoggedAndTheReplyAfterItStillCounts) {
    std::string garbage;
    for (int i = 0; i < 3000; ++i) garbage += static_cast<char>(0x80 + (i * 37) % 128);
    garbage[100] = '\0';
    garbage[200] = '\r';
    garbage[300] = '\n';
    garbage += "\r\n";
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("CWD /g").Send(garbage).Reply("250 ok");
    server.Start();
    Open(server);
    ftp.SetHostDirName("/g");
    ASSERT_EQ(Start([&] { ftp.CwdAsync(); }), "");
    ASSERT_TRUE(WaitNextDone());
    EXPECT_EQ(dones.back().error, 0);
    EXPECT_EQ(ftp.LastResponse(), "250 ok");
    EXPECT_TRUE(ftp.Connected());
}

TEST_F(FtpControl, WaitingWrappersHonourTimeout) {
    // Timeout 0 waits as long as it takes (here longer than one second).
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("CWD /slow").Pause(1300).Reply("250 ok");
    server.Start();
    Open(server);
    ftp.SetTimeout(0);
    ftp.SetHostDirName("/slow");
    EXPECT_TRUE(Sync([&] { return ftp.Cwd(); }));
    // The wrapper returns once its request's report has run, never before.
    ASSERT_EQ(dones.size(), started);
    EXPECT_EQ(dones.back().rq, TFtpRequest::CwdAsync);
    EXPECT_EQ(dones.back().error, 0);

    // A silent server and Timeout 1: false after about a second, the session dropped.
    ftp.AbortSession();
    ScriptedFtpServer silent;
    silent.Reply("220 Ready");
    silent.Start();
    Open(silent);
    ftp.SetTimeout(1);
    const uint64_t t0 = platform::GetTickCount();
    EXPECT_FALSE(Sync([&] { return ftp.TypeBinary(); }));
    const uint64_t waited = platform::GetTickCount() - t0;
    EXPECT_GE(waited, 1000u);
    EXPECT_LT(waited, 3000u);
    EXPECT_EQ(ftp.ErrorMessage(), "426 Timeout");
    EXPECT_EQ(ftp.StatusCode(), 426);
    EXPECT_FALSE(ftp.Connected());
    ASSERT_TRUE(WaitNextDone());
    EXPECT_EQ(dones.back().rq, TFtpRequest::TypeSetAsync);
    EXPECT_EQ(dones.back().error, 426);
    EXPECT_EQ(silent.Received(), (Lines{"TYPE I"}));

    // A wrapper whose request cannot start returns false at once, with no report.
    EXPECT_FALSE(Sync([&] { return ftp.TypeAscii(); }));
    EXPECT_FALSE(ftp.Binary());
}

TEST_F(FtpControl, EitherPumpServesTheWaitAndAQuittingLoopEndsIt) {
    auto& loop = platform::EventLoop::Current();
    for (const bool multiThreaded : {false, true}) {
        SCOPED_TRACE(multiThreaded ? "MultiThreaded" : "application pump");
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("CWD /a").Reply("250 ok").Expect("CWD /never");
        server.Start();
        Open(server);
        ftp.SetMultiThreaded(multiThreaded);
        ftp.SetTimeout(0);
        ftp.SetHostDirName("/a");
        EXPECT_TRUE(Sync([&] { return ftp.Cwd(); }));
        ASSERT_EQ(dones.size(), started);

        // No time limit, a silent server: only the application quitting ends the wait.
        ftp.OnCommand = [&](TCustomFtpCli*, std::string& cmd) {
            if (cmd == "CWD /never") loop.Quit();
        };
        ftp.SetHostDirName("/never");
        EXPECT_FALSE(Sync([&] { return ftp.Cwd(); }));
        ftp.OnCommand = nullptr;
        loop.Run();  // takes the quit request back
        ASSERT_TRUE(WaitNextDone());
        EXPECT_NE(dones.back().error, 0);
        EXPECT_FALSE(ftp.Connected());
    }
}

TEST_F(FtpControl, MisuseRaisesAndSendsNothing) {
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("CWD /busy");
    server.Start();
    Open(server);
    EXPECT_EQ(Start([&] { ftp.OpenAsync(); }), "FTP component already connected");
    EXPECT_EQ(Start([&] { ftp.ConnectAsync(); }), "FTP component already connected");
    EXPECT_EQ(Start([&] { ftp.SetConnectionType(ftpProxy); }), "FTP component connected");
    struct Case {
        std::function<void()> setup;
        std::function<void()> op;
        const char* message;
    };
    const Case checks[] = {
        {[&] { ftp.SetUserName(""); }, [&] { ftp.UserAsync(); }, "UserName emtpy"},
        {[&] { ftp.SetPassWord(""); }, [&] { ftp.PassAsync(); }, "Password emtpy"},
        {[&] { ftp.SetHostDirName(""); }, [&] { ftp.CwdAsync(); }, "HostDirName emtpy"},
    };
    for (const auto& c : checks) {
        c.setup();
        EXPECT_EQ(Start(c.op), c.message);
    }
    ftp.SetHostDirName("/busy");
    ASSERT_EQ(Start([&] { ftp.CwdAsync(); }), "");
    EXPECT_EQ(Start([&] { ftp.PwdAsync(); }), "FTP component not ready");
    ftp.SetLocalFileName("NOOP");
    EXPECT_EQ(Start([&] { ftp.QuoteAsync(); }), "FTP component not ready");
    EXPECT_EQ(Start([&] { ftp.SizeAsync(); }), "FTP component not ready");
    PumpFor(50);
    EXPECT_EQ(server.Received(), (Lines{"CWD /busy"}));
    ftp.AbortSession();
}

TEST_F(FtpControl, AnExceptionFromOnRequestDoneGoesToOnBgExceptionAndTheLoopGoesOn) {
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("NOOP").Reply("200 ok");
    server.Start();
    std::string caught;
    ftp.OnBgException = [&](TCustomFtpCli*, const std::exception& e, bool& canClose) {
        caught = e.what();
        EXPECT_TRUE(canClose);
    };
    auto record = ftp.OnRequestDone;
    ftp.OnRequestDone = [&](TCustomFtpCli* s, TFtpRequest rq, uint16_t error) {
        record(s, rq, error);
        throw std::runtime_error("handler failed");
    };
    Open(server);
    EXPECT_EQ(caught, "handler failed");
    ftp.SetLocalFileName("NOOP");
    ASSERT_EQ(Start([&] { ftp.QuoteAsync(); }), "");
    ASSERT_TRUE(WaitNextDone());
    EXPECT_EQ(dones.back().error, 0);
}

TEST(FtpRequestNames, EveryIdentifierHasItsDisplayName) {
    EXPECT_STREQ(FtpRequestName(TFtpRequest::none), "none");
    EXPECT_STREQ(FtpRequestName(TFtpRequest::CwdAsync), "CwdAsync");
    EXPECT_STREQ(FtpRequestName(TFtpRequest::TransmitAsync), "TransmitAsync");
    EXPECT_STREQ(FtpRequestName(TFtpRequest::RestartPutAsync), "RestartPutAsync");
    EXPECT_STREQ(FtpRequestName(TFtpRequest::FeatAsync), "FeatAsync");
    EXPECT_STREQ(FtpRequestName(TFtpRequest::MdtmAsync), "MdtmAsync");
    EXPECT_STREQ(FtpRequestName(static_cast<TFtpRequest>(47)), "");
}

}  // namespace
}  // namespace tarnwick::ftp

// Requests against the scripted server: the commands sent, the codes accepted, the results
// read from replies, and the step rules of compound requests.
#include <functional>
#include <string>
#include <vector>

#include "tests/ftp/FtpTestKit.h"

namespace tarnwick::ftp {
namespace {

using testkit::EngineFixture;
using testkit::PumpFor;
using testkit::PumpUntil;
using testkit::ScriptedFtpServer;
using Lines = std::vector<std::string>;

class FtpRequests : public EngineFixture<> {};

TEST_F(FtpRequests, SingleCommandsSendTheirTextAndJudgeTheirCodes) {
    struct Case {
        const char* name;
        std::function<void(TFtpClient&)> setup;
        std::function<void(TFtpClient&)> op;
        std::string command;
        std::string reply;
        TFtpRequest rq;
        uint16_t error;
        std::string dirResult;  // "-" when not checked
        int64_t sizeResult;     // -1 when not checked
    };
    auto none = [](TFtpClient&) {};
    auto host = [](const char* name) { return [name](TFtpClient& f) { f.SetHostFileName(name); }; };
    auto local = [](const char* text) {
        return [text](TFtpClient& f) { f.SetLocalFileName(text); };
    };
    const Case cases[] = {
        {"cwd quoted", [](TFtpClient& f) { f.SetHostDirName("/pub"); },
         [](TFtpClient& f) { f.CwdAsync(); }, "CWD /pub", "250 \"/pub\" is current",
         TFtpRequest::CwdAsync, 0, "/pub", -1},
        {"cwd unquoted", [](TFtpClient& f) { f.SetHostDirName("/pub"); },
         [](TFtpClient& f) { f.CwdAsync(); }, "CWD /pub", "250 CWD command successful",
         TFtpRequest::CwdAsync, 0, "", -1},
        {"cwd refused", [](TFtpClient& f) { f.SetHostDirName("/no"); },
         [](TFtpClient& f) { f.CwdAsync(); }, "CWD /no", "550 No such directory",
         TFtpRequest::CwdAsync, 550, "-", -1},
        {"pwd", none, [](TFtpClient& f) { f.PwdAsync(); }, "PWD", "257 \"/a \"\"b\"\"\" is current",
         TFtpRequest::PwdAsync, 0, "/a \"b\"", -1},
        {"cdup", none, [](TFtpClient& f) { f.CDupAsync(); }, "CDUP", "250 \"/\" ok",
         TFtpRequest::CDupAsync, 0, "/", -1},
        {"cdup 200 is not accepted", none, [](TFtpClient& f) { f.CDupAsync(); }, "CDUP", "200 ok",
         TFtpRequest::CDupAsync, 200, "-", -1},
        {"mkd", host("new"), [](TFtpClient& f) { f.MkdAsync(); }, "MKD new", "257 \"/new\" created",
         TFtpRequest::MkdAsync, 0, "/new", -1},
        {"rmd 257", host("old"), [](TFtpClient& f) { f.RmdAsync(); }, "RMD old", "257 gone",
         TFtpRequest::RmdAsync, 0, "-", -1},
        {"rmd 550", host("old"), [](TFtpClient& f) { f.RmdAsync(); }, "RMD old", "550 not empty",
         TFtpRequest::RmdAsync, 550, "-", -1},
        {"dele", host("f.txt"), [](TFtpClient& f) { f.DeleAsync(); }, "DELE f.txt", "250 deleted",
         TFtpRequest::DeleAsync, 0, "-", -1},
        {"rnfr", host("a"), [](TFtpClient& f) { f.RenFromAsync(); }, "RNFR a", "350 ready",
         TFtpRequest::RenFromAsync, 0, "-", -1},
        {"rnto", local("b"), [](TFtpClient& f) { f.RenToAsync(); }, "RNTO b", "250 renamed",
         TFtpRequest::RenToAsync, 0, "-", -1},
        {"size", host("f"), [](TFtpClient& f) { f.SizeAsync(); }, "SIZE f", "213 1234",
         TFtpRequest::SizeAsync, 0, "-", 1234},
        {"size over 4 GiB", host("big"), [](TFtpClient& f) { f.SizeAsync(); }, "SIZE big",
         "213 5000000000", TFtpRequest::SizeAsync, 0, "-", 5000000000LL},
        {"size refused", host("f"), [](TFtpClient& f) { f.SizeAsync(); }, "SIZE f",
         "550 no such file", TFtpRequest::SizeAsync, 550, "-", 0},
        {"syst", none, [](TFtpClient& f) { f.SystAsync(); }, "SYST", "215 UNIX Type: L8",
         TFtpRequest::SystAsync, 0, "-", -1},
        {"type binary", none, [](TFtpClient& f) { f.TypeBinaryAsync(); }, "TYPE I", "200 ok",
         TFtpRequest::TypeSetAsync, 0, "-", -1},
        {"type ascii", none, [](TFtpClient& f) { f.TypeAsciiAsync(); }, "TYPE A", "200 ok",
         TFtpRequest::TypeSetAsync, 0, "-", -1},
        {"quote 200", local("NOOP"), [](TFtpClient& f) { f.QuoteAsync(); }, "NOOP", "200 ok",
         TFtpRequest::QuoteAsync, 0, "-", -1},
        {"quote 350", local("SITE X"), [](TFtpClient& f) { f.QuoteAsync(); }, "SITE X", "350 more",
         TFtpRequest::QuoteAsync, 0, "-", -1},
        {"quote 502", local("XYZ"), [](TFtpClient& f) { f.QuoteAsync(); }, "XYZ",
         "502 not implemented", TFtpRequest::QuoteAsync, 502, "-", -1},
        {"user 332 is a failure", [](TFtpClient& f) { f.SetUserName("u"); },
         [](TFtpClient& f) { f.UserAsync(); }, "USER u", "332 odd", TFtpRequest::UserAsync, 332,
         "-", -1},
    };
    ScriptedFtpServer server;
    server.Reply("220 Ready");
    for (const auto& c : cases) server.Expect(c.command).Reply(c.reply);
    server.Start();
    Open(server);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.setup(ftp);
        ExpectRequest([&] { c.op(ftp); }, c.rq, c.error);
        EXPECT_EQ(ftp.LastResponse(), c.reply);
        EXPECT_EQ(ftp.StatusCode(), ParseNumber(c.reply));
        EXPECT_EQ(ftp.State(), esReady);
        // Each request reports its own error text, never one left from an earlier request.
        EXPECT_EQ(ftp.ErrorMessage(), c.error != 0 ? c.reply : "");
        if (c.dirResult != "-") {
            EXPECT_EQ(ftp.DirResult(), c.dirResult);
        }
        if (c.sizeResult >= 0) {
            EXPECT_EQ(ftp.SizeResult(), c.sizeResult);
        }
        ftp.SetHostDirName("");
    }
    EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
    EXPECT_TRUE(Displayed("> PWD"));
    EXPECT_TRUE(Displayed("< 257 \"/a \"\"b\"\"\" is current"));
}

TEST_F(FtpRequests, LoginDialogues) {
    struct Case {
        const char* name;
        std::string userReply;
        std::string passReply;  // "" when no PASS may be sent
        uint16_t error;
    };
    const Case cases[] = {
        {"password asked", "331 Password required", "230 Logged in", 0},
        {"no password needed", "230 Logged in", "", 0},
        {"wrong password", "331 Password required", "530 Login incorrect.", 530},
        {"user refused", "530 Not allowed", "", 530},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("USER joe").Reply(c.userReply);
        if (!c.passReply.empty()) server.Expect("PASS pw").Reply(c.passReply);
        server.Start();
        Target(server);
        ftp.SetUserName("joe");
        ftp.SetPassWord("pw");
        sessionClosed = 0;
        display.clear();
        ExpectRequest([&] { ftp.ConnectAsync(); }, TFtpRequest::ConnectAsync, c.error);
        if (c.error != 0) {
            EXPECT_EQ(ftp.ErrorMessage(), c.passReply.empty() ? c.userReply : c.passReply);
        }
        EXPECT_TRUE(ftp.Connected());  // a refused login keeps the session
        EXPECT_EQ(sessionClosed, 0);
        PumpFor(30);
        Lines expected = {"USER joe"};
        if (!c.passReply.empty()) expected.push_back("PASS pw");
        EXPECT_EQ(server.Received(), expected);
        EXPECT_TRUE(Displayed("> PASS pw") == !c.passReply.empty());
        ftp.AbortSession();
    }
}

TEST_F(FtpRequests, AFailedStepEndsTheCompoundAndItsLeftoversNeverRun) {
    ScriptedFtpServer server;
    server.Reply("220 Ready")
        .Expect("RNFR a")
        .Reply("550 No such file")
        .Expect("NOOP")
        .Reply("200 ok")
        .Expect("RNFR c")
        .Reply("350 ready")
        .Expect("RNTO d")
        .Reply("250 renamed");
    server.Start();
    Open(server);
    ftp.SetHostFileName("a");
    ftp.SetLocalFileName("b");
    ExpectRequest([&] { ftp.RenAsync(); }, TFtpRequest::RenAsync, 550);
    EXPECT_EQ(ftp.ErrorMessage(), "550 No such file");
    ftp.SetLocalFileName("NOOP");
    ASSERT_EQ(Start([&] { ftp.QuoteAsync(); }), "");
    ASSERT_TRUE(WaitNextDone());
    EXPECT_EQ(dones.back().error, 0);
    ftp.SetHostFileName("c");
    ftp.SetLocalFileName("d");
    ExpectRequest([&] { ftp.RenAsync(); }, TFtpRequest::RenAsync, 0);
    EXPECT_TRUE(ftp.ErrorMessage().empty());  // a compound request starts with a clean slate
    PumpFor(30);
    EXPECT_EQ(server.Received(), (Lines{"RNFR a", "NOOP", "RNFR c", "RNTO d"}));
}

TEST_F(FtpRequests, RawQuitStatAndAborGoOutWhileBusy) {
    for (const char* raw : {"QUIT", "STAT", "ABOR"}) {
        SCOPED_TRACE(raw);
        ScriptedFtpServer server;
        server.Reply("220 Ready")
            .Expect("CWD /slow")
            .Expect(raw)
            .Reply("250 ok")
            .Reply("211 status");
        server.Start();
        Open(server);
        ftp.SetHostDirName("/slow");
        ASSERT_EQ(Start([&] { ftp.CwdAsync(); }), "");
        ftp.SetLocalFileName(raw);
        TakeOver([&] { ftp.QuoteAsync(); });
        ASSERT_TRUE(WaitNextDone());
        EXPECT_EQ(dones.back().rq, TFtpRequest::QuoteAsync);
        EXPECT_EQ(dones.back().error, 0);
        ASSERT_TRUE(PumpUntil([&] { return Displayed("< 211 status"); }));
        EXPECT_EQ(server.Received(), (Lines{"CWD /slow", raw}));
        ftp.AbortSession();
        display.clear();
    }
}

TEST_F(FtpRequests, OwnSessionCompoundsReportTheReplyBeforeQuit) {
    struct Case {
        const char* name;
        std::function<void()> op;
        std::string dir;
        Lines dialogue;  // command, reply, command, reply ...
        TFtpRequest rq;
        std::string last;
    };
    const Case cases[] = {
        {"FileSizeAsync",
         [&] { ftp.FileSizeAsync(); },
         "/pub",
         {"CWD /pub", "250 ok", "SIZE f", "213 16"},
         TFtpRequest::SizeAsync,
         "213 16"},
        {"SystemAsync",
         [&] { ftp.SystemAsync(); },
         "/ignored",
         {"SYST", "215 UNIX Type: L8"},
         TFtpRequest::SystemAsync,
         "215 UNIX Type: L8"},
        {"MkdirAsync without a directory",
         [&] { ftp.MkdirAsync(); },
         "",
         {"MKD f", "257 \"/f\" made"},
         TFtpRequest::MkdirAsync,
         "257 \"/f\" made"},
        {"RmdirAsync",
         [&] { ftp.RmdirAsync(); },
         "/d",
         {"CWD /d", "250 ok", "RMD f", "250 ok"},
         TFtpRequest::RmdirAsync,
         "250 ok"},
        {"DeleteAsync",
         [&] { ftp.DeleteAsync(); },
         "",
         {"DELE f", "250 gone"},
         TFtpRequest::DeleteAsync,
         "250 gone"},
        {"RenameAsync",
         [&] { ftp.RenameAsync(); },
         "",
         {"RNFR f", "350 go on", "RNTO g", "250 done"},
         TFtpRequest::RenameAsync,
         "250 done"},
        {"DoQuoteAsync",
         [&] { ftp.DoQuoteAsync(); },
         "",
         {"g", "200 quoted"},
         TFtpRequest::DoQuoteAsync,
         "200 quoted"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("USER u").Reply("331 pw").Expect("PASS p").Reply("230 in");
        for (size_t i = 0; i + 1 < c.dialogue.size(); i += 2)
            server.Expect(c.dialogue[i]).Reply(c.dialogue[i + 1]);
        server.Expect("QUIT").Reply("221 Bye");
        server.Start();
        Target(server);
        ftp.SetUserName("u");
        ftp.SetPassWord("p");
        ftp.SetHostDirName(c.dir);
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName("g");
        sessionClosed = 0;
        ExpectRequest(c.op, c.rq, 0);
        EXPECT_EQ(ftp.LastResponse(), c.last);
        EXPECT_EQ(ftp.StatusCode(), ParseNumber(c.last));
        EXPECT_EQ(sessionClosed, 1);
        EXPECT_FALSE(ftp.Connected());
        EXPECT_EQ(ftp.State(), esReady);
        EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
        EXPECT_TRUE(Displayed("< 221 Bye"));
    }
    EXPECT_EQ(ftp.SizeResult(), 16);
}

TEST_F(FtpRequests, AStepThatRefusesToStartEndsTheRequest) {
    // An empty UserName met at the User step, after the greeting.
    ScriptedFtpServer server;
    server.Reply("220 Ready");
    server.Start();
    Target(server);
    ftp.SetUserName("");
    ExpectRequest([&] { ftp.ConnectAsync(); }, TFtpRequest::ConnectAsync, 500);
    EXPECT_EQ(dones.back().errorMessage, "500 UserName emtpy");
    EXPECT_EQ(dones.back().state, esReady);
    EXPECT_TRUE(ftp.Connected());
    PumpFor(30);
    EXPECT_TRUE(server.Received().empty());

    // A data step that refuses (no local file named), met after the login of its own
    // session and the PORT step: the request ends with the refusal, nothing more is sent.
    ScriptedFtpServer own;
    own.Reply("220 Ready").Expect("USER u").Reply("230 in").Expect("TYPE I").Reply("200 ok");
    own.Expect("PORT 127,0,0,1,*").Reply("200 ok");
    own.Start();
    ftp.AbortSession();
    Target(own);
    ftp.SetUserName("u");
    ftp.SetLocalFileName("");
    ASSERT_EQ(Start([&] { ftp.AppendFileAsync(); }), "");
    ASSERT_TRUE(WaitNextDone());
    EXPECT_EQ(dones.back().rq, TFtpRequest::TransmitAsync);
    EXPECT_EQ(dones.back().error, 500);
    EXPECT_EQ(dones.back().errorMessage, "500 LocalFileName empty");
    EXPECT_EQ(ftp.State(), esReady);
    EXPECT_TRUE(own.Mismatches().empty()) << own.Mismatches().front();
    ftp.AbortSession();

    // The same kind of refusal as the first step of a request leaves through the call.
    ScriptedFtpServer third;
    third.Reply("220 Ready");
    third.Start();
    EXPECT_EQ(Start([&] { ftp.DirAsync(); }), "FTP component not connected");
    EXPECT_EQ(ftp.State(), esReady);
    Open(third);
    ftp.SetLocalFileName("NOOP");
    EXPECT_EQ(Start([&] { ftp.QuoteAsync(); }), "");  // the engine is usable at once
    ftp.AbortSession();
}

TEST_F(FtpRequests, AbortSessionDuringACompoundReportsOperationAborted) {
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("USER u").Reply("331 pw").Expect("PASS p");
    server.Start();
    Target(server);
    ftp.SetUserName("u");
    ftp.SetPassWord("p");
    ASSERT_EQ(Start([&] { ftp.ConnectAsync(); }), "");
    ASSERT_TRUE(PumpUntil([&] { return server.Received().size() == 2; }));
    ftp.AbortSession();
    ASSERT_TRUE(WaitNextDone());
    EXPECT_EQ(dones.back().rq, TFtpRequest::ConnectAsync);
    EXPECT_EQ(dones.back().error, 426);
    EXPECT_EQ(ftp.ErrorMessage(), "426 Operation aborted.");
    EXPECT_EQ(sessionClosed, 1);
    EXPECT_EQ(ftp.State(), esReady);
}

TEST_F(FtpRequests, ThroughAnFtpProxyTheLoginNamesTheTargetHost) {
    struct Case {
        std::string port;
        std::string user;
    };
    const Case cases[] = {
        {"2121", "USER joe@ftp.example.com:2121"},
        {"FTP", "USER joe@ftp.example.com"},
        {"21", "USER joe@ftp.example.com"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        ScriptedFtpServer proxy;
        proxy.Reply("220 Proxy ready").Expect(c.user).Reply("230 in");
        proxy.Start();
        ftp.SetConnectionType(ftpProxy);
        ftp.SetPassive(false);
        EXPECT_TRUE(ftp.Passive());  // only direct connections can be active
        ftp.SetProxyServer("127.0.0.1");
        ftp.SetProxyPort(proxy.PortText());
        ftp.SetHostName("ftp.example.com");  // never looked up: the proxy is
        ftp.SetPort(c.port);
        ftp.SetUserName("joe");
        ExpectRequest([&] { ftp.ConnectAsync(); }, TFtpRequest::ConnectAsync, 0);
        EXPECT_TRUE(proxy.Mismatches().empty()) << proxy.Mismatches().front();
        ftp.AbortSession();
    }
}

// The data-connection layer plugs in by overriding the data steps; these stand-ins send
// the verbs on the control connection only, to show the step order and the reports.
class StandInDataClient : public TFtpClient {
  public:
    void PortAsync() override {
        IssueCommand(TFtpRequest::PortAsync, TFtpStep::Port, "PORT 127,0,0,1,4,1", {200, 227});
    }
    void ListCmdAsync() override {
        IssueCommand(TFtpRequest::DirAsync, TFtpStep::Dir, "LIST", {226});
    }
    void AppeCmdAsync() override {
        IssueCommand(TFtpRequest::AppendAsync, TFtpStep::Append, "APPE " + HostFileName(), {226});
    }
};

class FtpDataSeams : public EngineFixture<StandInDataClient> {};

TEST_F(FtpDataSeams, CompoundsRunDataStepsInOrderAndReportTheirOwnValue) {
    struct Case {
        const char* name;
        std::function<void()> op;
        Lines dialogue;
        TFtpRequest rq;
        std::string last;
    };
    const Case cases[] = {
        {"DirectoryAsync",
         [&] { ftp.DirectoryAsync(); },
         {"CWD /pub", "250 ok", "PORT 127,0,0,1,4,1", "200 ok", "LIST", "226 Transfer complete"},
         TFtpRequest::DirectoryAsync,
         "226 Transfer complete"},
        {"AppendFileAsync",
         [&] { ftp.AppendFileAsync(); },
         {"CWD /pub", "250 ok", "TYPE I", "200 ok", "PORT 127,0,0,1,4,1", "200 ok", "APPE f",
          "226 Appended"},
         TFtpRequest::TransmitAsync,
         "226 Appended"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("USER u").Reply("230 in");
        for (size_t i = 0; i + 1 < c.dialogue.size(); i += 2)
            server.Expect(c.dialogue[i]).Reply(c.dialogue[i + 1]);
        server.Expect("QUIT").Reply("221 Bye").Close();
        server.Start();
        Target(server);
        ftp.SetUserName("u");
        ftp.SetHostDirName("/pub");
        ftp.SetHostFileName("f");
        ExpectRequest(c.op, c.rq, 0);
        EXPECT_EQ(ftp.LastResponse(), c.last);
        EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
    }
}

}  // namespace
}  // namespace tarnwick::ftp

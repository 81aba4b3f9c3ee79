// Transfers against the scripted server: the completion rule, the PASV and PORT texts,
// malformed PASV replies, EPSV when chosen (its fallback to PASV, hostile replies), the local
// file's fate when a download is refused, restart offsets, the line display; and the pure pieces
// (PASV port, PORT text, statistics line, line splitting, share flags) as tables.
#include <arpa/inet.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/ftp/FtpTestKit.h"
#include "tests/support/FakeNameService.h"

namespace tarnwick::ftp {
namespace {

using testkit::EngineFixture;
using testkit::PumpFor;
using testkit::PumpUntil;
using testkit::ScriptedFtpServer;
using Lines = std::vector<std::string>;

// ---- the pure pieces ------------------------------------------------------------------------

TEST(FtpTransferPieces, PasvRepliesGiveTheirPortOrNone) {
    struct Case {
        std::string reply;
        bool ok;
        uint16_t port;
    };
    const Case cases[] = {
        {"227 Entering Passive Mode (10,9,8,7,19,137)", true, 5001},
        {"227 Entering Passive Mode (127,0,0,1,0,21).", true, 21},
        {"227 ok ( 1, 2, 3, 4, 255, 255 )", true, 65535},
        // Without parentheses: the first run of exactly six numbers.
        {"227 Entering Passive Mode 10,9,8,7,19,137", true, 5001},
        {"227 Entering Passive Mode 10,9,8,7,19,137.", true, 5001},
        {"227 Mode 3, then =10, 9,8,7,0,21 ok", true, 21},
        {"227 Entering Passive Mode 10,9,8,7,19", false, 0},
        {"227 Entering Passive Mode 10,9,8,7,19,137,1", false, 0},
        {"227 Entering Passive Mode 10,9,8,7,19,256", false, 0},
        {"227 Mode 300,1,2,3,4,5", false, 0},
        {"227 Entering Passive Mode (10,9,8,7,19)", false, 0},
        {"227 Entering Passive Mode (10,9,8,7,19,137,1)", false, 0},
        {"227 Entering Passive Mode (10,9,8,7,19,256)", false, 0},
        {"227 Entering Passive Mode (10,9,8,7,19,x)", false, 0},
        {"227 Entering Passive Mode (10,9,8,7,19,137", false, 0},
        {"227 Entering Passive Mode (,,,,,)", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        uint16_t port = 0;
        EXPECT_EQ(ParsePasvPort(c.reply, port), c.ok) << c.reply;
        if (c.ok) {
            EXPECT_EQ(port, c.port) << c.reply;
        }
    }
}

TEST(FtpTransferPieces, PortTextNamesTheControlConnectionsLocalAddress) {
    in_addr local{};
    ::inet_pton(AF_INET, "10.1.2.3", &local);
    EXPECT_EQ(PortCommandText("192.0.2.7", local, 5001), "PORT 10,1,2,3,19,137");
    EXPECT_EQ(PortCommandText("127.0.0.1", local, 258), "PORT 127,0,0,1,1,2");
    ::inet_pton(AF_INET, "255.0.128.1", &local);
    EXPECT_EQ(PortCommandText("192.0.2.7", local, 65535), "PORT 255,0,128,1,255,255");
}

TEST(FtpTransferPieces, EpsvRepliesGiveTheirPortOrWhatIsWrong) {
    struct Case {
        std::string reply;
        uint16_t port;  // 0: refused with problem
        std::string problem;
    };
    const std::string noParens = "no (|||port|) in the reply";
    const std::string noDelimiter = "no usable delimiter in the reply";
    const std::string fields = "the reply's fields are not |||port|";
    const std::string notNumber = "the reply's port is not a number";
    const std::string over = "the reply's port is over 65535";
    const Case cases[] = {
        {"229 Entering Extended Passive Mode (|||6446|)", 6446, ""},
        {"229 ok (!!!21!)", 21, ""},
        {"229 (|||65535|).", 65535, ""},
        {"229 Entering Extended Passive Mode |||6446|", 0, noParens},
        {"229 Entering Extended Passive Mode (|||6446|", 0, noParens},
        {"", 0, noParens},
        {"229 ()", 0, noDelimiter},
        {"229 ( 6446 )", 0, noDelimiter},
        {"229 (1116461)", 0, noDelimiter},
        {"229 (||6446|)", 0, fields},
        {"229 (|||6446)", 0, fields},
        {"229 (|1|2|6446|)", 0, fields},
        {"229 (||||)", 0, "the reply names no port"},
        {"229 (|||0|)", 0, "the reply names port 0"},
        {"229 (|||65536|)", 0, over},
        {"229 (|||99999999999999999999999999|)", 0, over},
        {"229 (|||12a|)", 0, notNumber},
        {"229 (|||-1|)", 0, notNumber},
        {"229 (|||6446|6446|)", 0, notNumber},
    };
    for (const auto& c : cases) {
        uint16_t port = 0;
        EXPECT_EQ(ParseEpsvPort(c.reply, port), c.problem) << c.reply;
        if (c.problem.empty()) {
            EXPECT_EQ(port, c.port) << c.reply;
        }
    }
    EXPECT_EQ(EprtCommandText(true, "::1", 5001), "EPRT |2|::1|5001|");
    EXPECT_EQ(EprtCommandText(false, "10.1.2.3", 65535), "EPRT |1|10.1.2.3|65535|");
}

TEST(FtpTransferPieces, StatisticsLine) {
    struct Case {
        int64_t bytes;
        uint64_t ms;
        std::string text;
    };
    const Case cases[] = {
        {100000, 2500, "100000 bytes received/sent in 2 seconds (40000 Bytes/sec)"},
        {1000, 3, "1000 bytes received/sent in 0 seconds (333333 Bytes/sec)"},
        {40000, 1000, "40000 bytes received/sent in 1 seconds (40000 Bytes/sec)"},
        {30000, 7, "30000 bytes received/sent in 0 seconds (4285714 Bytes/sec)"},
        {5, 0, "5 bytes received/sent in 0 seconds"},
        // Slower than a byte a millisecond, and past 4 GiB: exact, not truncated to 0.
        {40000, 50000, "40000 bytes received/sent in 50 seconds (800 Bytes/sec)"},
        {5000000000LL, 2000, "5000000000 bytes received/sent in 2 seconds (2500000000 Bytes/sec)"},
    };
    for (const auto& c : cases) EXPECT_EQ(TransferStatsText(c.bytes, c.ms), c.text);
}

TEST(FtpTransferPieces, LinesSurviveBlockBoundaries) {
    struct Case {
        const char* name;
        Lines blocks;
        Lines lines;
    };
    const Case cases[] = {
        {"one block", {"a\r\nb\r\n"}, {"a", "b"}},
        {"a line cut in two", {"dr-x fi", "le.txt\r\nnext\r\n"}, {"dr-x file.txt", "next"}},
        {"CR LF cut between blocks", {"a\r", "\nb\n"}, {"a", "b"}},
        {"empty lines skipped", {"\r\n\r\na\n\n", "\nb"}, {"a", "b"}},
        {"last line without an end", {"a\r\nta", "il"}, {"a", "tail"}},
    };
    for (const auto& c : cases) {
        LineSplitter splitter;
        Lines got;
        auto sink = [&](std::string& line) { got.push_back(line); };
        for (const auto& b : c.blocks) splitter.Feed(b.data(), b.size(), sink);
        splitter.Flush(sink);
        EXPECT_EQ(got, c.lines) << c.name;
    }
}

TEST(FtpTransferPieces, ShareModesMapToFlagsAndBack) {
    const std::pair<TFtpShareMode, int> table[] = {{ftpShareCompat, 0},
                                                   {ftpShareExclusive, 16},
                                                   {ftpShareDenyWrite, 32},
                                                   {ftpShareDenyRead, 48},
                                                   {ftpShareDenyNone, 64}};
    for (const auto& [mode, flags] : table) {
        EXPECT_EQ(ShareModeFlags(mode), flags);
        EXPECT_EQ(ShareModeFromFlags(flags), mode);
    }
    EXPECT_EQ(ShareModeFromFlags(80), ftpShareExclusive);
    TFtpClient ftp;
    ftp.SetShareMode(static_cast<TFtpShareMode>(9));
    EXPECT_EQ(ftp.ShareMode(), ftpShareExclusive);
}

TEST(FtpTransferPieces, AnExclusiveLockRefusesASecondOpener) {
    char templ[] = "/tmp/tarnwick-lock-XXXXXX";
    const int fd = ::mkstemp(templ);
    ASSERT_GE(fd, 0);
    ::close(fd);
    LocalFile first;
    ASSERT_TRUE(first.Open(templ, LocalFile::Access::Write, ftpShareExclusive));
    LocalFile second;
    EXPECT_FALSE(second.Open(templ, LocalFile::Access::Create, ftpShareDenyWrite));
    EXPECT_TRUE(second.Open(templ, LocalFile::Access::Read, ftpShareDenyNone));
    first.Close();
    EXPECT_TRUE(second.Open(templ, LocalFile::Access::Read, ftpShareExclusive));
    ::unlink(templ);
}

// ---- dialogues ------------------------------------------------------------------------------

class FtpTransfer : public EngineFixture<> {
  protected:
    void SetUp() override {
        EngineFixture<>::SetUp();
        char templ[] = "/tmp/tarnwick-xfer-unit-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir = templ;
    }
    void TearDown() override {
        EngineFixture<>::TearDown();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string Local(const std::string& name) const { return dir + "/" + name; }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void Write(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    }

    // A session in passive mode on a server whose script starts with the greeting.
    void OpenPassive(ScriptedFtpServer& server) {
        server.Start();
        ftp.SetPassive(true);
        Open(server);
    }

    bool StartsWithDisplayed(const std::string& prefix) const {
        for (const auto& d : display)
            if (d.rfind(prefix, 0) == 0) return true;
        return false;
    }

    std::string dir;
};

TEST_F(FtpTransfer, ADownloadEndsWhenBothTheReplyAndTheCloseHaveCome) {
    for (const bool replyFirst : {true, false}) {
        SCOPED_TRACE(replyFirst ? "226 before the close" : "226 after the close");
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("PASV").Reply(server.PasvReplyText("10,9,8,7"));
        server.AcceptData().Expect("RETR f").Reply("150 Opening").SendData("hello");
        if (replyFirst) {
            server.Reply("226 Done").Pause(300).CloseData();
        } else {
            server.CloseData().Pause(300).Reply("226 Done");
        }
        OpenPassive(server);
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local("f"));
        const size_t before = dones.size();
        ASSERT_EQ(Start([&] { ftp.GetAsync(); }), "");
        // The first of the two events has come: the transfer is not over yet.
        ASSERT_TRUE(PumpUntil([&] { return Displayed("< 150 Opening"); }));
        PumpFor(150);
        EXPECT_EQ(Displayed("< 226 Done"), replyFirst);
        EXPECT_EQ(dones.size(), before);
        EXPECT_EQ(ftp.State(), esAwaitingReply);
        ASSERT_TRUE(WaitNextDone());
        EXPECT_EQ(dones.back().rq, TFtpRequest::GetAsync);
        EXPECT_EQ(dones.back().error, 0) << ftp.ErrorMessage();
        EXPECT_EQ(Read(Local("f")), "hello");
        EXPECT_TRUE(StartsWithDisplayed("! 5 bytes received/sent in 0 seconds"));
        EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
        ftp.AbortSession();
        display.clear();
    }
}

TEST_F(FtpTransfer, PassiveConnectsToThePortOfTheReplyAtTheControlAddress) {
    std::unique_ptr<ScriptedFtpServer> server;
    try {
        server = std::make_unique<ScriptedFtpServer>(5001);
    } catch (const std::exception&) {
        GTEST_SKIP() << "port 5001 is taken on this machine";
    }
    // The four address numbers say somewhere else; the data connection still goes to the
    // address the control connection was made to.
    server->Reply("220 Ready").Expect("PASV").Reply("227 Entering Passive Mode (10,9,8,7,19,137)");
    server->AcceptData().Expect("LIST").Reply("150 Here").SendData("x\r\n").CloseData();
    server->Reply("226 Done");
    OpenPassive(*server);
    ftp.SetLocalFileName(Local("list"));
    ExpectRequest([&] { ftp.DirAsync(); }, TFtpRequest::DirAsync, 0);
    EXPECT_EQ(ftp.PasvReply(), "227 Entering Passive Mode (10,9,8,7,19,137)");
    EXPECT_EQ(Read(Local("list")), "x\r\n");
}

TEST_F(FtpTransfer, ActiveModeSendsPortForTheLoopbackControlConnection) {
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("PORT 127,0,0,1,*").Reply("200 PORT ok");
    // The server connects and sends its first bytes before its 150 reply.
    server.Expect("NLST").ConnectData().SendData("a\r\n").Pause(100).Reply("150 Here");
    server.SendData("b\r\n").CloseData().Reply("226 Done");
    server.Start();
    Open(server);
    ftp.SetLocalFileName(Local("names"));
    ExpectRequest([&] { ftp.LsAsync(); }, TFtpRequest::LsAsync, 0);
    EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
    EXPECT_NE(server.ActivePort(), 0);
    EXPECT_EQ(Read(Local("names")), "a\r\nb\r\n");
}

TEST_F(FtpTransfer, UnusablePasvRepliesEndTheRequestWithAClearError) {
    const std::pair<std::string, std::string> cases[] = {
        {"227 Entering Passive Mode 10,9,8,7,19",
         "500 PASV reply without six numbers in parentheses: "},
        {"227 Entering Passive Mode (10,9,8,7,19)",
         "500 PASV reply without six numbers in parentheses: "},
        {"227 Entering Passive Mode (10,9,8,7,0,0)",
         "500 PASV reply without six numbers in parentheses: "},
        {"200 PASV ok", "500 PASV answered without a 227 reply: "},
    };
    Write(Local("keep"), "old bytes");
    for (const auto& [reply, text] : cases) {
        SCOPED_TRACE(reply);
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("PASV").Reply(reply);
        OpenPassive(server);
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local("keep"));
        ExpectRequest([&] { ftp.GetAsync(); }, TFtpRequest::GetAsync, 500);
        EXPECT_EQ(ftp.ErrorMessage(), text + reply);
        EXPECT_EQ(ftp.State(), esReady);
        PumpFor(50);
        EXPECT_EQ(server.Received(), Lines{"PASV"});  // no RETR went out
        EXPECT_EQ(Read(Local("keep")), "old bytes");
        ftp.AbortSession();
    }
}

TEST_F(FtpTransfer, PassiveConnectsToTheAddressTheControlConnectionReached) {
    // The name's first address refuses (nothing listens on 127.0.0.2); the control connection
    // is made to the second, and so is the data connection.
    tarnwick::testing::ScopedFakeNameService names;
    names->AddHost("twice.test", {"127.0.0.2", "127.0.0.1"});
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("PASV").Reply(server.PasvReplyText());
    server.AcceptData().Expect("LIST").Reply("150 Here").SendData("x\r\n").CloseData();
    server.Reply("226 Done");
    server.Start();
    ftp.SetPassive(true);
    ftp.SetHostName("twice.test");
    ftp.SetPort(server.PortText());
    ExpectRequest([&] { ftp.OpenAsync(); }, TFtpRequest::OpenAsync, 0);
    ftp.SetLocalFileName(Local("list"));
    ExpectRequest([&] { ftp.DirAsync(); }, TFtpRequest::DirAsync, 0);
    EXPECT_EQ(Read(Local("list")), "x\r\n");
}

// ---- EPSV chosen on an IPv4 control connection ------------------------------------------

std::string EpsvReplyText(const ScriptedFtpServer& server) {
    return "229 Entering Extended Passive Mode (|||" + std::to_string(server.DataPort()) + "|)";
}

constexpr const char* kEpsvFallbackNotice =
    "! EPSV not understood by the server: PASV for the rest of the session";

TEST_F(FtpTransfer, EpsvWhenChosenOpensEveryPassiveDataConnection) {
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("EPSV").Reply(EpsvReplyText(server));
    server.AcceptData().Expect("RETR f").Reply("150 Opening").SendData("hello").CloseData();
    server.Reply("226 Done").Expect("EPSV").Reply(EpsvReplyText(server));
    server.AcceptData().Expect("STOR g").Reply("150 go").ReceiveData().Reply("226 Stored");
    ftp.SetPassiveCommand(TFtpPassiveCommand::Epsv);
    OpenPassive(server);
    ftp.SetHostFileName("f");
    ftp.SetLocalFileName(Local("f"));
    ExpectRequest([&] { ftp.GetAsync(); }, TFtpRequest::GetAsync, 0);
    EXPECT_EQ(Read(Local("f")), "hello");
    Write(Local("g"), "upload");
    ftp.SetHostFileName("g");
    ftp.SetLocalFileName(Local("g"));
    ExpectRequest([&] { ftp.PutAsync(); }, TFtpRequest::PutAsync, 0);
    EXPECT_EQ(server.DataReceived(), "upload");
    EXPECT_EQ(server.Received(), (Lines{"EPSV", "RETR f", "EPSV", "STOR g"}));
    EXPECT_EQ(ftp.PasvReply(), "");  // that is the last 227 reply, and none came
    EXPECT_FALSE(Displayed(kEpsvFallbackNotice));
}

TEST_F(FtpTransfer, EpsvChosenLeavesActiveModeWithPort) {
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("PORT 127,0,0,1,*").Reply("200 PORT ok");
    server.Expect("NLST").ConnectData().Reply("150 Here").SendData("a\r\n").CloseData();
    server.Reply("226 Done");
    server.Start();
    ftp.SetPassiveCommand(TFtpPassiveCommand::Epsv);
    Open(server);
    ftp.SetLocalFileName(Local("names"));
    ExpectRequest([&] { ftp.LsAsync(); }, TFtpRequest::LsAsync, 0);
    EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
    EXPECT_EQ(Read(Local("names")), "a\r\n");
}

TEST_F(FtpTransfer, EpsvNotUnderstoodFallsBackToPasvOnceForTheSession) {
    for (const char* refusal : {"500 'EPSV': command not understood.", "502 Not implemented"}) {
        SCOPED_TRACE(refusal);
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("EPSV").Reply(refusal);
        server.Expect("PASV").Reply(server.PasvReplyText());
        server.AcceptData().Expect("RETR f").Reply("150 Opening").SendData("hello").CloseData();
        server.Reply("226 Done");
        // The next transfer of the session goes straight to PASV.
        server.Expect("PASV").Reply(server.PasvReplyText());
        server.AcceptData().Expect("LIST").Reply("150 Here").SendData("x\r\n").CloseData();
        server.Reply("226 Done");
        ftp.SetPassiveCommand(TFtpPassiveCommand::Epsv);
        OpenPassive(server);
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local("f"));
        ExpectRequest([&] { ftp.GetAsync(); }, TFtpRequest::GetAsync, 0);
        EXPECT_EQ(ftp.ErrorMessage(), "");
        EXPECT_EQ(Read(Local("f")), "hello");
        EXPECT_TRUE(Displayed(kEpsvFallbackNotice));
        ftp.SetHostFileName("");
        ftp.SetLocalFileName(Local("list"));
        ExpectRequest([&] { ftp.DirAsync(); }, TFtpRequest::DirAsync, 0);
        EXPECT_EQ(Read(Local("list")), "x\r\n");
        EXPECT_EQ(server.Received(), (Lines{"EPSV", "PASV", "RETR f", "PASV", "LIST"}));
        ftp.AbortSession();
        display.clear();
    }
}

TEST_F(FtpTransfer, UnusableEpsvRepliesAndOtherRefusalsEndTheRequest) {
    struct Case {
        std::string reply;
        uint16_t error;
        std::string text;  // the error message before the reply's text
    };
    const std::string unusable = "500 EPSV reply unusable (";
    const Case cases[] = {
        {"229 Entering Extended Passive Mode (|||0|)", 500, unusable + "the reply names port 0): "},
        {"229 Entering Extended Passive Mode (|||70000|)", 500,
         unusable + "the reply's port is over 65535): "},
        {"229 Entering Extended Passive Mode", 500, unusable + "no (|||port|) in the reply): "},
        {"229 Entering Extended Passive Mode (|||x|)", 500,
         unusable + "the reply's port is not a number): "},
        {"229 (|1.2.3.4|5000|)", 500, unusable + "the reply's fields are not |||port|): "},
        {"200 EPSV ok", 500, "500 EPSV answered without a 229 reply: "},
        // Only "not understood" falls back; any other refusal is the request's end.
        {"425 Cannot open passive connection", 425, ""},
        {"501 Syntax error", 501, ""},
    };
    Write(Local("keep"), "old bytes");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("EPSV").Reply(c.reply);
        ftp.SetPassiveCommand(TFtpPassiveCommand::Epsv);
        OpenPassive(server);
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local("keep"));
        ExpectRequest([&] { ftp.GetAsync(); }, TFtpRequest::GetAsync, c.error);
        EXPECT_EQ(ftp.ErrorMessage(), c.text + c.reply);
        EXPECT_EQ(ftp.State(), esReady);
        PumpFor(50);
        EXPECT_EQ(server.Received(), Lines{"EPSV"});  // neither PASV nor RETR went out
        EXPECT_EQ(Read(Local("keep")), "old bytes");
        EXPECT_FALSE(Displayed(kEpsvFallbackNotice));
        ftp.AbortSession();
    }
}

TEST_F(FtpTransfer, ARefusedDownloadNeverTouchesTheLocalFile) {
    for (const char* code : {"550 No such file", "450 Busy"}) {
        SCOPED_TRACE(code);
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("PASV").Reply(server.PasvReplyText());
        server.AcceptData().Expect("RETR f").Reply(code).CloseData();
        OpenPassive(server);
        Write(Local("keep"), "old bytes");
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local("keep"));
        ExpectRequest([&] { ftp.GetAsync(); }, TFtpRequest::GetAsync,
                      static_cast<uint16_t>(std::atoi(code)));
        EXPECT_EQ(ftp.ErrorMessage(), code);
        EXPECT_EQ(Read(Local("keep")), "old bytes");
        ftp.AbortSession();
    }
}

TEST_F(FtpTransfer, RestGetResumesOnlyAfter350) {
    struct Case {
        const char* restReply;
        std::string file;
        int64_t firstCount;
    };
    const Case cases[] = {
        {"350 Restarting at 1000", std::string(1000, 'o') + "new", 1000},
        {"200 REST ignored", "new", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.restReply);
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("PASV").Reply(server.PasvReplyText());
        server.Expect("REST 1000").Reply(c.restReply);
        server.AcceptData().Expect("RETR f").Reply("150 go").SendData("new").CloseData();
        server.Reply("226 Done");
        OpenPassive(server);
        Write(Local("f"), std::string(1000, 'o'));
        std::vector<int64_t> counts;
        ftp.OnProgress = [&](TCustomFtpCli*, int64_t count, bool&) { counts.push_back(count); };
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local("f"));
        ExpectRequest([&] { ftp.RestGetAsync(); }, TFtpRequest::RestGetAsync, 0);
        EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
        EXPECT_EQ(Read(Local("f")), c.file);
        ASSERT_FALSE(counts.empty());
        EXPECT_EQ(counts.front(), c.firstCount);
        EXPECT_EQ(ftp.ResumeAt(), 0);
        ftp.OnProgress = nullptr;
        ftp.AbortSession();
    }

    // Without a local file, or with ftpNoAutoResumeAt, no REST goes out.
    for (const bool noAuto : {false, true}) {
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("PASV").Reply(server.PasvReplyText());
        server.AcceptData().Expect("RETR f").Reply("150 go").SendData("all").CloseData();
        server.Reply("226 Done");
        OpenPassive(server);
        if (noAuto) Write(Local("g"), "older");
        ftp.SetOptions(noAuto ? ftpAcceptLF | ftpNoAutoResumeAt : ftpAcceptLF);
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local("g"));
        ExpectRequest([&] { ftp.RestGetAsync(); }, TFtpRequest::RestGetAsync, 0);
        EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
        EXPECT_EQ(Read(Local("g")), "all");
        ftp.AbortSession();
    }
}

TEST_F(FtpTransfer, UploadsSendTheVerbOnceConnectedAndEndAfterTheReply) {
    struct Case {
        const char* name;
        std::string content;
        int64_t resumeAt;
        bool append;
        Lines commands;
        std::string sent;
    };
    const std::string text = "0123456789";
    const Case cases[] = {
        {"empty file", "", 0, false, {"PASV", "STOR f"}, ""},
        {"STOR", text, 0, false, {"PASV", "STOR f"}, text},
        {"APPE", text, 0, true, {"PASV", "APPE f"}, text},
        {"REST then STOR", text, 4, false, {"PASV", "REST 4", "STOR f"}, "456789"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("PASV").Reply(server.PasvReplyText());
        if (c.resumeAt > 0) server.Expect("REST *").Reply("350 ok");
        server.AcceptData().Expect(c.append ? "APPE f" : "STOR f").Reply("150 go");
        server.ReceiveData().Reply("226 Stored");
        OpenPassive(server);
        Write(Local("up"), c.content);
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local("up"));
        ftp.SetResumeAt(c.resumeAt);
        if (c.resumeAt > 0) {
            ExpectRequest([&] { ftp.RestPutAsync(); }, TFtpRequest::RestPutAsync, 0);
        } else if (c.append) {
            ExpectRequest([&] { ftp.AppendAsync(); }, TFtpRequest::AppendAsync, 0);
        } else {
            ExpectRequest([&] { ftp.PutAsync(); }, TFtpRequest::PutAsync, 0);
        }
        EXPECT_EQ(server.Received(), c.commands);
        EXPECT_EQ(server.DataReceived(), c.sent);
        EXPECT_EQ(ftp.LastResponse(), "226 Stored");
        EXPECT_EQ(ftp.ResumeAt(), 0);
        ftp.AbortSession();
    }
}

// Over a slow link a 1 MiB block takes seconds to drain while bytes go out all the time:
// the idle time-out of a waiting call follows the bytes, not the blocks.
TEST_F(FtpTransfer, ASlowUploadThatKeepsMovingIsNotIdle) {
    constexpr int kReadPauseMs = 8;  // 4 KiB per pause: about half a MiB a second
    ScriptedFtpServer server;
    server.SetDataReceiveBuffer(16 * 1024);
    server.Reply("220 Ready").Expect("PASV").Reply(server.PasvReplyText());
    server.AcceptData().Expect("STOR f").Reply("150 go");
    server.ReceiveDataSlowly(kReadPauseMs).Reply("226 Stored");
    OpenPassive(server);
    const std::string content(5 * 256 * 1024, 'u');
    Write(Local("up"), content);
    ftp.SetHostFileName("f");
    ftp.SetLocalFileName(Local("up"));
    // A link's small send buffer (loopback would grow it past the whole file), set before the
    // first block goes out.
    ftp.OnProgress = [&](TCustomFtpCli*, int64_t, bool&) {
        int bytes = 32 * 1024;
        ::setsockopt(ftp.DataSocket().HSocket(), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof(bytes));
    };
    ftp.SetTimeout(1);
    EXPECT_TRUE(Sync([&] { return ftp.RunSync([&] { ftp.PutAsync(); }); })) << ftp.ErrorMessage();
    EXPECT_EQ(server.DataReceived().size(), content.size());
    EXPECT_EQ(ftp.LastResponse(), "226 Stored");
}

TEST_F(FtpTransfer, UploadsThatCannotStartReport426) {
    struct Case {
        const char* name;
        bool cancel;
        std::string file;
        std::string error;
    };
    const Case cases[] = {
        {"cancelled", true, "up", "426 Transmit cancelled by application"},
        {"no local file", false, "missing", "426 Unable to open local file "},
    };
    Write(Local("up"), "data");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("PASV").Reply(server.PasvReplyText());
        OpenPassive(server);
        ftp.OnReadyToTransmit = [&](TCustomFtpCli*, bool& cancel) { cancel = c.cancel; };
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local(c.file));
        ExpectRequest([&] { ftp.PutAsync(); }, TFtpRequest::PutAsync, 426);
        const std::string expected = c.cancel ? c.error : c.error + Local(c.file);
        EXPECT_EQ(ftp.ErrorMessage(), expected);
        EXPECT_TRUE(Displayed("! " + expected));
        PumpFor(50);
        EXPECT_EQ(server.Received(), Lines{"PASV"});
        ftp.AbortSession();
    }
}

TEST_F(FtpTransfer, AnUploadCutByTheServerFailsEvenAfter226) {
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("PASV").Reply(server.PasvReplyText());
    server.AcceptData().Expect("STOR f").Reply("150 go").ResetData().Reply("226 Stored");
    OpenPassive(server);
    Write(Local("up"), std::string(8u << 20, 'u'));
    ftp.SetHostFileName("f");
    ftp.SetLocalFileName(Local("up"));
    ASSERT_EQ(Start([&] { ftp.PutAsync(); }), "");
    ASSERT_TRUE(WaitNextDone());
    EXPECT_NE(dones.back().error, 0);
    EXPECT_EQ(ftp.ErrorMessage().substr(0, 4), "426 ");
}

TEST_F(FtpTransfer, AControlConnectionLostBeforeTheDataCloseFailsTheDownload) {
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("PASV").Reply(server.PasvReplyText());
    server.AcceptData().Expect("RETR f").Reply("150 go").SendData("part").Reply("226 Done");
    server.Pause(100).Close();  // the data connection stays open
    OpenPassive(server);
    ftp.SetHostFileName("f");
    ftp.SetLocalFileName(Local("f"));
    ASSERT_EQ(Start([&] { ftp.GetAsync(); }), "");
    ASSERT_TRUE(WaitNextDone());
    EXPECT_EQ(dones.back().error, kFtpErrAborted);
    EXPECT_EQ(dones.back().errorMessage, "426 Connection closed before the reply");
    EXPECT_FALSE(ftp.RunSync([] {}));  // the result the waiting wrappers read agrees
}

TEST_F(FtpTransfer, AFailedPassiveConnectWaitsForTheVerbsReplyBeforeEnding) {
    // A port nobody listens on: the data connection is refused after RETR went out.
    uint16_t deadPort = 0;
    {
        ScriptedFtpServer probe;
        deadPort = probe.DataPort();
    }
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("PASV");
    server.Reply("227 Entering Passive Mode (127,0,0,1," + std::to_string(deadPort >> 8) + "," +
                 std::to_string(deadPort & 0xFF) + ")");
    server.Expect("RETR f").Pause(100).Reply("425 No data connection");
    server.Expect("PWD").Reply("257 \"/\" is current");
    OpenPassive(server);
    Write(Local("f"), "old bytes");
    ftp.SetHostFileName("f");
    ftp.SetLocalFileName(Local("f"));
    ExpectRequest([&] { ftp.GetAsync(); }, TFtpRequest::GetAsync, 550);
    EXPECT_EQ(ftp.ErrorMessage(), "550 Unable to establish data connection, error #10061");
    EXPECT_EQ(ftp.LastResponse(), "425 No data connection");
    EXPECT_EQ(Read(Local("f")), "old bytes");
    // The 425 belonged to RETR: the next command reads its own reply.
    ExpectRequest([&] { ftp.PwdAsync(); }, TFtpRequest::PwdAsync, 0);
    EXPECT_EQ(ftp.DirResult(), "/");
}

TEST_F(FtpTransfer, TheLineDisplayGetsWholeLines) {
    ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("PASV").Reply(server.PasvReplyText());
    server.AcceptData().Expect("LIST /pub").Reply("150 Here");
    server.SendData("-rw-r--r-- 1 u g 5 Jan 1 2024 al").Pause(50).SendData("pha\r\n\r\nbeta");
    server.CloseData().Reply("226 Done");
    OpenPassive(server);
    Lines lines;
    ftp.OnDisplayFile = [&](TCustomFtpCli*, std::string& line) { lines.push_back(line); };
    ftp.SetDisplayFileFlag(true);
    ftp.SetLocalFileName("");
    ftp.SetHostFileName("/pub");
    ExpectRequest([&] { ftp.DirAsync(); }, TFtpRequest::DirAsync, 0);
    EXPECT_EQ(lines, (Lines{"-rw-r--r-- 1 u g 5 Jan 1 2024 alpha", "beta"}));
}

TEST_F(FtpTransfer, StepsWithoutWhatTheyNeedRefuse) {
    ftp.SetLocalFileName("x");
    EXPECT_EQ(Start([&] { ftp.RetrCmdAsync(); }), "RETR: not connected");
    EXPECT_EQ(Start([&] { ftp.ListCmdAsync(); }), "LIST: not connected");
    EXPECT_EQ(Start([&] { ftp.StorCmdAsync(); }), "STOR/APPE: not connected");
    ScriptedFtpServer server;
    server.Reply("220 Ready");
    server.Start();
    Open(server);
    ftp.SetLocalFileName("");
    EXPECT_EQ(Start([&] { ftp.NlstCmdAsync(); }), "LocalFileName empty");
    EXPECT_EQ(Start([&] { ftp.AppeCmdAsync(); }), "LocalFileName empty");
    ftp.SetLocalFileName(Local("no-such-folder/f"));
    ExpectRequest([&] { ftp.RetrCmdAsync(); }, TFtpRequest::GetAsync, 550);
    EXPECT_EQ(ftp.ErrorMessage(), "550 Unable to open local file " + Local("no-such-folder/f"));
    PumpFor(50);
    EXPECT_TRUE(server.Received().empty());
}

}  // namespace
}  // namespace tarnwick::ftp

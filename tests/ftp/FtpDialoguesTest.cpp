// Dialogues with servers that bend or break the protocol, and commands built from names
// that would break it: what goes on the wire, what the request reports, and whether the
// session is still in step afterwards.
#include <functional>
#include <string>
#include <vector>

#include "tests/ftp/FtpTestKit.h"

namespace tarnwick::ftp {
namespace {

using testkit::EngineFixture;
using testkit::PumpFor;
using testkit::ScriptedFtpServer;
using Lines = std::vector<std::string>;

constexpr const char* kUnsafe = "501 Command holds a line break or NUL";

// `count` lines "<prefix><n>" with CR LF, as one block of bytes.
std::string ManyLines(const std::string& prefix, int count, size_t width = 0) {
    std::string bytes;
    for (int i = 0; i < count; ++i) {
        std::string line = prefix + std::to_string(i);
        if (line.size() < width) line.append(width - line.size(), 'x');
        bytes += line + "\r\n";
    }
    return bytes;
}

// Script steps: "> X" expects the command X, "< X" replies the line X, "= X" sends the bytes
// X as they are, "accept" takes the passive data connection, "data X" sends X on it,
// "closedata" closes it, "close" closes the control connection. "{pasv}" in a reply stands
// for the numbers of the server's data listener, without parentheses.
void Build(ScriptedFtpServer& server, const Lines& script) {
    const std::string pasv = "127,0,0,1," + std::to_string(server.DataPort() >> 8) + "," +
                             std::to_string(server.DataPort() & 0xFF);
    for (std::string step : script) {
        const size_t mark = step.find("{pasv}");
        if (mark != std::string::npos) step.replace(mark, 6, pasv);
        if (step.rfind("> ", 0) == 0) {
            server.Expect(step.substr(2));
        } else if (step.rfind("< ", 0) == 0) {
            server.Reply(step.substr(2));
        } else if (step.rfind("= ", 0) == 0) {
            server.Send(step.substr(2));
        } else if (step.rfind("data ", 0) == 0) {
            server.SendData(step.substr(5));
        } else if (step == "accept") {
            server.AcceptData();
        } else if (step == "closedata") {
            server.CloseData();
        } else if (step == "close") {
            server.Close();
        } else {
            ADD_FAILURE() << "bad script step " << step;
        }
    }
}

class FtpDialogues : public EngineFixture<> {};

TEST_F(FtpDialogues, TheEngineStaysInStepAndSendsOnlyWholeCommands) {
    using Op = std::function<void(TFtpClient&)>;
    struct Case {
        const char* name;
        bool open;  // the session is opened first ("220 Ready"); else the script greets
        Op setup;
        Op op;
        Lines script;
        uint16_t error;
        std::string message;  // ErrorMessage at the report
        std::string last;     // LastResponse after it, "-" unchecked
        Lines received;       // every command the server got for the request
        std::string shown;    // a line the log must show, "" none
        bool alive;           // still connected, and the next command gets its own reply
    };
    auto none = [](TFtpClient&) {};
    auto dir = [](std::string d) { return [d](TFtpClient& f) { f.SetHostDirName(d); }; };
    auto raw = [](std::string t) { return [t](TFtpClient& f) { f.SetLocalFileName(t); }; };
    const Op cwd = [](TFtpClient& f) { f.CwdAsync(); };
    const Op quote = [](TFtpClient& f) { f.QuoteAsync(); };
    const Op open = [](TFtpClient& f) { f.OpenAsync(); };
    const std::string longLine = std::string(4095, 'x');
    const Case cases[] = {
        // Command texts that would split into two commands on the wire.
        {"raw command with CR LF",
         true,
         raw("NOOP\r\nDELE victim"),
         quote,
         {},
         501,
         kUnsafe,
         kUnsafe,
         {},
         "! " + std::string(kUnsafe),
         true},
        {"directory with LF",
         true,
         dir("/a\nDELE victim"),
         cwd,
         {},
         501,
         kUnsafe,
         "-",
         {},
         "",
         true},
        {"file name with NUL",
         true,
         [](TFtpClient& f) {
             f.SetHostFileName({"a\0b", 3});
         },
         [](TFtpClient& f) { f.MkdAsync(); },
         {},
         501,
         kUnsafe,
         "-",
         {},
         "",
         true},
        {"upload named with CR LF: not even PASV goes out",
         true,
         [](TFtpClient& f) {
             f.SetPassive(true);
             f.SetHostFileName("x\r\nDELE victim");
             f.SetLocalFileName("/nonexistent/x");
         },
         [](TFtpClient& f) { f.PutAsync(); },
         {},
         501,
         kUnsafe,
         "-",
         {},
         "",
         true},
        {"own session refused before it connects",
         false,
         [](TFtpClient& f) { f.SetHostFileName("a\r\nRMD b"); },
         [](TFtpClient& f) { f.DeleteAsync(); },
         {"< 220 Ready"},
         501,
         kUnsafe,
         "-",
         {},
         "",
         false},
        {"OnCommand adds a line break",
         true,
         [](TFtpClient& f) {
             f.OnCommand = [](TCustomFtpCli*, std::string& c) {
                 if (c == "PWD") c += "\r\nDELE victim";
             };
         },
         [](TFtpClient& f) { f.PwdAsync(); },
         {},
         501,
         kUnsafe,
         "-",
         {},
         "",
         true},
        // A Telnet IAC byte in a name goes out doubled.
        {"0xFF doubled",
         true,
         dir("/caf\xFF"),
         cwd,
         {"> CWD /caf\xFF\xFF", "< 250 ok"},
         0,
         "",
         "250 ok",
         {"CWD /caf\xFF\xFF"},
         "> CWD /caf\xFF",
         true},
        // Preliminary replies to a single command.
        {"CWD answered 150 then 250",
         true,
         dir("/d"),
         cwd,
         {"> CWD /d", "< 150 hold on", "< 250 ok"},
         0,
         "",
         "250 ok",
         {"CWD /d"},
         "< 150 hold on",
         true},
        {"a raw command's 110 is not its result",
         true,
         raw("SITE X"),
         quote,
         {"> SITE X", "< 110 wait", "< 502 no"},
         502,
         "502 no",
         "502 no",
         {"SITE X"},
         "",
         true},
        // A server that closes on QUIT without a 221.
        {"QUIT answered by a close",
         true,
         none,
         [](TFtpClient& f) { f.QuitAsync(); },
         {"> QUIT", "close"},
         0,
         "",
         "-",
         {"QUIT"},
         "",
         false},
        {"own-session DELE whose QUIT is answered by a close",
         false,
         [](TFtpClient& f) { f.SetHostFileName("f"); },
         [](TFtpClient& f) { f.DeleteAsync(); },
         {"< 220 Ready", "> USER u", "< 230 in", "> DELE f", "< 250 gone", "> QUIT", "close"},
         0,
         "",
         "250 gone",
         {"USER u", "DELE f", "QUIT"},
         "",
         false},
        // Replies without end.
        {"endless multi-line reply",
         true,
         dir("/d"),
         cwd,
         {"> CWD /d", "= " + ManyLines("250-line ", 10001)},
         426,
         "426 Reply longer than 10000 lines",
         "-",
         {"CWD /d"},
         "",
         false},
        {"multi-line reply over 1 MiB",
         true,
         dir("/d"),
         cwd,
         {"> CWD /d", "= " + ManyLines("250-", 1100, 1000)},
         426,
         "426 Reply longer than 1 MiB",
         "-",
         {"CWD /d"},
         "",
         false},
        {"endless greeting",
         false,
         none,
         open,
         {"= " + ManyLines("220-", 10001)},
         426,
         "426 Reply longer than 10000 lines",
         "-",
         {},
         "",
         false},
        {"10000 lines are still one reply",
         true,
         dir("/d"),
         cwd,
         {"> CWD /d", "= " + ManyLines("250-line ", 9999), "< 250 end"},
         0,
         "",
         "250 end",
         {"CWD /d"},
         "",
         true},
        {"a 4095-byte line and silence",
         true,
         dir("/d"),
         cwd,
         {"> CWD /d", "= " + longLine},
         426,
         "426 Reply line longer than 4095 bytes",
         "-",
         {"CWD /d"},
         "",
         false},
        {"a line of 4095 bytes with its LF fits",
         true,
         dir("/d"),
         cwd,
         {"> CWD /d", "= 250 " + std::string(4090, 'y') + "\n"},
         0,
         "",
         "250 " + std::string(4090, 'y'),
         {"CWD /d"},
         "",
         true},
        // Multi-line replies end only at their own code and a blank.
        {"greeting body lines starting with digits",
         false,
         none,
         open,
         {"< 220-Rules:", "< 1. no abuse", "< 2200 not yet", "< 220-still", "< 220 ready"},
         0,
         "",
         "220 ready",
         {},
         "< 1. no abuse",
         true},
        {"reply body holding another code",
         true,
         dir("/d"),
         cwd,
         {"> CWD /d", "< 250-Note", "< 550 not the end", "< 250"},
         0,
         "",
         "250",
         {"CWD /d"},
         "",
         true},
        // Preliminary greetings.
        {"120 greeting then 220",
         false,
         none,
         open,
         {"< 120 in a minute", "< 220 ready"},
         0,
         "",
         "220 ready",
         {},
         "< 120 in a minute",
         true},
        {"120 greeting then 421",
         false,
         none,
         open,
         {"< 120 wait", "< 421 full"},
         421,
         "421 full",
         "421 full",
         {},
         "",
         false},
        // A 227 reply without parentheses.
        {"227 without parentheses",
         true,
         [](TFtpClient& f) {
             f.SetPassive(true);
             f.SetDisplayFileFlag(true);
             f.SetHostFileName("");
         },
         [](TFtpClient& f) { f.DirAsync(); },
         {"> PASV", "< 227 Entering Passive Mode {pasv}", "accept", "> LIST", "< 150 here",
          "data a.txt\r\n", "closedata", "< 226 done"},
         0,
         "",
         "226 done",
         {"PASV", "LIST"},
         "",
         true},
    };
    // One case; a failed assertion ends only its own case.
    auto run = [&](const Case& c) {
        ScriptedFtpServer server;
        if (c.open) server.Reply("220 Ready");
        Build(server, c.script);
        if (c.alive) server.Expect("NOOP").Reply("200 after");
        server.Start();
        ftp.OnCommand = nullptr;
        ftp.SetPassive(false);
        ftp.SetDisplayFileFlag(false);
        ftp.SetUserName("u");
        ftp.SetPassWord("p");
        ftp.SetHostDirName("");
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName("");
        if (c.open) {
            Open(server);
        } else {
            Target(server);
        }
        display.clear();
        c.setup(ftp);
        ASSERT_EQ(Start([&] { c.op(ftp); }), "");
        ASSERT_TRUE(WaitNextDone(8000)) << "no report";
        EXPECT_EQ(dones.back().error, c.error);
        EXPECT_EQ(dones.back().errorMessage, c.message);
        EXPECT_EQ(dones.back().state, esReady);
        if (c.last != "-") {
            EXPECT_EQ(ftp.LastResponse(), c.last);
        }
        if (!c.shown.empty()) {
            EXPECT_TRUE(Displayed(c.shown)) << c.shown;
        }
        Lines received = c.received;
        if (c.alive) {
            ASSERT_TRUE(ftp.Connected());
            ftp.OnCommand = nullptr;
            ftp.SetLocalFileName("NOOP");
            ExpectRequest([&] { ftp.QuoteAsync(); }, TFtpRequest::QuoteAsync, 0);
            EXPECT_EQ(ftp.LastResponse(), "200 after");
            received.push_back("NOOP");
        } else {
            EXPECT_FALSE(ftp.Connected());
            PumpFor(30);
        }
        EXPECT_EQ(server.Received(), received);
        EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        run(c);
        ftp.AbortSession();
        WaitDones(started);  // a request a failed case left open reports now
    }
}

}  // namespace
}  // namespace tarnwick::ftp

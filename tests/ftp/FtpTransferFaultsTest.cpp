// Transfers that stop early or meet a misbehaving peer, over the scripted server: a restart
// offset that must not outlive its transfer, a REST the server did not take, an upload
// connection closed before the server accepted the transfer, bytes sent before the reply
// to RETR, and an active-mode data connection from a host other than the server.
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/ftp/FtpTestKit.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::ftp {
namespace {

using tarnwick::testing::ConnectFromLoopbackAddress;
using tarnwick::testing::RandomBytes;
using tarnwick::testing::ReadableWithin;
using tarnwick::testing::ReadBytes;
using tarnwick::testing::WriteBytes;
using testkit::EngineFixture;
using testkit::PumpFor;
using testkit::PumpUntil;
using testkit::ScriptedFtpServer;
using Lines = std::vector<std::string>;
using Script = std::function<void(ScriptedFtpServer&)>;

constexpr int kReplyGap = 150;  // lets the client see the data side before the next reply
constexpr const char* kIntruder = "127.0.0.3";

class FtpTransferFaults : public EngineFixture<> {
  protected:
    void SetUp() override {
        EngineFixture<>::SetUp();
        char templ[] = "/tmp/tarnwick-xfer-faults-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir = templ;
    }
    void TearDown() override {
        EngineFixture<>::TearDown();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string Local(const std::string& name) const { return dir + "/" + name; }

    // Starts the server (its script begins with the greeting) and opens a session on it.
    void OpenIn(ScriptedFtpServer& server, bool passive) {
        server.Start();
        ftp.SetPassive(passive);
        Open(server);
    }

    // The port the data listener of active mode has (0 when none).
    uint16_t ListenerPort() {
        sockaddr_in bound{};
        int len = sizeof(bound);
        if (ftp.DataSocket().GetSockName(bound, len) != 0) return 0;
        return ntohs(bound.sin_port);
    }

    std::string dir;
};

// A port nobody listens on.
uint16_t DeadPort() {
    ScriptedFtpServer probe;
    return probe.DataPort();
}

std::string PasvFor(uint16_t port) {
    return "227 Entering Passive Mode (127,0,0,1," + std::to_string(port >> 8) + "," +
           std::to_string(port & 0xFF) + ")";
}

TEST_F(FtpTransferFaults, ARestPutThatStopsBeforeStorSendsNothingAndKeepsNoOffset) {
    const uint16_t dead = DeadPort();
    struct Case {
        const char* name;
        Script script;  // from the greeting to where RestPutAsync stops
        const char* localName;
        bool cancel;
        uint16_t error;
        std::string message;  // "" for "426 Unable to open local file <path>"
        Lines commands;
    };
    auto pasvThenRest = [](const std::string& restReply) {
        return [restReply](ScriptedFtpServer& s) {
            s.Expect("PASV").Reply(s.PasvReplyText()).Expect("REST 4").Reply(restReply);
        };
    };
    // After a 350 the server holds the offset for its next STOR: the request clears it.
    const Script acceptedRest = [](ScriptedFtpServer& s) {
        s.Expect("PASV").Reply(s.PasvReplyText()).Expect("REST 4").Reply("350 ok");
        s.Expect("REST 0").Reply("350 Restarting at 0");
    };
    const Case cases[] = {
        {"REST refused",
         pasvThenRest("502 REST not implemented"),
         "up",
         false,
         502,
         "502 REST not implemented",
         {"PASV", "REST 4"}},
        {"REST answered 200",
         pasvThenRest("200 REST ignored"),
         "up",
         false,
         200,
         "200 REST ignored",
         {"PASV", "REST 4"}},
        {"REST answered 202",
         pasvThenRest("202 Superfluous"),
         "up",
         false,
         202,
         "202 Superfluous",
         {"PASV", "REST 4"}},
        {"REST answered 450",
         pasvThenRest("450 Try later"),
         "up",
         false,
         450,
         "450 Try later",
         {"PASV", "REST 4"}},
        {"PASV refused",
         [](ScriptedFtpServer& s) { s.Expect("PASV").Reply("502 No PASV"); },
         "up",
         false,
         502,
         "502 No PASV",
         {"PASV"}},
        {"data connection refused",
         [dead](ScriptedFtpServer& s) {
             s.Expect("PASV").Reply(PasvFor(dead)).Expect("REST 4").Reply("350 ok");
             s.Expect("REST 0").Reply("350 Restarting at 0");
         },
         "up",
         false,
         550,
         "550 Unable to establish data connection, error #10061",
         {"PASV", "REST 4", "REST 0"}},
        {"local file missing",
         acceptedRest,
         "missing",
         false,
         426,
         "",
         {"PASV", "REST 4", "REST 0"}},
        {"cancelled",
         acceptedRest,
         "up",
         true,
         426,
         "426 Transmit cancelled by application",
         {"PASV", "REST 4", "REST 0"}},
    };
    const std::string content = "0123456789";
    WriteBytes(Local("up"), content);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.Reply("220 Ready");
        c.script(server);
        // Then a plain upload, which must send the whole file.
        server.Expect("PASV").Reply(server.PasvReplyText()).AcceptData().Expect("STOR f");
        server.Reply("150 go").ReceiveData().Reply("226 Stored");
        OpenIn(server, true);
        ftp.OnReadyToTransmit = [&](TCustomFtpCli*, bool& cancel) { cancel = c.cancel; };
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local(c.localName));
        ftp.SetResumeAt(4);
        ExpectRequest([&] { ftp.RestPutAsync(); }, TFtpRequest::RestPutAsync, c.error);
        EXPECT_EQ(
            dones.back().errorMessage,
            c.message.empty() ? "426 Unable to open local file " + Local(c.localName) : c.message);
        EXPECT_EQ(ftp.StatusCode(), c.error);  // not the reply to a "REST 0"
        EXPECT_EQ(ftp.ResumeAt(), 0);
        PumpFor(50);
        EXPECT_EQ(server.Received(), c.commands);  // no STOR went out

        ftp.OnReadyToTransmit = nullptr;
        ftp.SetLocalFileName(Local("up"));
        ExpectRequest([&] { ftp.PutAsync(); }, TFtpRequest::PutAsync, 0);
        EXPECT_EQ(server.DataReceived(), content);
        EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
        ftp.AbortSession();
    }
}

// A REST answered 350 whose transfer never sent its verb: the server would apply the offset
// to the next STOR or RETR of the session, so the request clears it ("REST 0") before it
// ends, with its own error and text. The plain transfer after it moves the whole file.
TEST_F(FtpTransferFaults, AnOffsetTheServerTookIsClearedWhenItsTransferNeverRan) {
    enum class Then { Upload, Download, Nothing };
    struct Case {
        const char* name;
        TFtpRequest rq;
        bool passive;
        bool cancel;        // OnReadyToTransmit cancels; else the local file fails
        bool closeOnClear;  // the server closes instead of answering "REST 0"
        Then then;
    };
    const Case cases[] = {
        {"RestPutAsync cancelled, active", TFtpRequest::RestPutAsync, false, true, false,
         Then::Upload},
        {"RestPutAsync without its local file, active", TFtpRequest::RestPutAsync, false, false,
         false, Then::Download},
        {"RestartPutAsync cancelled", TFtpRequest::RestartPutAsync, true, true, false,
         Then::Upload},
        {"RestartPutAsync without its local file", TFtpRequest::RestartPutAsync, true, false, false,
         Then::Download},
        {"RestGetAsync, local file gone", TFtpRequest::RestGetAsync, true, false, false,
         Then::Download},
        {"RestGetAsync, local file gone, active", TFtpRequest::RestGetAsync, false, false, false,
         Then::Upload},
        {"RestartGetAsync, local file gone", TFtpRequest::RestartGetAsync, true, false, false,
         Then::Upload},
        {"the server closes on REST 0", TFtpRequest::RestPutAsync, true, true, true, Then::Nothing},
    };
    const std::string content = "0123456789";
    const std::string remote = "the whole remote file";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool download =
            c.rq == TFtpRequest::RestGetAsync || c.rq == TFtpRequest::RestartGetAsync;
        const bool ownSession =
            c.rq == TFtpRequest::RestartPutAsync || c.rq == TFtpRequest::RestartGetAsync;
        std::filesystem::remove_all(Local("down"));
        WriteBytes(Local("up"), content);
        WriteBytes(Local("down"), "0123");  // a download resumes after its 4 bytes

        ScriptedFtpServer server;
        auto prepare = [&] {
            if (c.passive) {
                server.Expect("PASV").Reply(server.PasvReplyText());
            } else {
                server.Expect("PORT *").Reply("200 ok");
            }
        };
        server.Reply("220 Ready");
        if (ownSession) {
            server.Expect("USER u").Reply("331 Password").Expect("PASS p").Reply("230 In");
            server.Expect("TYPE I").Reply("200 Binary");
        }
        prepare();
        server.Expect("REST 4").Reply("350 Restarting at 4").Expect("REST 0");
        if (c.closeOnClear) {
            server.Close();
        } else {
            server.Reply("350 Restarting at 0");
        }
        prepare();
        if (c.then == Then::Upload) {
            if (c.passive) server.AcceptData();
            server.Expect("STOR f");
            if (!c.passive) server.ConnectData();
            server.Reply("150 go").ReceiveData().Reply("226 Stored");
        } else if (c.then == Then::Download) {
            if (c.passive) server.AcceptData();
            server.Expect("RETR f");
            if (!c.passive) server.ConnectData();
            server.Reply("150 go").SendData(remote).CloseData().Reply("226 Done");
        }
        server.Start();
        ftp.SetPassive(c.passive);
        if (ownSession) {
            Target(server);
            ftp.SetUserName("u");
            ftp.SetPassWord("p");
        } else {
            Open(server);
        }
        ftp.OnReadyToTransmit = [&](TCustomFtpCli*, bool& cancel) { cancel = c.cancel; };
        // A download's local file goes away while its REST is on the wire.
        ftp.OnCommand = [&](TCustomFtpCli*, std::string& cmd) {
            if (!download || cmd != "REST 4") return;
            std::filesystem::remove(Local("down"));
            std::filesystem::create_directory(Local("down"));
        };
        const std::string local = Local(download ? "down" : c.cancel ? "up" : "missing");
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(local);
        if (!download) ftp.SetResumeAt(4);
        const uint16_t error = download ? 550 : 426;
        ExpectRequest(
            [&] {
                switch (c.rq) {
                    case TFtpRequest::RestPutAsync:
                        ftp.RestPutAsync();
                        break;
                    case TFtpRequest::RestartPutAsync:
                        ftp.RestartPutAsync();
                        break;
                    case TFtpRequest::RestGetAsync:
                        ftp.RestGetAsync();
                        break;
                    default:
                        ftp.RestartGetAsync();
                        break;
                }
            },
            c.rq, error);
        const std::string message =
            c.cancel ? "426 Transmit cancelled by application"
                     : std::to_string(error) + " Unable to open local file " + local;
        EXPECT_EQ(dones.back().errorMessage, message);
        EXPECT_EQ(ftp.StatusCode(), error);
        EXPECT_EQ(ftp.ResumeAt(), 0);
        ftp.OnCommand = nullptr;
        ftp.OnReadyToTransmit = nullptr;
        PumpFor(50);
        ASSERT_FALSE(server.Received().empty());
        EXPECT_EQ(server.Received().back(), "REST 0");
        EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();

        if (c.then == Then::Upload) {
            ftp.SetLocalFileName(Local("up"));
            ExpectRequest([&] { ftp.PutAsync(); }, TFtpRequest::PutAsync, 0);
            EXPECT_EQ(server.DataReceived(), content);
        } else if (c.then == Then::Download) {
            ftp.SetLocalFileName(Local("fetched"));
            ExpectRequest([&] { ftp.GetAsync(); }, TFtpRequest::GetAsync, 0);
            EXPECT_EQ(ReadBytes(Local("fetched")), remote);
        } else {
            EXPECT_FALSE(ftp.Connected());
        }
        EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
        ftp.AbortSession();
    }
}

TEST_F(FtpTransferFaults, AnUploadWhoseDataConnectionClosesBeforeThe150Fails) {
    struct Case {
        const char* name;
        bool passive;
        std::string content;
        uint16_t error;
        std::string message;
    };
    const std::string closedEarly = "550 Data connection closed before the transfer started";
    const Case cases[] = {
        {"passive", true, "0123456789", 550, closedEarly},
        {"active", false, "0123456789", 550, closedEarly},
        {"passive, empty file", true, "", 0, ""},
        {"active, empty file", false, "", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.Reply("220 Ready");
        if (c.passive) {
            server.Expect("PASV").Reply(server.PasvReplyText()).AcceptData().Expect("STOR f");
        } else {
            server.Expect("PORT *").Reply("200 ok").Expect("STOR f").ConnectData();
        }
        server.CloseData().Pause(kReplyGap).Reply("150 go").Reply("226 Stored");
        server.Expect("NOOP").Reply("200 still here");
        OpenIn(server, c.passive);
        WriteBytes(Local("up"), c.content);
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local("up"));
        ExpectRequest([&] { ftp.PutAsync(); }, TFtpRequest::PutAsync, c.error);
        EXPECT_EQ(dones.back().errorMessage, c.message);
        EXPECT_EQ(ftp.LastResponse(), "226 Stored");
        // Every reply of the transfer was taken: the next command reads its own.
        ftp.SetLocalFileName("NOOP");
        ExpectRequest([&] { ftp.QuoteAsync(); }, TFtpRequest::QuoteAsync, 0);
        EXPECT_EQ(ftp.LastResponse(), "200 still here");
        EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
        ftp.AbortSession();
    }
}

TEST_F(FtpTransferFaults, BytesBeforeTheReplyToRetrWaitForTheServersAcceptance) {
    // More than the client holds before the reply: part of it stays in the stack meanwhile.
    const std::string early = RandomBytes(80 * 1024, 7);
    const std::string late = RandomBytes(50 * 1024, 8);
    const std::string precious = "0123456789";
    struct Case {
        const char* name;
        bool passive;
        bool resume;
        Script data;  // from the RETR on
        uint16_t error;
        std::string file;
    };
    const Case cases[] = {
        {"refused, passive", true, false,
         [](ScriptedFtpServer& s) {
             s.SendData("server junk").Pause(kReplyGap).Reply("550 No such file").CloseData();
         },
         550, precious},
        {"refused, active", false, false,
         [](ScriptedFtpServer& s) {
             s.ConnectData().SendData("server junk").Pause(kReplyGap);
             s.Reply("550 No such file").CloseData();
         },
         550, precious},
        {"refused, resumed", true, true,
         [](ScriptedFtpServer& s) {
             s.SendData("server junk").Pause(kReplyGap).Reply("550 No such file").CloseData();
         },
         550, precious},
        {"accepted after more than the buffer, data closed first", true, false,
         [&](ScriptedFtpServer& s) {
             s.SendData(early).CloseData().Pause(kReplyGap).Reply("150 go").Reply("226 Done");
         },
         0, early},
        {"accepted after more than the buffer, more after", true, false,
         [&](ScriptedFtpServer& s) {
             s.SendData(early).Pause(kReplyGap).Reply("150 go").SendData(late).CloseData();
             s.Reply("226 Done");
         },
         0, early + late},
        {"accepted, resumed", true, true,
         [](ScriptedFtpServer& s) {
             s.SendData("more").Pause(kReplyGap).Reply("150 go").CloseData().Reply("226 Done");
         },
         0, precious + "more"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.Reply("220 Ready");
        if (c.passive) {
            server.Expect("PASV").Reply(server.PasvReplyText());
        } else {
            server.Expect("PORT *").Reply("200 ok");
        }
        if (c.resume) server.Expect("REST 10").Reply("350 Restarting at 10");
        if (c.passive) server.AcceptData();
        server.Expect("RETR f");
        c.data(server);
        OpenIn(server, c.passive);
        WriteBytes(Local("f"), precious);
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local("f"));
        if (c.resume) {
            ExpectRequest([&] { ftp.RestGetAsync(); }, TFtpRequest::RestGetAsync, c.error);
        } else {
            ExpectRequest([&] { ftp.GetAsync(); }, TFtpRequest::GetAsync, c.error);
        }
        EXPECT_TRUE(ReadBytes(Local("f")) == c.file) << "local file differs";
        EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
        ftp.AbortSession();
    }
}

TEST_F(FtpTransferFaults, ActiveModeRefusesADataConnectionFromAnotherHost) {
    for (const bool upload : {false, true}) {
        SCOPED_TRACE(upload ? "upload" : "download");
        ScriptedFtpServer server;
        server.Reply("220 Ready").Expect("PORT *").Reply("200 ok");
        if (upload) {
            server.Expect("STOR f").ConnectData().Reply("150 go").ReceiveData();
        } else {
            server.Expect("RETR f").ConnectData().Reply("150 go").SendData("good").CloseData();
        }
        server.Reply("226 Done");
        OpenIn(server, false);
        // Another host reaches the listener first: its connection is pending before the
        // server has even read the verb.
        int intruder = -1;
        ftp.OnCommand = [&](TCustomFtpCli*, std::string& cmd) {
            if (cmd.rfind(upload ? "STOR" : "RETR", 0) != 0) return;
            intruder = ConnectFromLoopbackAddress(kIntruder, ListenerPort());
            if (!upload) ::send(intruder, "evil", 4, MSG_NOSIGNAL);
        };
        WriteBytes(Local("up"), "uploaded bytes");
        ftp.SetHostFileName("f");
        ftp.SetLocalFileName(Local(upload ? "up" : "down"));
        if (upload) {
            ExpectRequest([&] { ftp.PutAsync(); }, TFtpRequest::PutAsync, 0);
            EXPECT_EQ(server.DataReceived(), "uploaded bytes");
        } else {
            ExpectRequest([&] { ftp.GetAsync(); }, TFtpRequest::GetAsync, 0);
            EXPECT_EQ(ReadBytes(Local("down")), "good");
        }
        ASSERT_GE(intruder, 0);
        EXPECT_TRUE(Displayed(std::string("! Data connection from ") + kIntruder + " refused"));
        // The intruder was closed without a byte.
        char byte = 0;
        EXPECT_TRUE(ReadableWithin(intruder, 2000) && ::recv(intruder, &byte, 1, 0) <= 0);
        ::close(intruder);
        ftp.OnCommand = nullptr;
        ftp.AbortSession();
    }
}

}  // namespace
}  // namespace tarnwick::ftp

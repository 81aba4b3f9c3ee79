// The engine against a real server (pyftpdlib): login, the single commands a session
// uses, and their effect on the server's disk; transfers that stop before their verb, and
// a data connection from another host in active mode.
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/ftp/FtpTestKit.h"
#include "tests/settings/TempFolder.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::ftp {
namespace {

using tarnwick::testing::ConnectFromLoopbackAddress;
using tarnwick::testing::PyFtpdServer;
using tarnwick::testing::RandomBytes;
using tarnwick::testing::ReadBytes;
using tarnwick::testing::WriteBytes;
using testkit::EngineFixture;
using testkit::PumpUntil;

class FtpPyftpd : public EngineFixture<> {
  protected:
    void SetUp() override {
        EngineFixture<>::SetUp();
        ASSERT_TRUE(server.Running()) << server.Failure();
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort(server.PortText());
        ftp.SetUserName(server.User());
        ftp.SetPassWord(server.Password());
    }

    // Runs one request to its end; returns its Error (or 65535 when it did not start or end).
    uint16_t Run(const std::function<void()>& op) {
        const std::string refused = Start(op);
        if (!refused.empty()) {
            ADD_FAILURE() << refused;
            return 65535;
        }
        if (!WaitNextDone(10000)) return 65535;
        return dones.back().error;
    }

    PyFtpdServer server;
};

TEST_F(FtpPyftpd, LoginWithAWrongThenTheRightPassword) {
    ftp.SetPassWord("wrong");
    EXPECT_EQ(Run([&] { ftp.ConnectAsync(); }), 530);
    EXPECT_EQ(ftp.ErrorMessage().substr(0, 4), "530 ");
    EXPECT_TRUE(ftp.Connected());
    ftp.SetPassWord(server.Password());
    EXPECT_EQ(Run([&] { ftp.UserAsync(); }), 0);
    EXPECT_EQ(ftp.StatusCode(), 331);
    EXPECT_EQ(Run([&] { ftp.PassAsync(); }), 0);
    EXPECT_EQ(ftp.StatusCode(), 230);
    EXPECT_EQ(Run([&] { ftp.QuitAsync(); }), 0);
    EXPECT_EQ(ftp.StatusCode(), 221);
    EXPECT_EQ(sessionClosed, 1);
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(FtpPyftpd, SessionCommandsChangeTheServersDisk) {
    ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();

    ftp.SetHostFileName("work");
    EXPECT_EQ(Run([&] { ftp.MkdAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(ftp.DirResult(), "/work");
    EXPECT_TRUE(server.Exists("work"));

    ftp.SetHostDirName("work");
    EXPECT_TRUE(Sync([&] { return ftp.Cwd(); }));
    ASSERT_EQ(dones.size(), started);  // the wrapper returns after its report
    EXPECT_EQ(ftp.StatusCode(), 250);
    EXPECT_EQ(ftp.DirResult(), "/work");
    EXPECT_EQ(Run([&] { ftp.PwdAsync(); }), 0);
    EXPECT_EQ(ftp.StatusCode(), 257);
    EXPECT_EQ(ftp.DirResult(), "/work");

    server.WriteFile("work/f.txt", "0123456789abcdef");
    EXPECT_TRUE(Sync([&] { return ftp.TypeBinary(); }));
    ASSERT_EQ(dones.size(), started);  // the wrapper returns after its report
    ftp.SetHostFileName("f.txt");
    EXPECT_EQ(Run([&] { ftp.SizeAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(ftp.SizeResult(), 16);

    ftp.SetLocalFileName("g.txt");
    EXPECT_EQ(Run([&] { ftp.RenAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_FALSE(server.Exists("work/f.txt"));
    EXPECT_EQ(server.ReadFile("work/g.txt"), "0123456789abcdef");

    ftp.SetLocalFileName("SITE CHMOD 644 g.txt");
    EXPECT_EQ(Run([&] { ftp.QuoteAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(ftp.StatusCode(), 200);
    EXPECT_EQ(server.Mode("work/g.txt"), 0644);
    ftp.SetLocalFileName("SITE CHMOD 600 g.txt");
    EXPECT_EQ(Run([&] { ftp.QuoteAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(server.Mode("work/g.txt"), 0600);

    ftp.SetHostFileName("missing");
    EXPECT_EQ(Run([&] { ftp.DeleAsync(); }), 550);
    ftp.SetHostFileName("g.txt");
    EXPECT_EQ(Run([&] { ftp.DeleAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_FALSE(server.Exists("work/g.txt"));

    EXPECT_EQ(Run([&] { ftp.CDupAsync(); }), 0) << ftp.ErrorMessage();
    ftp.SetHostFileName("work");
    EXPECT_EQ(Run([&] { ftp.RmdAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_FALSE(server.Exists("work"));

    EXPECT_EQ(Run([&] { ftp.QuitAsync(); }), 0);
    EXPECT_EQ(ftp.StatusCode(), 221);
    EXPECT_EQ(sessionClosed, 1);
    EXPECT_EQ(ftp.State(), esReady);
}

TEST_F(FtpPyftpd, CompoundsWithTheirOwnSessionReportTheReplyBeforeQuit) {
    ftp.SetHostDirName("/");
    ftp.SetHostFileName("made");
    EXPECT_EQ(Run([&] { ftp.MkdirAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(ftp.StatusCode(), 257);
    EXPECT_TRUE(server.Exists("made"));
    EXPECT_FALSE(ftp.Connected());

    EXPECT_EQ(Run([&] { ftp.SystemAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(ftp.StatusCode(), 215);

    // A failing step ends the request before QUIT: the session stays open.
    ftp.SetHostFileName("absent");
    EXPECT_EQ(Run([&] { ftp.DeleteAsync(); }), 550);
    EXPECT_TRUE(ftp.Connected());
}

// pyftpdlib answers REST with 350, or with 501 in ASCII mode: the refusal that stops a
// RestPutAsync before its STOR. (Replies a real server does not give are scripted.) A
// RestPutAsync cancelled or without its local file stops after the 350, which the server
// would apply to the next STOR or RETR of the session: the request clears it. Whatever
// stopped it, the next plain upload stores exactly its file over one that exists, and the
// next plain download fetches the whole file.
TEST_F(FtpPyftpd, ARestPutThatStopsBeforeStorLeavesTheServersFileAndNoOffset) {
    enum class Then { Upload, Download };
    struct Case {
        const char* name;
        bool ascii;
        bool cancel;
        const char* localName;
        uint16_t error;
        Then then;
    };
    const Case cases[] = {
        {"REST refused in ASCII mode", true, false, "whole", 501, Then::Upload},
        {"cancelled, then an upload", false, true, "whole", 426, Then::Upload},
        {"cancelled, then a download", false, true, "whole", 426, Then::Download},
        {"local file missing, then an upload", false, false, "missing", 426, Then::Upload},
        {"local file missing, then a download", false, false, "missing", 426, Then::Download},
    };
    char templ[] = "/tmp/tarnwick-pyftpd-rest-XXXXXX";
    ASSERT_NE(::mkdtemp(templ), nullptr);
    const std::string local = templ;
    const std::string content = RandomBytes(10000, 11);
    const std::string other = RandomBytes(6000, 13);
    WriteBytes(local + "/whole", content);
    WriteBytes(local + "/other", other);
    server.WriteFile("served", content);
    ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
    ftp.SetPassive(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        display.clear();
        server.WriteFile("part", content.substr(0, 4096));
        EXPECT_TRUE(Sync([&] { return c.ascii ? ftp.TypeAscii() : ftp.TypeBinary(); }));
        ASSERT_EQ(dones.size(), started);  // the wrapper returns after its report
        ftp.OnReadyToTransmit = [&](TCustomFtpCli*, bool& cancel) { cancel = c.cancel; };
        ftp.SetHostFileName("part");
        ftp.SetLocalFileName(local + "/" + c.localName);
        ftp.SetResumeAt(4096);
        EXPECT_EQ(Run([&] { ftp.RestPutAsync(); }), c.error) << ftp.ErrorMessage();
        EXPECT_EQ(ftp.ResumeAt(), 0);
        EXPECT_FALSE(Displayed("> STOR part"));
        EXPECT_EQ(Displayed("> REST 0"), !c.ascii);  // only after a 350
        EXPECT_TRUE(server.ReadFile("part") == content.substr(0, 4096))
            << "the server's file changed";
        ftp.OnReadyToTransmit = nullptr;

        EXPECT_TRUE(Sync([&] { return ftp.TypeBinary(); }));
        ASSERT_EQ(dones.size(), started);  // the wrapper returns after its report
        if (c.then == Then::Upload) {
            ftp.SetLocalFileName(local + "/other");
            EXPECT_EQ(Run([&] { ftp.PutAsync(); }), 0) << ftp.ErrorMessage();
            EXPECT_TRUE(server.ReadFile("part") == other) << "the upload did not replace the file";
            EXPECT_EQ(ftp.ByteCount(), static_cast<int64_t>(other.size()));
        } else {
            ftp.SetHostFileName("served");
            ftp.SetLocalFileName(local + "/fetched");
            EXPECT_EQ(Run([&] { ftp.GetAsync(); }), 0) << ftp.ErrorMessage();
            EXPECT_TRUE(ReadBytes(local + "/fetched") == content) << "the download lost its head";
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(local, ec);
}

// In active mode another host that reaches the data listener first is turned away; the
// server's own connection then carries the transfer.
TEST_F(FtpPyftpd, ActiveModeTakesTheDataConnectionOnlyFromTheServer) {
    char templ[] = "/tmp/tarnwick-pyftpd-intruder-XXXXXX";
    ASSERT_NE(::mkdtemp(templ), nullptr);
    const std::string local = templ;
    const std::string content = RandomBytes(100000, 12);
    server.WriteFile("remote", content);
    WriteBytes(local + "/up", content);
    ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(Sync([&] { return ftp.TypeBinary(); }));
    ASSERT_EQ(dones.size(), started);  // the wrapper returns after its report
    ftp.SetPassive(false);
    for (const bool upload : {false, true}) {
        SCOPED_TRACE(upload ? "STOR" : "RETR");
        int intruder = -1;
        ftp.OnCommand = [&](TCustomFtpCli*, std::string& cmd) {
            // pyftpdlib connects as soon as PORT arrives: the intruder comes before that.
            if (cmd.rfind("PORT", 0) != 0) return;
            sockaddr_in bound{};
            int len = sizeof(bound);
            ASSERT_EQ(ftp.DataSocket().GetSockName(bound, len), 0);
            intruder = ConnectFromLoopbackAddress("127.0.0.3", ntohs(bound.sin_port));
            if (!upload) ::send(intruder, "evil", 4, MSG_NOSIGNAL);
        };
        display.clear();
        if (upload) {
            ftp.SetHostFileName("uploaded");
            ftp.SetLocalFileName(local + "/up");
            EXPECT_EQ(Run([&] { ftp.PutAsync(); }), 0) << ftp.ErrorMessage();
            EXPECT_TRUE(server.ReadFile("uploaded") == content) << "the server's file differs";
        } else {
            ftp.SetHostFileName("remote");
            ftp.SetLocalFileName(local + "/down");
            EXPECT_EQ(Run([&] { ftp.GetAsync(); }), 0) << ftp.ErrorMessage();
            EXPECT_TRUE(ReadBytes(local + "/down") == content) << "the downloaded file differs";
        }
        ASSERT_GE(intruder, 0);
        EXPECT_TRUE(Displayed("! Data connection from 127.0.0.3 refused"));
        ::close(intruder);
        ftp.OnCommand = nullptr;
    }
    std::error_code ec;
    std::filesystem::remove_all(local, ec);
}

// A local file whose name holds CR LF, uploaded under its own name, and a raw command
// holding one: neither goes out as a second command (here one that deletes a file).
TEST_F(FtpPyftpd, NamesWithLineBreaksNeverReachTheServerAsCommands) {
    tarnwick::testing::TempFolder local;
    const std::string name = "x\r\nDELE victim";
    tarnwick::testing::WriteBytes(local.file(name), "payload");
    server.WriteFile("victim", "keep me");
    auto served = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(server.Root()))
            names.push_back(e.path().filename().string());
        return names;
    };
    ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
    for (const bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ftp.SetPassive(passive);
        ftp.SetHostFileName(name);
        ftp.SetLocalFileName(local.file(name));
        EXPECT_EQ(Run([&] { ftp.PutAsync(); }), 501);
        EXPECT_EQ(ftp.ErrorMessage(), "501 Command holds a line break or NUL");
        EXPECT_EQ(served(), std::vector<std::string>{"victim"});
        EXPECT_EQ(server.ReadFile("victim"), "keep me");
    }
    ftp.SetLocalFileName("NOOP\r\nDELE victim");
    EXPECT_EQ(Run([&] { ftp.QuoteAsync(); }), 501);
    EXPECT_EQ(server.ReadFile("victim"), "keep me");
    // The session is still in step: the next command gets its own reply.
    EXPECT_EQ(Run([&] { ftp.PwdAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(ftp.StatusCode(), 257);
}

}  // namespace
}  // namespace tarnwick::ftp

// The engine against a real server (pyftpdlib): login, the single commands a session
// uses, and their effect on the server's disk.
#include <string>

#include "tests/ftp/FtpTestKit.h"
#include "tests/support/PyFtpdServer.h"

namespace tarnwick::ftp {
namespace {

using tarnwick::testing::PyFtpdServer;
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
    ASSERT_TRUE(WaitNextDone());
    EXPECT_EQ(ftp.StatusCode(), 250);
    EXPECT_EQ(ftp.DirResult(), "/work");
    EXPECT_EQ(Run([&] { ftp.PwdAsync(); }), 0);
    EXPECT_EQ(ftp.StatusCode(), 257);
    EXPECT_EQ(ftp.DirResult(), "/work");

    server.WriteFile("work/f.txt", "0123456789abcdef");
    EXPECT_TRUE(Sync([&] { return ftp.TypeBinary(); }));
    ASSERT_TRUE(WaitNextDone());
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

}  // namespace
}  // namespace tarnwick::ftp

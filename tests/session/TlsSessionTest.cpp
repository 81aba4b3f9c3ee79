// Encrypted sessions through the window's logic against vsftpd with a self-signed
// certificate: a certificate nobody trusted is put to the user and, refused, stops the connect
// before USER goes out; "Trust always" logs in, lists and shows the lock, and the next
// connect asks nothing; a server whose certificate was replaced is refused without a question.
#include "settings/TrustedCertificates.h"
#include "tests/session/MainTestKit.h"
#include "tests/support/VsftpdServer.h"

namespace tarnwick::session {
namespace {

using testing::VsftpdServer;
using testing::VsftpdTls;
using testkit::MainFixture;
using testkit::PumpUntil;

constexpr std::uint8_t kExplicitRequired = 1;
constexpr std::uint8_t kImplicit = 2;

class TlsSessionTest : public MainFixture {
  protected:
    TFTPServerInfo Record(const std::string& name, const VsftpdServer& server,
                          std::uint8_t encryption) {
        TFTPServerInfo s = Server(name, server.PortText(), server.User(), server.Password());
        s.Encryption = encryption;
        return s;
    }
    void Retries(int retries) {
        TFTPOptions o = DefaultOptions();
        o.retry = retries;
        SaveOptionsFile(o);
    }
    bool SentUser(const VsftpdServer& server) const {
        // vsftpd's protocol log quotes each command: ..., "USER anonymous"
        return server.Log().find("\"USER ") != std::string::npos;
    }
    bool LoggedStart(const std::string& prefix) const {
        for (const std::string& l : LogLines())
            if (l.starts_with(prefix)) return true;
        return false;
    }
    bool Locked() { return Core().Controls.Visible(kLockControl); }
};

TEST_F(TlsSessionTest, UntrustedAskedRefusedThenTrustedAlwaysThenNotAsked) {
    VsftpdServer vsftpd(VsftpdTls{true, false, ""});
    ASSERT_TRUE(vsftpd.Running()) << vsftpd.Failure();
    vsftpd.WriteFile("hello.txt", "hello\n");
    Retries(2);  // a refusal is never tried again
    SaveServers({Record("secure", vsftpd, kExplicitRequired)});
    Create();

    dialogs.certificateAnswers = {TCertificateAnswer::Cancel};
    Open("secure");
    ASSERT_TRUE(PumpUntil([&] { return serverLists >= 2 && Idle(); }));
    ASSERT_EQ(dialogs.certificatesAsked.size(), 1u);
    const net::TCertificateInfo asked = dialogs.certificatesAsked[0];
    EXPECT_EQ(asked.host, "127.0.0.1");
    EXPECT_EQ(asked.port, vsftpd.Port());
    EXPECT_FALSE(asked.problem.empty());
    EXPECT_TRUE(settings::IsSha256Fingerprint(asked.sha256)) << asked.sha256;
    EXPECT_FALSE(SentUser(vsftpd)) << vsftpd.Log();
    EXPECT_FALSE(Logged("Connecting to 127.0.0.1 [Attempt 2]"));
    EXPECT_TRUE(Core().State.ServerMode);
    EXPECT_FALSE(Locked());

    dialogs.certificateAnswers = {TCertificateAnswer::TrustAlways};
    Open("secure");
    ASSERT_TRUE(NextListing()) << vsftpd.Log();
    EXPECT_EQ(dialogs.certificatesAsked.size(), 2u);
    EXPECT_GE(Core().FTPView.FindCaption("hello.txt"), 0);
    EXPECT_TRUE(Core().Ftp1.Encrypted());
    EXPECT_TRUE(Locked());
    const settings::TTrustedCertificates trusted(settings.file("trusted-certificates"));
    EXPECT_EQ(trusted.Known("127.0.0.1", vsftpd.Port()), asked.sha256);

    main->sbDisConnectClick();
    ASSERT_TRUE(WaitServerMode());
    EXPECT_FALSE(Locked());
    Open("secure");
    ASSERT_TRUE(NextListing());
    EXPECT_EQ(dialogs.certificatesAsked.size(), 2u);  // trusted: not asked again
    EXPECT_TRUE(Locked());
}

TEST_F(TlsSessionTest, AReplacedCertificateIsRefusedWithoutAsking) {
    VsftpdServer vsftpd(VsftpdTls{true, false, ""});
    ASSERT_TRUE(vsftpd.Running()) << vsftpd.Failure();
    // Another certificate was trusted for this server before its certificate was replaced.
    settings::TTrustedCertificates trusted(settings.file("trusted-certificates"));
    const std::string before =
        "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:"
        "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF";
    ASSERT_TRUE(trusted.TrustAlways("127.0.0.1", vsftpd.Port(), before));
    Retries(2);
    SaveServers({Record("replaced", vsftpd, kExplicitRequired)});
    Create();
    dialogs.certificateAnswers = {TCertificateAnswer::TrustAlways};
    Open("replaced");
    ASSERT_TRUE(PumpUntil([&] { return serverLists >= 2 && Idle(); }));
    EXPECT_TRUE(dialogs.certificatesAsked.empty());
    EXPECT_TRUE(LoggedStart("Error The certificate of 127.0.0.1:" + vsftpd.PortText() +
                            " has changed: trusted " + before));
    EXPECT_FALSE(SentUser(vsftpd)) << vsftpd.Log();
    EXPECT_FALSE(Logged("Connecting to 127.0.0.1 [Attempt 2]"));
    EXPECT_EQ(trusted.Known("127.0.0.1", vsftpd.Port()), before);  // still the old one
}

TEST_F(TlsSessionTest, ImplicitTlsTrustedThisTime) {
    VsftpdServer vsftpd(VsftpdTls{true, true, ""});
    ASSERT_TRUE(vsftpd.Running()) << vsftpd.Failure();
    vsftpd.WriteFile("implicit.txt", "x\n");
    SaveServers({Record("implicit", vsftpd, kImplicit)});
    Create();
    dialogs.certificateAnswers = {TCertificateAnswer::TrustThisTime};
    Open("implicit");
    ASSERT_TRUE(NextListing()) << vsftpd.Log();
    EXPECT_GE(Core().FTPView.FindCaption("implicit.txt"), 0);
    EXPECT_TRUE(Locked());
    EXPECT_FALSE(std::filesystem::exists(settings.file("trusted-certificates")));
    main->sbDisConnectClick();
    ASSERT_TRUE(WaitServerMode());
    Open("implicit");
    ASSERT_TRUE(NextListing());
    EXPECT_EQ(dialogs.certificatesAsked.size(), 1u);  // remembered while the window is open
}

}  // namespace
}  // namespace tarnwick::session

// Encrypted sessions in the window's logic: the encryption and port a saved server gives the
// engine, what happens to each certificate a server presents (accepted, asked, saved,
// remembered for this run, refused when it changed), and the lock in the status bar.
#include "session/CertificateTrust.h"

#include "settings/TrustedCertificates.h"
#include "tests/session/MainTestKit.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::session {
namespace {

using testkit::MainFixture;
using testkit::PumpUntil;
using E = ftp::TFtpEncryption;

std::string Fingerprint(const std::string& pair) {
    std::string out = pair;
    for (int i = 1; i < 32; ++i) out += ":" + pair;
    return out;
}
const std::string kFirst = Fingerprint("1A");
const std::string kSecond = Fingerprint("2B");

net::TCertificateInfo Certificate(const std::string& sha256, const std::string& problem) {
    net::TCertificateInfo c;
    c.host = "127.0.0.1";
    c.port = 2121;
    c.subject = "CN=test";
    c.issuer = "CN=test";
    c.sha256 = sha256;
    c.problem = problem;
    return c;
}

TEST(CertificateTrustPieces, EncryptionAndPortFromTheRecord) {
    struct {
        int record;
        E engine;
    } encryptions[] = {
        {0, E::Plain},
        {1, E::ExplicitRequired},
        {2, E::Implicit},
        {3, E::ExplicitIfAvailable},
        {4, E::ExplicitRequired},  // unknown: never in the clear
        {255, E::ExplicitRequired},
    };
    for (const auto& c : encryptions)
        EXPECT_EQ(EngineEncryption(static_cast<std::uint8_t>(c.record)), c.engine) << c.record;

    struct {
        const char* port;
        E encryption;
        const char* control;
    } ports[] = {
        {"", E::Plain, "ftp"},
        {"21", E::Plain, "21"},
        {"2121", E::Plain, "2121"},
        {"", E::Implicit, "990"},
        {"21", E::Implicit, "990"},
        {"2990", E::Implicit, "2990"},
        {"", E::ExplicitRequired, "ftp"},
        {"21", E::ExplicitIfAvailable, "21"},
    };
    for (const auto& c : ports)
        EXPECT_EQ(ControlPort(c.port, c.encryption, "ftp"), c.control) << c.port;
}

class CertificateTrustTest : public MainFixture {
  protected:
    bool Check(const net::TCertificateInfo& c) { return main->Certificates().Check(c); }
    std::string TrustFile() const { return settings.file("trusted-certificates"); }
    int WarningsShown() const {
        int n = 0;
        for (const TMessageQuery& q : dialogs.messagesAsked) n += q.Icon == TMsgIcon::Warning;
        return n;
    }
};

TEST_F(CertificateTrustTest, EachAnswerAndWhatItLeaves) {
    struct {
        const char* what;
        std::string problem;
        std::vector<TCertificateAnswer> answers;  // for the first and second presentation
        bool accepted;
        size_t asked;  // after both presentations
        bool saved;
    } cases[] = {
        {"verified: never asked", "", {}, true, 0, false},
        {"trust always: saved, then not asked",
         "self-signed",
         {TCertificateAnswer::TrustAlways},
         true,
         1,
         true},
        {"trust this time: not saved, not asked again",
         "self-signed",
         {TCertificateAnswer::TrustThisTime},
         true,
         1,
         false},
        {"cancel: refused, asked again next time",
         "expired",
         {TCertificateAnswer::Cancel, TCertificateAnswer::Cancel},
         false,
         2,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(TrustFile());
        dialogs = {};
        dialogs.certificateAnswers.assign(c.answers.begin(), c.answers.end());
        Create();
        EXPECT_EQ(Check(Certificate(kFirst, c.problem)), c.accepted);
        EXPECT_EQ(Check(Certificate(kFirst, c.problem)), c.accepted);
        EXPECT_EQ(dialogs.certificatesAsked.size(), c.asked);
        if (c.asked > 0) {
            EXPECT_EQ(dialogs.certificatesAsked[0].sha256, kFirst);
        }
        EXPECT_EQ(std::filesystem::exists(TrustFile()), c.saved);
        if (c.saved) {
            EXPECT_EQ(testing::ReadBytes(TrustFile()), "127.0.0.1:2121 " + kFirst + "\r\n");
        }
        EXPECT_EQ(WarningsShown(), 0);
        main.reset();
    }
}

TEST_F(CertificateTrustTest, TrustThisTimeLastsUntilTheWindowCloses) {
    dialogs.certificateAnswers = {TCertificateAnswer::TrustThisTime};
    Create();
    EXPECT_TRUE(Check(Certificate(kFirst, "self-signed")));
    // Another certificate of the same server is a question of its own.
    EXPECT_FALSE(Check(Certificate(kSecond, "self-signed")));
    EXPECT_EQ(dialogs.certificatesAsked.size(), 2u);
    main.reset();
    Create();
    EXPECT_FALSE(Check(Certificate(kFirst, "self-signed")));
    EXPECT_EQ(dialogs.certificatesAsked.size(), 3u);
}

TEST_F(CertificateTrustTest, AChangedCertificateIsRefusedWithAWarningAndNeverAsked) {
    settings::TTrustedCertificates file(TrustFile());
    ASSERT_TRUE(file.TrustAlways("127.0.0.1", 2121, kFirst));
    Create();
    EXPECT_TRUE(Check(Certificate(kFirst, "self-signed")));  // the trusted one
    for (const std::string problem : {"self-signed", ""}) {  // even a verified replacement
        SCOPED_TRACE(problem);
        dialogs.certificateAnswers = {TCertificateAnswer::TrustAlways};
        EXPECT_FALSE(Check(Certificate(kSecond, problem)));
    }
    EXPECT_TRUE(dialogs.certificatesAsked.empty());
    EXPECT_EQ(WarningsShown(), 2);
    const std::string warning =
        "Error " + settings::CertificateChangedWarning(Certificate(kSecond, ""), kFirst);
    EXPECT_TRUE(Logged(warning));
    EXPECT_NE(warning.find(kFirst), std::string::npos);
    EXPECT_NE(warning.find(kSecond), std::string::npos);
    EXPECT_EQ(file.Known("127.0.0.1", 2121), kFirst);  // the file keeps the trusted one
}

TEST_F(CertificateTrustTest, AFileThatCannotBeWrittenStillTrustsForThisRun) {
    std::filesystem::create_directory(TrustFile());  // a folder where the file would go
    dialogs.certificateAnswers = {TCertificateAnswer::TrustAlways};
    Create();
    EXPECT_TRUE(Check(Certificate(kFirst, "self-signed")));
    EXPECT_TRUE(Check(Certificate(kFirst, "self-signed")));
    EXPECT_EQ(dialogs.certificatesAsked.size(), 1u);
    bool logged = false;
    for (const std::string& l : LogLines()) logged |= l.starts_with("Error Cannot read");
    EXPECT_TRUE(logged);
}

TEST_F(CertificateTrustTest, ACertificateRefusedDuringAConnectIsNotTriedAgain) {
    TFTPOptions o = DefaultOptions();
    o.retry = 1;
    SaveOptionsFile(o);
    SaveServers({Server("nobody", std::to_string(testing::FreeLoopbackPort()), "u", "p")});
    Create();
    Open("nobody");
    // The engine's hook runs while the connect is out; the user cancels the question.
    EXPECT_FALSE(Check(Certificate(kFirst, "self-signed")));
    ASSERT_TRUE(PumpUntil([&] { return serverLists >= 2 && Idle(); }));
    EXPECT_FALSE(Logged("Connecting to 127.0.0.1 [Attempt 2]"));
    // The next connect the user starts is retried as before.
    Open("nobody");
    ASSERT_TRUE(PumpUntil([&] { return serverLists >= 3 && Idle(); }));
    EXPECT_TRUE(Logged("Connecting to 127.0.0.1 [Attempt 2]"));
}

TEST_F(CertificateTrustTest, OpeningAServerGivesTheEngineItsEncryptionAndPort) {
    TFTPOptions o = DefaultOptions();
    o.retry = 0;
    SaveOptionsFile(o);
    const std::string closed = std::to_string(testing::FreeLoopbackPort());
    struct {
        const char* name;
        int encryption;
        std::string port;
        E engine;
        std::string control;
    } cases[] = {
        {"plain", 0, closed, E::Plain, closed},
        {"explicit", 1, closed, E::ExplicitRequired, closed},
        {"implicit", 2, "21", E::Implicit, "990"},
        {"implicit-own", 2, closed, E::Implicit, closed},
        {"try", 3, closed, E::ExplicitIfAvailable, closed},
    };
    std::vector<TFTPServerInfo> servers;
    for (const auto& c : cases) {
        TFTPServerInfo s = Server(c.name, c.port, "u", "p");
        s.Encryption = static_cast<std::uint8_t>(c.encryption);
        servers.push_back(s);
    }
    SaveServers(servers);
    Create();
    EXPECT_FALSE(Core().Controls.Visible(kLockControl));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int before = serverLists;
        Open(c.name);
        EXPECT_EQ(Core().Ftp1.Encryption(), c.engine);
        EXPECT_EQ(Core().Ftp1.Port(), c.control);
        // Nobody listens there: the connect fails and the list comes back.
        ASSERT_TRUE(PumpUntil([&] { return serverLists > before && Idle(); }));
        EXPECT_FALSE(Core().Controls.Visible(kLockControl));
    }
}

}  // namespace
}  // namespace tarnwick::session

// FTP over TLS against real servers: vsftpd with a certificate the test made (logins and
// data only under TLS, data connections resuming the control session), explicit and
// implicit, passive and active; the certificate decided on before USER.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tests/ftp/FtpTestKit.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/RecordingRelay.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/SocksProxies.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VsftpdServer.h"

namespace tarnwick::ftp {
namespace {

using tarnwick::testing::MicrosocksProxy;
using tarnwick::testing::PyFtpdServer;
using tarnwick::testing::RecordingRelay;
using tarnwick::testing::ScriptedFtpServer;
using tarnwick::testing::VsftpdServer;
using tarnwick::testing::VsftpdTls;
using testkit::EngineFixture;

constexpr int kDeadlineMs = 20000;
constexpr uint16_t kNoReport = 0xFFFF;

struct TlsMode {
    TFtpEncryption encryption;
    bool passive;
};

std::string ModeName(const ::testing::TestParamInfo<TlsMode>& info) {
    const char* kind = info.param.encryption == TFtpEncryption::Implicit ? "Implicit" : "Explicit";
    return std::string(kind) + (info.param.passive ? "Passive" : "Active");
}

class TlsFixture : public EngineFixture<> {
  protected:
    void SetUp() override {
        EngineFixture<>::SetUp();
        ftp.SetTimeout(20);
        char templ[] = "/tmp/tarnwick-tls-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        local = templ;
    }

    void TearDown() override {
        if (HasFailure()) {
            std::string log;
            for (const auto& line : display) log += line + "\n";
            ADD_FAILURE() << "engine log:\n"
                          << log << (server ? "server log:\n" + server->Log() : "");
        }
        EngineFixture<>::TearDown();
        std::error_code ec;
        if (!local.empty()) std::filesystem::remove_all(local, ec);
    }

    void StartServer(bool implicit) {
        VsftpdTls tls;
        tls.enabled = true;
        tls.implicit = implicit;
        server = std::make_unique<VsftpdServer>(tls);
        ASSERT_TRUE(server->Running()) << server->Failure();
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort(server->PortText());
        ftp.SetUserName(server->User());
        ftp.SetPassWord(server->Password());
    }

    uint16_t Run(const std::function<void()>& op) {
        const std::string refused = Start(op);
        if (!refused.empty()) {
            ADD_FAILURE() << refused;
            return kNoReport;
        }
        if (!WaitNextDone(kDeadlineMs)) return kNoReport;
        return dones.back().error;
    }

    std::string Local(const std::string& name) const { return local + "/" + name; }

    std::unique_ptr<VsftpdServer> server;
    std::string local;
    std::vector<net::TCertificateInfo> certificates;
};

class TlsTransfers : public TlsFixture, public ::testing::WithParamInterface<TlsMode> {};

TEST_P(TlsTransfers, LoginListGetPutResumeByteIdentical) {
    StartServer(GetParam().encryption == TFtpEncryption::Implicit);
    ftp.SetEncryption(GetParam().encryption);
    ftp.SetPassive(GetParam().passive);
    ftp.OnCertificate = [this](const net::TCertificateInfo& info) {
        certificates.push_back(info);
        return true;  // the test's own self-signed certificate
    };
    ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(ftp.Encrypted());
    ASSERT_EQ(Run([&] { ftp.TypeBinaryAsync(); }), 0) << ftp.ErrorMessage();
    ASSERT_EQ(certificates.size(), 1u);
    EXPECT_EQ(certificates[0].problem, "self-signed certificate");
    EXPECT_EQ(certificates[0].host, "127.0.0.1");
    EXPECT_NE(certificates[0].subject.find("CN=localhost"), std::string::npos);
    EXPECT_EQ(certificates[0].sha256.size(), 32u * 3 - 1);

    const std::string content = tarnwick::testing::RandomBytes(3 * 1024 * 1024 + 17);
    server->WriteFile("pub/down.bin", content);
    ftp.SetHostFileName("pub/down.bin");
    ftp.SetLocalFileName(Local("down.bin"));
    ASSERT_EQ(Run([&] { ftp.GetAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(tarnwick::testing::ReadBytes(Local("down.bin")) == content);

    ftp.SetHostFileName("pub");
    ftp.SetLocalFileName(Local("listing.txt"));
    ASSERT_EQ(Run([&] { ftp.DirAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_NE(tarnwick::testing::ReadBytes(Local("listing.txt")).find("down.bin"),
              std::string::npos);

    ftp.SetHostFileName("pub/up.bin");
    ftp.SetLocalFileName(Local("down.bin"));
    ASSERT_EQ(Run([&] { ftp.PutAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(server->ReadFile("pub/up.bin") == content);

    // Resume: the local copy holds the first third.
    tarnwick::testing::WriteBytes(Local("part.bin"), content.substr(0, content.size() / 3));
    ftp.SetHostFileName("pub/down.bin");
    ftp.SetLocalFileName(Local("part.bin"));
    ASSERT_EQ(Run([&] { ftp.RestGetAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(tarnwick::testing::ReadBytes(Local("part.bin")) == content);

    for (const auto& line : display)
        EXPECT_EQ(line.find("without the control connection's session"), std::string::npos);
}

// A certificate that does not verify stops the connect before USER goes out: without a
// handler, and with a handler that refuses it.
TEST_F(TlsFixture, UnverifiedCertificateRefusedBeforeUser) {
    struct Case {
        const char* name;
        bool withHandler;
    };
    for (const Case c : {Case{"no handler", false}, Case{"handler refuses", true}}) {
        SCOPED_TRACE(c.name);
        StartServer(false);
        ftp.SetEncryption(TFtpEncryption::ExplicitRequired);
        ftp.OnCertificate = nullptr;
        if (c.withHandler) {
            ftp.OnCertificate = [this](const net::TCertificateInfo& info) {
                certificates.push_back(info);
                return false;
            };
        }
        EXPECT_NE(Run([&] { ftp.ConnectAsync(); }), 0);
        EXPECT_EQ(ftp.ErrorMessage(), "500 Certificate refused");
        EXPECT_TRUE(Displayed("! Certificate refused"));
        EXPECT_FALSE(ftp.Encrypted());
        EXPECT_EQ(ftp.State(), esReady);
        tarnwick::testing::PumpFor(200);  // the server logs what it received
        EXPECT_NE(server->Log().find("AUTH TLS"), std::string::npos);
        EXPECT_EQ(server->Log().find("USER"), std::string::npos) << server->Log();
    }
    ASSERT_EQ(certificates.size(), 1u);
    EXPECT_EQ(certificates[0].problem, "self-signed certificate");
}

// The certificate's facts, and a certificate made for another name.
TEST_F(TlsFixture, CertificateNameChecked) {
    const std::string pem = local + "/other.pem";
    ASSERT_TRUE(tarnwick::testing::MakeSelfSignedCertificate(pem, "ftp.example.org",
                                                             "DNS:ftp.example.org"));
    VsftpdTls tls;
    tls.enabled = true;
    tls.implicit = true;
    tls.certificate = pem;
    server = std::make_unique<VsftpdServer>(tls);
    ASSERT_TRUE(server->Running()) << server->Failure();
    ftp.SetHostName("127.0.0.1");
    ftp.SetPort(server->PortText());
    ftp.SetUserName(server->User());
    ftp.SetEncryption(TFtpEncryption::Implicit);
    ftp.OnCertificate = [this](const net::TCertificateInfo& info) {
        certificates.push_back(info);
        return false;
    };
    EXPECT_NE(Run([&] { ftp.ConnectAsync(); }), 0);
    ASSERT_EQ(certificates.size(), 1u);
    const net::TCertificateInfo& info = certificates[0];
    EXPECT_EQ(info.port, server->Port());
    EXPECT_EQ(info.subject, "CN=ftp.example.org, O=Tarnwick tests");
    EXPECT_EQ(info.issuer, info.subject);
    EXPECT_EQ(info.validFrom.size(), std::string("2026-01-31 12:00:00 UTC").size());
    // Self-signed is what OpenSSL finds first; the name is wrong as well.
    EXPECT_FALSE(info.problem.empty());
}

// A server that refuses AUTH TLS: "explicit required" ends with its reply and never sends
// USER; "explicit if available" logs in in the clear and says so.
TEST_F(TlsFixture, RefusedAuth) {
    {
        ScriptedFtpServer plain;
        plain.Reply("220 Ready").Expect("AUTH TLS").Reply("502 AUTH not understood");
        plain.Start();
        Target(plain);
        ftp.SetUserName("tester");
        ftp.SetPassWord("s3cret");
        ftp.SetEncryption(TFtpEncryption::ExplicitRequired);
        EXPECT_EQ(Run([&] { ftp.ConnectAsync(); }), 502);
        EXPECT_EQ(ftp.ErrorMessage(), "502 AUTH not understood");
        tarnwick::testing::PumpFor(100);
        EXPECT_EQ(plain.Received(), (std::vector<std::string>{"AUTH TLS"}));
    }
    {
        ScriptedFtpServer plain;
        plain.Reply("220 Ready")
            .Expect("AUTH TLS")
            .Reply("500 Unknown command")
            .Expect("USER tester")
            .Reply("331 Password please")
            .Expect("PASS s3cret")
            .Reply("230 Logged in");
        plain.Start();
        Target(plain);
        ftp.SetEncryption(TFtpEncryption::ExplicitIfAvailable);
        EXPECT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
        EXPECT_TRUE(Displayed("! Server refused AUTH TLS, going on unencrypted"));
        EXPECT_FALSE(ftp.Encrypted());
        EXPECT_EQ(ftp.LastResponse(), "230 Logged in");
        EXPECT_TRUE(plain.Mismatches().empty());
    }
}

// pyftpdlib's TLS handler behind a relay that records the wire: the login with a password,
// a listing, get and put in both modes, and neither "PASS" nor the password on the wire.
TEST_F(TlsFixture, PyftpdlibPasswordNeverInClear) {
    const std::string pem = local + "/server.pem";
    ASSERT_TRUE(tarnwick::testing::MakeSelfSignedCertificate(pem, "localhost",
                                                             "DNS:localhost,IP:127.0.0.1"));
    PyFtpdServer py(PyFtpdServer::kDefaultUser, PyFtpdServer::kDefaultPassword,
                    {"--tls-cert", pem});
    ASSERT_TRUE(py.Running()) << py.Failure();
    RecordingRelay relay(py.Port());
    const std::string content = tarnwick::testing::RandomBytes(700 * 1024 + 3);
    py.WriteFile("down.bin", content);
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort(relay.PortText());
        ftp.SetUserName(py.User());
        ftp.SetPassWord(py.Password());
        ftp.SetPassive(passive);
        ftp.SetEncryption(TFtpEncryption::ExplicitRequired);
        ftp.OnCertificate = [](const net::TCertificateInfo&) { return true; };
        ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage() << py.Log();
        ASSERT_EQ(Run([&] { ftp.TypeBinaryAsync(); }), 0) << ftp.ErrorMessage();
        ftp.SetHostFileName("down.bin");
        ftp.SetLocalFileName(Local("down.bin"));
        ASSERT_EQ(Run([&] { ftp.GetAsync(); }), 0) << ftp.ErrorMessage() << py.Log();
        EXPECT_TRUE(tarnwick::testing::ReadBytes(Local("down.bin")) == content);
        ftp.SetHostFileName(passive ? "up-passive.bin" : "up-active.bin");
        ASSERT_EQ(Run([&] { ftp.PutAsync(); }), 0) << ftp.ErrorMessage() << py.Log();
        EXPECT_TRUE(py.ReadFile(passive ? "up-passive.bin" : "up-active.bin") == content);
        ftp.SetHostFileName("");
        ftp.SetLocalFileName(Local("list.txt"));
        ASSERT_EQ(Run([&] { ftp.DirAsync(); }), 0) << ftp.ErrorMessage();
        EXPECT_NE(tarnwick::testing::ReadBytes(Local("list.txt")).find("down.bin"),
                  std::string::npos);
        ASSERT_EQ(Run([&] { ftp.QuitAsync(); }), 0) << ftp.ErrorMessage();
    }
    const std::string wire = relay.ClientBytes();
    EXPECT_NE(wire.find("AUTH TLS"), std::string::npos);
    EXPECT_EQ(wire.find("PASS"), std::string::npos);
    EXPECT_EQ(wire.find(py.Password()), std::string::npos);
    EXPECT_EQ(wire.find("USER"), std::string::npos);
}

// Through a SOCKS 5 proxy (microsocks): the control and data connections are made by the
// proxy, TLS runs over them as over direct ones.
TEST_F(TlsFixture, ThroughSocks5) {
    MicrosocksProxy proxy;
    ASSERT_TRUE(proxy.Running()) << proxy.Failure();
    StartServer(false);
    ftp.SetConnectionType(ftpSocks5);
    ftp.SetSocksServer("127.0.0.1");
    ftp.SetSocksPort(proxy.PortText());
    ftp.SetSocksUserCode(proxy.User());
    ftp.SetSocksPassword(proxy.Password());
    ftp.SetPassive(true);
    ftp.SetEncryption(TFtpEncryption::ExplicitRequired);
    ftp.OnCertificate = [](const net::TCertificateInfo&) { return true; };
    ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(ftp.Encrypted());
    const std::string content = tarnwick::testing::RandomBytes(512 * 1024);
    server->WriteFile("pub/s.bin", content);
    ASSERT_EQ(Run([&] { ftp.TypeBinaryAsync(); }), 0) << ftp.ErrorMessage();
    ftp.SetHostFileName("pub/s.bin");
    ftp.SetLocalFileName(Local("s.bin"));
    ASSERT_EQ(Run([&] { ftp.GetAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(tarnwick::testing::ReadBytes(Local("s.bin")) == content);
    ftp.SetHostFileName("pub/s2.bin");
    ASSERT_EQ(Run([&] { ftp.PutAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(server->ReadFile("pub/s2.bin") == content);
}

INSTANTIATE_TEST_SUITE_P(Vsftpd, TlsTransfers,
                         ::testing::Values(TlsMode{TFtpEncryption::ExplicitRequired, true},
                                           TlsMode{TFtpEncryption::ExplicitRequired, false},
                                           TlsMode{TFtpEncryption::Implicit, true},
                                           TlsMode{TFtpEncryption::Implicit, false}),
                         ModeName);

}  // namespace
}  // namespace tarnwick::ftp

// FTP over TLS against real servers: vsftpd with a certificate the test made (logins and
// data only under TLS, data connections resuming the control session), explicit and
// implicit, passive and active; the certificate decided on before USER.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tests/ftp/FtpTestKit.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VsftpdServer.h"

namespace tarnwick::ftp {
namespace {

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

INSTANTIATE_TEST_SUITE_P(Vsftpd, TlsTransfers,
                         ::testing::Values(TlsMode{TFtpEncryption::ExplicitRequired, true},
                                           TlsMode{TFtpEncryption::ExplicitRequired, false},
                                           TlsMode{TFtpEncryption::Implicit, true},
                                           TlsMode{TFtpEncryption::Implicit, false}),
                         ModeName);

}  // namespace
}  // namespace tarnwick::ftp

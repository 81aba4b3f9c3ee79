// tarnwick-cli over TLS against vsftpd with a self-signed certificate: ftpes:// and ftps://
// URLs and --tls, a certificate that fails verification refused unless --insecure or
// trusted in the settings folder, and refused when the server's certificate changed.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/Cli.h"
#include "settings/TrustedCertificates.h"
#include "tests/settings/TempFolder.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VsftpdServer.h"

namespace tarnwick::cli {
namespace {

using tarnwick::testing::ReadBytes;
using tarnwick::testing::TempFolder;
using tarnwick::testing::VsftpdServer;
using tarnwick::testing::VsftpdTls;

// The SHA-256 fingerprint of the certificate in a PEM file, as "AB:CD:...".
std::string FingerprintOf(const std::string& pem) {
    const std::string command =
        "openssl x509 -in '" + pem + "' -noout -fingerprint -sha256 2>/dev/null";
    std::string text;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[256];
        while (::fgets(buf, sizeof(buf), p) != nullptr) text += buf;
        ::pclose(p);
    }
    const size_t eq = text.find('=');
    if (eq == std::string::npos) return "";
    text = text.substr(eq + 1);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

class CliTls : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("TARNWICK_HOME", home.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("TARNWICK_HOME"); }

    void StartServer(bool implicit, const std::string& certificate = "") {
        VsftpdTls tls;
        tls.enabled = true;
        tls.implicit = implicit;
        tls.certificate = certificate;
        server = std::make_unique<VsftpdServer>(tls);
        ASSERT_TRUE(server->Running()) << server->Failure();
        server->WriteFile("pub/f.bin", content);
    }
    int Cli(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return RunCli(args, out, err);
    }
    std::string Url(const std::string& scheme, const std::string& path) const {
        return scheme + "://127.0.0.1:" + server->PortText() + "/" + path;
    }
    std::string Local(const std::string& name) const { return local.path() + "/" + name; }

    const std::string content = tarnwick::testing::RandomBytes(256 * 1024 + 5);
    TempFolder home;
    TempFolder local;
    std::unique_ptr<VsftpdServer> server;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(CliTls, UnverifiedCertificateNeedsInsecure) {
    StartServer(false);
    EXPECT_EQ(Cli({"get", Url("ftpes", "pub/f.bin"), Local("a")}), kExitFailed);
    EXPECT_NE(err.str().find("failed verification: self-signed certificate"), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("--insecure"), std::string::npos);
    EXPECT_EQ(server->Log().find("USER"), std::string::npos);

    EXPECT_EQ(Cli({"--insecure", "get", Url("ftpes", "pub/f.bin"), Local("a")}), kExitOk)
        << err.str();
    EXPECT_NE(err.str().find("warning: accepting a certificate that failed verification"),
              std::string::npos)
        << err.str();
    EXPECT_TRUE(ReadBytes(Local("a")) == content);
    EXPECT_EQ(Cli({"--insecure", "put", Local("a"), Url("ftpes", "pub/up.bin")}), kExitOk)
        << err.str();
    EXPECT_TRUE(server->ReadFile("pub/up.bin") == content);
}

TEST_F(CliTls, TrustedThenChanged) {
    StartServer(false);
    settings::TTrustedCertificates trusted(settings::TrustedCertificatesPath(home.path()));
    ASSERT_TRUE(
        trusted.TrustAlways("127.0.0.1", server->Port(), FingerprintOf(server->CertificatePath())))
        << trusted.Error();
    EXPECT_EQ(Cli({"--active", "get", Url("ftpes", "pub/f.bin"), Local("b")}), kExitOk)
        << err.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_TRUE(ReadBytes(Local("b")) == content);

    // The server's certificate is replaced (the server restarts on another port: the old
    // fingerprint is what that host and port had trusted).
    const std::string oldFingerprint = FingerprintOf(server->CertificatePath());
    const std::string pem = local.path() + "/new.pem";
    ASSERT_TRUE(tarnwick::testing::MakeSelfSignedCertificate(pem, "localhost",
                                                             "DNS:localhost,IP:127.0.0.1"));
    server.reset();
    StartServer(false, pem);
    ASSERT_TRUE(trusted.TrustAlways("127.0.0.1", server->Port(), oldFingerprint))
        << trusted.Error();
    EXPECT_EQ(Cli({"--insecure", "get", Url("ftpes", "pub/f.bin"), Local("c")}), kExitFailed);
    EXPECT_NE(err.str().find(FingerprintOf(pem)), std::string::npos) << err.str();
    EXPECT_EQ(server->Log().find("USER"), std::string::npos);
}

TEST_F(CliTls, ImplicitAndTlsOption) {
    struct Case {
        const char* name;
        bool implicit;
        std::vector<std::string> options;
        const char* scheme;
    };
    const Case cases[] = {
        {"ftps://", true, {}, "ftps"},
        {"--tls implicit", true, {"--tls", "implicit"}, "ftp"},
        {"--tls explicit", false, {"--tls", "explicit"}, "ftp"},
        {"--tls try", false, {"--tls", "try"}, "ftp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartServer(c.implicit);
        std::vector<std::string> args = c.options;
        for (const char* a : {"--insecure", "get"}) args.push_back(a);
        args.push_back(Url(c.scheme, "pub/f.bin"));
        args.push_back(Local("i"));
        EXPECT_EQ(Cli(args), kExitOk) << err.str();
        EXPECT_TRUE(ReadBytes(Local("i")) == content);
        server.reset();
    }
    EXPECT_EQ(Cli({"--tls", "sometimes", "ls", "ftp://h/"}), kExitUsage);
    EXPECT_NE(err.str().find("--tls takes explicit, implicit or try"), std::string::npos);
}

}  // namespace
}  // namespace tarnwick::cli

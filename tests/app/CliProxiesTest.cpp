// tarnwick-cli through real proxies in front of pyftpdlib, all started by the test:
// ftp-proxy, microsocks (SOCKS 5 with user and password) and dante (SOCKS 4 and 5). put,
// get and ls give the same bytes and entries as a direct session; a wrong proxy password
// fails with the proxy's reason.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/Cli.h"
#include "tests/settings/TempFolder.h"
#include "tests/support/FtpProxyServer.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/SocksProxies.h"

namespace tarnwick::cli {
namespace {

using tarnwick::testing::DanteProxy;
using tarnwick::testing::FtpProxyServer;
using tarnwick::testing::MicrosocksProxy;
using tarnwick::testing::PyFtpdServer;
using tarnwick::testing::ReadBytes;
using tarnwick::testing::TempFolder;
using tarnwick::testing::WriteBytes;

struct Route {
    const char* name;
    const char* type;  // the --proxy-type value
    bool microsocks;   // else dante (SOCKS) or ftp-proxy
};

std::string RouteName(const ::testing::TestParamInfo<Route>& info) {
    return info.param.name;
}

class CliProxies : public ::testing::TestWithParam<Route> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.Running()) << server.Failure();
        const std::string type = GetParam().type;
        std::string port;
        if (type == "ftp-proxy") {
            ftpProxy = std::make_unique<FtpProxyServer>();
            ASSERT_TRUE(ftpProxy->Running()) << ftpProxy->Failure();
            port = ftpProxy->PortText();
        } else if (GetParam().microsocks) {
            microsocks = std::make_unique<MicrosocksProxy>();
            ASSERT_TRUE(microsocks->Running()) << microsocks->Failure();
            port = microsocks->PortText();
        } else {
            dante = std::make_unique<DanteProxy>();
            ASSERT_TRUE(dante->Running()) << dante->Failure();
            port = dante->PortText();
        }
        proxyArgs = {"--proxy-type", type, "--proxy", "127.0.0.1:" + port};
        if (microsocks) {
            proxyArgs.insert(proxyArgs.end(), {"--proxy-user", microsocks->User(), "--proxy-pass",
                                               microsocks->Password()});
        }
    }

    int Cli(std::vector<std::string> args) {
        args.insert(args.begin(), proxyArgs.begin(), proxyArgs.end());
        out.str("");
        err.str("");
        return RunCli(args, out, err);
    }

    std::string Url(const std::string& path) const {
        return "ftp://" + server.User() + ":" + server.Password() +
               "@127.0.0.1:" + server.PortText() + "/" + path;
    }

    PyFtpdServer server;
    std::unique_ptr<FtpProxyServer> ftpProxy;
    std::unique_ptr<MicrosocksProxy> microsocks;
    std::unique_ptr<DanteProxy> dante;
    std::vector<std::string> proxyArgs;
    TempFolder local;
    std::ostringstream out;
    std::ostringstream err;
};

INSTANTIATE_TEST_SUITE_P(Proxies, CliProxies,
                         ::testing::Values(Route{"FtpProxy", "ftp-proxy", false},
                                           Route{"Microsocks5", "socks5", true},
                                           Route{"Dante4", "socks4", false},
                                           Route{"Dante5", "socks5", false}),
                         RouteName);

TEST_P(CliProxies, PutGetAndLsThroughTheProxy) {
    std::mt19937 random(11);
    std::string bytes(1 << 20, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    WriteBytes(local.file("up.bin"), bytes);
    ASSERT_EQ(Cli({"put", local.file("up.bin"), Url("up.bin")}), kExitOk) << err.str();
    EXPECT_TRUE(server.ReadFile("up.bin") == bytes) << "uploaded bytes differ";
    ASSERT_EQ(Cli({"get", Url("up.bin"), local.file("down.bin")}), kExitOk) << err.str();
    EXPECT_TRUE(ReadBytes(local.file("down.bin")) == bytes) << "downloaded bytes differ";
    ASSERT_EQ(Cli({"ls", Url("")}), kExitOk) << err.str();
    EXPECT_NE(out.str().find("up.bin\t1048576"), std::string::npos) << out.str();

    // The dialogue shows the login the proxy type makes, never a password.
    ASSERT_EQ(Cli({"-v", "ls", Url("")}), kExitOk) << err.str();
    const std::string user = std::string(GetParam().type) == "ftp-proxy"
                                 ? server.User() + "@127.0.0.1:" + server.PortText()
                                 : server.User();
    EXPECT_NE(err.str().find("> USER " + user + "\n"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find(server.Password()), std::string::npos) << err.str();
    if (microsocks) {
        EXPECT_EQ(err.str().find(microsocks->Password()), std::string::npos);
    }
}

TEST(CliMicrosocks, AWrongProxyPasswordFailsWithTheProxysReason) {
    PyFtpdServer server;
    MicrosocksProxy proxy;
    ASSERT_TRUE(server.Running()) << server.Failure();
    ASSERT_TRUE(proxy.Running()) << proxy.Failure();
    std::ostringstream out;
    std::ostringstream err;
    const int rc = RunCli({"--proxy-type", "socks5", "--proxy", "127.0.0.1:" + proxy.PortText(),
                           "--proxy-user", proxy.User(), "--proxy-pass", "wrong", "ls",
                           "ftp://" + server.User() + ":" + server.Password() +
                               "@127.0.0.1:" + server.PortText() + "/"},
                          out, err);
    EXPECT_EQ(rc, kExitFailed);
    EXPECT_EQ(err.str(), "500 socks authentication failed (SOCKS error #20015)\n");
    EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace tarnwick::cli

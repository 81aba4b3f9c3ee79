// Extended data connections against real servers: pyftpdlib on 127.0.0.1 with EPSV chosen,
// and pyftpdlib and vsftpd listening on ::1, where passive mode uses EPSV and active mode
// EPRT. Login, listing, get and put byte-identical in each.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "tests/ftp/FtpTestKit.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/SocksProxies.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VsftpdServer.h"

namespace tarnwick::ftp {
namespace {

using tarnwick::testing::MicrosocksProxy;
using tarnwick::testing::PyFtpdServer;
using tarnwick::testing::RandomBytes;
using tarnwick::testing::ReadBytes;
using tarnwick::testing::VsftpdServer;
using tarnwick::testing::VsftpdTls;
using tarnwick::testing::WriteBytes;
using testkit::EngineFixture;

constexpr uint16_t kNoReport = 65535;
constexpr int kTransferDeadlineMs = 20000;
constexpr size_t kOneMiB = 1u << 20;

struct ServerSetup {
    const char* name;
    bool vsftpd;
    bool ipv6;
    bool passive;
    // The command that prepares every data connection, as the log shows it.
    const char* prepare;
    bool throughSocks = false;  // SOCKS 5 (microsocks on 127.0.0.1) to the server
};

class ExtendedDataServers : public EngineFixture<>,
                            public ::testing::WithParamInterface<ServerSetup> {
  protected:
    void SetUp() override {
        EngineFixture<>::SetUp();
        const ServerSetup& s = GetParam();
        if (s.ipv6 && !tarnwick::testing::IPv6LoopbackAvailable())
            GTEST_SKIP() << "this machine has no IPv6 loopback (::1) to listen on";
        std::string port;
        if (s.vsftpd) {
            vs_ = std::make_unique<VsftpdServer>(VsftpdTls{}, s.ipv6);
            ASSERT_TRUE(vs_->Running()) << vs_->Failure();
            port = vs_->PortText();
            ftp.SetUserName(vs_->User());
            ftp.SetPassWord(vs_->Password());
            root_ = vs_->Root() + "/pub";
        } else {
            std::vector<std::string> args;
            if (s.ipv6) args = {"--address", "::1"};
            py_ = std::make_unique<PyFtpdServer>(PyFtpdServer::kDefaultUser,
                                                 PyFtpdServer::kDefaultPassword, args);
            ASSERT_TRUE(py_->Running()) << py_->Failure();
            port = py_->PortText();
            ftp.SetUserName(py_->User());
            ftp.SetPassWord(py_->Password());
            root_ = py_->Root() + "/pub";
            std::filesystem::create_directory(root_);
        }
        char templ[] = "/tmp/tarnwick-xdata-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        local_ = templ;
        ftp.SetTimeout(20);
        ftp.SetHostName(s.ipv6 ? "::1" : "127.0.0.1");
        ftp.SetPort(port);
        if (s.throughSocks) {
            socks_ = std::make_unique<MicrosocksProxy>();
            ASSERT_TRUE(socks_->Running()) << socks_->Failure();
            ftp.SetConnectionType(ftpSocks5);
            ftp.SetSocksUserCode(socks_->User());
            ftp.SetSocksPassword(socks_->Password());
            ftp.SetSocksServer("127.0.0.1");
            ftp.SetSocksPort(socks_->PortText());
        }
        ftp.SetPassive(s.passive);
        // EPSV is chosen for IPv4; over IPv6 it is used whatever the choice.
        ftp.SetPassiveCommand(s.ipv6 ? TFtpPassiveCommand::Pasv : TFtpPassiveCommand::Epsv);
        ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
        ftp.SetHostDirName("/pub");
        ASSERT_EQ(Run([&] { ftp.CwdAsync(); }), 0) << ftp.ErrorMessage();
        ASSERT_EQ(Run([&] { ftp.TypeBinaryAsync(); }), 0) << ftp.ErrorMessage();
    }

    void TearDown() override {
        if (HasFailure()) {
            std::string log;
            for (const auto& line : display) log += line + "\n";
            ADD_FAILURE() << "engine log:\n" << log;
        }
        EngineFixture<>::TearDown();
        std::error_code ec;
        if (!local_.empty()) std::filesystem::remove_all(local_, ec);
    }

    uint16_t Run(const std::function<void()>& op) {
        const std::string refused = Start(op);
        if (!refused.empty()) {
            ADD_FAILURE() << refused;
            return kNoReport;
        }
        if (!WaitNextDone(kTransferDeadlineMs)) return kNoReport;
        return dones.back().error;
    }

    // How many lines of the log begin with prefix.
    size_t DisplayedStarting(const std::string& prefix) const {
        size_t n = 0;
        for (const auto& d : display) n += d.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }

    std::string Local(const std::string& name) const { return local_ + "/" + name; }

    std::unique_ptr<PyFtpdServer> py_;
    std::unique_ptr<VsftpdServer> vs_;
    std::unique_ptr<MicrosocksProxy> socks_;
    std::string root_;  // the served "/pub" on the local disk
    std::string local_;
};

TEST_P(ExtendedDataServers, ListingGetAndPutByteIdentical) {
    const std::string content = RandomBytes(kOneMiB + 3, 17);
    if (vs_) {
        vs_->WriteFile("pub/served.bin", content);  // owned by the server's user
    } else {
        py_->WriteFile("pub/served.bin", content);
    }

    ftp.SetHostFileName("");
    ftp.SetLocalFileName(Local("list.txt"));
    ASSERT_EQ(Run([&] { ftp.DirAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_NE(ReadBytes(Local("list.txt")).find("served.bin"), std::string::npos);

    ftp.SetHostFileName("served.bin");
    ftp.SetLocalFileName(Local("down.bin"));
    ASSERT_EQ(Run([&] { ftp.GetAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(ReadBytes(Local("down.bin")) == content) << "downloaded bytes differ";

    WriteBytes(Local("up.bin"), content);
    ftp.SetHostFileName("up.bin");
    ftp.SetLocalFileName(Local("up.bin"));
    ASSERT_EQ(Run([&] { ftp.PutAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(ReadBytes(root_ + "/up.bin") == content) << "uploaded bytes differ";
    EXPECT_EQ(ftp.ByteCount(), static_cast<int64_t>(content.size()));

    // Every one of the three data connections was prepared the same way, none with PASV or
    // PORT.
    EXPECT_EQ(DisplayedStarting(std::string("> ") + GetParam().prepare), 3u);
    EXPECT_EQ(DisplayedStarting("> PASV"), 0u);
    EXPECT_EQ(DisplayedStarting("> PORT"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, ExtendedDataServers,
    ::testing::Values(ServerSetup{"PyftpdIPv4Epsv", false, false, true, "EPSV"},
                      ServerSetup{"VsftpdIPv4Epsv", true, false, true, "EPSV"},
                      ServerSetup{"PyftpdIPv6Passive", false, true, true, "EPSV"},
                      ServerSetup{"PyftpdIPv6Active", false, true, false, "EPRT |2|::1|"},
                      ServerSetup{"VsftpdIPv6Passive", true, true, true, "EPSV"},
                      ServerSetup{"VsftpdIPv6Active", true, true, false, "EPRT |2|::1|"},
                      // The proxy is reached over IPv4; the server's address is IPv6.
                      ServerSetup{"PyftpdIPv6ThroughSocks5", false, true, true, "EPSV", true}),
    [](const ::testing::TestParamInfo<ServerSetup>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnwick::ftp

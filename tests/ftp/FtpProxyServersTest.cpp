// The engine through a real FTP proxy (ftp-proxy in front of pyftpdlib, both started by the
// test): the login names the target as user@host:port, and passive transfers, relayed by
// the proxy, arrive byte-identical.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "tests/ftp/FtpTestKit.h"
#include "tests/support/FtpProxyServer.h"
#include "tests/support/PyFtpdServer.h"

namespace tarnwick::ftp {
namespace {

using tarnwick::testing::FtpProxyServer;
using tarnwick::testing::PyFtpdServer;
using testkit::EngineFixture;

constexpr uint16_t kNoReport = 65535;
constexpr int kTransferDeadlineMs = 20000;

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(gen() & 0xFF);
    return bytes;
}

std::string ReadLocal(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteLocal(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

class ThroughFtpProxy : public EngineFixture<> {
  protected:
    void SetUp() override {
        EngineFixture<>::SetUp();
        ftp.SetTimeout(20);
        ASSERT_TRUE(server.Running()) << server.Failure();
        ASSERT_TRUE(proxy.Running()) << proxy.Failure();
        char templ[] = "/tmp/tarnwick-proxy-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        local = templ;
        ftp.SetConnectionType(ftpProxy);
        ftp.SetProxyServer("127.0.0.1");
        ftp.SetProxyPort(proxy.PortText());
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort(server.PortText());
        ftp.SetUserName(server.User());
        ftp.SetPassWord(server.Password());
    }

    void TearDown() override {
        if (HasFailure()) {
            std::string log;
            for (const auto& line : display) log += line + "\n";
            ADD_FAILURE() << "engine log:\n" << log << "proxy log:\n" << proxy.Log();
        }
        EngineFixture<>::TearDown();
        std::error_code ec;
        if (!local.empty()) std::filesystem::remove_all(local, ec);
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

    std::string Local(const std::string& name) const { return local + "/" + name; }

    PyFtpdServer server;
    FtpProxyServer proxy;
    std::string local;
};

TEST_F(ThroughFtpProxy, LoginNamesTheTargetAndTheProxyReachesIt) {
    ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(Displayed("> USER " + server.User() + "@127.0.0.1:" + server.PortText()));
    EXPECT_EQ(ftp.StatusCode(), 230);
    // The proxy connected on to the target, not to its configured default.
    EXPECT_NE(proxy.Log().find("dest 127.0.0.1:" + server.PortText()), std::string::npos)
        << proxy.Log();

    // A wrong password is the target's refusal, relayed.
    EXPECT_EQ(Run([&] { ftp.QuitAsync(); }), 0);
    ftp.SetPassWord("wrong");
    EXPECT_EQ(Run([&] { ftp.ConnectAsync(); }), 530);
}

TEST_F(ThroughFtpProxy, PassiveTransfersRoundTripByteIdentical) {
    ftp.SetPassive(false);  // only direct connections can be active
    EXPECT_TRUE(ftp.Passive());
    ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
    ASSERT_EQ(Run([&] { ftp.TypeBinaryAsync(); }), 0) << ftp.ErrorMessage();

    const size_t sizes[] = {0, 1514, 3u << 20};
    for (size_t size : sizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string name = "f" + std::to_string(size);
        const std::string content = RandomBytes(size, static_cast<unsigned>(size) + 3);
        WriteLocal(Local(name + ".up"), content);
        ftp.SetHostFileName(name);
        ftp.SetLocalFileName(Local(name + ".up"));
        ASSERT_EQ(Run([&] { ftp.PutAsync(); }), 0) << ftp.ErrorMessage();
        EXPECT_TRUE(server.ReadFile(name) == content) << "uploaded bytes differ";
        ftp.SetLocalFileName(Local(name + ".down"));
        ASSERT_EQ(Run([&] { ftp.GetAsync(); }), 0) << ftp.ErrorMessage();
        EXPECT_TRUE(ReadLocal(Local(name + ".down")) == content) << "downloaded bytes differ";
        EXPECT_EQ(ftp.ByteCount(), static_cast<int64_t>(size));
        // The data connection went to the proxy, the address the control connection has.
        EXPECT_EQ(ftp.PasvReply().rfind("227 ", 0), 0u) << ftp.PasvReply();
    }

    ftp.SetHostFileName("");
    ftp.SetLocalFileName(Local("list.txt"));
    ASSERT_EQ(Run([&] { ftp.DirAsync(); }), 0) << ftp.ErrorMessage();
    const std::string list = ReadLocal(Local("list.txt"));
    EXPECT_NE(list.find("f1514"), std::string::npos) << list;
    EXPECT_EQ(Run([&] { ftp.QuitAsync(); }), 0);
}

}  // namespace
}  // namespace tarnwick::ftp

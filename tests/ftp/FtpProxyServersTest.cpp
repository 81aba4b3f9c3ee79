// The engine through real proxies in front of pyftpdlib, all started by the test: ftp-proxy
// (the login names the target as user@host:port), microsocks (SOCKS 5 with user and
// password) and dante (SOCKS 4 and 5). Login, listing and passive transfers arrive
// byte-identical; every data connection goes through the proxy.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/ftp/FtpTestKit.h"
#include "tests/support/FakeNameService.h"
#include "tests/support/FtpProxyServer.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/SocksProxies.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::ftp {
namespace {

using tarnwick::testing::RandomBytes;
using tarnwick::testing::ReadBytes;
using tarnwick::testing::WriteBytes;

using tarnwick::testing::DanteProxy;
using tarnwick::testing::FtpProxyServer;
using tarnwick::testing::MicrosocksProxy;
using tarnwick::testing::PyFtpdServer;
using testkit::EngineFixture;

constexpr uint16_t kNoReport = 65535;
constexpr int kTransferDeadlineMs = 20000;

// One engine session to pyftpdlib through a proxy that the derived fixture starts and
// names in ProxyLog().
class ProxiedSession : public EngineFixture<> {
  protected:
    void SetUp() override {
        EngineFixture<>::SetUp();
        ftp.SetTimeout(20);
        ASSERT_TRUE(server.Running()) << server.Failure();
        char templ[] = "/tmp/tarnwick-proxy-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        local = templ;
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort(server.PortText());
        ftp.SetUserName(server.User());
        ftp.SetPassWord(server.Password());
    }

    void TearDown() override {
        if (HasFailure()) {
            std::string log;
            for (const auto& line : display) log += line + "\n";
            ADD_FAILURE() << "engine log:\n" << log << "proxy log:\n" << ProxyLog();
        }
        EngineFixture<>::TearDown();
        std::error_code ec;
        if (!local.empty()) std::filesystem::remove_all(local, ec);
    }

    virtual std::string ProxyLog() const = 0;

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

    // Puts `size` random bytes as "f<size>", gets them back and compares both copies.
    void RoundTrip(size_t size, unsigned seed) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string name = "f" + std::to_string(size);
        const std::string content = RandomBytes(size, seed);
        WriteBytes(Local(name + ".up"), content);
        ftp.SetHostFileName(name);
        ftp.SetLocalFileName(Local(name + ".up"));
        ASSERT_EQ(Run([&] { ftp.PutAsync(); }), 0) << ftp.ErrorMessage();
        EXPECT_TRUE(server.ReadFile(name) == content) << "uploaded bytes differ";
        ftp.SetLocalFileName(Local(name + ".down"));
        ASSERT_EQ(Run([&] { ftp.GetAsync(); }), 0) << ftp.ErrorMessage();
        EXPECT_TRUE(ReadBytes(Local(name + ".down")) == content) << "downloaded bytes differ";
        EXPECT_EQ(ftp.ByteCount(), static_cast<int64_t>(size));
    }

    PyFtpdServer server;
    std::string local;
};

class ThroughFtpProxy : public ProxiedSession {
  protected:
    void SetUp() override {
        ProxiedSession::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(proxy.Running()) << proxy.Failure();
        ftp.SetConnectionType(ftpProxy);
        ftp.SetProxyServer("127.0.0.1");
        ftp.SetProxyPort(proxy.PortText());
    }
    std::string ProxyLog() const override { return proxy.Log(); }

    FtpProxyServer proxy;
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
        RoundTrip(size, static_cast<unsigned>(size) + 3);
        if (HasFatalFailure()) return;
        // The data connection went to the proxy, the address the control connection has.
        EXPECT_EQ(ftp.PasvReply().rfind("227 ", 0), 0u) << ftp.PasvReply();
    }

    ftp.SetHostFileName("");
    ftp.SetLocalFileName(Local("list.txt"));
    ASSERT_EQ(Run([&] { ftp.DirAsync(); }), 0) << ftp.ErrorMessage();
    const std::string list = ReadBytes(Local("list.txt"));
    EXPECT_NE(list.find("f1514"), std::string::npos) << list;
    EXPECT_EQ(Run([&] { ftp.QuitAsync(); }), 0);
}

// SOCKS 4A has no real proxy here (dante refuses the request); the scripted SOCKS server
// covers it.
enum class Route { Microsocks5, Dante4, Dante5 };

std::string RouteName(const ::testing::TestParamInfo<Route>& info) {
    switch (info.param) {
        case Route::Microsocks5:
            return "Microsocks5";
        case Route::Dante4:
            return "Dante4";
        default:
            return "Dante5";
    }
}

// Counts the lines of text that contain needle.
int CountLines(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

class ThroughSocks : public ProxiedSession, public ::testing::WithParamInterface<Route> {
  protected:
    void SetUp() override {
        ProxiedSession::SetUp();
        if (HasFatalFailure()) return;
        std::string port;
        switch (GetParam()) {
            case Route::Microsocks5:
                microsocks = std::make_unique<MicrosocksProxy>();
                ASSERT_TRUE(microsocks->Running()) << microsocks->Failure();
                port = microsocks->PortText();
                ftp.SetConnectionType(ftpSocks5);
                ftp.SetSocksUserCode(microsocks->User());
                ftp.SetSocksPassword(microsocks->Password());
                break;
            case Route::Dante4:
            case Route::Dante5:
                dante = std::make_unique<DanteProxy>();
                ASSERT_TRUE(dante->Running()) << dante->Failure();
                port = dante->PortText();
                ftp.SetConnectionType(GetParam() == Route::Dante4 ? ftpSocks4 : ftpSocks5);
                break;
        }
        ftp.SetSocksServer("127.0.0.1");
        ftp.SetSocksPort(port);
    }

    std::string ProxyLog() const override {
        if (microsocks) return microsocks->Log();
        return dante ? dante->Log() : "";
    }

    std::unique_ptr<MicrosocksProxy> microsocks;
    std::unique_ptr<DanteProxy> dante;
};

INSTANTIATE_TEST_SUITE_P(Proxies, ThroughSocks,
                         ::testing::Values(Route::Microsocks5, Route::Dante4, Route::Dante5),
                         RouteName);

TEST_P(ThroughSocks, LoginListGetAndPutByteIdentical) {
    ftp.SetPassive(false);  // only direct connections can be active
    ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(Displayed("> USER " + server.User()));
    ASSERT_EQ(Run([&] { ftp.TypeBinaryAsync(); }), 0) << ftp.ErrorMessage();

    int dataConnections = 0;
    const size_t sizes[] = {0, 1514, 3u << 20};
    for (size_t size : sizes) {
        RoundTrip(size, static_cast<unsigned>(size) + 5);
        if (HasFatalFailure()) return;
        dataConnections += 2;
    }
    ftp.SetHostFileName("");
    ftp.SetLocalFileName(Local("list.txt"));
    ASSERT_EQ(Run([&] { ftp.DirAsync(); }), 0) << ftp.ErrorMessage();
    ++dataConnections;
    const std::string list = ReadBytes(Local("list.txt"));
    EXPECT_NE(list.find("f3145728"), std::string::npos) << list;
    EXPECT_EQ(Run([&] { ftp.QuitAsync(); }), 0);

    // microsocks logs every connection it makes: the control connection and each data
    // connection, not only the first, went through it.
    if (microsocks) {
        testkit::PumpFor(50);
        const std::string log = microsocks->Log();
        EXPECT_EQ(CountLines(log, "connected to 127.0.0.1:" + server.PortText()), 1) << log;
        EXPECT_EQ(CountLines(log, "connected to 127.0.0.1:"), 1 + dataConnections) << log;
    }

    // A second session through the same engine goes through the proxy again.
    ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(Run([&] { ftp.QuitAsync(); }), 0);
    if (microsocks) {
        testkit::PumpFor(50);
        EXPECT_EQ(CountLines(microsocks->Log(), "connected to 127.0.0.1:" + server.PortText()), 2);
    }
}

// A name only the proxy can resolve: this process's name service knows no host at all,
// and microsocks resolves "localhost" itself, for the control connection and for every
// data connection.
class ThroughMicrosocksByName : public ProxiedSession {
  protected:
    void SetUp() override {
        ProxiedSession::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(proxy.Running()) << proxy.Failure();
        ftp.SetConnectionType(ftpSocks5);
        ftp.SetSocksServer("127.0.0.1");
        ftp.SetSocksPort(proxy.PortText());
        ftp.SetSocksUserCode(proxy.User());
        ftp.SetSocksPassword(proxy.Password());
        ftp.SetHostName("localhost");
    }
    std::string ProxyLog() const override { return proxy.Log(); }

    tarnwick::testing::ScopedFakeNameService names;  // knows no host
    MicrosocksProxy proxy;
};

TEST_F(ThroughMicrosocksByName, LoginListAndTransfersReachTheServer) {
    ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
    ASSERT_EQ(Run([&] { ftp.TypeBinaryAsync(); }), 0) << ftp.ErrorMessage();
    RoundTrip(1514, 17);
    if (HasFatalFailure()) return;
    ftp.SetHostFileName("");
    ftp.SetLocalFileName(Local("list.txt"));
    ASSERT_EQ(Run([&] { ftp.DirAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_NE(ReadBytes(Local("list.txt")).find("f1514"), std::string::npos);
    EXPECT_EQ(Run([&] { ftp.QuitAsync(); }), 0);
    EXPECT_TRUE(names->Queries().empty()) << names->Queries().front();
}

TEST(ThroughMicrosocks, AWrongProxyPasswordEndsTheConnectWithTheSocksCode) {
    PyFtpdServer server;
    MicrosocksProxy proxy;
    ASSERT_TRUE(server.Running()) << server.Failure();
    ASSERT_TRUE(proxy.Running()) << proxy.Failure();
    TFtpClient ftp;
    std::vector<uint16_t> errors;
    int closed = 0;
    ftp.OnRequestDone = [&](TCustomFtpCli*, TFtpRequest, uint16_t e) { errors.push_back(e); };
    ftp.OnSessionClosed = [&](TCustomFtpCli*, uint16_t) { ++closed; };
    ftp.SetConnectionType(ftpSocks5);
    ftp.SetSocksServer("127.0.0.1");
    ftp.SetSocksPort(proxy.PortText());
    ftp.SetSocksUserCode(proxy.User());
    ftp.SetSocksPassword("not-" + proxy.Password());
    ftp.SetHostName("127.0.0.1");
    ftp.SetPort(server.PortText());
    ftp.SetUserName(server.User());
    ftp.SetPassWord(server.Password());
    ftp.ConnectAsync();
    ASSERT_TRUE(testkit::PumpUntil([&] { return !errors.empty(); }, 10000));
    EXPECT_EQ(errors, std::vector<uint16_t>{20015});
    EXPECT_EQ(ftp.ErrorMessage(), "500 socks authentication failed (SOCKS error #20015)");
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(ftp.ControlSocket().State(), net::wsClosed);
    EXPECT_EQ(ftp.State(), esReady);
    EXPECT_EQ(closed, 0);  // no session was ever up
    EXPECT_EQ(proxy.Log().find("connected to"), std::string::npos) << proxy.Log();
}

}  // namespace
}  // namespace tarnwick::ftp

// Transfers against real servers (pyftpdlib and vsftpd, each started by the test), in
// active and passive mode: byte-identical round trips, listings, resume after a cut,
// REST before STOR, APPE, abort, and a refused download that leaves the local file alone.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "tests/ftp/FtpTestKit.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VsftpdServer.h"

namespace tarnwick::ftp {
namespace {

using tarnwick::testing::RandomBytes;
using tarnwick::testing::ReadBytes;
using tarnwick::testing::WriteBytes;

using tarnwick::testing::PyFtpdServer;
using tarnwick::testing::VsftpdServer;
using testkit::EngineFixture;

constexpr uint16_t kNoReport = 65535;
constexpr int kTransferDeadlineMs = 20000;
constexpr size_t kTenMiB = 10u << 20;

enum class Kind { Pyftpd, Vsftpd };

struct Mode {
    Kind kind;
    bool passive;
};

std::string ModeName(const ::testing::TestParamInfo<Mode>& info) {
    return std::string(info.param.kind == Kind::Pyftpd ? "Pyftpd" : "Vsftpd") +
           (info.param.passive ? "Passive" : "Active");
}

// Both servers behind one face; the writable folder is "/pub" on each.
class RealServer {
  public:
    explicit RealServer(Kind kind) {
        if (kind == Kind::Pyftpd) {
            py_ = std::make_unique<PyFtpdServer>();
            if (py_->Running()) std::filesystem::create_directory(py_->Root() + "/pub");
        } else {
            vs_ = std::make_unique<VsftpdServer>();
        }
    }
    bool Running() const { return py_ ? py_->Running() : vs_->Running(); }
    std::string Failure() const { return py_ ? py_->Failure() : vs_->Failure(); }
    std::string PortText() const { return py_ ? py_->PortText() : vs_->PortText(); }
    std::string User() const { return py_ ? py_->User() : vs_->User(); }
    std::string Password() const { return py_ ? py_->Password() : vs_->Password(); }
    std::string Root() const { return py_ ? py_->Root() : vs_->Root(); }
    void WriteFile(const std::string& relative, const std::string& content) const {
        if (py_) {
            py_->WriteFile(relative, content);
        } else {
            vs_->WriteFile(relative, content);
        }
    }
    std::string ReadFile(const std::string& relative) const {
        return py_ ? py_->ReadFile(relative) : vs_->ReadFile(relative);
    }
    bool Exists(const std::string& relative) const {
        return py_ ? py_->Exists(relative) : vs_->Exists(relative);
    }

  private:
    std::unique_ptr<PyFtpdServer> py_;
    std::unique_ptr<VsftpdServer> vs_;
};

class TransferServers : public EngineFixture<>, public ::testing::WithParamInterface<Mode> {
  protected:
    void SetUp() override {
        EngineFixture<>::SetUp();
        ftp.SetTimeout(20);
        ASSERT_TRUE(server.Running()) << server.Failure();
        char templ[] = "/tmp/tarnwick-xfer-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        local = templ;
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort(server.PortText());
        ftp.SetUserName(server.User());
        ftp.SetPassWord(server.Password());
        ftp.SetPassive(GetParam().passive);
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
        if (!local.empty()) std::filesystem::remove_all(local, ec);
    }

    // Runs one request to its end; its Error, or kNoReport when it did not start or end.
    uint16_t Run(const std::function<void()>& op) {
        const std::string refused = Start(op);
        if (!refused.empty()) {
            ADD_FAILURE() << refused;
            return kNoReport;
        }
        if (!WaitNextDone(kTransferDeadlineMs)) return kNoReport;
        return dones.back().error;
    }

    uint16_t Get(const std::string& remote, const std::string& localPath) {
        ftp.SetHostFileName(remote);
        ftp.SetLocalFileName(localPath);
        return Run([&] { ftp.GetAsync(); });
    }

    uint16_t Put(const std::string& localPath, const std::string& remote) {
        ftp.SetHostFileName(remote);
        ftp.SetLocalFileName(localPath);
        return Run([&] { ftp.PutAsync(); });
    }

    std::string Local(const std::string& name) const { return local + "/" + name; }

    RealServer server{GetParam().kind};
    std::string local;
};

TEST_P(TransferServers, FilesRoundTripByteIdentical) {
    const size_t sizes[] = {0, 1, 1514, 2048, kTenMiB};
    for (size_t size : sizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string name = "f" + std::to_string(size);
        const std::string content = RandomBytes(size, static_cast<unsigned>(size) + 7);
        WriteBytes(Local(name + ".up"), content);
        ASSERT_EQ(Put(Local(name + ".up"), name), 0) << ftp.ErrorMessage();
        EXPECT_TRUE(server.ReadFile("pub/" + name) == content) << "uploaded bytes differ";
        ASSERT_EQ(Get(name, Local(name + ".down")), 0) << ftp.ErrorMessage();
        EXPECT_TRUE(ReadBytes(Local(name + ".down")) == content) << "downloaded bytes differ";
        EXPECT_EQ(ftp.ByteCount(), static_cast<int64_t>(size));
        EXPECT_EQ(ftp.ResumeAt(), 0);
    }
}

TEST_P(TransferServers, ListingsGoIntoAFile) {
    server.WriteFile("pub/alpha.txt", "a");
    server.WriteFile("pub/beta.bin", "bb");
    ftp.SetHostFileName("");
    ftp.SetLocalFileName(Local("list.txt"));
    ASSERT_EQ(Run([&] { ftp.DirAsync(); }), 0) << ftp.ErrorMessage();
    const std::string list = ReadBytes(Local("list.txt"));
    EXPECT_NE(list.find("alpha.txt"), std::string::npos) << list;
    EXPECT_NE(list.find("beta.bin"), std::string::npos) << list;
    EXPECT_EQ(list.back(), '\n');

    ftp.SetLocalFileName(Local("names.txt"));
    ASSERT_EQ(Run([&] { ftp.LsAsync(); }), 0) << ftp.ErrorMessage();
    const std::string names = ReadBytes(Local("names.txt"));
    EXPECT_NE(names.find("alpha.txt\r\n"), std::string::npos) << names;
    EXPECT_NE(names.find("beta.bin\r\n"), std::string::npos) << names;
    EXPECT_EQ(names.find("-rw"), std::string::npos) << names;
}

TEST_P(TransferServers, ACutDownloadResumesToTheSameBytes) {
    const std::string content = RandomBytes(kTenMiB, 99);
    server.WriteFile("pub/big", content);
    // Once some bytes have come, the server's end of the data connection is destroyed.
    bool cut = false;
    ftp.OnProgress = [&](TCustomFtpCli*, int64_t count, bool&) {
        if (cut || count == 0) return;
        cut = true;
        sockaddr_in mine{};
        int len = sizeof(mine);
        ASSERT_EQ(ftp.DataSocket().GetSockName(mine, len), 0);
        const std::string cmd = "ss -K src 127.0.0.1 sport = :" + ftp.DataSocket().PeerPort() +
                                " dst 127.0.0.1 dport = :" + std::to_string(ntohs(mine.sin_port)) +
                                " >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    };
    EXPECT_NE(Get("big", Local("big")), 0);
    ASSERT_TRUE(cut);
    const std::string partial = ReadBytes(Local("big"));
    ASSERT_LT(partial.size(), content.size());
    EXPECT_TRUE(content.compare(0, partial.size(), partial) == 0) << "the kept bytes differ";

    // The session may have gone with the cut (vsftpd ends it): open it again if so.
    ftp.OnProgress = nullptr;
    if (!ftp.Connected()) {
        ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
        ASSERT_EQ(Run([&] { ftp.CwdAsync(); }), 0) << ftp.ErrorMessage();
        ASSERT_EQ(Run([&] { ftp.TypeBinaryAsync(); }), 0) << ftp.ErrorMessage();
    }
    std::vector<int64_t> counts;
    ftp.OnProgress = [&](TCustomFtpCli*, int64_t count, bool&) { counts.push_back(count); };
    ftp.SetHostFileName("big");
    ftp.SetLocalFileName(Local("big"));
    ASSERT_EQ(Run([&] { ftp.RestGetAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(Displayed("> REST " + std::to_string(partial.size())));
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.front(), static_cast<int64_t>(partial.size()));
    EXPECT_TRUE(ReadBytes(Local("big")) == content) << "the resumed file differs";
}

TEST_P(TransferServers, RestPutSendsTheRestOfTheFile) {
    const std::string content = RandomBytes(10000, 5);
    server.WriteFile("pub/part", content.substr(0, 4096));
    WriteBytes(Local("whole"), content);
    ftp.SetHostFileName("part");
    ftp.SetLocalFileName(Local("whole"));
    ftp.SetResumeAt(4096);
    ASSERT_EQ(Run([&] { ftp.RestPutAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(Displayed("> REST 4096"));
    EXPECT_EQ(ftp.ByteCount(), 10000 - 4096);
    EXPECT_EQ(ftp.ResumeAt(), 0);
    EXPECT_TRUE(server.ReadFile("pub/part") == content);
}

TEST_P(TransferServers, AppendAddsToTheRemoteFile) {
    server.WriteFile("pub/log", "first,");
    WriteBytes(Local("more"), "second");
    ftp.SetHostFileName("log");
    ftp.SetLocalFileName(Local("more"));
    ASSERT_EQ(Run([&] { ftp.AppendAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(dones.back().rq, TFtpRequest::AppendAsync);
    EXPECT_EQ(server.ReadFile("pub/log"), "first,second");
}

TEST_P(TransferServers, AbortFromProgressFailsTheTransferAndKeepsTheSession) {
    const std::string content = RandomBytes(kTenMiB, 3);
    server.WriteFile("pub/big", content);
    WriteBytes(Local("big.up"), content);
    ftp.OnProgress = [&](TCustomFtpCli*, int64_t count, bool& abort) { abort = count > 0; };
    EXPECT_EQ(Get("big", Local("big.down")), kFtpErrAborted);
    EXPECT_EQ(ftp.ErrorMessage(), "426 Transfer aborted");
    EXPECT_TRUE(Displayed("! Abort requested"));
    EXPECT_EQ(Put(Local("big.up"), "big.copy"), kFtpErrAborted);
    EXPECT_EQ(ftp.ErrorMessage(), "426 Transfer aborted");
    ftp.OnProgress = nullptr;
    EXPECT_EQ(Run([&] { ftp.PwdAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(ftp.DirResult(), "/pub");
}

TEST_P(TransferServers, ARefusedDownloadLeavesTheLocalFileAlone) {
    WriteBytes(Local("keep"), "precious bytes");
    EXPECT_EQ(Get("missing", Local("keep")), 550);
    EXPECT_EQ(ftp.ErrorMessage().substr(0, 4), "550 ");
    EXPECT_EQ(ReadBytes(Local("keep")), "precious bytes");
    EXPECT_EQ(Get("missing", Local("never")), 550);
    EXPECT_FALSE(std::filesystem::exists(Local("never")));
}

INSTANTIATE_TEST_SUITE_P(Servers, TransferServers,
                         ::testing::Values(Mode{Kind::Pyftpd, true}, Mode{Kind::Pyftpd, false},
                                           Mode{Kind::Vsftpd, true}, Mode{Kind::Vsftpd, false}),
                         ModeName);

}  // namespace
}  // namespace tarnwick::ftp

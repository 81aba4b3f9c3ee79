// Transfers past 4 GiB against pyftpdlib: sizes, offsets, counts and the restart offset are
// 64-bit. Sparse files keep the set-up cheap; the bytes after the 4 GiB mark are random.
// Labelled "large": ./test.sh --large runs it.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/ftp/FtpTestKit.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::ftp {
namespace {

using tarnwick::testing::RandomBytes;

using tarnwick::testing::PyFtpdServer;
using testkit::EngineFixture;

constexpr int64_t kFourGiB = int64_t{1} << 32;
constexpr int64_t kTail = 100;  // random bytes after the 4 GiB of zeros
constexpr int64_t kSize = kFourGiB + kTail;
constexpr int kDeadlineMs = 600000;

// A sparse file of `size` bytes whose last bytes are `tail`.
bool MakeSparse(const std::string& path, int64_t size, const std::string& tail) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool ok =
        ::ftruncate(fd, size) == 0 &&
        ::pwrite(fd, tail.data(), tail.size(), size - static_cast<int64_t>(tail.size())) ==
            static_cast<ssize_t>(tail.size());
    ::close(fd);
    return ok;
}

// Byte-for-byte comparison of two files.
bool SameBytes(const std::string& a, const std::string& b) {
    const int fa = ::open(a.c_str(), O_RDONLY);
    const int fb = ::open(b.c_str(), O_RDONLY);
    bool same = fa >= 0 && fb >= 0;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (same) {
        const ssize_t na = ::read(fa, ba.data(), ba.size());
        const ssize_t nb = ::read(fb, bb.data(), bb.size());
        same =
            na == nb && na >= 0 && std::memcmp(ba.data(), bb.data(), static_cast<size_t>(na)) == 0;
        if (na <= 0) break;
    }
    if (fa >= 0) ::close(fa);
    if (fb >= 0) ::close(fb);
    return same;
}

class FtpLargeTransfer : public EngineFixture<> {
  protected:
    void SetUp() override {
        EngineFixture<>::SetUp();
        ftp.SetTimeout(60);
        ASSERT_TRUE(server.Running()) << server.Failure();
        char templ[] = "/tmp/tarnwick-large-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir = templ;
        ftp.SetHostName("127.0.0.1");
        ftp.SetPort(server.PortText());
        ftp.SetUserName(server.User());
        ftp.SetPassWord(server.Password());
        ftp.SetPassive(true);
        ASSERT_EQ(Run([&] { ftp.ConnectAsync(); }), 0) << ftp.ErrorMessage();
        ASSERT_EQ(Run([&] { ftp.TypeBinaryAsync(); }), 0) << ftp.ErrorMessage();
    }
    void TearDown() override {
        EngineFixture<>::TearDown();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    uint16_t Run(const std::function<void()>& op) {
        const std::string refused = Start(op);
        if (!refused.empty()) {
            ADD_FAILURE() << refused;
            return 65535;
        }
        if (!WaitNextDone(kDeadlineMs)) return 65535;
        return dones.back().error;
    }

    PyFtpdServer server;
    std::string dir;
};

TEST_F(FtpLargeTransfer, FilesPastFourGiBDownloadResumeAndUpload) {
    const std::string tail = RandomBytes(kTail);
    const std::string remote = server.Root() + "/big";
    ASSERT_TRUE(MakeSparse(remote, kSize, tail));

    // Size and a whole download.
    ftp.SetHostFileName("big");
    ASSERT_EQ(Run([&] { ftp.SizeAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(ftp.SizeResult(), kSize);
    int64_t lastCount = 0;
    ftp.OnProgress = [&](TCustomFtpCli*, int64_t count, bool&) { lastCount = count; };
    ftp.SetLocalFileName(dir + "/down");
    ASSERT_EQ(Run([&] { ftp.GetAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(ftp.ByteCount(), kSize);
    EXPECT_GT(lastCount, kFourGiB);
    bool statsShown = false;
    for (const auto& line : display)
        statsShown |= line.rfind("! " + std::to_string(kSize) + " bytes received/sent in ", 0) == 0;
    EXPECT_TRUE(statsShown);
    EXPECT_TRUE(SameBytes(dir + "/down", remote)) << "the download differs";
    std::filesystem::remove(dir + "/down");

    // Resume after a local file that ends past 4 GiB: REST with a 64-bit offset.
    const int64_t have = kFourGiB + kTail / 2;
    ASSERT_TRUE(MakeSparse(dir + "/part", have, tail.substr(0, kTail / 2)));
    std::vector<int64_t> counts;
    ftp.OnProgress = [&](TCustomFtpCli*, int64_t count, bool&) { counts.push_back(count); };
    ftp.SetLocalFileName(dir + "/part");
    ASSERT_EQ(Run([&] { ftp.RestGetAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_TRUE(Displayed("> REST " + std::to_string(have)));
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.front(), have);
    EXPECT_EQ(ftp.ByteCount(), kSize - have);
    EXPECT_TRUE(SameBytes(dir + "/part", remote)) << "the resumed file differs";

    // Upload of the same size.
    ftp.OnProgress = nullptr;
    ftp.SetHostFileName("up");
    ftp.SetLocalFileName(dir + "/part");
    ASSERT_EQ(Run([&] { ftp.PutAsync(); }), 0) << ftp.ErrorMessage();
    EXPECT_EQ(ftp.ByteCount(), kSize);
    EXPECT_TRUE(SameBytes(server.Root() + "/up", remote)) << "the upload differs";
}

}  // namespace
}  // namespace tarnwick::ftp

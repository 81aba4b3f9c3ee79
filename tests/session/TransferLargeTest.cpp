// A file of 5 GiB down and up again through the headless window against pyftpdlib: the bytes
// arrive identical, and the progress window's figures stay right past 4 GiB.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "tests/session/TransferTestKit.h"

namespace tarnwick::session {
namespace {

using testkit::TransferFixture;

constexpr int64_t kFileSize = int64_t{5} << 30;
constexpr int64_t kFourGiB = int64_t{4} << 30;
constexpr size_t kBlock = size_t{1} << 20;
constexpr int kLargeDeadlineMs = 30 * 60 * 1000;

// Random blocks, each stamped with its number, so that a byte at a wrong offset shows.
void WritePattern(const std::string& path) {
    const std::string random = tarnwick::testing::RandomBytes(kBlock, 31);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    std::string block = random;
    for (int64_t i = 0; i * static_cast<int64_t>(kBlock) < kFileSize; ++i) {
        std::memcpy(block.data(), &i, sizeof i);
        ASSERT_EQ(::write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
    }
    ::close(fd);
}

// Whether two files hold the same bytes, read block by block.
bool SameBytes(const std::string& a, const std::string& b) {
    const int fa = ::open(a.c_str(), O_RDONLY);
    const int fb = ::open(b.c_str(), O_RDONLY);
    bool same = fa >= 0 && fb >= 0;
    auto ba = std::make_unique<char[]>(kBlock);
    auto bb = std::make_unique<char[]>(kBlock);
    while (same) {
        const ssize_t na = ::read(fa, ba.get(), kBlock);
        const ssize_t nb = ::read(fb, bb.get(), kBlock);
        same = na == nb && na >= 0 && std::memcmp(ba.get(), bb.get(), static_cast<size_t>(na)) == 0;
        if (na <= 0) break;
    }
    if (fa >= 0) ::close(fa);
    if (fb >= 0) ::close(fb);
    return same;
}

class TransferLargeTest : public TransferFixture {
  protected:
    // Watches the progress window while a batch runs: a figure past 4 GiB, shown right.
    void WatchProgress() {
        pastFourGiB = false;
        figuresRight = true;
        watch =
            Core().Notifier.Subscribe(static_cast<TChangeMask>(TChange::Progress), [this](TChange) {
                const dialogs::TProgress* p = main->Transfers().Progress();
                if (!p || p->Finished() || p->Transferred() <= kFourGiB) return;
                pastFourGiB = true;
                figuresRight = figuresRight && p->ProgressMax() == kFileSize &&
                               p->ProgressPosition() == p->Transferred() &&
                               p->TransferLbl() == std::to_string(p->Transferred()) &&
                               p->TotTransferLbl() == std::to_string(p->Transferred()) &&
                               p->Caption().ends_with("huge.bin (5368709120 bytes)");
            });
    }
    bool pastFourGiB = false;
    bool figuresRight = true;
    TStateNotifier::Subscription watch;
};

TEST_F(TransferLargeTest, FiveGiBDownAndUpWithTheFiguresRightPastFourGiB) {
    const std::string served = ftpd.Root() + "/huge.bin";
    WritePattern(served);
    Connect();

    WatchProgress();
    ASSERT_TRUE(Download({"huge.bin"}, kLargeDeadlineMs)) << ftpd.Log();
    EXPECT_TRUE(pastFourGiB);
    EXPECT_TRUE(figuresRight);
    ASSERT_EQ(std::filesystem::file_size(LocalPath("huge.bin")), static_cast<uintmax_t>(kFileSize));
    EXPECT_TRUE(SameBytes(served, LocalPath("huge.bin")));

    // Up again under the same name: the server's copy goes first, to spare the disk.
    std::filesystem::remove(served);
    dialogs.rewriteAnswers.push_back({TRewriteAnswer::Overwrite, ""});
    WatchProgress();
    ASSERT_TRUE(Upload({"huge.bin"}, kLargeDeadlineMs));
    EXPECT_TRUE(pastFourGiB);
    EXPECT_TRUE(figuresRight);
    ASSERT_EQ(std::filesystem::file_size(served), static_cast<uintmax_t>(kFileSize));
    EXPECT_TRUE(SameBytes(LocalPath("huge.bin"), served));
}

}  // namespace
}  // namespace tarnwick::session

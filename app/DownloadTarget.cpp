#include "app/DownloadTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tarnwick::cli {
namespace {

namespace fs = std::filesystem;

// Part files tried per target: "NAME.part", then "NAME.part2" up to this number.
constexpr int kMaxPartNames = 100;
constexpr mode_t kNewFileMode = 0666;     // before the umask, as any new file
constexpr mode_t kPermissionBits = 0777;  // what a replaced file passes on

}  // namespace

DownloadTarget::DownloadTarget(std::string target)
    : target_(std::move(target)), writePath_(target_) {}

DownloadTarget::~DownloadTarget() {
    if (!partPath_.empty()) ::unlink(partPath_.c_str());
}

void DownloadTarget::Prepare() {
    std::error_code ec;
    const fs::file_status link = fs::symlink_status(target_, ec);
    if (fs::is_symlink(link)) {
        // The link stays: its file is the one replaced. A dangling link is written through.
        const fs::path resolved = fs::canonical(target_, ec);
        if (ec) return;
        target_ = resolved.string();
    }
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    // Only regular files are replaced, and only those the user may write: a read-only
    // file is refused by the download as before, not swapped for a new one.
    if (exists && (!S_ISREG(st.st_mode) || ::access(target_.c_str(), W_OK) != 0)) return;
    if (!exists && errno != ENOENT) return;

    for (int n = 1; n <= kMaxPartNames; ++n) {
        std::string name = target_ + kPartSuffix;
        if (n > 1) name += std::to_string(n);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return;  // no part file can go beside the target: it is written directly
        }
        if (exists) ::fchmod(fd, st.st_mode & kPermissionBits);
        ::close(fd);
        partPath_ = std::move(name);
        writePath_ = partPath_;
        return;
    }
}

bool DownloadTarget::Commit(std::string& error) {
    if (partPath_.empty()) return true;
    if (::rename(partPath_.c_str(), target_.c_str()) != 0) {
        error = "cannot replace " + target_ + ": " + std::strerror(errno) +
                "; the download is kept in " + partPath_;
        partPath_.clear();
        return false;
    }
    partPath_.clear();
    return true;
}

bool DownloadTarget::KeepPartial(std::string& path, int64_t& size) {
    if (partPath_.empty()) return false;
    struct stat st {};
    if (::stat(partPath_.c_str(), &st) != 0 || st.st_size == 0) {
        ::unlink(partPath_.c_str());
        partPath_.clear();
        return false;
    }
    path = std::move(partPath_);
    partPath_.clear();
    size = static_cast<int64_t>(st.st_size);
    return true;
}

}  // namespace tarnwick::cli

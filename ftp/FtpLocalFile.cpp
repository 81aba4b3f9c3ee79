// The local file of a transfer on POSIX descriptors.
#include "ftp/FtpLocalFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarnwick::ftp {

namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the process umask

constexpr int kFlagsCompat = 0;
constexpr int kFlagsExclusive = 16;
constexpr int kFlagsDenyWrite = 32;
constexpr int kFlagsDenyRead = 48;
constexpr int kFlagsDenyNone = 64;

// The flock operation of a share mode, or 0 for none.
int LockOperation(TFtpShareMode share) {
    switch (share) {
        case ftpShareCompat:
        case ftpShareDenyNone:
            return 0;
        case ftpShareDenyWrite:
            return LOCK_SH;
        case ftpShareExclusive:
        case ftpShareDenyRead:
        default:
            return LOCK_EX;
    }
}

}  // namespace

bool LocalFile::Open(const std::string& name, Access access, TFtpShareMode share) {
    Close();
    int flags = O_CLOEXEC;
    switch (access) {
        case Access::Read:
            flags |= O_RDONLY;
            break;
        case Access::Write:
            flags |= O_WRONLY;
            break;
        case Access::Create:
            flags |= O_WRONLY | O_CREAT;
            break;
    }
    int fd;
    do {
        fd = ::open(name.c_str(), flags, kNewFileMode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return false;
    }
    const int lock = LockOperation(share);
    if (lock != 0 && ::flock(fd, lock | LOCK_NB) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    if (access == Access::Create && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    fd_ = fd;
    return true;
}

void LocalFile::Close() {
    if (fd_ < 0) return;
    ::close(fd_);  // releases the lock too
    fd_ = -1;
}

bool LocalFile::Seek(int64_t offset) {
    return fd_ >= 0 && ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == offset;
}

int64_t LocalFile::Size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t LocalFile::Read(void* buffer, size_t size) {
    if (fd_ < 0) return -1;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

bool LocalFile::Write(const void* data, size_t size) {
    if (fd_ < 0) return false;
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

int64_t LocalFileSize(const std::string& name) {
    struct stat st {};
    if (name.empty() || ::stat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool LocalFileWritable(const std::string& name) {
    if (name.empty()) return false;
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0)
        return !S_ISDIR(st.st_mode) && ::access(name.c_str(), W_OK) == 0;
    if (errno != ENOENT) return false;
    const size_t slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : name.substr(0, slash);
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

int ShareModeFlags(TFtpShareMode mode) {
    switch (mode) {
        case ftpShareCompat:
            return kFlagsCompat;
        case ftpShareDenyWrite:
            return kFlagsDenyWrite;
        case ftpShareDenyRead:
            return kFlagsDenyRead;
        case ftpShareDenyNone:
            return kFlagsDenyNone;
        case ftpShareExclusive:
        default:
            return kFlagsExclusive;
    }
}

TFtpShareMode ShareModeFromFlags(int flags) {
    switch (flags) {
        case kFlagsCompat:
            return ftpShareCompat;
        case kFlagsDenyWrite:
            return ftpShareDenyWrite;
        case kFlagsDenyRead:
            return ftpShareDenyRead;
        case kFlagsDenyNone:
            return ftpShareDenyNone;
        default:
            return ftpShareExclusive;
    }
}

}  // namespace tarnwick::ftp

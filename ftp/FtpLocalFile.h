// The local file of a transfer: one POSIX file descriptor, opened for reading (uploads),
// writing an existing file at an offset (resumed downloads) or created anew (downloads),
// with the engine's share mode applied as an advisory lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ftp/FtpTypes.h"

namespace tarnwick::ftp {

// Share modes on POSIX. There are no mandatory share modes here; the engine takes an
// advisory flock(2) that every cooperating opener (another transfer of this program, a
// second instance) honours, and that lets the open fail at once instead of waiting:
//
//   ftpShareCompat     (16-bit flags 0)   no lock: plain open
//   ftpShareExclusive  (16, deny all)     LOCK_EX: nobody else may hold any lock
//   ftpShareDenyWrite  (32)               LOCK_SH: other readers (shared locks) may
//                                         share the file; an exclusive locker may not
//   ftpShareDenyRead   (48)               LOCK_EX: as exclusive (a reader without a lock
//                                         cannot be kept out on POSIX)
//   ftpShareDenyNone   (64)               no lock: plain open
//
// A lock held elsewhere makes the open fail (EWOULDBLOCK), as a share violation would.
class LocalFile {
  public:
    enum class Access { Read, Write, Create };

    LocalFile() = default;
    ~LocalFile() { Close(); }
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    // Read: an existing file, read-only. Write: an existing file, write-only, nothing
    // truncated. Create: created when missing, else truncated to 0 bytes, but only once the
    // lock is held, so that a file locked by another opener keeps its bytes.
    // False with errno set when the file cannot be opened or locked.
    bool Open(const std::string& name, Access access, TFtpShareMode share);
    bool IsOpen() const { return fd_ >= 0; }
    void Close();

    bool Seek(int64_t offset);
    // Size in bytes of the open file, -1 when none is open.
    int64_t Size() const;
    // Bytes read (0 at the end), or -1 on a failure.
    int64_t Read(void* buffer, size_t size);
    // Writes all size bytes; false on a failure (a full disk, say).
    bool Write(const void* data, size_t size);

  private:
    int fd_ = -1;
};

// Size in bytes of the local file name, or -1 when there is no such file (or it is not a
// regular file).
int64_t LocalFileSize(const std::string& name);

// Whether a download could create or rewrite name: the file is writable, or it is missing
// and its folder takes new files. Asked before the verb goes out, so that a download that
// cannot be stored is refused without starting a transfer; the file itself is untouched.
bool LocalFileWritable(const std::string& name);

// The share flags of a share mode (0, 16, 32, 48, 64) and back; other values read as
// ftpShareExclusive.
int ShareModeFlags(TFtpShareMode mode);
TFtpShareMode ShareModeFromFlags(int flags);

}  // namespace tarnwick::ftp

// The local file a `get` without --resume writes: a part file beside the target, which
// replaces the target only once the whole file has come. A failed download leaves the
// target as it was and keeps the bytes received in the part file, which a resumed `get`
// can continue.
#pragma once

#include <cstdint>
#include <string>

namespace tarnwick::cli {

class DownloadTarget {
  public:
    // The suffix of a part file ("notes.txt.part"; "notes.txt.part2" when that is taken).
    static constexpr const char* kPartSuffix = ".part";

    explicit DownloadTarget(std::string target);
    // Removes a part file that neither Commit nor KeepPartial took.
    ~DownloadTarget();
    DownloadTarget(const DownloadTarget&) = delete;
    DownloadTarget& operator=(const DownloadTarget&) = delete;

    // Creates the part file. A target that is not a regular file (a device, a pipe), or
    // a folder where no part file can be created, is written directly, as before.
    void Prepare();
    // Where the download writes: the part file, or the target itself.
    const std::string& WritePath() const { return writePath_; }
    bool UsesPartFile() const { return !partPath_.empty(); }

    // After a successful download: the part file replaces the target. False with a
    // reason when the rename failed (the part file is then kept).
    bool Commit(std::string& error);
    // After a failed download: true when the part file holds bytes and is kept, with its
    // path and size; an empty part file is removed.
    bool KeepPartial(std::string& path, int64_t& size);

  private:
    std::string target_;     // the file to replace (a symbolic link's final file)
    std::string writePath_;  // where the download writes
    std::string partPath_;   // the part file, empty when none is in use
};

}  // namespace tarnwick::cli

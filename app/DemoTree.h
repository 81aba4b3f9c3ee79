// What "tarnwick --demo" serves: a scratch folder of its own that goes with its owner, and
// the sample tree made in it.
#pragma once

#include <cstdint>
#include <string>

namespace tarnwick::demo {

// A new folder under the system's temporary folder ($TMPDIR, else /tmp), mode 0700, made
// with mkdtemp; removed with everything in it when the owner goes. Path() is empty when it
// could not be made.
class TScratchFolder {
  public:
    explicit TScratchFolder(const std::string& prefix);
    ~TScratchFolder();
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    bool Made() const { return !path_.empty(); }

  private:
    std::string path_;
};

// The large file's size: sparse, so it costs neither time nor disk to make.
inline constexpr std::uint64_t kDemoLargeFileSize = 256ull * 1024 * 1024;
inline constexpr const char* kDemoLargeFile = "Large files/disk image.iso";

// Fills `root` with the sample tree: nested folders, names with blanks and UTF-8
// ("Read me.txt", "Ünïcode ✓/"), small text files, an empty folder for uploads and the large
// sparse file. Empty on success, else what could not be made.
std::string MakeDemoTree(const std::string& root);

}  // namespace tarnwick::demo

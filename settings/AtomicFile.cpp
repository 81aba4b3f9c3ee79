#include "settings/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

#include "settings/SettingsFolder.h"
#include "settings/TextFile.h"

namespace tarnwick {
namespace {

// The link's target when `path` is a symbolic link that resolves, else `path`.
std::string ResolveLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        ssize_t put = ::write(fd, content.data(), content.size());
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        content.remove_prefix(static_cast<size_t>(put));
    }
    return true;
}

void SyncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: the rename itself has already succeeded
    ::close(fd);
}

}  // namespace

bool WriteFileAtomic(const std::string& path, std::string_view content, FileAccess access) {
    const std::string target = ResolveLink(path);
    std::string pattern = target + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const std::string temp(name.data());
    const mode_t mode = access == FileAccess::kPrivate ? kPrivateFileMode : kSharedFileMode;
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolder(FolderOf(target));
    return true;
}

bool SaveSettingsFile(const std::string& folder, const std::string& name, std::string_view content,
                      FileAccess access) {
    const std::string path = JoinPath(folder, name);
    std::string old;
    if (ReadTextFile(path, old) == ReadStatus::kUnreadable) return false;
    if (!EnsureFolder(folder)) return false;
    return WriteFileAtomic(path, content, access);
}

}  // namespace tarnwick

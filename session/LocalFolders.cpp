#include "session/LocalFolders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarnwick::session {

namespace {

constexpr mode_t kFolderMode = 0777;  // less the umask

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool MakeLocalFolders(const std::string& path) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    if (IsFolder(path)) return true;
    size_t at = 0;
    while (at != std::string::npos) {
        at = path.find('/', at + 1);
        const std::string partial = path.substr(0, at);
        if (partial.empty() || IsFolder(partial)) continue;
        if (::mkdir(partial.c_str(), kFolderMode) != 0 && errno != EEXIST) return false;
    }
    if (IsFolder(path)) return true;
    errno = ENOTDIR;
    return false;
}

void RemoveFile(const std::string& path) {
    ::unlink(path.c_str());
}

std::string LocalErrorText(int error) {
    return std::strerror(error);
}

}  // namespace tarnwick::session

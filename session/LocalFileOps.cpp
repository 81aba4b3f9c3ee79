#include "session/LocalFileOps.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace tarnwick::session {

namespace {

constexpr mode_t kNewFolderMode = 0777;  // narrowed by the umask

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

bool IsRealFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

std::string JoinLocalPath(std::string_view directory, std::string_view name) {
    std::string path(directory);
    if (path.empty() || path.back() != '/') path += '/';
    path.append(name);
    return path;
}

std::string_view FileNamePart(std::string_view name) {
    const size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

TLocalFailure MakeLocalFolder(const std::string& path) {
    if (::mkdir(path.c_str(), kNewFolderMode) == 0) return {};
    return {errno, path};
}

TLocalFailure RenameLocal(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    int error = errno;
    if (error == EEXIST && from != to && SameFile(from, to)) {
        // Only the case of the name changes on a file system that ignores case.
        if (::rename(from.c_str(), to.c_str()) == 0) return {};
        error = errno;
    } else if (error == EINVAL || error == ENOSYS) {
        // A file system without the no-replace flag: look first (a race with another program
        // creating `to` at this very moment remains).
        struct stat st {};
        if (::lstat(to.c_str(), &st) == 0 && !SameFile(from, to)) return {EEXIST, to};
        if (::rename(from.c_str(), to.c_str()) == 0) return {};
        error = errno;
    }
    return {error, from};
}

void TLocalDeletePlan::Add(const std::string& path) {
    if (IsRealFolder(path))
        Folders.push_back(path);
    else
        Files.push_back(path);
}

void TLocalDeletePlan::Expand() {
    for (size_t i = 0; i < Folders.size(); ++i) {
        const std::string folder = Folders[i];  // Folders grows below
        std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
        if (!dir) continue;
        while (const dirent* e = ::readdir(dir.get())) {
            const std::string_view name = e->d_name;
            if (name == "." || name == "..") continue;
            const std::string path = JoinLocalPath(folder, name);
            // d_type spares a stat where the file system fills it in.
            if (e->d_type == DT_DIR)
                Folders.push_back(path);
            else if (e->d_type == DT_UNKNOWN)
                Add(path);
            else
                Files.push_back(path);
        }
    }
}

std::string TLocalDeletePlan::Question() const {
    char text[128];
    std::snprintf(text, sizeof text, "Do you wish to remove %zu file(s)", Files.size());
    std::string question = text;
    if (!Folders.empty()) {
        std::snprintf(text, sizeof text, "%s and %zu folder(es)", question.c_str(), Folders.size());
        question = text;
    }
    return question;
}

TLocalFailure TLocalDeletePlan::Execute() const {
    for (const std::string& f : Files) {
        if (::unlink(f.c_str()) != 0) return {errno, f};
    }
    for (auto it = Folders.rbegin(); it != Folders.rend(); ++it) {
        if (::rmdir(it->c_str()) != 0) return {errno, *it};
    }
    return {};
}

}  // namespace tarnwick::session

#include "settings/SettingsFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tarnwick {
namespace {

constexpr mode_t kFolderMode = 0700;

std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string HomeFolder() {
    std::string home = EnvOrEmpty("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) {
        return pw->pw_dir;
    }
    return "/";
}

std::string SettingsFolder() {
    std::string own = EnvOrEmpty("TARNWICK_HOME");
    if (!own.empty()) return own;
    std::string xdg = EnvOrEmpty("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/') return JoinPath(xdg, "tarnwick");
    return JoinPath(JoinPath(HomeFolder(), ".config"), "tarnwick");
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool EnsureFolder(const std::string& folder) {
    if (folder.empty()) return false;
    if (IsFolder(folder)) return true;
    // Create each missing level from the top down.
    for (size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/') continue;
        std::string level = folder.substr(0, pos);
        if (::mkdir(level.c_str(), kFolderMode) != 0 && errno != EEXIST) return false;
    }
    return IsFolder(folder);
}

}  // namespace tarnwick

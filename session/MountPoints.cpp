#include "session/MountPoints.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>

namespace tarnwick::session {

namespace {

constexpr const char* kRoot = "/";

// File systems that hold the system's own state, never a user's files.
constexpr std::array<std::string_view, 26> kPseudoFileSystems = {
    "autofs",    "binfmt_misc", "bpf",      "cgroup",          "cgroup2",     "configfs",
    "debugfs",   "devpts",      "devtmpfs", "efivarfs",        "fusectl",     "hugetlbfs",
    "mqueue",    "nsfs",        "proc",     "pstore",          "rpc_pipefs",  "securityfs",
    "selinuxfs", "sysfs",       "tracefs",  "fuse.gvfsd-fuse", "fuse.portal", "ramfs",
    "squashfs",  "nfsd"};

// Folders whose mounts belong to the system (a container's /etc/hosts is a file mounted over
// a file); removable media under /run/media stay. Nothing is looked at on the file systems
// themselves: a server that no longer answers must not hold the window.
constexpr std::array<std::string_view, 6> kSystemFolders = {"/proc", "/sys",      "/dev",
                                                            "/run",  "/boot/efi", "/etc"};
constexpr std::string_view kMediaFolder = "/run/media";

bool AtOrBelow(std::string_view path, std::string_view folder) {
    if (!path.starts_with(folder)) return false;
    return path.size() == folder.size() || path[folder.size()] == '/' || folder == kRoot;
}

bool IsSystemMount(std::string_view point, std::string_view type) {
    if (std::find(kPseudoFileSystems.begin(), kPseudoFileSystems.end(), type) !=
        kPseudoFileSystems.end())
        return true;
    if (AtOrBelow(point, kMediaFolder)) return false;
    for (std::string_view f : kSystemFolders)
        if (AtOrBelow(point, f)) return true;
    return false;
}

int OctalDigit(char c) {
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

// The mount table writes blank, tab, newline and backslash as "\ooo".
std::string Unescaped(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const int a = OctalDigit(field[i + 1]);
            const int b = OctalDigit(field[i + 2]);
            const int c = OctalDigit(field[i + 3]);
            if (a >= 0 && b >= 0 && c >= 0) {
                out += static_cast<char>((a << 6) | (b << 3) | c);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

// The blank-separated fields of one line.
std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

}  // namespace

std::vector<std::string> ParseMountPoints(std::string_view table) {
    std::vector<std::string> points{kRoot};
    while (!table.empty()) {
        const size_t end = table.find('\n');
        const std::string_view line = table.substr(0, end);
        table.remove_prefix(end == std::string_view::npos ? table.size() : end + 1);
        const std::vector<std::string_view> f = Fields(line);
        if (f.size() < 3) continue;
        std::string point = Unescaped(f[1]);
        if (point.empty() || point.front() != '/' || IsSystemMount(point, f[2])) continue;
        if (std::find(points.begin(), points.end(), point) == points.end())
            points.push_back(std::move(point));
    }
    return points;
}

std::vector<std::string> ReadMountPoints(const std::string& tablePath) {
    std::ifstream in(tablePath, std::ios::binary);
    if (!in) return {kRoot};
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ParseMountPoints(text);
}

int MountPointOf(const std::vector<std::string>& mounts, std::string_view folder) {
    int best = 0;
    size_t bestLength = 0;
    for (size_t i = 0; i < mounts.size(); ++i) {
        if (AtOrBelow(folder, mounts[i]) && mounts[i].size() > bestLength) {
            best = static_cast<int>(i);
            bestLength = mounts[i].size();
        }
    }
    return best;
}

}  // namespace tarnwick::session

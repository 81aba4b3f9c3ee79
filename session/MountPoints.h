// The drive box of the local pane: "/" and the mount points a user keeps files on, read from
// the kernel's mount table with the system's own file systems (proc, sysfs, cgroups, device
// nodes, run-time folders ...) left out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::session {

inline constexpr const char* kMountTable = "/proc/self/mounts";

// The mount points of a mount table's text (one "device point type options ..." per line,
// blanks in names written as octal escapes), "/" first, the others in the table's order, each
// once.
std::vector<std::string> ParseMountPoints(std::string_view table);

// The same for the table file; "/" alone when it cannot be read.
std::vector<std::string> ReadMountPoints(const std::string& tablePath = kMountTable);

// The entry of `mounts` a folder lies on: the longest mount point it is at or below (0, "/",
// when no other).
int MountPointOf(const std::vector<std::string>& mounts, std::string_view folder);

}  // namespace tarnwick::session

// Replacing a settings file without ever leaving it half written.
#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// Who may read a file: password files are the owner's alone.
enum class FileAccess { kShared, kPrivate };

inline constexpr unsigned kSharedFileMode = 0644;
inline constexpr unsigned kPrivateFileMode = 0600;

// Writes `content` to a temporary file in the target's folder, flushes it to
// disk and renames it over `path`, so the old file stays whole until the new
// one is complete. A symbolic link at `path` is kept and its target replaced.
// The new file gets mode 0600 (kPrivate) or 0644 (kShared). False on any
// failure; the temporary file is then removed and the old file is untouched.
bool WriteFileAtomic(const std::string& path, std::string_view content, FileAccess access);

// Creates `folder` when missing, then WriteFileAtomic(folder/name). A file of that
// name that exists but cannot be read (no permission, an I/O error, not a regular
// file) is never replaced: what it holds would be lost. The save is then refused
// with false and nothing is written.
bool SaveSettingsFile(const std::string& folder, const std::string& name, std::string_view content,
                      FileAccess access);

}  // namespace tarnwick

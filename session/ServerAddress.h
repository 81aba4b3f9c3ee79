// Address helpers of the main window: the URL-like Server text of a saved server taken apart,
// and the trailing separators of remote and local paths.
#pragma once

#include <string>
#include <string_view>

#include "settings/ServerList.h"

namespace tarnwick::session {

// The longest initial directory a Server text can carry.
inline constexpr size_t kMaxInitialDir = 255;

// Takes the Server text of a record apart: trimmed; a leading "ftp://", then a leading
// "http://" (either in any case) dropped; every space deleted; "user[:password]@" before the
// first "@" goes to User and Password; "/dir" from the first "/" on to InitialDir; ":port" to
// Port. What is left is the host. An IPv6 host is written in brackets, with or without a port
// ("ftp://[::1]:2121/pub", "[::1]"), or bare without one ("::1"); the host is kept without
// the brackets.
void NormalizeServerAddress(TFTPServerInfo& server);

// The path with "/" appended unless it ends with one; an empty path becomes "/".
std::string AddSlash(std::string_view path);
// The local form: the local separator is "/" too.
std::string AddBackslash(std::string_view path);

}  // namespace tarnwick::session

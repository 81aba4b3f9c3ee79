// The local disk as the transfers need it: folders made with their missing parents, files
// removed, and the text of a failure.
#pragma once

#include <string>

namespace tarnwick::session {

// Makes a folder and every missing folder above it; true when it is a folder afterwards.
// errno tells why not.
bool MakeLocalFolders(const std::string& path);
// Removes a file; a missing one is no failure.
void RemoveFile(const std::string& path);
// The system's text of an errno value.
std::string LocalErrorText(int error);

}  // namespace tarnwick::session

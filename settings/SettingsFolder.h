// Where the settings files live, and paths inside that folder.
#pragma once

#include <string>

namespace tarnwick {

// The settings folder: $TARNWICK_HOME if set and not empty, else
// $XDG_CONFIG_HOME/tarnwick when that is an absolute path, else
// $HOME/.config/tarnwick. Resolved anew on every call; nothing is created.
std::string SettingsFolder();

// The user's home folder ($HOME, else the password database, else "/").
std::string HomeFolder();

// folder + "/" + name, without doubling a "/" already at the folder's end.
std::string JoinPath(const std::string& folder, const std::string& name);

// Creates the folder and any missing parents (new ones with mode 0700).
// True when the folder exists afterwards.
bool EnsureFolder(const std::string& folder);

}  // namespace tarnwick

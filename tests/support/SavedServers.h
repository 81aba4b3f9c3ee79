// Saved-server records for the window's tests: a server on this machine with a user and a
// saved password, passive mode.
#pragma once

#include <string>

#include "settings/ServerList.h"

namespace tarnwick::testing {

inline TFTPServerInfo LoopbackServer(const std::string& name, const std::string& port,
                                     const std::string& user = "",
                                     const std::string& password = "") {
    TFTPServerInfo s = NewServerInfo();
    s.Name = name;
    s.Server = "127.0.0.1";
    s.Port = port;
    s.User = user;
    s.Password = password;
    s.Anonymous = 0;
    s.SavePassword = 1;
    s.Pasv = 1;
    return s;
}

}  // namespace tarnwick::testing

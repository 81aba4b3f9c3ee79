// "tarnwick --demo": a sample tree in a temporary folder, a loopback FTP server over it, and
// a temporary settings folder holding one saved server "Local demo" for it. The user's own
// settings folder is never read or written. Everything goes with the owner, in order: the
// server is stopped and reaped, then both folders are removed.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/DemoServer.h"
#include "app/DemoTree.h"

namespace tarnwick::demo {

inline constexpr const char* kDemoServerName = "Local demo";
inline constexpr const char* kDemoUser = "demo";
inline constexpr const char* kDemoScriptName = "tarnwick-demo-server.py";

// Where the installed program keeps the server script: <prefix>/share/tarnwick beside
// <prefix>/bin/tarnwick (the build tree has the same layout).
std::string InstalledServerScript();

class TDemo {
  public:
    // `script` is the server script (InstalledServerScript() for the program); `python` runs it.
    explicit TDemo(std::string script, std::string python = kSystemPython);
    ~TDemo();
    TDemo(const TDemo&) = delete;
    TDemo& operator=(const TDemo&) = delete;

    // Makes the tree, starts the server and writes the settings. False with Failure() set
    // when something could not be made; what was made is undone by the destructor.
    bool Start();
    const std::string& Failure() const { return failure_; }

    // The temporary settings folder for the window, and the served tree.
    std::string SettingsFolder() const;
    std::string ServedFolder() const;
    std::uint16_t Port() const;
    pid_t ServerPid() const;

  private:
    std::string script_;
    std::string python_;
    std::string failure_;
    // Declared so that the server goes before the folders.
    std::optional<TScratchFolder> settings_;
    std::optional<TScratchFolder> tree_;
    std::unique_ptr<TDemoServer> server_;
};

}  // namespace tarnwick::demo

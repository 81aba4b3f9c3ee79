// A real FTP server for integration tests: pyftpdlib run by the system's /usr/bin/python3,
// on 127.0.0.1 with a port the system picks, serving a fresh temporary folder to one user
// with a password. The destructor always stops the server, reaps it and removes the folder.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwick::testing {

class PyFtpdServer {
  public:
    static constexpr const char* kDefaultUser = "tester";
    static constexpr const char* kDefaultPassword = "s3cret";

    // extraArgs go to the server script ("--mlsd-links": MLSD names links as links).
    explicit PyFtpdServer(std::string user = kDefaultUser, std::string password = kDefaultPassword,
                          std::vector<std::string> extraArgs = {});
    ~PyFtpdServer();
    PyFtpdServer(const PyFtpdServer&) = delete;
    PyFtpdServer& operator=(const PyFtpdServer&) = delete;

    // False when the server could not be started; Failure() says why.
    bool Running() const { return port_ != 0; }
    const std::string& Failure() const { return failure_; }

    uint16_t Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }
    const std::string& User() const { return user_; }
    const std::string& Password() const { return password_; }
    // The served folder on the local disk ("/" of the FTP user).
    const std::string& Root() const { return root_; }
    // The server's log so far (for failure messages).
    std::string Log() const;

    // Small disk helpers for the served folder; paths are relative to Root(). WriteFile
    // creates the missing folders of the path.
    void WriteFile(const std::string& relative, const std::string& content) const;
    bool Exists(const std::string& relative) const;
    std::string ReadFile(const std::string& relative) const;
    // Permission bits (e.g. 0644) of a served file, -1 when it does not exist.
    int Mode(const std::string& relative) const;

  private:
    void Stop();

    std::string user_;
    std::string password_;
    std::string base_;  // temporary folder holding root/ and the log
    std::string root_;
    std::string logPath_;
    std::string failure_;
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

}  // namespace tarnwick::testing

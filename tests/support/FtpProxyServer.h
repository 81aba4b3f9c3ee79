// A real FTP proxy for integration tests: Debian's ftp-proxy, standalone in the
// foreground on 127.0.0.1 at a free port, taking the target in the login
// ("USER user@host[:port]", AllowMagicUser). Its configuration and log live in a fresh
// temporary folder; the destructor stops the proxy with its whole process group (it forks
// one child per client), reaps it and removes the folder.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace tarnwick::testing {

class FtpProxyServer {
  public:
    FtpProxyServer();
    ~FtpProxyServer();
    FtpProxyServer(const FtpProxyServer&) = delete;
    FtpProxyServer& operator=(const FtpProxyServer&) = delete;

    // False when the proxy could not be started; Failure() says why.
    bool Running() const { return port_ != 0; }
    const std::string& Failure() const { return failure_; }

    uint16_t Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }
    // The proxy's log so far (for failure messages).
    std::string Log() const;

  private:
    bool StartAt(uint16_t port);
    void Stop();

    std::string base_;  // temporary folder holding the configuration and the log
    std::string logPath_;
    std::string failure_;
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

}  // namespace tarnwick::testing

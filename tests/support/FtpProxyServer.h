// A real FTP proxy for integration tests: Debian's ftp-proxy, standalone in the foreground
// on 127.0.0.1 at a free port, taking the target in the login ("USER user@host[:port]",
// AllowMagicUser). Its configuration lives in the fixture's temporary folder and it logs
// into Log(); the destructor stops it with its process group (it forks a child per client).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/SocksProxies.h"

namespace tarnwick::testing {

class FtpProxyServer : public ProxyProcess {
  public:
    FtpProxyServer();

  private:
    static std::vector<std::string> Args(ProxyProcess& self, uint16_t port);
};

}  // namespace tarnwick::testing

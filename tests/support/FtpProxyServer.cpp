// Starting ftp-proxy for the integration tests.
#include "tests/support/FtpProxyServer.h"

#include <fstream>

namespace tarnwick::testing {

namespace {

constexpr const char* kProgram = "/usr/sbin/ftp-proxy";

}  // namespace

FtpProxyServer::FtpProxyServer() {
    if (!MakeFolder("tarnwick-ftpproxy")) return;
    Start(kProgram, &FtpProxyServer::Args);
}

std::vector<std::string> FtpProxyServer::Args(ProxyProcess& self, uint16_t port) {
    const std::string folder = static_cast<FtpProxyServer&>(self).Folder();
    const std::string config = folder + "/ftp-proxy.conf";
    std::ofstream out(config, std::ios::trunc);
    // Its log joins what it writes to stdout and stderr (the fixture's proxy.log).
    out << "ServerType standalone\n"
        << "Listen 127.0.0.1\n"
        << "Port " << port << "\n"
        << "AllowMagicUser yes\n"
        << "DestinationAddress 127.0.0.1\n"
        << "LogDestination " << folder << "/proxy.log\n"
        << "LogLevel INF\n";
    // -d: standalone whatever the file says; -n: stay in the foreground (our child).
    return {"-d", "-n", "-f", config};
}

}  // namespace tarnwick::testing

// Real SOCKS proxies for integration tests, run by the tests on 127.0.0.1 with a port
// picked free, each in a process group of its own that the destructor stops and reaps.
//
//   MicrosocksProxy: SOCKS 5 only; with a user name it demands user/password
//     authentication (method 2) and answers a wrong password with status 1 and a close;
//     with an empty user name it takes no authentication.
//       MicrosocksProxy proxy("puser", "ppass");
//       socket.SetSocksServer("127.0.0.1"); socket.SetSocksPort(proxy.PortText());
//   DanteProxy: SOCKS 4 and 5 without authentication (this dante takes no SOCKS 4A: it
//     connects to the marker address 0.0.0.1 itself and answers 91). The configuration it is given
//     (written into the fixture's temporary folder), as it works inside a container as root:
//       logoutput: stderr                       (the fixture keeps it in Log())
//       internal: 127.0.0.1 port = N
//       external: 127.0.0.1
//       clientmethod: none / socksmethod: none  (user/password would need system accounts)
//       user.privileged: root / user.unprivileged: nobody
//       client pass and socks pass rules from 127.0.0.0/8 to anywhere.
//     The mother process forks helper processes; stopping the group stops them all.
//
// Both: Running() is false when the proxy could not be started, Failure() says why.
// The targets behind the proxy are whatever listens on 127.0.0.1 (an echo server, an FTP
// server fixture).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwick::testing {

// One proxy process (and its children) in a group of its own.
class ProxyProcess {
  public:
    ~ProxyProcess();
    ProxyProcess(const ProxyProcess&) = delete;
    ProxyProcess& operator=(const ProxyProcess&) = delete;

    bool Running() const { return port_ != 0; }
    const std::string& Failure() const { return failure_; }
    uint16_t Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }
    // What the proxy wrote to stdout and stderr so far (for failure messages).
    std::string Log() const;

  protected:
    ProxyProcess() = default;
    // Makes the temporary folder; false (with Failure set) when it cannot.
    bool MakeFolder(const char* prefix);
    // Picks a free port, lets makeArgs build the command line for it, starts the program
    // and waits until the port accepts connections; a few attempts when the port is taken
    // between the pick and the proxy's bind.
    void Start(const std::string& program,
               std::vector<std::string> (*makeArgs)(ProxyProcess& self, uint16_t port));
    void Stop();
    const std::string& Folder() const { return base_; }

    std::string failure_;

  private:
    bool StartOn(const std::string& program, const std::vector<std::string>& args, uint16_t port);

    std::string base_;
    std::string logPath_;
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

class MicrosocksProxy : public ProxyProcess {
  public:
    static constexpr const char* kDefaultUser = "proxyuser";
    static constexpr const char* kDefaultPassword = "proxy-s3cret";

    // An empty user runs the proxy without authentication.
    explicit MicrosocksProxy(std::string user = kDefaultUser,
                             std::string password = kDefaultPassword);
    const std::string& User() const { return user_; }
    const std::string& Password() const { return password_; }

  private:
    static std::vector<std::string> Args(ProxyProcess& self, uint16_t port);
    std::string user_;
    std::string password_;
};

class DanteProxy : public ProxyProcess {
  public:
    DanteProxy();

  private:
    static std::vector<std::string> Args(ProxyProcess& self, uint16_t port);
};

}  // namespace tarnwick::testing

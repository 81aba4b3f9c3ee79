// The demo's FTP server: our script over pyftpdlib, run by the system's Python, on
// 127.0.0.1 with a port the system picks. The owner stops it: the destructor asks it to end,
// waits for it, and kills it if it does not end in time. The server also ends by itself
// when this process goes, since it watches the pipe that carries its standard input.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace tarnwick::demo {

inline constexpr const char* kSystemPython = "/usr/bin/python3";
inline constexpr const char* kPyftpdlibPackage = "python3-pyftpdlib";

struct TDemoServerSpec {
    std::string Python = kSystemPython;
    std::string Script;  // app/demo/tarnwick-demo-server.py, as installed
    std::string Root;    // the folder served as "/"
    std::string User;
    std::string Password;  // handed over on standard input, never on the command line
};

class TDemoServer {
  public:
    explicit TDemoServer(const TDemoServerSpec& spec);
    ~TDemoServer();
    TDemoServer(const TDemoServer&) = delete;
    TDemoServer& operator=(const TDemoServer&) = delete;

    // False when the server did not start; Failure() then says why, for the user.
    bool Running() const { return port_ != 0; }
    const std::string& Failure() const { return failure_; }
    std::uint16_t Port() const { return port_; }
    // The server's process id while it runs, else -1.
    pid_t Pid() const { return pid_; }

    // Ends the server and reaps it; nothing when it is not running.
    void Stop();

  private:
    void Start(const TDemoServerSpec& spec);
    std::string ReadFirstLine();

    pid_t pid_ = -1;
    int input_ = -1;   // the write end of the server's standard input
    int output_ = -1;  // the read end of its standard output
    std::uint16_t port_ = 0;
    std::string failure_;
};

}  // namespace tarnwick::demo

// A scripted SOCKS server for tests: listens on 127.0.0.1 with a port the system picks,
// accepts one connection and plays a script of steps on its own thread with blocking
// sockets: read a given number of bytes (recording them), expect exact bytes, send canned
// bytes, pause, close. After the script it keeps recording what arrives until the client
// closes or the server is destroyed, so Received() holds every byte the client sent.
//
//   ScriptedSocksServer proxy;
//   proxy.Expect(Bytes({0x05, 0x01, 0x00})).Send(Bytes({0x05, 0x00})).Read(15)
//        .Send(Bytes({0x05, 0x00, 0x00, 0x01, 127, 0, 0, 1, 0, 21}));
//   proxy.Start();
//   ... socket.SetSocksServer("127.0.0.1"); socket.SetSocksPort(proxy.PortText()) ...
//   EXPECT_EQ(proxy.Received(), expectedBytes);
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick::testing {

// Bytes written as numbers ({0x05, 0x01, 0x00}) as a string.
std::string Bytes(std::initializer_list<int> bytes);
// Bytes as hexadecimal pairs separated by blanks ("05 01 00"), for failure messages.
std::string Hex(const std::string& bytes);

class ScriptedSocksServer {
  public:
    // Throws when it cannot listen.
    ScriptedSocksServer();
    ~ScriptedSocksServer();
    ScriptedSocksServer(const ScriptedSocksServer&) = delete;
    ScriptedSocksServer& operator=(const ScriptedSocksServer&) = delete;

    uint16_t Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }

    // Script steps, run in the order given.
    ScriptedSocksServer& Read(size_t count);                // records count bytes
    ScriptedSocksServer& Expect(const std::string& bytes);  // Read, noting a mismatch
    ScriptedSocksServer& Send(const std::string& bytes);
    ScriptedSocksServer& Pause(int ms);
    ScriptedSocksServer& Close();

    void Start();

    // Thread-safe views of what happened.
    std::string Received() const;
    std::vector<std::string> Mismatches() const;
    bool ScriptDone() const { return scriptDone_; }
    bool ClientClosed() const { return clientClosed_; }

  private:
    enum class Kind { Read, Expect, Send, Pause, Close };
    struct Step {
        Kind kind;
        std::string bytes;
        size_t count = 0;
    };

    void Run();
    bool AcceptClient();
    bool ReadExactly(size_t count, std::string& into);  // false when closed or stopping
    void Drain();

    int listenFd_ = -1;
    int clientFd_ = -1;
    uint16_t port_ = 0;
    std::vector<Step> script_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> scriptDone_{false};
    std::atomic<bool> clientClosed_{false};
    mutable std::mutex mutex_;
    std::string received_;
    std::vector<std::string> mismatches_;
};

}  // namespace tarnwick::testing

// A TCP relay for tests: listens on 127.0.0.1 with a port the system picks, forwards each
// connection it accepts to a target port on 127.0.0.1 and back, and records every byte the
// clients sent, as the wire carried them (what an eavesdropper on the loopback would see).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick::testing {

class RecordingRelay {
  public:
    // Throws when it cannot listen.
    explicit RecordingRelay(uint16_t targetPort);
    ~RecordingRelay();
    RecordingRelay(const RecordingRelay&) = delete;
    RecordingRelay& operator=(const RecordingRelay&) = delete;

    uint16_t Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }
    // Everything the clients sent so far, all connections in one string.
    std::string ClientBytes() const;

  private:
    void AcceptLoop();
    void Pump(int from, int to, bool record);

    uint16_t targetPort_;
    uint16_t port_ = 0;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::string clientBytes_;
    std::vector<int> fds_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};

}  // namespace tarnwick::testing

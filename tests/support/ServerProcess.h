// The life of a real server started by a test in a process group of its own: waiting
// until it listens, and stopping the whole group (the server and whatever it forked).
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "tests/support/LoopbackPorts.h"

namespace tarnwick::testing {

inline constexpr int kServerStartDeadlineMs = 10000;
inline constexpr int kServerStopDeadlineMs = 5000;
inline constexpr int kServerPollMs = 10;

// Waits until 127.0.0.1:port accepts connections. False when the child exited first (the
// port was taken, or its configuration was refused; `pid` is then reaped and set to -1)
// or when the deadline passed (the child is left running for the caller to stop).
// (On [::1]:port with ipv6.)
inline bool WaitUntilListening(pid_t& pid, uint16_t port, int deadlineMs = kServerStartDeadlineMs,
                               bool ipv6 = false) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return false;
        }
        if (ipv6 ? IPv6LoopbackPortAccepts(port) : LoopbackPortAccepts(port)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(kServerPollMs));
    }
    return false;
}

// Stops the process group led by `pid`: TERM, then KILL once the deadline passed; the
// leader is reaped and `pid` set to -1. Nothing happens when pid is not positive.
inline void StopProcessGroup(pid_t& pid, int deadlineMs = kServerStopDeadlineMs) {
    if (pid <= 0) return;
    ::kill(-pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kServerPollMs));
    }
    ::kill(-pid, SIGKILL);  // group members that outlived the first signal
    pid = -1;
}

}  // namespace tarnwick::testing

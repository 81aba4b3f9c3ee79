// The scripted SOCKS server: blocking POSIX sockets on a thread of its own; every wait polls
// in short slices so that destruction never waits for a client.
#include "tests/support/ScriptedSocksServer.h"

#include "tests/support/LoopbackPorts.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace tarnwick::testing {

namespace {

constexpr int kPollSliceMs = 20;
constexpr int kReadChunk = 4096;

bool Readable(int fd) {
    return ReadableWithin(fd, kPollSliceMs);
}

}  // namespace

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

std::string Hex(const std::string& bytes) {
    std::string s;
    char pair[4];
    for (unsigned char c : bytes) {
        std::snprintf(pair, sizeof(pair), "%02x ", c);
        s += pair;
    }
    if (!s.empty()) s.pop_back();
    return s;
}

ScriptedSocksServer::ScriptedSocksServer() {
    listenFd_ = ListenLoopback(0, port_);
    if (listenFd_ < 0) throw std::runtime_error("ScriptedSocksServer: bind/listen failed");
}

ScriptedSocksServer::~ScriptedSocksServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int fd : {clientFd_, listenFd_})
        if (fd >= 0) ::close(fd);
}

ScriptedSocksServer& ScriptedSocksServer::Read(size_t count) {
    script_.push_back({Kind::Read, "", count});
    return *this;
}

ScriptedSocksServer& ScriptedSocksServer::Expect(const std::string& bytes) {
    script_.push_back({Kind::Expect, bytes, bytes.size()});
    return *this;
}

ScriptedSocksServer& ScriptedSocksServer::Send(const std::string& bytes) {
    script_.push_back({Kind::Send, bytes, 0});
    return *this;
}

ScriptedSocksServer& ScriptedSocksServer::Pause(int ms) {
    script_.push_back({Kind::Pause, "", static_cast<size_t>(ms)});
    return *this;
}

ScriptedSocksServer& ScriptedSocksServer::Close() {
    script_.push_back({Kind::Close, "", 0});
    return *this;
}

void ScriptedSocksServer::Start() {
    thread_ = std::thread([this] { Run(); });
}

std::string ScriptedSocksServer::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::vector<std::string> ScriptedSocksServer::Mismatches() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mismatches_;
}

bool ScriptedSocksServer::AcceptClient() {
    while (!stop_) {
        if (!Readable(listenFd_)) continue;
        clientFd_ = ::accept(listenFd_, nullptr, nullptr);
        if (clientFd_ >= 0) return true;
    }
    return false;
}

bool ScriptedSocksServer::ReadExactly(size_t count, std::string& into) {
    while (into.size() < count) {
        if (stop_) return false;
        if (!Readable(clientFd_)) continue;
        char buf[kReadChunk];
        const size_t want = std::min(sizeof(buf), count - into.size());
        const ssize_t n = ::recv(clientFd_, buf, want, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            clientClosed_ = true;
            return false;
        }
        into.append(buf, static_cast<size_t>(n));
        std::lock_guard<std::mutex> lock(mutex_);
        received_.append(buf, static_cast<size_t>(n));
    }
    return true;
}

void ScriptedSocksServer::Run() {
    if (!AcceptClient()) return;
    for (const Step& step : script_) {
        if (stop_) return;
        switch (step.kind) {
            case Kind::Read:
            case Kind::Expect: {
                std::string got;
                const bool complete = ReadExactly(step.count, got);
                if (step.kind == Kind::Expect && got != step.bytes) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    mismatches_.push_back("expected " + Hex(step.bytes) + ", got " + Hex(got));
                }
                if (!complete) {
                    scriptDone_ = true;
                    return;
                }
                break;
            }
            case Kind::Send: {
                size_t sent = 0;
                while (sent < step.bytes.size()) {
                    const ssize_t n = ::send(clientFd_, step.bytes.data() + sent,
                                             step.bytes.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0) break;
                    sent += static_cast<size_t>(n);
                }
                break;
            }
            case Kind::Pause:
                std::this_thread::sleep_for(std::chrono::milliseconds(step.count));
                break;
            case Kind::Close:
                ::close(clientFd_);
                clientFd_ = -1;
                scriptDone_ = true;
                return;
        }
    }
    scriptDone_ = true;
    Drain();
}

void ScriptedSocksServer::Drain() {
    std::string rest;
    while (!stop_ && !clientClosed_) ReadExactly(rest.size() + 1, rest);
}

}  // namespace tarnwick::testing

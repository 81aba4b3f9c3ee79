#include "tests/support/RecordingRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tarnwick::testing {

namespace {

constexpr int kPollMs = 50;
constexpr size_t kChunk = 16384;

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

RecordingRelay::RecordingRelay(uint16_t targetPort) : targetPort_(targetPort) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof(a);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("relay cannot listen");
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

RecordingRelay::~RecordingRelay() {
    stopping_ = true;
    acceptor_.join();
    for (auto& t : threads_) t.join();
    for (int fd : fds_) ::close(fd);
    ::close(listener_);
}

std::string RecordingRelay::ClientBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return clientBytes_;
}

void RecordingRelay::AcceptLoop() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in target = Loopback(targetPort_);
        if (server < 0 ||
            ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof(target)) != 0) {
            ::close(client);
            if (server >= 0) ::close(server);
            continue;
        }
        fds_.push_back(client);
        fds_.push_back(server);
        threads_.emplace_back([this, client, server] { Pump(client, server, true); });
        threads_.emplace_back([this, client, server] { Pump(server, client, false); });
    }
}

void RecordingRelay::Pump(int from, int to, bool record) {
    char buf[kChunk];
    while (!stopping_) {
        pollfd p{from, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) continue;
        const ssize_t n = ::recv(from, buf, sizeof(buf), 0);
        if (n <= 0) {
            ::shutdown(to, SHUT_WR);
            return;
        }
        if (record) {
            std::lock_guard<std::mutex> lock(mutex_);
            clientBytes_.append(buf, static_cast<size_t>(n));
        }
        if (::send(to, buf, static_cast<size_t>(n), MSG_NOSIGNAL) != n) return;
    }
}

}  // namespace tarnwick::testing

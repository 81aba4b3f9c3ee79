// The scripted FTP server: blocking POSIX sockets on a thread of its own; every wait polls
// in short slices so that destruction never waits for a client.
#include "tests/support/ScriptedFtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace tarnwick::testing {

namespace {

constexpr int kPollSliceMs = 20;
constexpr int kReadChunk = 4096;

// Waits up to kPollSliceMs for fd to become readable; true when it did.
bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, kPollSliceMs) > 0;
}

}  // namespace

ScriptedFtpServer::ScriptedFtpServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listenFd_ < 0) throw std::runtime_error("ScriptedFtpServer: socket failed");
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        ::listen(listenFd_, 4) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("ScriptedFtpServer: bind/listen failed");
    }
    socklen_t len = sizeof(addr);
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
}

ScriptedFtpServer::~ScriptedFtpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (clientFd_ >= 0) ::close(clientFd_);
    if (listenFd_ >= 0) ::close(listenFd_);
}

ScriptedFtpServer& ScriptedFtpServer::Reply(const std::string& line) {
    return Send(line + "\r\n");
}

ScriptedFtpServer& ScriptedFtpServer::Send(const std::string& raw) {
    script_.push_back({Kind::Send, raw, 0});
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::SendPieces(const std::vector<std::string>& pieces,
                                                 int pauseMs) {
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) Pause(pauseMs);
        Send(pieces[i]);
    }
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::Expect(const std::string& command) {
    script_.push_back({Kind::Expect, command, 0});
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::Pause(int ms) {
    script_.push_back({Kind::Pause, "", ms});
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::Close() {
    script_.push_back({Kind::Close, "", 0});
    return *this;
}

void ScriptedFtpServer::Start() {
    thread_ = std::thread([this] { Run(); });
}

std::vector<std::string> ScriptedFtpServer::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::vector<std::string> ScriptedFtpServer::Mismatches() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mismatches_;
}

void ScriptedFtpServer::Record(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(line);
}

void ScriptedFtpServer::Mismatch(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    mismatches_.push_back(text);
}

bool ScriptedFtpServer::AcceptClient() {
    while (!stop_) {
        if (!Readable(listenFd_)) continue;
        clientFd_ = ::accept(listenFd_, nullptr, nullptr);
        if (clientFd_ >= 0) {
            ++connections_;
            return true;
        }
    }
    return false;
}

bool ScriptedFtpServer::ReadLine(std::string& line) {
    for (;;) {
        const size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            line = pending_.substr(0, lf);
            pending_.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        if (stop_ || clientClosed_) return false;
        if (!Readable(clientFd_)) continue;
        char chunk[kReadChunk];
        const ssize_t n = ::recv(clientFd_, chunk, sizeof(chunk), 0);
        if (n <= 0) {
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            clientClosed_ = true;
            return false;
        }
        pending_.append(chunk, static_cast<size_t>(n));
    }
}

bool ScriptedFtpServer::WriteAll(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(clientFd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void ScriptedFtpServer::Run() {
    if (!AcceptClient()) return;
    for (const Step& step : script_) {
        if (stop_) return;
        switch (step.kind) {
            case Kind::Send:
                if (!WriteAll(step.text)) Mismatch("write failed before: " + step.text);
                break;
            case Kind::Expect: {
                std::string line;
                if (!ReadLine(line)) {
                    Mismatch("connection ended while expecting: " + step.text);
                    scriptDone_ = true;
                    return;
                }
                Record(line);
                const bool prefix = !step.text.empty() && step.text.back() == '*';
                const bool match = prefix ? line.compare(0, step.text.size() - 1, step.text, 0,
                                                         step.text.size() - 1) == 0
                                          : line == step.text;
                if (!match) Mismatch("expected \"" + step.text + "\", got \"" + line + "\"");
                break;
            }
            case Kind::Pause: {
                const auto until =
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(step.ms);
                while (!stop_ && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                break;
            }
            case Kind::Close:
                ::shutdown(clientFd_, SHUT_RDWR);
                ::close(clientFd_);
                clientFd_ = -1;
                scriptDone_ = true;
                return;
        }
    }
    scriptDone_ = true;
    Drain();
}

void ScriptedFtpServer::Drain() {
    // Silence: record whatever else comes, answer nothing.
    std::string line;
    while (ReadLine(line)) Record(line);
}

}  // namespace tarnwick::testing

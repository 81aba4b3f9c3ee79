// The scripted FTP server: blocking POSIX sockets on a thread of its own; every wait polls
// in short slices so that destruction never waits for a client.
#include "tests/support/ScriptedFtpServer.h"

#include "tests/support/LoopbackPorts.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

namespace tarnwick::testing {

namespace {

constexpr int kPollSliceMs = 20;
constexpr int kReadChunk = 4096;

bool Readable(int fd) {
    return ReadableWithin(fd, kPollSliceMs);
}

}  // namespace

ScriptedFtpServer::ScriptedFtpServer(uint16_t dataPort) {
    listenFd_ = ListenLoopback(0, port_);
    if (listenFd_ < 0) throw std::runtime_error("ScriptedFtpServer: bind/listen failed");
    dataListenFd_ = ListenLoopback(dataPort, dataPort_);
    if (dataListenFd_ < 0) {
        ::close(listenFd_);
        throw std::runtime_error("ScriptedFtpServer: the data port cannot be bound");
    }
}

ScriptedFtpServer::~ScriptedFtpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int fd : {clientFd_, listenFd_, dataFd_, dataListenFd_})
        if (fd >= 0) ::close(fd);
}

std::string ScriptedFtpServer::PasvReplyText(const std::string& hostNumbers) const {
    return "227 Entering Passive Mode (" + hostNumbers + "," + std::to_string(dataPort_ >> 8) +
           "," + std::to_string(dataPort_ & 0xFF) + ")";
}

ScriptedFtpServer& ScriptedFtpServer::AcceptData() {
    script_.push_back({Kind::AcceptData, "", 0});
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::ConnectData() {
    script_.push_back({Kind::ConnectData, "", 0});
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::SendData(const std::string& bytes) {
    script_.push_back({Kind::SendData, bytes, 0});
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::ReceiveDataSlowly(int pauseMs) {
    script_.push_back({Kind::ReceiveData, "", pauseMs});
    return *this;
}

void ScriptedFtpServer::SetDataReceiveBuffer(int bytes) {
    ::setsockopt(dataListenFd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof(bytes));
}

ScriptedFtpServer& ScriptedFtpServer::ReceiveData() {
    script_.push_back({Kind::ReceiveData, "", 0});
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::CloseData() {
    script_.push_back({Kind::CloseData, "", 0});
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::ResetData() {
    script_.push_back({Kind::ResetData, "", 0});
    return *this;
}

std::string ScriptedFtpServer::DataReceived() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dataReceived_;
}

void ScriptedFtpServer::NotePortCommand(const std::string& line) {
    if (line.rfind("PORT ", 0) != 0) return;
    unsigned n[6] = {};
    if (std::sscanf(line.c_str() + 5, "%u,%u,%u,%u,%u,%u", &n[0], &n[1], &n[2], &n[3], &n[4],
                    &n[5]) != 6)
        return;
    activeAddr_ = htonl((n[0] << 24) | (n[1] << 16) | (n[2] << 8) | n[3]);
    activePort_ = static_cast<uint16_t>((n[4] << 8) | n[5]);
}

bool ScriptedFtpServer::RunDataStep(const Step& step) {
    switch (step.kind) {
        case Kind::AcceptData:
            while (!stop_) {
                if (!Readable(dataListenFd_)) continue;
                dataFd_ = ::accept(dataListenFd_, nullptr, nullptr);
                return dataFd_ >= 0;
            }
            return false;
        case Kind::ConnectData: {
            dataFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = activeAddr_;
            addr.sin_port = htons(activePort_);
            return dataFd_ >= 0 &&
                   ::connect(dataFd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
        }
        case Kind::SendData: {
            size_t done = 0;
            while (done < step.text.size()) {
                const ssize_t n =
                    ::send(dataFd_, step.text.data() + done, step.text.size() - done, MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) return false;
                done += static_cast<size_t>(n);
            }
            return true;
        }
        case Kind::ReceiveData:
            while (!stop_) {
                if (!Readable(dataFd_)) continue;
                char chunk[kReadChunk];
                const ssize_t n = ::recv(dataFd_, chunk, sizeof(chunk), 0);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) return n == 0;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    dataReceived_.append(chunk, static_cast<size_t>(n));
                }
                if (step.ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
            }
            return false;
        case Kind::CloseData:
        case Kind::ResetData:
            if (dataFd_ >= 0) {
                if (step.kind == Kind::ResetData) {
                    const linger abortive{1, 0};
                    ::setsockopt(dataFd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
                }
                ::close(dataFd_);
                dataFd_ = -1;
            }
            return true;
        default:
            return true;
    }
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

bool ScriptedFtpServer::WaitScriptDone(int ms) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!scriptDone_ && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return scriptDone_;
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
                NotePortCommand(line);
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
            default:
                if (!RunDataStep(step))
                    Mismatch("data step failed (" + std::to_string(static_cast<int>(step.kind)) +
                             ")");
                break;
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

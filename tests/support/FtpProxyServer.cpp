// Starting and stopping ftp-proxy for the integration tests.
#include "tests/support/FtpProxyServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace tarnwick::testing {

namespace {

constexpr const char* kProgram = "/usr/sbin/ftp-proxy";
constexpr int kStartAttempts = 3;  // another process may take the free port in between
constexpr int kStartDeadlineMs = 10000;
constexpr int kStopDeadlineMs = 5000;
constexpr int kPollMs = 20;

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sa;
}

// A port nobody listens on right now.
uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in sa = Loopback(0);
    socklen_t len = sizeof(sa);
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0)
        port = ntohs(sa.sin_port);
    ::close(fd);
    return port;
}

bool Accepts(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in sa = Loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

FtpProxyServer::FtpProxyServer() {
    std::string templ =
        (std::filesystem::temp_directory_path() / "tarnwick-ftpproxy-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) {
        failure_ = "mkdtemp failed";
        return;
    }
    base_ = templ;
    logPath_ = base_ + "/proxy.log";
    for (int attempt = 0; attempt < kStartAttempts && port_ == 0; ++attempt) {
        const uint16_t port = FreePort();
        if (port != 0 && StartAt(port)) port_ = port;
    }
    if (port_ == 0 && failure_.empty()) failure_ = "no free port for ftp-proxy";
}

bool FtpProxyServer::StartAt(uint16_t port) {
    const std::string config = base_ + "/ftp-proxy.conf";
    {
        std::ofstream out(config, std::ios::trunc);
        out << "ServerType standalone\n"
            << "Listen 127.0.0.1\n"
            << "Port " << port << "\n"
            << "AllowMagicUser yes\n"
            << "DestinationAddress 127.0.0.1\n"
            << "LogDestination " << logPath_ << "\n"
            << "LogLevel INF\n";
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);  // its own group, children too
    posix_spawnattr_setpgroup(&attr, 0);
    // -d: standalone whatever the file says; -n: stay in the foreground (our child).
    std::vector<std::string> args = {kProgram, "-d", "-n", "-f", config};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, kProgram, &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = -1;
        failure_ = "cannot run " + std::string(kProgram);
        return false;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartDeadlineMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {  // it gave up (port taken?)
            pid_ = -1;
            failure_ = "ftp-proxy ended at start: " + Log();
            return false;
        }
        if (Accepts(port)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    failure_ = "ftp-proxy did not listen: " + Log();
    Stop();
    return false;
}

FtpProxyServer::~FtpProxyServer() {
    Stop();
    if (!base_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(base_, ec);
    }
}

void FtpProxyServer::Stop() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGTERM);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopDeadlineMs);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs / 2));
    }
    pid_ = -1;
}

std::string FtpProxyServer::Log() const {
    std::ifstream in(logPath_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace tarnwick::testing

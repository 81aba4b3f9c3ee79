#include "app/DemoServer.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

namespace tarnwick::demo {
namespace {

constexpr int kStartDeadlineMs = 15000;
constexpr int kStopDeadlineMs = 5000;
constexpr int kPollMs = 10;
constexpr size_t kLongestFirstLine = 4096;
constexpr std::string_view kPortLine = "PORT ";
constexpr std::string_view kMissingLine = "MISSING pyftpdlib";

std::string MissingPyftpdlib() {
    return std::string(
               "tarnwick --demo needs pyftpdlib, Python 3's FTP server library, which "
               "is not installed.\nInstall the Debian package ") +
           kPyftpdlibPackage + ": sudo apt-get install " + kPyftpdlibPackage + "\n";
}

// Writes all of `text` to a pipe whose reader may have gone; a reader that has gone gives
// false, never SIGPIPE.
bool WriteToPipe(int fd, std::string_view text) {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
    bool ok = true;
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            if (errno == EPIPE) {
                const timespec noWait{};
                sigtimedwait(&pipeSignal, nullptr, &noWait);
            }
            break;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return ok;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

TDemoServer::TDemoServer(const TDemoServerSpec& spec) {
    Start(spec);
    if (!Running()) Stop();
}

TDemoServer::~TDemoServer() {
    Stop();
}

void TDemoServer::Start(const TDemoServerSpec& spec) {
    if (::access(spec.Python.c_str(), X_OK) != 0) {
        failure_ = "tarnwick --demo runs its FTP server with " + spec.Python +
                   ", which is missing.\nInstall the Debian package " + kPyftpdlibPackage +
                   " (it brings Python 3): sudo apt-get install " + kPyftpdlibPackage + "\n";
        return;
    }
    if (::access(spec.Script.c_str(), R_OK) != 0) {
        failure_ = "tarnwick --demo: the demo server script " + spec.Script + " is missing\n";
        return;
    }
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        failure_ = std::string("tarnwick --demo: pipe: ") + std::strerror(errno) + "\n";
        return;
    }
    if (::pipe2(out, O_CLOEXEC) != 0) {
        failure_ = std::string("tarnwick --demo: pipe: ") + std::strerror(errno) + "\n";
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    input_ = in[1];
    output_ = out[0];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    // A group of its own: the terminal's Ctrl+C reaches this program, which then stops the
    // server in order, after the window.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<std::string> args = {spec.Python, spec.Script, "--root",
                                     spec.Root,   "--user",    spec.User};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, spec.Python.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
        pid_ = -1;
        failure_ = "tarnwick --demo: cannot run " + spec.Python + ": " + std::strerror(rc) + "\n";
        return;
    }

    WriteToPipe(input_, spec.Password + "\n");
    const std::string line = ReadFirstLine();
    CloseFd(output_);
    if (line.rfind(kPortLine, 0) == 0) {
        unsigned port = 0;
        const char* first = line.data() + kPortLine.size();
        const char* last = line.data() + line.size();
        const auto [end, error] = std::from_chars(first, last, port);
        if (error == std::errc{} && end == last && port > 0 && port <= UINT16_MAX) {
            port_ = static_cast<std::uint16_t>(port);
            return;
        }
    }
    if (line == kMissingLine) {
        failure_ = MissingPyftpdlib();
    } else {
        failure_ = "tarnwick --demo: the demo server did not start" +
                   (line.empty() ? std::string() : ": " + line) + "\n";
    }
}

std::string TDemoServer::ReadFirstLine() {
    std::string text;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartDeadlineMs);
    while (text.find('\n') == std::string::npos && text.size() < kLongestFirstLine) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{output_, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char chunk[256];
        const ssize_t n = ::read(output_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(chunk, static_cast<size_t>(n));
    }
    const size_t end = text.find('\n');
    if (end != std::string::npos) text.resize(end);
    return text;
}

void TDemoServer::Stop() {
    CloseFd(output_);
    CloseFd(input_);  // the server ends on its own once it sees the end of its input
    port_ = 0;
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopDeadlineMs);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR)) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-pid_, SIGKILL);
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    pid_ = -1;
}

}  // namespace tarnwick::demo

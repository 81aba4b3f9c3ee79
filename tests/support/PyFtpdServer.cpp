// Starting and stopping pyftpdlib for the integration tests.
#include "tests/support/PyFtpdServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace tarnwick::testing {

namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr int kStartDeadlineMs = 15000;
constexpr int kStopDeadlineMs = 5000;

std::string ScriptPath() {
    return std::string(TARNWICK_TEST_SUPPORT_DIR) + "/pyftpd_server.py";
}

}  // namespace

PyFtpdServer::PyFtpdServer(std::string user, std::string password,
                           std::vector<std::string> extraArgs)
    : user_(std::move(user)), password_(std::move(password)) {
    std::string templ =
        (std::filesystem::temp_directory_path() / "tarnwick-pyftpd-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) {
        failure_ = "mkdtemp failed";
        return;
    }
    base_ = templ;
    root_ = base_ + "/root";
    logPath_ = base_ + "/server.log";
    std::filesystem::create_directory(root_);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        failure_ = "pipe failed";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> args = {kPython, ScriptPath(), "--root",  root_,   "--user",
                                     user_,   "--password", password_, "--log", logPath_};
    for (std::string& a : extraArgs) args.push_back(std::move(a));
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, kPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        pid_ = -1;
        ::close(out[0]);
        failure_ = "cannot run " + std::string(kPython);
        return;
    }

    // The port comes as "PORT <n>" once the server listens.
    std::string text;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartDeadlineMs);
    while (std::chrono::steady_clock::now() < deadline && text.find('\n') == std::string::npos) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        char chunk[256];
        const ssize_t n = ::read(out[0], chunk, sizeof(chunk));
        if (n <= 0) break;
        text.append(chunk, static_cast<size_t>(n));
    }
    ::close(out[0]);
    if (text.rfind("PORT ", 0) == 0) port_ = static_cast<uint16_t>(std::atoi(text.c_str() + 5));
    if (port_ == 0) {
        failure_ = "pyftpdlib did not start: " + text + Log();
        Stop();
    }
}

PyFtpdServer::~PyFtpdServer() {
    Stop();
    if (!base_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(base_, ec);
    }
}

void PyFtpdServer::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopDeadlineMs);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

std::string PyFtpdServer::Log() const {
    std::ifstream in(logPath_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void PyFtpdServer::WriteFile(const std::string& relative, const std::string& content) const {
    const std::filesystem::path path = root_ + "/" + relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool PyFtpdServer::Exists(const std::string& relative) const {
    return std::filesystem::exists(root_ + "/" + relative);
}

std::string PyFtpdServer::ReadFile(const std::string& relative) const {
    std::ifstream in(root_ + "/" + relative, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int PyFtpdServer::Mode(const std::string& relative) const {
    struct stat st {};
    if (::stat((root_ + "/" + relative).c_str(), &st) != 0) return -1;
    return static_cast<int>(st.st_mode & 07777);
}

}  // namespace tarnwick::testing

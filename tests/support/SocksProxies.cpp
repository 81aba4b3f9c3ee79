// Starting and stopping microsocks and dante for the integration tests.
#include "tests/support/SocksProxies.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/LoopbackPorts.h"
#include "tests/support/ServerProcess.h"

extern char** environ;

namespace tarnwick::testing {

namespace {

constexpr const char* kMicrosocks = "/usr/bin/microsocks";
constexpr const char* kDanted = "/usr/sbin/danted";
constexpr int kStartAttempts = 5;

}  // namespace

// ---- ProxyProcess -----------------------------------------------------------------------

ProxyProcess::~ProxyProcess() {
    Stop();
    if (!base_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(base_, ec);
    }
}

bool ProxyProcess::MakeFolder(const char* prefix) {
    std::string templ =
        (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(templ.data()) == nullptr) {
        failure_ = "mkdtemp failed";
        return false;
    }
    base_ = templ;
    logPath_ = base_ + "/proxy.log";
    return true;
}

void ProxyProcess::Start(const std::string& program,
                         std::vector<std::string> (*makeArgs)(ProxyProcess&, uint16_t)) {
    if (::access(program.c_str(), X_OK) != 0) {
        failure_ = program + " is not installed";
        return;
    }
    for (int attempt = 0; attempt < kStartAttempts && port_ == 0; ++attempt) {
        const uint16_t port = FreeLoopbackPort();
        if (port != 0 && StartOn(program, makeArgs(*this, port), port)) port_ = port;
    }
    if (port_ == 0 && failure_.empty()) failure_ = program + " did not start: " + Log();
}

bool ProxyProcess::StartOn(const std::string& program, const std::vector<std::string>& args,
                           uint16_t port) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath_.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    std::vector<std::string> all = args;
    all.insert(all.begin(), program);
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = -1;
        failure_ = "cannot run " + program;
        return false;
    }
    if (WaitUntilListening(pid_, port)) return true;
    Stop();
    return false;
}

void ProxyProcess::Stop() {
    // The server and every process it forked share the group started for it.
    StopProcessGroup(pid_);
}

std::string ProxyProcess::Log() const {
    std::ifstream in(logPath_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---- microsocks -------------------------------------------------------------------------

MicrosocksProxy::MicrosocksProxy(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password)) {
    if (!MakeFolder("tarnwick-microsocks")) return;
    Start(kMicrosocks, &MicrosocksProxy::Args);
}

std::vector<std::string> MicrosocksProxy::Args(ProxyProcess& self, uint16_t port) {
    auto& me = static_cast<MicrosocksProxy&>(self);
    std::vector<std::string> args = {"-i", "127.0.0.1", "-p", std::to_string(port)};
    if (!me.user_.empty()) {
        args.insert(args.end(), {"-u", me.user_, "-P", me.password_});
    }
    return args;
}

// ---- dante ------------------------------------------------------------------------------

DanteProxy::DanteProxy() {
    if (!MakeFolder("tarnwick-dante")) return;
    Start(kDanted, &DanteProxy::Args);
}

std::vector<std::string> DanteProxy::Args(ProxyProcess& self, uint16_t port) {
    const std::string conf = static_cast<DanteProxy&>(self).Folder() + "/danted.conf";
    std::ofstream out(conf, std::ios::trunc);
    out << "logoutput: stderr\n"
           "internal: 127.0.0.1 port = "
        << port
        << "\n"
           "external: 127.0.0.1\n"
           "clientmethod: none\n"
           "socksmethod: none\n"
           "user.privileged: root\n"
           "user.unprivileged: nobody\n"
           "client pass {\n"
           "  from: 127.0.0.0/8 to: 0.0.0.0/0\n"
           "}\n"
           "socks pass {\n"
           "  from: 127.0.0.0/8 to: 0.0.0.0/0\n"
           "}\n";
    return {"-f", conf};
}

}  // namespace tarnwick::testing

// Starting and stopping vsftpd for the integration tests.
#include "tests/support/VsftpdServer.h"

#include "tests/support/LoopbackPorts.h"
#include "tests/support/ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
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

constexpr const char* kVsftpd = "/usr/sbin/vsftpd";
constexpr const char* kServedUser = "ftp";
constexpr int kStartAttempts = 5;  // a port taken between the probe and vsftpd's bind

}  // namespace

bool MakeSelfSignedCertificate(const std::string& pemPath, const std::string& commonName,
                               const std::string& altNames) {
    const std::string keyPath = pemPath + ".key";
    const std::string certPath = pemPath + ".crt";
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj '/O=Tarnwick tests/CN=" +
        commonName + "' -addext 'subjectAltName=" + altNames + "' -keyout '" + keyPath +
        "' -out '" + certPath + "' >/dev/null 2>&1 && cat '" + certPath + "' '" + keyPath +
        "' > '" + pemPath + "' && chmod 600 '" + pemPath + "'";
    const bool ok = std::system(command.c_str()) == 0;
    std::filesystem::remove(keyPath);
    std::filesystem::remove(certPath);
    return ok;
}

VsftpdServer::VsftpdServer() : VsftpdServer(VsftpdTls{}) {}

VsftpdServer::VsftpdServer(VsftpdTls tls) : VsftpdServer(std::move(tls), false) {}

VsftpdServer::VsftpdServer(VsftpdTls tls, bool ipv6Loopback)
    : tls_(std::move(tls)), ipv6_(ipv6Loopback) {
    const passwd* pw = ::getpwnam(kServedUser);
    if (pw == nullptr) {
        failure_ = "no \"ftp\" system user (is vsftpd installed?)";
        return;
    }
    ftpUid_ = pw->pw_uid;
    ftpGid_ = pw->pw_gid;
    std::string templ =
        (std::filesystem::temp_directory_path() / "tarnwick-vsftpd-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) {
        failure_ = "mkdtemp failed";
        return;
    }
    base_ = templ;
    root_ = base_ + "/root";
    logPath_ = base_ + "/vsftpd.log";
    const std::string upload = root_ + kUploadDir;
    std::filesystem::create_directory(root_);
    std::filesystem::create_directory(upload);
    std::filesystem::create_directory(base_ + "/empty");
    ::chmod(base_.c_str(), 0755);
    ::chmod(root_.c_str(), 0755);
    if (::chown(upload.c_str(), ftpUid_, ftpGid_) != 0) {
        failure_ = "cannot give the served folder to the ftp user";
        return;
    }
    if (tls_.enabled && tls_.certificate.empty()) {
        tls_.certificate = base_ + "/server.pem";
        if (!MakeSelfSignedCertificate(tls_.certificate, "localhost",
                                       "DNS:localhost,IP:127.0.0.1")) {
            failure_ = "openssl could not make a certificate";
            return;
        }
    }
    for (int attempt = 0; attempt < kStartAttempts && port_ == 0; ++attempt) {
        const uint16_t port = ipv6_ ? FreeIPv6LoopbackPort() : FreeLoopbackPort();
        if (port != 0 && StartOn(port)) port_ = port;
    }
    if (port_ == 0 && failure_.empty()) failure_ = "vsftpd did not start: " + Log();
}

bool VsftpdServer::StartOn(uint16_t port) {
    const std::string conf = base_ + "/vsftpd.conf";
    {
        std::ofstream out(conf, std::ios::trunc);
        out << (ipv6_ ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                      : "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n")
            << "listen_port=" << port
            << "\n"
               "background=NO\n"
               "anonymous_enable=YES\n"
               "local_enable=NO\n"
               "no_anon_password=YES\n"
               "write_enable=YES\n"
               "anon_upload_enable=YES\n"
               "anon_mkdir_write_enable=YES\n"
               "anon_other_write_enable=YES\n"
               "anon_world_readable_only=NO\n"
               "anon_umask=022\n"
               "anon_root="
            << root_
            << "\n"
               "secure_chroot_dir="
            << base_
            << "/empty\n"
               "seccomp_sandbox=NO\n"
               "isolate=NO\n"
               "isolate_network=NO\n"
               "connect_from_port_20=NO\n"
               "pasv_enable=YES\n"
               "port_enable=YES\n"
               "dirmessage_enable=NO\n"
               "ftpd_banner=vsftpd ready.\n"
               "xferlog_enable=YES\n"
               "log_ftp_protocol=YES\n"
               "vsftpd_log_file="
            << logPath_ << "\n";
        if (tls_.enabled) {
            out << "ssl_enable=YES\n"
                   "allow_anon_ssl=YES\n"
                   "force_anon_logins_ssl=YES\n"
                   "force_anon_data_ssl=YES\n"
                   "force_local_logins_ssl=YES\n"
                   "force_local_data_ssl=YES\n"
                   "require_ssl_reuse=YES\n"
                   "ssl_tlsv1=NO\n"
                   "ssl_sslv2=NO\n"
                   "ssl_sslv3=NO\n"
                   "implicit_ssl="
                << (tls_.implicit ? "YES" : "NO") << "\nrsa_cert_file=" << tls_.certificate
                << "\nrsa_private_key_file=" << tls_.certificate << "\n";
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const std::string errPath = base_ + "/stderr.txt";
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    std::string program = kVsftpd;
    std::string confArg = conf;
    char* argv[] = {program.data(), confArg.data(), nullptr};
    const int rc = ::posix_spawn(&pid_, kVsftpd, &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = -1;
        failure_ = "cannot run " + std::string(kVsftpd);
        return false;
    }
    if (WaitUntilListening(pid_, port, kServerStartDeadlineMs, ipv6_)) return true;
    Stop();
    return false;
}

VsftpdServer::~VsftpdServer() {
    Stop();
    if (!base_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(base_, ec);
    }
}

void VsftpdServer::Stop() {
    // The server and every process it forked share the group started for it.
    StopProcessGroup(pid_);
}

std::string VsftpdServer::Log() const {
    std::stringstream s;
    for (const std::string& path : {logPath_, base_ + "/stderr.txt"}) {
        std::ifstream in(path);
        s << in.rdbuf();
    }
    return s.str();
}

void VsftpdServer::WriteFile(const std::string& relative, const std::string& content) const {
    const std::string path = root_ + "/" + relative;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
    }
    if (::chown(path.c_str(), ftpUid_, ftpGid_) != 0) {
        // Still readable by the server; only replacing it would be refused.
    }
}

bool VsftpdServer::Exists(const std::string& relative) const {
    return std::filesystem::exists(root_ + "/" + relative);
}

std::string VsftpdServer::ReadFile(const std::string& relative) const {
    std::ifstream in(root_ + "/" + relative, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace tarnwick::testing

// A second real FTP server for integration tests: vsftpd from Debian, run by the tests on
// 127.0.0.1 (or ::1) with a port picked free, serving a fresh temporary folder.
//
// How it runs inside a container as root (written down here because every line matters):
//   - anonymous login only ("anonymous", any password, no PAM involved); writes allowed
//     (anon_upload_enable, anon_mkdir_write_enable, anon_other_write_enable for APPE,
//     REST before STOR, DELE and RNFR), files readable whatever their mode
//     (anon_world_readable_only=NO);
//   - vsftpd chroots anonymous sessions into the served folder and refuses to run when that
//     folder is writable by the session's user ("ftp"), whatever allow_writeable_chroot
//     says: the served folder "/" belongs to root and is read-only for the server, and its
//     sub-folder "/pub" belongs to "ftp" and takes uploads, new folders, renames, deletes;
//   - listen=YES on listen_address=127.0.0.1, background=NO so the process started is the
//     listener; it is started in a process group of its own and the group is stopped, so
//     no session process outlives the fixture;
//   - seccomp_sandbox=NO, isolate=NO, isolate_network=NO: containers refuse the sandbox
//     and the namespace clones;
//   - secure_chroot_dir is an empty folder of the fixture's own.
// A user name other than "anonymous" is refused with "530 This FTP server is anonymous
// only." (a 530 line for tests of a refused login).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace tarnwick::testing {

// FTP over TLS for the fixture: logins and data only under TLS, data connections resuming
// the control connection's session (require_ssl_reuse).
struct VsftpdTls {
    bool enabled = false;
    bool implicit = false;  // TLS from the first byte instead of AUTH TLS
    // PEM file holding the certificate and its key; empty: one is made for "localhost" and
    // 127.0.0.1, self-signed, valid for a day.
    std::string certificate;
};

// Makes a self-signed certificate with its key (PEM, one file) for the names given
// ("DNS:localhost,IP:127.0.0.1"); false when openssl could not make it.
bool MakeSelfSignedCertificate(const std::string& pemPath, const std::string& commonName,
                               const std::string& altNames);

class VsftpdServer {
  public:
    static constexpr const char* kUser = "anonymous";
    static constexpr const char* kPassword = "tester@example.org";
    // The writable folder, as the server names it and relative to Root().
    static constexpr const char* kUploadDir = "/pub";

    VsftpdServer();
    explicit VsftpdServer(VsftpdTls tls);
    // With ipv6Loopback the server listens on ::1 (listen_ipv6) instead of 127.0.0.1.
    VsftpdServer(VsftpdTls tls, bool ipv6Loopback);
    ~VsftpdServer();
    VsftpdServer(const VsftpdServer&) = delete;
    VsftpdServer& operator=(const VsftpdServer&) = delete;

    // False when the server could not be started; Failure() says why.
    bool Running() const { return port_ != 0; }
    const std::string& Failure() const { return failure_; }

    uint16_t Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }
    std::string User() const { return kUser; }
    std::string Password() const { return kPassword; }
    // The served folder on the local disk ("/" of the FTP session; read-only for the
    // server). Uploads go below kUploadDir, that is Root() + "/pub".
    const std::string& Root() const { return root_; }
    // The server's log so far (for failure messages); with log_ftp_protocol every command
    // the server received is in it.
    std::string Log() const;
    // The certificate the server presents (PEM with its key).
    const std::string& CertificatePath() const { return tls_.certificate; }

    // Small disk helpers for the served folder; paths are relative to Root(). Files made
    // here belong to the "ftp" user, so the server may replace those below "pub".
    void WriteFile(const std::string& relative, const std::string& content) const;
    bool Exists(const std::string& relative) const;
    std::string ReadFile(const std::string& relative) const;

  private:
    bool StartOn(uint16_t port);
    void Stop();

    std::string base_;  // temporary folder holding root/, empty/, the config and the log
    std::string root_;
    std::string logPath_;
    std::string failure_;
    VsftpdTls tls_;
    bool ipv6_ = false;
    pid_t pid_ = -1;
    uint16_t port_ = 0;
    uid_t ftpUid_ = 0;
    gid_t ftpGid_ = 0;
};

}  // namespace tarnwick::testing

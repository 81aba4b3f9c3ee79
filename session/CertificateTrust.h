// The window's side of encrypted sessions: the encryption a saved server asks for handed to
// the engine (implicit TLS on its own port when the record names none of its own), the
// decision on each certificate a server presents (trusted ones pass, a changed one is refused
// with a warning, one that failed verification is put to the user), and the lock the status
// bar shows while the control connection is encrypted.
#pragma once

#include <functional>
#include <set>
#include <string>

#include "ftp/FtpTypes.h"
#include "net/TlsCertificate.h"
#include "session/SessionCore.h"
#include "settings/ServerList.h"
#include "settings/TrustedCertificates.h"

namespace tarnwick::session {

// The named control of the lock in the status bar: visible while the session is encrypted.
inline constexpr const char* kLockControl = "imgLock";

// The engine's encryption for a record's Encryption value. A value this program does not
// know (a later version's) asks for TLS rather than sending the password in the clear.
ftp::TFtpEncryption EngineEncryption(std::uint8_t recordEncryption);
// The control connection's port: implicit TLS on an empty or the usual FTP port ("21") goes
// to kImplicitFtpsPort; otherwise the record's port, `usual` when it has none.
std::string ControlPort(const std::string& recordPort, ftp::TFtpEncryption encryption,
                        const std::string& usual);

class TCertificateTrust {
  public:
    // `refused` runs when a certificate stops the connect (the user cancelled, or it changed),
    // so that the connect is not tried again.
    TCertificateTrust(TSessionCore& core, std::function<void()> refused);

    // The engine's OnCertificate: true to go on with the login.
    bool Check(const net::TCertificateInfo& certificate);

    // Shows the lock exactly while a session is open over an encrypted control connection.
    void UpdateLock();

    const settings::TTrustedCertificates& Trusted() const { return trusted_; }

  private:
    bool Ask(const net::TCertificateInfo& certificate);
    void Refuse();

    TSessionCore& core_;
    std::function<void()> refused_;
    settings::TTrustedCertificates trusted_;
    // "Trust this time": host:port and fingerprint, until the window closes.
    std::set<std::string> trustedThisTime_;
};

}  // namespace tarnwick::session

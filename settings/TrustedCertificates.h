// Server certificates the user chose to trust, and the decision made on a certificate a
// server presents. Shared by the window and tarnwick-cli.
#pragma once

#include <string>

#include "net/TlsCertificate.h"

namespace tarnwick::settings {

inline constexpr const char* kTrustedCertificatesFileName = "trusted-certificates";

// folder/"trusted-certificates".
std::string TrustedCertificatesPath(const std::string& settingsFolder);

// The file "trusted-certificates": one line per host and port, "host:port FINGERPRINT",
// the fingerprint as "AB:CD:..." (SHA-256, 32 bytes). Host names are compared without
// regard to case, fingerprints too. The file is read anew on every question, so trust
// given by another program (or another window) counts at once. Lines that cannot be
// read are ignored, and kept as they are when the file is rewritten.
class TTrustedCertificates {
  public:
    enum class TTrust { Unknown, Trusted, Changed };

    explicit TTrustedCertificates(std::string filePath);

    const std::string& Path() const { return path_; }

    // Trusted: this fingerprint is the one trusted for host:port. Changed: another one is.
    TTrust Check(const std::string& host, int port, const std::string& sha256) const;

    // The fingerprint trusted for host:port, or "".
    std::string Known(const std::string& host, int port) const;

    // Trusts sha256 for host:port from now on, replacing any fingerprint trusted for it
    // before, and saves the file (mode 0600, replaced atomically). False when the entry
    // cannot be written (a bad host, port or fingerprint, a file that cannot be read or
    // written); Error() then says why and the file is untouched.
    bool TrustAlways(const std::string& host, int port, const std::string& sha256);

    const std::string& Error() const { return error_; }

  private:
    std::string path_;
    std::string error_;
};

enum class TCertificateDecision { Accept, Ask, RefuseChanged };

// Trusted for host:port -> Accept; another fingerprint trusted there -> RefuseChanged
// (never asked, never accepted); nothing trusted and verified -> Accept; nothing
// trusted and a problem -> Ask.
TCertificateDecision DecideCertificate(const TTrustedCertificates& trusted,
                                       const net::TCertificateInfo& certificate);

// The warning for RefuseChanged, naming host, port and both fingerprints.
std::string CertificateChangedWarning(const net::TCertificateInfo& certificate,
                                      const std::string& knownSha256);

// True for "AB:CD:..." with 32 hexadecimal byte pairs (either case).
bool IsSha256Fingerprint(const std::string& text);

}  // namespace tarnwick::settings

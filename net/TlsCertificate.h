// What a TLS peer's certificate says, as the user is shown it and as trust is decided on it.
#pragma once

#include <string>

namespace tarnwick::net {

struct TCertificateInfo {
    std::string host;        // the name the connection was made to (what the name is checked against)
    int port = 0;            // the control connection's port
    std::string subject;     // one line, "CN=ftp.example.org, O=Example"
    std::string issuer;      // the same form
    std::string validFrom;   // "2026-01-31 12:00:00 UTC"
    std::string validUntil;  // the same form
    std::string sha256;      // fingerprint of the DER form, "AB:CD:..." upper case
    std::string problem;     // empty when the chain and the host name verified, else why not
};

}  // namespace tarnwick::net

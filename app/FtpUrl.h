// The remote end of a tarnwick-cli command: ftp://[user[:password]@]host[:port]/path (an IPv6
// address in brackets: ftp://[::1]:2121/path), or
// ftpes:// (FTP over TLS after AUTH TLS, required) and ftps:// (TLS from the first byte,
// port 990 unless named).
#pragma once

#include <string>
#include <string_view>

#include "ftp/FtpTypes.h"

namespace tarnwick::cli {

inline constexpr const char* kAnonymousUser = "anonymous";
// The password given for an anonymous login when the URL carries none.
inline constexpr const char* kAnonymousPassword = "tarnwick@localhost";
inline constexpr const char* kDefaultFtpPort = "21";

struct FtpUrl {
    std::string User;
    std::string Password;
    std::string Host;
    std::string Port;  // digits, "21" (ftps: "990") when the URL names none
    std::string Path;  // "" when the URL ends after the host; otherwise starts with "/"
    bool PortGiven = false;
    ftp::TFtpEncryption Encryption = ftp::TFtpEncryption::Plain;

    // The folder part of Path ("/pub" for "/pub/a.txt", "/" for "/a.txt", "" for "").
    std::string Directory() const;
    // The last name of Path ("a.txt"; "" for "/pub/" or "").
    std::string FileName() const;
};

// Reads an ftp://, ftpes:// or ftps:// URL. %XX escapes are decoded in the user, password and path;
// the user is "anonymous" (with an e-mail-like password) when absent. False with a one-line reason
// for anything else: another scheme, no host, a bad port, a bad escape, or a decoded CR, LF or NUL
// (which would end the FTP command that carries it).
bool ParseFtpUrl(std::string_view text, FtpUrl& url, std::string& error);

// The URL-like text as messages show it: the password (from the first ':' of the part
// before the last '@' up to that '@') replaced by "****". `hidden` receives what was
// replaced.
std::string HidePasswordInUrl(std::string_view text, std::string* hidden = nullptr);

// The message for a URL ParseFtpUrl refused with `reason`: the URL without its password,
// and any quoted part of the reason that was cut from the password hidden too.
std::string BadUrlMessage(std::string_view text, const std::string& reason);

}  // namespace tarnwick::cli

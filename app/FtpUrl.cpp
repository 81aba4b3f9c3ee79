#include "app/FtpUrl.h"

#include <cctype>

namespace tarnwick::cli {
namespace {

constexpr std::string_view kSchemeEnd = "://";
constexpr std::string_view kHidden = "****";
constexpr unsigned long kMaxPort = 65535;
// What may stand between the brackets of an IPv6 address (hex digits, ":" and the dots of an
// embedded IPv4 address).
constexpr std::string_view kV6Chars = "0123456789abcdefABCDEF:.";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes %XX escapes; false for a broken escape or a byte no FTP command may carry.
bool Decode(std::string_view text, std::string& out, const char* what, std::string& error) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
            const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
            if (low < 0) {
                error = std::string("bad %-escape in the ") + what;
                return false;
            }
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (c == '\r' || c == '\n' || c == '\0') {
            error = std::string("the ") + what + " holds a line break or NUL";
            return false;
        }
        out.push_back(c);
    }
    return true;
}

struct Scheme {
    std::string_view prefix;
    ftp::TFtpEncryption encryption;
};
constexpr Scheme kSchemes[] = {
    {"ftp://", ftp::TFtpEncryption::Plain},
    {"ftpes://", ftp::TFtpEncryption::ExplicitRequired},
    {"ftps://", ftp::TFtpEncryption::Implicit},
};

// The scheme text begins with (letters in any case), or null.
const Scheme* SchemeOf(std::string_view text) {
    for (const Scheme& scheme : kSchemes) {
        if (text.size() < scheme.prefix.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < scheme.prefix.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(text[i])) == scheme.prefix[i];
        if (same) return &scheme;
    }
    return nullptr;
}

// The host and the position of the ':' before the port (npos: none) of "host[:port]" or
// "[v6-address][:port]"; the brackets are not part of the host.
bool SplitHostPort(std::string_view authority, std::string_view& host, std::size_t& colon,
                   std::string& error) {
    colon = std::string_view::npos;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        host =
            close == std::string_view::npos ? std::string_view() : authority.substr(1, close - 1);
        const bool portFollows = close != std::string_view::npos && close + 1 < authority.size();
        if (close == std::string_view::npos ||
            host.find_first_not_of(kV6Chars) != std::string_view::npos ||
            host.find(':') == std::string_view::npos ||
            (portFollows && authority[close + 1] != ':')) {
            error = "bad host \"" + std::string(authority) + "\"";
            return false;
        }
        if (portFollows) colon = close + 1;
        return true;
    }
    colon = authority.find(':');
    host = authority.substr(0, colon);
    if (host.empty()) {
        error = "the URL names no host";
        return false;
    }
    for (char c : host) {
        if (c == '%' || c == '[' || c == ']' || std::isspace(static_cast<unsigned char>(c)) ||
            std::iscntrl(static_cast<unsigned char>(c))) {
            error = "bad host \"" + std::string(host) + "\"";
            return false;
        }
    }
    return true;
}

bool ParsePort(std::string_view text, std::string& port, std::string& error) {
    unsigned long value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)) || value > kMaxPort) {
            value = kMaxPort + 1;
            break;
        }
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (text.empty() || value == 0 || value > kMaxPort) {
        error = "bad port \"" + std::string(text) + "\"";
        return false;
    }
    port = std::to_string(value);
    return true;
}

}  // namespace

std::string FtpUrl::Directory() const {
    const std::size_t slash = Path.rfind('/');
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : Path.substr(0, slash);
}

std::string FtpUrl::FileName() const {
    const std::size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

bool ParseFtpUrl(std::string_view text, FtpUrl& url, std::string& error) {
    url = FtpUrl{};
    const Scheme* scheme = SchemeOf(text);
    if (scheme == nullptr) {
        error = "not an ftp://, ftpes:// or ftps:// URL";
        return false;
    }
    text.remove_prefix(scheme->prefix.size());
    url.Encryption = scheme->encryption;
    const std::size_t pathStart = text.find('/');
    std::string_view authority = text.substr(0, pathStart);
    const std::string_view path =
        pathStart == std::string_view::npos ? std::string_view() : text.substr(pathStart);

    // The password may itself hold '@' when not escaped: the host follows the last one.
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        authority.remove_prefix(at + 1);
        const std::size_t colon = userInfo.find(':');
        if (!Decode(userInfo.substr(0, colon), url.User, "user", error)) return false;
        if (colon != std::string_view::npos &&
            !Decode(userInfo.substr(colon + 1), url.Password, "password", error))
            return false;
    }
    std::string_view host;
    std::size_t colon = std::string_view::npos;
    if (!SplitHostPort(authority, host, colon, error)) return false;
    url.Host = host;
    url.Port = url.Encryption == ftp::TFtpEncryption::Implicit
                   ? std::to_string(ftp::kImplicitFtpsPort)
                   : kDefaultFtpPort;
    url.PortGiven = colon != std::string_view::npos;
    if (url.PortGiven && !ParsePort(authority.substr(colon + 1), url.Port, error)) return false;
    if (!Decode(path, url.Path, "path", error)) return false;
    if (url.User.empty()) {
        url.User = kAnonymousUser;
        if (url.Password.empty()) url.Password = kAnonymousPassword;
    } else if (url.Password.empty() && url.User == kAnonymousUser) {
        url.Password = kAnonymousPassword;
    }
    return true;
}

std::string HidePasswordInUrl(std::string_view text, std::string* hidden) {
    if (hidden) hidden->clear();
    const std::size_t schemeEnd = text.find(kSchemeEnd);
    const std::size_t start =
        schemeEnd == std::string_view::npos ? 0 : schemeEnd + kSchemeEnd.size();
    const std::size_t at = text.rfind('@');
    if (at == std::string_view::npos || at < start) return std::string(text);
    const std::size_t colon = text.find(':', start);
    if (colon == std::string_view::npos || colon > at) return std::string(text);
    if (hidden) *hidden = text.substr(colon + 1, at - colon - 1);
    return std::string(text.substr(0, colon + 1)) + std::string(kHidden) +
           std::string(text.substr(at));
}

std::string BadUrlMessage(std::string_view text, const std::string& reason) {
    std::string hidden;
    std::string message = "bad URL \"" + HidePasswordInUrl(text, &hidden) + "\": ";
    // A port or host quoted in the reason may have been cut from an unescaped password.
    std::size_t from = 0;
    for (std::size_t open = reason.find('"'); open != std::string::npos;
         open = reason.find('"', from)) {
        const std::size_t close = reason.find('"', open + 1);
        if (close == std::string::npos) break;
        const std::string quoted = reason.substr(open + 1, close - open - 1);
        message += reason.substr(from, open + 1 - from);
        message += !quoted.empty() && hidden.find(quoted) != std::string::npos
                       ? std::string(kHidden)
                       : quoted;
        message += '"';
        from = close + 1;
    }
    return message + reason.substr(from);
}

}  // namespace tarnwick::cli

#include "session/ServerAddress.h"

#include <algorithm>

#include "listing/TextUtil.h"
#include "platform/SocketAddress.h"

namespace tarnwick::session {

namespace {

constexpr std::string_view kFtpScheme = "ftp://";
constexpr std::string_view kHttpScheme = "http://";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiLower(text[i]) != prefix[i]) return false;
    }
    return true;
}

// The host of "host[:port]": an IPv6 address is written in brackets ("[::1]:2121"), or bare
// without a port ("::1"); the port, when there is one, goes to port. A bracket that does not
// enclose the host keeps the whole text as the host.
std::string TakeHostAndPort(std::string text, std::string& port) {
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        const std::string rest = close == std::string::npos ? "" : text.substr(close + 1);
        if (close != std::string::npos && (rest.empty() || rest.front() == ':')) {
            if (!rest.empty()) port = rest.substr(1);
            return text.substr(1, close - 1);
        }
        return text;  // no host of ours: the connect says what is wrong with it
    } else if (platform::IsIPv6Literal(text)) {
        return text;
    }
    if (const size_t colon = text.find(':'); colon != std::string::npos) {
        port = text.substr(colon + 1);
        text.erase(colon);
    }
    return text;
}

}  // namespace

void NormalizeServerAddress(TFTPServerInfo& server) {
    std::string text(TrimBlanks(server.Server));
    if (StartsWithNoCase(text, kFtpScheme)) text.erase(0, kFtpScheme.size());
    if (StartsWithNoCase(text, kHttpScheme)) text.erase(0, kHttpScheme.size());
    std::erase(text, ' ');
    if (const size_t at = text.find('@'); at != std::string::npos) {
        const std::string login = text.substr(0, at);
        text.erase(0, at + 1);
        if (const size_t colon = login.find(':'); colon != std::string::npos) {
            server.User = login.substr(0, colon);
            server.Password = login.substr(colon + 1);
        } else {
            server.User = login;
        }
    }
    if (const size_t slash = text.find('/'); slash != std::string::npos) {
        server.InitialDir = text.substr(slash, kMaxInitialDir);
        text.erase(slash);
    }
    server.Server = TakeHostAndPort(text, server.Port);
}

std::string AddSlash(std::string_view path) {
    std::string out(path);
    if (out.empty() || out.back() != '/') out += '/';
    return out;
}

std::string AddBackslash(std::string_view path) {
    return AddSlash(path);
}

}  // namespace tarnwick::session

#include "session/ServerAddress.h"

#include <algorithm>

#include "listing/TextUtil.h"

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
    if (const size_t colon = text.find(':'); colon != std::string::npos) {
        server.Port = text.substr(colon + 1);
        text.erase(colon);
    }
    server.Server = text;
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

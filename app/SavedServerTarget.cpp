#include "app/SavedServerTarget.h"

#include "app/Cli.h"
#include "app/TerminalText.h"
#include "session/ServerAddress.h"
#include "settings/Options.h"
#include "settings/SettingsFolder.h"

namespace tarnwick::cli {
namespace {

// The initial directory the session starts in: empty (and "/", as the window treats it)
// leaves the user where the login put them.
std::string BaseDirectory(const TFTPServerInfo& server) {
    const std::string base = session::AddSlash(server.InitialDir);
    return base == "/" ? std::string() : base;
}

std::string Shown(std::string_view text) {
    return EscapeForTerminal(text, EscapeStyle::kMessage);
}

}  // namespace

int FindSavedServer(const std::vector<TFTPServerInfo>& servers, std::string_view reference,
                    std::string& path) {
    path.clear();
    if (const int whole = FindServer(servers, reference); whole >= 0) return whole;
    for (std::size_t colon = reference.rfind(kSavedPathMark); colon != std::string_view::npos;
         colon = colon == 0 ? std::string_view::npos : reference.rfind(kSavedPathMark, colon - 1)) {
        if (const int index = FindServer(servers, reference.substr(0, colon)); index >= 0) {
            path = reference.substr(colon + 1);
            return index;
        }
    }
    return -1;
}

bool SavedServerToTarget(const TFTPServerInfo& record, std::string_view path,
                         SavedServerTarget& target, std::string& reason) {
    TFTPServerInfo s = record;
    session::NormalizeServerAddress(s);
    if (s.Server.empty()) {
        reason = "the saved server \"" + Shown(record.Name) + "\" names no host";
        return false;
    }
    target = SavedServerTarget{};
    FtpUrl& url = target.Url;
    url.Host = s.Server;
    // A value this program does not know asks for TLS, as the window does: never the clear.
    url.Encryption =
        s.Encryption <= static_cast<std::uint8_t>(ftp::TFtpEncryption::ExplicitIfAvailable)
            ? static_cast<ftp::TFtpEncryption>(s.Encryption)
            : ftp::TFtpEncryption::ExplicitRequired;
    url.PortGiven = !s.Port.empty();
    url.Port = url.PortGiven ? s.Port
               : url.Encryption == ftp::TFtpEncryption::Implicit
                   ? std::to_string(ftp::kImplicitFtpsPort)
                   : kDefaultFtpPort;
    if (s.Anonymous != 0) {
        url.User = kAnonymousUser;
        url.Password = s.EMail;
    } else {
        url.User = s.User.empty() ? kAnonymousUser : s.User;
        if (s.SavePassword != 0) {
            url.Password = s.Password;
        } else {
            target.AskPassword = true;
        }
    }
    // An anonymous login without an address gives the one a URL without a password gets.
    if (!target.AskPassword && url.User == kAnonymousUser && url.Password.empty())
        url.Password = kAnonymousPassword;

    if (!path.empty() && path.front() == '/') {
        url.Path = path;
    } else {
        url.Path = BaseDirectory(s) + std::string(path);
    }
    target.Passive = s.Pasv != 0;
    target.Answer = s.Answer;
    target.Epsv = s.DataConnection == static_cast<std::uint8_t>(TServerDataConnection::Epsv);
    return true;
}

int ResolveSavedServer(std::string_view text, SavedServerTarget& target, std::string& reason) {
    const std::string_view reference = text.substr(1);
    if (reference.empty()) {
        reason = "\"@\" takes the name of a saved server (tarnwick-cli sites lists them)";
        return kExitUsage;
    }
    const std::string folder = SettingsFolder();
    std::vector<TFTPServerInfo> servers;
    if (LoadServerList(folder, servers, LoadOptions(folder)) == ReadStatus::kUnreadable) {
        reason = "Cannot read " + Shown(JoinPath(folder, kServerListFileName));
        return kExitFailed;
    }
    std::string path;
    const int index = FindSavedServer(servers, reference, path);
    if (index < 0) {
        reason = "\"" + Shown(text) + "\" names no saved server (tarnwick-cli sites lists them)";
        return kExitUsage;
    }
    if (path.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        reason = "the path after \"" + Shown(servers[static_cast<std::size_t>(index)].Name) +
                 "\" holds a line break";
        return kExitUsage;
    }
    if (!SavedServerToTarget(servers[static_cast<std::size_t>(index)], path, target, reason))
        return kExitFailed;
    return kExitOk;
}

}  // namespace tarnwick::cli

#include "app/SettingsCommands.h"

#include "app/Cli.h"
#include "settings/Options.h"
#include "settings/SettingsFolder.h"

namespace tarnwick::cli {

std::string SiteUrl(const TFTPServerInfo& server) {
    std::string url = "ftp://" + server.User + "@" + server.Server + ":" + server.Port;
    if (server.InitialDir.empty() || server.InitialDir.front() != '/') url += '/';
    return url + server.InitialDir;
}

int ListSites(SitesFormat format, std::ostream& out, std::ostream& err) {
    const std::string folder = SettingsFolder();
    const TFTPOptions options = LoadOptions(folder);
    std::vector<TFTPServerInfo> servers;
    if (LoadServerList(folder, servers, options) == ReadStatus::kUnreadable) {
        err << "Cannot read " << JoinPath(folder, kServerListFileName) << "\n";
        return kExitFailed;
    }
    for (const TFTPServerInfo& server : servers) {
        if (format == SitesFormat::kUrls)
            out << server.Name << '\t' << SiteUrl(server) << '\n';
        else
            out << ServerLine(server) << '\n';
    }
    return kExitOk;
}

int ShowOptions(std::ostream& out, std::ostream& err) {
    const std::string folder = SettingsFolder();
    ReadStatus status = ReadStatus::kOk;
    const TFTPOptions options = LoadOptions(folder, &status);
    if (status == ReadStatus::kUnreadable) {
        err << "Cannot read " << JoinPath(folder, kOptionsFileName) << "\n";
        return kExitFailed;
    }
    out << OptionsText(options);
    return kExitOk;
}

}  // namespace tarnwick::cli

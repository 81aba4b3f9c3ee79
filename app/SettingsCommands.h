// The commands of tarnwick-cli that show the stored settings.
#pragma once

#include <ostream>

#include "settings/ServerList.h"

namespace tarnwick::cli {

enum class SitesFormat {
    kUrls,       // Name TAB ftp://User@Server:Port/InitialDir
    kFileLines,  // the line "ftplist.TXT" would get if saved now
};

// The URL shown for a saved server: ftp://User@Server:Port/InitialDir.
std::string SiteUrl(const TFTPServerInfo& server);

// `tarnwick-cli sites [--lines]`: the saved servers of the settings folder.
int ListSites(SitesFormat format, std::ostream& out, std::ostream& err);

// `tarnwick-cli options`: "options.ftp" as written from scratch with the values in force.
int ShowOptions(std::ostream& out, std::ostream& err);

}  // namespace tarnwick::cli

#include "app/Cli.h"

#include "app/SettingsCommands.h"

namespace tarnwick::cli {

std::string UsageText() {
    return "usage: tarnwick-cli sites [--lines]   the saved servers (Name TAB URL, or their file "
           "lines)\n"
           "       tarnwick-cli options           the preferences as the file would be written\n";
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << UsageText();
        return kExitUsage;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "sites") {
        if (rest.empty()) return ListSites(SitesFormat::kUrls, out, err);
        if (rest.size() == 1 && rest[0] == "--lines")
            return ListSites(SitesFormat::kFileLines, out, err);
    } else if (command == "options" && rest.empty()) {
        return ShowOptions(out, err);
    }
    err << UsageText();
    return kExitUsage;
}

}  // namespace tarnwick::cli

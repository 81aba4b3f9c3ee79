#include "settings/HostTypes.h"

#include "settings/AtomicFile.h"
#include "settings/CommaText.h"
#include "settings/ServerList.h"
#include "settings/SettingsFolder.h"

namespace tarnwick {

THostTypes LoadHostTypes(const std::string& folder) {
    THostTypes types;
    std::string text;
    ReadTextFile(JoinPath(folder, kHostTypesFileName), text);  // missing: no lines
    for (const std::string& line : SplitLines(text)) {
        std::vector<std::string> items = FromCommaText(line);
        if (items.empty()) continue;
        types.Names.push_back(items[0]);
        types.Answers.push_back(items.size() > 1 ? items[1] : kDefaultHostType);
    }
    if (types.Names.empty()) {
        types.Names.push_back(kDefaultHostTypeName);
        types.Answers.push_back(kDefaultHostType);
    }
    types.Answers[0] = kDefaultHostType;  // the built-in layout, whatever the file says
    return types;
}

std::string HostTypesText(const THostTypes& types) {
    std::string text;
    for (size_t i = 0; i < types.Names.size(); ++i) {
        text += '"';
        for (char c : types.Names[i]) {
            text += c;
            if (c == '"') text += '"';
        }
        text += "\",";
        text += i < types.Answers.size() ? types.Answers[i] : std::string(kDefaultHostType);
        text += kLineEnd;
    }
    return text;
}

bool SaveHostTypes(const std::string& folder, const THostTypes& types) {
    return SaveSettingsFile(folder, kHostTypesFileName, HostTypesText(types), FileAccess::kShared);
}

}  // namespace tarnwick

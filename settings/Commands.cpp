#include "settings/Commands.h"

#include <algorithm>

#include "settings/AtomicFile.h"
#include "settings/CommaText.h"
#include "settings/SettingsFolder.h"

namespace tarnwick {

TCommandList LoadCommands(const std::string& folder) {
    TCommandList commands;
    std::string text;
    ReadTextFile(JoinPath(folder, kCommandsFileName), text);
    std::vector<std::string> lines = SplitLines(text);
    if (lines.size() < 2) return commands;
    commands.Labels = FromCommaText(lines[0]);
    commands.Commands = FromCommaText(lines[1]);
    size_t size = std::max(commands.Labels.size(), commands.Commands.size());
    commands.Labels.resize(size);
    commands.Commands.resize(size);
    return commands;
}

std::string CommandsText(const TCommandList& commands) {
    std::string text = ToCommaText(commands.Labels);
    text += kLineEnd;
    text += ToCommaText(commands.Commands);
    text += kLineEnd;
    return text;
}

bool SaveCommands(const std::string& folder, const TCommandList& commands) {
    return SaveSettingsFile(folder, kCommandsFileName, CommandsText(commands), FileAccess::kShared);
}

}  // namespace tarnwick

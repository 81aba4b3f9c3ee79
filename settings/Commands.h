// The user's labelled raw commands and their file "commands.txt".
#pragma once

#include <string>
#include <vector>

#include "settings/TextFile.h"

namespace tarnwick {

inline constexpr const char* kCommandsFileName = "commands.txt";

// Two parallel lists of equal length: the labels and the command texts.
struct TCommandList {
    std::vector<std::string> Labels;
    std::vector<std::string> Commands;

    bool operator==(const TCommandList&) const = default;
};

// Reads folder/"commands.txt": line 1 the labels, line 2 the command texts,
// both comma text. Fewer than two lines (or no file) give empty lists. When
// the file's lists differ in length the shorter one is filled up with empty
// texts, so no label loses its command or the reverse.
TCommandList LoadCommands(const std::string& folder);

// The two lines of the file, each ended with CR LF. An empty last label or
// command is written as "" so that it reads back.
std::string CommandsText(const TCommandList& commands);

// Replaces folder/"commands.txt". False when nothing was written, also when the
// existing file cannot be read (it is then kept as it is).
bool SaveCommands(const std::string& folder, const TCommandList& commands);

}  // namespace tarnwick

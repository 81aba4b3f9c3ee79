// The named custom listing layouts and their file "Answer.txt".
#pragma once

#include <string>
#include <vector>

#include "settings/TextFile.h"

namespace tarnwick {

inline constexpr const char* kHostTypesFileName = "Answer.txt";
inline constexpr const char* kDefaultHostTypeName = "Default";

// Two parallel lists of equal length. Entry 0 is the built-in layout: its
// string is always "0957681".
struct THostTypes {
    std::vector<std::string> Names;
    std::vector<std::string> Answers;

    bool operator==(const THostTypes&) const = default;
};

// Reads folder/"Answer.txt" (kept in the settings folder, not the current
// one). Each line is comma text: item 1 the name, item 2 the host type string
// ("0957681" when missing); a line without items is skipped. Entry 0's string
// becomes "0957681"; an empty file gives the single entry "Default".
THostTypes LoadHostTypes(const std::string& folder);

// The file text: one line '"name",string' per entry. Quotes inside a name are
// doubled so that it reads back unchanged.
std::string HostTypesText(const THostTypes& types);

// Replaces folder/"Answer.txt". False when nothing was written, also when the
// existing file cannot be read (it is then kept as it is).
bool SaveHostTypes(const std::string& folder, const THostTypes& types);

}  // namespace tarnwick

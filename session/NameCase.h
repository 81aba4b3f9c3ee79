// The case changes of a selection's names: upper case, lower case, and sentence case (lower
// case with the first character in upper case). A name that is valid UTF-8 changes by the
// Unicode case mapping; any other name is taken as Windows-1252 and its Latin letters change.
#pragma once

#include <string>
#include <string_view>

namespace tarnwick::session {

// The tags of the change-case menu items.
enum class TNameCase : int { Upper = 0, Lower = 1, Sentence = 2 };

std::string ChangeNameCase(std::string_view name, TNameCase change);

}  // namespace tarnwick::session

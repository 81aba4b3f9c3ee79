#pragma once

#include <string_view>

namespace tarnwick {

// A file name against a mask such as "*.txt": "*" and "*.*" match every
// name; otherwise name and mask are cut at the dots and must have the same
// number of parts, each name part matching the mask part by MatchesWildcard.
bool MatchesMask(std::string_view name, std::string_view mask);

// A text against a pattern with "*" and "?", case-sensitive. The matcher is
// greedy and never backtracks: a "*" followed by more pattern takes the first
// occurrence of the next pattern character after at least one text character,
// and a "?" reaching the last text character ends the match successfully.
bool MatchesWildcard(std::string_view pattern, std::string_view text);

}  // namespace tarnwick

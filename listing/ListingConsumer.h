#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "listing/ListingEntry.h"
#include "listing/ListingParser.h"

namespace tarnwick {

// Lines shorter than this are never entries ("total 12", blank lines).
inline constexpr std::size_t kMinListingLineLength = 20;
// A VMS line shorter than this carries a long name; its details follow on the next line.
inline constexpr std::size_t kVmsWrapLength = 40;

// Who reads the listing. The remote panel and the plain-name collector keep
// "..", the tree collectors (download and delete of a tree) drop it too.
enum class TListingConsumer { Panel, Tree };

// Splits a listing text into lines; a line ends at CR, LF or CR LF, and a
// final line without an ending still counts.
void SplitListingLines(std::string_view text, std::vector<std::string_view>& lines);

// Reads a whole listing file. A missing or unreadable file gives an empty
// text and false.
bool ReadListingFile(const std::string& path, std::string& text);

// Reads a listing file and deletes it, as every reader of the listing temp
// file does; a missing file is an empty listing.
bool TakeListingFile(const std::string& path, std::string& text);

// Runs the listing rules over every line of a listing text: short lines are
// skipped, wrapped VMS lines are joined, each line is parsed, and the entries
// the consumer does not want are dropped. `visit` sees every entry that stays,
// in listing order; the entry is only valid during the call.
void ForEachListingEntry(std::string_view text, const TListingParser& parser,
                         TListingConsumer consumer,
                         const std::function<void(const TListingEntry&)>& visit);

// The same, collecting the entries.
std::vector<TListingEntry> ParseListingText(std::string_view text, const TListingParser& parser,
                                            TListingConsumer consumer);

}  // namespace tarnwick

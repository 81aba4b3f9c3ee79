#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "listing/ListingEntry.h"
#include "listing/ListingParser.h"
#include "listing/PaneSort.h"

namespace tarnwick {

// The separator after every field of a cache line (the broken bar of the
// Windows-1252 code page).
inline constexpr char kCacheSeparator = '\xA6';
// Introduces an escaped byte inside a cache field. 0xFF never occurs in UTF-8
// text, so names of UTF-8 servers are stored unchanged unless they hold the
// separator byte itself ("æ" is C3 A6).
inline constexpr char kCacheEscape = '\xFF';
inline constexpr char kEscapedSeparator = 'b';
inline constexpr char kEscapedEscape = 'f';

// Kind field of a cache line.
inline constexpr char kKindDirectory = '0';
inline constexpr char kKindFile = '1';

// The remote listing cache: one text line per displayed entry of the current
// remote directory, "kind¦name¦size¦date¦time¦attr¦".
using TRemoteListing = std::vector<std::string>;

// Appends the cache line of an entry (escaping the separator inside fields).
void AppendCacheLine(std::string& out, const TListingEntry& entry);
std::string FormatCacheLine(const TListingEntry& entry);

// Reads a cache line back: fields split at the separator, trimmed of blanks
// and control characters and unescaped. False for a line of fewer than two
// fields; missing later fields stay empty.
bool ParseCacheLine(std::string_view line, TListingEntry& entry);

// Refills the cache from the text of a listing with the remote panel's rules.
// Returns why the listing stopped early (more than kMaxListingEntries entries, a
// line past kMaxListingLineLength), empty when it was read whole; the entries
// before the stop stay in the cache.
std::string FillRemoteListing(std::string_view listingText, const TListingParser& parser,
                              TRemoteListing& cache);
// The same from a listing file, read in blocks (the file stays in place). False
// when the file is missing or unreadable: the cache is then empty.
bool FillRemoteListingFromFile(const std::string& path, const TListingParser& parser,
                               TRemoteListing& cache, std::string& error);

// The entry as the cache gives it back: through its cache line, so fields are
// trimmed as every reader of the cache sees them.
bool AsCachedEntry(const TListingEntry& entry, TListingEntry& cached);

// The entries the cache holds after a listing has been read, as a front end
// prints them: the listing text (or file) under one host type string.
std::vector<TListingEntry> CacheEntriesFromListing(std::string_view listingText,
                                                   std::string_view answer = kDefaultAnswer,
                                                   TStartDate start = StartDateToday());
bool CacheEntriesFromListingFile(const std::string& path, std::vector<TListingEntry>& entries,
                                 std::string_view answer = kDefaultAnswer,
                                 TStartDate start = StartDateToday());

// The rows of the remote pane drawn from the cache: every directory, and the
// files whose names match the remote mask (all files under the Text host
// type, whose names are whole listing lines). Lines of fewer than two fields
// are skipped.
std::vector<TPaneRow> RemoteListingRows(const TRemoteListing& cache, std::string_view mask,
                                        char hostType);

// Kind, name, size, date, time and attributes joined by TAB.
std::string FormatEntryFields(const TListingEntry& entry);

}  // namespace tarnwick

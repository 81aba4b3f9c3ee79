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

// The remote cache and the tree collectors keep every entry of a listing, so a
// listing of more entries than this stops with an error instead of filling memory.
inline constexpr std::size_t kMaxListingEntries = 2'000'000;
// No listing line of a real server comes near this; a longer one stops the listing
// (the line is held while it arrives, so it must not grow without end).
inline constexpr std::size_t kMaxListingLineLength = 64 * 1024;
// For readers that keep no entries (they print each one and forget it).
inline constexpr std::size_t kNoEntryLimit = 0;

// Who reads the listing. The remote panel and the plain-name collector keep
// "..", the tree collectors (download and delete of a tree) drop it too.
enum class TListingConsumer { Panel, Tree };

// Splits a listing text into lines; a line ends at CR, LF or CR LF, and a
// final line without an ending still counts.
void SplitListingLines(std::string_view text, std::vector<std::string_view>& lines);

// Runs the listing rules over a listing as its bytes arrive: lines are cut at
// CR, LF or CR LF, short lines are skipped, VMS header and trailer lines are
// dropped, wrapped VMS lines are joined, each line is parsed, and the entries
// the consumer does not want are dropped. `visit` sees every entry that stays,
// in listing order; the entry is only valid during the call.
//
// Memory is one line (at most kMaxListingLineLength bytes) and one held VMS
// name line, whatever the size of the listing. A longer line, or more entries
// than the limit, stops the listing: Error() says why and nothing more is
// visited.
class TListingStream {
  public:
    using TVisit = std::function<void(const TListingEntry&)>;

    TListingStream(const TListingParser& parser, TListingConsumer consumer, TVisit visit,
                   std::size_t maxEntries = kMaxListingEntries);

    // The next bytes of the listing, cut anywhere.
    void Feed(std::string_view bytes);
    // One whole line without its ending (from a reader that has cut the lines already).
    void FeedLine(std::string_view line);
    // The listing is complete: a last line without an ending and a held VMS line are taken.
    void Finish();

    // Why the listing stopped before its end; empty while every line was taken.
    const std::string& Error() const { return error_; }
    bool Stopped() const { return !error_.empty(); }
    std::size_t EntryCount() const { return entries_; }

  private:
    void Append(std::string_view bytes);
    void EndLine();
    void TakeLine(std::string_view line);
    void Parse(std::string_view line);
    void Stop(std::string reason);

    TListingParser parser_;
    TListingConsumer consumer_;
    TVisit visit_;
    std::size_t maxEntries_;
    std::size_t entries_ = 0;
    std::string line_;      // the line that is arriving
    bool afterCr_ = false;  // the last byte ended a line with CR: an LF now belongs to it
    std::string held_;      // a short VMS line waiting for its continuation
    bool holding_ = false;
    std::string joined_;
    TListingEntry entry_;
    std::string error_;
};

// Feeds a listing file to a stream in blocks and finishes it. A missing or
// unreadable file gives an empty listing and false.
bool ReadListingFile(const std::string& path, TListingStream& stream);

// The same, then deletes the file, as every reader of the listing temp file does.
bool TakeListingFile(const std::string& path, TListingStream& stream);

// Runs the listing rules over a whole listing text (see TListingStream). Returns
// why the listing stopped early, empty when every line was taken.
std::string ForEachListingEntry(std::string_view text, const TListingParser& parser,
                                TListingConsumer consumer,
                                const std::function<void(const TListingEntry&)>& visit);

// The same, collecting the entries.
std::vector<TListingEntry> ParseListingText(std::string_view text, const TListingParser& parser,
                                            TListingConsumer consumer);

}  // namespace tarnwick

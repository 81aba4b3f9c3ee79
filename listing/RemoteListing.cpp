#include "listing/RemoteListing.h"

#include "listing/ListingConsumer.h"
#include "listing/MaskMatch.h"
#include "listing/TextUtil.h"

namespace tarnwick {

namespace {

constexpr char kFieldTab = '\t';

void AppendEscaped(std::string& out, std::string_view field) {
    // Runs without a byte to escape (nearly every field) are appended whole.
    while (!field.empty()) {
        std::size_t run = 0;
        while (run < field.size() && field[run] != kCacheSeparator && field[run] != kCacheEscape)
            ++run;
        out.append(field.data(), run);
        if (run == field.size()) break;
        out.push_back(kCacheEscape);
        out.push_back(field[run] == kCacheSeparator ? kEscapedSeparator : kEscapedEscape);
        field.remove_prefix(run + 1);
    }
    out.push_back(kCacheSeparator);
}

void AssignUnescaped(std::string& out, std::string_view field) {
    out.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == kCacheEscape && i + 1 < field.size()) {
            const char next = field[i + 1];
            if (next == kEscapedSeparator || next == kEscapedEscape) {
                out.push_back(next == kEscapedSeparator ? kCacheSeparator : kCacheEscape);
                ++i;
                continue;
            }
        }
        out.push_back(c);
    }
}

}  // namespace

void AppendCacheLine(std::string& out, const TListingEntry& entry) {
    out.push_back(entry.IsDir ? kKindDirectory : kKindFile);
    out.push_back(kCacheSeparator);
    AppendEscaped(out, entry.Name);
    AppendEscaped(out, entry.Size);
    AppendEscaped(out, entry.Date);
    AppendEscaped(out, entry.Time);
    AppendEscaped(out, entry.Attr);
}

std::string FormatCacheLine(const TListingEntry& entry) {
    std::string line;
    AppendCacheLine(line, entry);
    return line;
}

bool ParseCacheLine(std::string_view line, TListingEntry& entry) {
    entry.Clear();
    std::vector<std::string_view> fields;
    SplitTrimmedViews(line, kCacheSeparator, fields);
    if (fields.size() < 2) return false;
    fields.resize(6);
    entry.IsDir = fields[0] == std::string_view(&kKindDirectory, 1);
    AssignUnescaped(entry.Name, fields[1]);
    AssignUnescaped(entry.Size, fields[2]);
    AssignUnescaped(entry.Date, fields[3]);
    AssignUnescaped(entry.Time, fields[4]);
    AssignUnescaped(entry.Attr, fields[5]);
    return true;
}

namespace {

TListingStream::TVisit CacheAppender(TRemoteListing& cache) {
    return [&cache](const TListingEntry& entry) {
        std::string line;
        line.reserve(entry.Name.size() + entry.Size.size() + entry.Attr.size() + 32);
        AppendCacheLine(line, entry);
        cache.push_back(std::move(line));
    };
}

std::vector<TListingEntry> EntriesOf(const TRemoteListing& cache) {
    std::vector<TListingEntry> entries;
    entries.reserve(cache.size());
    TListingEntry entry;
    for (const std::string& line : cache) {
        if (ParseCacheLine(line, entry)) entries.push_back(entry);
    }
    return entries;
}

}  // namespace

std::string FillRemoteListing(std::string_view listingText, const TListingParser& parser,
                              TRemoteListing& cache) {
    cache.clear();
    return ForEachListingEntry(listingText, parser, TListingConsumer::Panel, CacheAppender(cache));
}

bool FillRemoteListingFromFile(const std::string& path, const TListingParser& parser,
                               TRemoteListing& cache, std::string& error) {
    cache.clear();
    TListingStream stream(parser, TListingConsumer::Panel, CacheAppender(cache));
    const bool read = ReadListingFile(path, stream);
    error = stream.Error();
    return read;
}

bool AsCachedEntry(const TListingEntry& entry, TListingEntry& cached) {
    return ParseCacheLine(FormatCacheLine(entry), cached);
}

std::vector<TListingEntry> CacheEntriesFromListing(std::string_view listingText,
                                                   std::string_view answer, TStartDate start) {
    TRemoteListing cache;
    FillRemoteListing(listingText, TListingParser(answer, start), cache);
    return EntriesOf(cache);
}

bool CacheEntriesFromListingFile(const std::string& path, std::vector<TListingEntry>& entries,
                                 std::string_view answer, TStartDate start) {
    TRemoteListing cache;
    std::string error;
    const bool read = FillRemoteListingFromFile(path, TListingParser(answer, start), cache, error);
    entries = EntriesOf(cache);
    return read;
}

std::vector<TPaneRow> RemoteListingRows(const TRemoteListing& cache, std::string_view mask,
                                        char hostType) {
    std::vector<TPaneRow> rows;
    rows.reserve(cache.size());
    TListingEntry entry;
    for (const std::string& line : cache) {
        if (!ParseCacheLine(line, entry)) continue;
        if (!entry.IsDir && hostType != kHostText && !MatchesMask(entry.Name, mask)) continue;
        rows.push_back(RowFromEntry(entry));
    }
    return rows;
}

std::string FormatEntryFields(const TListingEntry& entry) {
    std::string out(1, entry.IsDir ? kKindDirectory : kKindFile);
    for (const std::string* field :
         {&entry.Name, &entry.Size, &entry.Date, &entry.Time, &entry.Attr}) {
        out.push_back(kFieldTab);
        out.append(*field);
    }
    return out;
}

}  // namespace tarnwick

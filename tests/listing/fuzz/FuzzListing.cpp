// Fuzz entry for the listing parser and the listing-file rules. The first
// input byte picks the host type and the consumer; the rest is the listing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "listing/ListingConsumer.h"
#include "listing/MaskMatch.h"
#include "listing/RemoteListing.h"

namespace {

constexpr std::string_view kAnswers[] = {"0957681", "1",       "2", "3", "4957681",
                                         "4999999", "4123456", "5", "6", ""};
constexpr std::size_t kAnswerCount = sizeof kAnswers / sizeof kAnswers[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnwick;
    if (size == 0) return 0;
    const std::uint8_t selector = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string_view answer = kAnswers[selector % kAnswerCount];
    // Feb 29 of a leap year, so every date path is reachable.
    // Bit 6 reads the input as a machine listing (MLSD) instead.
    const TListingParser parser(answer, TStartDate{2024, 2, 29},
                                (selector & 0x40) ? TListingFormat::Machine : TListingFormat::Text);

    // Every line on its own, whatever the consumer rules would drop.
    std::vector<std::string_view> lines;
    SplitListingLines(text, lines);
    TListingEntry entry;
    for (std::string_view line : lines) parser.ParseListingLine(line, entry);

    // The whole text as a listing file, through the cache and back.
    const auto consumer = (selector & 0x80) ? TListingConsumer::Tree : TListingConsumer::Panel;
    ForEachListingEntry(text, parser, consumer, [](const TListingEntry& parsed) {
        TListingEntry back;
        if (!ParseCacheLine(FormatCacheLine(parsed), back)) __builtin_trap();
        (void)MatchesMask(parsed.Name, "*.t?t");
        (void)IsSafeLocalName(parsed.Name);
    });
    // Patterns from the input too.
    if (lines.size() >= 2) (void)MatchesWildcard(lines[0], lines[1]);
    return 0;
}

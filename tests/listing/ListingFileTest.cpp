// Listing texts and files through the consumer rules into the remote cache.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "listing/ListingConsumer.h"
#include "listing/RemoteListing.h"
#include "listing/TextUtil.h"

namespace tarnwick {
namespace {

constexpr TStartDate kCaptureDay{2026, 12, 8};

void WriteText(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

std::vector<std::string> Names(const std::vector<TListingEntry>& entries) {
    std::vector<std::string> names;
    for (const TListingEntry& entry : entries) names.push_back(entry.Name);
    return names;
}

TEST(SplitTrimmed, CutsAtTheDelimiterAndTrimsEveryPiece) {
    const struct {
        std::string text;
        char delimiter;
        std::vector<std::string> pieces;
    } cases[] = {
        {"", ' ', {}},
        {"a", ' ', {"a"}},
        {"a   b\tc ", ' ', {"a", "b\tc"}},
        {" a b", ' ', {"", "a", "b"}},
        {"   ", ' ', {""}},
        {"a..b.", '.', {"a", "", "b"}},
        {".bashrc", '.', {"", "bashrc"}},
        {" x . y ", '.', {"x", "y"}},
        {"0\xA6"
         "docs\xA6\xA6"
         "05.03.01\xA6",
         '\xA6',
         {"0", "docs", "", "05.03.01"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitTrimmed(c.text, c.delimiter), c.pieces) << c.text;
}

TEST(ListingText, LinesEndAtCrLfOrCrLf) {
    std::vector<std::string_view> lines;
    SplitListingLines("a\r\nb\rc\nd", lines);
    EXPECT_EQ(lines, (std::vector<std::string_view>{"a", "b", "c", "d"}));
    SplitListingLines("a\r\r\nb\n", lines);
    EXPECT_EQ(lines, (std::vector<std::string_view>{"a", "", "b"}));
    SplitListingLines("", lines);
    EXPECT_TRUE(lines.empty());
}

TEST(ListingText, ShortLinesAndDotEntriesPerConsumer) {
    const std::string text =
        "total 8\r\n"
        "drwxr-xr-x 2 o g 4096 Jan 1 2000 .\r\n"
        "drwxr-xr-x 2 o g 4096 Jan 1 2000 ..\r\n"
        "-rw-r--r-- 1 o g 1 Jan 1 2000 a\r\n"
        "1234567890123456789\r\n"
        "12345678901234567890\r\n";
    const TListingParser parser(kDefaultAnswer, kCaptureDay);
    EXPECT_EQ(Names(ParseListingText(text, parser, TListingConsumer::Panel)),
              (std::vector<std::string>{"..", "a", "12345678901234567890"}));
    EXPECT_EQ(Names(ParseListingText(text, parser, TListingConsumer::Tree)),
              (std::vector<std::string>{"a", "12345678901234567890"}));
    EXPECT_EQ(Names(ParseListingText(text, TListingParser("1"), TListingConsumer::Panel)),
              (std::vector<std::string>{
                  "drwxr-xr-x 2 o g 4096 Jan 1 2000 .", "drwxr-xr-x 2 o g 4096 Jan 1 2000 ..",
                  "-rw-r--r-- 1 o g 1 Jan 1 2000 a", "12345678901234567890"}));
}

TEST(ListingText, VmsJoinsWrappedNames) {
    const std::string text =
        "DISK$ARCHIVE:[USER.PUBLIC]\r\n"
        "\r\n"
        "A_VERY_LONG_FILE_NAME.TXT;1\r\n"
        "   5/6   2-FEB-2001 09:15:00 [G,O] (RWED,RWED,R,)\r\n"
        "SHORT.TXT;1\r\n"
        "   7/9   3-FEB-2001 10:00:00 [G,O] (RWED,RWED,R,)\r\n"
        "SUB.DIR;1  1/3  1-JAN-2000 12:00:00 [G,O] (RWED,RWED,RE,)\r\n"
        "Total of 3 files, 13/18 blocks.\r\n";
    const std::vector<TListingEntry> entries =
        ParseListingText(text, TListingParser("5"), TListingConsumer::Tree);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], (TListingEntry{"A_VERY_LONG_FILE_NAME.TXT", "5/6", "2-FEB-2001",
                                         "09:15:00", "(RWED,RWED,R,)", false}));
    EXPECT_EQ(entries[1], (TListingEntry{"", "7/9", "3-FEB-2001", "10:00:00", "(RWED,RWED,R,)",
                                         false}));  // the short name line was dropped
    EXPECT_EQ(entries[2].Name, "SUB.DIR");
    EXPECT_TRUE(entries[2].IsDir);
}

// VMS headers and trailers of 20 to 39 characters are no wrapped names: the line after
// them stays an entry of its own.
TEST(ListingText, VmsHeadersNeverSwallowTheNextLine) {
    const struct {
        std::string text;
        std::vector<std::string> names;
    } cases[] = {
        {"DISK$ARCHIVE:[USER.FOO]\r\n"
         "SUB.DIR;1  1/3  1-JAN-2000 12:00:00 [G,O] (RWED,RWED,RE,)\r\n"
         "Total of 1 file, 1/3 blocks.\r\n",
         {"SUB.DIR"}},
        {"A.TXT;1  1/3  1-JAN-2000 12:00:00 [G,O] (RWED,RWED,RE,)\r\n"
         "Total of 1 file, 1/3 blocks.\r\n"
         "DISK$ARCHIVE:[USER.BAR]\r\n"
         "README.TXT;3   5/6   2-FEB-2001 09:15:00 [G,O]\r\n",
         {"A.TXT", "README.TXT"}},
        {"DISK$ARCHIVE:[USER.FOO]\r\n"
         "A_VERY_LONG_FILE_NAME.TXT;1\r\n"
         "   5/6   2-FEB-2001 09:15:00 [G,O] (RWED,RWED,R,)\r\n"
         "LAST_LONG_NAME_NO_DETAILS.TXT;1",
         {"A_VERY_LONG_FILE_NAME.TXT", "LAST_LONG_NAME_NO_DETAILS.TXT"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Names(ParseListingText(c.text, TListingParser("5"), TListingConsumer::Tree)),
                  c.names);
    }
}

// The listing arrives in blocks cut anywhere, CR LF included: every cut gives the
// entries of the whole text, line by line as the engine's line display hands them over
// too, and from a file read in blocks.
TEST(ListingStream, EveryBlockCutGivesTheSameEntries) {
    const std::string text =
        "total 3\r\n"
        "drwxr-xr-x 2 o g 4096 Jan 1 2000 sub dir\r\n"
        "-rw-r--r-- 1 o g 10 Jan 1 2000 a.txt\r"
        "-rw-r--r-- 1 o g 20 Jan 1 2000 b.txt\n\n"
        "-rw-r--r-- 1 o g 30 Jan 1 2000 c.txt";
    for (const char* answer : {"0957681", "5", "1"}) {
        SCOPED_TRACE(answer);
        const TListingParser parser(answer, kCaptureDay);
        const std::vector<TListingEntry> whole =
            ParseListingText(text, parser, TListingConsumer::Panel);
        ASSERT_FALSE(whole.empty());
        for (std::size_t block = 1; block <= text.size(); ++block) {
            std::vector<TListingEntry> entries;
            TListingStream stream(parser, TListingConsumer::Panel,
                                  [&](const TListingEntry& entry) { entries.push_back(entry); });
            for (std::size_t at = 0; at < text.size(); at += block) {
                stream.Feed(std::string_view(text).substr(at, block));
            }
            stream.Finish();
            EXPECT_EQ(entries, whole) << "blocks of " << block;
        }
        std::vector<std::string_view> lines;
        SplitListingLines(text, lines);
        std::vector<TListingEntry> entries;
        TListingStream byLine(parser, TListingConsumer::Panel,
                              [&](const TListingEntry& entry) { entries.push_back(entry); });
        for (std::string_view line : lines) byLine.FeedLine(line);
        byLine.Finish();
        EXPECT_EQ(entries, whole);
    }
    // A file of many blocks.
    std::string big;
    for (int i = 0; i < 20000; ++i) {
        big += "-rw-r--r-- 1 o g " + std::to_string(i) + " Jan 1 2000 file" + std::to_string(i) +
               "\r\n";
    }
    const std::string path = ::testing::TempDir() + "tarnwick-big-listing.txt";
    WriteText(path, big);
    TRemoteListing cache;
    std::string error = "not run";
    ASSERT_TRUE(FillRemoteListingFromFile(path, TListingParser(), cache, error));
    std::remove(path.c_str());
    EXPECT_EQ(error, "");
    ASSERT_EQ(cache.size(), 20000u);
    TListingEntry last;
    ASSERT_TRUE(ParseCacheLine(cache.back(), last));
    EXPECT_EQ(last.Name, "file19999");
}

// A listing past the entry limit or with a line past the line limit stops with a reason;
// the entries before it stay.
TEST(ListingStream, StopsAtItsLimits) {
    const std::string entryLine = "-rw-r--r-- 1 o g 10 Jan 1 2000 a.txt\r\n";
    const struct {
        std::string text;
        std::size_t maxEntries;
        std::size_t entries;
        std::string error;
    } cases[] = {
        {entryLine + entryLine + entryLine, 3, 3, ""},
        {entryLine + entryLine + entryLine + entryLine, 3, 3, "Listing has more than 3 entries"},
        {entryLine + entryLine + entryLine + entryLine, kNoEntryLimit, 4, ""},
        {entryLine + std::string(kMaxListingLineLength, 'x') + "\r\n" + entryLine, 10, 3, ""},
        {entryLine + std::string(kMaxListingLineLength + 1, 'x') + "\r\n" + entryLine, 10, 1,
         "Listing line longer than 65536 bytes"},
        {entryLine + std::string(kMaxListingLineLength + 1, 'x'), kNoEntryLimit, 1,
         "Listing line longer than 65536 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        std::size_t visited = 0;
        TListingStream stream(
            TListingParser("1"), TListingConsumer::Panel, [&](const TListingEntry&) { ++visited; },
            c.maxEntries);
        stream.Feed(c.text);
        stream.Finish();
        EXPECT_EQ(visited, c.entries);
        EXPECT_EQ(stream.EntryCount(), c.entries);
        EXPECT_EQ(stream.Error(), c.error);
    }
}

// The limit the remote cache and the tree collectors run with.
TEST(ListingStream, KeepsTwoMillionEntriesAndNoMore) {
    const std::string line = "-rw-r--r-- 1 owner group 1234 Jan 1 2000 name";
    std::size_t visited = 0;
    TListingStream stream(TListingParser("1"), TListingConsumer::Tree,
                          [&](const TListingEntry&) { ++visited; });
    for (std::size_t i = 0; i < 2'000'000; ++i) stream.FeedLine(line);
    EXPECT_EQ(stream.Error(), "");
    stream.FeedLine(line);
    stream.Finish();
    EXPECT_EQ(visited, 2'000'000u);
    EXPECT_EQ(stream.Error(), "Listing has more than 2000000 entries");
}

TEST(RemoteCache, LineOfAPlainNameKeepsItsForm) {
    EXPECT_EQ(FormatCacheLine({"docs", "", "05.03.01", "10:00", "", true}),
              "0\xA6"
              "docs\xA6\xA6"
              "05.03.01\xA6"
              "10:00\xA6\xA6");
    EXPECT_EQ(FormatCacheLine({"a b.txt", "12", "01.01.00", "", "-rw-r--r--", false}),
              "1\xA6"
              "a b.txt\xA6"
              "12\xA6"
              "01.01.00\xA6\xA6-rw-r--r--\xA6");
}

TEST(RemoteCache, EveryNameRoundTrips) {
    const std::string names[] = {
        "\xC3\xA6"
        "ble.txt",
        "\xA6",
        "a\xA6\xA6z",
        "\xFF",
        "x\xFF"
        "b",
        "\xFF"
        "f\xA6",
        "plain name",
        "n\xC3\xA6ve \xA6 caf\xC3\xA9"};
    for (const std::string& name : names) {
        const TListingEntry entry{name, "1", "01.01.00", "", "-rw", false};
        TListingEntry back;
        ASSERT_TRUE(ParseCacheLine(FormatCacheLine(entry), back));
        EXPECT_EQ(back, entry);
    }
}

TEST(RemoteCache, ReadersTrimFieldsAndNeedTwoOfThem) {
    TListingEntry entry;
    EXPECT_FALSE(ParseCacheLine("0\xA6", entry));
    EXPECT_FALSE(ParseCacheLine("", entry));
    ASSERT_TRUE(ParseCacheLine(" 0 \xA6 docs \t\xA6", entry));
    EXPECT_EQ(entry, (TListingEntry{"docs", "", "", "", "", true}));
}

// Listings captured from real servers over a folder with files, directories,
// symbolic links and names with blanks and UTF-8.
TEST(RemoteCache, CapturedServerListings) {
    const std::vector<std::string> expected = {
        "1\ta.txt\t6\t08.12.26\t21:06\t-rw-r--r--",
        "1\tbig.dat\t5000\t05.03.01\t\t-rw-r--r--",
        "0\tdocs\t4096\t04.07.19\t\tdrwxr-xr-x",
        "0\tdocs_link\t\t08.12.26\t21:06\tlrwxrwxrwx",
        "0\tetc\t\t08.12.26\t21:06\tlrwxrwxrwx",
        "1\tfile with blanks.bin\t123456\t08.12.26\t21:06\t-rw-r--r--",
        "1\tlink_to_a\t5\t08.12.26\t21:06\tlrwxrwxrwx",
        "1\tna\xC3\xAFve caf\xC3\xA9.md\t2\t08.12.26\t21:06\t-rw-r--r--",
        "0\tsub dir\t4096\t08.12.26\t21:06\tdrwxr-xr-x",
        "0\t\xC3\x9Cn\xC3\xAF"
        "c\xC3\xB8"
        "d\xC3\xA9 dir\t4096\t08.12.26\t21:06\tdrwxr-xr-x",
        "1\t\xC3\xA6"
        "ble.txt\t1\t08.12.26\t21:06\t-rw-r--r--",
    };
    for (const char* fixture : {"fixtures/pyftpdlib-list.txt", "fixtures/vsftpd-list.txt"}) {
        SCOPED_TRACE(fixture);
        std::vector<TListingEntry> entries;
        ASSERT_TRUE(CacheEntriesFromListingFile(fixture, entries, kDefaultAnswer, kCaptureDay));
        std::vector<std::string> printed;
        for (const TListingEntry& entry : entries) printed.push_back(FormatEntryFields(entry));
        EXPECT_EQ(printed, expected);
    }
    // A week earlier the same "Dec 08" lies in the future and means last year.
    std::vector<TListingEntry> entries;
    ASSERT_TRUE(CacheEntriesFromListingFile("fixtures/vsftpd-list.txt", entries, kDefaultAnswer,
                                            {2026, 12, 1}));
    EXPECT_EQ(entries.at(0).Date, "08.12.25");
}

TEST(RemoteCache, PaneRowsFollowTheRemoteMask) {
    const std::string text =
        "drwxr-xr-x 2 o g 4096 Jan 1 2000 src\r\n"
        "-rw-r--r-- 1 o g 10 Jan 1 2000 notes.txt\r\n"
        "-rw-r--r-- 1 o g 20 Jan 1 2000 image.png\r\n";
    const auto names = [](const std::vector<TPaneRow>& rows) {
        std::vector<std::string> out;
        for (const TPaneRow& row : rows) out.push_back(row.Name + "|" + row.Size);
        return out;
    };
    TRemoteListing cache;
    FillRemoteListing(text, TListingParser(kDefaultAnswer, kCaptureDay), cache);
    cache.push_back("junk");
    EXPECT_EQ(names(RemoteListingRows(cache, "*.txt", kHostDefault)),
              (std::vector<std::string>{"src|", "notes.txt|10"}));
    EXPECT_EQ(names(RemoteListingRows(cache, "*", kHostDefault)).size(), 3u);
    FillRemoteListing(text, TListingParser("1"), cache);
    EXPECT_EQ(RemoteListingRows(cache, "*.none", kHostText).size(), 3u);
}

TEST(RemoteCache, TakenListingFileIsGone) {
    const std::string path = ::testing::TempDir() + "tarnwick-take-listing.txt";
    WriteText(path, "-rw-r--r-- 1 o g 10 Jan 1 2000 a.txt\n");
    std::vector<TListingEntry> entries;
    TListingStream stream(TListingParser(), TListingConsumer::Panel,
                          [&](const TListingEntry& entry) { entries.push_back(entry); });
    EXPECT_TRUE(TakeListingFile(path, stream));
    EXPECT_EQ(Names(entries), std::vector<std::string>{"a.txt"});
    TListingStream again(TListingParser(), TListingConsumer::Panel,
                         [&](const TListingEntry& entry) { entries.push_back(entry); });
    EXPECT_FALSE(TakeListingFile(path, again));
    EXPECT_EQ(entries.size(), 1u);
}

TEST(RemoteCache, MissingFileIsAnEmptyListing) {
    std::vector<TListingEntry> entries{TListingEntry{}};
    EXPECT_FALSE(CacheEntriesFromListingFile("fixtures/no-such-listing.txt", entries));
    EXPECT_TRUE(entries.empty());
}

}  // namespace
}  // namespace tarnwick

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
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs("-rw-r--r-- 1 o g 10 Jan 1 2000 a.txt\n", file);
        std::fclose(file);
    }
    std::string text;
    EXPECT_TRUE(TakeListingFile(path, text));
    EXPECT_EQ(text, "-rw-r--r-- 1 o g 10 Jan 1 2000 a.txt\n");
    EXPECT_FALSE(TakeListingFile(path, text));
    EXPECT_EQ(text, "");
}

TEST(RemoteCache, MissingFileIsAnEmptyListing) {
    std::vector<TListingEntry> entries{TListingEntry{}};
    EXPECT_FALSE(CacheEntriesFromListingFile("fixtures/no-such-listing.txt", entries));
    EXPECT_TRUE(entries.empty());
}

}  // namespace
}  // namespace tarnwick

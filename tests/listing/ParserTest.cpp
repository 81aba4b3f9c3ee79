// Listing lines of every host type, each row a raw line and the entry it gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "listing/ListingParser.h"

namespace tarnwick {
namespace {

struct TLineCase {
    const char* answer;
    TStartDate start;
    std::string line;
    TListingEntry expected;  // Name, Size, Date, Time, Attr, IsDir
};

constexpr TStartDate kMidJune2001{2001, 6, 15};
constexpr TStartDate kMidJune2004{2004, 6, 15};

const std::vector<TLineCase>& LineCases() {
    static const std::vector<TLineCase> cases = {
        // Default layout: group column, time in the current year or the year before.
        {"0957681",
         kMidJune2001,
         "drwxr-xr-x   2 owner group 4096 Jan 15 12:34 my dir",
         {"my dir", "4096", "15.01.01", "12:34", "drwxr-xr-x", true}},
        {"0957681",
         kMidJune2001,
         "-rw-r--r--   1 owner group 10 Jun 15 08:00 today.txt",
         {"today.txt", "10", "15.06.01", "08:00", "-rw-r--r--", false}},
        {"0957681",
         kMidJune2001,
         "-rw-r--r--   1 owner group 10 Jun 16 08:00 tomorrow.txt",
         {"tomorrow.txt", "10", "16.06.00", "08:00", "-rw-r--r--", false}},
        {"0957681",
         kMidJune2001,
         "-rw-r--r--   1 owner group 10 Dec 31 23:59 newyear.txt",
         {"newyear.txt", "10", "31.12.00", "23:59", "-rw-r--r--", false}},
        // Without a group column; with a numeric group; sizes over 4 GiB.
        {"0957681",
         kMidJune2001,
         "-rw-r--r-- 1 owner 1234 Mar 3 1999 a.txt",
         {"a.txt", "1234", "03.03.99", "", "-rw-r--r--", false}},
        {"0957681",
         kMidJune2001,
         "-rw-r--r-- 1 owner 100 1234 Mar 3 1999 a.txt",
         {"a.txt", "1234", "03.03.99", "", "-rw-r--r--", false}},
        {"",
         kMidJune2001,
         "-rw-r--r-- 1 o g 5000000000 Nov 30 2010 big.iso",
         {"big.iso", "5000000000", "30.11.10", "", "-rw-r--r--", false}},
        // Unknown month and day words fall back to 01 (the month where no layout is
        // recognised: host types other than "0"); odd days and years.
        {"9",
         kMidJune2001,
         "-rw-r--r-- 1 o g 10 Mär 3 1999 x.txt",
         {"x.txt", "10", "03.01.99", "", "-rw-r--r--", false}},
        {"0957681",
         kMidJune2001,
         "-rw-r--r-- 1 o g 10 Mar xx 1999 x.txt",
         {"x.txt", "10", "01.03.99", "", "-rw-r--r--", false}},
        {"0957681",
         kMidJune2001,
         "-rw-r--r-- 1 o g 10 Mar 123 1999 x.txt",
         {"x.txt", "10", "123.03.99", "", "-rw-r--r--", false}},
        {"9",
         kMidJune2001,
         "-rw-r--r-- 1 o g 10 Sep 7 abc  two  blanks  ",
         {"two  blanks  ", "10", "07.09.00", "", "-rw-r--r--", false}},
        // Impossible dates and lines that end early give the failure entry.
        {"0957681",
         kMidJune2001,
         "-rw-r--r-- 1 o g 5 Feb 29 10:00 leap.txt",
         {"-rw-r--r-- 1 o g 5 Feb 29 10:00 leap.txt", "5", "error", "10:00", "-rw-r--r--", false}},
        {"0957681",
         kMidJune2004,
         "-rw-r--r-- 1 o g 5 Feb 29 10:00 leap.txt",
         {"leap.txt", "5", "29.02.04", "10:00", "-rw-r--r--", false}},
        {"0957681",
         kMidJune2001,
         "drwxr-xr-x 1 o g 5 Apr 31 10:00 april",
         {"drwxr-xr-x 1 o g 5 Apr 31 10:00 april", "5", "error", "10:00", "drwxr-xr-x", true}},
        {"0957681",
         kMidJune2001,
         "-rw-r--r-- 1 owner group 1234 Mar",
         {"-rw-r--r-- 1 owner group 1234 Mar", "1234", "error", "", "-rw-r--r--", false}},
        {"0957681",
         kMidJune2001,
         "-rw-r--r-- 1 owner group 1234 Mar 3 1999   ",
         {"-rw-r--r-- 1 owner group 1234 Mar 3 1999   ", "1234", "error", "", "-rw-r--r--", false}},
        {"0957681",
         kMidJune2001,
         "total 1234567890123456",
         {"total 1234567890123456", "", "error", "", "total", false}},
        // Symbolic links: no dot in the whole name text means a directory.
        {"0957681",
         kMidJune2001,
         "lrwxrwxrwx 1 o g 7 Jan 1 2000 www -> /home/www",
         {"www", "", "01.01.00", "", "lrwxrwxrwx", true}},
        {"0957681",
         kMidJune2001,
         "lrwxrwxrwx 1 o g 7 Jan 1 2000 libc.so -> libc.so.6",
         {"libc.so", "7", "01.01.00", "", "lrwxrwxrwx", false}},
        {"0957681",
         kMidJune2001,
         "lrwxrwxrwx 1 o g 7 Jan 1 2000 x -> ../y",
         {"x", "7", "01.01.00", "", "lrwxrwxrwx", false}},
        // Text: the whole line is the name.
        {"1957681",
         kMidJune2001,
         "drwxr-xr-x 2 o g 1 Jan 1 2000 d",
         {"drwxr-xr-x 2 o g 1 Jan 1 2000 d", "", "", "", "", true}},
        {"1",
         kMidJune2001,
         "lrwxrwxrwx 1 o g 7 Jan 1 2000 a -> b",
         {"lrwxrwxrwx 1 o g 7 Jan 1 2000 a -> b", "", "", "", "", false}},
        // Microsoft FTP 4.0: words; a name keeps its first word only.
        {"2",
         kMidJune2001,
         "01-15-01  10:30AM       <DIR>          docs",
         {"docs", "", "01-15-01", "10:30AM", "", true}},
        {"2",
         kMidJune2001,
         "01-15-01  10:30AM       <dir>          docs",
         {"docs", "", "01-15-01", "10:30AM", "", true}},
        {"2",
         kMidJune2001,
         "01-15-01  10:30AM                 1234 my file.txt",
         {"my", "1234", "01-15-01", "10:30AM", "", false}},
        // Mac: files carry one column more than directories.
        {"3",
         kMidJune2001,
         "-rw-r--r-- 1234 x y Jan 15 12:00 name.txt",
         {"name.txt", "1234", "Jan 15", "12:00", "", false}},
        {"3",
         kMidJune2001,
         "drwxr-xr-x folder 2 Jan 15 1999 Stuff",
         {"Stuff", "", "Jan 15", "1999", "", true}},
        // Custom word positions.
        {"4957681",
         kMidJune2001,
         "-rw-r--r-- 1 owner group 1234 Mar 3 1999 a.txt",
         {"a.txt", "1234", "3 Mar", "1999", "-rw-r--r--", false}},
        {"4950681",
         kMidJune2001,
         "drwxr-xr-x 1 owner group 1234 Mar 3 1999 d",
         {"d", "1234", " Mar", "1999", "drwxr-xr-x", true}},
        {"49x7a81",
         kMidJune2001,
         "-rw-r--r-- 1 owner group 1234 Mar 3 1999 a.txt",
         {"a.txt", "", "3", "1999", "-rw-r--r--", false}},
        {"4",
         kMidJune2001,
         "-rw-r--r-- 1 owner group 1234 Mar 3 1999 a.txt",
         {"", "", "", "", "", false}},
        // VMS: header and trailer lines are not entries.
        {"5",
         kMidJune2001,
         "SUB.DIR;1  1/3  1-JAN-2000 12:00:00 [G,O] (RWED,RWED,RE,)",
         {"SUB.DIR", "1/3", "1-JAN-2000", "12:00:00", "(RWED,RWED,RE,)", true}},
        {"5",
         kMidJune2001,
         "README.TXT;3   5/6   2-FEB-2001 09:15:00 [G,O]",
         {"README.TXT", "5/6", "2-FEB-2001", "09:15:00", "", false}},
        {"5", kMidJune2001, "DISK$ARCHIVE:[USER.PUB]", {".", "", "", "", "", false}},
        {"5", kMidJune2001, "Total of 2 files, 6/9 blocks.", {".", "", "", "", "", false}},
        // Microsoft FTP 5.0: fixed columns; an unnamed directory is the parent.
        {"6",
         kMidJune2001,
         "01-15-01  10:30AM       <DIR>          docs",
         {"docs", "", "15.01.01", "10:30AM", "", true}},
        {"6",
         kMidJune2001,
         "01-15-01  10:30AM                 1234 my file.txt ",
         {"my file.txt", "1234", "15.01.01", "10:30AM", "", false}},
        {"6",
         kMidJune2001,
         "12-31-99  11:59PM       <DIR>          ",
         {"..", "", "31.12.99", "11:59PM", "", true}},
        {"6", kMidJune2001, "01-1", {"", "", "1.01.", "", "", false}},
        // Sizes of ten digits and more begin left of the size column.
        {"6",
         kMidJune2001,
         "02-24-12  02:30PM           5368709120 big.iso",
         {"big.iso", "5368709120", "24.02.12", "02:30PM", "", false}},
        {"6",
         kMidJune2001,
         "02-24-12  02:30PM  9223372036854775807 huge.img",
         {"huge.img", "9223372036854775807", "24.02.12", "02:30PM", "", false}},
        {"6",
         kMidJune2001,
         "02-24-12  02:30PM                    0 empty",
         {"empty", "0", "24.02.12", "02:30PM", "", false}},
        {"6", kMidJune2001, "02-24-12  02:30PM", {"", "", "24.02.12", "02:30PM", "", false}},
    };
    return cases;
}

TEST(ListingParser, ParsesEveryHostTypeLayout) {
    for (const TLineCase& c : LineCases()) {
        SCOPED_TRACE("host type '" + std::string(c.answer) + "' line '" + c.line + "'");
        EXPECT_EQ(TListingParser(c.answer, c.start).ParseListingLine(c.line), c.expected);
    }
}

TEST(ListingParser, ReusedEntryStartsEmpty) {
    const TListingParser parser("2", kMidJune2001);
    TListingEntry entry = parser.ParseListingLine("01-15-01  10:30AM  1234 file");
    parser.ParseListingLine("01-15-01", entry);
    EXPECT_EQ(entry, (TListingEntry{"", "", "01-15-01", "", "", false}));
}

// Control characters anywhere in a line never make a parser read outside it.
TEST(ListingParser, SurvivesLineBreaksAndTabsAtEveryPosition) {
    const char* answers[] = {"0957681", "1", "2", "3", "4957681", "5", "6", "4999999", ""};
    for (const TLineCase& c : LineCases()) {
        for (std::size_t at = 0; at <= c.line.size(); ++at) {
            for (char inserted : {'\r', '\n', '\t'}) {
                std::string line = c.line;
                line.insert(at, 1, inserted);
                for (const char* answer : answers) {
                    const TListingEntry entry =
                        TListingParser(answer, c.start).ParseListingLine(line);
                    EXPECT_LE(entry.Name.size(), line.size());
                }
            }
        }
    }
}

// Tree walks never descend into symbolic links, whatever the link rule guessed.
TEST(ListingParser, TreeWalkLeaves) {
    const struct {
        const char* answer;
        const char* line;
        bool isDir;
        bool link;
        bool leaf;
    } cases[] = {
        {"0957681", "drwxr-xr-x 2 o g 4096 Jan 1 2000 sub", true, false, false},
        {"0957681", "-rw-r--r-- 1 o g 10 Jan 1 2000 a.txt", false, false, true},
        {"0957681", "lrwxrwxrwx 1 o g 7 Jan 1 2000 bin -> usr/bin", true, true, true},
        {"0957681", "lrwxrwxrwx 1 o g 1 Jan 1 2000 loop -> /", true, true, true},
        {"0957681", "lrwxrwxrwx 1 o g 9 Jan 1 2000 libc.so -> libc.so.6", false, true, true},
        {"4957681", "lrwxrwxrwx 1 o g 4 Mar 3 1999 up -> ..", true, true, true},
        {"4957681", "drwxr-xr-x 1 o g 4 Mar 3 1999 down", true, false, false},
        {"2", "01-15-01  10:30AM       <DIR>          docs", true, false, false},
        {"5", "SUB.DIR;1  1/3  1-JAN-2000 12:00:00 [G,O] (RWED,RWED,RE,)", true, false, false},
        {"1", "lrwxrwxrwx 1 o g 7 Jan 1 2000 a -> b", false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.answer) + " " + c.line);
        const TListingEntry entry = TListingParser(c.answer, kMidJune2001).ParseListingLine(c.line);
        EXPECT_EQ(entry.IsDir, c.isDir);
        EXPECT_EQ(IsSymbolicLink(entry), c.link);
        EXPECT_EQ(IsTreeWalkLeaf(entry), c.leaf);
    }
}

TEST(ListingParser, SafeLocalNames) {
    const std::pair<std::string, bool> cases[] = {
        {"a.txt", true},
        {"my dir", true},
        {"..a", true},
        {"\xC3\xA6"
         "ble",
         true},
        {"", false},
        {".", false},
        {"..", false},
        {"../etc", false},
        {"a/b", false},
        {"/", false},
        {std::string("a\0b", 3), false},
    };
    for (const auto& [name, safe] : cases) EXPECT_EQ(IsSafeLocalName(name), safe) << name;
}

}  // namespace
}  // namespace tarnwick

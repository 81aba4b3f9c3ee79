// The default host type recognising the common listing layouts, and machine listings (MLSD):
// each row a real-world line and the entry it gives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "listing/ListingConsumer.h"
#include "listing/ListingParser.h"
#include "listing/ListingRecognition.h"
#include "listing/MachineListing.h"

namespace tarnwick {
namespace {

constexpr TStartDate kMidJune2023{2023, 6, 15};

struct TRow {
    std::string line;
    TListingEntry expected;  // Name, Size, Date, Time, Attr, IsDir
};

TEST(ListingRecognition, CommonLayoutsUnderTheDefaultHostType) {
    const TRow rows[] = {
        // IIS in its DOS style: 2- and 4-digit years, AM/PM and 24-hour times.
        {"01-15-23  12:34PM       <DIR>          docs",
         {"docs", "", "15.01.23", "12:34", "", true}},
        {"01-15-23  09:05AM                 1234 my file.txt",
         {"my file.txt", "1234", "15.01.23", "09:05", "", false}},
        {"01-15-2023  12:05AM       <dir>          Old Stuff",
         {"Old Stuff", "", "15.01.23", "00:05", "", true}},
        {"12-31-1999  11:59PM           5000000000 big.iso",
         {"big.iso", "5000000000", "31.12.99", "23:59", "", false}},
        {"01-15-2023  14:05                  77 noon.txt",
         {"noon.txt", "77", "15.01.23", "14:05", "", false}},
        {"2023-01-15  14:05  <DIR>  iso dos", {"iso dos", "", "15.01.23", "14:05", "", true}},
        // ISO dates: long-iso, full-iso with seconds and zone, iso of a recent file.
        {"-rw-r--r-- 1 user group 1234 2023-01-15 12:34 report.pdf",
         {"report.pdf", "1234", "15.01.23", "12:34", "-rw-r--r--", false}},
        {"drwxr-xr-x 2 user group 4096 2022-12-31 23:59:59.123456789 +0100 logs",
         {"logs", "4096", "31.12.22", "23:59", "drwxr-xr-x", true}},
        {"-rw-r--r-- 1 user group 10 01-15 12:34 recent.txt",
         {"recent.txt", "10", "15.01.23", "12:34", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 2019-03-07 old file",
         {"old file", "10", "07.03.19", "", "-rw-r--r--", false}},
        // English month names in other forms.
        {"-rw-r--r-- 1 user group 10 Sept 3 2020 s.txt",
         {"s.txt", "10", "03.09.20", "", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 June 3 10:00 j.txt",
         {"j.txt", "10", "03.06.23", "10:00", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 July 30 10:00 j.txt",
         {"j.txt", "10", "30.07.22", "10:00", "-rw-r--r--", false}},
        // German (UTF-8 and Latin-1), day before month with its dot.
        {"-rw-r--r-- 1 user group 10 Mär 3 1999 x.txt",
         {"x.txt", "10", "03.03.99", "", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 M\xE4r 3 1999 x.txt",
         {"x.txt", "10", "03.03.99", "", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 15. Okt 2021 herbst",
         {"herbst", "10", "15.10.21", "", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 Dez 24 12:00 fest",
         {"fest", "10", "24.12.22", "12:00", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 Mai 1 2020 mai.txt",
         {"mai.txt", "10", "01.05.20", "", "-rw-r--r--", false}},
        // French.
        {"-rw-r--r-- 1 user group 10 févr. 3 2020 f.txt",
         {"f.txt", "10", "03.02.20", "", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 août 15 2020 f.txt",
         {"f.txt", "10", "15.08.20", "", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 3 déc. 2020 f.txt",
         {"f.txt", "10", "03.12.20", "", "-rw-r--r--", false}},
        // Spanish.
        {"-rw-r--r-- 1 user group 10 ene 5 2020 e.txt",
         {"e.txt", "10", "05.01.20", "", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 dic 5 2020 e.txt",
         {"e.txt", "10", "05.12.20", "", "-rw-r--r--", false}},
        // Italian.
        {"-rw-r--r-- 1 user group 10 gen 5 2020 i.txt",
         {"i.txt", "10", "05.01.20", "", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 mag 10 2020 i.txt",
         {"i.txt", "10", "10.05.20", "", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 ott 1 2020 i.txt",
         {"i.txt", "10", "01.10.20", "", "-rw-r--r--", false}},
        // Dutch.
        {"-rw-r--r-- 1 user group 10 mrt 5 2020 n.txt",
         {"n.txt", "10", "05.03.20", "", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 mei 1 2020 n.txt",
         {"n.txt", "10", "01.05.20", "", "-rw-r--r--", false}},
        // Portuguese.
        {"-rw-r--r-- 1 user group 10 out 5 2020 p.txt",
         {"p.txt", "10", "05.10.20", "", "-rw-r--r--", false}},
        {"-rw-r--r-- 1 user group 10 fev 5 2020 p.txt",
         {"p.txt", "10", "05.02.20", "", "-rw-r--r--", false}},
        // A group name with a blank (and a name with blanks after it).
        {"-rw-r--r-- 1 owner Domain Users 1234 Jan 15 12:34 name with blanks.txt",
         {"name with blanks.txt", "1234", "15.01.23", "12:34", "-rw-r--r--", false}},
        {"drwxr-xr-x 1 1000 Domain Admins Group 0 Feb 2 2021 share",
         {"share", "0", "02.02.21", "", "drwxr-xr-x", true}},
        // Device files: major and minor in the size's place.
        {"crw-rw-rw- 1 root root 1, 3 Jan 15 12:34 null",
         {"null", "", "15.01.23", "12:34", "crw-rw-rw-", false}},
        {"brw-rw---- 1 root disk 8,0 Mar 1 2020 sda",
         {"sda", "", "01.03.20", "", "brw-rw----", false}},
        // A recognised link follows the link rule.
        {"lrwxrwxrwx 1 user group 7 Mär 3 2020 bin -> usr/bin",
         {"bin", "", "03.03.20", "", "lrwxrwxrwx", true}},
    };
    const TListingParser parser("0957681", kMidJune2023);
    const TListingParser empty("", kMidJune2023);
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(parser.ParseListingLine(row.line), row.expected);
        EXPECT_EQ(empty.ParseListingLine(row.line), row.expected);
    }
}

TEST(ListingRecognition, WhatTheDefaultLayoutReadsOrNoLayoutReadsStaysAsItWas) {
    const char* const lines[] = {
        "drwxr-xr-x   2 owner group 4096 Jan 15 12:34 my dir",
        "-rw-r--r-- 1 owner 1234 Mar 3 1999 a.txt",
        "-rw-r--r-- 1 owner 100 1234 Mar 3 1999 a.txt",
        "-rw-r--r-- 1 o g 10 Mar xx 1999 x.txt",
        "-rw-r--r-- 1 o g 10 Mar 123 1999 x.txt",
        "lrwxrwxrwx 1 o g 7 Jan 1 2000 libc.so -> libc.so.6",
        "-rw-r--r-- 1 o g 5 Feb 29 10:00 leap.txt",
        "-rw-r--r-- 1 owner group 1234 Mar",
        "total 1234567890123456",
        "-rw-r--r-- 1 o g 10 Foo 3 1999 x.txt",
        "13-45-23  12:34PM       <DIR>          not a date",
        "01-15-23  13:34PM       <DIR>          not a time",
        "this line is no listing line at all",
    };
    const TListingParser on("0957681", kMidJune2023);
    const TListingParser off("0957681", kMidJune2023, TListingFormat::Text, TRecognition::Off);
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        EXPECT_EQ(on.ParseListingLine(line), off.ParseListingLine(line));
    }
}

TEST(ListingRecognition, OtherHostTypesAreAppliedAsTheyStand) {
    const char* const lines[] = {
        "01-15-23  12:34PM       <DIR>          docs",
        "-rw-r--r-- 1 user group 10 Mär 3 1999 x.txt",
        "-rw-r--r-- 1 user group 1234 2023-01-15 12:34 report.pdf",
    };
    for (const char* answer : {"1", "2", "3", "4957681", "5", "6", "9"}) {
        const TListingParser on(answer, kMidJune2023);
        const TListingParser off(answer, kMidJune2023, TListingFormat::Text, TRecognition::Off);
        for (const char* line : lines) {
            SCOPED_TRACE(std::string(answer) + ": " + line);
            EXPECT_EQ(on.ParseListingLine(line), off.ParseListingLine(line));
        }
    }
}

TEST(ListingRecognition, MonthWords) {
    const struct {
        const char* word;
        int month;
    } rows[] = {{"Jan", 1},       {"SEPT", 9},
                {"sept.", 9},     {"June", 6},
                {"März", 3},      {"MÄR", 3},
                {"Mrz", 3},       {"Jänner", 1},
                {"juil.", 7},     {"Août", 8},
                {"déc.", 12},     {"sep", 9},
                {"setiembre", 9}, {"giu", 6},
                {"maart", 3},     {"outubro", 10},
                {"dezembro", 12}, {"", 0},
                {".", 0},         {"janx", 0},
                {"15", 0},        {"a-very-long-word-indeed", 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.word);
        EXPECT_EQ(RecognizedMonth(row.word), row.month);
    }
}

// Machine listings are read in UTC here, and in one other zone below.
class MachineListing : public ::testing::Test {
  protected:
    void SetUp() override { SetZone("UTC0"); }
    void TearDown() override {
        if (saved_.empty())
            ::unsetenv("TZ");
        else
            ::setenv("TZ", saved_.c_str(), 1);
        ::tzset();
    }
    void SetZone(const char* zone) {
        if (!savedOnce_) {
            if (const char* tz = std::getenv("TZ")) saved_ = tz;
            savedOnce_ = true;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }

  private:
    std::string saved_;
    bool savedOnce_ = false;
};

TEST_F(MachineListing, FactsBecomeEntries) {
    const TRow rows[] = {
        {"type=file;size=1234;modify=20230115123456;perm=adfrw;unix.mode=0644; a file.txt",
         {"a file.txt", "1234", "15.01.23", "12:34", "-rw-r--r--", false}},
        {"type=dir;sizd=4096;modify=20221231235959.5;perm=flcdmpe; docs",
         {"docs", "", "31.12.22", "23:59", "fcdmpel", true}},
        {"type=dir;perm=lecm; listable", {"listable", "", "", "", "ecml", true}},
        {"Type=File;Size=5;Modify=20230115123456;UNIX.mode=4755; UPPER",
         {"UPPER", "5", "15.01.23", "12:34", "-rwsr-xr-x", false}},
        {"type=file;size=3;unix.mode=0o640; pyftpdlib",
         {"pyftpdlib", "3", "", "", "-rw-r-----", false}},
        {"type=dir;unix.mode=1777; tmp", {"tmp", "", "", "", "drwxrwxrwt", true}},
        {"type=file;size=5000000000; big", {"big", "5000000000", "", "", "", false}},
        {"type=file;size=9; \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt",
         {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", "9", "", "", "", false}},
        {"type=file;size=9; name; with=facts;", {"name; with=facts;", "9", "", "", "", false}},
        // Links: "l" leads the attributes, a name without "." counts as a directory.
        {"type=OS.unix=symlink;size=7;modify=20230115123456; bin",
         {"bin", "", "15.01.23", "12:34", "l", true}},
        {"type=OS.unix=symlink;unix.mode=0777; www", {"www", "", "", "", "lrwxrwxrwx", true}},
        {"type=OS.unix=slink:/usr/lib/libx.so.1;size=7;perm=r; libx.so",
         {"libx.so", "7", "", "", "lr", false}},
        // Other types are files; facts that cannot be read leave their fields empty.
        {"type=OS.unix=chr-1/3;size=0; null", {"null", "0", "", "", "", false}},
        {"type=file;size=abc;modify=2023011512;unix.mode=0999; odd",
         {"odd", "", "", "", "", false}},
        {"type=file;size=-5;modify=20230230120000; feb30", {"feb30", "", "", "", "", false}},
        // No entries: the directory itself, its parent, lines without facts or name.
        {"type=cdir;modify=20230115123456; /home/user", {".", "", "", "", "", false}},
        {"type=pdir;modify=20230115123456; ..", {".", "", "", "", "", false}},
        {"type=dir; .", {".", "", "", "", "", false}},
        {"type=file;size=1;", {".", "", "", "", "", false}},
        {"type=file;size=1; ", {".", "", "", "", "", false}},
    };
    const TListingParser parser("0957681", kMidJune2023, TListingFormat::Machine);
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(parser.ParseListingLine(row.line), row.expected);
    }
}

TEST_F(MachineListing, ModifyIsShownInLocalTime) {
    SetZone("CET-1CEST,M3.5.0,M10.5.0/3");
    const TListingParser parser("0", kMidJune2023, TListingFormat::Machine);
    const struct {
        const char* line;
        const char* date;
        const char* time;
    } rows[] = {
        {"type=file;modify=20230115233000; winter", "16.01.23", "00:30"},
        {"type=file;modify=20230715120000; summer", "15.07.23", "14:00"},
        {"type=file;modify=20230715121500; same hour", "15.07.23", "14:15"},
        {"type=file;modify=20221231230000; new year", "01.01.23", "00:00"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        const TListingEntry entry = parser.ParseListingLine(row.line);
        EXPECT_EQ(entry.Date, row.date);
        EXPECT_EQ(entry.Time, row.time);
    }
}

TEST_F(MachineListing, EveryReaderTakesShortMachineLinesAndDropsTheDirectoryItself) {
    const std::string listing =
        "type=cdir; /pub\r\n"
        "type=pdir; ..\r\n"
        "type=dir; a\r\n"
        "type=file;size=1; b\r\n"
        "\r\n"
        "type=OS.unix=symlink; c\r\n";
    const TListingParser parser("5", kMidJune2023, TListingFormat::Machine);
    for (TListingConsumer consumer : {TListingConsumer::Panel, TListingConsumer::Tree}) {
        const std::vector<TListingEntry> entries = ParseListingText(listing, parser, consumer);
        ASSERT_EQ(entries.size(), 3u);
        EXPECT_EQ(entries[0].Name, "a");
        EXPECT_TRUE(entries[0].IsDir);
        EXPECT_EQ(entries[1].Name, "b");
        EXPECT_EQ(entries[1].Size, "1");
        EXPECT_EQ(entries[2].Name, "c");
        EXPECT_TRUE(IsSymbolicLink(entries[2]));
        EXPECT_TRUE(IsTreeWalkLeaf(entries[2]));
        EXPECT_FALSE(IsTreeWalkLeaf(entries[0]));
    }
}

TEST(FactTimes, MdtmAndModifyValues) {
    const struct {
        const char* text;
        bool ok;
        std::time_t utc;
    } rows[] = {
        {"19700101000000", true, 0},
        {"20230115123456", true, 1673786096},
        {"20230115123456.789", true, 1673786096},
        {"20000229000000", true, 951782400},
        {"20010229000000", false, 0},
        {"2023011512345", false, 0},
        {"20230115123456x", false, 0},
        {"20231315123456", false, 0},
        {"20230115246000", false, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::time_t utc = 0;
        EXPECT_EQ(ParseFactTime(row.text, utc), row.ok);
        if (row.ok) {
            EXPECT_EQ(utc, row.utc);
        }
    }
}

}  // namespace
}  // namespace tarnwick

// Pane order by every column and the file-mask rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "listing/MaskMatch.h"
#include "listing/PaneSort.h"

namespace tarnwick {
namespace {

std::vector<std::string> SortedNames(std::vector<TPaneRow> rows, int key) {
    ResortRows(rows, key);
    std::vector<std::string> names;
    for (const TPaneRow& row : rows) names.push_back(row.Name);
    return names;
}

TPaneRow File(std::string name, std::string size = "", std::string date = "", std::string time = "",
              std::string attr = "") {
    return TPaneRow{kPictureFile,    std::move(name), std::move(size),
                    std::move(date), std::move(time), std::move(attr)};
}

TPaneRow Dir(std::string name, std::string size = "", std::string date = "") {
    return TPaneRow{kPictureDirectory, std::move(name), std::move(size), std::move(date), "", ""};
}

TEST(PaneSort, OrdersByEveryColumnWithDirectoriesFirst) {
    const std::vector<TPaneRow> rows = {
        File("small", "10", "28.02.02", "09:00", "-rw-------"),
        Dir("zdir", "4096", "01.01.99"),
        File("Big", "5000000000", "05.03.01", "23:00", "-rw-r--r--"),
        Dir("adir", "512", "02.01.99"),
        File("mid", "300x", "05.03.01", "10:00", "-rwxr-xr-x"),
        TPaneRow{kPictureServer, "a server", "", "", "", ""},
    };
    const struct {
        int key;
        std::vector<std::string> names;
    } cases[] = {
        {0, {"adir", "zdir", "Big", "mid", "small", "a server"}},
        {1, {"adir", "zdir", "Big", "mid", "small", "a server"}},
        {-1, {"zdir", "adir", "small", "mid", "Big", "a server"}},
        {2, {"zdir", "adir", "Big", "mid", "small", "a server"}},
        {-2, {"zdir", "adir", "small", "mid", "Big", "a server"}},
        {3, {"zdir", "adir", "Big", "mid", "small", "a server"}},
        {-3, {"adir", "zdir", "small", "Big", "mid", "a server"}},
        {4, {"zdir", "adir", "small", "mid", "Big", "a server"}},
        {5, {"zdir", "adir", "small", "Big", "mid", "a server"}},
        {-5, {"zdir", "adir", "mid", "Big", "small", "a server"}},
        {9, {"adir", "zdir", "Big", "mid", "small", "a server"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SortedNames(rows, c.key), c.names) << "key " << c.key;
}

TEST(PaneSort, NamesIgnoreAsciiCaseAndLocalDatesSortByYear) {
    const std::vector<TPaneRow> names = {File("b"), File("A"), File("c"), File("ab")};
    EXPECT_EQ(SortedNames(names, 1), (std::vector<std::string>{"A", "ab", "b", "c"}));
    EXPECT_EQ(SortedNames(names, -1), (std::vector<std::string>{"c", "b", "ab", "A"}));
    const std::vector<TPaneRow> local = {File("new", "", "01/01/2024"),
                                         File("old", "", "31/12/1999"), File("none", "", "")};
    EXPECT_EQ(SortedNames(local, 3), (std::vector<std::string>{"none", "old", "new"}));
    EXPECT_EQ(CompareTextUpper("\xC3\xA6", "\xC3\x86"), 1);  // only ASCII letters fold
}

TEST(PaneSort, ResortEmptiesDirectorySizes) {
    std::vector<TPaneRow> rows = {Dir("d", "4096"), File("f", "12")};
    ResortRows(rows, 1);
    EXPECT_EQ(rows[0].Size, "");
    EXPECT_EQ(rows[1].Size, "12");
}

TEST(PaneSort, ColumnClicksFlipTheSameColumn) {
    const struct {
        int key, tag, next;
    } cases[] = {{0, 2, 2}, {2, 2, -2}, {-2, 2, 2}, {0, 1, 1}, {1, 1, -1}, {-3, 1, 1}, {5, 3, 3}};
    for (const auto& c : cases) EXPECT_EQ(ColumnClickKey(c.key, c.tag), c.next);
}

// The re-sort works out each row's key once; its order must be the comparison's own, ties
// kept in place, for every key and for texts that share long prefixes, differ only in case
// or in bytes above 0x7F, or hold what is not a number.
TEST(PaneSort, ResortKeepsTheComparisonsOrderForEveryKey) {
    std::mt19937 random(5);
    const char* pieces[] = {"a",    "A",        "ab", "AB",       "abcdefgh",  "ABCDEFGHij",
                            "\xE9", "\xC3\xA9", "z",  "",         "9",         "10",
                            "07",   "-3",       "x1", "05.03.01", "28/02/2024"};
    auto pick = [&] { return std::string(pieces[random() % std::size(pieces)]); };
    std::vector<TPaneRow> rows;
    for (int i = 0; i < 400; ++i) {
        rows.push_back(TPaneRow{static_cast<int>(random() % 3), pick() + pick(), pick() + pick(),
                                pick() + pick(), pick(), pick()});
        rows.back().Attr += std::to_string(i % 7);
    }
    for (int key = -6; key <= 6; ++key) {
        std::vector<TPaneRow> expected = rows;
        for (TPaneRow& r : expected)
            if (r.Picture == kPictureDirectory) r.Size.clear();
        std::stable_sort(
            expected.begin(), expected.end(),
            [key](const TPaneRow& a, const TPaneRow& b) { return FTPViewCompare(a, b, key) < 0; });
        std::vector<TPaneRow> got = rows;
        ResortRows(got, key);
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].Name, expected[i].Name) << "key " << key << " row " << i;
            EXPECT_EQ(got[i].Attr, expected[i].Attr) << "key " << key << " row " << i;
        }
    }
}

TEST(MaskMatch, MasksCompareDotSeparatedParts) {
    const struct {
        const char* name;
        const char* mask;
        bool matches;
    } cases[] = {
        {"readme.txt", "*.txt", true},  {"readme", "*.txt", false},     {"anything", "*", true},
        {"a.b.c", "*.*", true},         {"a.b.c", "*.*.*", true},       {"a.b.c", "*.c", false},
        {"README.TXT", "*.txt", false}, {"data.tar.gz", "*.gz", false}, {"x.txt", "?.txt", true},
        {"xy.txt", "?.txt", false},     {".bashrc", "*.bashrc", true},  {"", "", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchesMask(c.name, c.mask), c.matches) << c.name << " ~ " << c.mask;
    }
}

TEST(MaskMatch, WildcardsMatchWithoutBacktracking) {
    const struct {
        const char* pattern;
        const char* text;
        bool matches;
    } cases[] = {
        {"a?c", "abc", true}, {"*c", "c", false},    {"*b", "abb", false}, {"a?xyz", "ab", true},
        {"*", "", true},      {"", "", true},        {"", "a", false},     {"a", "", false},
        {"abc", "abc", true}, {"abc", "abd", false}, {"abc", "ab", false}, {"*c", "abc", true},
        {"a*", "abc", true},  {"a**", "a", false},   {"*??", "ab", true},  {"*??", "abcd", true},
        {"*?c", "abc", true}, {"*x*", "axbx", true}, {"*.", "ab.", true},  {"?", "", false},
        {"A", "a", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchesWildcard(c.pattern, c.text), c.matches) << c.pattern << " ~ " << c.text;
    }
}

}  // namespace
}  // namespace tarnwick

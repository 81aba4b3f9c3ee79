#include "settings/CommaText.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using Items = std::vector<std::string>;

struct WriteCase {
    Items items;
    std::string text;
};

TEST(CommaText, WritesQuotesOnlyWhereNeeded) {
    const WriteCase cases[] = {
        {{}, ""},
        {{""}, "\"\""},
        {{"txt", "htm"}, "txt,htm"},
        {{"SITE QUOTA", "SITE WHO"}, "\"SITE QUOTA\",\"SITE WHO\""},
        {{"a,b"}, "\"a,b\""},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
        {{"tab\there"}, "\"tab\there\""},
        {{"a", "", "b"}, "a,,b"},
        {{"a", ""}, "a,\"\""},
        {{"\xC3\xA9t\xC3\xA9"}, "\xC3\xA9t\xC3\xA9"},
    };
    for (const WriteCase& c : cases) EXPECT_EQ(ToCommaText(c.items), c.text) << c.text;
}

struct ReadCase {
    std::string text;
    Items items;
};

TEST(CommaText, ReadsBlanksCommasAndQuotes) {
    const ReadCase cases[] = {
        {"", {}},
        {"   ", {}},
        {"a b", {"a", "b"}},
        {"  a , b  ", {"a", "b"}},
        {"a,,b", {"a", "", "b"}},
        {"a,", {"a"}},
        {",", {""}},
        {",a", {"", "a"}},
        {"\"a\"\"b\"", {"a\"b"}},
        {"\"a b\",c", {"a b", "c"}},
        {"\"unclosed", {"unclosed"}},
        {"\"x\"y", {"x", "y"}},
        {std::string("a\0b", 3), {"a", "b"}},
        {"NOOP,\"SITE WHO\"", {"NOOP", "SITE WHO"}},
    };
    for (const ReadCase& c : cases) EXPECT_EQ(FromCommaText(c.text), c.items) << c.text;
}

TEST(CommaText, EveryListReadsBackUnchanged) {
    const Items lists[] = {
        {""}, {"", ""}, {"a", ""}, {"", "a"}, {"a b", "", "c,d", "\"q\""}, {"\x01\x7f\xff"},
    };
    for (const Items& list : lists) EXPECT_EQ(FromCommaText(ToCommaText(list)), list);
}

}  // namespace
}  // namespace tarnwick

// Reply lines: cutting the control stream, final-line recognition, where a reply ends,
// numbers and quoted texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ftp/ReplyReader.h"

namespace tarnwick::ftp {
namespace {

std::vector<std::string> Cut(const std::string& bytes, bool acceptLF, std::string* rest = nullptr) {
    ReplyReader reader;
    std::memcpy(reader.WritePtr(), bytes.data(), bytes.size());
    reader.Commit(bytes.size());
    std::vector<std::string> lines;
    std::string line;
    while (reader.NextLine(acceptLF, line)) lines.push_back(line);
    if (rest != nullptr) rest->assign(reader.WritePtr() - reader.Held(), reader.Held());
    return lines;
}

TEST(ReplyReader, CutsLinesByTheEndingInForce) {
    struct Case {
        std::string bytes;
        bool acceptLF;
        std::vector<std::string> lines;
        std::string rest;
    };
    const Case cases[] = {
        {"220 Ready\r\n", true, {"220 Ready"}, ""},
        {"220 Ready\n", true, {"220 Ready"}, ""},
        {"220 Ready\r\r\n", true, {"220 Ready"}, ""},
        {"220 Ready\r\r\n", false, {"220 Ready"}, ""},
        {"220 Ready\n", false, {}, "220 Ready\n"},
        {"220-a\n220 b\r\n", false, {"220-a\n220 b"}, ""},
        {"250 one\r\n257 two\r\n", true, {"250 one", "257 two"}, ""},
        {"230-Hello\r\n230 Do", true, {"230-Hello"}, "230 Do"},
        {"\r\n\n", true, {"", ""}, ""},
        {std::string("2\0 x\n", 5), true, {std::string("2\0 x", 4)}, ""},
    };
    for (const auto& c : cases) {
        std::string rest;
        EXPECT_EQ(Cut(c.bytes, c.acceptLF, &rest), c.lines) << c.bytes;
        EXPECT_EQ(rest, c.rest) << c.bytes;
    }
}

TEST(ReplyReader, HoldsAtMost4095Bytes) {
    ReplyReader reader;
    EXPECT_EQ(reader.Room(), 4095u);
    std::memset(reader.WritePtr(), 'x', 4095);
    reader.Commit(4095);
    std::string line;
    EXPECT_FALSE(reader.NextLine(true, line));
    EXPECT_EQ(reader.Room(), 0u);
}

TEST(ReplyReader, FinalLines) {
    struct Case {
        const char* line;
        bool final;
    };
    const Case cases[] = {
        {"220 Ready", true},    {"220-Welcome", false}, {"220", true},  {"", false},
        {" 220 x", false},      {"abc", false},         {"2-x", false}, {"21x", true},
        {"226 Done-ish", true}, {"-220 x", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsFinalReplyLine(c.line), c.final) << c.line;
}

TEST(ReplyFramer, AMultiLineReplyEndsOnlyAtItsOwnCodeAndABlank) {
    using V = ReplyFramer::Verdict;
    const std::vector<std::vector<std::pair<std::string, V>>> dialogues = {
        {{"200 ok", V::Final}},
        {{"220-Rules:", V::Body},
         {"1. no abuse", V::Body},
         {"220-still", V::Body},
         {"2200 not yet", V::Body},
         {"530 not ours", V::Body},
         {"220\tnor this", V::Body},
         {"220 ready", V::Final},
         {"1. outside a multi-line reply", V::Final}},
        {{"250-a", V::Body}, {"250", V::Final}},
        {{"25-two digits open nothing", V::Body}, {"331 next", V::Final}},
    };
    for (const auto& dialogue : dialogues) {
        ReplyFramer framer;
        for (const auto& [line, verdict] : dialogue)
            EXPECT_EQ(framer.Take(line, line.size() + 2), verdict) << line;
    }
}

TEST(ReplyFramer, RepliesAreBoundedInLinesAndBytes) {
    using V = ReplyFramer::Verdict;
    ReplyFramer lines;
    for (size_t i = 1; i < ReplyFramer::kMaxReplyLines; ++i)
        ASSERT_EQ(lines.Take("220-x", 7), V::Body);
    EXPECT_EQ(lines.Take("220 last", 10), V::Final);  // 10000 lines in all
    for (size_t i = 1; i <= ReplyFramer::kMaxReplyLines; ++i)
        ASSERT_EQ(lines.Take("220-x", 7), V::Body);
    EXPECT_EQ(lines.Take("220 late", 10), V::TooManyLines);

    ReplyFramer bytes;
    EXPECT_EQ(bytes.Take("220-big", ReplyFramer::kMaxReplyBytes - 10), V::Body);
    EXPECT_EQ(bytes.Take("220 end", 10), V::Final);  // exactly 1 MiB
    EXPECT_EQ(bytes.Take("220-big", ReplyFramer::kMaxReplyBytes), V::Body);
    EXPECT_EQ(bytes.Take("220-more", 1), V::TooManyBytes);
}

TEST(ReplyReader, ParseNumber) {
    struct Case {
        const char* text;
        int64_t value;
        size_t pos;
    };
    const Case cases[] = {
        {"213 1234", 213, 3}, {"  \t42x", 42, 5},
        {"-17", -17, 3},      {"+8", 8, 2},
        {"", 0, 0},           {"x1", 0, 0},
        {"\r\n7", 7, 3},      {"99999999999999999999999", INT64_MAX, 23},
    };
    for (const auto& c : cases) {
        size_t pos = 0;
        EXPECT_EQ(ParseNumber(c.text, pos), c.value) << c.text;
        EXPECT_EQ(pos, c.pos) << c.text;
    }
    size_t pos = 0;
    const std::string reply = "213 5000000000";
    ParseNumber(reply, pos);
    EXPECT_EQ(ParseNumber(reply, pos), 5000000000LL);
}

TEST(ReplyReader, ParseQuoted) {
    struct Case {
        const char* text;
        size_t pos;
        const char* result;
    };
    const Case cases[] = {
        {"257 \"/pub\" created", 3, "/pub"},
        {"257 \"/a \"\"b\"\" c\" is current", 3, "/a \"b\" c"},
        {"257 \"/open-ended", 3, "/open-ended"},
        {"250 CWD ok \"/x\"", 3, ""},
        {"\"\"", 0, ""},
        {"", 0, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseQuoted(c.text, c.pos), c.result) << c.text;
}

}  // namespace
}  // namespace tarnwick::ftp

#include <gtest/gtest.h>

#include "TempFolder.h"
#include "settings/Commands.h"
#include "settings/HostTypes.h"

namespace tarnwick {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
using namespace std::string_literals;

struct HostTypesCase {
    std::string file;
    THostTypes expected;
};

TEST(HostTypes, LoadKeepsEntryZeroBuiltIn) {
    const HostTypesCase cases[] = {
        {"", {{"Default"}, {"0957681"}}},
        {"\"Default\",0957681\r\n", {{"Default"}, {"0957681"}}},
        {"\"Mine\",4123456\r\n\"Other\",4111111\r\n", {{"Mine", "Other"}, {"0957681", "4111111"}}},
        {"\"Default\",0957681\r\n\r\n   \r\n\"Only name\"\r\n\"a,b c\",4000001",
         {{"Default", "Only name", "a,b c"}, {"0957681", "0957681", "4000001"}}},
        {"\"Default\",0957681\n\"x\",4\0\0\n"s, {{"Default", "x"}, {"0957681", "4"}}},
    };
    for (const HostTypesCase& c : cases) {
        SCOPED_TRACE(c.file);
        TempFolder folder;
        if (!c.file.empty()) WriteBytes(folder.file("Answer.txt"), c.file);
        EXPECT_EQ(LoadHostTypes(folder.path()), c.expected);
    }
}

TEST(HostTypes, NamesReadBackUnchanged) {
    THostTypes types{{"Default", "with,comma", "with blank", "say \"x\"", "\xC3\xA9"},
                     {"0957681", "4123456", "4000000", "4111111", "4222222"}};
    TempFolder folder;
    ASSERT_TRUE(SaveHostTypes(folder.path(), types));
    const std::string head = "\"Default\",0957681\r\n\"with,comma\",4123456\r\n";
    EXPECT_EQ(ReadBytes(folder.file("Answer.txt")).substr(0, head.size()), head);
    EXPECT_EQ(LoadHostTypes(folder.path()), types);
}

TEST(Commands, ExampleFileAndRoundTrip) {
    TCommandList commands{{"Quota", "Who"}, {"SITE QUOTA", "SITE WHO"}};
    TempFolder folder;
    ASSERT_TRUE(SaveCommands(folder.path(), commands));
    EXPECT_EQ(ReadBytes(folder.file("commands.txt")),
              "Quota,Who\r\n\"SITE QUOTA\",\"SITE WHO\"\r\n");
    EXPECT_EQ(LoadCommands(folder.path()), commands);
}

TEST(Commands, EmptyLastEntriesKeepListsEqual) {
    const TCommandList lists[] = {
        {{}, {}},
        {{""}, {""}},
        {{"a", ""}, {"NOOP", ""}},
        {{"", "b"}, {"", ""}},
    };
    for (const TCommandList& list : lists) {
        TempFolder folder;
        ASSERT_TRUE(SaveCommands(folder.path(), list));
        EXPECT_EQ(LoadCommands(folder.path()), list) << ReadBytes(folder.file("commands.txt"));
    }
}

struct CommandsFileCase {
    std::string file;
    TCommandList expected;
};

TEST(Commands, OddFiles) {
    const CommandsFileCase cases[] = {
        {"Quota,Who\r\n", {}},
        {"Quota,Who\r\nSITE,", {{"Quota", "Who"}, {"SITE", ""}}},
        {"a,b,\r\n\"x y\"\r\nthird line ignored\r\n", {{"a", "b"}, {"x y", ""}}},
        {"a\rb", {{"a"}, {"b"}}},
        {"a\0b\nc"s, {{"a", "b"}, {"c", ""}}},
    };
    for (const CommandsFileCase& c : cases) {
        TempFolder folder;
        WriteBytes(folder.file("commands.txt"), c.file);
        EXPECT_EQ(LoadCommands(folder.path()), c.expected) << c.file;
    }
}

}  // namespace
}  // namespace tarnwick

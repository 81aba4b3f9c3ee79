// The log memo over a long session: it stays bounded and keeps the newest lines while the
// log file keeps every one; its commands copy, clear and save what it holds.
#include <gtest/gtest.h>

#include <filesystem>

#include "session/LogCommands.h"
#include "settings/TextFile.h"
#include "tests/session/MainTestKit.h"

namespace tarnwick::session {
namespace {

class LogBoundTest : public testkit::MainFixture {
  protected:
    void SetUp() override {
        TFTPOptions o = DefaultOptions();
        o.Log = true;
        o.LogFile = settings.file("session.log");
        SaveOptionsFile(o);
        Create();
        Core().Log.Clear();
    }
    std::string LogFileText() {
        std::string text;
        EXPECT_EQ(ReadTextFile(settings.file("session.log"), text), ReadStatus::kOk);
        return text;
    }
};

TEST_F(LogBoundTest, ALongSessionStaysBoundedAndKeepsTheNewestLines) {
    constexpr size_t kLines = kMaxLogLines * 5 / 2;
    for (size_t i = 0; i < kLines; ++i)
        main->Ftp1Display((i % 2 == 0 ? "> NOOP " : "< 200 fine ") + std::to_string(i));
    const TLogModel& log = Core().Log;
    ASSERT_EQ(log.Count(), kMaxLogLines);
    EXPECT_EQ(log.Line(0).Text, "> NOOP " + std::to_string(kLines - kMaxLogLines));
    EXPECT_EQ(log.Line(kMaxLogLines - 1).Text, "< 200 fine " + std::to_string(kLines - 1));
    EXPECT_EQ(log.Line(kMaxLogLines - 1).Kind, TLogKind::Reply);

    // The log file has every line, the dropped ones too.
    main->FormDestroy();
    const std::vector<std::string> file = SplitLines(LogFileText());
    ASSERT_GE(file.size(), kLines);
    EXPECT_EQ(file[file.size() - kLines], "> NOOP 0");
    EXPECT_EQ(file.back(), "< 200 fine " + std::to_string(kLines - 1));
}

TEST_F(LogBoundTest, CopyClearAndSave) {
    TLogCommands commands(Core());
    for (const char* l : {"Connecting to h", "> USER u", "> PASS ****", "< 230 in", "Error x"})
        Core().WriteLog(l);
    const std::string all = "Connecting to h\n> USER u\n> PASS ****\n< 230 in\nError x\n";
    EXPECT_EQ(commands.CopyText({}), all);
    EXPECT_EQ(commands.CopyText({3, 1, 99}), "< 230 in\n> USER u\n");
    Core().WriteLog("< 550 caf\xe9\x01");  // shown in Windows-1252, the control visible
    EXPECT_EQ(commands.CopyText({5}), "< 550 caf\xc3\xa9\xe2\x90\x81\n");
    Core().Log.Clear();
    for (const char* l : {"Connecting to h", "> USER u", "> PASS ****", "< 230 in", "Error x"})
        Core().WriteLog(l);

    struct Case {
        std::optional<std::string> answer;
        bool saved;
        const char* errorLine;  // the start of the line logged, or nullptr
    };
    const std::string target = settings.file("saved log.txt");
    const Case cases[] = {
        {std::nullopt, false, nullptr},  // cancelled
        {target, true, nullptr},
        {settings.file("no-such-folder/log.txt"), false, "Error Could not save the log to "},
    };
    for (const Case& c : cases) {
        dialogs.saveFileAnswers.push_back(c.answer);
        const size_t before = Core().Log.Count();
        EXPECT_EQ(commands.SaveClick(), c.saved);
        EXPECT_EQ(dialogs.saveFilesAsked.back(), Core().Local.Directory() + "/tarnwick-log.txt");
        if (c.errorLine) {
            ASSERT_EQ(Core().Log.Count(), before + 1);
            EXPECT_TRUE(Core().Log.Line(before).Text.starts_with(c.errorLine));
            EXPECT_EQ(Core().Log.Line(before).Kind, TLogKind::Error);
        } else {
            EXPECT_EQ(Core().Log.Count(), before);
        }
    }
    std::string text;
    ASSERT_EQ(ReadTextFile(target, text), ReadStatus::kOk);
    EXPECT_EQ(text, all);
    EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::none);

    // Clear empties the memo; the log file goes on with every line.
    commands.ClearClick();
    EXPECT_EQ(Core().Log.Count(), 0u);
    Core().WriteLog("after");
    main->FormDestroy();
    const std::string file = LogFileText();
    EXPECT_NE(file.find("< 230 in"), std::string::npos);
    EXPECT_NE(file.find("after"), std::string::npos);
}

}  // namespace
}  // namespace tarnwick::session

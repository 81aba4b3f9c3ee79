// The local pane through the window's logic, headless, on folders the tests make: the list and
// its mask, navigation and the boxes, make directory, rename, delete with its question, change
// case, view and run; and what both panes share: status lines, filters, selection tools,
// sorting, fonts and view styles.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "listing/RemoteListing.h"
#include "session/LocalCommands.h"
#include "tests/session/MainTestKit.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::session {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
using testkit::MainFixture;
using testkit::PumpUntil;

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class LocalPaneTest : public MainFixture {
  protected:
    void SetUp() override {
        Create();
        ASSERT_TRUE(Core().Local.SetDirectory(disk.path()));
    }
    std::string At(const std::string& name) const { return disk.file(name); }
    void MakeFolder(const std::string& name) { ASSERT_EQ(::mkdir(At(name).c_str(), 0755), 0); }
    void Refill() { Core().Local.dlbxChange(); }
    void SelectLocal(const std::vector<std::string>& names) {
        std::vector<size_t> rows;
        for (const std::string& n : names) {
            const int row = Core().lvLoc.FindCaption(n);
            ASSERT_GE(row, 0) << n;
            rows.push_back(static_cast<size_t>(row));
        }
        main->lvLocSelectItems(rows);
    }
    std::vector<std::string> SelectedCaptions(const TPaneModel& pane) const {
        std::vector<std::string> out;
        for (size_t i : pane.SelectedRows()) out.push_back(pane.Row(i).Name);
        return out;
    }
    // A remote listing in the cache, as if the server had just sent it.
    void ShowRemote(const std::string& listing) {
        Core().State.ServerMode = false;
        FillRemoteListing(listing, Core().Parser(), Core().State.RemoteListing);
        Core().ShowRemoteListing();
    }
    TLocalCommands& Commands() { return main->LocalCommands(); }
    TPaneTools& Tools() { return main->PaneTools(); }

    TempFolder disk;
};

TEST_F(LocalPaneTest, TheListShowsTheFolderThroughTheMaskDirectoriesToo) {
    MakeFolder("docs");
    MakeFolder("notes.txt");
    WriteBytes(At("a.txt"), "12345");
    WriteBytes(At("b.log"), "");
    // Sizes of 64 bits: a sparse file of 5 GiB.
    {
        WriteBytes(At("huge.txt"), "");
        ASSERT_EQ(::truncate(At("huge.txt").c_str(), 5LL << 30), 0);
    }
    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 1;
    when.tm_mday = 29;
    when.tm_hour = 7;
    when.tm_min = 5;
    when.tm_isdst = -1;
    const timespec times[2] = {{std::mktime(&when), 0}, {std::mktime(&when), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, At("a.txt").c_str(), times, 0), 0);
    Refill();
    EXPECT_EQ(Captions(Core().lvLoc),
              (std::vector<std::string>{"docs", "notes.txt", "a.txt", "b.log", "huge.txt"}));
    const TPaneRow& a = Core().lvLoc.Row(static_cast<size_t>(Core().lvLoc.FindCaption("a.txt")));
    EXPECT_EQ(a.Size, "5");
    EXPECT_EQ(a.Date, "29/02/2024");
    EXPECT_EQ(a.Time, "07:05");
    EXPECT_EQ(Core().lvLoc.Row(4).Size, "5368709120");
    EXPECT_EQ(Core().lvLoc.Row(0).Size, "");
    EXPECT_EQ(Core().lvLoc.Row(0).Picture, kPictureDirectory);

    dialogs.inputAnswers.push_back("*.txt");
    Tools().Filter1Click();
    ASSERT_EQ(dialogs.inputsAsked.size(), 1u);
    EXPECT_EQ(dialogs.inputsAsked[0].Caption, "Local Filter");
    EXPECT_EQ(dialogs.inputsAsked[0].Prompt, "Mask");
    EXPECT_EQ(dialogs.inputsAsked[0].Value, "*.*");
    EXPECT_EQ(Core().State.LocalMask, "*.txt");
    EXPECT_EQ(Captions(Core().lvLoc), (std::vector<std::string>{"notes.txt", "a.txt", "huge.txt"}));
    Tools().Filter1Click();  // cancelled: nothing changes
    EXPECT_EQ(Core().State.LocalMask, "*.txt");
}

TEST_F(LocalPaneTest, NavigationMovesTheDirectoryAndDriveBoxes) {
    MakeFolder("inner");
    MakeFolder("inner/deeper");
    Refill();
    SelectLocal({"inner"});
    Core().Local.lvLocDblClick();
    EXPECT_EQ(Core().Local.Directory(), At("inner"));
    EXPECT_EQ(Captions(Core().lvLoc), std::vector<std::string>{"deeper"});
    const std::vector<std::string>& items = Core().Local.DirectoryItems();
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(items.back(), "inner");
    EXPECT_EQ(Core().Local.DirectoryIndex(), static_cast<int>(items.size()) - 1);
    EXPECT_EQ(Core().Local.DriveItems().front(), "/");

    Core().Local.SpeedButton4Click();
    EXPECT_EQ(Core().Local.Directory(), disk.path());
    Core().Local.dlbxClick(0);
    EXPECT_EQ(Core().Local.Directory(), "/");
    Core().Local.SpeedButton4Click();  // nothing above the root
    EXPECT_EQ(Core().Local.Directory(), "/");
    EXPECT_FALSE(Core().Local.SetDirectory(At("missing")));
    EXPECT_EQ(Core().Local.Directory(), "/");
    Core().Local.DriveComboChange(0);
    EXPECT_EQ(Core().Local.Directory(), "/");
    EXPECT_EQ(Core().Local.DriveIndex(), 0);
}

TEST_F(LocalPaneTest, DeleteAsksThenRemovesFilesThenTheSubfolderThenTheFolder) {
    MakeFolder("victim");
    MakeFolder("victim/sub");
    WriteBytes(At("victim/sub/one"), "1");
    WriteBytes(At("victim/sub/two"), "2");
    TempFolder outside;
    WriteBytes(outside.file("keep.txt"), "keep");
    MakeFolder("linked");
    ASSERT_EQ(::symlink(outside.path().c_str(), At("linked/link").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), At("outlink").c_str()), 0);
    Refill();

    SelectLocal({"victim"});
    Commands().sbDel1Click();  // the scripted answer is No
    ASSERT_EQ(dialogs.messagesAsked.size(), 1u);
    EXPECT_EQ(dialogs.messagesAsked[0].Caption, "Attention");
    EXPECT_EQ(dialogs.messagesAsked[0].Text, "Do you wish to remove 2 file(s) and 2 folder(es)");
    EXPECT_EQ(dialogs.messagesAsked[0].Buttons, TMsgButtons::YesNo);
    EXPECT_EQ(dialogs.messagesAsked[0].Icon, TMsgIcon::Question);
    EXPECT_TRUE(Exists(At("victim/sub/one")));
    EXPECT_TRUE(Exists(At("victim/sub/two")));

    SelectLocal({"victim"});
    dialogs.messageAnswers.push_back(TMsgResult::Yes);
    Commands().sbDel1Click();
    EXPECT_FALSE(Exists(At("victim")));
    EXPECT_EQ(dialogs.messagesAsked.size(), 2u);  // no failure reported

    // A link inside a deleted folder goes as a file, and what it leads to stays.
    SelectLocal({"linked"});
    dialogs.messageAnswers.push_back(TMsgResult::Yes);
    Commands().sbDel1Click();
    EXPECT_EQ(dialogs.messagesAsked.back().Text,
              "Do you wish to remove 1 file(s) and 1 folder(es)");
    EXPECT_FALSE(Exists(At("linked")));
    EXPECT_EQ(ReadBytes(outside.file("keep.txt")), "keep");

    // A link to a folder is shown as a folder, and deleted as the link it is.
    const int link = Core().lvLoc.FindCaption("outlink");
    ASSERT_GE(link, 0);
    EXPECT_EQ(Core().lvLoc.Row(static_cast<size_t>(link)).Picture, kPictureDirectory);
    SelectLocal({"outlink"});
    dialogs.messageAnswers.push_back(TMsgResult::Yes);
    Commands().sbDel1Click();
    EXPECT_EQ(dialogs.messagesAsked.back().Text, "Do you wish to remove 1 file(s)");
    EXPECT_FALSE(Exists(At("outlink")));
    EXPECT_EQ(ReadBytes(outside.file("keep.txt")), "keep");
    EXPECT_TRUE(Captions(Core().lvLoc).empty());
}

TEST_F(LocalPaneTest, DeleteWithNothingSelectedRemovesTheCurrentFolderFromItsParent) {
    MakeFolder("here");
    WriteBytes(At("here/file"), "x");
    ASSERT_TRUE(Core().Local.SetDirectory(At("here")));
    Commands().sbDel1Click();  // No
    EXPECT_EQ(dialogs.messagesAsked.back().Text,
              "Do you wish to remove 1 file(s) and 1 folder(es)");
    EXPECT_EQ(Core().Local.Directory(), disk.path());
    EXPECT_TRUE(Exists(At("here/file")));
    ASSERT_TRUE(Core().Local.SetDirectory(At("here")));
    dialogs.messageAnswers.push_back(TMsgResult::Yes);
    Commands().sbDel1Click();
    EXPECT_FALSE(Exists(At("here")));
    EXPECT_EQ(Core().Local.Directory(), disk.path());
    // At the root there is no folder to take.
    ASSERT_TRUE(Core().Local.SetDirectory("/"));
    const size_t asked = dialogs.messagesAsked.size();
    Commands().sbDel1Click();
    EXPECT_EQ(dialogs.messagesAsked.size(), asked);
}

TEST_F(LocalPaneTest, MakeDirectoryAndRenameReportFailuresAndReplaceNothing) {
    dialogs.inputAnswers.push_back("fresh");
    Commands().sbMkd1Click();
    EXPECT_EQ(dialogs.inputsAsked.back().Caption, "Create Directory");
    EXPECT_EQ(dialogs.inputsAsked.back().Prompt, "Enter new directory name:");
    EXPECT_EQ(dialogs.inputsAsked.back().MaxLength, 255u);
    EXPECT_EQ(Core().Local.Directory(), At("fresh"));
    Core().Local.SpeedButton4Click();
    dialogs.inputAnswers.push_back("fresh");
    Commands().sbMkd1Click();
    ASSERT_EQ(dialogs.messagesAsked.size(), 1u);
    EXPECT_EQ(dialogs.messagesAsked[0].Text.rfind("I/O error " + std::to_string(EEXIST) + "\n", 0),
              0u)
        << dialogs.messagesAsked[0].Text;
    EXPECT_EQ(Core().Local.Directory(), disk.path());

    WriteBytes(At("a.txt"), "A");
    WriteBytes(At("b.txt"), "B");
    Refill();
    SelectLocal({"a.txt"});
    dialogs.inputAnswers.push_back("some/folder/c.txt");  // only the name counts
    Commands().sbRen1Click();
    EXPECT_EQ(dialogs.inputsAsked.back().Caption, "Rename");
    EXPECT_EQ(dialogs.inputsAsked.back().Prompt, "Enter new name:");
    EXPECT_EQ(dialogs.inputsAsked.back().Value, "a.txt");
    EXPECT_EQ(ReadBytes(At("c.txt")), "A");
    SelectLocal({"c.txt"});
    dialogs.inputAnswers.push_back("b.txt");
    Commands().sbRen1Click();
    EXPECT_EQ(dialogs.messagesAsked.size(), 2u);
    EXPECT_EQ(ReadBytes(At("b.txt")), "B");
    EXPECT_EQ(ReadBytes(At("c.txt")), "A");
}

TEST_F(LocalPaneTest, ChangeCaseRenamesTheSelectionAndKeepsWhatCouldNotBeRenamed) {
    WriteBytes(At("Mixed.TXT"), "m");
    WriteBytes(At("ABC"), "upper");
    WriteBytes(At("abc"), "lower");
    Refill();
    struct Case {
        int tag;
        const char* result;
    };
    const Case cases[] = {{0, "MIXED.TXT"}, {1, "mixed.txt"}, {2, "Mixed.txt"}};
    for (const Case& c : cases) {
        std::vector<size_t> rows;
        for (size_t i = 0; i < Core().lvLoc.RowCount(); ++i)
            if (ChangeNameCase(Core().lvLoc.Row(i).Name, TNameCase::Lower) == "mixed.txt")
                rows.push_back(i);
        main->lvLocSelectItems(rows);
        Commands().LargeCase1Click(c.tag);
        EXPECT_GE(Core().lvLoc.FindCaption(c.result), 0) << c.result;
        EXPECT_EQ(ReadBytes(At(c.result)), "m") << c.result;
    }
    SelectLocal({"ABC"});
    Commands().LargeCase1Click(1);  // "abc" is there already
    EXPECT_GE(Core().lvLoc.FindCaption("ABC"), 0);
    EXPECT_EQ(ReadBytes(At("ABC")), "upper");
    EXPECT_EQ(ReadBytes(At("abc")), "lower");
}

TEST_F(LocalPaneTest, ViewShowsTheTextAndRunStartsTheOpenerWithThePath) {
    WriteBytes(At("-n odd name.txt"), "line one\r\nline two\n");
    Refill();
    SelectLocal({"-n odd name.txt"});
    Commands().Viewfile2Click();
    ASSERT_EQ(dialogs.textsViewed.size(), 1u);
    EXPECT_EQ(dialogs.textsViewed[0].Text, "line one\nline two\n");
    EXPECT_EQ(dialogs.textsViewed[0].Path, At("-n odd name.txt"));
    ::unlink(At("-n odd name.txt").c_str());
    Commands().Viewfile2Click();
    EXPECT_EQ(dialogs.textsViewed.size(), 1u);
    EXPECT_TRUE(
        Logged("Error Cannot view " + At("-n odd name.txt") + ": No such file or directory"));
}

class RunTest : public LocalPaneTest {
  protected:
    void SetUp() override {
        const std::string script = tools.file("opener");
        WriteBytes(script, "#!/bin/sh\nprintf '%s\\n' \"$PWD\" \"$#\" \"$1\" > \"" +
                               tools.file("args.tmp") + "\"\nmv \"" + tools.file("args.tmp") +
                               "\" \"" + tools.file("args") + "\"\nexit ${OPENER_EXIT:-0}\n");
        ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
        opener = script;
        LocalPaneTest::SetUp();
    }
    TempFolder tools;
};

TEST_F(RunTest, TheOpenerGetsTheWholePathAsOneArgumentInTheFolder) {
    WriteBytes(At("-n odd name.txt"), "x");
    MakeFolder("dir");
    Refill();
    SelectLocal({"-n odd name.txt"});
    EXPECT_TRUE(Core().Controls.Enabled("sbRun"));
    Commands().sbRunClick();
    ASSERT_TRUE(PumpUntil([&] { return Exists(tools.file("args")); }));
    EXPECT_EQ(ReadBytes(tools.file("args")), disk.path() + "\n1\n" + At("-n odd name.txt") + "\n");

    // Failures are told in the log: an opener that fails, one that is not there.
    ASSERT_EQ(::setenv("OPENER_EXIT", "3", 1), 0);
    ::unlink(tools.file("args").c_str());
    Commands().sbRunClick();
    const std::string failed =
        "Error " + opener + " could not open " + At("-n odd name.txt") + " (exit code 3)";
    EXPECT_TRUE(PumpUntil([&] { return Logged(failed); })) << failed;
    ::unsetenv("OPENER_EXIT");
    ::unlink(opener.c_str());
    Commands().sbRunClick();
    EXPECT_TRUE(Logged("Error Cannot start " + opener + " for " + At("-n odd name.txt") +
                       ": No such file or directory"));
    // Folders are not run.
    SelectLocal({"dir"});
    EXPECT_FALSE(Core().Controls.Enabled("sbRun"));
}

TEST_F(LocalPaneTest, StatusLinesCountTheSelectedFilesOfEachPane) {
    std::vector<TPaneRow> rows;
    const char* sizes[] = {"1024", "2048", "n/a"};
    for (int i = 0; i < 3; ++i)
        rows.push_back(TPaneRow{kPictureFile, "f" + std::to_string(i), sizes[i], "", "", ""});
    rows.push_back(TPaneRow{kPictureDirectory, "d", "", "", "", ""});
    Core().lvLoc.SetRows(rows);
    EXPECT_FALSE(Tools().LocalStatus().Visible);
    main->lvLocSelectItems({0, 1, 2, 3});
    EXPECT_TRUE(Tools().LocalStatus().Visible);
    EXPECT_EQ(Tools().LocalStatus().Text, "3072 byte(3.00 Kb) in 3 file(s)");
    main->lvLocSelectItems({3});
    EXPECT_FALSE(Tools().LocalStatus().Visible);

    ShowRemote(
        "-rw-r--r--   1 u g 1024 Jan 15 12:34 one\r\n"
        "-rw-r--r--   1 u g 2048 Jan 15 12:34 two\r\n");
    main->FTPViewSelectItems({0, 1});
    EXPECT_EQ(Tools().RemoteStatus().Text, "3072 byte (3.00 Kb) in 2 file(s)");
    EXPECT_TRUE(Tools().RemoteStatus().Visible);
    // Back at the server list nothing shows under the pane.
    Core().State.ServerMode = true;
    Core().Notifier.Notify(TChange::Session);
    EXPECT_FALSE(Tools().RemoteStatus().Visible);
}

TEST_F(LocalPaneTest, TheRemoteMaskKeepsDirectoriesAndMatchingFiles) {
    ShowRemote(
        "drwxr-xr-x   2 u g 4096 Jan 15 12:34 zdir\r\n"
        "-rw-r--r--   1 u g 10 Jan 15 12:34 abc.txt\r\n"
        "-rw-r--r--   1 u g 20 Jan 15 12:34 abc.tar.gz\r\n"
        "-rw-r--r--   1 u g 30 Jan 15 12:34 b.txt\r\n");
    dialogs.inputAnswers.push_back("a*.txt");
    Tools().Filter4Click();
    EXPECT_EQ(dialogs.inputsAsked.back().Caption, "FTP Filter");
    EXPECT_EQ(dialogs.inputsAsked.back().Value, "*.*");
    EXPECT_EQ(Core().State.RemoteMask, "a*.txt");
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"zdir", "abc.txt"}));
    Core().State.ServerMode = true;
    const size_t asked = dialogs.inputsAsked.size();
    Tools().Filter4Click();
    EXPECT_EQ(dialogs.inputsAsked.size(), asked);
}

TEST_F(LocalPaneTest, HeaderClicksSortBothPanesWithDirectoriesFirst) {
    ShowRemote(
        "-rw-r--r--   1 u g 10 Jan 15 12:34 small\r\n"
        "drwxr-xr-x   2 u g 4096 Jan 15 12:34 dir\r\n"
        "-rw-r--r--   1 u g 3000 Jan 15 12:34 big\r\n");
    struct Step {
        int key;
        std::vector<std::string> order;
    };
    const Step steps[] = {
        {2, {"dir", "big", "small"}}, {-2, {"dir", "small", "big"}}, {2, {"dir", "big", "small"}}};
    for (const Step& s : steps) {
        main->FTPViewColumnClick(1);  // "Size"
        EXPECT_EQ(Core().FTPView.SortKey(), s.key);
        EXPECT_EQ(Captions(Core().FTPView), s.order);
    }
    Tools().Byname6Click(1);
    EXPECT_EQ(Core().FTPView.SortKey(), 1);
    Tools().Byname6Click(1);
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"dir", "small", "big"}));
    Core().State.ServerMode = true;
    main->FTPViewColumnClick(1);
    EXPECT_EQ(Core().FTPView.SortKey(), -1);

    WriteBytes(At("b"), "bb");
    WriteBytes(At("A"), "aaa");
    MakeFolder("z");
    Refill();
    main->lvLocColumnClick(0);
    EXPECT_EQ(Captions(Core().lvLoc), (std::vector<std::string>{"z", "A", "b"}));
    main->lvLocColumnClick(0);
    EXPECT_EQ(Captions(Core().lvLoc), (std::vector<std::string>{"z", "b", "A"}));
    Tools().Byname4Click(2);
    EXPECT_EQ(Core().lvLoc.SortKey(), 2);
    EXPECT_EQ(Captions(Core().lvLoc), (std::vector<std::string>{"z", "A", "b"}));
    Refill();  // a refill keeps the order
    EXPECT_EQ(Captions(Core().lvLoc), (std::vector<std::string>{"z", "A", "b"}));
}

TEST_F(LocalPaneTest, SelectionToolsOnEitherPaneByTheTagsSign) {
    for (const char* n : {"a.txt", "b.txt", "c.log"}) WriteBytes(At(n), "x");
    Refill();
    ShowRemote(
        "-rw-r--r--   1 u g 10 Jan 15 12:34 r.txt\r\n"
        "-rw-r--r--   1 u g 10 Jan 15 12:34 s.log\r\n");
    std::vector<std::string> focused;
    Tools().OnFocusPane = [&](const TPaneModel& p) { focused.push_back(p.Name()); };
    TPaneModel& loc = Core().lvLoc;
    Tools().All1Click(1);
    EXPECT_EQ(loc.SelectedCount(), 3u);
    dialogs.inputAnswers.push_back("*.txt");
    Tools().All1Click(2);
    EXPECT_EQ(SelectedCaptions(loc), std::vector<std::string>{"c.log"});
    EXPECT_EQ(Core().State.LocalMask, "*.txt");
    Tools().All1Click(4);
    EXPECT_EQ(SelectedCaptions(loc), (std::vector<std::string>{"a.txt", "b.txt"}));
    main->lvLocSelectItems({});
    dialogs.inputAnswers.push_back("?.log");
    Tools().All1Click(3);
    EXPECT_EQ(dialogs.inputsAsked.back().Caption, "Local Filter");
    EXPECT_EQ(dialogs.inputsAsked.back().Value, "*.txt");
    EXPECT_EQ(SelectedCaptions(loc), std::vector<std::string>{"c.log"});

    dialogs.inputAnswers.push_back("*.txt");
    Tools().All1Click(-3);
    EXPECT_EQ(SelectedCaptions(Core().FTPView), std::vector<std::string>{"r.txt"});
    EXPECT_EQ(Core().State.LocalMask, "*.txt");  // the remote pane's mask goes there too
    Tools().All1Click(-4);
    EXPECT_EQ(SelectedCaptions(Core().FTPView), std::vector<std::string>{"s.log"});
    EXPECT_EQ(focused,
              (std::vector<std::string>{"lvLoc", "lvLoc", "lvLoc", "lvLoc", "FTPView", "FTPView"}));
}

TEST_F(LocalPaneTest, TheLocalCommandsFollowTheSelection) {
    WriteBytes(At("file"), "x");
    MakeFolder("dir");
    Refill();
    struct Case {
        std::vector<std::string> selected;
        bool file;
        bool del;
    };
    // Inside a folder below "/" there is always something to delete: the folder itself.
    const Case cases[] = {{{"file"}, true, true}, {{"dir"}, false, true}, {{}, false, true}};
    for (const Case& c : cases) {
        SelectLocal(c.selected);
        for (const char* n : {"sbView", "sbRun", "Viewfile2", "ViewFile3", "DeleteFile1",
                              "RenameFile2", "MenuItem7"})
            EXPECT_EQ(Core().Controls.Enabled(n), c.file) << n;
        EXPECT_EQ(Core().Controls.Enabled("sbDel1"), c.del);
        EXPECT_EQ(Core().Controls.Enabled("MenuItem8"), c.del);
        EXPECT_FALSE(Core().Controls.Enabled("UploadSelectedFiles1"));  // no session
    }
    ASSERT_TRUE(Core().Local.SetDirectory("/"));
    EXPECT_FALSE(Core().Controls.Enabled("sbDel1"));
    Core().Local.lvLocEnter();
    EXPECT_TRUE(Core().Controls.Enabled("UploadSelectedFiles2"));
    Core().Local.lvLocExit();
    EXPECT_FALSE(Core().Controls.Enabled("UploadSelectedFiles2"));
}

TEST_F(LocalPaneTest, FontsAndViewStylesPerPane) {
    const TFontChoice chosen{"DejaVu Sans", 11, 0x0000FF};
    dialogs.fontAnswers.push_back(chosen);
    Tools().Font2Click(0);
    ASSERT_EQ(dialogs.fontsAsked.size(), 1u);
    EXPECT_EQ(dialogs.fontsAsked[0].Name, Core().Font().Name);
    ASSERT_TRUE(Tools().PaneFont(Core().lvLoc));
    EXPECT_EQ(Tools().PaneFont(Core().lvLoc)->Size, 11);
    EXPECT_FALSE(Tools().PaneFont(Core().FTPView));
    Tools().Font2Click(1);  // cancelled
    EXPECT_FALSE(Tools().PaneFont(Core().FTPView));
    Tools().Font2Click(0);
    EXPECT_EQ(dialogs.fontsAsked.back().Name, "DejaVu Sans");  // starts from the pane's own

    Tools().MenuItem11Click(2);
    EXPECT_EQ(Core().lvLoc.Style(), TViewStyle::vsList);
    EXPECT_TRUE(Core().Controls.Checked("MenuItem13"));
    EXPECT_FALSE(Core().Controls.Checked("MenuItem14"));
    Tools().LargeIcons3Click(0);
    EXPECT_EQ(Core().FTPView.Style(), TViewStyle::vsIcon);
    EXPECT_TRUE(Core().Controls.Checked("LargeIcons1"));
    EXPECT_TRUE(Core().Controls.Checked("LargeIcons3"));
    Tools().MenuItem11Click(7);
    EXPECT_EQ(Core().lvLoc.Style(), TViewStyle::vsList);
    int arranged = 0;
    Tools().OnArrangeIcons = [&](const TPaneModel&) { ++arranged; };
    Tools().MenuItem18Click();
    EXPECT_EQ(arranged, 0);  // only while the list has the focus
    Core().Local.lvLocEnter();
    Tools().MenuItem18Click();
    EXPECT_EQ(arranged, 1);
}

}  // namespace
}  // namespace tarnwick::session

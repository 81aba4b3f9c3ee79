// The pieces under the local pane: the drive box from a mount table, the directory box, case
// changes of names, the status line texts, the text a viewed file shows as, and the order in
// which a delete removes what it found.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "session/LocalFileOps.h"
#include "session/LocalPanel.h"
#include "session/MountPoints.h"
#include "session/NameCase.h"
#include "session/PaneTools.h"
#include "session/TextFileView.h"
#include "tests/settings/TempFolder.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::session {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(MountPoints, RootFirstThenTheUsersFileSystemsOnce) {
    const char* table =
        "proc /proc proc rw 0 0\n"
        "sysfs /sys sysfs rw 0 0\n"
        "/dev/sda2 / ext4 rw 0 0\n"
        "tmpfs /dev/shm tmpfs rw 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "tmpfs /tmp tmpfs rw 0 0\n"
        "/dev/sda3 /home ext4 rw 0 0\n"
        "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
        "/dev/sdb1 /run/media/anna/USB\\040STICK vfat rw 0 0\n"
        "/dev/sda1 /boot/efi vfat rw 0 0\n"
        "/dev/loop0 /snap/core/1 squashfs ro 0 0\n"
        "server:/export /mnt/nfs nfs4 rw 0 0\n"
        "/dev/sda3 /home ext4 rw 0 0\n"
        "/dev/vda /etc/hosts ext4 rw 0 0\n"
        "garbage\n"
        "\n";
    EXPECT_EQ(
        ParseMountPoints(table),
        (std::vector<std::string>{"/", "/tmp", "/home", "/run/media/anna/USB STICK", "/mnt/nfs"}));
    const std::vector<std::string> mounts = {"/", "/home", "/home/anna/data"};
    EXPECT_EQ(MountPointOf(mounts, "/home/anna/data/x"), 2);
    EXPECT_EQ(MountPointOf(mounts, "/home/anna"), 1);
    EXPECT_EQ(MountPointOf(mounts, "/homework"), 0);
    EXPECT_EQ(ReadMountPoints("/nonexistent/mounts"), std::vector<std::string>{"/"});
}

TEST(DirectoryBox, ThePathFromTheRootDown) {
    EXPECT_EQ(DirectoryBoxItems("/"), std::vector<std::string>{"/"});
    const std::vector<std::string> items = DirectoryBoxItems("/home/anna/My Files");
    EXPECT_EQ(items, (std::vector<std::string>{"/", "home", "anna", "My Files"}));
    EXPECT_EQ(DirectoryBoxPath(items, 0), "/");
    EXPECT_EQ(DirectoryBoxPath(items, 2), "/home/anna");
    EXPECT_EQ(DirectoryBoxPath(items, 3), "/home/anna/My Files");
}

TEST(ChangeNameCase, UpperLowerAndSentence) {
    struct Case {
        std::string name;
        TNameCase change;
        std::string result;
    };
    const Case cases[] = {
        {"Read Me.TXT", TNameCase::Upper, "READ ME.TXT"},
        {"Read Me.TXT", TNameCase::Lower, "read me.txt"},
        {"rEAD mE.TXT", TNameCase::Sentence, "Read me.txt"},
        {"\xC3\xA9t\xC3\xA9.txt", TNameCase::Upper, "\xC3\x89T\xC3\x89.TXT"},     // été
        {"\xC3\x89T\xC3\x89.TXT", TNameCase::Sentence, "\xC3\x89t\xC3\xA9.txt"},  // Été
        {"caf\xE9", TNameCase::Upper, "CAF\xC9"},    // Windows-1252 é stays one byte
        {"\x8A\xFF", TNameCase::Lower, "\x9A\xFF"},  // Š to š, ÿ stays
        {"a\xF7z", TNameCase::Upper, "A\xF7Z"},      // the division sign is no letter
        {"", TNameCase::Sentence, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ChangeNameCase(c.name, c.change), c.result) << c.name;
}

TEST(StatusLines, BothFormatsAndWhatCounts) {
    TPaneModel pane("lvLoc", false);
    std::vector<TPaneRow> rows(5);
    const char* sizes[] = {"1024", "2048", "unparsable", "-5", ""};
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i].Name = "f" + std::to_string(i);
        rows[i].Size = sizes[i];
    }
    rows.push_back(TPaneRow{kPictureDirectory, "dir", "999", "", "", ""});
    pane.SetRows(rows);
    pane.SetSelection({0, 1, 2, 5});
    const TSelectionSum sum = SumSelectedFiles(pane);
    EXPECT_EQ(sum.Files, 3);
    EXPECT_EQ(sum.Bytes, 3072);
    EXPECT_EQ(LocalStatusText(sum), "3072 byte(3.00 Kb) in 3 file(s)");
    EXPECT_EQ(RemoteStatusText(sum), "3072 byte (3.00 Kb) in 3 file(s)");
    EXPECT_EQ(LocalStatusText({1, 6442450944LL}), "6442450944 byte(6291456.00 Kb) in 1 file(s)");
    EXPECT_EQ(LocalStatusText({2, 1536 + 5}), "1541 byte(1.50 Kb) in 2 file(s)");
    pane.SetSelection({3, 4});
    EXPECT_EQ(SumSelectedFiles(pane).Bytes, 0);
}

TEST(TextFileView, LinesTabsAndControlsAsTheViewerShowsThem) {
    EXPECT_EQ(ViewedText("one\r\ntwo\tcols\nthree"), "one\ntwo\tcols\nthree");
    EXPECT_EQ(ViewedText("bell\x07"), "bell\xE2\x90\x87");
    EXPECT_EQ(ViewedText("caf\xE9\n"), "caf\xC3\xA9\n");
    TempFolder folder;
    const std::string path = folder.file("big.txt");
    WriteBytes(path, std::string(10, 'a') + "\xC3\xA9" + "tail");
    TTextFileView view;
    ASSERT_EQ(LoadTextFileView(path, view, 11), 0);
    EXPECT_TRUE(view.Truncated);
    EXPECT_EQ(view.Text, std::string(10, 'a'));  // never half a character
    ASSERT_EQ(LoadTextFileView(path, view), 0);
    EXPECT_FALSE(view.Truncated);
    EXPECT_EQ(view.FileSize, 16);
    EXPECT_EQ(LoadTextFileView(folder.path(), view), EISDIR);
    EXPECT_EQ(LoadTextFileView(folder.file("missing"), view), ENOENT);
    const std::string fifo = folder.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(LoadTextFileView(fifo, view), EINVAL);  // never waits for a writer
}

TEST(LocalDeletePlan, FilesFirstThenFoldersFromTheDeepestAndStopsAtAFailure) {
    TempFolder folder;
    const std::string top = folder.file("top");
    ASSERT_EQ(::mkdir(top.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((top + "/sub").c_str(), 0755), 0);
    WriteBytes(top + "/a", "a");
    WriteBytes(top + "/sub/b", "b");
    TLocalDeletePlan plan;
    plan.Add(top);
    plan.Expand();
    EXPECT_EQ(plan.Folders, (std::vector<std::string>{top, top + "/sub"}));
    EXPECT_EQ(plan.Files, (std::vector<std::string>{top + "/a", top + "/sub/b"}));
    EXPECT_EQ(plan.Question(), "Do you wish to remove 2 file(s) and 2 folder(es)");

    // Something the plan does not know of appears in sub: its files go, sub stays, and so
    // does top, which would be removed after it.
    WriteBytes(top + "/sub/late", "late");
    const TLocalFailure failure = plan.Execute();
    EXPECT_EQ(failure.Error, ENOTEMPTY);
    EXPECT_EQ(failure.Path, top + "/sub");
    EXPECT_EQ(::access((top + "/a").c_str(), F_OK), -1);
    EXPECT_EQ(::access((top + "/sub/b").c_str(), F_OK), -1);
    EXPECT_EQ(ReadBytes(top + "/sub/late"), "late");

    TLocalDeletePlan none;
    EXPECT_EQ(none.Question(), "Do you wish to remove 0 file(s)");
}

TEST(RenameLocal, NeverReplacesAnotherFile) {
    TempFolder folder;
    WriteBytes(folder.file("a"), "A");
    WriteBytes(folder.file("b"), "B");
    const TLocalFailure f = RenameLocal(folder.file("a"), folder.file("b"));
    EXPECT_EQ(f.Error, EEXIST);
    EXPECT_EQ(ReadBytes(folder.file("a")), "A");
    EXPECT_EQ(ReadBytes(folder.file("b")), "B");
    EXPECT_FALSE(RenameLocal(folder.file("a"), folder.file("c")));
    EXPECT_EQ(ReadBytes(folder.file("c")), "A");
    EXPECT_EQ(RenameLocal(folder.file("gone"), folder.file("d")).Error, ENOENT);
    EXPECT_EQ(FileNamePart("x/y/name.txt"), "name.txt");
    EXPECT_EQ(JoinLocalPath("/", "etc"), "/etc");
    EXPECT_EQ(JoinLocalPath("/home", "u"), "/home/u");
}

}  // namespace
}  // namespace tarnwick::session

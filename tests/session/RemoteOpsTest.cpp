// The remote pane's file operations through the headless window against pyftpdlib, the
// server's disk checked after each: make directory, rename, case changes, tree delete (its
// order of requests, links, "..", refusals), up one level, the path box, the command panel,
// permissions, and comparing the panes.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "session/ServerAddress.h"
#include "tests/session/TransferTestKit.h"

namespace tarnwick::session::testkit {
namespace {

constexpr int kCommandDeadlineMs = 10000;
constexpr const char* kSent = "> ";

class RemoteOpsTest : public TransferFixture {
  protected:
    // Runs a command and waits for the listing that ends it.
    bool Run(const std::function<void()>& command) {
        const size_t from = Core().Log.Count();
        const int target = listings + 1;
        command();
        mark_ = from;
        const bool done =
            PumpUntil([&] { return listings >= target && Idle(); }, kCommandDeadlineMs);
        if (!done)
            for (size_t i = from; i < main->Core().Log.Count(); ++i)
                ADD_FAILURE() << main->Core().Log.Line(i).Text;
        return done;
    }
    // The commands sent since the last Run began, without the data-connection and type
    // commands; a listing (LIST or MLSD) shows as LIST.
    std::vector<std::string> Sent() const {
        std::vector<std::string> out;
        for (size_t i = mark_; i < main->Core().Log.Count(); ++i) {
            const std::string& l = main->Core().Log.Line(i).Text;
            if (!l.starts_with(kSent)) continue;
            std::string cmd = l.substr(2);
            const std::string verb = cmd.substr(0, cmd.find(' '));
            if (verb == "PASV" || verb == "PORT" || verb == "EPSV" || verb == "TYPE" ||
                verb == "NOOP")
                continue;
            if (verb == "MLSD" || verb == "LIST" || verb == "NLST") cmd = "LIST";
            out.push_back(cmd);
        }
        return out;
    }
    void SelectRemote(const std::vector<std::string>& names) { Select(Core().FTPView, names); }
    void Refresh() {
        ASSERT_TRUE(Run([&] { main->RemoteOps().FTPPathChange(1); }));
    }

    size_t mark_ = 0;
};

TEST_F(RemoteOpsTest, MakeDirectoryRenameAndCaseChangeReachTheDisk) {
    ftpd.WriteFile("README.TXT", "read me");
    ftpd.WriteFile("old.txt", "x");
    ftpd.WriteFile("Other.txt", "o");
    MakeRemoteFolder("olddir");
    Connect();

    dialogs.inputAnswers.push_back(std::string("made"));
    ASSERT_TRUE(Run([&] { main->RemoteOps().sbMkd2Click(); }));
    EXPECT_EQ(dialogs.inputsAsked.back().Caption, "Create Directory");
    EXPECT_EQ(dialogs.inputsAsked.back().Prompt, "Enter new directory name");
    EXPECT_TRUE(std::filesystem::is_directory(ftpd.Root() + "/made"));
    EXPECT_GE(Core().FTPView.FindCaption("made"), 0);

    struct Case {
        std::string from, to, caption, prompt;
    };
    const Case renames[] = {{"old.txt", "new.txt", "Rename File", "Enter new File name:"},
                            {"olddir", "newdir", "Rename Directory", "Enter new Directory name:"}};
    for (const Case& c : renames) {
        SCOPED_TRACE(c.from);
        SelectRemote({c.from});
        dialogs.inputAnswers.push_back(c.to);
        ASSERT_TRUE(Run([&] { main->RemoteOps().sbRen2Click(); }));
        EXPECT_EQ(dialogs.inputsAsked.back().Caption, c.caption);
        EXPECT_EQ(dialogs.inputsAsked.back().Prompt, c.prompt);
        EXPECT_EQ(dialogs.inputsAsked.back().Value, c.from);
        EXPECT_FALSE(ftpd.Exists(c.from));
        EXPECT_TRUE(ftpd.Exists(c.to));
        EXPECT_GE(Core().FTPView.FindCaption(c.to), 0);
    }

    SelectRemote({"README.TXT", "Other.txt"});
    ASSERT_TRUE(Run([&] { main->RemoteOps().LARGECASE3Click(2); }));
    EXPECT_EQ(ftpd.ReadFile("Readme.txt"), "read me");
    EXPECT_FALSE(ftpd.Exists("README.TXT"));
    // A name that stays the same is still renamed to itself.
    EXPECT_TRUE(ftpd.Exists("Other.txt"));
    EXPECT_EQ(Sent(), (std::vector<std::string>{"RNFR Other.txt", "RNTO Other.txt",
                                                "RNFR README.TXT", "RNTO Readme.txt", "LIST"}));
    EXPECT_TRUE(Core().State.Queues.FileQueue.empty());
}

TEST_F(RemoteOpsTest, ARefusedRenameEndsTheChainAndListsAgain) {
    ftpd.WriteFile("a.txt", "a");
    ftpd.WriteFile("b.txt", "b");
    Connect();
    SelectRemote({"a.txt", "b.txt"});
    std::filesystem::remove(ftpd.Root() + "/a.txt");  // gone behind the window's back
    ASSERT_TRUE(Run([&] { main->RemoteOps().LARGECASE3Click(0); }));
    EXPECT_TRUE(LogHas("Error 550"));
    EXPECT_TRUE(ftpd.Exists("b.txt"));
    EXPECT_FALSE(ftpd.Exists("B.TXT"));
    EXPECT_TRUE(Core().State.Queues.FileQueue.empty());
    EXPECT_TRUE(Core().State.Queues.FileTargets.empty());
    EXPECT_EQ(Core().FTPView.FindCaption("a.txt"), -1);
}

TEST_F(RemoteOpsTest, ATreeDeleteAsksOnceRunsInOrderAndLeavesNothing) {
    ftpd.WriteFile("tree/a.txt", "a");
    ftpd.WriteFile("tree/sub/b.txt", "b");
    ftpd.WriteFile("keep.txt", "k");
    Connect();
    const std::string base = AddSlash(Core().Ftp1.HostDirName());

    // No: nothing is sent and nothing goes.
    SelectRemote({"tree", "keep.txt"});
    dialogs.messageAnswers.push_back(TMsgResult::No);
    main->RemoteOps().sbDel2Click();
    ASSERT_EQ(dialogs.messagesAsked.size(), 1u);
    EXPECT_EQ(dialogs.messagesAsked[0].Text, "Do you wish to remove 1 file(s) and 1 folder(es)");
    EXPECT_EQ(dialogs.messagesAsked[0].Default, TMsgResult::No);
    PumpFor(200);
    EXPECT_TRUE(ftpd.Exists("tree/sub/b.txt"));
    EXPECT_TRUE(ftpd.Exists("keep.txt"));

    SelectRemote({"tree"});
    dialogs.messageAnswers.push_back(TMsgResult::Yes);
    ASSERT_TRUE(Run([&] { main->RemoteOps().sbDel2Click(); }));
    EXPECT_EQ(dialogs.messagesAsked.back().Text,
              "Do you wish to remove 0 file(s) and 1 folder(es)");
    const std::string tree = base + "tree";
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{"CWD " + tree, "LIST", "DELE a.txt", "CWD " + tree + "/sub",
                                        "LIST", "DELE b.txt", "RMD " + tree + "/sub", "RMD " + tree,
                                        "CWD " + base, "LIST"}));
    EXPECT_FALSE(ftpd.Exists("tree"));
    EXPECT_TRUE(ftpd.Exists("keep.txt"));
    EXPECT_EQ(Core().FTPView.FindCaption("tree"), -1);
    EXPECT_FALSE(Core().State.DeletingTree || Core().State.RemovingDirs);
}

TEST_F(RemoteOpsTest, TheParentRowIsNeverQueuedAndLinksGoAsThemselves) {
    ftpd.WriteFile("outside/precious.txt", "p");
    ftpd.WriteFile("tree/f.txt", "f");
    ASSERT_EQ(::symlink((ftpd.Root() + "/outside").c_str(), (ftpd.Root() + "/tree/link").c_str()),
              0);
    MakeRemoteFolder("sub");
    ftpd.WriteFile("sub/x.txt", "x");
    Connect();
    ASSERT_TRUE(Run([&] {
        Select(Core().FTPView, {"sub"});
        main->FTPViewDblClick();
    }));
    // A ".." row, as many servers list it, selected together with a file.
    if (Core().FTPView.FindCaption("..") < 0) {
        TPaneRow parent;
        parent.Picture = kPictureDirectory;
        parent.Name = "..";
        Core().FTPView.AppendRow(parent);
    }
    SelectRemote({"..", "x.txt"});
    dialogs.messageAnswers.push_back(TMsgResult::Yes);
    ASSERT_TRUE(Run([&] { main->RemoteOps().sbDel2Click(); }));
    EXPECT_EQ(dialogs.messagesAsked.back().Text, "Do you wish to remove 1 file(s)");
    EXPECT_FALSE(ftpd.Exists("sub/x.txt"));
    EXPECT_TRUE(ftpd.Exists("sub"));
    EXPECT_TRUE(ftpd.Exists("tree/f.txt"));

    ASSERT_TRUE(Run([&] { main->RemoteOps().FTPOneLevelUpClick(); }));
    SelectRemote({"tree"});
    dialogs.messageAnswers.push_back(TMsgResult::Yes);
    ASSERT_TRUE(Run([&] { main->RemoteOps().sbDel2Click(); }));
    EXPECT_FALSE(ftpd.Exists("tree"));
    EXPECT_EQ(ftpd.ReadFile("outside/precious.txt"), "p");
    for (const std::string& s : Sent()) EXPECT_EQ(s.find("outside"), std::string::npos) << s;
}

TEST_F(RemoteOpsTest, ADirectoryThatCannotBeRemovedStopsTheRemovalAndListsAgain) {
    ftpd.WriteFile("tree/sub/f.txt", "f");
    Connect();
    SelectRemote({"tree"});
    dialogs.messageAnswers.push_back(TMsgResult::Yes);
    const int target = listings + 1;
    main->RemoteOps().sbDel2Click();
    // A file arrives in the subdirectory after it was listed: its RMD is refused.
    ASSERT_TRUE(PumpUntil([&] { return LogHas("> DELE f.txt"); }, kCommandDeadlineMs));
    ftpd.WriteFile("tree/sub/late.txt", "late");
    ASSERT_TRUE(PumpUntil([&] { return listings >= target && Idle(); }, kCommandDeadlineMs));
    EXPECT_TRUE(LogHas("> RMD "));
    EXPECT_TRUE(LogHas("Error 550"));
    EXPECT_TRUE(ftpd.Exists("tree/sub/late.txt"));
    EXPECT_FALSE(Core().State.DeletingTree || Core().State.RemovingDirs);
    EXPECT_TRUE(Core().State.Queues.DirTargets.empty());
    // The parent was never asked to go, and the pane shows the starting directory.
    const std::vector<std::string> log = LogLines();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& l) { return l.starts_with("> RMD "); }),
              1);
    EXPECT_GE(Core().FTPView.FindCaption("tree"), 0);
}

TEST_F(RemoteOpsTest, PermissionsAreSentAsSiteChmod) {
    ftpd.WriteFile("run.sh", "#!/bin/sh\n");
    ASSERT_EQ(::chmod((ftpd.Root() + "/run.sh").c_str(), 0755), 0);
    Connect();
    struct Case {
        std::optional<int> answer;
        std::string sent;
        int mode;
    };
    const Case cases[] = {{755, "SITE CHMOD 755 run.sh", 0755},
                          {640, "SITE CHMOD 640 run.sh", 0640},
                          {75, "SITE CHMOD 075 run.sh", 075}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent);
        SelectRemote({"run.sh"});
        dialogs.permissionAnswers.push_back(c.answer);
        ASSERT_TRUE(Run([&] { main->RemoteOps().FileAttributes2Click(); }));
        EXPECT_EQ(Sent().at(0), c.sent);
        EXPECT_EQ(ftpd.Mode("run.sh"), c.mode);
    }
    EXPECT_EQ(dialogs.permissionsAsked.front(), "-rwxr-xr-x");
    // Cancel (or an empty box) sends nothing.
    SelectRemote({"run.sh"});
    dialogs.permissionAnswers.push_back(std::nullopt);
    const size_t before = Core().Log.Count();
    main->RemoteOps().FileAttributes2Click();
    PumpFor(200);
    EXPECT_EQ(Core().Log.Count(), before);
}

TEST_F(RemoteOpsTest, UpOneLevelThePathBoxAndTheCommandPanel) {
    MakeRemoteFolder("pub/linux");
    Connect();
    ASSERT_TRUE(Run([&] {
        Core().Ftp1.SetHostDirName("/pub/linux/");
        main->RemoteOps().FTPPathChange(1);
    }));
    // The path box: "SERVER LIST ...", the host, then the components.
    Core().Ftp1.SetHostDirName("/pub/linux");
    ASSERT_TRUE(Run([&] { Core().StartRequest(&ftp::TCustomFtpCli::CwdAsync); }));
    ASSERT_EQ(Core().FTPPath.Count(), 4);
    EXPECT_EQ(Core().FTPPath.Items()[0], kServerListItem);
    ASSERT_TRUE(Run([&] { main->RemoteOps().FTPPathChange(2); }));
    EXPECT_EQ(Sent().at(0), "CWD /pub");
    EXPECT_GE(Core().FTPView.FindCaption("linux"), 0);

    struct Up {
        std::string from, sent, to;
    };
    for (const Up& u :
         {Up{"/pub/linux/", "CDUP", "/pub"}, Up{"/pub", "CDUP", "/"}, Up{"pub", "CDUP", "/"}}) {
        SCOPED_TRACE(u.from);
        Core().Ftp1.SetHostDirName(u.from);
        ASSERT_TRUE(Run([&] { main->RemoteOps().FTPOneLevelUpClick(); }));
        EXPECT_EQ(Sent().at(0), u.sent);
        EXPECT_EQ(Core().Ftp1.HostDirName(), u.to);
    }
    // At the top with CheckVHost the working directory is asked instead.
    Core().CurrentServer.CheckVHost = 1;
    Core().Ftp1.SetHostDirName("/pub");
    ASSERT_TRUE(Run([&] { main->RemoteOps().FTPOneLevelUpClick(); }));
    EXPECT_EQ(Sent().at(0), "PWD");
    Core().CurrentServer.CheckVHost = 0;

    // "Do It" sends the box's text and lists again; the history keeps it once.
    ftpd.WriteFile("f.txt", "f");
    main->RemoteOps().CustomCommand1Click();
    EXPECT_TRUE(Core().Controls.Visible("Panel17"));
    EXPECT_TRUE(Core().Controls.Checked("CustomCommand2"));
    Core().cbCmd.SetText("SITE CHMOD 600 f.txt");
    ASSERT_TRUE(Run([&] { main->RemoteOps().SpeedButton5Click(); }));
    EXPECT_EQ(Sent().at(0), "SITE CHMOD 600 f.txt");
    EXPECT_EQ(ftpd.Mode("f.txt"), 0600);
    ASSERT_TRUE(Run([&] { main->RemoteOps().SpeedButton5Click(); }));
    EXPECT_EQ(Core().cbCmd.Count(), 1);
    // "Commands" puts the pick into the box and sends nothing.
    dialogs.commandPicks.push_back("SITE HELP");
    dialogs.commandPicks.push_back("   ");
    main->RemoteOps().SpeedButton6Click();
    main->RemoteOps().SpeedButton6Click();
    EXPECT_EQ(Core().cbCmd.Items(),
              (std::vector<std::string>{"SITE CHMOD 600 f.txt", "SITE HELP"}));
    EXPECT_EQ(Core().cbCmd.ItemIndex(), 1);

    // Change Directory by name.
    dialogs.inputAnswers.push_back(std::string("/pub/linux"));
    ASSERT_TRUE(Run([&] { main->RemoteOps().ChandDirect1Click(); }));
    EXPECT_EQ(Sent().at(0), "CWD /pub/linux");

    // "SERVER LIST ..." ends the session.
    main->RemoteOps().FTPPathChange(0);
    EXPECT_TRUE(WaitServerMode());
}

TEST_F(RemoteOpsTest, CompareSelectsTheDifferingRowsOfBothPanes) {
    ftpd.WriteFile("same.txt", "12345");
    ftpd.WriteFile("size.txt", "1");
    ftpd.WriteFile("remote.txt", "r");
    MakeRemoteFolder("dir");
    WriteLocal("same.txt", "12345");
    WriteLocal("size.txt", "22");
    WriteLocal("local.txt", "l");
    std::filesystem::create_directories(LocalPath("dir"));
    Connect();
    Core().Local.dlbxChange();
    main->RemoteOps().CompareDirectories1Click();
    auto selected = [](const TPaneModel& pane) {
        std::vector<std::string> out;
        for (size_t i : pane.SelectedRows())
            if (pane.Row(i).Name != "..") out.push_back(pane.Row(i).Name);
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ(selected(Core().lvLoc), (std::vector<std::string>{"local.txt", "size.txt"}));
    EXPECT_EQ(selected(Core().FTPView), (std::vector<std::string>{"remote.txt", "size.txt"}));
}

TEST_F(RemoteOpsTest, SavedServersAreDeletedOnlyWhenConfirmed) {
    SaveServers({Server("one", "21"), Server("two", "21"), Server("three", "21")});
    Create();
    for (const TMsgResult answer : {TMsgResult::No, TMsgResult::Yes}) {
        Select(Core().FTPView, {"one", "three"});
        dialogs.messageAnswers.push_back(answer);
        main->RemoteOps().sbDel2Click();
    }
    EXPECT_EQ(dialogs.messagesAsked.at(0).Text, "Do you wish to remove 2 server(s)");
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"two"}));
    std::vector<TFTPServerInfo> saved;
    ASSERT_EQ(LoadServerList(settings.path(), saved), ReadStatus::kOk);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].Name, "two");
}

}  // namespace
}  // namespace tarnwick::session::testkit

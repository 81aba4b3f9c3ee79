// The window against a server with MLSD and UTF8 (pyftpdlib) and one with neither
// (vsftpd): the same tree lists alike in both panes, UTF-8 names go both ways, downloads
// keep the server's modification time, and a tree download never enters a link.
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/Options.h"
#include "tests/session/MainTestKit.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VsftpdServer.h"

namespace tarnwick::session {
namespace {

using tarnwick::testing::PyFtpdServer;
using tarnwick::testing::TempFolder;
using tarnwick::testing::VsftpdServer;
using testkit::MainFixture;
using testkit::PumpUntil;

constexpr int kBatchDeadlineMs = 30000;
const std::string kDanish =
    "\xC3\xA6"
    "ble.txt";                                                             // æble.txt
const std::string kJapanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt";  // 日本語.txt
// 2020-05-06 07:08:09 UTC.
constexpr std::time_t kServerTime = 1588748889;

// One of the two servers, with the tree the tests list in a folder it may write to.
struct TServerUnderTest {
    std::string name;
    std::string port;
    std::string user;
    std::string password;
    std::string root;     // the served folder on disk
    std::string treeDir;  // the tree as the server names it
    bool machineListing;  // lists with MLSD
    bool utf8;            // offers UTF8
    std::function<void(const std::string&, const std::string&)> write;
};

class ListingSources : public MainFixture {
  protected:
    void Connect(const TServerUnderTest& s) {
        TFTPOptions options = DefaultOptions();
        options.PromptDownLoad = false;
        options.PromptUpLoad = false;
        SaveOptionsFile(options);
        TFTPServerInfo record = Server(s.name, s.port, s.user, s.password);
        record.InitialDir = s.treeDir;
        SaveServers({record});
        Create();
        ASSERT_TRUE(Core().Local.SetDirectory(local.path()));
        Open(s.name);
        ASSERT_TRUE(NextListing()) << ::testing::PrintToString(LogLines());
    }

    void Select(TPaneModel& pane, const std::vector<std::string>& names) {
        std::vector<size_t> rows;
        for (const std::string& n : names) {
            const int row = pane.FindCaption(n);
            ASSERT_GE(row, 0) << n << " is not in " << pane.Name();
            rows.push_back(static_cast<size_t>(row));
        }
        if (&pane == &Core().FTPView)
            main->FTPViewSelectItems(rows);
        else
            main->lvLocSelectItems(rows);
    }
    bool WaitBatch() {
        return PumpUntil([&] { return Idle() && main->Transfers().Progress() == nullptr; },
                         kBatchDeadlineMs);
    }
    bool Download(const std::vector<std::string>& names) {
        Select(Core().FTPView, names);
        main->Transfers().SpeedButton2Click();
        return WaitBatch();
    }
    bool Upload(const std::vector<std::string>& names) {
        Core().Local.dlbxChange();
        Select(Core().lvLoc, names);
        main->Transfers().SpeedButton1Click();
        return WaitBatch();
    }
    bool LogHas(const std::string& text) const {
        for (const std::string& l : LogLines())
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    // Name, kind and (for files) size of each row but "..", in the pane's order.
    static std::vector<std::string> Rows(const TPaneModel& pane) {
        std::vector<std::string> out;
        for (const TPaneRow& r : pane.Rows()) {
            if (r.Name == "..") continue;
            const bool dir = r.Picture == kPictureDirectory;
            out.push_back((dir ? "dir " : "file ") + r.Name + (dir ? std::string() : " " + r.Size));
        }
        return out;
    }

    TempFolder local;
};

// The tree both servers serve.
void WriteTree(const TServerUnderTest& s) {
    s.write(s.treeDir + "/a.txt", "hello\n");
    s.write(s.treeDir + "/big.dat", std::string(5000, 'b'));
    s.write(s.treeDir + "/" + kDanish, "danish");
    s.write(s.treeDir + "/" + kJapanese, "japanese!");
    s.write(s.treeDir + "/sub dir/inner.txt", "inner");
    s.write(s.treeDir + "/docs/readme", "r");
}

class ServerPair {
  public:
    ServerPair() {
        if (pyftpd_.Running()) {
            servers_.push_back({"pyftpdlib", pyftpd_.PortText(), pyftpd_.User(), pyftpd_.Password(),
                                pyftpd_.Root(), "/tree", true, true,
                                [this](const std::string& path, const std::string& bytes) {
                                    pyftpd_.WriteFile(path.substr(1), bytes);
                                }});
        }
        if (vsftpd_.Running()) {
            servers_.push_back({"vsftpd", vsftpd_.PortText(), vsftpd_.User(), vsftpd_.Password(),
                                vsftpd_.Root(), "/pub/tree", false, false,
                                [this](const std::string& path, const std::string& bytes) {
                                    // The folders are made here, open to the server's user.
                                    const std::filesystem::path file(vsftpd_.Root() + path);
                                    std::filesystem::path dir = file.parent_path();
                                    std::filesystem::create_directories(dir);
                                    for (; dir.string().size() > vsftpd_.Root().size() + 4;
                                         dir = dir.parent_path())
                                        std::filesystem::permissions(dir,
                                                                     std::filesystem::perms::all);
                                    vsftpd_.WriteFile(path.substr(1), bytes);
                                }});
        }
    }
    const std::vector<TServerUnderTest>& Servers() const { return servers_; }
    std::string Failures() const { return pyftpd_.Failure() + " " + vsftpd_.Failure(); }

  private:
    PyFtpdServer pyftpd_;
    VsftpdServer vsftpd_;
    std::vector<TServerUnderTest> servers_;
};

TEST_F(ListingSources, BothServersListTheTreeAsTheLocalPaneShowsIt) {
    ServerPair pair;
    ASSERT_EQ(pair.Servers().size(), 2u) << pair.Failures();
    std::vector<std::vector<std::string>> remoteRows;
    for (const TServerUnderTest& s : pair.Servers()) {
        SCOPED_TRACE(s.name);
        WriteTree(s);
        Connect(s);
        // The features decide the listing command and the name encoding.
        EXPECT_TRUE(LogHas("> FEAT"));
        EXPECT_EQ(LogHas("> MLSD"), s.machineListing);
        EXPECT_EQ(LogHas("> LIST"), !s.machineListing);
        EXPECT_EQ(LogHas("> OPTS UTF8 ON"), s.utf8);

        ASSERT_TRUE(Core().Local.SetDirectory(s.root + s.treeDir));
        const std::vector<std::string> remote = Rows(Core().FTPView);
        EXPECT_EQ(remote, Rows(Core().lvLoc));
        EXPECT_EQ(remote.size(), 6u);
        remoteRows.push_back(remote);

        // Every reader of the cache sees the same entries: the mask filters files alike.
        Core().State.RemoteMask = "*.txt";
        Core().ShowRemoteListing();
        EXPECT_EQ(Rows(Core().FTPView),
                  (std::vector<std::string>{"dir docs", "dir sub dir", "file a.txt 6",
                                            "file " + kDanish + " 6", "file " + kJapanese + " 9"}));
        main.reset();
    }
    ASSERT_EQ(remoteRows.size(), 2u);
    EXPECT_EQ(remoteRows[0], remoteRows[1]);
}

TEST_F(ListingSources, Utf8NamesDownloadAndUploadAndDownloadsKeepTheServerTime) {
    ServerPair pair;
    ASSERT_EQ(pair.Servers().size(), 2u) << pair.Failures();
    for (const TServerUnderTest& s : pair.Servers()) {
        SCOPED_TRACE(s.name);
        WriteTree(s);
        const std::string served = s.root + s.treeDir + "/" + kDanish;
        const struct timespec times[2] = {{kServerTime, 0}, {kServerTime, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, served.c_str(), times, 0), 0);
        std::filesystem::remove_all(local.path() + "/" + kDanish);
        std::filesystem::remove_all(local.path() + "/" + kJapanese);

        Connect(s);
        ASSERT_TRUE(Download({kDanish, kJapanese})) << ::testing::PrintToString(LogLines());
        EXPECT_EQ(tarnwick::testing::ReadBytes(local.path() + "/" + kDanish), "danish");
        EXPECT_EQ(tarnwick::testing::ReadBytes(local.path() + "/" + kJapanese), "japanese!");
        struct stat st {};
        ASSERT_EQ(::stat((local.path() + "/" + kDanish).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, kServerTime);

        const std::string upDanish = "up-" + kDanish;
        const std::string upJapanese = "up-" + kJapanese;
        tarnwick::testing::WriteBytes(local.path() + "/" + upDanish, "up1");
        tarnwick::testing::WriteBytes(local.path() + "/" + upJapanese, "up22");
        ASSERT_TRUE(Upload({upDanish, upJapanese})) << ::testing::PrintToString(LogLines());
        EXPECT_EQ(tarnwick::testing::ReadBytes(s.root + s.treeDir + "/" + upDanish), "up1");
        EXPECT_EQ(tarnwick::testing::ReadBytes(s.root + s.treeDir + "/" + upJapanese), "up22");
        // The pane lists them again under their own names.
        EXPECT_GE(Core().FTPView.FindCaption(upDanish), 0);
        EXPECT_GE(Core().FTPView.FindCaption(upJapanese), 0);
        main.reset();
    }
}

TEST_F(ListingSources, ATreeDownloadNeverEntersALinkTheMachineListingNames) {
    PyFtpdServer ftpd(PyFtpdServer::kDefaultUser, PyFtpdServer::kDefaultPassword, {"--mlsd-links"});
    ASSERT_TRUE(ftpd.Running()) << ftpd.Failure();
    ftpd.WriteFile("t/real/f.txt", "file");
    ASSERT_EQ(::symlink("real", (ftpd.Root() + "/t/link").c_str()), 0);
    ASSERT_EQ(::symlink(".", (ftpd.Root() + "/t/loop").c_str()), 0);
    TFTPOptions options = DefaultOptions();
    options.PromptDownLoad = false;
    SaveOptionsFile(options);
    SaveServers({Server("links", ftpd.PortText(), ftpd.User(), ftpd.Password())});
    Create();
    ASSERT_TRUE(Core().Local.SetDirectory(local.path()));
    Open("links");
    ASSERT_TRUE(NextListing()) << ftpd.Log();
    ASSERT_TRUE(LogHas("> MLSD"));

    ASSERT_TRUE(Download({"t"})) << ::testing::PrintToString(LogLines());
    EXPECT_EQ(tarnwick::testing::ReadBytes(local.path() + "/t/real/f.txt"), "file");
    struct stat st {};
    EXPECT_NE(::lstat((local.path() + "/t/link").c_str(), &st), 0);
    EXPECT_NE(::lstat((local.path() + "/t/loop").c_str(), &st), 0);
    EXPECT_FALSE(LogHas("CWD /t/link"));
    EXPECT_FALSE(LogHas("CWD /t/loop"));
}

// pyftpdlib follows links in MLSD: inside a tree its LIST shows them as links, so a link to
// the directory that holds it is never entered.
TEST_F(ListingSources, ATreeDownloadEndsWhereMlsdFollowsALinkToItsOwnFolder) {
    PyFtpdServer ftpd;
    ASSERT_TRUE(ftpd.Running()) << ftpd.Failure();
    ftpd.WriteFile("t/sub/f.txt", "file");
    ASSERT_EQ(::symlink(".", (ftpd.Root() + "/t/sub/loop").c_str()), 0);
    TFTPOptions options = DefaultOptions();
    options.PromptDownLoad = false;
    SaveOptionsFile(options);
    SaveServers({Server("loops", ftpd.PortText(), ftpd.User(), ftpd.Password())});
    Create();
    ASSERT_TRUE(Core().Local.SetDirectory(local.path()));
    Open("loops");
    ASSERT_TRUE(NextListing()) << ftpd.Log();
    ASSERT_TRUE(LogHas("> MLSD"));
    ASSERT_TRUE(Download({"t"})) << ::testing::PrintToString(LogLines());
    EXPECT_EQ(tarnwick::testing::ReadBytes(local.path() + "/t/sub/f.txt"), "file");
    struct stat st {};
    EXPECT_NE(::lstat((local.path() + "/t/sub/loop").c_str(), &st), 0);
    EXPECT_FALSE(LogHas("CWD /t/sub/loop"));
    // The starting directory is listed with MLSD again afterwards.
    EXPECT_TRUE(Core().MachineListing());
}

TEST_F(ListingSources, AnMlsdTheServerDoesNotKnowIsListedAgainWithList) {
    tarnwick::testing::ScriptedFtpServer server;
    server.Reply("220 Ready").Expect("USER u").Reply("331 Password").Expect("PASS p");
    server.Reply("230 In").Expect("FEAT").Reply("211-Features:").Reply(" MLST type*;size*;");
    server.Reply("211 End").Expect("PWD").Reply("257 \"/\" is current");
    server.Expect("TYPE A").Reply("200 Ok").Expect("PASV").Reply(server.PasvReplyText());
    server.AcceptData().Expect("MLSD").Reply("500 Unknown command").CloseData();
    server.Expect("PASV").Reply(server.PasvReplyText()).AcceptData().Expect("LIST");
    server.Reply("150 Here").SendData("-rw-r--r-- 1 o g 5 Jan 15 12:34 a.txt\r\n").CloseData();
    server.Reply("226 Done");
    server.Start();
    SaveServers({Server("scripted", server.PortText(), "u", "p")});
    Create();
    Open("scripted");
    ASSERT_TRUE(NextListing()) << ::testing::PrintToString(LogLines());
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"a.txt"}));
    EXPECT_FALSE(Core().MachineListing());
    EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
}

}  // namespace
}  // namespace tarnwick::session

// Transfers through the headless window against pyftpdlib: selections and trees both ways,
// the rewrite prompt and the prompt-off rules, resume, failures that let the batch go on,
// drops, Stop Transfer; and a hostile listing from a scripted server.
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "tests/session/TransferTestKit.h"
#include "tests/support/ScriptedFtpServer.h"

namespace tarnwick::session {
namespace {

using tarnwick::testing::RandomBytes;
using testkit::PumpUntil;
using testkit::TransferFixture;

class TransferTest : public TransferFixture {
  protected:
    // The TYPE command sent last before `command`.
    std::string TypeBefore(const std::string& command) const {
        std::string type;
        for (const std::string& l : LogLines()) {
            if (l.starts_with("> TYPE ")) type = l.substr(2);
            if (l == "> " + command) return type;
        }
        return "(no " + command + ")";
    }
    size_t IndexOf(const std::vector<std::string>& v, const std::string& s) const {
        return static_cast<size_t>(std::find(v.begin(), v.end(), s) - v.begin());
    }
};

TEST_F(TransferTest, DownloadsASelectionAndATreeBreadthFirstAndListsTheStartAgain) {
    const std::map<std::string, std::string> remote = {
        {"a.bin", RandomBytes(150000, 1)},
        {"b.txt", "plain text without a line end"},
        {"tree/t0.bin", RandomBytes(5000, 2)},
        {"tree/sub1/s1.bin", RandomBytes(7000, 3)},
        {"tree/sub1/deep/d1.bin", RandomBytes(9000, 4)},
        {"tree/sub2/s2.bin", RandomBytes(100, 5)},
    };
    for (const auto& [path, bytes] : remote) ftpd.WriteFile(path, bytes);
    MakeRemoteFolder("tree/empty");
    MakeRemoteFolder("tree/sub2/empty2");
    TFTPOptions o = DefaultOptions();
    o.TransferMode = 1;  // ASCII for the extensions listed
    o.Ext = "txt,htm";
    Connect(o);
    const int listingsBefore = listings;

    ASSERT_TRUE(Download({"a.bin", "b.txt", "tree"})) << ftpd.Log();
    for (const auto& [path, bytes] : remote) EXPECT_EQ(ReadLocal(path), bytes) << path;
    EXPECT_TRUE(std::filesystem::is_directory(LocalPath("tree/empty")));
    EXPECT_TRUE(std::filesystem::is_directory(LocalPath("tree/sub2/empty2")));

    // The selection's files first, then each directory's files before the next directory,
    // level by level.
    const std::vector<std::string> started = Started();
    ASSERT_EQ(started.size(), 6u);
    EXPECT_EQ(started[0], "a.bin");
    EXPECT_EQ(started[1], "b.txt");
    EXPECT_EQ(started[2], "t0.bin");
    EXPECT_EQ(std::set<std::string>(started.begin() + 3, started.begin() + 5),
              (std::set<std::string>{"s1.bin", "s2.bin"}));
    EXPECT_EQ(started[5], "d1.bin");

    EXPECT_EQ(TypeBefore("RETR /b.txt"), "TYPE A");
    EXPECT_EQ(TypeBefore("RETR /a.bin"), "TYPE I");
    EXPECT_GT(listings, listingsBefore);
    EXPECT_EQ(Core().Ftp1.HostDirName(), "/");
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"tree", "a.bin", "b.txt"}));
    EXPECT_GE(Core().lvLoc.FindCaption("tree"), 0);
    EXPECT_FALSE(Core().State.DownloadingTree);
}

TEST_F(TransferTest, UploadsASelectionAndATreeIntoNewAndExistingDirectories) {
    const std::map<std::string, std::string> files = {
        {"c.bin", RandomBytes(120000, 6)},
        {"up/u0.bin", RandomBytes(3000, 7)},
        {"up/inner/u1.bin", RandomBytes(4000, 8)},
        {"up/inner/deeper/u2.bin", RandomBytes(10, 9)},
    };
    for (const auto& [path, bytes] : files) WriteLocal(path, bytes);
    std::filesystem::create_directories(LocalPath("up/void"));
    // The remote "up" exists and holds u0.bin, and a u1.bin that must not be taken for the
    // one in the new directory "up/inner".
    ftpd.WriteFile("up/u0.bin", "old");
    ftpd.WriteFile("up/u1.bin", "other");
    Connect();
    dialogs.rewriteAnswers.push_back({TRewriteAnswer::Overwrite, ""});

    ASSERT_TRUE(Upload({"c.bin", "up"})) << ftpd.Log();
    for (const auto& [path, bytes] : files) EXPECT_EQ(ftpd.ReadFile(path), bytes) << path;
    EXPECT_EQ(ftpd.ReadFile("up/u1.bin"), "other");
    EXPECT_TRUE(std::filesystem::is_directory(ftpd.Root() + "/up/void"));
    EXPECT_EQ(dialogs.rewritesAsked, (std::vector<std::string>{"/up/u0.bin"}));
    EXPECT_EQ(Started(), (std::vector<std::string>{"c.bin", "u0.bin", "u1.bin", "u2.bin"}));
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"up", "c.bin"}));
}

// One batch with prepared files on both sides and prepared answers to the prompt.
struct PromptCase {
    const char* what = "";
    bool download = true;
    std::map<std::string, std::string> remote = {};  // before
    std::map<std::string, std::string> local = {};   // before
    std::vector<std::string> select = {};
    // "@" stands for the local folder.
    std::vector<std::pair<TRewriteAnswer, std::string>> answers = {};
    std::vector<std::string> asked = {};  // relative to the target side
    std::vector<std::string> started = {};
    std::map<std::string, std::string> remoteAfter = {};
    std::map<std::string, std::string> localAfter = {};
    std::vector<std::string> absent = {};  // on the target side
    const char* logged = nullptr;          // a log text that must appear
};

const std::string kBig = RandomBytes(300000, 10);
const std::string kCut = kBig.substr(0, 100000);

const PromptCase kPromptCases[] = {
    {.what = "Skip on the only file ends the batch without a transfer",
     .download = true,
     .remote = {{"a.bin", "new"}},
     .local = {{"a.bin", "old"}},
     .select = {"a.bin"},
     .answers = {{TRewriteAnswer::Skip, ""}},
     .asked = {"a.bin"},
     .localAfter = {{"a.bin", "old"}}},
    {.what = "Overwrite replaces the file",
     .download = true,
     .remote = {{"a.bin", "new"}},
     .local = {{"a.bin", "old"}},
     .select = {"a.bin"},
     .answers = {{TRewriteAnswer::Overwrite, ""}},
     .asked = {"a.bin"},
     .started = {"a.bin"},
     .localAfter = {{"a.bin", "new"}}},
    {.what = "Save as a name that exists asks again for that name",
     .download = true,
     .remote = {{"a.bin", "new"}},
     .local = {{"a.bin", "old"}, {"b.bin", "other"}},
     .select = {"a.bin"},
     .answers = {{TRewriteAnswer::SaveAs, "b.bin"}, {TRewriteAnswer::SaveAs, "@/c.bin"}},
     .asked = {"a.bin", "b.bin"},
     .started = {"c.bin"},
     .localAfter = {{"a.bin", "old"}, {"b.bin", "other"}, {"c.bin", "new"}}},
    {.what = "Cancel clears every queue",
     .download = true,
     .remote = {{"a.bin", "new"}, {"b.bin", "new"}},
     .local = {{"a.bin", "old"}},
     .select = {"a.bin", "b.bin"},
     .answers = {{TRewriteAnswer::Cancel, ""}},
     .asked = {"a.bin"},
     .localAfter = {{"a.bin", "old"}},
     .absent = {"b.bin"}},
    {.what = "Resume continues a cut download",
     .download = true,
     .remote = {{"r.bin", kBig}},
     .local = {{"r.bin", kCut}},
     .select = {"r.bin"},
     .answers = {{TRewriteAnswer::Resume, ""}},
     .asked = {"r.bin"},
     .started = {"r.bin"},
     .localAfter = {{"r.bin", kBig}},
     .logged = "> REST 100000"},
    {.what = "An upload of a listed name asks; Resume continues a cut upload",
     .download = false,
     .remote = {{"r.bin", kCut}},
     .local = {{"r.bin", kBig}},
     .select = {"r.bin"},
     .answers = {{TRewriteAnswer::Resume, ""}},
     .asked = {"r.bin"},
     .started = {"r.bin"},
     .remoteAfter = {{"r.bin", kBig}},
     .logged = "> REST 100000"},
    {.what = "Skip on an upload leaves the server's file",
     .download = false,
     .remote = {{"u.bin", "theirs"}},
     .local = {{"u.bin", "mine"}, {"v.bin", "mine too"}},
     .select = {"u.bin", "v.bin"},
     .answers = {{TRewriteAnswer::Skip, ""}},
     .asked = {"u.bin"},
     .started = {"v.bin"},
     .remoteAfter = {{"u.bin", "theirs"}, {"v.bin", "mine too"}}},
};

class RewritePromptTest : public TransferTest, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(RewritePromptTest, AnswersActAsTheirButtonsSay) {
    const PromptCase& c = GetParam();
    SCOPED_TRACE(c.what);
    for (const auto& [p, b] : c.remote) ftpd.WriteFile(p, b);
    for (const auto& [p, b] : c.local) WriteLocal(p, b);
    Connect();
    for (auto answer : c.answers) {
        if (answer.second.starts_with("@")) answer.second = local.path() + answer.second.substr(1);
        dialogs.rewriteAnswers.push_back(answer);
    }
    ASSERT_TRUE(c.download ? Download(c.select) : Upload(c.select));
    std::vector<std::string> asked;
    for (const std::string& a : c.asked) asked.push_back(c.download ? LocalPath(a) : a);
    EXPECT_EQ(dialogs.rewritesAsked, asked);
    EXPECT_EQ(Started(), c.started);
    for (const auto& [p, b] : c.remoteAfter) EXPECT_EQ(ftpd.ReadFile(p), b) << p;
    for (const auto& [p, b] : c.localAfter) EXPECT_EQ(ReadLocal(p), b) << p;
    for (const std::string& p : c.absent)
        EXPECT_FALSE(c.download ? LocalExists(p) : ftpd.Exists(p)) << p;
    if (c.logged) {
        EXPECT_TRUE(LogHas(c.logged)) << c.logged;
    }
    EXPECT_FALSE(Core().State.ServerMode);  // the session stays up
    EXPECT_TRUE(Core().Ftp1.Connected());
}

INSTANTIATE_TEST_SUITE_P(Cases, RewritePromptTest, ::testing::ValuesIn(kPromptCases));

TEST_F(TransferTest, AllLastsForTheBatchOnly) {
    for (const char* n : {"a.bin", "b.bin", "c.bin"}) {
        ftpd.WriteFile(n, "new");
        WriteLocal(n, "old");
    }
    Connect();
    dialogs.rewriteAnswers.push_back({TRewriteAnswer::All, ""});
    ASSERT_TRUE(Download({"a.bin", "b.bin"}));
    EXPECT_EQ(dialogs.rewritesAsked, (std::vector<std::string>{LocalPath("a.bin")}));
    EXPECT_EQ(ReadLocal("a.bin"), "new");
    EXPECT_EQ(ReadLocal("b.bin"), "new");

    dialogs.rewriteAnswers.push_back({TRewriteAnswer::Skip, ""});
    ASSERT_TRUE(Download({"c.bin"}));
    EXPECT_EQ(dialogs.rewritesAsked.size(), 2u);
    EXPECT_EQ(ReadLocal("c.bin"), "old");
}

class DefPromptTest : public TransferTest, public ::testing::WithParamInterface<int> {};

// An existing f.bin that holds the first part of the server's: skipped, replaced, resumed.
TEST_P(DefPromptTest, WithThePromptOffDefPromptDecides) {
    const int defPrompt = GetParam();
    const std::string full = RandomBytes(50000, 11);
    const std::string part = full.substr(0, 20000);
    ftpd.WriteFile("f.bin", full);
    ftpd.WriteFile("g.bin", "fresh");
    WriteLocal("f.bin", part);
    ConnectWithoutPrompt(defPrompt);
    ASSERT_TRUE(Download({"f.bin", "g.bin"}));
    EXPECT_TRUE(dialogs.rewritesAsked.empty());
    EXPECT_EQ(ReadLocal("f.bin"), defPrompt == 0 ? part : full);
    EXPECT_EQ(ReadLocal("g.bin"), "fresh");  // a new target is never in question
    EXPECT_EQ(LogHas("> REST 20000"), defPrompt == 2);
}

INSTANTIATE_TEST_SUITE_P(Values, DefPromptTest, ::testing::Values(0, 1, 2));

struct FailureCase {
    const char* what;
    bool download;
    std::function<void(TransferTest&)> prepare;    // before connecting
    std::function<void(TransferTest&)> meanwhile;  // after the listing, before the batch
    std::vector<std::string> select;
};

const FailureCase kFailureCases[] = {
    {"a refused upload (PutAsync)",
     false,
     [](TransferTest& t) {
         t.WriteLocal("taken", "x");
         t.WriteLocal("ok.bin", "fine");
         t.MakeRemoteFolder("taken");
     },
     [](TransferTest&) {},
     {"taken", "ok.bin"}},
    {"a refused resumed download (RestGetAsync)",
     true,
     [](TransferTest& t) {
         t.ftpd.WriteFile("gone.bin", "abc");
         t.ftpd.WriteFile("ok.bin", "fine");
         t.WriteLocal("gone.bin", "a");
     },
     [](TransferTest& t) { std::filesystem::remove(t.ftpd.Root() + "/gone.bin"); },
     {"gone.bin", "ok.bin"}},
};

class FailedFileTest : public TransferTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailedFileTest, TheBatchGoesOnWithTheNextFile) {
    const FailureCase& c = GetParam();
    SCOPED_TRACE(c.what);
    c.prepare(*this);
    ConnectWithoutPrompt(2);  // an existing target is resumed
    c.meanwhile(*this);
    ASSERT_TRUE(c.download ? Download(c.select) : Upload(c.select));
    EXPECT_EQ(c.download ? ReadLocal("ok.bin") : ftpd.ReadFile("ok.bin"), "fine");
    EXPECT_TRUE(LogHas("Error 55"));
    EXPECT_FALSE(Core().State.Busy);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedFileTest, ::testing::ValuesIn(kFailureCases));

// "Overwrite" replaces a local file only once the server sends data: a file gone from the
// server since the listing leaves the local one as it was.
TEST_F(TransferTest, AnOverwriteTheServerRefusesKeepsTheLocalFile) {
    ftpd.WriteFile("kept.bin", "theirs");
    WriteLocal("kept.bin", "mine");
    ConnectWithoutPrompt(1);  // an existing target is overwritten
    std::filesystem::remove(ftpd.Root() + "/kept.bin");
    ASSERT_TRUE(Download({"kept.bin"}));
    EXPECT_EQ(ReadLocal("kept.bin"), "mine");
    EXPECT_TRUE(LogHas("Error 55"));
}

TEST_F(TransferTest, DragsAreAcceptedOnlyFromTheOtherPaneDuringAnIdleSession) {
    ftpd.WriteFile("a.bin", "a");
    SaveServers({Server("ftpd", ftpd.PortText(), ftpd.User(), ftpd.Password())});
    Create();
    TTransferManager& tm = main->Transfers();
    EXPECT_FALSE(tm.FTPViewDragOver(TDragSource::lvLoc));  // server mode
    EXPECT_FALSE(tm.lvLocDragOver(TDragSource::FTPView));
    main->Transfers().FTPViewDropFiles({LocalPath("x")});  // refused: nothing starts
    EXPECT_FALSE(Core().State.Busy);
    ASSERT_TRUE(Core().Local.SetDirectory(local.path()));
    Open("ftpd");
    ASSERT_TRUE(NextListing());
    struct Case {
        bool busy;
        TDragSource source;
        bool toRemote;
        bool toLocal;
    };
    const Case cases[] = {
        {false, TDragSource::lvLoc, true, false},    {false, TDragSource::FTPView, false, true},
        {false, TDragSource::External, true, false}, {true, TDragSource::lvLoc, false, false},
        {true, TDragSource::FTPView, false, false},
    };
    for (const Case& c : cases) {
        if (c.busy)
            Core().SetBusy();
        else
            Core().ClearBusy();
        EXPECT_EQ(tm.FTPViewDragOver(c.source), c.toRemote) << static_cast<int>(c.source);
        EXPECT_EQ(tm.lvLocDragOver(c.source), c.toLocal) << static_cast<int>(c.source);
    }
    Core().ClearBusy();
}

TEST_F(TransferTest, FilesAndFoldersDroppedFromTheDesktopAreUploaded) {
    tarnwick::testing::TempFolder desktop;  // outside the local pane's folder
    std::filesystem::create_directories(desktop.path() + "/photos/2024");
    tarnwick::testing::WriteBytes(desktop.path() + "/note.txt", "note");
    tarnwick::testing::WriteBytes(desktop.path() + "/photos/2024/p.jpg", RandomBytes(2000, 12));
    Connect();
    main->Transfers().FTPViewDropFiles({desktop.path() + "/note.txt", desktop.path() + "/photos/"});
    ASSERT_TRUE(WaitBatch());
    EXPECT_EQ(ftpd.ReadFile("note.txt"), "note");
    EXPECT_EQ(ftpd.ReadFile("photos/2024/p.jpg"), RandomBytes(2000, 12));
}

TEST_F(TransferTest, StopTransferEndsTheSessionAndTheBatch) {
    ftpd.WriteFile("big.bin", RandomBytes(64 << 20, 13));
    ftpd.WriteFile("next.bin", "next");
    Connect();
    Select(Core().FTPView, {"big.bin", "next.bin"});
    main->Transfers().SpeedButton2Click();
    ASSERT_TRUE(PumpUntil([&] {
        const dialogs::TProgress* p = main->Transfers().Progress();
        return p && p->Transferred() > 0;
    }));
    main->Transfers().sbStopClick();
    ASSERT_TRUE(WaitServerMode());
    EXPECT_EQ(main->Transfers().Progress(), nullptr);
    EXPECT_FALSE(LocalExists("next.bin"));
    EXPECT_TRUE(Core().State.Queues.FileQueue.empty());
    EXPECT_FALSE(Core().State.Busy);
}

// A server whose tree listing names paths outside the target, an empty name, a NUL and a
// link to the root: only the one ordinary file arrives, inside the target folder.
TEST_F(TransferTest, AHostileListingWritesNothingOutsideTheTarget) {
    using tarnwick::testing::ScriptedFtpServer;
    const std::string d = "drwxr-xr-x   2 o g 4096 Jan  1  2020 ";
    const std::string f = "-rw-r--r--   1 o g    2 Jan  1  2020 ";
    const std::string root = d + "evil\r\n" + f + "../x\r\n";
    std::string evil = f + "../x\r\n" + f + "a/b\r\n" + d + "..\r\n" + f + "\r\n" + f +
                       std::string("nul\0name", 8) + "\r\n" + f + "/etc/passwd\r\n" +
                       "lrwxrwxrwx   1 o g    1 Jan  1  2020 loop -> /\r\n" + d +
                       "../../escape\r\n" + f + "ok.txt\r\n";
    ScriptedFtpServer server;
    auto list = [&](const std::string& listing) {
        server.Expect("PASV").Reply(server.PasvReplyText());
        server.AcceptData().Expect("LIST").Reply("150 Here").SendData(listing).CloseData();
        server.Reply("226 Done");
    };
    server.Reply("220 Ready").Expect("USER u").Reply("331 Password").Expect("PASS p");
    server.Reply("230 In").Expect("FEAT").Reply("500 Unknown command");
    server.Expect("PWD").Reply("257 \"/\" is current").Expect("TYPE A");
    server.Reply("200 Ok");
    list(root);
    server.Expect("CWD /evil").Reply("250 Ok");
    list(evil);
    server.Expect("TYPE I").Reply("200 Ok").Expect("PASV").Reply(server.PasvReplyText());
    server.AcceptData().Expect("RETR ok.txt").Reply("150 Go").SendData("ok").CloseData();
    server.Reply("226 Done").Expect("TYPE A").Reply("200 Ok").Expect("CWD /").Reply("250 Ok");
    list(root);
    server.Start();

    const std::string target = local.path() + "/target";
    std::filesystem::create_directories(target);
    SaveServers({Server("evil", server.PortText(), "u", "p")});
    Create();
    ASSERT_TRUE(Core().Local.SetDirectory(target));
    Open("evil");
    ASSERT_TRUE(NextListing());
    Select(Core().FTPView, {"evil", "../x"});
    main->Transfers().SpeedButton2Click();
    auto dialogue = [&] {
        std::string text;
        for (const std::string& l : LogLines()) text += l + "\n";
        for (const std::string& m : server.Mismatches()) text += "mismatch: " + m + "\n";
        return text;
    };
    ASSERT_TRUE(WaitBatch(10000)) << dialogue();
    ASSERT_TRUE(PumpUntil([&] { return server.ScriptDone(); })) << dialogue();
    EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();

    std::set<std::string> found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(local.path()))
        found.insert(std::filesystem::relative(e.path(), local.path()).string());
    EXPECT_EQ(found, (std::set<std::string>{"target", "target/evil", "target/evil/ok.txt"}));
    EXPECT_EQ(ReadLocal("target/evil/ok.txt"), "ok");
    EXPECT_TRUE(LogHas("names \"a/b\", which cannot be a local file name"));
    EXPECT_TRUE(LogHas("Skipped the link /evil/loop to a directory"));
    EXPECT_TRUE(LogHas("holds a line that cannot be read"));
    EXPECT_FALSE(Core().State.Busy);
}

}  // namespace
}  // namespace tarnwick::session

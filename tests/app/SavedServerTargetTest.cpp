// "@NAME[:PATH]" in tarnwick-cli: which saved server a reference names, the address, login and
// folder a record gives, and the errors for names that are not saved.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/Cli.h"
#include "app/SavedServerTarget.h"
#include "tests/settings/TempFolder.h"
#include "tests/support/SavedServers.h"
#include "tests/support/ScriptedFtpServer.h"

namespace tarnwick::cli {
namespace {

using tarnwick::testing::LoopbackServer;

TFTPServerInfo Named(const std::string& name) {
    TFTPServerInfo s = NewServerInfo();
    s.Name = name;
    s.Server = "h";
    return s;
}

TEST(SavedServerTarget, AReferenceNamesTheLongestSavedNameBeforeItsPath) {
    const std::vector<TFTPServerInfo> servers = {Named("Mirror"), Named("Work box"), Named("a:b"),
                                                 Named("a"),      Named("Mirror"),   Named("x:")};
    struct Case {
        const char* reference;
        int index;
        const char* path;
    };
    const Case cases[] = {
        {"Mirror", 0, ""},  // the first of two records with that name
        {"Mirror:/pub/file.iso", 0, "/pub/file.iso"},
        {"Mirror:", 0, ""},
        {"Work box:in/", 1, "in/"},
        {"a:b", 2, ""},  // a whole saved name wins over "a" with the path "b"
        {"a:b:c", 2, "c"},
        {"a:c:d", 3, "c:d"},
        {"x:", 5, ""},
        {"x::p", 5, "p"},
        {"mirror", -1, ""},  // names are case-sensitive
        {"Mirror/pub", -1, ""},
        {"Nope:/pub", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reference);
        std::string path = "junk";
        EXPECT_EQ(FindSavedServer(servers, c.reference, path), c.index);
        EXPECT_EQ(path, c.path);
    }
}

TEST(SavedServerTarget, ARecordGivesTheAddressLoginAndFolderTheWindowWouldUse) {
    struct Case {
        const char* what;
        std::function<void(TFTPServerInfo&)> edit;
        const char* path;
        FtpUrl url;
        bool ask;
    };
    const Case cases[] = {
        {"saved password, initial directory",
         [](TFTPServerInfo&) {},
         "",
         {"kim", "pw", "host1", "21", "/pub/"},
         false},
        {"relative path below the initial directory",
         [](TFTPServerInfo&) {},
         "in/a.txt",
         {"kim", "pw", "host1", "21", "/pub/in/a.txt"},
         false},
        {"absolute path",
         [](TFTPServerInfo&) {},
         "/etc/motd",
         {"kim", "pw", "host1", "21", "/etc/motd"},
         false},
        {"no initial directory: where the login puts the user",
         [](TFTPServerInfo& s) { s.InitialDir = ""; },
         "a.txt",
         {"kim", "pw", "host1", "21", "a.txt"},
         false},
        {"initial directory \"/\" as the window takes it",
         [](TFTPServerInfo& s) { s.InitialDir = "/"; },
         "",
         {"kim", "pw", "host1", "21", ""},
         false},
        {"empty port",
         [](TFTPServerInfo& s) { s.Port = ""; },
         "",
         {"kim", "pw", "host1", "21", "/pub/"},
         false},
        {"URL-like Server text",
         [](TFTPServerInfo& s) { s.Server = "  FTP://ann:se cret@ftp.example:2121/dir  "; },
         "f",
         {"ann", "secret", "ftp.example", "2121", "/dir/f"},
         false},
        {"anonymous with the e-mail",
         [](TFTPServerInfo& s) {
             s.Anonymous = 1;
             s.EMail = "me@example.org";
         },
         "",
         {"anonymous", "me@example.org", "host1", "21", "/pub/"},
         false},
        {"anonymous without an e-mail",
         [](TFTPServerInfo& s) { s.Anonymous = 1; },
         "",
         {"anonymous", kAnonymousPassword, "host1", "21", "/pub/"},
         false},
        {"password not saved: asked, the stored one unused",
         [](TFTPServerInfo& s) { s.SavePassword = 0; },
         "",
         {"kim", "", "host1", "21", "/pub/"},
         true},
        {"explicit TLS required",
         [](TFTPServerInfo& s) { s.Encryption = 1; },
         "",
         {"kim", "pw", "host1", "21", "/pub/", true, ftp::TFtpEncryption::ExplicitRequired},
         false},
        {"implicit TLS without a port: 990",
         [](TFTPServerInfo& s) {
             s.Encryption = 2;
             s.Port = "";
         },
         "",
         {"kim", "pw", "host1", "990", "/pub/", false, ftp::TFtpEncryption::Implicit},
         false},
        {"explicit TLS if available",
         [](TFTPServerInfo& s) { s.Encryption = 3; },
         "",
         {"kim", "pw", "host1", "21", "/pub/", true, ftp::TFtpEncryption::ExplicitIfAvailable},
         false},
        {"an Encryption value from a newer program: TLS, never the clear",
         [](TFTPServerInfo& s) { s.Encryption = 9; },
         "",
         {"kim", "pw", "host1", "21", "/pub/", true, ftp::TFtpEncryption::ExplicitRequired},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TFTPServerInfo record = LoopbackServer("S", "21", "kim", "pw");
        record.Server = "host1";
        record.InitialDir = "/pub";
        record.Answer = "1000000";
        c.edit(record);
        SavedServerTarget target;
        std::string reason;
        ASSERT_TRUE(SavedServerToTarget(record, c.path, target, reason)) << reason;
        EXPECT_EQ(target.Url.User, c.url.User);
        EXPECT_EQ(target.Url.Password, c.url.Password);
        EXPECT_EQ(target.Url.Host, c.url.Host);
        EXPECT_EQ(target.Url.Port, c.url.Port);
        EXPECT_EQ(target.Url.Path, c.url.Path);
        EXPECT_EQ(target.Url.Encryption, c.url.Encryption);
        EXPECT_EQ(target.AskPassword, c.ask);
        EXPECT_TRUE(target.Passive);
        EXPECT_EQ(target.Answer, "1000000");
    }
}

class SavedServerCli : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("TARNWICK_HOME", home.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("TARNWICK_HOME"); }

    int Run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return RunCli(args, out, err, [&](std::string_view, std::ostream&) {
            ADD_FAILURE() << "no password prompt expected";
            return std::optional<std::string>();
        });
    }

    testing::TempFolder home;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(SavedServerCli, NamesThatAreNotSavedAreUsageErrorsThatShowNoSecret) {
    TFTPServerInfo saved = LoopbackServer("Mirror", "21", "kim", "pw-kept-secret");
    TFTPServerInfo noHost = LoopbackServer("No host", "21", "kim", "pw-kept-secret");
    noHost.Server = "  ftp://kim:pw-kept-secret@/dir";
    ASSERT_TRUE(SaveServerList(home.path(), {saved, noHost}));
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string message;
    };
    const Case cases[] = {
        {{"ls", "@Nope"}, kExitUsage, "\"@Nope\" names no saved server"},
        {{"ls", "@mirror"}, kExitUsage, "\"@mirror\" names no saved server"},
        {{"ls", "@"}, kExitUsage, "\"@\" takes the name of a saved server"},
        {{"ls", "@Nope\x1b[2J"}, kExitUsage, "\"@Nope\\x1B[2J\" names no saved server"},
        {{"get", "@Mirror", "x"}, kExitUsage, "\"@Mirror\" names no remote file"},
        {{"ls", "@Mirror:a\r\nDELE x"}, kExitUsage, "the path after \"Mirror\" holds a line break"},
        {{"ls", "@No host"}, kExitFailed, "the saved server \"No host\" names no host"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        EXPECT_EQ(Run(c.args), c.exit);
        EXPECT_NE(err.str().find("tarnwick-cli: " + c.message), std::string::npos) << err.str();
        EXPECT_EQ(err.str().find("pw-kept-secret"), std::string::npos) << err.str();
        EXPECT_EQ(err.str().find("\x1b"), std::string::npos);
        EXPECT_EQ(out.str(), "");
    }
    // Without a list every name is unknown.
    std::filesystem::remove(home.file(kServerListFileName));
    EXPECT_EQ(Run({"ls", "@Mirror"}), kExitUsage);
    // A list that cannot be read is a failure of its own.
    std::filesystem::create_directory(home.file(kServerListFileName));
    EXPECT_EQ(Run({"ls", "@Mirror"}), kExitFailed);
    EXPECT_NE(err.str().find("Cannot read"), std::string::npos) << err.str();
}

TEST_F(SavedServerCli, AnAnonymousServerLogsInWithItsEMail) {
    testing::ScriptedFtpServer server;
    server.Reply("220 Ready")
        .Expect("USER anonymous")
        .Reply("331 Send your e-mail")
        .Expect("PASS me@example.org")
        .Reply("530 Not today")
        .Expect("QUIT")
        .Reply("221 Bye");
    server.Start();
    TFTPServerInfo anon = LoopbackServer("Open mirror", server.PortText(), "kim", "pw");
    anon.Anonymous = 1;
    anon.EMail = "me@example.org";
    ASSERT_TRUE(SaveServerList(home.path(), {anon}));
    EXPECT_EQ(Run({"ls", "@Open mirror"}), kExitFailed);
    EXPECT_NE(err.str().find("530 Not today"), std::string::npos) << err.str();
    EXPECT_TRUE(server.WaitScriptDone());
    EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
}

}  // namespace
}  // namespace tarnwick::cli

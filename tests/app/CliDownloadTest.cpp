// tarnwick-cli get against pyftpdlib: a download replaces its target only when it has
// succeeded, and the bytes of a download cut short are continued by get --resume.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/Cli.h"
#include "tests/settings/TempFolder.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::cli {
namespace {

namespace fs = std::filesystem;
using tarnwick::testing::PyFtpdServer;
using tarnwick::testing::RandomBytes;
using tarnwick::testing::ReadBytes;
using tarnwick::testing::ScriptedFtpServer;
using tarnwick::testing::TempFolder;
using tarnwick::testing::WriteBytes;

class CliDownload : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server.Running()) << server.Failure(); }

    int Cli(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return RunCli(args, out, err);
    }
    std::string Url(const std::string& path) const {
        return "ftp://" + server.User() + ":" + server.Password() +
               "@127.0.0.1:" + server.PortText() + "/" + path;
    }
    // The names in the local folder.
    std::set<std::string> LocalNames() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(local.path()))
            names.insert(entry.path().filename().string());
        return names;
    }

    PyFtpdServer server;
    TempFolder local;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(CliDownload, TheTargetIsReplacedOnlyBySuccess) {
    const std::string whole = RandomBytes(300000, 3);
    server.WriteFile("whole", whole);
    struct Case {
        const char* what;
        const char* url;
        const char* target;    // the name given as LOCAL
        const char* replaced;  // the file that gets the download (a link's file)
        bool existed;          // `replaced` held older, longer bytes with mode 0640
        bool succeeds;
    };
    const Case cases[] = {
        {"over a longer file", "whole", "f", "f", true, true},
        {"into a new file", "whole", "new", "new", false, true},
        {"through a symbolic link", "whole", "link", "real", true, true},
        {"a refused download", "no-such-file", "f", "f", true, false},
    };
    const std::string old(400000, 'o');
    constexpr mode_t kOldMode = 0640;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(local.path());
        fs::create_directories(local.path());
        const std::string replaced = local.file(c.replaced);
        const bool throughLink = std::string(c.target) != c.replaced;
        if (c.existed) {
            WriteBytes(replaced, old);
            ::chmod(replaced.c_str(), kOldMode);
        }
        if (throughLink) fs::create_symlink(c.replaced, local.file(c.target));
        std::set<std::string> expectedNames = LocalNames();
        if (c.succeeds) expectedNames.insert(c.replaced);

        EXPECT_EQ(Cli({"get", Url(c.url), local.file(c.target)}),
                  c.succeeds ? kExitOk : kExitFailed)
            << err.str();
        if (c.succeeds || c.existed) {
            EXPECT_TRUE(ReadBytes(replaced) == (c.succeeds ? whole : old));
        }
        // No part file stays behind, a symbolic link stays one, the mode is kept.
        EXPECT_EQ(LocalNames(), expectedNames);
        if (throughLink) {
            EXPECT_TRUE(fs::is_symlink(local.file(c.target)));
        }
        if (c.existed) {
            struct stat st {};
            ASSERT_EQ(::stat(replaced.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, kOldMode);
        }
    }
}

// A download cut after 150 keeps its bytes under the name the message gives; get --resume
// into that name continues them from the real server.
TEST_F(CliDownload, TheBytesOfACutDownloadAreContinuedByResume) {
    const std::string whole = RandomBytes(500000, 5);
    server.WriteFile("whole", whole);
    const std::string target = local.file("whole");
    WriteBytes(target, "an older copy");

    ScriptedFtpServer cut;
    cut.Reply("220 Ready").Expect("USER *").Reply("331 Password").Expect("PASS *").Reply("230 In");
    cut.Expect("FEAT").Reply("500 Unknown command");
    cut.Expect("CWD /").Reply("250 OK").Expect("TYPE I").Reply("200 Type I");
    cut.Expect("PASV").Reply(cut.PasvReplyText()).AcceptData().Expect("RETR whole");
    cut.Reply("150 Opening").SendData(whole.substr(0, 123457)).CloseData();
    cut.Reply("426 Connection closed; transfer aborted").Expect("QUIT").Reply("221 Bye");
    cut.Start();
    ASSERT_EQ(Cli({"get", "ftp://127.0.0.1:" + cut.PortText() + "/whole", target}), kExitFailed);
    EXPECT_EQ(ReadBytes(target), "an older copy");
    const std::string message = err.str();
    const std::string lead = "Partial download kept in ";
    const std::size_t at = message.find(lead);
    ASSERT_NE(at, std::string::npos) << message;
    const std::size_t from = at + lead.size();
    const std::string part = message.substr(from, message.find(" (", from) - from);
    EXPECT_EQ(part, target + ".part");
    ASSERT_EQ(ReadBytes(part).size(), 123457u);

    ASSERT_EQ(Cli({"--resume", "get", Url("whole"), part}), kExitOk) << err.str();
    EXPECT_TRUE(ReadBytes(part) == whole);
}

}  // namespace
}  // namespace tarnwick::cli

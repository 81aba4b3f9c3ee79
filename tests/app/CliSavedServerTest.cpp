// tarnwick-cli with saved servers ("@NAME[:PATH]") against pyftpdlib: the record's login,
// folder, mode and host type, and the password asked for when the record keeps none.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/Cli.h"
#include "tests/settings/TempFolder.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/SavedServers.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::cli {
namespace {

using tarnwick::testing::LoopbackServer;
using tarnwick::testing::PyFtpdServer;
using tarnwick::testing::ReadBytes;
using tarnwick::testing::TempFolder;
using tarnwick::testing::WriteBytes;

constexpr const char* kNoTerminal = "/nonexistent/tarnwick-tty";

// The name field of the ls line whose name ends with `name`.
std::string NameField(const std::string& listing, const std::string& name) {
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find('\t') + 1;
        const std::size_t end = line.find('\t', start);
        const std::string field = line.substr(start, end - start);
        if (field.size() >= name.size() && field.ends_with(name)) return field;
    }
    return "";
}

class CliSavedServer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.Running()) << server.Failure();
        ::setenv("TARNWICK_HOME", home.path().c_str(), 1);
        server.WriteFile("pub/a.txt", "alpha");
        server.WriteFile("pub/sub/b.txt", "bravo");
    }
    void TearDown() override { ::unsetenv("TARNWICK_HOME"); }

    // A record of the test server with the saved login, passive, starting in /pub.
    TFTPServerInfo Saved(const std::string& name) const {
        TFTPServerInfo s =
            LoopbackServer(name, server.PortText(), server.User(), server.Password());
        s.InitialDir = "/pub";
        return s;
    }
    void Save(const std::vector<TFTPServerInfo>& servers) const {
        ASSERT_TRUE(SaveServerList(home.path(), servers));
    }

    int Cli(std::vector<std::string> args, const PasswordPrompt& prompt = NoPrompt) {
        out.str("");
        err.str("");
        return RunCli(args, out, err, prompt);
    }
    static std::optional<std::string> NoPrompt(std::string_view, std::ostream&) {
        ADD_FAILURE() << "no password prompt expected";
        return std::nullopt;
    }

    PyFtpdServer server;
    TempFolder home;
    TempFolder local;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(CliSavedServer, CommandsWorkInTheSavedFolderWithTheSavedLogin) {
    TFTPServerInfo url = Saved("Url box");
    url.Server = "ftp://" + server.User() + ":" + server.Password() +
                 "@127.0.0.1:" + server.PortText() + "/pub/sub";
    url.User = "";
    url.Password = "";
    url.Port = "";
    url.InitialDir = "";
    TFTPServerInfo root = Saved("Root");
    root.InitialDir = "";
    Save({Saved("Saved"), url, root});
    WriteBytes(local.file("up.txt"), "uploaded");

    struct Case {
        std::vector<std::string> args;
        std::string listed;  // a name ls shows, or empty
    };
    const Case cases[] = {
        {{"ls", "@Saved"}, "a.txt"},
        {{"ls", "@Url box"}, "b.txt"},  // the login and folder from a URL-like Server text
        {{"ls", "@Saved:sub"}, "b.txt"},
        {{"ls", "@Url box:/pub"}, "a.txt"},
        {{"ls", "@Root"}, "pub"},
        {{"get", "@Saved:sub/b.txt", local.file("b.txt")}, ""},
        {{"put", local.file("up.txt"), "@Url box:"}, ""},
        {{"put", local.file("up.txt"), "@Root:/pub/up2.txt"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        ASSERT_EQ(Cli(c.args), kExitOk) << err.str();
        if (!c.listed.empty()) {
            EXPECT_EQ(NameField(out.str(), c.listed), c.listed) << out.str();
        }
    }
    EXPECT_EQ(ReadBytes(local.file("b.txt")), "bravo");
    EXPECT_EQ(server.ReadFile("pub/sub/up.txt"), "uploaded");
    EXPECT_EQ(server.ReadFile("pub/up2.txt"), "uploaded");
}

// pyftpdlib lists with MLSD: the record's host type is the fallback of servers without it,
// a host type given on the command line reads the text listing by it.
TEST_F(CliSavedServer, LsListsWithMlsdUnlessAnswerIsGiven) {
    TFTPServerInfo text = Saved("Text");
    text.Answer = "1000000";  // whole lines as names
    Save({text});
    ASSERT_EQ(Cli({"ls", "@Text"}), kExitOk) << err.str();
    EXPECT_EQ(NameField(out.str(), "a.txt"), "a.txt") << out.str();
    ASSERT_EQ(Cli({"--answer", "1000000", "ls", "@Text"}), kExitOk) << err.str();
    const std::string whole = NameField(out.str(), "a.txt");
    EXPECT_NE(whole, "a.txt");
    EXPECT_TRUE(whole.starts_with("-rw")) << out.str();
    ASSERT_EQ(Cli({"--answer", "0957681", "ls", "@Text"}), kExitOk) << err.str();
    EXPECT_EQ(NameField(out.str(), "a.txt"), "a.txt") << out.str();
}

TEST_F(CliSavedServer, TheRecordsModeHoldsUnlessAnOptionSaysOtherwise) {
    struct Case {
        std::uint8_t pasv;
        std::uint8_t dataConnection;
        const char* option;
        const char* sent;
    };
    // The record's data connection (a value it does not know is PASV) and --epsv; EPSV
    // concerns passive mode only.
    const Case cases[] = {
        {0, 0, nullptr, "> PORT "},    {1, 0, nullptr, "> PASV"},  {0, 0, "--passive", "> PASV"},
        {1, 0, "--active", "> PORT "}, {1, 1, nullptr, "> EPSV"},  {1, 9, nullptr, "> PASV"},
        {1, 0, "--epsv", "> EPSV"},    {0, 1, nullptr, "> PORT "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.pasv) + "/" + std::to_string(c.dataConnection) +
                     (c.option ? c.option : ""));
        TFTPServerInfo s = Saved("Mode");
        s.Pasv = c.pasv;
        s.DataConnection = c.dataConnection;
        Save({s});
        std::vector<std::string> args = {"-v", "ls", "@Mode"};
        if (c.option) args.insert(args.begin(), c.option);
        ASSERT_EQ(Cli(args), kExitOk) << err.str();
        EXPECT_NE(err.str().find(c.sent), std::string::npos) << err.str();
    }
}

TEST_F(CliSavedServer, APasswordNotSavedIsReadWithoutShowingIt) {
    TFTPServerInfo ask = Saved("Ask me");
    ask.SavePassword = 0;
    ask.Password = "stale";
    Save({ask});
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string typed = server.Password() + "\n";
    ASSERT_EQ(::write(fds[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    ::close(fds[1]);
    const int code = Cli({"-v", "ls", "@Ask me"}, TerminalPasswordPrompt(kNoTerminal, fds[0]));
    ::close(fds[0]);
    ASSERT_EQ(code, kExitOk) << err.str();
    EXPECT_EQ(NameField(out.str(), "a.txt"), "a.txt");
    EXPECT_TRUE(err.str().starts_with(kPasswordPrompt)) << err.str();
    EXPECT_NE(err.str().find("> PASS ****"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find(server.Password()), std::string::npos) << err.str();

    // No password given: nothing is sent.
    const std::string logBefore = server.Log();
    EXPECT_EQ(Cli({"ls", "@Ask me"},
                  [](std::string_view, std::ostream&) { return std::optional<std::string>(); }),
              kExitFailed);
    EXPECT_NE(err.str().find("tarnwick-cli: no password given"), std::string::npos) << err.str();
    EXPECT_EQ(server.Log(), logBefore);
}

TEST_F(CliSavedServer, AWrongSavedPasswordFailsWithoutShowingIt) {
    TFTPServerInfo wrong = Saved("Wrong");
    wrong.Password = "not-the-password";
    Save({wrong});
    EXPECT_EQ(Cli({"-v", "ls", "@Wrong"}), kExitFailed);
    EXPECT_NE(err.str().find("530"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("not-the-password"), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace tarnwick::cli

// tarnwick-cli's settings commands over a scratch settings folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "app/Cli.h"
#include "app/CliSession.h"
#include "tests/settings/TempFolder.h"
#include "tests/support/ScriptedFtpServer.h"

namespace tarnwick::cli {
namespace {

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("TARNWICK_HOME", home_.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("TARNWICK_HOME"); }

    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return RunCli(args, out_, err_);
    }

    testing::TempFolder home_;
    std::ostringstream out_;
    std::ostringstream err_;
};

constexpr const char* kMirror =
    "Name=Mirror;Server=host1;Port=21;User=anonymous;Anonymous=1;SavePassword=1;Pasv=0;"
    "Answer=0957681;CheckPSW=1;CheckVHost=0;";

TEST_F(CliTest, SitesShowNameTabUrl) {
    testing::WriteBytes(home_.file("ftplist.TXT"),
                        std::string(kMirror) + "\r\n" +
                            "Name=Work box;Server=files.example;Port=2121;User=kim;"
                            "InitialDir=/pub/in;\r\n"
                            "Name=NoSlash;Server=h;User=u;InitialDir=data;\r\n");
    ASSERT_EQ(Run({"sites"}), kExitOk) << err_.str();
    EXPECT_EQ(out_.str(),
              "Mirror\tftp://anonymous@host1:21/\n"
              "Work box\tftp://kim@files.example:2121/pub/in\n"
              "NoSlash\tftp://u@h:21/data\n");
}

TEST_F(CliTest, SitesLinesAreTheLinesTheFileWouldGet) {
    testing::WriteBytes(home_.file("ftplist.TXT"), std::string(kMirror) + "\r\n\r\n");
    ASSERT_EQ(Run({"sites", "--lines"}), kExitOk) << err_.str();
    // A key the line lacks takes the new-record value, so AnswerName comes back as "Default".
    EXPECT_EQ(out_.str(), std::string("Name=Mirror;Server=host1;Port=21;User=anonymous;Anonymous=1;"
                                      "SavePassword=1;Pasv=0;Answer=0957681;AnswerName=Default;"
                                      "CheckPSW=1;CheckVHost=0;\n") +
                              "Port=21;User=anonymous;Anonymous=0;SavePassword=1;Pasv=0;"
                              "Answer=0957681;AnswerName=Default;CheckPSW=1;CheckVHost=0;\n");
}

TEST_F(CliTest, SitesWithoutAListPrintNothing) {
    EXPECT_EQ(Run({"sites"}), kExitOk);
    EXPECT_EQ(out_.str(), "");
}

TEST_F(CliTest, AnUnreadableListFails) {
    std::filesystem::create_directory(home_.file("ftplist.TXT"));
    EXPECT_EQ(Run({"sites"}), kExitFailed);
    EXPECT_NE(err_.str().find("ftplist.TXT"), std::string::npos);
}

TEST_F(CliTest, OptionsShowTheValuesInForceWithoutUnknownKeys) {
    testing::WriteBytes(home_.file("options.ftp"),
                        "; mine\r\n[Common]\r\ntimeout=42\r\nSomethingElse=1\r\n");
    ASSERT_EQ(Run({"options"}), kExitOk) << err_.str();
    const std::string text = out_.str();
    EXPECT_NE(text.find("TimeOut=42\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("SomethingElse"), std::string::npos);
    EXPECT_EQ(text.find("; mine"), std::string::npos);
}

TEST_F(CliTest, BadUsageExitsTwoWithTheUsage) {
    const std::vector<std::vector<std::string>> cases = {
        {}, {"nonsense"}, {"sites", "--bogus"}, {"sites", "--lines", "x"}, {"options", "x"}};
    for (const auto& args : cases) {
        EXPECT_EQ(Run(args), kExitUsage);
        EXPECT_EQ(err_.str(), UsageText());
        EXPECT_EQ(out_.str(), "");
    }
}

TEST_F(CliTest, HelpAskedForPrintsTheUsageAndSucceeds) {
    for (const char* option : {"--help", "-h"}) {
        EXPECT_EQ(Run({option}), kExitOk) << option;
        EXPECT_EQ(out_.str(), UsageText()) << option;
        EXPECT_EQ(err_.str(), "") << option;
    }
}

TEST_F(CliTest, BadTransferUsageExitsTwoWithTheReasonAndTheUsage) {
    const std::vector<std::vector<std::string>> cases = {
        {"ls"},
        {"ls", "ftp://h/", "extra"},
        {"get", "ftp://h/a"},
        {"put", "local"},
        {"ls", "http://h/"},
        {"get", "ftp://h/dir/", "local"},
        {"put", "local", "ftp://h:99999/"},
        {"--bogus", "ls", "ftp://h/"},
        {"ls", "--answer", "12", "ftp://h/"},
        {"ls", "ftp://h/", "--answer"},
        {"-v"},
        {"--proxy-type", "socks6", "ls", "ftp://h/"},
        {"--proxy-type", "socks5", "ls", "ftp://h/"},
        {"--proxy-type", "ftp-proxy", "ls", "ftp://h/"},
        {"--proxy", "p:1080", "ls", "ftp://h/"},
        {"--proxy-type", "direct", "--proxy", "p:1080", "ls", "ftp://h/"},
        {"--proxy-type", "socks5", "--proxy", "p:0", "ls", "ftp://h/"},
        {"--proxy-type", "socks5", "--proxy", "p:65536", "ls", "ftp://h/"},
        {"--proxy-type", "socks5", "--proxy", "p:", "ls", "ftp://h/"},
        {"--proxy-type", "socks5", "--proxy", ":1080", "ls", "ftp://h/"},
        {"--proxy-type", "socks5", "--proxy", "u@p:1080", "ls", "ftp://h/"},
        {"--proxy-type", "socks5", "--proxy", "p:10x", "ls", "ftp://h/"},
        {"--proxy-type", "ftp-proxy", "--proxy", "p", "--proxy-user", "u", "ls", "ftp://h/"},
        {"--proxy-user", "u", "ls", "ftp://h/"},
        {"--proxy-type", "socks4", "--proxy", "p", "--proxy-pass", "x", "ls", "ftp://h/"},
        {"--proxy-type", "socks5", "--proxy", "p", "--active", "ls", "ftp://h/"},
        {"ls", "ftp://h/", "--proxy"},
        {"ls", "ftp://h/", "--proxy-type"},
        {"--timeout", "ls", "ftp://h/"},
        {"--timeout", "-1", "ls", "ftp://h/"},
        {"--timeout", "1.5", "ls", "ftp://h/"},
        {"--timeout", "1234567890", "ls", "ftp://h/"},
        {"ls", "ftp://h/", "--timeout"},
    };
    for (const auto& args : cases) {
        EXPECT_EQ(Run(args), kExitUsage) << args.size();
        const std::string err = err_.str();
        EXPECT_EQ(err.substr(err.size() - UsageText().size()), UsageText());
        EXPECT_EQ(out_.str(), "");
    }
}

TEST_F(CliTest, FailuresBeforeAnyTransferExitOneWithTheReason) {
    // An upload of a file that cannot be read never connects.
    EXPECT_EQ(Run({"put", home_.file("missing"), "ftp://127.0.0.1:9/x"}), kExitFailed);
    EXPECT_NE(err_.str().find("No such file"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"put", home_.path(), "ftp://127.0.0.1:9/x"}), kExitFailed);
    EXPECT_NE(err_.str().find("not a readable file"), std::string::npos) << err_.str();
    // Nothing listens on the discard port of the loopback.
    EXPECT_EQ(Run({"--active", "ls", "ftp://127.0.0.1:9/"}), kExitFailed);
    EXPECT_FALSE(err_.str().empty());
    EXPECT_EQ(out_.str(), "");
}

// A scripted server stands in for the FTP proxy: the login names the target, with its
// port unless it is the standard one.
TEST_F(CliTest, ThroughAnFtpProxyTheLoginNamesTheTarget) {
    struct Case {
        const char* url;
        const char* user;
    };
    const Case cases[] = {
        {"ftp://joe:pw@files.example/", "USER joe@files.example"},
        {"ftp://joe:pw@files.example:21/", "USER joe@files.example"},
        {"ftp://joe:pw@files.example:2121/", "USER joe@files.example:2121"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        tarnwick::testing::ScriptedFtpServer proxy;
        proxy.Reply("220 Proxy ready")
            .Expect(c.user)
            .Reply("530 Not today")
            .Expect("QUIT")
            .Reply("221 Bye")
            .Close();
        proxy.Start();
        EXPECT_EQ(Run({"--proxy-type", "ftp-proxy", "--proxy", "127.0.0.1:" + proxy.PortText(),
                       "ls", c.url}),
                  kExitFailed);
        EXPECT_EQ(err_.str(), "530 Not today\n");
        EXPECT_TRUE(proxy.Mismatches().empty()) << proxy.Mismatches().front();
    }
}

// ls prints each entry as its line arrives; a line past the listing's line limit ends
// the transfer with the listing's reason, after the entries before it.
TEST_F(CliTest, ListingWithAnEndlessLineStopsWithAnError) {
    tarnwick::testing::ScriptedFtpServer server;
    const std::string entry = "-rw-r--r-- 1 o g 10 Jan 1 2000 a.txt\r\n";
    server.Reply("220 Ready")
        .Expect("USER anonymous")
        .Reply("331 Password")
        .Expect("PASS *")
        .Reply("230 In")
        .Expect("FEAT")
        .Reply("500 Unknown command")
        .Expect("TYPE A")
        .Reply("200 Type A")
        .Expect("PASV")
        .Reply(server.PasvReplyText())
        .AcceptData()
        .Expect("LIST")
        .Reply("150 Here it comes")
        .SendData(entry + std::string(100 * 1024, 'x') + "\r\n" + entry)
        .CloseData()
        .Reply("226 Done")
        .Expect("QUIT")
        .Reply("221 Bye")
        .Close();
    server.Start();
    EXPECT_EQ(Run({"--passive", "ls", "ftp://127.0.0.1:" + server.PortText()}), kExitFailed);
    EXPECT_EQ(out_.str(), "1\ta.txt\t10\t01.01.00\t\t-rw-r--r--\n");
    EXPECT_EQ(err_.str(), "Error Listing line longer than 65536 bytes\n");
    EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
}

TEST(CliDisplay, ThePasswordNeverShows) {
    EXPECT_EQ(MaskedDisplayLine("> PASS s3cret"), "> PASS ****");
    EXPECT_EQ(MaskedDisplayLine("> USER PASS here"), "> PASS ****");
    EXPECT_EQ(MaskedDisplayLine("< 230 Login successful."), "< 230 Login successful.");
    EXPECT_EQ(MaskedDisplayLine("> PASSIVE"), "> PASSIVE");
}

}  // namespace
}  // namespace tarnwick::cli

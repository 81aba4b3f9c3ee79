// tarnwick-cli's settings commands over a scratch settings folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "app/Cli.h"
#include "tests/settings/TempFolder.h"

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

}  // namespace
}  // namespace tarnwick::cli

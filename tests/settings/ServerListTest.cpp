#include "settings/ServerList.h"

#include <gtest/gtest.h>

#include <functional>

#include "TempFolder.h"

namespace tarnwick {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
using namespace std::string_literals;

TEST(ServerList, MirrorExampleIsWrittenByteForByte) {
    TFTPServerInfo mirror = NewServerInfo();
    mirror.Name = "Mirror";
    mirror.Server = "host1";
    mirror.Anonymous = 1;
    mirror.AnswerName = "";  // the "Default" type leaves it empty
    TempFolder folder;
    ASSERT_TRUE(SaveServerList(folder.path(), {mirror}));
    EXPECT_EQ(ReadBytes(folder.file("ftplist.TXT")),
              "Name=Mirror;Server=host1;Port=21;User=anonymous;Anonymous=1;SavePassword=1;"
              "Pasv=0;Answer=0957681;CheckPSW=1;CheckVHost=0;\r\n");
}

struct ReadCase {
    const char* line;
    std::function<void(const TFTPServerInfo&)> check;
};

TEST(ServerList, ReadsLinesWithDefaultsAndFallbacks) {
    const ReadCase cases[] = {
        {"Name=a;SavePassword=1;",
         [](auto& s) {
             EXPECT_EQ(s.Password, "");
             EXPECT_EQ(s.SavePassword, 1);
         }},
        {"Name=a;",
         [](auto& s) {
             EXPECT_EQ(s.Port, "21");
             EXPECT_EQ(s.User, "anonymous");
             EXPECT_EQ(s.Answer, "0957681");
             EXPECT_EQ(s.AnswerName, "Default");
             EXPECT_EQ(s.Anonymous, 0);  // absent: not anonymous
             EXPECT_EQ(s.CheckPSW, 1);
         }},
        {"Anonymous=yes;", [](auto& s) { EXPECT_EQ(s.Anonymous, 1); }},
        {"Anonymous=0;", [](auto& s) { EXPECT_EQ(s.Anonymous, 0); }},
        {"SavePassword=?;CheckPSW=;Pasv=x;CheckVHost=x",
         [](auto& s) {
             EXPECT_EQ(s.SavePassword, 1);
             EXPECT_EQ(s.CheckPSW, 1);
             EXPECT_EQ(s.Pasv, 0);
             EXPECT_EQ(s.CheckVHost, 0);
         }},
        {"Pasv=5;CheckVHost=300;CheckPSW=-1;CheckPSW=0",
         [](auto& s) {
             EXPECT_EQ(s.Pasv, 5);
             EXPECT_EQ(s.CheckVHost, 1);  // never wraps round to 0
             EXPECT_EQ(s.CheckPSW, 1);    // the first item of a key counts
         }},
        {"XName=foo;Name=bar;Desc=Server=evil;Description=d",
         [](auto& s) {
             EXPECT_EQ(s.Name, "bar");
             EXPECT_EQ(s.Server, "");
             EXPECT_EQ(s.Desc, "Server=evil");
             EXPECT_EQ(s.Description, "d");
         }},
        {"Name=a=b;AnswerName=Custom1;Answer=41234567;Port=2121",
         [](auto& s) {
             EXPECT_EQ(s.Name, "a=b");
             EXPECT_EQ(s.Answer, "4123456");
             EXPECT_EQ(s.AnswerName, "Custom1");
             EXPECT_EQ(s.Port, "2121");
         }},
        {"Desc=one`two`three;",
         [](auto& s) {
             EXPECT_EQ(SplitDescLines(s.Desc), (std::vector<std::string>{"one", "two", "three"}));
         }},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.line);
        c.check(ReadServerLine(c.line));
    }
}

TEST(ServerList, ShortFieldsAreCutOnReading) {
    const std::string longName(60, 'n');
    const std::string utf8Name = std::string(49, 'n') + "\xC3\xA9";  // 51 bytes
    EXPECT_EQ(ReadServerLine("Name=" + longName).Name, std::string(50, 'n'));
    EXPECT_EQ(ReadServerLine("Name=" + utf8Name).Name, std::string(49, 'n'));
    EXPECT_EQ(ReadServerLine("EMail=" + std::string(70, 'e')).EMail.size(), 60u);
    EXPECT_EQ(ReadServerLine("Description=" + std::string(300, 'd')).Description.size(), 200u);
    EXPECT_EQ(ReadServerLine("Server=" + std::string(1000, 's')).Server.size(), 1000u);
}

TEST(ServerList, BlankLineBecomesDefaultServer) {
    TFTPServerInfo blank = ReadServerLine("");
    EXPECT_EQ(blank, NewServerInfo());
    EXPECT_EQ(ServerLine(blank).rfind("Port=21;", 0), 0u);
}

TEST(ServerList, DescriptionLinesJoinWithBackticks) {
    std::vector<std::string> lines{"a", "", "c"};
    EXPECT_EQ(JoinDescLines(lines), "a``c");
    EXPECT_EQ(SplitDescLines("a``c"), lines);
    EXPECT_TRUE(SplitDescLines("").empty());
}

TEST(ServerList, EveryPasswordByteReadsBack) {
    std::string allBytes;
    for (int b = 1; b <= 255; ++b) allBytes += static_cast<char>(b);
    std::vector<std::string> passwords{allBytes, "p\xC3\xA4ss w\xE2\x82\xAC rd", "%41", "%", ";"};
    for (int b = 0; b <= 255; ++b) passwords.push_back(std::string(1, static_cast<char>(b)));
    for (const std::string& password : passwords) {
        std::string stored = ScramblePassword(password);
        EXPECT_EQ(stored.find_first_of(std::string(";\r\n\0", 4)), std::string::npos);
        TFTPServerInfo server = NewServerInfo();
        server.Password = password;
        server.User = "u";
        TFTPServerInfo back = ReadServerLine(ServerLine(server));
        EXPECT_EQ(back.Password, password);
        EXPECT_EQ(back.User, "u");
    }
    EXPECT_NE(ScramblePassword("secret"), "secret");
}

TEST(ServerList, ListReadsBackThroughTheFile) {
    TFTPServerInfo full = NewServerInfo();
    full.Name = "Full";
    full.Server = "ftp://me:pw@example:2121/pub";
    full.Password = "p;w\r\n";
    full.Account = "acct";
    full.Description = "old";
    full.InitialDir = "/pub";
    full.ModifiedDate = "2020-01-01";
    full.EMail = "me@example";
    full.LocalDir = "/tmp/x";
    full.Pasv = 1;
    full.Desc = "a`b";
    full.Answer = "4123456";
    full.AnswerName = "Mine";
    full.CheckVHost = 1;
    full.Encryption = 3;
    full.DataConnection = 1;
    std::vector<TFTPServerInfo> servers{full, NewServerInfo(), full};
    servers[2].Name = "Second";
    TempFolder folder;
    ASSERT_TRUE(SaveServerList(folder.path(), servers));
    std::vector<TFTPServerInfo> back;
    EXPECT_EQ(LoadServerList(folder.path(), back), ReadStatus::kOk);
    EXPECT_EQ(back, servers);
    EXPECT_EQ(ServerLines(back), ServerLines(servers));
}

TEST(ServerList, FindServerTakesFirstExactName) {
    std::vector<TFTPServerInfo> servers(3, NewServerInfo());
    servers[0].Name = "alpha";
    servers[1].Name = "Beta";
    servers[2].Name = "Beta";
    servers[2].Server = "second";
    EXPECT_EQ(FindServer(servers, "Beta"), 1);
    EXPECT_EQ(FindServer(servers, "beta"), -1);
    EXPECT_EQ(FindServer(servers, "alpha"), 0);
    EXPECT_EQ(FindServer(servers, ""), -1);
}

TEST(ServerList, NewServerProposesPreferencesMail) {
    TFTPOptions options;
    options.Anonymous = "guest@example";
    EXPECT_EQ(NewServerInfo(options).EMail, "");
    options.MailAno = true;
    EXPECT_EQ(NewServerInfo(options).EMail, "guest@example");
}

TEST(ServerList, OddFilesLoadWhatCanBeRead) {
    TempFolder folder;
    const std::string path = folder.file("ftplist.TXT");
    std::vector<TFTPServerInfo> servers;

    WriteBytes(path, "Name=a\r\nName=b\nName=c\rName=d");  // mixed endings, no final one
    ASSERT_EQ(LoadServerList(folder.path(), servers), ReadStatus::kOk);
    ASSERT_EQ(servers.size(), 4u);
    EXPECT_EQ(servers[2].Name, "c");
    EXPECT_EQ(servers[3].Name, "d");

    WriteBytes(path, "Name=x\0y;Port=\0;\r\n\r\n"s);
    ASSERT_EQ(LoadServerList(folder.path(), servers), ReadStatus::kOk);
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_EQ(servers[0].Name, std::string("x\0y", 3));
    EXPECT_EQ(servers[1].Name, "");

    std::string huge = "Name=big;Desc=" + std::string(1 << 20, 'x') + ";User=u\r\n";
    WriteBytes(path, huge);
    ASSERT_EQ(LoadServerList(folder.path(), servers), ReadStatus::kOk);
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(servers[0].Desc.size(), 1u << 20);
    EXPECT_EQ(servers[0].User, "u");
}

TEST(ServerList, EncryptionItemFollowsCheckVHostOnlyWhenSet) {
    // Lines as lists without encryption hold them (reading fills in no field they leave
    // out), and the same servers with it.
    const std::string older[] = {
        "Name=Mirror;Server=host1;Port=21;User=anonymous;Anonymous=1;SavePassword=1;Pasv=0;"
        "Answer=0957681;AnswerName=Default;CheckPSW=1;CheckVHost=0;",
        "Name=Full;Server=ftp://me:pw@example:2121/pub;Port=21;User=anonymous;Account=acct;"
        "InitialDir=/pub;Anonymous=0;SavePassword=1;EMail=me@example;Pasv=1;Desc=a`b;"
        "Answer=4123456;AnswerName=Mine;CheckPSW=1;CheckVHost=1;",
        "Port=21;User=anonymous;Anonymous=0;SavePassword=1;Pasv=0;Answer=0957681;"
        "AnswerName=Default;CheckPSW=1;CheckVHost=0;",
    };
    for (const std::string& line : older) {
        SCOPED_TRACE(line);
        const TFTPServerInfo server = ReadServerLine(line);
        EXPECT_EQ(server.Encryption, 0);
        EXPECT_EQ(ServerLine(server), line);  // byte for byte as before
        for (int value = 1; value <= kHighestEncryption; ++value) {
            TFTPServerInfo encrypted = server;
            encrypted.Encryption = static_cast<std::uint8_t>(value);
            const std::string written = ServerLine(encrypted);
            EXPECT_EQ(written, line + "Encryption=" + std::to_string(value) + ";");
            EXPECT_EQ(ReadServerLine(written), encrypted);
        }
    }
    struct {
        const char* line;
        int encryption;
        const char* written;  // the record's own items after CheckVHost
    } cases[] = {
        {"Encryption=2;Name=a", 2, "CheckVHost=0;Encryption=2;"},   // found anywhere on the line
        {"Name=a;Encryption=0;", 0, "CheckVHost=0;"},               // 0 is left out again
        {"Name=a;Encryption=x;", 0, "CheckVHost=0;"},               // unreadable: plain
        {"Name=a;Encryption=7;", 7, "CheckVHost=0;Encryption=7;"},  // unknown: kept as it is
        {"Name=a;XEncryption=2;", 0, "CheckVHost=0;"},              // only the whole key
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const TFTPServerInfo server = ReadServerLine(c.line);
        EXPECT_EQ(server.Encryption, c.encryption);
        EXPECT_TRUE(ServerLine(server).ends_with(c.written));
    }
}

TEST(ServerList, DataConnectionItemComesLastAndOnlyWhenSet) {
    const std::string older =
        "Name=Mirror;Server=host1;Port=21;User=anonymous;Anonymous=1;SavePassword=1;Pasv=1;"
        "Answer=0957681;AnswerName=Default;CheckPSW=1;CheckVHost=0;";
    TFTPServerInfo server = ReadServerLine(older);
    EXPECT_EQ(server.DataConnection, 0);
    EXPECT_EQ(ServerLine(server), older);
    server.DataConnection = static_cast<std::uint8_t>(TServerDataConnection::Epsv);
    EXPECT_EQ(ServerLine(server), older + "DataConnection=1;");
    server.Encryption = 1;
    EXPECT_EQ(ServerLine(server), older + "Encryption=1;DataConnection=1;");
    EXPECT_EQ(ReadServerLine(ServerLine(server)), server);
    struct {
        const char* line;
        int value;
        const char* written;  // the record's own items after CheckVHost
    } cases[] = {
        {"DataConnection=1;Name=a", 1, "CheckVHost=0;DataConnection=1;"},
        {"Name=a;DataConnection=0;", 0, "CheckVHost=0;"},
        {"Name=a;DataConnection=;", 0, "CheckVHost=0;"},                     // unreadable: PASV
        {"Name=a;DataConnection=9;", 9, "CheckVHost=0;DataConnection=9;"},   // unknown: kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const TFTPServerInfo read = ReadServerLine(c.line);
        EXPECT_EQ(read.DataConnection, c.value);
        EXPECT_TRUE(ServerLine(read).ends_with(c.written)) << ServerLine(read);
    }
}

TEST(ServerList, MissingFileLeavesListAlone) {
    TempFolder folder;
    std::vector<TFTPServerInfo> servers{NewServerInfo()};
    EXPECT_EQ(LoadServerList(folder.path(), servers), ReadStatus::kMissing);
    EXPECT_EQ(servers.size(), 1u);
}

}  // namespace
}  // namespace tarnwick

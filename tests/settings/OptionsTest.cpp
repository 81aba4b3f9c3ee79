#include "settings/Options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "TempFolder.h"
#include "settings/IniFile.h"
#include "settings/SettingsFolder.h"

namespace tarnwick {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(Options, MissingFileGivesDefaults) {
    TempFolder folder;
    ReadStatus status = ReadStatus::kOk;
    TFTPOptions options = LoadOptions(folder.path(), &status);
    EXPECT_EQ(status, ReadStatus::kMissing);
    EXPECT_EQ(options.ConnectionType, 0);
    EXPECT_EQ(options.TransferMode, 0);
    EXPECT_EQ(options.TimeOut, 15);
    EXPECT_EQ(options.retry, 0);
    EXPECT_FALSE(options.Keep);
    EXPECT_TRUE(options.PromptDownLoad);
    EXPECT_TRUE(options.PromptUpLoad);
    EXPECT_EQ(options.fwPort, "21");
    EXPECT_EQ(options.fwSimbol, "@");
    EXPECT_EQ(options.FontName, "MS Sans Serif");
    EXPECT_EQ(options.FontSize, 8);
    EXPECT_EQ(options.IniPath, HomeFolder());
}

struct ValueCase {
    const char* line;
    std::function<void(const TFTPOptions&)> check;
};

TEST(Options, UnreadableValuesTakeDefaults) {
    const ValueCase cases[] = {
        {"TimeOut=abc", [](auto& o) { EXPECT_EQ(o.TimeOut, 15); }},
        {"TransferMode=7", [](auto& o) { EXPECT_EQ(o.TransferMode, 7); }},
        {"retry= 3 ", [](auto& o) { EXPECT_EQ(o.retry, 3); }},
        {"FontSize=99999999999", [](auto& o) { EXPECT_EQ(o.FontSize, 8); }},
        {"StartKeep=0x10", [](auto& o) { EXPECT_EQ(o.StartKeep, 100); }},
        {"DurationKeep=-4", [](auto& o) { EXPECT_EQ(o.DurationKeep, -4); }},
        {"Keep=2", [](auto& o) { EXPECT_TRUE(o.Keep); }},
        {"PromptUpLoad=no", [](auto& o) { EXPECT_TRUE(o.PromptUpLoad); }},
        {"PromptUpLoad=0", [](auto& o) { EXPECT_FALSE(o.PromptUpLoad); }},
        {"timeout=20", [](auto& o) { EXPECT_EQ(o.TimeOut, 20); }},
        {"LogFile= spaced path ", [](auto& o) { EXPECT_EQ(o.LogFile, "spaced path"); }},
        {"fwPort=", [](auto& o) { EXPECT_EQ(o.fwPort, ""); }},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.line);
        TempFolder folder;
        WriteBytes(folder.file("options.ftp"), std::string("[Common]\r\n") + c.line + "\r\n");
        c.check(LoadOptions(folder.path()));
    }
}

// Values read as the platform's INI service gives them: blanks around them dropped, then
// one pair of enclosing double quotes. Comma text keeps its quotes: they are an item's.
TEST(Options, ValuesAreTrimmedAndUnquoted) {
    const ValueCase cases[] = {
        {"LogFile = tarnwick.log ", [](auto& o) { EXPECT_EQ(o.LogFile, "tarnwick.log"); }},
        {"LogFile=\t\"x\"\t", [](auto& o) { EXPECT_EQ(o.LogFile, "x"); }},
        {"LogFile=\" my.log \"", [](auto& o) { EXPECT_EQ(o.LogFile, " my.log "); }},
        {"LogFile=\"\"x\"\"", [](auto& o) { EXPECT_EQ(o.LogFile, "\"x\""); }},
        {"LogFile=\"a\"b\"", [](auto& o) { EXPECT_EQ(o.LogFile, "a\"b"); }},
        {"LogFile=\"\"", [](auto& o) { EXPECT_EQ(o.LogFile, ""); }},
        {"LogFile=\"", [](auto& o) { EXPECT_EQ(o.LogFile, "\""); }},
        {"LogFile=\"open", [](auto& o) { EXPECT_EQ(o.LogFile, "\"open"); }},
        {"TimeOut = \"20\" ", [](auto& o) { EXPECT_EQ(o.TimeOut, 20); }},
        {"Keep=\"1\"", [](auto& o) { EXPECT_TRUE(o.Keep); }},
        {"CmdKeep=\"SITE WHO\"", [](auto& o) { EXPECT_EQ(o.CmdKeep, "\"SITE WHO\""); }},
        {"CmdKeep= NOOP,\"SITE WHO\" ", [](auto& o) { EXPECT_EQ(o.CmdKeep, "NOOP,\"SITE WHO\""); }},
        {"Ext=\"txt\",\"my ext\"", [](auto& o) { EXPECT_EQ(o.Ext, "\"txt\",\"my ext\""); }},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.line);
        TempFolder folder;
        WriteBytes(folder.file("options.ftp"), std::string("[Common]\r\n") + c.line + "\r\n");
        c.check(LoadOptions(folder.path()));
    }
}

// Values are written as they are; only one that reading would change goes in quotes.
TEST(Options, ValuesThatReadingWouldChangeAreQuoted) {
    const std::pair<std::string, std::string> cases[] = {
        {"/var/log/t.log", "LogFile=/var/log/t.log\r\n"},
        {"my \"log\" file", "LogFile=my \"log\" file\r\n"},
        {"\"", "LogFile=\"\r\n"},
        {" lead", "LogFile=\" lead\"\r\n"},
        {"trail\t", "LogFile=\"trail\t\"\r\n"},
        {"\"quoted\"", "LogFile=\"\"quoted\"\"\r\n"},
    };
    for (const auto& [value, line] : cases) {
        SCOPED_TRACE(value);
        TFTPOptions options = DefaultOptions();
        options.LogFile = value;
        EXPECT_NE(OptionsText(options).find("\r\n" + line), std::string::npos);
        TempFolder folder;
        ASSERT_TRUE(SaveOptions(folder.path(), options));
        EXPECT_EQ(LoadOptions(folder.path()).LogFile, value);
    }
}

TEST(Options, SectionsKeepSameNamedKeysApart) {
    TempFolder folder;
    WriteBytes(folder.file("options.ftp"),
               "[socks]\nserver=s\nPSW=sp\n[PROXY]\nServer=p\n[Common]\nServer=c\n");
    TFTPOptions options = LoadOptions(folder.path());
    EXPECT_EQ(options.SocksServer, "s");
    EXPECT_EQ(options.SocksPsw, "sp");
    EXPECT_EQ(options.ProxyServer, "p");
}

TFTPOptions ChangedOptions() {
    TFTPOptions o = DefaultOptions();
    o.ConnectionType = 4;
    o.TransferMode = 2;
    o.PassiveTransfer = o.Sync = o.Log = o.Keep = o.MailAno = o.fwEnable = true;
    o.LogFile = "/var/log/t.log";
    o.TimeOut = 60;
    o.retry = 3;
    o.StartKeep = 5;
    o.DurationKeep = 7;
    o.CmdKeep = "NOOP,\"SITE WHO\"";
    o.Ext = "txt,htm";
    o.Anonymous = "me@example";
    o.fwHost = "fw";
    o.fwPort = "2121";
    o.fwID = "id";
    o.fwPsw = " pw ; # x ";
    o.fwType = 6;
    o.fwSimbol = "#";
    o.IniPath = "/srv";
    o.FontName = "Sans";
    o.FontSize = 11;
    o.FontColor = 0x00FF00;
    o.PromptDownLoad = o.PromptUpLoad = false;
    o.DefPrompt = 2;
    o.ProxyServer = "proxy";
    o.ProxyPort = "8021";
    o.ProxyPsw = "pp";
    o.ProxyPswMask = true;
    o.SocksServer = "socks";
    o.SocksPort = "1080";
    o.SocksPsw = "sp=1";
    o.SocksUC = "uc";
    o.SocksPswMask = true;
    return o;
}

TEST(Options, EveryFieldReadsBackAndFileIsPrivate) {
    TempFolder folder;
    const TFTPOptions options = ChangedOptions();
    ASSERT_TRUE(SaveOptions(folder.path(), options));
    EXPECT_EQ(LoadOptions(folder.path()), options);
    struct stat st {};
    ASSERT_EQ(::stat(folder.file("options.ftp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Options, FileWrittenFromScratch) {
    TFTPOptions options = DefaultOptions();
    options.IniPath = "/home/u";
    const std::string expected =
        "[Common]\r\nConnectionType=0\r\nTransferMode=0\r\nPassiveTransfer=0\r\nSync=0\r\n"
        "Log=0\r\nLogFile=\r\nTimeOut=15\r\nretry=0\r\nKeep=0\r\nStartKeep=100\r\n"
        "DurationKeep=10\r\nCmdKeep=\r\nExt=\r\nAnonymous=\r\nMailAno=0\r\nfwHost=\r\n"
        "fwPort=21\r\nfwID=\r\nfwPsw=\r\nfwType=0\r\nfwSimbol=@\r\nfwEnable=0\r\n"
        "IniPath=/home/u\r\nFontName=MS Sans Serif\r\nFontSize=8\r\nFontColor=0\r\n"
        "PromptDownLoad=1\r\nPromptUpLoad=1\r\nDefPrompt=0\r\n"
        "\r\n[Proxy]\r\nServer=\r\nPort=\r\nPsw=\r\nPswMask=0\r\n"
        "\r\n[Socks]\r\nServer=\r\nPort=\r\nPsw=\r\nUC=\r\nPswMask=0\r\n";
    EXPECT_EQ(OptionsText(options), expected);
    TempFolder folder;
    ASSERT_TRUE(SaveOptions(folder.path(), options));
    EXPECT_EQ(ReadBytes(folder.file("options.ftp")), expected);
}

// Every key present, but in another order and case, among comments, blank
// lines, unknown keys and sections, with LF endings and no final newline.
constexpr const char* kOddFile =
    "; written by hand\n"
    "stray=before any section\n"
    "[socks]\n"
    "PSWMASK=0\n"
    "uc=\n"
    "psw=\n"
    "port=\n"
    "server=\n"
    "\n"
    "[Extra]\n"
    "TimeOut=999\n"
    "[COMMON]\n"
    "# another comment\n"
    "defprompt=0\n"
    "PromptUpLoad=1\n"
    "PromptDownLoad=1\n"
    "FontColor=0\n"
    "FontSize=8\n"
    "FontName=MS Sans Serif\n"
    "IniPath=/home/u\n"
    "Unknown=keep me\n"
    "fwEnable=0\n"
    "fwSimbol=@\n"
    "fwType=0\n"
    "fwPsw=\n"
    "fwID=\n"
    "fwPort=21\n"
    "fwHost=\n"
    "MailAno=0\n"
    "Anonymous=\n"
    "Ext=\n"
    "CmdKeep=\n"
    "DurationKeep=10\n"
    "StartKeep=100\n"
    "Keep=0\n"
    "RETRY=0\n"
    "TIMEOUT  =15\n"
    "LogFile=\n"
    "Log=0\n"
    "Sync=0\n"
    "PassiveTransfer=0\n"
    "TransferMode=0\n"
    "ConnectionType=0\n"
    "\n"
    "[Proxy]\n"
    "PswMask=0\n"
    "Psw=\n"
    "Port=\n"
    "Server=";

TEST(Options, RewriteChangesOnlyTheValues) {
    TempFolder folder;
    WriteBytes(folder.file("options.ftp"), kOddFile);
    TFTPOptions options = LoadOptions(folder.path());
    EXPECT_EQ(options.TimeOut, 15);  // [Extra] is not [Common]
    ASSERT_TRUE(SaveOptions(folder.path(), options));
    EXPECT_EQ(ReadBytes(folder.file("options.ftp")), kOddFile);

    options.TimeOut = 30;
    options.ProxyServer = "proxy.example";
    options.SocksUC = "me";
    ASSERT_TRUE(SaveOptions(folder.path(), options));
    std::string expected = kOddFile;
    expected.replace(expected.find("uc=\n"), 4, "uc=me\n");
    expected.replace(expected.find("TIMEOUT  =15"), 12, "TIMEOUT  =30");
    expected += "proxy.example";
    EXPECT_EQ(ReadBytes(folder.file("options.ftp")), expected);
}

TEST(Options, MissingKeysJoinTheirSection) {
    IniFile ini = IniFile::Parse("[Common]\r\nA=1\r\n; note\r\n\r\n[Proxy]\r\nB=2");
    ini.Set("common", "C", "3");
    ini.Set("Proxy", "D", "4");
    ini.Set("Socks", "E", "5\r\n6");
    EXPECT_EQ(ini.Text(),
              "[Common]\r\nA=1\r\nC=3\r\n; note\r\n\r\n[Proxy]\r\nB=2\r\nD=4\r\n"
              "\r\n[Socks]\r\nE=56\r\n");
    EXPECT_EQ(ini.Get("SOCKS", "e"), "56");
    EXPECT_EQ(ini.Get("Proxy", "A"), std::nullopt);
}

TEST(Options, ListingFileIsPerProcess) {
    EXPECT_EQ(ListingFileName("/cfg", 4242), "/cfg/FTPDIR4242.TXT");
    EXPECT_NE(ListingFileName("/cfg", 1), ListingFileName("/cfg", 2));
    EXPECT_EQ(ListingFileName("/cfg/"), "/cfg/FTPDIR" + std::to_string(::getpid()) + ".TXT");
}

}  // namespace
}  // namespace tarnwick

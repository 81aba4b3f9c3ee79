// Quick connect without widgets: the history of hosts (order, one entry per host and port,
// ten at most, its file private and without passwords, a damaged file read as empty), the
// record built from the fields with its refusals, and whole sessions against pyftpdlib that
// leave the saved server list as it was.
#include "session/QuickConnect.h"

#include <sys/stat.h>

#include <filesystem>

#include "session/ServerAddress.h"
#include "tests/session/MainTestKit.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::session {
namespace {

using testing::PyFtpdServer;
using testing::ReadBytes;
using testing::WriteBytes;
using testkit::MainFixture;
using testkit::PumpUntil;

using TEntries = std::vector<TQuickConnectEntry>;

}  // namespace

void PrintTo(const TQuickConnectEntry& e, std::ostream* os) {
    *os << "{" << e.Host << " " << e.Port << " " << e.User << "}";
}

namespace {

TQuickConnectEntry Host(const std::string& host, const std::string& port = "21",
                        const std::string& user = "") {
    return {host, port, user};
}

TEST(QuickConnectHistoryTest, RemembersMostRecentFirstOncePerHostAndPortTenAtMost) {
    struct Case {
        const char* what;
        TEntries remembered;  // in the order used
        TEntries expected;
    };
    TEntries twelve;
    for (int i = 0; i < 12; ++i) twelve.push_back(Host("h" + std::to_string(i)));
    TEntries lastTen(twelve.rbegin(), twelve.rbegin() + 10);
    const Case cases[] = {
        {"most recent first", {Host("a"), Host("b"), Host("c")}, {Host("c"), Host("b"), Host("a")}},
        {"used again moves up, once",
         {Host("a"), Host("b"), Host("a", "21", "bob")},
         {Host("a", "21", "bob"), Host("b")}},
        {"host names match in any case",
         {Host("Ftp.Example"), Host("ftp.example")},
         {Host("ftp.example")}},
        {"another port is another entry",
         {Host("a"), Host("a", "2121")},
         {Host("a", "2121"), Host("a")}},
        {"ten at most, the oldest go", twelve, lastTen},
    };
    for (const Case& c : cases) {
        testing::TempFolder folder;
        TQuickConnectHistory history(folder.path());
        for (const TQuickConnectEntry& e : c.remembered) history.Remember(e);
        EXPECT_EQ(history.Entries(), c.expected) << c.what;
        ASSERT_TRUE(history.Save()) << c.what;
        TQuickConnectHistory reread(folder.path());
        reread.Load();
        EXPECT_EQ(reread.Entries(), c.expected) << c.what << " (read back)";
    }
}

TEST(QuickConnectHistoryTest, TheFileIsPrivateAndKeepsOddUserNames) {
    testing::TempFolder folder;
    TQuickConnectHistory history(folder.path());
    history.Remember(Host("host", "21", "a b,\"c\""));
    ASSERT_TRUE(history.Save());
    struct stat st {};
    ASSERT_EQ(::stat(folder.file(kQuickConnectFileName).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    TQuickConnectHistory reread(folder.path());
    reread.Load();
    EXPECT_EQ(reread.Entries(), history.Entries());
}

TEST(QuickConnectHistoryTest, ADamagedFileReadsAsWhatItHoldsThatMakesSense) {
    struct Case {
        const char* what;
        std::string content;
        TEntries expected;
    };
    const Case cases[] = {
        {"empty", "", {}},
        {"binary", std::string("\x00\x01\xff\xfe\x7f\x00garbage", 14), {}},
        {"wrong number of fields", "host\r\nhost,21,u,x\r\n", {}},
        {"bad ports", "a,0,u\r\nb,65536,u\r\nc,x,u\r\nd,,u\r\n", {}},
        {"bad hosts", "\"a b\",21,u\r\n\"x@y\",21,u\r\n\"\",21,u\r\n", {}},
        {"good lines among bad ones",
         "good,21,bob\r\n\x01\x02,21,u\r\nother,2121,\r\n",
         {Host("good", "21", "bob"), Host("other", "2121")}},
        {"duplicates and more than ten",
         "a,21,\na,21,\nb,21,\nc,21,\nd,21,\ne,21,\nf,21,\ng,21,\nh,21,\ni,21,\nj,21,\nk,21,\n",
         {Host("a"), Host("b"), Host("c"), Host("d"), Host("e"), Host("f"), Host("g"), Host("h"),
          Host("i"), Host("j")}},
    };
    for (const Case& c : cases) {
        testing::TempFolder folder;
        WriteBytes(folder.file(kQuickConnectFileName), c.content);
        TQuickConnectHistory history(folder.path());
        history.Load();
        EXPECT_EQ(history.Entries(), c.expected) << c.what;
    }
    // A folder in the file's place reads as empty and is not replaced.
    testing::TempFolder folder;
    std::filesystem::create_directory(folder.file(kQuickConnectFileName));
    TQuickConnectHistory history(folder.path());
    history.Load();
    EXPECT_TRUE(history.Entries().empty());
    history.Remember(Host("a"));
    EXPECT_FALSE(history.Save());
    EXPECT_TRUE(std::filesystem::is_directory(folder.file(kQuickConnectFileName)));
}

TEST(QuickConnectRecordTest, BuildsTheRecordOrSaysWhatIsWrong) {
    struct Case {
        TQuickConnectFields fields;
        TQuickConnectEntry entry;
        // The record as the connect normalises it.
        std::string server, port, user, password, dir;
        int anonymous, savePassword;
    };
    const std::string noHost = "Type the host name of the server to connect to.";
    const std::string badHost = "The host name is not valid.";
    const std::string badPort = "The port must be a number from 1 to 65535.";
    const Case cases[] = {
        {{"127.0.0.1", "", "", ""},
         Host("127.0.0.1"),
         "127.0.0.1",
         "21",
         "anonymous",
         "",
         "",
         1,
         1},
        {{" host ", "bob", "pw", "2121"},
         Host("host", "2121", "bob"),
         "host",
         "2121",
         "bob",
         "pw",
         "",
         0,
         1},
        {{"host", "bob", "", "21"}, Host("host", "21", "bob"), "host", "21", "bob", "", "", 0, 0},
        {{"host", "", "mail@me", ""}, Host("host"), "host", "21", "anonymous", "mail@me", "", 0, 1},
        {{"ftp://bob:pw@host:2121/pub/sub", "", "", "21"},
         Host("host", "2121", "bob"),
         "host",
         "2121",
         "bob",
         "pw",
         "/pub/sub",
         0,
         1},
        {{"ftp://[::1]:2121/pub", "", "", ""},
         Host("::1", "2121"),
         "::1",
         "2121",
         "anonymous",
         "",
         "/pub",
         1,
         1},
        {{"FTP://Ftp@host/", "", "", ""},
         Host("host", "21", "Ftp"),
         "host",
         "21",
         "Ftp",
         "",
         "/",
         1,
         1},
    };
    const std::pair<TQuickConnectFields, std::string> refused[] = {
        {{"", "bob", "pw", "21"}, noHost},
        {{"   ", "", "", ""}, noHost},
        {{"ftp://bob:pw@/dir", "", "", ""}, noHost},
        {{"host", "", "", "ftp"}, badPort},
        {{"host", "", "", "0"}, badPort},
        {{"host", "", "", "65536"}, badPort},
        {{"host:99999", "", "", ""}, badPort},
        {{"ftp://bob:p@ss@host", "", "", ""}, badHost},
        {{"ho\tst", "", "", ""}, badHost},
    };
    TFTPOptions options;
    for (const auto& [fields, problem] : refused) {
        const TQuickConnectRecord r = QuickConnectRecord(fields, options);
        EXPECT_EQ(r.Problem, problem) << fields.Host << "|" << fields.Port;
        EXPECT_FALSE(r.Server) << fields.Host << "|" << fields.Port;
    }
    for (const Case& c : cases) {
        const std::string what = c.fields.Host + "|" + c.fields.User + "|" + c.fields.Port;
        const TQuickConnectRecord r = QuickConnectRecord(c.fields, options);
        EXPECT_EQ(r.Problem, "") << what;
        ASSERT_TRUE(r.Server) << what;
        EXPECT_EQ(r.Entry, c.entry) << what;
        TFTPServerInfo s = *r.Server;
        EXPECT_TRUE(s.Name.empty()) << what;
        EXPECT_EQ(s.Pasv, 1) << what;
        NormalizeServerAddress(s);
        EXPECT_EQ(s.Server, c.server) << what;
        EXPECT_EQ(s.Port, c.port) << what;
        EXPECT_EQ(s.User, c.user) << what;
        EXPECT_EQ(s.Password, c.password) << what;
        EXPECT_EQ(s.InitialDir, c.dir) << what;
        EXPECT_EQ(s.Anonymous, c.anonymous) << what;
        EXPECT_EQ(s.SavePassword, c.savePassword) << what;
    }
    // The anonymous password is the preferences' address.
    options.Anonymous = "me@example.org";
    const TQuickConnectRecord r = QuickConnectRecord({"host", "", "", ""}, options);
    ASSERT_TRUE(r.Server);
    EXPECT_EQ(r.Server->EMail, "me@example.org");
}

class QuickConnectSessionTest : public MainFixture {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ftpd.Running()) << ftpd.Failure();
        ftpd.WriteFile("pub/readme.txt", "hello\n");
        ftpd.WriteFile("top.txt", "top\n");
        SaveServers({Server("saved", ftpd.PortText(), ftpd.User(), ftpd.Password())});
        savedList = ReadBytes(settings.file(kServerListFileName));
        Create();
        quick = std::make_unique<TQuickConnect>(*main);
    }
    bool Listed(const std::string& name) { return Core().FTPView.FindCaption(name) >= 0; }
    void ExpectSavedListUntouched() {
        EXPECT_EQ(ReadBytes(settings.file(kServerListFileName)), savedList);
        ASSERT_EQ(Core().Servers.size(), 1u);
        EXPECT_EQ(Core().Servers[0].Name, "saved");
    }

    PyFtpdServer ftpd;
    std::string savedList;
    std::unique_ptr<TQuickConnect> quick;
};

TEST_F(QuickConnectSessionTest, APastedAddressListsTheRootAndSavesNoServer) {
    quick->SetHost("ftp://" + ftpd.User() + ":" + ftpd.Password() +
                   "@127.0.0.1:" + ftpd.PortText() + "/");
    ASSERT_TRUE(quick->Connect()) << quick->Problem();
    ASSERT_TRUE(NextListing()) << ftpd.Log();
    EXPECT_FALSE(Core().State.ServerMode);
    EXPECT_TRUE(Listed("pub"));
    EXPECT_TRUE(Listed("top.txt"));
    EXPECT_EQ(Core().Title(), "127.0.0.1");
    ExpectSavedListUntouched();
    EXPECT_TRUE(dialogs.inputsAsked.empty());

    // Remembered without the password.
    ASSERT_EQ(quick->History().Entries(),
              (TEntries{Host("127.0.0.1", ftpd.PortText(), ftpd.User())}));
    const std::string file = ReadBytes(settings.file(kQuickConnectFileName));
    EXPECT_NE(file.find("127.0.0.1"), std::string::npos);
    EXPECT_EQ(file.find(ftpd.Password()), std::string::npos);

    // A second one while the session is open is refused.
    EXPECT_FALSE(quick->Connect());
    EXPECT_EQ(quick->Problem(), "Disconnect first: a session is open.");
    EXPECT_TRUE(Logged("Error Disconnect first: a session is open."));

    // Back at the list: only the saved server.
    main->sbDisConnectClick();
    ASSERT_TRUE(WaitServerMode());
    EXPECT_EQ(Captions(Core().FTPView), std::vector<std::string>{"saved"});
    ExpectSavedListUntouched();
}

TEST_F(QuickConnectSessionTest, FieldsWithoutAPasswordAskForItAndRefusalsStartNothing) {
    quick->SetHost("   ");
    EXPECT_FALSE(quick->Connect());
    EXPECT_EQ(quick->Problem(), "Type the host name of the server to connect to.");
    quick->SetHost("127.0.0.1");
    quick->SetPort("70000");
    EXPECT_FALSE(quick->Connect());
    EXPECT_EQ(quick->Problem(), "The port must be a number from 1 to 65535.");
    EXPECT_TRUE(Core().State.ServerMode);
    EXPECT_EQ(Core().Ftp1.State(), ftp::esReady);
    EXPECT_FALSE(std::filesystem::exists(settings.file(kQuickConnectFileName)));

    // The password prompt cancelled: no session, nothing remembered.
    quick->SetPort(ftpd.PortText());
    quick->SetUser(ftpd.User());
    EXPECT_FALSE(quick->Connect());
    ASSERT_EQ(dialogs.inputsAsked.size(), 1u);
    EXPECT_EQ(dialogs.inputsAsked[0].Caption, "Enter password");
    EXPECT_TRUE(quick->History().Entries().empty());

    dialogs.inputAnswers.push_back(ftpd.Password());
    ASSERT_TRUE(quick->Connect()) << quick->Problem();
    ASSERT_TRUE(NextListing()) << ftpd.Log();
    EXPECT_TRUE(Listed("pub"));
    ExpectSavedListUntouched();

    // Chosen again from the history: host, port and user, no password.
    main->sbDisConnectClick();
    ASSERT_TRUE(WaitServerMode());
    TQuickConnect again(*main);
    int changes = 0;
    again.OnChanged = [&] { ++changes; };
    ASSERT_EQ(again.History().Entries().size(), 1u);
    again.ChooseHistory(0);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(again.Fields(), (TQuickConnectFields{"127.0.0.1", ftpd.User(), "", ftpd.PortText()}));
}

}  // namespace
}  // namespace tarnwick::session

// Opening sessions through the main window's logic against pyftpdlib and scripted servers:
// start-up with the saved servers, the login chain, the address in the Server text, the
// password prompt, retries, the fall-back to PWD, keep-alive, the log and its file, and the
// way back to the server list.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "session/ServerAddress.h"
#include "tests/session/MainTestKit.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::session {
namespace {

using testing::PyFtpdServer;
using testing::ScriptedFtpServer;
using testkit::MainFixture;
using testkit::PumpFor;
using testkit::PumpUntil;

// Accepts every connection, answers it with one line and closes it: a server that is full.
class FullServer {
  public:
    explicit FullServer(std::string greeting) : greeting_(std::move(greeting)) {
        fd_ = testing::ListenLoopback(0, port_);
        thread_ = std::thread([this] { Run(); });
    }
    ~FullServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    std::string PortText() const { return std::to_string(port_); }
    int Connections() const { return connections_; }

  private:
    void Run() {
        while (!stop_) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            ++connections_;
            const std::string line = greeting_ + "\r\n";
            [[maybe_unused]] ssize_t n = ::write(c, line.data(), line.size());
            ::close(c);
        }
    }
    std::string greeting_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
};

class ConnectTest : public MainFixture {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ftpd.Running()) << ftpd.Failure();
        ftpd.WriteFile("pub/readme.txt", "hello\n");
        ftpd.WriteFile("pub/sub/inner.txt", "inner\n");
        ftpd.WriteFile("top.txt", "top\n");
    }
    TFTPServerInfo Pyftpd(const std::string& name) {
        return Server(name, ftpd.PortText(), ftpd.User(), ftpd.Password());
    }
    PyFtpdServer ftpd;
};

TEST_F(ConnectTest, StartUpShowsTheSavedServersAndTheOfflineControls) {
    SaveServers({Pyftpd("zeta"), Pyftpd("Alpha"), Pyftpd("beta")});
    Create();
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"Alpha", "beta", "zeta"}));
    for (const TPaneRow& r : Core().FTPView.Rows()) EXPECT_EQ(r.Picture, kPictureServer);
    EXPECT_EQ(Core().FTPView.Style(), TViewStyle::vsList);
    EXPECT_TRUE(Core().State.ServerMode);
    EXPECT_EQ(Core().Title(), "FTP Servers");
    EXPECT_EQ(Core().State.TickPeriod, 15);
    const TControlStates& c = Core().Controls;
    for (const char* on : {"sbConnect", "sbNewServer", "Connect1", "FtpOptions1"})
        EXPECT_TRUE(c.Enabled(on)) << on;
    for (const char* off : {"sbDisConnect", "sbStop", "Disconnect1", "Properties1", "sbMkd2"})
        EXPECT_FALSE(c.Enabled(off)) << off;
    main->FTPViewSelectItems({0});
    EXPECT_TRUE(c.Enabled("Properties1"));
    EXPECT_FALSE(Core().lvLoc.Empty() && Core().Local.Directory().empty());
}

TEST_F(ConnectTest, DoubleClickLogsInEntersTheInitialDirectoryAndListsIt) {
    TFTPServerInfo s = Pyftpd("py");
    s.InitialDir = "/pub";
    SaveServers({s});
    Create();
    Open("py");
    ASSERT_TRUE(NextListing()) << ftpd.Log();
    EXPECT_FALSE(Core().State.ServerMode);
    EXPECT_EQ(Core().Ftp1.HostDirName(), "/pub/");
    ASSERT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"sub", "readme.txt"}));
    EXPECT_EQ(Core().FTPView.Row(1).Size, "6");
    EXPECT_EQ(Core().FTPView.Style(), TViewStyle::vsReport);
    EXPECT_EQ(Core().FTPPath.Items(),
              (std::vector<std::string>{"SERVER LIST ...", "127.0.0.1", "pub"}));
    EXPECT_EQ(Core().FTPPath.ItemIndex(), 2);
    EXPECT_TRUE(Core().Controls.Enabled("sbDisConnect"));
    EXPECT_FALSE(Core().Controls.Enabled("sbConnect"));
    EXPECT_TRUE(Logged("Connecting to 127.0.0.1"));
    EXPECT_TRUE(Logged("> PASS ****"));
    for (const std::string& l : LogLines()) EXPECT_EQ(l.find(ftpd.Password()), std::string::npos);
    // The chain: log in, ask for the features (UTF-8 names, the listing facts), change to
    // the initial directory, list it with MLSD.
    std::vector<std::string> commands;
    for (const std::string& l : LogLines())
        if (l.starts_with("> ")) commands.push_back(l.substr(2));
    ASSERT_GE(commands.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 6),
              (std::vector<std::string>{"USER tester", "PASS ****", "FEAT", "OPTS UTF8 ON",
                                        "OPTS MLST type;size;modify;perm;unix.mode;",
                                        "CWD /pub/"}));
    EXPECT_EQ(commands.back(), "MLSD");
    EXPECT_FALSE(std::filesystem::exists(Core().ListingFile()));

    // Entering a directory by double click, then the path box back to "pub".
    main->FTPViewSelectItems({0});
    main->FTPViewDblClick();
    ASSERT_TRUE(PumpUntil([&] {
        return Captions(Core().FTPView) == std::vector<std::string>{"inner.txt"} && Idle();
    }));
    EXPECT_EQ(Core().FTPPath.Items().back(), "sub");
    main->RemoteOps().FTPPathChange(2);
    ASSERT_TRUE(NextListing());
    EXPECT_EQ(Core().Ftp1.HostDirName(), "/pub");

    main->sbDisConnectClick();
    ASSERT_TRUE(WaitServerMode());
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"py"}));
    EXPECT_EQ(Core().FTPView.Style(), TViewStyle::vsList);
    EXPECT_EQ(Core().FTPView.SortKey(), kColumnName);
    EXPECT_TRUE(Core().FTPPath.Items().empty());
    EXPECT_TRUE(Core().Controls.Enabled("sbConnect"));
    EXPECT_FALSE(Core().Controls.Enabled("sbDisConnect"));
}

TEST_F(ConnectTest, TheServersDataConnectionChoiceReachesTheEngine) {
    // One engine for both servers: each connect sets the choice of its own server.
    TFTPServerInfo epsv = Pyftpd("epsv");
    epsv.Pasv = 1;
    epsv.DataConnection = static_cast<std::uint8_t>(TServerDataConnection::Epsv);
    TFTPServerInfo pasv = Pyftpd("pasv");
    pasv.Pasv = 1;
    SaveServers({epsv, pasv});
    Create();
    for (const char* name : {"epsv", "pasv", "epsv"}) {
        SCOPED_TRACE(name);
        Core().Log.Clear();
        Open(name);
        ASSERT_TRUE(NextListing()) << ftpd.Log();
        const bool wantEpsv = std::string(name) == "epsv";
        EXPECT_EQ(Logged("> EPSV"), wantEpsv);
        EXPECT_EQ(Logged("> PASV"), !wantEpsv);
        main->sbDisConnectClick();
        ASSERT_TRUE(WaitServerMode());
    }
}

TEST_F(ConnectTest, TheServerTextCarriesSchemeLoginPortAndDirectory) {
    TFTPServerInfo s = NewServerInfo();
    s.Name = "url";
    s.Server = "  FTP://" + ftpd.User() + ":" + ftpd.Password() + "@127.0.0.1:" + ftpd.PortText() +
               "/pub  ";
    s.User.clear();
    SaveServers({s});
    Create();
    Open("url");
    ASSERT_TRUE(NextListing()) << ftpd.Log();
    EXPECT_EQ(Core().Ftp1.UserName(), ftpd.User());
    EXPECT_EQ(Core().Ftp1.Port(), ftpd.PortText());
    EXPECT_EQ(Core().Ftp1.HostDirName(), "/pub/");
    EXPECT_EQ(Core().CurrentServer.Server, "127.0.0.1");
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"sub", "readme.txt"}));
}

TEST_F(ConnectTest, WithoutASavedPasswordThePromptDecides) {
    TFTPServerInfo s = Pyftpd("ask");
    s.SavePassword = 0;
    s.Password.clear();
    SaveServers({s});
    Create();
    Open("ask");  // no answer prepared: the prompt is cancelled
    ASSERT_EQ(dialogs.inputsAsked.size(), 1u);
    EXPECT_EQ(dialogs.inputsAsked[0].Caption, "Enter password");
    EXPECT_EQ(dialogs.inputsAsked[0].Prompt, "Password:");
    EXPECT_TRUE(dialogs.inputsAsked[0].Masked);
    PumpFor(200);
    EXPECT_TRUE(Core().State.ServerMode);
    EXPECT_EQ(Core().Ftp1.State(), ftp::esReady);
    EXPECT_FALSE(Core().Ftp1.Connected());
    EXPECT_EQ(ftpd.Log().find("USER"), std::string::npos);
    EXPECT_FALSE(Logged("Connecting to 127.0.0.1"));

    dialogs.inputAnswers.push_back(ftpd.Password());
    Open("ask");
    ASSERT_TRUE(NextListing()) << ftpd.Log();
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"pub", "top.txt"}));
}

TEST_F(ConnectTest, AnonymousLoginSendsTheEMailAddress) {
    TFTPServerInfo s = Server("anon", ftpd.PortText());
    s.Anonymous = 1;
    s.EMail = "me@example.org";
    SaveServers({s});
    Create();
    Open("anon");
    ASSERT_TRUE(PumpUntil([&] { return Core().State.ServerMode && Idle() && serverLists > 1; }));
    EXPECT_EQ(Core().Ftp1.UserName(), "anonymous");
    EXPECT_EQ(Core().Ftp1.PassWord(), "me@example.org");
    EXPECT_TRUE(Logged("> USER anonymous"));
}

TEST_F(ConnectTest, AFailingInitialDirectoryFallsBackToPwd) {
    TFTPServerInfo s = Pyftpd("gone");
    s.InitialDir = "/no/such/dir";
    SaveServers({s});
    Create();
    Open("gone");
    ASSERT_TRUE(NextListing()) << ftpd.Log();
    EXPECT_EQ(Core().Ftp1.HostDirName(), "/");
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"pub", "top.txt"}));
    EXPECT_TRUE(Logged("> PWD"));
    EXPECT_EQ(Core().FTPPath.Items(), (std::vector<std::string>{"SERVER LIST ...", "127.0.0.1"}));
}

TEST_F(ConnectTest, KeepAliveSendsTheCommandsInTurnAndOnlyWhenAskedFor) {
    TFTPOptions o = DefaultOptions();
    o.Keep = true;
    o.StartKeep = 2;
    o.CmdKeep = "NOOP,SYST";
    SaveOptionsFile(o);
    SaveServers({Pyftpd("keep")});
    Create();
    Open("keep");
    ASSERT_TRUE(NextListing());
    EXPECT_EQ(timers.Window().IntervalMs(), 2u * 15u);
    std::vector<std::string> sent;
    for (int round = 0; round < 3; ++round) {
        // StartKeep + 1 quiet ticks, then one keep-alive; its completion lists again.
        for (int t = 0; t < 3; ++t) timers.Window().Fire();
        ASSERT_TRUE(NextListing()) << round;
    }
    for (const std::string& l : LogLines())
        if (l == "> NOOP" || l == "> SYST") sent.push_back(l);
    EXPECT_EQ(sent, (std::vector<std::string>{"> NOOP", "> SYST", "> NOOP"}));
    EXPECT_EQ(Core().State.KeepCount, 3);

    // With keep-alive off, the timer never runs after a request.
    main->sbDisConnectClick();
    ASSERT_TRUE(WaitServerMode());
    Core().Options.Keep = false;
    Open("keep");
    ASSERT_TRUE(NextListing());
    EXPECT_FALSE(timers.Window().Running());
}

TEST_F(ConnectTest, TheLogFileNeverHoldsThePasswordAndFallsBackToThePidName) {
    const std::string dirAsLog = settings.file("logdir");
    ASSERT_EQ(::mkdir(dirAsLog.c_str(), 0700), 0);
    TFTPOptions o = DefaultOptions();
    o.Log = true;
    o.LogFile = dirAsLog;  // a folder: it cannot be opened, the "%s.%d" name is tried
    SaveOptionsFile(o);
    SaveServers({Pyftpd("log")});
    Create();
    ASSERT_TRUE(Core().SessionLog().LogOpen());
    const std::string fallback = dirAsLog + "." + std::to_string(::getpid());
    EXPECT_EQ(Core().SessionLog().OpenedPath(), fallback);
    Open("log");
    ASSERT_TRUE(NextListing());
    const std::string text = testing::ReadBytes(fallback);
    EXPECT_NE(text.find("Connecting to 127.0.0.1\n"), std::string::npos);
    EXPECT_NE(text.find("> PASS ****\n"), std::string::npos);
    EXPECT_EQ(text.find(ftpd.Password()), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(fallback.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ConnectTest, ALogWriteErrorDropsTheFileAndTheSessionGoesOn) {
    TFTPOptions o = DefaultOptions();
    o.Log = true;
    o.LogFile = "/dev/full";
    SaveOptionsFile(o);
    SaveServers({Pyftpd("full")});
    Create();
    Open("full");
    ASSERT_TRUE(NextListing());
    EXPECT_FALSE(Core().SessionLog().LogOpen());
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"pub", "top.txt"}));
}

TEST_F(ConnectTest, PreferencesAppliedDuringASessionReachTheEngineAfterIt) {
    SaveServers({Pyftpd("prefs")});
    Create();
    Open("prefs");
    ASSERT_TRUE(NextListing());
    Core().Options.ConnectionType = ftp::ftpSocks5;
    Core().Options.SocksServer = "127.0.0.1";
    Core().Options.TimeOut = 33;
    EXPECT_NO_THROW(main->ApplyPreferences());
    EXPECT_EQ(Core().Ftp1.ConnectionType(), ftp::ftpDirect);  // the open session keeps its way
    EXPECT_EQ(Core().Ftp1.Timeout(), 33);
    main->sbDisConnectClick();
    ASSERT_TRUE(WaitServerMode());
    EXPECT_EQ(Core().Ftp1.ConnectionType(), ftp::ftpSocks5);
    EXPECT_EQ(Core().Ftp1.SocksServer(), "127.0.0.1");
}

class RetryTest : public MainFixture {};

TEST_F(RetryTest, RetryCountsGiveOneAndThreeAttempts) {
    for (const int retries : {0, 1}) {
        FullServer full("421 Too many users");
        TFTPOptions o = DefaultOptions();
        o.retry = retries;
        SaveOptionsFile(o);
        SaveServers({Server("full", full.PortText(), "u", "p")});
        Create();
        Open("full");
        ASSERT_TRUE(PumpUntil([&] { return serverLists >= 2 && Idle(); })) << retries;
        EXPECT_EQ(full.Connections(), retries == 0 ? 1 : 3);
        EXPECT_EQ(Logged("Connecting to 127.0.0.1 [Attempt 2]"), retries == 1);
        EXPECT_EQ(Logged("Connecting to 127.0.0.1 [Attempt 3]"), retries == 1);
        EXPECT_FALSE(Logged("Connecting to 127.0.0.1 [Attempt 4]"));
        EXPECT_TRUE(Core().State.ServerMode);
        EXPECT_FALSE(Core().Controls.Enabled("sbStop"));
        main.reset();
        serverLists = 0;
    }
}

TEST_F(RetryTest, ARefusedConnectionIsReportedAndRetriedToo) {
    const uint16_t closed = testing::FreeLoopbackPort();
    TFTPOptions o = DefaultOptions();
    o.retry = 1;
    SaveOptionsFile(o);
    SaveServers({Server("nobody", std::to_string(closed), "u", "p")});
    Create();
    Open("nobody");
    ASSERT_TRUE(PumpUntil([&] { return serverLists >= 2 && Idle(); }));
    EXPECT_TRUE(Logged("Connecting to 127.0.0.1 [Attempt 3]"));
    int errors = 0;
    for (const std::string& l : LogLines()) errors += l.starts_with("Error 500") ? 1 : 0;
    EXPECT_EQ(errors, 3);
    EXPECT_TRUE(Core().State.ServerMode);
}

TEST_F(RetryTest, ARefusedLoginEndsTheSession) {
    ScriptedFtpServer server;
    server.Reply("220 hi")
        .Expect("USER u")
        .Reply("331 pass")
        .Expect("PASS p")
        .Reply("530 Login incorrect.");
    server.Start();
    TFTPOptions o = DefaultOptions();
    o.retry = 3;  // a session that had been connected is never retried
    SaveOptionsFile(o);
    SaveServers({Server("deny", server.PortText(), "u", "p")});
    Create();
    Open("deny");
    ASSERT_TRUE(PumpUntil([&] { return serverLists >= 2 && Idle(); }));
    EXPECT_TRUE(Logged("Error 530 Login incorrect."));
    EXPECT_FALSE(Logged("Connecting to 127.0.0.1 [Attempt 2]"));
    EXPECT_TRUE(Core().State.ServerMode);
    EXPECT_FALSE(Core().Ftp1.Connected());
}

TEST_F(RetryTest, DisconnectWhileConnectingStopsWithoutRetrying) {
    ScriptedFtpServer silent;  // accepts and never greets
    silent.Pause(3000);
    silent.Start();
    TFTPOptions o = DefaultOptions();
    o.retry = 5;
    SaveOptionsFile(o);
    SaveServers({Server("silent", silent.PortText(), "u", "p")});
    Create();
    Open("silent");
    PumpFor(100);
    main->sbDisConnectClick();
    ASSERT_TRUE(PumpUntil([&] { return Core().State.ServerMode && Idle(); }));
    PumpFor(100);
    EXPECT_FALSE(Logged("Connecting to 127.0.0.1 [Attempt 2]"));
    EXPECT_EQ(Core().ScreenCursor(), TCursor::Default);
}

}  // namespace
}  // namespace tarnwick::session

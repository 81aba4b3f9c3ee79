// The status bar's texts over real sessions: connecting, connected and back; a refused
// connect and a refused login as failures shown there; a download batch's rate and queue.
#include "session/StatusBar.h"

#include <set>

#include "tests/session/TransferTestKit.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/ScriptedFtpServer.h"

namespace tarnwick::session {
namespace {

using testkit::PumpUntil;

// Every text the status line showed, in order of change.
struct TSeen {
    std::vector<std::string> connection;
    std::set<std::string> queued;
    bool rateShown = false;
};

class StatusBarTest : public testkit::TransferFixture {
  protected:
    void Watch() {
        status = std::make_unique<TStatusBar>(Core(), main->Transfers());
        status->SetOnChange([this] {
            if (seen.connection.empty() || seen.connection.back() != status->Connection())
                seen.connection.push_back(status->Connection());
            if (!status->Queued().empty()) seen.queued.insert(status->Queued());
            seen.rateShown = seen.rateShown || !status->Rate().empty();
        });
    }
    void TearDown() override { status.reset(); }
    std::unique_ptr<TStatusBar> status;
    TSeen seen;
};

TEST_F(StatusBarTest, FollowsASessionAndItsTransfers) {
    for (const char* name : {"a.bin", "b.bin", "c.bin"})
        ftpd.WriteFile(name, std::string(256 * 1024, 'x'));
    SaveServers({Server("ftpd", ftpd.PortText(), ftpd.User(), ftpd.Password())});
    Create();
    ASSERT_TRUE(Core().Local.SetDirectory(local.path()));
    Watch();
    EXPECT_EQ(status->Connection(), "Not connected");
    Open("ftpd");
    ASSERT_TRUE(NextListing());
    const std::string server = "127.0.0.1:" + ftpd.PortText();
    EXPECT_EQ(seen.connection,
              (std::vector<std::string>{"Connecting to " + server, "Connected to " + server}));
    EXPECT_EQ(status->Failure(), "") << ::testing::PrintToString(LogLines());

    ASSERT_TRUE(Download({"a.bin", "b.bin", "c.bin"}));
    EXPECT_TRUE(seen.queued.count("2 files queued")) << seen.queued.size();
    EXPECT_TRUE(seen.queued.count("1 file queued"));
    EXPECT_TRUE(seen.rateShown);
    EXPECT_EQ(status->Queued(), "");
    EXPECT_EQ(status->Rate(), "");

    main->sbDisConnectClick();
    ASSERT_TRUE(WaitServerMode());
    EXPECT_EQ(status->Connection(), "Not connected");
    EXPECT_EQ(status->Failure(), "");
}

TEST_F(StatusBarTest, RoutineFailuresAreShownWithoutAMessageBox) {
    testing::ScriptedFtpServer deny;
    deny.Reply("220 hi").Expect("USER u").Reply("331 pass").Expect("PASS p");
    deny.Reply("530 Login incorrect.");
    deny.Start();
    const std::string closed = std::to_string(testing::FreeLoopbackPort());
    struct Case {
        std::string name;
        std::string port;
        std::string failureStart;
    };
    const Case cases[] = {
        {"nobody", closed, "Could not connect to 127.0.0.1:" + closed + ": "},
        {"deny", deny.PortText(), "Error 530 Login incorrect."},
    };
    SaveServers({Server("nobody", closed, "u", "p"), Server("deny", deny.PortText(), "u", "p")});
    Create();
    Watch();
    for (const Case& c : cases) {
        const int lists = serverLists;
        Open(c.name);
        ASSERT_TRUE(PumpUntil([&] { return serverLists > lists && Idle(); })) << c.name;
        EXPECT_EQ(status->Connection(), "Not connected") << c.name;
        EXPECT_TRUE(status->Failure().starts_with(c.failureStart))
            << c.name << ": " << status->Failure();
    }
    EXPECT_TRUE(dialogs.messagesAsked.empty());
}

}  // namespace
}  // namespace tarnwick::session

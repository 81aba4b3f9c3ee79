// The pane keys without widgets: a command whose control is greyed out does nothing, Stop
// acts only on something running (here a connect to a server that never greets, which quick
// connect will not start a second one beside, and a listing asked for then leaves the running
// request's file names alone), and reading the remote pane again in server
// mode reloads the saved servers.
#include "session/KeyboardCommands.h"

#include <unistd.h>

#include "session/QuickConnect.h"
#include "tests/session/MainTestKit.h"
#include "tests/support/LoopbackPorts.h"

namespace tarnwick::session {
namespace {

using testkit::MainFixture;
using testkit::PumpFor;
using testkit::PumpUntil;

class KeyboardCommandsTest : public MainFixture {};

TEST_F(KeyboardCommandsTest, GreyedOutOrIdleCommandsDoNothing) {
    SaveServers({Server("one", "21")});
    Create();
    struct Case {
        TKeyCommand command;
        TPaneSide side;
    };
    // No session: the remote commands and the upload are greyed out, there is nothing to
    // stop, a remote file cannot be viewed, and no window moves the focus.
    const Case refused[] = {
        {TKeyCommand::MakeDirectory, TPaneSide::Remote},
        {TKeyCommand::Rename, TPaneSide::Remote},
        {TKeyCommand::CopyToOther, TPaneSide::Remote},
        {TKeyCommand::CopyToOther, TPaneSide::Local},
        {TKeyCommand::StopTransfer, TPaneSide::Remote},
        {TKeyCommand::StopTransfer, TPaneSide::Local},
        {TKeyCommand::ViewFile, TPaneSide::Remote},
        {TKeyCommand::SwitchPane, TPaneSide::Local},
    };
    for (const Case& c : refused)
        EXPECT_FALSE(RunKeyCommand(*main, c.command, c.side))
            << static_cast<int>(c.command) << " " << static_cast<int>(c.side);
    EXPECT_TRUE(dialogs.inputsAsked.empty());
    EXPECT_TRUE(Core().State.ServerMode);

    // The server list read again.
    const int before = serverLists;
    SaveServers({Server("one", "21"), Server("two", "21")});
    EXPECT_TRUE(RunKeyCommand(*main, TKeyCommand::Relist, TPaneSide::Remote));
    EXPECT_GT(serverLists, before);
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"one", "two"}));
}

TEST_F(KeyboardCommandsTest, EscapeStopsAConnectUnderWayThatQuickConnectWillNotDouble) {
    uint16_t port = 0;
    const int silent = testing::ListenLoopback(0, port);  // accepts, never greets
    ASSERT_GE(silent, 0);
    Create();
    TQuickConnect quick(*main);
    quick.SetHost("127.0.0.1");
    quick.SetPort(std::to_string(port));
    ASSERT_TRUE(quick.Connect()) << quick.Problem();
    PumpFor(100);
    ASSERT_NE(Core().Ftp1.State(), ftp::esReady);
    EXPECT_FALSE(quick.Connect());
    EXPECT_EQ(quick.Problem(), "A connect is under way: stop it first.");
    // Reading the pane again now is refused and leaves the running request's names alone.
    Core().Ftp1.SetLocalFileName("kept");
    EXPECT_FALSE(RunKeyCommand(*main, TKeyCommand::Relist, TPaneSide::Remote));
    Core().ListCurrentDir();
    EXPECT_EQ(Core().Ftp1.LocalFileName(), "kept");
    EXPECT_TRUE(Logged("Error FTP component not ready"));

    EXPECT_TRUE(RunKeyCommand(*main, TKeyCommand::StopTransfer, TPaneSide::Local));
    EXPECT_TRUE(WaitServerMode());
    EXPECT_EQ(Core().Ftp1.State(), ftp::esReady);
    EXPECT_FALSE(RunKeyCommand(*main, TKeyCommand::StopTransfer, TPaneSide::Local));
    ::close(silent);
}

}  // namespace
}  // namespace tarnwick::session

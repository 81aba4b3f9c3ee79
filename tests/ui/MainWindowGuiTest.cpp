// The real window, offscreen: a saved pyftpdlib server opened by double click, a directory
// entered, the session closed again; and the window alive while the engine waits.
#include <QElapsedTimer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "tests/support/PyFtpdServer.h"
#include "tests/support/SavedServers.h"
#include "tests/support/ScriptedFtpServer.h"
#include "tests/ui/GuiTestKit.h"

namespace tarnwick::ui {
namespace {

using testkit::kGuiDeadlineMs;
using testkit::TGuiWindow;

using testing::LoopbackServer;

class MainWindowGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void opensBrowsesAndClosesASession();
    void aCwdWaitKeepsTheWindowAlive();
};

void MainWindowGuiTest::opensBrowsesAndClosesASession() {
    testing::PyFtpdServer ftpd;
    QVERIFY2(ftpd.Running(), ftpd.Failure().c_str());
    ftpd.WriteFile("docs/manual.txt", "read me\n");
    ftpd.WriteFile("hello.txt", "hello\n");
    TGuiWindow w({LoopbackServer("Local pyftpd", ftpd.PortText(), ftpd.User(), ftpd.Password())});
    TMainWindow& win = *w.window;
    QCOMPARE(win.windowTitle(), QString("Tarnwick"));
    QCOMPARE(win.RemotePane().objectName(), QString("FTPView"));
    QVERIFY(win.findChild<QWidget*>("Panel9") != nullptr);
    QVERIFY(win.findChild<QWidget*>("Log") != nullptr);
    QCOMPARE(win.RemotePane().Model().rowCount(), 1);
    QCOMPARE(win.RemotePane().Model().index(0, 0).data().toString(), QString("Local pyftpd"));

    w.DoubleClickRow(win.RemotePane(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(win.RemotePane().Model().rowCount() == 2 && !w.Core().State.Busy,
                             kGuiDeadlineMs);
    QCOMPARE(win.RemotePane().Model().index(0, 0).data().toString(), QString("docs"));
    QCOMPARE(win.RemotePane().Model().headerData(4, Qt::Horizontal).toString(),
             QString("Attribute"));
    QCOMPARE(win.RemotePane().currentWidget(), &win.RemotePane().ReportView());
    QVERIFY(!win.Action("sbConnect")->isEnabled());
    QVERIFY(win.Action("sbDisConnect")->isEnabled());

    w.DoubleClickRow(win.RemotePane(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(w.Captions(w.Core().FTPView) == std::vector<std::string>{"manual.txt"},
                             kGuiDeadlineMs);
    QTRY_COMPARE_WITH_TIMEOUT(win.PathBox().currentText(), QString("docs"), kGuiDeadlineMs);

    auto* disconnect = win.findChild<QToolButton*>("sbDisConnectButton");
    QVERIFY(disconnect != nullptr);
    QTest::mouseClick(disconnect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.Core().State.ServerMode, kGuiDeadlineMs);
    QCOMPARE(win.RemotePane().Model().rowCount(), 1);
    QVERIFY(win.Action("sbConnect")->isEnabled());
    QCOMPARE(win.findChild<QLabel*>("Panel9")->text(), QString("FTP Servers"));
}

void MainWindowGuiTest::aCwdWaitKeepsTheWindowAlive() {
    // The server answers CWD only after a second; meanwhile a Qt timer must still fire.
    testing::ScriptedFtpServer server;
    server.Reply("220 ready").Expect("USER u").Reply("331 pass").Expect("PASS p").Reply("230 in");
    server.Expect("FEAT").Reply("502 Not implemented");
    server.Expect("PWD").Reply("257 \"/\" is current");
    server.Expect("TYPE A").Reply("200 ok").Expect("PASV").Reply(server.PasvReplyText());
    server.AcceptData().Expect("LIST").Reply("150 here");
    server.SendData("drwxr-xr-x   2 u g 4096 Jan 15 12:34 slow\r\n").CloseData().Reply("226 done");
    server.Expect("CWD /slow").Pause(1000).Reply("250 ok");
    // The directory entered is listed before the wait ends.
    server.Expect("PASV").Reply(server.PasvReplyText()).AcceptData().Expect("LIST");
    server.Reply("150 here").SendData("").CloseData().Reply("226 done");
    server.Start();
    TGuiWindow w({LoopbackServer("scripted", server.PortText(), "u", "p")});
    TMainWindow& win = *w.window;
    w.DoubleClickRow(win.RemotePane(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(w.Captions(w.Core().FTPView) == std::vector<std::string>{"slow"},
                             kGuiDeadlineMs);

    int ticksDuringWait = 0;
    bool waiting = false;
    QTimer ticker;
    ticker.setInterval(50);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (waiting) ++ticksDuringWait;
    });
    ticker.start();
    w.Core().FTPView.SetSelection({0});
    QElapsedTimer clock;
    clock.start();
    waiting = true;
    w.main->FTPViewDblClick();  // Cwd: waits for the slow reply
    waiting = false;
    QVERIFY2(clock.elapsed() >= 900, "the Cwd wait returned before the reply");
    QVERIFY2(ticksDuringWait >= 10, "Qt's timer did not run during the wait");
    QVERIFY(server.Mismatches().empty());
    QCOMPARE(w.Core().Ftp1.HostDirName(), std::string("/slow"));
}

}  // namespace
}  // namespace tarnwick::ui

QTEST_MAIN(tarnwick::ui::MainWindowGuiTest)
#include "MainWindowGuiTest.moc"

// A user's journey through the real window, offscreen, against pyftpdlib: start, quick
// connect, enter a folder, download a folder tree with F5, upload a file by drag and drop,
// rename it with F2, delete it, disconnect; each effect checked on the server's disk or the
// local disk.
#include <QPushButton>
#include <QToolBar>
#include <filesystem>

#include "tests/support/PyFtpdServer.h"
#include "tests/support/SavedServers.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/KeyboardSteps.h"
#include "ui/QuickConnectBar.h"

namespace tarnwick::ui {
namespace {

namespace fs = std::filesystem;
using testing::RandomBytes;
using testing::ReadBytes;
using testing::WriteBytes;
using testkit::kGuiDeadlineMs;
using testkit::TGuiWindow;
using testkit::TModalSteps;

class JourneyGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void connectBrowseCopyRenameDeleteDisconnect();
};

void JourneyGuiTest::connectBrowseCopyRenameDeleteDisconnect() {
    testing::PyFtpdServer ftpd;
    QVERIFY2(ftpd.Running(), ftpd.Failure().c_str());
    const std::string big = RandomBytes(300000, 31);
    ftpd.WriteFile("project/tree/notes.txt", "notes\n");
    ftpd.WriteFile("project/tree/deep/data.bin", big);
    ftpd.WriteFile("project/tree/deep/deeper/empty.txt", "");
    ftpd.WriteFile("other.txt", "other");
    testing::TempFolder local;
    const std::string upload = RandomBytes(120000, 32);
    WriteBytes(local.path() + "/upload.bin", upload);

    // Start: the window with one saved server, which the journey leaves alone.
    TGuiWindow w({testing::LoopbackServer("saved", "21", "someone", "pw")});
    QVERIFY(w.exposed);
    const std::string savedList = ReadBytes(w.settings.file(kServerListFileName));
    QVERIFY(w.Core().Local.SetDirectory(local.path()));
    TMainWindow& win = *w.window;
    session::TSessionCore& core = w.Core();
    auto idle = [&] {
        return !core.State.Busy && core.Ftp1.State() == ftp::esReady &&
               w.main->Transfers().Progress() == nullptr;
    };
    auto shows = [&](const session::TPaneModel& p, const char* name) {
        return w.Row(p, name) >= 0;
    };
    auto select = [&](TPaneWidget& pane, session::TPaneModel& model, const char* name) {
        const int row = w.Row(model, name);
        if (row < 0) return false;
        if (&model == &core.lvLoc)
            w.main->lvLocSelectItems({static_cast<size_t>(row)});
        else
            w.main->FTPViewSelectItems({static_cast<size_t>(row)});
        return testkit::FocusPane(win, pane);
    };

    // Quick connect through the bar.
    auto* bar = win.findChild<TQuickConnectBar*>("QuickConnectBar");
    QVERIFY(bar != nullptr);
    QTest::keyClicks(bar->Host().lineEdit(), "127.0.0.1");
    QTest::keyClicks(&bar->Port(), ftpd.PortText().c_str());
    QTest::keyClicks(&bar->User(), ftpd.User().c_str());
    QTest::keyClicks(&bar->Password(), ftpd.Password().c_str());
    QTest::mouseClick(&bar->ConnectButton(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor(
        [&] { return !core.State.ServerMode && shows(core.FTPView, "project") && idle(); },
        kGuiDeadlineMs));
    QVERIFY(shows(core.FTPView, "other.txt"));

    // Into a folder with Enter.
    QVERIFY(select(win.RemotePane(), core.FTPView, "project"));
    testkit::PressIn(win.RemotePane(), QKeySequence(Qt::Key_Return));
    QVERIFY(QTest::qWaitFor(
        [&] {
            return core.Ftp1.HostDirName() == "/project" && shows(core.FTPView, "tree") && idle();
        },
        kGuiDeadlineMs));

    // The folder tree down with F5.
    QVERIFY(select(win.RemotePane(), core.FTPView, "tree"));
    testkit::PressIn(win.RemotePane(), QKeySequence(Qt::Key_F5));
    QVERIFY(QTest::qWaitFor(
        [&] {
            return fs::exists(local.path() + "/tree/deep/deeper/empty.txt") && idle() &&
                   shows(core.lvLoc, "tree");
        },
        kGuiDeadlineMs));
    QCOMPARE(ReadBytes(local.path() + "/tree/notes.txt"), std::string("notes\n"));
    QCOMPARE(ReadBytes(local.path() + "/tree/deep/data.bin"), big);
    QCOMPARE(fs::file_size(local.path() + "/tree/deep/deeper/empty.txt"), std::uintmax_t{0});

    // A file up by drag and drop from the local pane onto the remote one.
    const int row = w.Row(core.lvLoc, "upload.bin");
    QVERIFY(row >= 0);
    w.main->lvLocSelectItems({static_cast<size_t>(row)});
    auto dragged = testkit::DragFrom(win.LocalPane(), row);
    QVERIFY(testkit::DragAndDrop(win.RemotePane(), *dragged));
    QVERIFY(QTest::qWaitFor([&] { return shows(core.FTPView, "upload.bin") && idle(); },
                            kGuiDeadlineMs));
    QCOMPARE(ftpd.ReadFile("project/upload.bin"), upload);

    // Renamed with F2.
    QVERIFY(select(win.RemotePane(), core.FTPView, "upload.bin"));
    {
        TModalSteps steps;
        steps.Then("TInputForm", [](QWidget& d) { testkit::AnswerInput(d, "renamed.bin"); });
        testkit::PressIn(win.RemotePane(), QKeySequence(Qt::Key_F2));
        QVERIFY(QTest::qWaitFor([&] { return shows(core.FTPView, "renamed.bin") && idle(); },
                                kGuiDeadlineMs));
        QVERIFY(steps.Done());
    }
    QVERIFY(!ftpd.Exists("project/upload.bin"));
    QCOMPARE(ftpd.ReadFile("project/renamed.bin"), upload);

    // Deleted after the question.
    QVERIFY(select(win.RemotePane(), core.FTPView, "renamed.bin"));
    {
        TModalSteps steps;
        steps.Then("MessageBox", testkit::AnswerYes);
        testkit::PressIn(win.RemotePane(), QKeySequence(Qt::Key_Delete));
        QVERIFY(QTest::qWaitFor([&] { return !shows(core.FTPView, "renamed.bin") && idle(); },
                                kGuiDeadlineMs));
        QVERIFY(steps.Done());
    }
    QVERIFY(!ftpd.Exists("project/renamed.bin"));
    QVERIFY(ftpd.Exists("project/tree/notes.txt"));
    QCOMPARE(ReadBytes(local.path() + "/upload.bin"), upload);

    // Disconnect: back at the saved servers, which are as they were.
    auto* toolbar = win.findChild<QToolBar*>("ToolBar1");
    QVERIFY(toolbar != nullptr);
    QTest::mouseClick(&testkit::Child(*toolbar, "sbDisConnectButton"), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return core.State.ServerMode && idle(); }, kGuiDeadlineMs));
    QCOMPARE(w.Captions(core.FTPView), std::vector<std::string>{"saved"});
    QCOMPARE(ReadBytes(w.settings.file(kServerListFileName)), savedList);
    QVERIFY(!core.Ftp1.Connected());
}

}  // namespace
}  // namespace tarnwick::ui

QTEST_MAIN(tarnwick::ui::JourneyGuiTest)
#include "JourneyGuiTest.moc"

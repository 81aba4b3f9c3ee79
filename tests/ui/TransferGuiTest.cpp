// The transfer wiring of the real window, offscreen: drops between the panes and from the
// desktop start their batches, the rewrite prompt's buttons answer, and the progress window
// comes with a large transfer, shows its figures, cancels, and goes.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <memory>

#include "tests/support/PyFtpdServer.h"
#include "tests/support/SavedServers.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/GuiTestKit.h"
#include "ui/ProgressWindow.h"

namespace tarnwick::ui {
namespace {

using tarnwick::testing::RandomBytes;
using tarnwick::testing::ReadBytes;
using testkit::DragAndDrop;
using testkit::DragFrom;
using testkit::kGuiDeadlineMs;
using testkit::TGuiWindow;

constexpr int kLargeDeadlineMs = 120000;

// The window connected to pyftpdlib, its local pane on a scratch folder.
struct TConnected {
    explicit TConnected(testing::PyFtpdServer& ftpd)
        : w({testing::LoopbackServer("ftpd", ftpd.PortText(), ftpd.User(), ftpd.Password())}) {}
    bool Open() {
        if (!w.Core().Local.SetDirectory(local.path())) return false;
        w.DoubleClickRow(w.window->RemotePane(), 0);
        return QTest::qWaitFor(
            [&] {
                return !w.Core().State.ServerMode && !w.Core().FTPView.Empty() &&
                       !w.Core().State.Busy;
            },
            kGuiDeadlineMs);
    }
    bool Idle() {
        return !w.Core().State.Busy && w.Core().Ftp1.State() == ftp::esReady &&
               w.main->Transfers().Progress() == nullptr;
    }
    TGuiWindow w;
    testing::TempFolder local;
};

class TransferGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void dragsFilesBetweenThePanesAndFromTheDesktop();
    void theRewritePromptsButtonsAnswer();
    void theProgressWindowComesShowsCancelsAndGoes();
};

void TransferGuiTest::dragsFilesBetweenThePanesAndFromTheDesktop() {
    testing::PyFtpdServer ftpd;
    QVERIFY2(ftpd.Running(), ftpd.Failure().c_str());
    const std::string remoteBytes = RandomBytes(200000, 21);
    ftpd.WriteFile("remote.bin", remoteBytes);
    TConnected c(ftpd);
    QVERIFY(c.Open());
    TMainWindow& win = *c.w.window;
    const std::string localBytes = RandomBytes(150000, 22);
    testing::WriteBytes(c.local.path() + "/local.bin", localBytes);
    c.w.Core().Local.dlbxChange();

    // Remote to local.
    const int remoteRow = c.w.Row(c.w.Core().FTPView, "remote.bin");
    QVERIFY(remoteRow >= 0);
    c.w.main->FTPViewSelectItems({static_cast<size_t>(remoteRow)});
    auto fromRemote = DragFrom(win.RemotePane(), remoteRow);
    QVERIFY(!DragAndDrop(win.RemotePane(), *fromRemote));  // not onto its own pane
    QVERIFY(DragAndDrop(win.LocalPane(), *fromRemote));
    QTRY_VERIFY_WITH_TIMEOUT(ReadBytes(c.local.path() + "/remote.bin") == remoteBytes && c.Idle(),
                             kGuiDeadlineMs);
    QVERIFY(c.w.Row(c.w.Core().lvLoc, "remote.bin") >= 0);

    // Local to remote.
    const int localRow = c.w.Row(c.w.Core().lvLoc, "local.bin");
    QVERIFY(localRow >= 0);
    c.w.main->lvLocSelectItems({static_cast<size_t>(localRow)});
    auto fromLocal = DragFrom(win.LocalPane(), localRow);
    QVERIFY(DragAndDrop(win.RemotePane(), *fromLocal));
    QTRY_VERIFY_WITH_TIMEOUT(ftpd.Exists("local.bin") && c.Idle(), kGuiDeadlineMs);
    QCOMPARE(ftpd.ReadFile("local.bin"), localBytes);

    // A folder from the desktop's file manager.
    testing::TempFolder desktop;
    std::filesystem::create_directories(desktop.path() + "/album/inner");
    testing::WriteBytes(desktop.path() + "/album/inner/photo.jpg", "jpeg");
    QMimeData uris;
    uris.setUrls({QUrl::fromLocalFile(QString::fromStdString(desktop.path() + "/album"))});
    QVERIFY(!DragAndDrop(win.LocalPane(), uris));
    QVERIFY(DragAndDrop(win.RemotePane(), uris));
    QTRY_VERIFY_WITH_TIMEOUT(ftpd.Exists("album/inner/photo.jpg") && c.Idle(), kGuiDeadlineMs);
    QCOMPARE(ftpd.ReadFile("album/inner/photo.jpg"), std::string("jpeg"));
    QTRY_VERIFY_WITH_TIMEOUT(c.w.Row(c.w.Core().FTPView, "album") >= 0, kGuiDeadlineMs);
}

void TransferGuiTest::theRewritePromptsButtonsAnswer() {
    testing::PyFtpdServer ftpd;
    QVERIFY2(ftpd.Running(), ftpd.Failure().c_str());
    ftpd.WriteFile("a.bin", "server");
    TConnected c(ftpd);
    QVERIFY(c.Open());
    testing::WriteBytes(c.local.path() + "/a.bin", "mine");

    // "Save as": the input box comes pre-filled; a new name is typed and confirmed.
    QString prompted;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget(), kGuiDeadlineMs);
        QWidget* prompt = QApplication::activeModalWidget();
        QCOMPARE(prompt->objectName(), QString("TFReWrite"));
        QCOMPARE(prompt->windowTitle(), QString("Rewrite Files Prompt"));
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(
                QApplication::activeModalWidget() &&
                    QApplication::activeModalWidget()->objectName() == "TInputForm",
                kGuiDeadlineMs);
            QWidget* input = QApplication::activeModalWidget();
            auto* edit = input->findChild<QLineEdit*>("Edit1");
            prompted = edit->text();
            QTest::keyClick(edit, Qt::Key_End);
            QTest::keyClicks(edit, ".copy");
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QTest::mouseClick(prompt->findChild<QPushButton*>("SaveasBtn"), Qt::LeftButton);
    });
    c.w.main->FTPViewSelectItems({static_cast<size_t>(c.w.Row(c.w.Core().FTPView, "a.bin"))});
    c.w.main->Transfers().SpeedButton2Click();
    QTRY_VERIFY_WITH_TIMEOUT(c.Idle(), kGuiDeadlineMs);
    QCOMPARE(prompted, QString::fromStdString(c.local.path() + "/a.bin"));
    QCOMPARE(ReadBytes(c.local.path() + "/a.bin.copy"), std::string("server"));
    QCOMPARE(ReadBytes(c.local.path() + "/a.bin"), std::string("mine"));
}

void TransferGuiTest::theProgressWindowComesShowsCancelsAndGoes() {
    testing::PyFtpdServer ftpd;
    QVERIFY2(ftpd.Running(), ftpd.Failure().c_str());
    // Sparse on the server's disk: large without costing the disk.
    ftpd.WriteFile("huge.bin", "");
    std::filesystem::resize_file(ftpd.Root() + "/huge.bin", std::uintmax_t{1} << 30);
    ftpd.WriteFile("big.bin", "");
    std::filesystem::resize_file(ftpd.Root() + "/big.bin", std::uintmax_t{64} << 20);
    TConnected c(ftpd);
    QVERIFY(c.Open());
    TMainWindow& win = *c.w.window;

    // While a file moves, the window is up, on top and not modal, and shows the figures.
    bool shownDuring = false;
    auto watch = c.w.Core().Notifier.Subscribe(
        static_cast<session::TChangeMask>(session::TChange::Progress), [&](session::TChange) {
            const dialogs::TProgress* p = c.w.main->Transfers().Progress();
            TProgressWindow* window = win.Progress().Window();
            if (!p || !window || p->Transferred() == 0) return;
            shownDuring =
                shownDuring || (window->isVisible() && !window->isModal() &&
                                (window->windowFlags() & Qt::WindowStaysOnTopHint) &&
                                window->windowTitle().startsWith("Receiving big.bin") &&
                                !window->findChild<QLabel*>("TransferLbl")->text().isEmpty());
        });
    c.w.main->FTPViewSelectItems({static_cast<size_t>(c.w.Row(c.w.Core().FTPView, "big.bin"))});
    c.w.main->Transfers().SpeedButton2Click();
    QTRY_VERIFY_WITH_TIMEOUT(c.Idle(), kLargeDeadlineMs);
    QVERIFY(shownDuring);
    QVERIFY(win.Progress().Window() == nullptr);
    QTRY_VERIFY(win.findChildren<TProgressWindow*>().isEmpty());
    QCOMPARE(std::filesystem::file_size(c.local.path() + "/big.bin"), std::uintmax_t{64} << 20);

    // Its Cancel drops the session.
    c.w.main->FTPViewSelectItems({static_cast<size_t>(c.w.Row(c.w.Core().FTPView, "huge.bin"))});
    c.w.main->Transfers().SpeedButton2Click();
    QTRY_VERIFY_WITH_TIMEOUT(win.Progress().Window() && c.w.main->Transfers().Progress() &&
                                 c.w.main->Transfers().Progress()->Transferred() > 0,
                             kGuiDeadlineMs);
    QTest::mouseClick(win.Progress().Window()->findChild<QPushButton*>("CancelBtn"),
                      Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(c.w.Core().State.ServerMode, kGuiDeadlineMs);
    QTRY_VERIFY(win.findChildren<TProgressWindow*>().isEmpty());
    QVERIFY(!c.w.Core().State.Busy);
}

}  // namespace
}  // namespace tarnwick::ui

QTEST_MAIN(tarnwick::ui::TransferGuiTest)
#include "TransferGuiTest.moc"

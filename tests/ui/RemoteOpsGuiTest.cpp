// The remote file commands of the real window, offscreen: a directory made through the toolbar
// and its input dialog, renamed, deleted after the question, each seen on the server's disk;
// the permissions dialog's widgets over its form.
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <deque>
#include <filesystem>
#include <functional>

#include "tests/support/PyFtpdServer.h"
#include "tests/support/SavedServers.h"
#include "tests/ui/GuiTestKit.h"
#include "tests/ui/ModalSteps.h"

namespace tarnwick::ui {
namespace {

using testkit::kGuiDeadlineMs;
using testkit::TGuiWindow;

using testkit::Child;
using testkit::TModalSteps;

void Click(QAbstractButton& button) {
    QTimer::singleShot(0, &button, [&button] { button.click(); });
}

// Types `text` into the input dialog's box and presses Enter.
void Answer(QWidget& dialog, const QString& text) {
    auto& e = Child<QLineEdit>(dialog, "Edit1");
    e.setFocus();
    QTest::keyClick(&e, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(&e, text);
    QTimer::singleShot(0, &e, [&e] { QTest::keyClick(&e, Qt::Key_Return); });
}

class RemoteOpsGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void makesRenamesAndDeletesARemoteDirectory();
    void thePermissionsDialogKeepsBoxesAndDigitsInStep();
};

void RemoteOpsGuiTest::makesRenamesAndDeletesARemoteDirectory() {
    testing::PyFtpdServer ftpd;
    QVERIFY2(ftpd.Running(), ftpd.Failure().c_str());
    ftpd.WriteFile("keep.txt", "k");
    TGuiWindow w({testing::LoopbackServer("ftpd", ftpd.PortText(), ftpd.User(), ftpd.Password())});
    QVERIFY(w.exposed);
    w.DoubleClickRow(w.window->RemotePane(), 0);
    auto idle = [&] {
        return !w.Core().State.ServerMode && !w.Core().State.Busy &&
               w.Core().Ftp1.State() == ftp::esReady;
    };
    QVERIFY(QTest::qWaitFor([&] { return idle() && !w.Core().FTPView.Empty(); }, kGuiDeadlineMs));
    auto* bar = w.window->findChild<QToolBar*>("ToolBar1");
    QVERIFY(bar != nullptr);
    auto button = [&](const char* name) -> QWidget& { return Child(*bar, name); };

    TModalSteps steps;
    steps.Then("TInputForm", [](QWidget& d) {
        QCOMPARE(d.windowTitle(), QString("Create Directory"));
        Answer(d, "made");
    });
    QTest::mouseClick(&button("sbMkd2Button"), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return w.Row(w.Core().FTPView, "made") >= 0 && idle(); },
                            kGuiDeadlineMs));
    QVERIFY(std::filesystem::is_directory(ftpd.Root() + "/made"));

    w.main->FTPViewSelectItems({static_cast<size_t>(w.Row(w.Core().FTPView, "made"))});
    steps.Then("TInputForm", [](QWidget& d) {
        QCOMPARE(d.windowTitle(), QString("Rename Directory"));
        QCOMPARE(Child<QLineEdit>(d, "Edit1").text(), QString("made"));
        Answer(d, "renamed");
    });
    QTest::mouseClick(&button("sbRen2Button"), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return w.Row(w.Core().FTPView, "renamed") >= 0 && idle(); },
                            kGuiDeadlineMs));
    QVERIFY(!ftpd.Exists("made"));
    QVERIFY(std::filesystem::is_directory(ftpd.Root() + "/renamed"));

    w.main->FTPViewSelectItems({static_cast<size_t>(w.Row(w.Core().FTPView, "renamed"))});
    QString question;
    steps.Then("MessageBox", [&](QWidget& box) {
        auto& m = static_cast<QMessageBox&>(box);
        question = m.text();
        QCOMPARE(m.defaultButton(), m.button(QMessageBox::No));
        Click(*m.button(QMessageBox::Yes));
    });
    QTest::mouseClick(&button("sbDel2Button"), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return w.Row(w.Core().FTPView, "renamed") < 0 && idle(); },
                            kGuiDeadlineMs));
    QCOMPARE(question, QString("Do you wish to remove 0 file(s) and 1 folder(es)"));
    QVERIFY(!ftpd.Exists("renamed"));
    QVERIFY(ftpd.Exists("keep.txt"));
    QVERIFY(steps.Done());
}

void RemoteOpsGuiTest::thePermissionsDialogKeepsBoxesAndDigitsInStep() {
    TQtDialogService service;
    TModalSteps steps;
    QString opened;
    int checked = 0;
    steps.Then("T_ChMod", [&](QWidget& d) {
        QCOMPARE(d.windowTitle(), QString("Change File Attributes"));
        opened = Child<QLineEdit>(d, "Edit1").text();
        for (int tag = 1; tag <= 9; ++tag)
            checked +=
                Child<QCheckBox>(d, QString("cb%1").arg(tag).toUtf8().constData()).isChecked();
        Child<QPushButton>(d, "SpeedButton3").click();  // Read: set
        QCOMPARE(Child<QLineEdit>(d, "Edit1").text(), QString("755"));
        Child<QPushButton>(d, "SpeedButton3").click();  // Read: clear
        QCOMPARE(Child<QLineEdit>(d, "Edit1").text(), QString("311"));
        Child<QCheckBox>(d, "cb1").click();
        QCOMPARE(Child<QLineEdit>(d, "Edit1").text(), QString("711"));
        auto& e = Child<QLineEdit>(d, "Edit1");
        e.setFocus();
        e.selectAll();
        QTest::keyClicks(&e, "7x9-5");  // only octal digits get in
        QCOMPARE(e.text(), QString("75"));
        QVERIFY(!Child<QCheckBox>(d, "cb1").isChecked());
        QVERIFY(Child<QCheckBox>(d, "cb4").isChecked());
        Click(Child<QPushButton>(d, "SpeedButton1"));
    });
    const std::optional<int> result = service.EditPermissions("drwxr-xr-x");
    QCOMPARE(opened, QString("755"));
    QCOMPARE(checked, 7);
    QVERIFY(result.has_value());
    QCOMPARE(*result, 75);
}

}  // namespace
}  // namespace tarnwick::ui

QTEST_MAIN(tarnwick::ui::RemoteOpsGuiTest)
#include "RemoteOpsGuiTest.moc"

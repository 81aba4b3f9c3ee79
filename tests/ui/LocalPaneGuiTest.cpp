// The local pane in the real window, offscreen: into a folder by double click and back up by
// the button, the local filter and select by mask through their input boxes, a header click
// that sorts, and View opening its text window.
#include <sys/stat.h>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "tests/support/TestFiles.h"
#include "tests/ui/GuiTestKit.h"
#include "ui/TextViewer.h"

namespace tarnwick::ui {
namespace {

using testkit::kGuiDeadlineMs;
using testkit::TGuiWindow;

// Types `text` into the next input box that comes up, and confirms it with OK.
void AnswerNextInput(const QString& text) {
    QTimer::singleShot(0, [text] {
        QTRY_VERIFY_WITH_TIMEOUT(
            QApplication::activeModalWidget() &&
                QApplication::activeModalWidget()->objectName() == "TInputForm",
            kGuiDeadlineMs);
        auto* edit = QApplication::activeModalWidget()->findChild<QLineEdit*>("Edit1");
        QVERIFY(edit != nullptr);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, text);
        auto* ok = QApplication::activeModalWidget()->findChild<QPushButton*>("OK");
        QVERIFY(ok != nullptr);
        QTest::mouseClick(ok, Qt::LeftButton);
    });
}

QStringList Shown(TPaneWidget& pane) {
    QStringList out;
    for (int r = 0; r < pane.Model().rowCount(); ++r)
        out << pane.Model().index(r, 0).data().toString();
    return out;
}

void ClickHeader(TPaneWidget& pane, int section) {
    QHeaderView* header = pane.ReportView().header();
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

class LocalPaneGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void browsesFiltersSelectsAndSorts();
    void viewOpensTheTextWindow();
};

void LocalPaneGuiTest::browsesFiltersSelectsAndSorts() {
    testing::TempFolder disk;
    QVERIFY(::mkdir((disk.path() + "/sub").c_str(), 0755) == 0);
    testing::WriteBytes(disk.path() + "/sub/inner.txt", "x");
    testing::WriteBytes(disk.path() + "/a.txt", "1");
    testing::WriteBytes(disk.path() + "/b.log", "22");
    testing::WriteBytes(disk.path() + "/c.txt", "333");
    TGuiWindow w({});
    QVERIFY(w.exposed);
    TMainWindow& win = *w.window;
    QVERIFY(w.Core().Local.SetDirectory(disk.path()));
    TPaneWidget& pane = win.LocalPane();
    QCOMPARE(Shown(pane), (QStringList{"sub", "a.txt", "b.log", "c.txt"}));
    auto* dlbx = win.findChild<QComboBox*>("dlbx");
    auto* drives = win.findChild<QComboBox*>("DriveComboBox1");
    QVERIFY(dlbx != nullptr && drives != nullptr);
    QCOMPARE(dlbx->currentText(), QString::fromStdString(disk.path()));
    QCOMPARE(drives->itemText(0), QString("/"));

    w.DoubleClickRow(pane, w.Row(w.Core().lvLoc, "sub"));
    QTRY_COMPARE_WITH_TIMEOUT(dlbx->currentText(), QString::fromStdString(disk.path() + "/sub"),
                              kGuiDeadlineMs);
    QCOMPARE(Shown(pane), QStringList{"inner.txt"});
    QTest::mouseClick(win.findChild<QToolButton*>("SpeedButton4"), Qt::LeftButton);
    QCOMPARE(dlbx->currentText(), QString::fromStdString(disk.path()));
    QCOMPARE(Shown(pane).size(), 4);

    AnswerNextInput("*.txt");
    win.Action("Filter1")->trigger();
    QCOMPARE(Shown(pane), (QStringList{"a.txt", "c.txt"}));

    auto* status = win.findChild<QLabel*>("pnlLocInfo");
    QVERIFY(status != nullptr);
    QVERIFY(!status->isVisible());
    AnswerNextInput("c.*");
    win.Action("Selectbymask1")->trigger();
    const QModelIndexList selected = pane.ReportView().selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected[0].data().toString(), QString("c.txt"));
    QVERIFY(status->isVisible());
    QCOMPARE(status->text(), QString("3 byte(0.00 Kb) in 1 file(s)"));
    QTRY_VERIFY_WITH_TIMEOUT(win.focusWidget() == &pane.ReportView(), kGuiDeadlineMs);

    ClickHeader(pane, 1);  // "Size": the larger first
    QCOMPARE(Shown(pane), (QStringList{"c.txt", "a.txt"}));
    QCOMPARE(pane.ReportView().header()->sortIndicatorSection(), 1);
    ClickHeader(pane, 1);
    QCOMPARE(Shown(pane), (QStringList{"a.txt", "c.txt"}));
    QCOMPARE(pane.ReportView().header()->sortIndicatorOrder(), Qt::DescendingOrder);
    QVERIFY(!status->isVisible());  // re-sorting drops the selection
}

void LocalPaneGuiTest::viewOpensTheTextWindow() {
    testing::TempFolder disk;
    testing::WriteBytes(disk.path() + "/notes.txt", "first line\r\nsecond line\n");
    TGuiWindow w({});
    QVERIFY(w.Core().Local.SetDirectory(disk.path()));
    TMainWindow& win = *w.window;
    QVERIFY(!win.Action("sbView")->isEnabled());
    w.main->lvLocSelectItems({0});
    QVERIFY(win.Action("sbView")->isEnabled());
    QTest::mouseClick(win.findChild<QToolButton*>("sbViewButton"), Qt::LeftButton);
    TTextViewer* viewer = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(
        (viewer = win.findChild<TTextViewer*>("TextViewer")) != nullptr && viewer->isVisible(),
        kGuiDeadlineMs);
    QCOMPARE(viewer->Text().toPlainText(), QString("first line\nsecond line\n"));
    QVERIFY(viewer->Text().isReadOnly());
    QCOMPARE(viewer->windowTitle(), QString("notes.txt - View"));
    viewer->close();
    QTRY_VERIFY_WITH_TIMEOUT(win.findChild<TTextViewer*>("TextViewer") == nullptr, kGuiDeadlineMs);
}

}  // namespace
}  // namespace tarnwick::ui

QTEST_MAIN(tarnwick::ui::LocalPaneGuiTest)
#include "LocalPaneGuiTest.moc"

// The window's look on screen, offscreen: its state saved on close and back at the next
// start; the status bar after a connect to pyftpdlib; the log's Copy, Clear and Save; every
// control of the window and of its dialogs named and described for assistive tools; icons.
#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <filesystem>

#include "session/WindowState.h"
#include "settings/TextFile.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/SavedServers.h"
#include "tests/ui/GuiTestKit.h"
#include "tests/ui/ModalSteps.h"
#include "ui/Icons.h"

namespace tarnwick::ui {
namespace {

using testkit::kGuiDeadlineMs;
using testkit::TGuiWindow;
using testkit::TModalSteps;

// The window on a settings folder the test keeps across two runs.
struct TWindowRun {
    explicit TWindowRun(const std::string& folder) {
        session::TMainEnvironment env;
        env.SettingsFolder = folder;
        env.Dialogs = &dialogs;
        main = std::make_unique<session::T_Main>(env);
        window = std::make_unique<TMainWindow>(*main);
        dialogs.SetOwner(window.get());
        main->FormCreate();
        window->show();
        exposed = QTest::qWaitForWindowExposed(window.get());
    }
    ~TWindowRun() {
        window.reset();
        main.reset();
    }
    QSplitter& Split(const char* name) { return *window->findChild<QSplitter*>(name); }
    bool exposed = false;
    TQtLoopDriver driver;
    TQtDialogService dialogs;
    std::unique_ptr<session::T_Main> main;
    std::unique_ptr<TMainWindow> window;
};

// Controls Qt makes inside its own widgets; they carry no names of ours.
bool QtInternal(const QObject& o) {
    static const QSet<QString> kInternalNames = {
        "qt_scrollarea_viewport",
        "qt_scrollarea_hcontainer",
        "qt_scrollarea_vcontainer",
        "qt_toolbar_ext_button",
        "qt_menubar_ext_button",
        "qt_spinbox_lineedit",
        "qt_calendar_",
        "qt_tabwidget_stackedwidget",
        "qt_tabwidget_tabbar",
        "qt_msgbox_label",
        "qt_msgboxex_icon_label",
        "qt_msgbox_buttonbox",
        "qt_msgbox_informativelabel",
        "qt_toolbar_ext_button",
    };
    if (kInternalNames.contains(o.objectName())) return true;
    // Inside what Qt makes for itself ("qt_menubar_ext_button" and its menu, ...), and the
    // line edit of an editable combo box.
    for (const QObject* p = &o; p; p = p->parent()) {
        if (p->objectName().startsWith("qt_")) return true;
    }
    if (qobject_cast<const QLineEdit*>(&o) && qobject_cast<const QComboBox*>(o.parent()))
        return true;
    const char* cls = o.metaObject()->className();
    for (const char* internal :
         {"QHeaderView", "QScrollBar", "QComboBoxPrivateContainer", "QComboBoxListView",
          "QToolBarExtension", "QSplitterHandle", "QSizeGrip", "QToolBarSeparator", "QFocusFrame",
          "QWidgetLineControl", "QCompleter", "QUnicodeControlCharacterMenu", "QWidgetAction",
          "QMenuBarExtension", "QTipLabel"}) {
        if (qstrcmp(cls, internal) == 0) return true;
    }
    // The inner parts of a combo box, a menu bar's and a toolbar's own layout widgets.
    for (const QObject* p = o.parent(); p; p = p->parent()) {
        if (qstrcmp(p->metaObject()->className(), "QComboBoxPrivateContainer") == 0) return true;
    }
    // The menu bar's own menu for the menus that do not fit.
    if (auto* m = qobject_cast<const QMenu*>(&o)) {
        auto* bar = qobject_cast<const QMenuBar*>(m->parent());
        if (bar && !bar->actions().contains(m->menuAction())) return true;
    }
    // Separators, and the toggle Qt gives a toolbar for itself.
    if (auto* a = qobject_cast<const QAction*>(&o)) {
        if (a->isSeparator()) return true;
        if (auto* bar = qobject_cast<const QToolBar*>(a->parent());
            bar && bar->toggleViewAction() == a)
            return true;
    }
    return false;
}

// What is missing on the controls of `root`, one line each.
QStringList Undescribed(QWidget& root) {
    QStringList missing;
    QList<QWidget*> widgets = root.findChildren<QWidget*>();
    widgets.prepend(&root);
    for (QWidget* w : widgets) {
        if (QtInternal(*w)) continue;
        // Controls: what takes the focus or a click, and every part given a name of its own.
        // Layout holders and the caption labels of fields are read as text.
        const bool control = w->focusPolicy() != Qt::NoFocus || qobject_cast<QAbstractButton*>(w) ||
                             qobject_cast<QMenu*>(w) || w->isWindow() || !w->objectName().isEmpty();
        if (!control) continue;
        const QString what =
            QString("%1 (%2 in %3)")
                .arg(w->objectName(), w->metaObject()->className(),
                     w->parent() ? w->parent()->objectName() : QString()) +
            (qobject_cast<QMenu*>(w) ? qobject_cast<QMenu*>(w)->title() : QString());
        if (w->objectName().isEmpty()) missing << "no object name: " + what;
        if (w->accessibleName().isEmpty()) missing << "no accessible name: " + what;
        if (w->accessibleDescription().isEmpty()) missing << "no description: " + what;
    }
    for (QAction* a : root.findChildren<QAction*>()) {
        if (QtInternal(*a) || a->text().isEmpty()) continue;
        const QString what = QString("action %1 \"%2\"").arg(a->objectName(), a->text());
        if (a->objectName().isEmpty()) missing << "no object name: " + what;
        if (a->statusTip().isEmpty()) missing << "no description: " + what;
    }
    return missing;
}

class LookGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void remembersTheWindowBetweenRuns();
    void statusBarShowsTheServer();
    void logCopyClearAndSave();
    void everyControlIsNamedAndDescribed();
    void iconsFollowTheFileType();
};

void LookGuiTest::remembersTheWindowBetweenRuns() {
    testing::TempFolder settings;
    testing::TempFolder local;
    const QRect frame(30, 40, 700, 500);
    QList<int> paneSplit;
    QList<int> remoteSplit;
    {
        TWindowRun first(settings.path());
        QVERIFY(first.exposed);
        first.window->setGeometry(frame);
        QTRY_COMPARE(first.window->geometry(), frame);
        first.Split("Splitter1").setSizes({200, 480});
        first.Split("Splitter2").setSizes({300, 100});
        paneSplit = first.Split("Splitter1").sizes();
        remoteSplit = first.Split("Splitter2").sizes();
        first.window->LocalPane().ReportView().setColumnWidth(1, 123);
        QVERIFY(first.main->Core().Local.SetDirectory(local.path()));
        first.window->close();
    }
    std::string text;
    QCOMPARE(ReadTextFile(settings.file(session::kWindowStateFile), text), ReadStatus::kOk);

    TWindowRun second(settings.path());
    QVERIFY(second.exposed);
    QCOMPARE(second.window->geometry(), frame);
    QTRY_COMPARE_WITH_TIMEOUT(second.Split("Splitter1").sizes(), paneSplit, kGuiDeadlineMs);
    QCOMPARE(second.Split("Splitter2").sizes(), remoteSplit);
    QCOMPARE(second.window->LocalPane().ReportView().columnWidth(1), 123);
    QCOMPARE(second.main->Core().Local.Directory(), local.path());
}

void LookGuiTest::statusBarShowsTheServer() {
    testing::PyFtpdServer ftpd;
    QVERIFY2(ftpd.Running(), ftpd.Failure().c_str());
    ftpd.WriteFile("hello.txt", "hello\n");
    TGuiWindow w(
        {testing::LoopbackServer("Local pyftpd", ftpd.PortText(), ftpd.User(), ftpd.Password())});
    auto* connection = w.window->findChild<QLabel*>("StatusConnection");
    QVERIFY(connection != nullptr);
    QCOMPARE(connection->text(), QString("Not connected"));
    w.DoubleClickRow(w.window->RemotePane(), 0);
    const QString server = "127.0.0.1:" + QString::fromStdString(ftpd.PortText());
    QTRY_COMPARE_WITH_TIMEOUT(connection->text(), "Connected to " + server, kGuiDeadlineMs);
    QTRY_VERIFY_WITH_TIMEOUT(!w.Core().State.Busy && w.Core().FTPView.RowCount() == 1,
                             kGuiDeadlineMs);
    QCOMPARE(w.window->findChild<QLabel*>("StatusFailure")->text(), QString());
    w.window->Action("sbDisConnect")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(connection->text(), QString("Not connected"), kGuiDeadlineMs);
}

void LookGuiTest::logCopyClearAndSave() {
    TGuiWindow w({});
    TLogWidget* log = w.window->findChild<TLogWidget*>("Log");
    QVERIFY(log != nullptr);
    w.Core().Log.Clear();
    for (const char* l : {"Connecting to h", "> USER u", "< 230 in"}) w.Core().WriteLog(l);
    QCOMPARE(log->model()->rowCount(), 3);
    QVERIFY(log->model()->index(1, 0).data(Qt::ForegroundRole).value<QColor>() !=
            log->model()->index(2, 0).data(Qt::ForegroundRole).value<QColor>());

    auto action = [&](const char* name) {
        auto* a = log->findChild<QAction*>(name);
        if (!a) qFatal("no action %s", name);
        return a;
    };
    QApplication::clipboard()->clear();
    action("LogCopy")->trigger();  // nothing selected: every line
    QCOMPARE(QApplication::clipboard()->text(), QString("Connecting to h\n> USER u\n< 230 in\n"));
    log->selectionModel()->select(log->model()->index(2, 0), QItemSelectionModel::Select);
    action("LogCopy")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QString("< 230 in\n"));

    const std::string target = w.settings.file("session log.txt");
    TModalSteps steps;
    steps.Then("SaveFileDialog", [&](QWidget& d) {
        auto& dialog = static_cast<QFileDialog&>(d);
        // The name typed into the dialog's own field: selectFile races with the dialog
        // filling that field from the folder it is still reading.
        QTimer::singleShot(0, &dialog, [&dialog, &target] {
            if (auto* name = dialog.findChild<QLineEdit*>("fileNameEdit"))
                name->setText(QString::fromStdString(target));
            else
                dialog.selectFile(QString::fromStdString(target));
            static_cast<QDialog&>(dialog).accept();
        });
    });
    action("LogSave")->trigger();
    QVERIFY(steps.Done());
    std::string saved;
    QCOMPARE(ReadTextFile(target, saved), ReadStatus::kOk);
    QCOMPARE(saved, std::string("Connecting to h\n> USER u\n< 230 in\n"));

    action("LogClear")->trigger();
    QCOMPARE(log->model()->rowCount(), 0);
    QCOMPARE(w.Core().Log.Count(), size_t{0});
}

void LookGuiTest::everyControlIsNamedAndDescribed() {
    TGuiWindow w({});
    QVERIFY(w.exposed);
    QStringList missing = Undescribed(*w.window);

    // The dialogs the window opens, each looked at while it is up and then closed.
    TModalSteps steps;
    auto look = [&](const char* name) {
        steps.Then(name, [&missing, name](QWidget& d) {
            QVERIFY(d.findChildren<QWidget*>().size() > 2);
            for (const QString& m : Undescribed(d)) missing << QString(name) + ": " + m;
            QTimer::singleShot(0, &d, [&d] { static_cast<QDialog&>(d).reject(); });
        });
    };
    TQtDialogService& dialogs = w.dialogs;
    look("TInputForm");
    session::TInputQuery input;
    input.Caption = "Enter password";
    input.Prompt = "Password:";
    input.ShowMaskBox = true;
    dialogs.InputQuery(input);
    look("TFFtpBase");
    TFTPServerInfo record = NewServerInfo();
    dialogs.EditServer(record, w.settings.path(), {});
    look("T_Options");
    TFTPOptions options = DefaultOptions();
    dialogs.EditOptions(options);
    look("T_ChMod");
    dialogs.EditPermissions("-rwxr-xr-x");
    look("T_FCmd");
    TCommandList commands;
    dialogs.PickCommand(commands);
    look("TFReWrite");
    std::string target = w.settings.file("x.txt");
    dialogs.AskRewrite(target);
    look("TCertificateDialog");
    net::TCertificateInfo certificate;
    certificate.host = "127.0.0.1";
    dialogs.AskCertificate(certificate);
    look("MessageBox");
    session::TMessageQuery message;
    message.Caption = "Attention";
    message.Text = "Do you wish to remove 1 file(s)";
    message.Buttons = session::TMsgButtons::YesNo;
    dialogs.MessageBox(message);
    QVERIFY(steps.Done());
    for (const QString& m : missing) qInfo("%s", qPrintable(m));
    QVERIFY2(missing.isEmpty(), "controls without a name or description (listed above)");
}

void LookGuiTest::iconsFollowTheFileType() {
    struct Case {
        const char* name;
        const char* icon;
    };
    const Case cases[] = {
        {"notes.txt", "text-plain"},
        {"photo.PNG", "image-png"},
        {"archive.tar.gz", "application-x-compressed-tar"},
        {"no-such.type-here", "text-x-generic"},
        {"README", "text-x-readme"},
    };
    for (const Case& c : cases) QCOMPARE(TFileIcons::IconName(c.name), QString(c.icon));
    // A picture for every row, files by their type, remote names too.
    TFileIcons icons;
    QVERIFY(!icons.File("notes.txt").isNull());
    QVERIFY(!icons.Folder().isNull());
    QVERIFY(!icons.Server().isNull());
}

}  // namespace
}  // namespace tarnwick::ui

QTEST_MAIN(tarnwick::ui::LookGuiTest)
#include "LookGuiTest.moc"

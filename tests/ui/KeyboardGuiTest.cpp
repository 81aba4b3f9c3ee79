// The keyboard of the real window, offscreen, against pyftpdlib: every pane key acts on the
// pane holding the focus (its effect seen on the local disk, the server's disk or the pane),
// the keys stay out of the text fields, the menus and tooltips show them, and the
// quick-connect bar opens a session that adds nothing to the saved servers.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <functional>

#include "session/KeyboardCommands.h"
#include "session/QuickConnect.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/SavedServers.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/GuiTestKit.h"
#include "tests/ui/KeyboardSteps.h"
#include "tests/ui/ModalSteps.h"
#include "ui/QuickConnectBar.h"

namespace tarnwick::ui {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::WriteBytes;
using testkit::AnswerInput;
using testkit::AnswerYes;
using testkit::Child;
using testkit::HasFocusIn;
using testkit::kGuiDeadlineMs;
using testkit::TGuiWindow;
using testkit::TModalSteps;

class KeyboardGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void eachKeyActsOnTheFocusedPane();
    void keysStayOutOfTextFieldsAndShowInMenusAndTooltips();
    void quickConnectOpensASessionAndSavesNoServer();
};

// The window connected to pyftpdlib, its local pane on a scratch folder.
struct TKeyWindow {
    explicit TKeyWindow(testing::PyFtpdServer& ftpd)
        : w({testing::LoopbackServer("ftpd", ftpd.PortText(), ftpd.User(), ftpd.Password())}) {}
    bool Open() {
        w.window->activateWindow();
        if (!QTest::qWaitForWindowActive(w.window.get())) return false;
        if (!w.Core().Local.SetDirectory(local.path())) return false;
        w.DoubleClickRow(w.window->RemotePane(), 0);
        return QTest::qWaitFor([&] { return !w.Core().State.ServerMode && Idle(); },
                               kGuiDeadlineMs);
    }
    bool Idle() {
        return !w.Core().State.Busy && w.Core().Ftp1.State() == ftp::esReady &&
               w.main->Transfers().Progress() == nullptr && !w.Core().FTPView.Empty();
    }
    TPaneWidget& Pane(session::TPaneSide side) {
        return side == session::TPaneSide::Local ? w.window->LocalPane() : w.window->RemotePane();
    }
    session::TPaneModel& Model(session::TPaneSide side) {
        return side == session::TPaneSide::Local ? w.Core().lvLoc : w.Core().FTPView;
    }
    // Selects the row of that caption (none when empty) and puts the focus into the pane.
    bool Focus(session::TPaneSide side, const std::string& caption) {
        if (!caption.empty()) {
            const int row = w.Row(Model(side), caption);
            if (row < 0) {
                std::string all;
                for (const std::string& n : w.Captions(Model(side))) all += n + " ";
                qWarning("no row %s in %s (%s)", caption.c_str(), all.c_str(),
                         w.Core().Local.Directory().c_str());
                return false;
            }
            if (side == session::TPaneSide::Local)
                w.main->lvLocSelectItems({static_cast<size_t>(row)});
            else
                w.main->FTPViewSelectItems({static_cast<size_t>(row)});
        }
        return testkit::FocusPane(*w.window, Pane(side));
    }
    void Press(session::TPaneSide side, QKeySequence key) { testkit::PressIn(Pane(side), key); }
    std::string Local(const std::string& name) const { return local.path() + "/" + name; }

    TGuiWindow w;
    testing::TempFolder local;
};

void KeyboardGuiTest::eachKeyActsOnTheFocusedPane() {
    using session::TPaneSide;
    testing::PyFtpdServer ftpd;
    QVERIFY2(ftpd.Running(), ftpd.Failure().c_str());
    for (const char* f : {"r.txt", "rename-me.txt", "del-me.txt", "del-me2.txt", "rdir/inner.txt"})
        ftpd.WriteFile(f, std::string("remote ") + f);
    TKeyWindow k(ftpd);
    fs::create_directories(k.Local("ldir/deeper"));
    for (const char* f : {"l.txt", "lren.txt", "ldel.txt", "ldel2.txt"})
        WriteBytes(k.Local(f), std::string("local ") + f);
    QVERIFY(k.Open());
    session::TSessionCore& core = k.w.Core();

    struct Case {
        const char* what;
        TPaneSide side;
        QKeySequence key;
        std::string select;                         // the row selected first
        std::function<void(TModalSteps&)> dialogs;  // answers to what the key asks
        std::function<void()> before;               // changes behind the window's back
        std::function<bool()> done;                 // the effect
    };
    // The listing after a remote change has been shown.
    auto Shows = [&](const char* name) { return k.w.Row(core.FTPView, name) >= 0; };
    const TPaneSide L = TPaneSide::Local;
    const TPaneSide R = TPaneSide::Remote;
    auto ask = [](const char* answer) {
        return [answer](TModalSteps& s) {
            s.Then("TInputForm", [answer](QWidget& d) { AnswerInput(d, answer); });
        };
    };
    auto yes = [](TModalSteps& s) { s.Then("MessageBox", AnswerYes); };
    auto allSelected = [](const session::TPaneModel& p) {
        return p.RowCount() > 0 && p.SelectedCount() == p.RowCount();
    };
    const Case cases[] = {
        {"local F7 makes a folder",
         L,
         QKeySequence(Qt::Key_F7),
         "",
         ask("lnew"),
         {},
         [&] { return fs::is_directory(k.Local("lnew")); }},
        {"local Backspace goes up",
         L,
         QKeySequence(Qt::Key_Backspace),
         "",
         {},
         {},
         [&] { return core.Local.Directory() == k.local.path(); }},
        {"local Enter enters the folder",
         L,
         QKeySequence(Qt::Key_Return),
         "ldir",
         {},
         {},
         [&] { return core.Local.Directory() == k.Local("ldir"); }},
        {"local Backspace goes up",
         L,
         QKeySequence(Qt::Key_Backspace),
         "",
         {},
         {},
         [&] { return core.Local.Directory() == k.local.path(); }},
        {"local F2 renames",
         L,
         QKeySequence(Qt::Key_F2),
         "lren.txt",
         ask("lren2.txt"),
         {},
         [&] { return !fs::exists(k.Local("lren.txt")) && fs::exists(k.Local("lren2.txt")); }},
        {"local Delete deletes",
         L,
         QKeySequence(Qt::Key_Delete),
         "ldel.txt",
         yes,
         {},
         [&] { return !fs::exists(k.Local("ldel.txt")); }},
        {"local F8 deletes",
         L,
         QKeySequence(Qt::Key_F8),
         "ldel2.txt",
         yes,
         {},
         [&] { return !fs::exists(k.Local("ldel2.txt")); }},
        {"local Ctrl+A selects all",
         L,
         QKeySequence(Qt::CTRL | Qt::Key_A),
         "",
         {},
         {},
         [&] { return allSelected(core.lvLoc); }},
        {"local Ctrl+R reads the folder again",
         L,
         QKeySequence(Qt::CTRL | Qt::Key_R),
         "",
         {},
         [&] { WriteBytes(k.Local("fresh-local.txt"), "x"); },
         [&] { return k.w.Row(core.lvLoc, "fresh-local.txt") >= 0; }},
        {"local F5 uploads",
         L,
         QKeySequence(Qt::Key_F5),
         "l.txt",
         {},
         {},
         [&] {
             return ftpd.Exists("l.txt") && ftpd.ReadFile("l.txt") == "local l.txt" && k.Idle();
         }},
        {"local Tab goes to the remote pane",
         L,
         QKeySequence(Qt::Key_Tab),
         "",
         {},
         {},
         [&] { return HasFocusIn(k.w.window->RemotePane()); }},
        {"remote Enter enters the folder",
         R,
         QKeySequence(Qt::Key_Return),
         "rdir",
         {},
         {},
         [&] {
             return core.Ftp1.HostDirName() == "/rdir" && k.w.Row(core.FTPView, "inner.txt") >= 0 &&
                    k.Idle();
         }},
        {"remote Backspace goes up",
         R,
         QKeySequence(Qt::Key_Backspace),
         "",
         {},
         {},
         [&] {
             return core.Ftp1.HostDirName() == "/" && k.w.Row(core.FTPView, "rdir") >= 0 &&
                    k.Idle();
         }},
        {"remote F7 makes a directory",
         R,
         QKeySequence(Qt::Key_F7),
         "",
         ask("rnew"),
         {},
         [&] { return fs::is_directory(ftpd.Root() + "/rnew") && Shows("rnew") && k.Idle(); }},
        {"remote F2 renames",
         R,
         QKeySequence(Qt::Key_F2),
         "rename-me.txt",
         ask("renamed.txt"),
         {},
         [&] { return !ftpd.Exists("rename-me.txt") && Shows("renamed.txt") && k.Idle(); }},
        {"remote Delete deletes",
         R,
         QKeySequence(Qt::Key_Delete),
         "del-me.txt",
         yes,
         {},
         [&] { return !ftpd.Exists("del-me.txt") && !Shows("del-me.txt") && k.Idle(); }},
        {"remote F8 deletes",
         R,
         QKeySequence(Qt::Key_F8),
         "del-me2.txt",
         yes,
         {},
         [&] { return !ftpd.Exists("del-me2.txt") && !Shows("del-me2.txt") && k.Idle(); }},
        {"remote Ctrl+A selects all",
         R,
         QKeySequence(Qt::CTRL | Qt::Key_A),
         "",
         {},
         {},
         [&] { return allSelected(core.FTPView); }},
        {"remote Ctrl+R lists again",
         R,
         QKeySequence(Qt::CTRL | Qt::Key_R),
         "",
         {},
         [&] { ftpd.WriteFile("fresh-remote.txt", "y"); },
         [&] { return k.w.Row(core.FTPView, "fresh-remote.txt") >= 0 && k.Idle(); }},
        {"remote F5 downloads",
         R,
         QKeySequence(Qt::Key_F5),
         "r.txt",
         {},
         {},
         [&] { return ReadBytes(k.Local("r.txt")) == "remote r.txt" && k.Idle(); }},
        {"remote Tab goes to the local pane",
         R,
         QKeySequence(Qt::Key_Tab),
         "",
         {},
         {},
         [&] { return HasFocusIn(k.w.window->LocalPane()); }},
    };
    for (const Case& c : cases) {
        QVERIFY2(QTest::qWaitFor([&] { return k.Idle(); }, kGuiDeadlineMs), c.what);
        if (c.before) c.before();
        QVERIFY2(k.Focus(c.side, c.select), c.what);
        TModalSteps steps;
        if (c.dialogs) c.dialogs(steps);
        k.Press(c.side, c.key);
        if (!QTest::qWaitFor(c.done, kGuiDeadlineMs)) {
            for (size_t i = core.Log.Count() > 12 ? core.Log.Count() - 12 : 0; i < core.Log.Count();
                 ++i)
                qWarning("log: %s", core.Log.Line(i).Text.c_str());
            QFAIL(c.what);
        }
        QVERIFY2(steps.Done(), c.what);
    }
    // Nothing was done on the other side by mistake.
    QVERIFY(!fs::exists(k.Local("rnew")) && !ftpd.Exists("lnew"));
    QVERIFY(fs::exists(k.Local("l.txt")) && ftpd.Exists("r.txt"));

    // Escape stops a transfer (the session goes, as with Stop); idle, it does nothing.
    k.Press(R, QKeySequence(Qt::Key_Escape));
    QTest::qWait(100);
    QVERIFY(!core.State.ServerMode);
    ftpd.WriteFile("huge.bin", "");
    fs::resize_file(ftpd.Root() + "/huge.bin", std::uintmax_t{1} << 30);
    QVERIFY(k.Focus(R, ""));
    k.Press(R, QKeySequence(Qt::CTRL | Qt::Key_R));
    QVERIFY(QTest::qWaitFor([&] { return k.w.Row(core.FTPView, "huge.bin") >= 0 && k.Idle(); },
                            kGuiDeadlineMs));
    QVERIFY(k.Focus(R, "huge.bin"));
    k.Press(R, QKeySequence(Qt::Key_F5));
    QVERIFY(QTest::qWaitFor(
        [&] {
            const dialogs::TProgress* p = k.w.main->Transfers().Progress();
            return p != nullptr && p->Transferred() > 0;
        },
        kGuiDeadlineMs));
    QVERIFY(k.Focus(R, ""));
    k.Press(R, QKeySequence(Qt::Key_Escape));
    QVERIFY(QTest::qWaitFor([&] { return core.State.ServerMode; }, kGuiDeadlineMs));
    QVERIFY(fs::file_size(k.Local("huge.bin")) < (std::uintmax_t{1} << 30));
}

void KeyboardGuiTest::keysStayOutOfTextFieldsAndShowInMenusAndTooltips() {
    testing::TempFolder local;
    fs::create_directories(local.path() + "/sub");
    WriteBytes(local.path() + "/a.txt", "a");
    TGuiWindow w({});
    QVERIFY(w.exposed);
    w.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
    QVERIFY(w.Core().Local.SetDirectory(local.path() + "/sub"));
    auto* bar = w.window->findChild<TQuickConnectBar*>("QuickConnectBar");
    QVERIFY(bar != nullptr);

    // Typing in the host field: Backspace, Delete and Ctrl+A edit the text, not the panes;
    // no question comes up.
    QLineEdit& host = *bar->Host().lineEdit();
    host.setFocus();
    QVERIFY(QTest::qWaitFor([&] { return host.hasFocus(); }, kGuiDeadlineMs));
    QTest::keyClicks(&host, "hostx");
    QTest::keyClick(&host, Qt::Key_Backspace);
    QTest::keyClick(&host, Qt::Key_Home);
    QTest::keyClick(&host, Qt::Key_Delete);
    QCOMPARE(host.text(), QString("ost"));
    QCOMPARE(bar->Logic().Fields().Host, std::string("ost"));
    QTest::keyClick(&host, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(host.selectedText(), QString("ost"));
    QCOMPARE(w.Core().Local.Directory(), local.path() + "/sub");
    QCOMPARE(w.Core().lvLoc.SelectedCount(), size_t{0});
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    // The same keys in the pane act there.
    w.window->LocalPane().CurrentView().setFocus();
    QTest::keyClick(&w.window->LocalPane().CurrentView(), Qt::Key_Backspace);
    QCOMPARE(w.Core().Local.Directory(), local.path());

    // The menus show the keys, the tooltips too.
    struct Shown {
        const char* action;
        QKeySequence key;
    };
    const Shown shown[] = {
        {"MakeDirectory1", QKeySequence(Qt::Key_F7)},
        {"Makedirectory2", QKeySequence(Qt::Key_F7)},
        {"MenuItem4", QKeySequence(Qt::Key_F7)},
        {"RenameFile3", QKeySequence(Qt::Key_F2)},
        {"DeleteFile1", QKeySequence(Qt::Key_Delete)},
        {"Delete1", QKeySequence(Qt::Key_Delete)},
        {"UploadSelectedFiles1", QKeySequence(Qt::Key_F5)},
        {"DownloadSelectedFiles2", QKeySequence(Qt::Key_F5)},
        {"All1", QKeySequence(Qt::CTRL | Qt::Key_A)},
        {"All4", QKeySequence(Qt::CTRL | Qt::Key_A)},
        {"Refresh2", QKeySequence(Qt::CTRL | Qt::Key_R)},
        {"StopTransfer1", QKeySequence(Qt::Key_Escape)},
        {"ViewFile3", QKeySequence(Qt::Key_F3)},
    };
    for (const Shown& s : shown) {
        QAction* a = w.window->Action(s.action);
        QVERIFY2(a != nullptr, s.action);
        QVERIFY2(a->shortcuts().contains(s.key), s.action);
        QVERIFY2(a->toolTip().endsWith("(" + s.key.toString(QKeySequence::NativeText) + ")"),
                 qPrintable(a->toolTip()));
    }
    QVERIFY(w.window->Action("Delete1")->shortcuts().contains(QKeySequence(Qt::Key_F8)));
    auto* toolbar = w.window->findChild<QToolBar*>("ToolBar1");
    QVERIFY(toolbar != nullptr);
    QCOMPARE(Child(*toolbar, "sbMkd2Button").toolTip(), QString("New Folder (F7)"));
    QCOMPARE(Child(*toolbar, "SpeedButton2Button").toolTip(), QString("Download (F5)"));
    QCOMPARE(Child(*toolbar, "sbStopButton").toolTip(), QString("Stop (Esc)"));
    QCOMPARE(Child(*w.window, "SpeedButton4").toolTip(), QString("Up one level (Backspace)"));
}

void KeyboardGuiTest::quickConnectOpensASessionAndSavesNoServer() {
    testing::PyFtpdServer ftpd;
    QVERIFY2(ftpd.Running(), ftpd.Failure().c_str());
    ftpd.WriteFile("pub/readme.txt", "hello");
    ftpd.WriteFile("top.txt", "top");
    TGuiWindow w({testing::LoopbackServer("saved", "21", "someone", "pw")});
    QVERIFY(w.exposed);
    const std::string savedList = ReadBytes(w.settings.file(kServerListFileName));
    auto* bar = w.window->findChild<TQuickConnectBar*>("QuickConnectBar");
    QVERIFY(bar != nullptr);

    // A bad port is refused on the bar.
    QTest::keyClicks(bar->Host().lineEdit(), "127.0.0.1");
    QTest::keyClicks(&bar->Port(), "99999");
    QTest::mouseClick(&bar->ConnectButton(), Qt::LeftButton);
    QVERIFY(bar->Problem().isVisible());
    QCOMPARE(bar->Problem().text(), QString("The port must be a number from 1 to 65535."));
    QVERIFY(w.Core().State.ServerMode);

    bar->Port().clear();
    QTest::keyClicks(&bar->Port(), ftpd.PortText().c_str());
    QTest::keyClicks(&bar->User(), ftpd.User().c_str());
    QTest::keyClicks(&bar->Password(), ftpd.Password().c_str());
    QCOMPARE(bar->Password().echoMode(), QLineEdit::Password);
    QTest::keyClick(&bar->Password(), Qt::Key_Return);
    QVERIFY(QTest::qWaitFor(
        [&] {
            return !w.Core().State.ServerMode && w.Row(w.Core().FTPView, "top.txt") >= 0 &&
                   w.Row(w.Core().FTPView, "pub") >= 0;
        },
        kGuiDeadlineMs));
    QVERIFY(!bar->Problem().isVisible());
    QCOMPARE(w.Core().Servers.size(), size_t{1});
    QCOMPARE(ReadBytes(w.settings.file(kServerListFileName)), savedList);
    QCOMPARE(bar->Host().count(), 1);
    QCOMPARE(bar->Host().itemText(0), QString::fromStdString("127.0.0.1:" + ftpd.PortText()));
    QVERIFY(ReadBytes(w.settings.file(session::kQuickConnectFileName)).find(ftpd.Password()) ==
            std::string::npos);

    w.main->sbDisConnectClick();
    QVERIFY(QTest::qWaitFor([&] { return w.Core().State.ServerMode; }, kGuiDeadlineMs));
    QCOMPARE(w.Captions(w.Core().FTPView), std::vector<std::string>{"saved"});
    QCOMPARE(ReadBytes(w.settings.file(kServerListFileName)), savedList);

    // Chosen again from the drop-down: host, port and user come back, the password does not.
    bar->Password().clear();
    bar->Logic().SetPassword("");
    bar->Host().setEditText("elsewhere");
    bar->User().clear();
    bar->Logic().SetUser("");
    QVERIFY(bar->Host().view() != nullptr);
    emit bar->Host().activated(0);
    QCOMPARE(bar->Host().currentText(), QString("127.0.0.1"));
    QCOMPARE(bar->Port().text(), QString::fromStdString(ftpd.PortText()));
    QCOMPARE(bar->User().text(), QString::fromStdString(ftpd.User()));
    QCOMPARE(bar->Password().text(), QString());
}

}  // namespace
}  // namespace tarnwick::ui

QTEST_MAIN(tarnwick::ui::KeyboardGuiTest)
#include "KeyboardGuiTest.moc"

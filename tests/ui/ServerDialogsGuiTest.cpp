// The server properties, preferences and input dialogs on screen, offscreen: a server added
// through the real dialog (refused once, then accepted), seen in the pane and opened against
// pyftpdlib; the preferences turned to SOCKS 5 and the next listing over PASV; the input
// dialog's Enter, Escape and mask; the custom host types with their digit boxes.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <deque>
#include <functional>

#include "dialogs/ServerProperties.h"
#include "tests/support/PyFtpdServer.h"
#include "tests/support/SocksProxies.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/GuiTestKit.h"
#include "tests/ui/ModalSteps.h"

namespace tarnwick::ui {
namespace {

using testkit::kGuiDeadlineMs;
using testkit::TGuiWindow;

using testkit::Child;
using testkit::TModalSteps;

void Type(QWidget& dialog, const char* edit, const QString& text) {
    auto& e = Child<QLineEdit>(dialog, edit);
    e.setFocus();
    QTest::keyClick(&e, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(&e, text);
}

void Click(QAbstractButton& button) {
    QTimer::singleShot(0, &button, [&button] { button.click(); });
}

// How many log lines begin with `prefix`.
int Logged(TGuiWindow& w, const std::string& prefix) {
    const session::TLogModel& log = w.Core().Log;
    int count = 0;
    for (size_t i = 0; i < log.Count(); ++i)
        if (log.Line(i).Text.rfind(prefix, 0) == 0) ++count;
    return count;
}

class ServerDialogsGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void addsAServerOpensItAndGoesPassive();
    void inputDialogEnterEscapeAndMask();
    void customHostTypesAndDigitBoxes();
};

void ServerDialogsGuiTest::addsAServerOpensItAndGoesPassive() {
    testing::PyFtpdServer ftpd;
    QVERIFY2(ftpd.Running(), ftpd.Failure().c_str());
    ftpd.WriteFile("docs/manual.txt", "read me\n");
    ftpd.WriteFile("hello.txt", "hello\n");
    TGuiWindow w({});
    TMainWindow& win = *w.window;
    QVERIFY(w.exposed);
    QCOMPARE(win.RemotePane().Model().rowCount(), 0);

    TModalSteps steps;
    QString refusal;
    bool stayedOpen = false;
    steps.Then("TFFtpBase", [](QWidget& d) {
        QCOMPARE(d.windowTitle(), QString("Server Properties"));
        QCOMPARE(Child<QLineEdit>(d, "PortEdt").text(), QString("21"));
        Type(d, "NameEdt", "Local pyftpd");
        Click(Child<QPushButton>(d, "OK"));  // no server yet
    });
    steps.Then("MessageBox", [&](QWidget& box) {
        refusal = box.windowTitle() + ": " + static_cast<QMessageBox&>(box).text();
        Click(*static_cast<QMessageBox&>(box).button(QMessageBox::Ok));
    });
    steps.Then("TFFtpBase", [&](QWidget& d) {
        stayedOpen = true;
        Type(d, "ServerEdt", "127.0.0.1");
        Type(d, "PortEdt", QString::fromStdString(ftpd.PortText()));
        Type(d, "UserEdt", QString::fromStdString(ftpd.User()));
        Type(d, "PasswordEdt", QString::fromStdString(ftpd.Password()));
        QCOMPARE(Child<QLineEdit>(d, "PasswordEdt").echoMode(), QLineEdit::Password);
        QVERIFY(!Child<QCheckBox>(d, "cbPv").isChecked());
        Click(Child<QPushButton>(d, "OK"));
    });
    win.Action("sbNewServer")->trigger();
    QVERIFY(steps.Done());
    QCOMPARE(refusal, QString("Attention: FTP Server Name must be defined"));
    QVERIFY(stayedOpen);
    QCOMPARE(w.Captions(w.Core().FTPView), std::vector<std::string>{"Local pyftpd"});
    QCOMPARE(testing::ReadBytes(w.settings.file(kServerListFileName)),
             "Name=Local pyftpd;Server=127.0.0.1;Port=" + ftpd.PortText() +
                 ";Password=" + ScramblePassword(ftpd.Password()) + ";User=" + ftpd.User() +
                 ";Anonymous=0;SavePassword=1;Pasv=0;Answer=0957681;CheckPSW=1;CheckVHost=0;\r\n");

    // Opened: the server's own flag keeps the data connections active.
    w.DoubleClickRow(win.RemotePane(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(win.RemotePane().Model().rowCount() == 2 && !w.Core().State.Busy,
                             kGuiDeadlineMs);
    QVERIFY(Logged(w, "> PORT "));
    QVERIFY(!Logged(w, "> PASV"));

    const int activeListings = Logged(w, "> PORT ");
    auto* disconnect = win.findChild<QToolButton*>("sbDisConnectButton");
    QVERIFY(disconnect != nullptr);
    QTest::mouseClick(disconnect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.Core().State.ServerMode && !w.Core().State.Busy, kGuiDeadlineMs);

    // The preferences send the session through SOCKS 5, which takes passive data connections
    // whatever the server's flag says. ("Passive Transfers" itself is hidden, and each connect
    // applies the server's own flag.)
    testing::MicrosocksProxy socks;
    QVERIFY2(socks.Running(), socks.Failure().c_str());
    steps.Then("T_Options", [&](QWidget& d) {
        QCOMPARE(d.windowTitle(), QString("Program Options"));
        QVERIFY(Child<QCheckBox>(d, "cbPassive").isHidden());
        auto& tree = Child<QTreeWidget>(d, "tvPages");
        tree.setCurrentItem(tree.topLevelItem(0)->child(1));
        QCOMPARE(Child<QLabel>(d, "lbPage").text(), QString("Proxy / Firewall "));
        QVERIFY(!Child(d, "pnSocks").isEnabled());
        Child<QRadioButton>(d, "rgType4").click();
        QVERIFY(Child(d, "pnSocks").isEnabled());
        QVERIFY(!Child(d, "pnProxy").isEnabled());
        QCOMPARE(Child(d, "eProxyServer").palette().color(QPalette::Base),
                 QColor(0xC0, 0xC0, 0xC0));
        QCOMPARE(Child(d, "eSocksServer").palette().color(QPalette::Base), QColor(Qt::white));
        Type(d, "eSocksServer", "127.0.0.1");
        Type(d, "eSocksPort", QString::fromStdString(socks.PortText()));
        Type(d, "eSocksUC", QString::fromStdString(socks.User()));
        Type(d, "eSocksPsw", QString::fromStdString(socks.Password()));
        Click(Child<QPushButton>(d, "OK"));
    });
    QVERIFY(win.Action("FtpOptions1")->isEnabled());
    win.Action("FtpOptions1")->trigger();
    QVERIFY(steps.Done());
    QCOMPARE(w.Core().Options.ConnectionType, 4);
    QVERIFY(testing::ReadBytes(w.settings.file(kOptionsFileName)).find("ConnectionType=4") !=
            std::string::npos);

    w.DoubleClickRow(win.RemotePane(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(win.RemotePane().Model().rowCount() == 2 && !w.Core().State.Busy,
                             kGuiDeadlineMs);
    QVERIFY(Logged(w, "> PASV"));
    QCOMPARE(Logged(w, "> PORT "), activeListings);  // no further active listing
}

void ServerDialogsGuiTest::inputDialogEnterEscapeAndMask() {
    TQtDialogService service;
    TModalSteps steps;
    session::TInputQuery q;
    q.Caption = "New Host Type";
    q.Prompt = "Enter";
    q.MaxLength = 4;
    steps.Then("TInputForm", [](QWidget& d) {
        QCOMPARE(d.windowTitle(), QString("New Host Type"));
        QVERIFY(d.findChild<QCheckBox*>("MaskPassword") == nullptr);
        auto& edit = Child<QLineEdit>(d, "Edit1");
        QTest::keyClicks(&edit, "abcdef");
        QTest::keyClick(&edit, Qt::Key_Return);
    });
    QCOMPARE(service.InputQuery(q), std::optional<std::string>("abcd"));

    steps.Then("TInputForm", [](QWidget& d) {
        auto& edit = Child<QLineEdit>(d, "Edit1");
        QTest::keyClicks(&edit, "x");
        QTest::keyClick(&edit, Qt::Key_Escape);
    });
    QCOMPARE(service.InputQuery(q), std::nullopt);

    q.ShowMaskBox = true;
    q.Masked = true;
    q.Value = "pw";
    steps.Then("TInputForm", [](QWidget& d) {
        auto& edit = Child<QLineEdit>(d, "Edit1");
        QCOMPARE(edit.echoMode(), QLineEdit::Password);
        auto& mask = Child<QCheckBox>(d, "MaskPassword");
        QCOMPARE(mask.text(), QString("Mask password"));
        mask.click();
        QCOMPARE(edit.echoMode(), QLineEdit::Normal);
        QTest::keyClick(&edit, Qt::Key_Enter);
    });
    QCOMPARE(service.InputQuery(q), std::optional<std::string>("pw"));
    QVERIFY(steps.Done());
}

void ServerDialogsGuiTest::customHostTypesAndDigitBoxes() {
    TGuiWindow w({});
    TModalSteps steps;
    steps.Then("TFFtpBase", [](QWidget& d) {
        QVERIFY(Child(d, "pnCustom").isHidden());
        Child<QComboBox>(d, "cbType").setCurrentIndex(dialogs::kCustomType);
        QVERIFY(!Child(d, "pnCustom").isHidden());
        QVERIFY(Child<QLineEdit>(d, "eFName").isReadOnly());
        Click(Child<QPushButton>(d, "add"));
    });
    steps.Then("TInputForm", [](QWidget& d) {
        QCOMPARE(d.windowTitle(), QString("New Host Type"));
        auto& edit = Child<QLineEdit>(d, "Edit1");
        QTest::keyClicks(&edit, "Mine");
        QTest::keyClick(&edit, Qt::Key_Return);
    });
    steps.Then("TFFtpBase", [](QWidget& d) {
        QCOMPARE(Child<QComboBox>(d, "cbName").currentText(), QString("Mine"));
        auto& digit = Child<QLineEdit>(d, "eFName");
        QVERIFY(!digit.isReadOnly());
        QCOMPARE(digit.text(), QString("9"));
        digit.setFocus();
        QTest::keyClick(&digit, Qt::Key_End);
        QTest::keyClicks(&digit, "x");  // a backspace: the box is empty
        QCOMPARE(digit.text(), QString());
        QTest::keyClicks(&digit, "3");
        QCOMPARE(digit.text(), QString("3"));
        Child<QComboBox>(d, "cbName").setCurrentIndex(0);  // stores "Mine"'s digits
        QVERIFY(digit.isReadOnly());
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    w.window->Action("sbNewServer")->trigger();
    QVERIFY(steps.Done());
    QCOMPARE(w.Core().Servers.size(), size_t{0});
    // Cancelled, yet the host type stays.
    QCOMPARE(testing::ReadBytes(w.settings.file(kHostTypesFileName)),
             std::string("\"Default\",0957681\r\n\"Mine\",4357681\r\n"));
}

}  // namespace
}  // namespace tarnwick::ui

QTEST_MAIN(tarnwick::ui::ServerDialogsGuiTest)
#include "ServerDialogsGuiTest.moc"

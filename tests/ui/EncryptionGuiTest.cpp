// Encrypted sessions on screen, offscreen: the server dialog's encryption choice saved to the
// server list, the certificate question with its buttons, Enter and Escape, the window's
// certificate hook asking through the real dialog, and the status bar's lock.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <deque>
#include <functional>

#include "session/CertificateTrust.h"
#include "settings/TrustedCertificates.h"
#include "tests/support/SavedServers.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/GuiTestKit.h"
#include "tests/ui/ModalSteps.h"

namespace tarnwick::ui {
namespace {

using dialogs::TCertificateAnswer;
using testkit::TGuiWindow;

using testkit::Child;
using testkit::TModalSteps;

void Later(std::function<void()> act) {
    QTimer::singleShot(0, std::move(act));
}

std::string Fingerprint(const std::string& pair) {
    std::string out = pair;
    for (int i = 1; i < 32; ++i) out += ":" + pair;
    return out;
}

net::TCertificateInfo SelfSigned() {
    net::TCertificateInfo c;
    c.host = "127.0.0.1";
    c.port = 990;
    c.subject = "CN=localhost, O=Tarnwick tests";
    c.issuer = "CN=localhost, O=Tarnwick tests";
    c.validFrom = "2026-01-01 00:00:00 UTC";
    c.validUntil = "2027-01-01 00:00:00 UTC";
    c.sha256 = Fingerprint("5E");
    c.problem = "self-signed certificate";
    return c;
}

class EncryptionGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void serverDialogSavesTheEncryption();
    void serverDialogSavesTheDataConnection();
    void certificateQuestionButtonsEnterAndEscape();
    void hookAsksThroughTheDialogAndTheLockFollows();
};

void EncryptionGuiTest::serverDialogSavesTheEncryption() {
    TGuiWindow w({testing::LoopbackServer("secure", "21", "u", "p")});
    QVERIFY(w.exposed);
    w.main->FTPViewSelectItems({0});
    TModalSteps steps;
    steps.Then("TFFtpBase", [](QWidget& d) {
        auto& choice = Child<QComboBox>(d, "cbEncryption");
        QCOMPARE(choice.count(), 4);
        QCOMPARE(choice.currentText(), QString("None"));
        QCOMPARE(choice.accessibleName(), QString("Encryption"));
        choice.setCurrentIndex(2);
        QCOMPARE(choice.currentText(), QString("Implicit TLS"));
        QCOMPARE(Child<QLineEdit>(d, "PortEdt").text(), QString("990"));
        Later([&d] { Child<QPushButton>(d, "OK").click(); });
    });
    w.window->Action("sbProperties")->trigger();
    QVERIFY(steps.Done());
    QCOMPARE(w.Core().Servers.at(0).Encryption, 2);
    const std::string list = testing::ReadBytes(w.settings.file(kServerListFileName));
    QCOMPARE(list, "Name=secure;Server=127.0.0.1;Port=990;Password=" + ScramblePassword("p") +
                       ";User=u;Anonymous=0;SavePassword=1;Pasv=1;Answer=0957681;CheckPSW=1;"
                       "CheckVHost=0;Encryption=2;\r\n");
}

void EncryptionGuiTest::serverDialogSavesTheDataConnection() {
    TGuiWindow w({testing::LoopbackServer("extended", "21", "u", "p")});
    QVERIFY(w.exposed);
    w.main->FTPViewSelectItems({0});
    TModalSteps steps;
    steps.Then("TFFtpBase", [](QWidget& d) {
        auto& choice = Child<QComboBox>(d, "cbDataConnection");
        QCOMPARE(choice.count(), 2);
        QCOMPARE(choice.currentText(), QString("PASV"));
        QCOMPARE(choice.accessibleName(), QString("Data connection"));
        choice.setCurrentIndex(1);
        QCOMPARE(choice.currentText(), QString("EPSV"));
        Later([&d] { Child<QPushButton>(d, "OK").click(); });
    });
    w.window->Action("sbProperties")->trigger();
    QVERIFY(steps.Done());
    QCOMPARE(w.Core().Servers.at(0).DataConnection, 1);
    const std::string list = testing::ReadBytes(w.settings.file(kServerListFileName));
    QCOMPARE(list, "Name=extended;Server=127.0.0.1;Port=21;Password=" + ScramblePassword("p") +
                       ";User=u;Anonymous=0;SavePassword=1;Pasv=1;Answer=0957681;CheckPSW=1;"
                       "CheckVHost=0;DataConnection=1;\r\n");
}

void EncryptionGuiTest::certificateQuestionButtonsEnterAndEscape() {
    TQtDialogService service;
    struct {
        const char* press;  // a button's object name, or a key
        TCertificateAnswer answer;
    } cases[] = {
        {"TrustAlwaysBtn", TCertificateAnswer::TrustAlways},
        {"TrustThisTimeBtn", TCertificateAnswer::TrustThisTime},
        {"CancelBtn", TCertificateAnswer::Cancel},
        {"Return", TCertificateAnswer::Cancel},  // the default button
        {"Escape", TCertificateAnswer::Cancel},
    };
    for (const auto& c : cases) {
        TModalSteps steps;
        const std::string press = c.press;
        steps.Then("TCertificateDialog", [press](QWidget& d) {
            QCOMPARE(d.windowTitle(), QString("Server Certificate"));
            QCOMPARE(Child<QLabel>(d, "lblHeading").text(),
                     QString("The certificate of 127.0.0.1:990 could not be verified: "
                             "self-signed certificate"));
            QCOMPARE(Child<QLineEdit>(d, "edSubject").text(),
                     QString("CN=localhost, O=Tarnwick tests"));
            QCOMPARE(Child<QLineEdit>(d, "edValidUntil").text(),
                     QString("2027-01-01 00:00:00 UTC"));
            QCOMPARE(Child<QLineEdit>(d, "edFingerprint").text(),
                     QString::fromStdString(Fingerprint("5E")));
            QVERIFY(Child<QLineEdit>(d, "edFingerprint").isReadOnly());
            QVERIFY(Child<QPushButton>(d, "CancelBtn").isDefault());
            QVERIFY(!Child<QPushButton>(d, "TrustAlwaysBtn").isDefault());
            if (press == "Return" || press == "Escape") {
                const Qt::Key key = press == "Return" ? Qt::Key_Return : Qt::Key_Escape;
                Later([&d, key] { QTest::keyClick(&d, key); });
            } else {
                auto* button = &Child<QPushButton>(d, press.c_str());
                Later([button] { button->click(); });
            }
        });
        QCOMPARE(service.AskCertificate(SelfSigned()), c.answer);
        QVERIFY(steps.Done());
    }
}

void EncryptionGuiTest::hookAsksThroughTheDialogAndTheLockFollows() {
    TGuiWindow w({});
    QVERIFY(w.exposed);
    auto* lock = w.window->statusBar()->findChild<QLabel*>(session::kLockControl);
    QVERIFY(lock != nullptr);
    QVERIFY(lock->isHidden());
    QCOMPARE(lock->accessibleName(), QString("Encrypted"));

    // The engine's hook: the question comes up as the real dialog; "Trust always" saves.
    TModalSteps steps;
    steps.Then("TCertificateDialog", [](QWidget& d) {
        auto* button = &Child<QPushButton>(d, "TrustAlwaysBtn");
        Later([button] { button->click(); });
    });
    QVERIFY(w.main->Certificates().Check(SelfSigned()));
    QVERIFY(steps.Done());
    QCOMPARE(testing::ReadBytes(w.settings.file(settings::kTrustedCertificatesFileName)),
             "127.0.0.1:990 " + Fingerprint("5E") + "\r\n");
    QVERIFY(w.main->Certificates().Check(SelfSigned()));  // not asked again

    // The lock shows what the named control says.
    w.Core().Controls.SetVisible(session::kLockControl, true);
    QVERIFY(lock->isVisible());
    w.main->Certificates().UpdateLock();  // no encrypted session: hidden again
    QVERIFY(lock->isHidden());
}

}  // namespace
}  // namespace tarnwick::ui

QTEST_MAIN(tarnwick::ui::EncryptionGuiTest)
#include "EncryptionGuiTest.moc"

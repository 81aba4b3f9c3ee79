// An encrypted session in the real window, offscreen, against vsftpd with a self-signed
// certificate: the certificate question comes up as the Qt dialog, "Trust always" logs in and
// lists, the status bar shows the lock while the session lasts and hides it after.
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "session/CertificateTrust.h"
#include "settings/TrustedCertificates.h"
#include "tests/support/SavedServers.h"
#include "tests/support/VsftpdServer.h"
#include "tests/ui/GuiTestKit.h"

namespace tarnwick::ui {
namespace {

using testkit::kGuiDeadlineMs;
using testkit::TGuiWindow;

constexpr int kPollMs = 20;

class TlsGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void trustAlwaysLogsInAndShowsTheLock();
};

void TlsGuiTest::trustAlwaysLogsInAndShowsTheLock() {
    testing::VsftpdServer vsftpd(testing::VsftpdTls{true, false, ""});
    QVERIFY2(vsftpd.Running(), vsftpd.Failure().c_str());
    vsftpd.WriteFile("secret.txt", "s\n");
    TFTPServerInfo record =
        testing::LoopbackServer("secure", vsftpd.PortText(), vsftpd.User(), vsftpd.Password());
    record.Encryption = 1;
    TGuiWindow w({record});
    QVERIFY(w.exposed);
    auto* lock = w.window->statusBar()->findChild<QLabel*>(session::kLockControl);
    QVERIFY(lock != nullptr && lock->isHidden());

    int asked = 0;
    QTimer answer;
    answer.setInterval(kPollMs);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != "TCertificateDialog") return;
        ++asked;
        auto* button = modal->findChild<QPushButton*>("TrustAlwaysBtn");
        QTimer::singleShot(0, button, [button] { button->click(); });
    });
    answer.start();

    w.DoubleClickRow(w.window->RemotePane(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!w.Core().State.ServerMode && !w.Core().State.Busy &&
                                 w.Core().FTPView.FindCaption("secret.txt") >= 0,
                             kGuiDeadlineMs);
    QCOMPARE(asked, 1);
    QVERIFY(lock->isVisible());
    const settings::TTrustedCertificates trusted(
        w.settings.file(settings::kTrustedCertificatesFileName));
    QVERIFY(!trusted.Known("127.0.0.1", vsftpd.Port()).empty());

    w.main->sbDisConnectClick();
    QTRY_VERIFY_WITH_TIMEOUT(w.Core().State.ServerMode && !w.Core().State.Busy, kGuiDeadlineMs);
    QVERIFY(lock->isHidden());
}

}  // namespace
}  // namespace tarnwick::ui

QTEST_MAIN(tarnwick::ui::TlsGuiTest)
#include "TlsGuiTest.moc"

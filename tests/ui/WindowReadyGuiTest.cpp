// When a window counts as usable (what tarnwick reports on TARNWICK_READY_FD): after it has
// been exposed and painted, once, whether it was exposed already or not yet.
#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QTest>
#include <QWindow>

#include "ui/WindowReady.h"

namespace tarnwick::ui {
namespace {

// Counts the paint events of the widget it watches.
class TPaints : public QObject {
  public:
    explicit TPaints(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return QObject::eventFilter(watched, event);
    }
};

class WindowReadyGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void readyComesOnceAfterTheFirstPaint_data();
    void readyComesOnceAfterTheFirstPaint();
};

void WindowReadyGuiTest::readyComesOnceAfterTheFirstPaint_data() {
    QTest::addColumn<bool>("exposedFirst");
    QTest::newRow("asked right after show") << false;
    QTest::newRow("asked once exposed") << true;
}

void WindowReadyGuiTest::readyComesOnceAfterTheFirstPaint() {
    QFETCH(bool, exposedFirst);
    QMainWindow window;
    auto* label = MakeChild<QLabel>(&window, QStringLiteral("Tarnwick"));
    window.setCentralWidget(label);
    TPaints paints(label);
    window.show();
    if (exposedFirst) QVERIFY(QTest::qWaitForWindowExposed(&window));

    int calls = 0;
    int paintsWhenReady = -1;
    bool exposedWhenReady = false;
    WhenWindowReady(window, [&] {
        ++calls;
        paintsWhenReady = paints.count;
        exposedWhenReady = window.windowHandle()->isExposed();
    });
    QTRY_COMPARE(calls, 1);
    QVERIFY(exposedWhenReady);
    QVERIFY2(paintsWhenReady > 0, "ready before the window was painted");
    QTest::qWait(50);  // nothing more comes later
    QCOMPARE(calls, 1);
}

}  // namespace
}  // namespace tarnwick::ui

QTEST_MAIN(tarnwick::ui::WindowReadyGuiTest)
#include "WindowReadyGuiTest.moc"

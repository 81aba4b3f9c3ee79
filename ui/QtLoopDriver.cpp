#include "ui/QtLoopDriver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace tarnwick::ui {

TQtLoopDriver::TQtLoopDriver(QObject* parent)
    : QObject(parent), loop_(platform::EventLoop::Current()) {
    notifier_ = std::make_unique<QSocketNotifier>(loop_.Fd(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Activated(); });
    loop_.SetWaitHook([this](int timeoutMs) { Wait(timeoutMs); });
}

TQtLoopDriver::~TQtLoopDriver() {
    loop_.SetWaitHook(nullptr);
}

void TQtLoopDriver::Activated() {
    ++wakeups_;
    loop_.PumpMessages();
}

void TQtLoopDriver::Wait(int timeoutMs) {
    ++waits_;
    // Qt's processing returns after the first batch of events; the timer bounds the wait
    // when nothing at all happens. The loop's fd is among the events, so whatever the
    // engine waits for is delivered here through Activated.
    QTimer bound;
    bound.setSingleShot(true);
    if (timeoutMs >= 0) bound.start(timeoutMs);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace tarnwick::ui

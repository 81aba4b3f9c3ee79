// Drives the thread's platform loop from Qt's event loop: the loop's one fd is watched by a
// QSocketNotifier (its timers are in that fd too), so nothing polls. The waits of the engine
// and the sockets run Qt's event processing while they wait, so a wait never freezes the
// window, and a modal Qt dialog keeps the network alive.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

#include "platform/EventLoop.h"

namespace tarnwick::ui {

class TQtLoopDriver : public QObject {
    Q_OBJECT
  public:
    explicit TQtLoopDriver(QObject* parent = nullptr);
    ~TQtLoopDriver() override;

    // How often the loop's fd woke Qt, and how many waits ran Qt's events (for tests).
    quint64 Wakeups() const { return wakeups_; }
    quint64 Waits() const { return waits_; }

  private:
    void Activated();
    void Wait(int timeoutMs);

    platform::EventLoop& loop_;
    std::unique_ptr<QSocketNotifier> notifier_;
    quint64 wakeups_ = 0;
    quint64 waits_ = 0;
};

}  // namespace tarnwick::ui

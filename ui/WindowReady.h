// When a shown window is usable: it has been exposed (Qt paints its widgets while handling
// the first exposure) and the event loop has then gone idle once. A zero timer started right
// after show() fires too early: before the platform's exposure, so before any paint.
#pragma once

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <utility>

#include "ui/QtOwnership.h"

namespace tarnwick::ui {

class TWindowReadyWatch : public QObject {
  public:
    TWindowReadyWatch(std::function<void()> ready, QWindow* window)
        : QObject(window), ready_(std::move(ready)) {
        if (window->isExposed())
            Arm();
        else
            window->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            Arm();  // the zero timer fires once this exposure, and its paint, are handled
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    void Arm() {
        QTimer::singleShot(0, this, [this] {
            ready_();
            deleteLater();
        });
    }

    std::function<void()> ready_;
};

// Calls `ready` once `window` (shown already) has been exposed, painted, and the event loop
// has gone idle after that.
inline void WhenWindowReady(QWidget& window, std::function<void()> ready) {
    if (QWindow* handle = window.windowHandle())
        MakeChild<TWindowReadyWatch>(handle, std::move(ready));
}

}  // namespace tarnwick::ui

// Driving the window's modal dialogs in GUI tests: steps run on each dialog as it comes up,
// and the lookup of a dialog's widgets by object name.
#pragma once

#include <QApplication>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <utility>

namespace tarnwick::ui::testkit {

// Steps run on modal dialogs as they come up: each waits for the active modal window of its
// object name. A step that closes its dialog or opens another should click later (a zero
// timer), so that the step has returned before the next dialog's own loop runs.
class TModalSteps {
  public:
    static constexpr int kPollMs = 20;

    TModalSteps() {
        timer_.setInterval(kPollMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    void Then(const QString& dialog, std::function<void(QWidget&)> step) {
        steps_.emplace_back(dialog, std::move(step));
    }
    bool Done() const { return steps_.empty(); }

  private:
    void Poll() {
        if (steps_.empty()) return;
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal->objectName() != steps_.front().first) return;
        auto step = std::move(steps_.front().second);
        steps_.pop_front();
        step(*modal);
        // A failed check ends the dialog, so that the test does not wait for it.
        if (QTest::currentTestFailed()) {
            steps_.clear();
            QTimer::singleShot(0, modal, [modal] { modal->close(); });
        }
    }
    QTimer timer_;
    std::deque<std::pair<QString, std::function<void(QWidget&)>>> steps_;
};

// The widget of that object name inside `parent`; the test stops when there is none.
template <typename W = QWidget>
W& Child(QWidget& parent, const char* name) {
    W* w = parent.findChild<W*>(name);
    if (!w) qFatal("no widget %s", name);
    return *w;
}

}  // namespace tarnwick::ui::testkit

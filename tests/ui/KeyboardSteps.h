// Keyboard steps of the GUI tests: the focus put into a pane of an active window, a key
// pressed there as the platform delivers it (shortcuts first), and the answers the input
// dialog and the question box get.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "tests/ui/GuiTestKit.h"
#include "tests/ui/ModalSteps.h"
#include "ui/MainWindow.h"

namespace tarnwick::ui::testkit {

// Types `text` into the input dialog's box and presses Enter.
inline void AnswerInput(QWidget& dialog, const QString& text) {
    auto& e = Child<QLineEdit>(dialog, "Edit1");
    e.setFocus();
    QTest::keyClick(&e, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(&e, text);
    QTimer::singleShot(0, &e, [&e] { QTest::keyClick(&e, Qt::Key_Return); });
}

inline void AnswerYes(QWidget& box) {
    QAbstractButton* yes = static_cast<QMessageBox&>(box).button(QMessageBox::Yes);
    QTimer::singleShot(0, yes, [yes] { yes->click(); });
}

inline bool HasFocusIn(QWidget& pane) {
    QWidget* f = QApplication::focusWidget();
    return f != nullptr && (f == &pane || pane.isAncestorOf(f));
}

// The window active (a dialog that closed may have left it inactive) and the focus in the
// pane's view.
inline bool FocusPane(TMainWindow& window, TPaneWidget& pane) {
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) return false;
    pane.CurrentView().setFocus(Qt::OtherFocusReason);
    return QTest::qWaitFor([&] { return HasFocusIn(pane); }, kGuiDeadlineMs);
}

// A key pressed in the pane's view.
inline void PressIn(TPaneWidget& pane, const QKeySequence& key) {
    const QKeyCombination k = key[0];
    QTest::keyClick(&pane.CurrentView(), k.key(), k.keyboardModifiers());
}

}  // namespace tarnwick::ui::testkit

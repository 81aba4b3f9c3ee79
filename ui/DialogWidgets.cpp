#include "ui/DialogWidgets.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPalette>

#include "dialogs/HostTypeChoice.h"
#include "session/DisplayText.h"

namespace tarnwick::ui {

namespace {

constexpr int kByteMask = 0xFF;
constexpr int kGreenShift = 8;
constexpr int kBlueShift = 16;

QColor FromBgr(int colour) {
    return QColor(colour & kByteMask, (colour >> kGreenShift) & kByteMask,
                  (colour >> kBlueShift) & kByteMask);
}

}  // namespace

QString ShownText(const std::string& bytes) {
    return QString::fromStdString(session::DisplayText(bytes));
}

std::string EditedBytes(const std::string& original, const QString& text) {
    return session::BytesFromEdit(original, text.toStdString());
}

void PaintBase(QWidget* widget, int colourBgr) {
    QPalette p = widget->palette();
    p.setColor(QPalette::Base, FromBgr(colourBgr));
    widget->setPalette(p);
}

void PaintText(QWidget* widget, int colourBgr) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, FromBgr(colourBgr));
    widget->setPalette(p);
}

bool TDigitKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Keys without a printable character (backspace, the arrows, Tab) keep their work.
    if (text.isEmpty() || text.at(0).unicode() < ' ') return false;
    const char16_t c = text.at(0).unicode();
    const char typed = c < 0x80 ? static_cast<char>(c) : '?';
    if (dialogs::THostTypeChoice::FilterDigitKey(typed) != dialogs::kBackspace) return false;
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QCoreApplication::sendEvent(watched, &backspace);
    return true;
}

}  // namespace tarnwick::ui

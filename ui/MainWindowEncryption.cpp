// The status bar's lock: a padlock drawn at the status bar's text height, on the right,
// shown through the named control imgLock while the control connection is encrypted.
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStatusBar>

#include "session/CertificateTrust.h"
#include "ui/ControlBinder.h"
#include "ui/MainWindow.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

constexpr qreal kShackleWidth = 0.5;  // of the lock's width
constexpr qreal kBodyTop = 0.45;      // of its height
constexpr qreal kStroke = 0.12;       // of its width

// Drawn in device pixels, so that it stays sharp on a screen that scales.
QPixmap LockPicture(int size, const QColor& color, qreal devicePixelRatio) {
    QPixmap picture(QSize(size, size) * devicePixelRatio);
    picture.setDevicePixelRatio(devicePixelRatio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal w = size;
    const qreal h = size;
    QPen pen(color, w * kStroke);
    painter.setPen(pen);
    const qreal shackle = w * kShackleWidth;
    const QRectF arc((w - shackle) / 2, h * 0.08, shackle, h * 0.7);
    QPainterPath path;
    path.moveTo(arc.left(), h * kBodyTop);
    path.arcTo(arc, 180, -180);
    painter.drawPath(path);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(QRectF(w * 0.12, h * kBodyTop, w * 0.76, h * 0.5), w * 0.08, w * 0.08);
    return picture;
}

}  // namespace

void TMainWindow::BuildEncryption() {
    auto* lock = MakeChild<QLabel>(statusBar());
    lock->setObjectName(session::kLockControl);
    lock->setAccessibleName(tr("Encrypted"));
    lock->setToolTip(tr("The session is encrypted (TLS)"));
    const int size = lock->fontMetrics().height();
    lock->setPixmap(
        LockPicture(size, lock->palette().color(QPalette::WindowText), lock->devicePixelRatioF()));
    statusBar()->addPermanentWidget(lock);
    binder_->Bind(lock);
}

}  // namespace tarnwick::ui

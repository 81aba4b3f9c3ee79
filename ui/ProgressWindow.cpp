#include "ui/ProgressWindow.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QStyle>
#include <QVBoxLayout>
#include <limits>

#include "session/DisplayText.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

// The bar counts in steps of the file, whatever its size (QProgressBar takes ints).
constexpr int kBarSteps = 10000;
constexpr int kPaintBoxWidth = 240;
constexpr int kPaintBoxHeight = 32;
constexpr int kPictureWidth = 12;
constexpr int kPictureHeight = 14;
constexpr int kFoldSize = 4;
constexpr int kIconSize = 32;
constexpr int kMinimumWidth = 420;

QString Shown(const std::string& bytes) {
    return QString::fromStdString(session::DisplayText(bytes));
}

}  // namespace

TProgressPaintBox::TProgressPaintBox(QWidget* parent) : QWidget(parent) {
    setObjectName("PaintBox1");
    setMinimumSize(kPaintBoxWidth, kPaintBoxHeight);
}

QSize TProgressPaintBox::sizeHint() const {
    return {kPaintBoxWidth, kPaintBoxHeight};
}

void TProgressPaintBox::SetFrame(int frame, bool sending) {
    if (frame == frame_ && sending == sending_) return;
    frame_ = frame;
    sending_ = sending;
    update();
}

void TProgressPaintBox::paintEvent(QPaintEvent*) {
    // BMP: a small sheet of paper with a folded corner, in the direction's colour.
    const dialogs::TPicturePlace at = dialogs::TProgress::PlaceOf(frame_, width(), height());
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Paper and ink from the palette, so that the sheet reads on a dark one too; sending
    // and receiving keep their own ink.
    const QPalette& colours = palette();
    const QColor ink =
        sending_ ? colours.color(QPalette::Highlight) : colours.color(QPalette::Link);
    QPolygon sheet;
    sheet << QPoint(at.X, at.Y) << QPoint(at.X + kPictureWidth - kFoldSize, at.Y)
          << QPoint(at.X + kPictureWidth, at.Y + kFoldSize)
          << QPoint(at.X + kPictureWidth, at.Y + kPictureHeight)
          << QPoint(at.X, at.Y + kPictureHeight);
    p.setPen(ink);
    p.setBrush(colours.color(QPalette::Base));
    p.drawPolygon(sheet);
    for (int line = 1; line <= 3; ++line) {
        const int y = at.Y + line * kPictureHeight / 4;
        p.drawLine(at.X + 2, y, at.X + kPictureWidth - 3, y);
    }
}

TProgressWindow::TProgressWindow(std::function<void()> cancel, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      cancel_(std::move(cancel)) {
    setObjectName("TProgress");
    setWindowTitle(QString::fromUtf8(dialogs::kProgressCaption));
    setModal(false);
    setMinimumWidth(kMinimumWidth);
    auto* layout = MakeChild<QVBoxLayout>(this);

    auto* animation = MakeChild<QWidget>(this);
    auto* animationRow = MakeChild<QHBoxLayout>(animation);
    animationRow->setContentsMargins(0, 0, 0, 0);
    auto* image1 = MakeChild<QLabel>(animation);
    image1->setObjectName("Image1");
    image1->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(kIconSize));
    image1->setAccessibleName(tr("This computer"));
    paintBox_ = MakeChild<TProgressPaintBox>(animation);
    auto* image2 = MakeChild<QLabel>(animation);
    image2->setObjectName("Image2");
    image2->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(kIconSize));
    image2->setAccessibleName(tr("The server"));
    animationRow->addWidget(image1);
    animationRow->addWidget(paintBox_, 1);
    animationRow->addWidget(image2);
    layout->addWidget(animation);

    bar_ = MakeChild<QProgressBar>(this);
    bar_->setObjectName("ProgressBar");
    bar_->setAccessibleName(tr("Progress"));
    bar_->setRange(0, kBarSteps);
    bar_->setValue(0);
    layout->addWidget(bar_);

    auto* thisFile = MakeChild<QGroupBox>(this, tr("This File"));
    MakeChild<QGridLayout>(thisFile);
    transfer_ = AddFigure(thisFile, 0, "Transferred:", "TransferLbl");
    time_ = AddFigure(thisFile, 1, "Time:", "TimeLbl");
    timeLeft_ = AddFigure(thisFile, 2, "Time Left:", "TimeLeftLbl");
    auto* allFiles = MakeChild<QGroupBox>(this, tr("All Files"));
    MakeChild<QGridLayout>(allFiles);
    totTransfer_ = AddFigure(allFiles, 0, "Transferred:", "TotTransferLbl");
    totTime_ = AddFigure(allFiles, 1, "Time:", "TotTimeLbl");
    rate_ = AddFigure(allFiles, 2, "Transfer Rate:", "TransferRateLbl");
    auto* groups = MakeChild<QWidget>(this);
    auto* groupRow = MakeChild<QHBoxLayout>(groups);
    groupRow->setContentsMargins(0, 0, 0, 0);
    groupRow->addWidget(thisFile);
    groupRow->addWidget(allFiles);
    layout->addWidget(groups);

    cancelBtn_ = MakeChild<QPushButton>(this, tr("Cancel"));
    cancelBtn_->setObjectName("CancelBtn");
    cancelBtn_->setAccessibleName(tr("Cancel"));
    layout->addWidget(cancelBtn_, 0, Qt::AlignHCenter);
    connect(cancelBtn_, &QPushButton::clicked, this, [this] {
        // The window may go while its action runs: the action is a copy.
        const std::function<void()> cancel = cancel_;
        if (cancel) cancel();
    });
}

QLabel* TProgressWindow::AddFigure(QWidget* group, int row, const char* caption, const char* name) {
    auto* grid = static_cast<QGridLayout*>(group->layout());
    auto* label = MakeChild<QLabel>(group, tr(caption));
    auto* value = MakeChild<QLabel>(group);
    value->setObjectName(name);
    value->setAccessibleName(tr(caption));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(label, row, 0);
    grid->addWidget(value, row, 1);
    return value;
}

void TProgressWindow::Render(const dialogs::TProgress& progress) {
    setWindowTitle(Shown(progress.Caption()));
    const int64_t max = progress.ProgressMax();
    const int64_t position = std::min(progress.ProgressPosition(), max);
    bar_->setValue(max > 0 ? static_cast<int>(position * kBarSteps / max) : 0);
    transfer_->setText(QString::fromStdString(progress.TransferLbl()));
    time_->setText(QString::fromStdString(progress.TimeLbl()));
    timeLeft_->setText(QString::fromStdString(progress.TimeLeftLbl()));
    totTransfer_->setText(QString::fromStdString(progress.TotTransferLbl()));
    totTime_->setText(QString::fromStdString(progress.TotTimeLbl()));
    rate_->setText(QString::fromStdString(progress.TransferRateLbl()));
    paintBox_->SetFrame(progress.Frame(), progress.Sending());
}

TProgressController::TProgressController(session::T_Main& main, QWidget* parent)
    : QObject(parent), main_(main), owner_(parent) {
    setObjectName("ProgressController");
    subscription_ = main_.Core().Notifier.Subscribe(
        static_cast<session::TChangeMask>(session::TChange::Progress),
        [this](session::TChange) { ProgressChanged(); });
}

void TProgressController::ProgressChanged() {
    const dialogs::TProgress* progress = main_.Transfers().Progress();
    if (!progress) {
        if (window_) {
            // It may be inside its own Cancel: it goes once that has returned.
            window_->hide();
            window_->deleteLater();
            window_ = nullptr;
        }
        return;
    }
    if (!window_) {
        session::T_Main& main = main_;
        window_ = MakeChild<TProgressWindow>(owner_, [&main] {
            if (dialogs::TProgress* p = main.Transfers().Progress()) p->CancelBtnClick();
        });
        window_->show();
        window_->raise();
    }
    window_->Render(*progress);
}

}  // namespace tarnwick::ui

#include "ui/TextViewer.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include "session/DisplayText.h"
#include "session/LocalFileOps.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {
constexpr int kInitialWidth = 760;
constexpr int kInitialHeight = 560;
}  // namespace

TTextViewer::TTextViewer(const session::TTextFileView& view, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName("TextViewer");
    setAttribute(Qt::WA_DeleteOnClose);
    const QString name =
        QString::fromStdString(session::DisplayText(session::FileNamePart(view.Path)));
    setWindowTitle(tr("%1 - View").arg(name));
    resize(kInitialWidth, kInitialHeight);
    auto* layout = MakeChild<QVBoxLayout>(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (view.Truncated) {
        auto* note = MakeChild<QLabel>(
            this, tr("Only the first %1 bytes of %2 are shown.")
                      .arg(QLocale().toString(static_cast<qlonglong>(session::kMaxViewedBytes)),
                           QLocale().toString(static_cast<qlonglong>(view.FileSize))));
        note->setObjectName("TruncatedNote");
        layout->addWidget(note);
    }
    text_ = MakeChild<QPlainTextEdit>(this);
    text_->setObjectName("ViewedText");
    text_->setAccessibleName(name);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setPlainText(QString::fromStdString(view.Text));
    layout->addWidget(text_);
}

}  // namespace tarnwick::ui

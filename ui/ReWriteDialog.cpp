#include "ui/ReWriteDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "session/DisplayText.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {
constexpr int kMinimumWidth = 480;
constexpr int kTextLines = 3;
}  // namespace

TReWriteDialog::TReWriteDialog(dialogs::TFReWrite& form, dialogs::TFReWrite::TAskInput askInput,
                               QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      form_(form),
      askInput_(std::move(askInput)) {
    setObjectName("TFReWrite");
    setWindowTitle(QString::fromUtf8(dialogs::kRewriteCaption));
    setMinimumWidth(kMinimumWidth);
    auto* layout = MakeChild<QVBoxLayout>(this);
    auto* re1 = MakeChild<QPlainTextEdit>(this);
    re1->setObjectName("re1");
    re1->setReadOnly(true);
    re1->setAccessibleName(tr("Existing file"));
    for (const std::string& line : form_.Lines())
        re1->appendPlainText(QString::fromStdString(session::DisplayText(line)));
    re1->setFixedHeight(re1->fontMetrics().lineSpacing() * (kTextLines + 1));
    layout->addWidget(re1);
    auto* question = MakeChild<QLabel>(this, QString::fromUtf8(dialogs::kRewriteQuestion));
    question->setObjectName("Label1");
    layout->addWidget(question);
    auto* buttons = MakeChild<QWidget>(this);
    auto* row = MakeChild<QHBoxLayout>(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buttons);
    for (const dialogs::TRewriteButton& b : dialogs::kRewriteButtons) {
        auto* button = MakeChild<QPushButton>(buttons, QString::fromUtf8(b.Caption));
        button->setObjectName(QString::fromUtf8(b.Caption).remove(' ') + "Btn");
        button->setAccessibleName(QString::fromUtf8(b.Caption));
        button->setAutoDefault(false);
        row->addWidget(button);
        const dialogs::TRewriteAnswer answer = b.Answer;
        connect(button, &QPushButton::clicked, this, [this, answer] { Press(answer); });
    }
}

void TReWriteDialog::Press(dialogs::TRewriteAnswer answer) {
    if (form_.Press(answer, askInput_)) accept();
}

void TReWriteDialog::reject() {
    form_.Close();
    QDialog::reject();
}

}  // namespace tarnwick::ui

#include "ui/InputDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "session/DisplayText.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {
constexpr int kMinimumWidth = 360;
}

TInputDialog::TInputDialog(dialogs::TInputForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
    const dialogs::TInputQuery& q = form.Query();
    setObjectName("TInputForm");
    setWindowTitle(QString::fromStdString(session::DisplayText(q.Caption)));
    setMinimumWidth(kMinimumWidth);
    auto* layout = MakeChild<QVBoxLayout>(this);
    auto* prompt = MakeChild<QLabel>(this, QString::fromStdString(session::DisplayText(q.Prompt)));
    prompt->setObjectName("Prompt");
    layout->addWidget(prompt);
    edit_ = MakeChild<QLineEdit>(this, QString::fromStdString(session::DisplayText(q.Value)));
    edit_->setObjectName("Edit1");
    edit_->setAccessibleName(prompt->text().isEmpty() ? windowTitle() : prompt->text());
    edit_->setMaxLength(static_cast<int>(q.MaxLength));
    edit_->selectAll();
    prompt->setBuddy(edit_);
    layout->addWidget(edit_);
    if (q.ShowMaskBox) {
        mask_ = MakeChild<QCheckBox>(this, QString::fromUtf8(dialogs::kMaskPasswordCaption));
        mask_->setObjectName("MaskPassword");
        mask_->setChecked(form.Masked());
        layout->addWidget(mask_);
        connect(mask_, &QCheckBox::toggled, this, [this](bool on) {
            form_.SetMasked(on);
            edit_->setEchoMode(on ? QLineEdit::Password : QLineEdit::Normal);
        });
    }
    edit_->setEchoMode(form.Masked() ? QLineEdit::Password : QLineEdit::Normal);
    auto* buttons = MakeChild<QDialogButtonBox>(
        this, QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("OK");
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("Cancel");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(edit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        form_.SetText(session::BytesFromEdit(form_.Query().Value, text.toStdString()));
    });
}

void TInputDialog::accept() {
    form_.KeyPress(dialogs::TInputKey::Enter);
    QDialog::accept();
}

void TInputDialog::reject() {
    form_.KeyPress(dialogs::TInputKey::Escape);
    QDialog::reject();
}

std::optional<std::string> TInputDialog::Result() const {
    return form_.Result();
}

}  // namespace tarnwick::ui

#include "ui/CertificateDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "session/DisplayText.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {
constexpr int kMinimumWidth = 560;
// The buttons' object names, in the order of dialogs::kCertificateButtons.
constexpr std::array<const char*, 3> kButtonNames = {"TrustAlwaysBtn", "TrustThisTimeBtn",
                                                     "CancelBtn"};
constexpr std::array<const char*, 5> kFieldNames = {"edSubject", "edIssuer", "edValidFrom",
                                                    "edValidUntil", "edFingerprint"};

QString Shown(const std::string& text) {
    return QString::fromStdString(session::DisplayText(text));
}

// A layout on a widget of its own, put into `into`.
template <typename L>
L* Nested(QWidget* parent, QBoxLayout* into) {
    auto* holder = MakeChild<QWidget>(parent);
    auto* layout = MakeChild<L>(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    into->addWidget(holder);
    return layout;
}
}  // namespace

TCertificateDialog::TCertificateDialog(const dialogs::TCertificatePrompt& prompt, QWidget* parent)
    : QDialog(parent) {
    setObjectName("TCertificateDialog");
    setWindowTitle(QString::fromUtf8(dialogs::kCertificateCaption));
    setMinimumWidth(kMinimumWidth);
    auto* layout = MakeChild<QVBoxLayout>(this);

    auto* headRow = Nested<QHBoxLayout>(this, layout);
    auto* icon = MakeChild<QLabel>(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(iconSize));
    headRow->addWidget(icon, 0, Qt::AlignTop);
    auto* heading = MakeChild<QLabel>(this, Shown(prompt.Heading()));
    heading->setObjectName("lblHeading");
    heading->setWordWrap(true);
    headRow->addWidget(heading, 1);

    auto* fields = Nested<QFormLayout>(this, layout);
    const std::vector<dialogs::TCertificateField> shown = prompt.Fields();
    for (size_t i = 0; i < shown.size() && i < kFieldNames.size(); ++i) {
        auto* edit = MakeChild<QLineEdit>(this, Shown(shown[i].Value));
        edit->setObjectName(kFieldNames[i]);
        edit->setReadOnly(true);
        edit->setCursorPosition(0);
        edit->setAccessibleName(QString::fromUtf8(shown[i].Label));
        fields->addRow(QString::fromUtf8(shown[i].Label), edit);
    }

    auto* advice =
        MakeChild<QLabel>(this, QString::fromUtf8(dialogs::TCertificatePrompt::Advice()));
    advice->setObjectName("lblAdvice");
    advice->setWordWrap(true);
    layout->addWidget(advice);

    auto* row = Nested<QHBoxLayout>(this, layout);
    row->addStretch(1);
    for (size_t i = 0; i < dialogs::kCertificateButtons.size(); ++i) {
        const QString caption = QString::fromUtf8(dialogs::kCertificateButtons[i]);
        auto* button = MakeChild<QPushButton>(this, caption);
        button->setObjectName(kButtonNames[i]);
        button->setAccessibleName(caption);
        const dialogs::TCertificateAnswer answer =
            dialogs::TCertificatePrompt::AnswerOf(static_cast<int>(i));
        const bool isDefault = answer == dialogs::kCertificateDefault;
        button->setAutoDefault(isDefault);
        button->setDefault(isDefault);
        if (isDefault) button->setFocus();
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, answer] { Press(answer); });
    }
}

void TCertificateDialog::Press(dialogs::TCertificateAnswer answer) {
    answer_ = answer;
    if (answer == dialogs::TCertificateAnswer::Cancel)
        QDialog::reject();
    else
        accept();
}

void TCertificateDialog::reject() {
    answer_ = dialogs::TCertificateAnswer::Cancel;
    QDialog::reject();
}

}  // namespace tarnwick::ui

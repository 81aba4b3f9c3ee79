#include "ui/ChModDialog.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

constexpr const char* kColumns[] = {"Read", "Write", "Execute"};
constexpr const char* kRows[] = {"Owner Permissions", "Group Permissions", "Public Permissions"};
constexpr int kGroups = 3;
constexpr int kColumnButtonBase = 3;  // SpeedButton3..5
constexpr int kRowButtonBase = 6;     // SpeedButton6..8
constexpr char kBackspace = 8;

}  // namespace

TChModDialog::TChModDialog(dialogs::T_ChMod& form, QWidget* parent) : QDialog(parent), form_(form) {
    setObjectName("T_ChMod");
    setWindowTitle(QString::fromUtf8(dialogs::kChModCaption));
    auto* layout = MakeChild<QVBoxLayout>(this);
    auto* gridHolder = MakeChild<QWidget>(this);
    auto* grid = MakeChild<QGridLayout>(gridHolder);
    layout->addWidget(gridHolder);
    for (int c = 0; c < kGroups; ++c) {
        auto* b = MakeChild<QPushButton>(gridHolder, tr(kColumns[c]));
        b->setObjectName(QString("SpeedButton%1").arg(kColumnButtonBase + c));
        b->setAccessibleName(tr(kColumns[c]));
        b->setAutoDefault(false);
        grid->addWidget(b, 0, c + 1);
        connect(b, &QPushButton::clicked, this, [this, c] {
            form_.SpeedButton3Click(c + 1);
            Show();
        });
    }
    for (int r = 0; r < kGroups; ++r) {
        auto* b = MakeChild<QPushButton>(gridHolder, tr(kRows[r]));
        b->setObjectName(QString("SpeedButton%1").arg(kRowButtonBase + r));
        b->setAccessibleName(tr(kRows[r]));
        b->setAutoDefault(false);
        grid->addWidget(b, r + 1, 0);
        connect(b, &QPushButton::clicked, this, [this, r] {
            form_.SpeedButton6Click(r + 1);
            Show();
        });
        for (int c = 0; c < kGroups; ++c) {
            const int tag = r * kGroups + c + 1;
            auto* box = MakeChild<QCheckBox>(gridHolder);
            box->setObjectName(QString("cb%1").arg(tag));
            box->setAccessibleName(tr(kRows[r]) + " " + tr(kColumns[c]));
            grid->addWidget(box, r + 1, c + 1);
            boxes_[static_cast<size_t>(tag - 1)] = box;
            connect(box, &QCheckBox::toggled, this, [this, tag](bool on) {
                if (showing_) return;
                form_.cb1Click(tag, on);
                Show();
            });
        }
    }
    auto* manual = MakeChild<QLabel>(this, tr("Manual"));
    layout->addWidget(manual);
    edit_ = MakeChild<QLineEdit>(this);
    edit_->setObjectName("Edit1");
    edit_->setAccessibleName(tr("Manual"));
    edit_->setMaxLength(static_cast<int>(dialogs::kChModEditLength));
    manual->setBuddy(edit_);
    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        form_.Edit1Change(text.toStdString());
        Show();
    });
    layout->addWidget(edit_);
    auto* buttons = MakeChild<QWidget>(this);
    auto* row = MakeChild<QHBoxLayout>(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buttons);
    const std::pair<const char*, int> closers[] = {{"Ok", dialogs::kChModOk},
                                                   {"Cancel", dialogs::kChModCancel}};
    for (const auto& [caption, tag] : closers) {
        auto* b = MakeChild<QPushButton>(buttons, tr(caption));
        b->setObjectName(QString("SpeedButton%1").arg(tag));
        b->setAccessibleName(tr(caption));
        row->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, tag = tag] {
            form_.SpeedButton1Click(tag);
            if (tag == dialogs::kChModOk)
                accept();
            else
                reject();
        });
    }
    Show();
}

bool TChModDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (text.size() == 1 && text[0].unicode() < 0x80) {
            const char c = static_cast<char>(text[0].unicode());
            if (dialogs::T_ChMod::Edit1KeyPress(c) != c && c != kBackspace) return true;
        } else if (text.size() == 1 && text[0].isPrint()) {
            return true;  // not an octal digit either
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TChModDialog::Show() {
    showing_ = true;
    for (int tag = 1; tag <= dialogs::kChModBoxes; ++tag)
        boxes_[static_cast<size_t>(tag - 1)]->setChecked(form_.Box(tag));
    const QString text = QString::fromStdString(form_.Edit1());
    if (edit_->text() != text) edit_->setText(text);
    showing_ = false;
}

}  // namespace tarnwick::ui

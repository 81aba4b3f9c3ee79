#include "ui/CommandsDialog.h"

#include <QFormLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "session/DisplayText.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

QString Shown(const std::string& bytes) {
    return QString::fromStdString(session::DisplayText(bytes));
}

}  // namespace

TCommandsDialog::TCommandsDialog(dialogs::T_FCmd& form, QWidget* parent)
    : QDialog(parent), form_(form) {
    setObjectName("T_FCmd");
    setWindowTitle(QString::fromUtf8(dialogs::kCommandsCaption));
    auto* layout = MakeChild<QVBoxLayout>(this);
    list_ = MakeChild<QListWidget>(this);
    list_->setObjectName("lbCmd");
    list_->setAccessibleName(tr("Commands"));
    list_->installEventFilter(this);
    layout->addWidget(list_);
    auto* boxes = MakeChild<QWidget>(this);
    auto* formLayout = MakeChild<QFormLayout>(boxes);
    label_ = MakeChild<QLineEdit>(boxes);
    label_->setObjectName("eAl");
    label_->setAccessibleName(tr("Label"));
    command_ = MakeChild<QLineEdit>(boxes);
    command_->setObjectName("eCmd");
    command_->setAccessibleName(tr("Command text"));
    formLayout->addRow(tr("Label"), label_);
    formLayout->addRow(tr("Command text"), command_);
    layout->addWidget(boxes);
    auto* buttons = MakeChild<QWidget>(this);
    auto* row = MakeChild<QHBoxLayout>(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buttons);
    auto button = [&](const char* name, const char* caption, std::function<void()> run) {
        auto* b = MakeChild<QPushButton>(buttons, tr(caption));
        b->setObjectName(name);
        b->setAccessibleName(tr(caption));
        b->setAutoDefault(false);
        row->addWidget(b);
        connect(b, &QPushButton::clicked, this, std::move(run));
    };
    button("btAdd", "Add", [this] {
        form_.Add();
        ShowList();
        label_->setFocus();
    });
    button("btRemove", "Remove", [this] {
        form_.Remove();
        ShowList();
    });
    button("btSelect", "Select", [this] {
        form_.Select();
        Finish();
    });
    button("btClose", "Close", [this] {
        form_.Close();
        Finish();
    });

    connect(list_, &QListWidget::currentRowChanged, this, [this](int r) {
        if (showing_) return;
        form_.SelectRow(r);
        ShowBoxes();
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        form_.DoubleClick(list_->row(item));
        if (form_.Closed()) Finish();
    });
    connect(label_, &QLineEdit::textEdited, this, [this](const QString& text) {
        form_.eAlChange(session::BytesFromEdit(form_.LabelText(), text.toStdString()));
        if (QListWidgetItem* item = list_->item(form_.Selected()))
            item->setText(Shown(form_.LabelText()));
    });
    connect(command_, &QLineEdit::textEdited, this, [this](const QString& text) {
        form_.eCmdChange(session::BytesFromEdit(form_.CommandText(), text.toStdString()));
    });
    ShowList();
}

void TCommandsDialog::ShowList() {
    showing_ = true;
    list_->clear();
    for (const std::string& label : form_.Commands().Labels) list_->addItem(Shown(label));
    list_->setCurrentRow(form_.Selected());
    showing_ = false;
    ShowBoxes();
}

void TCommandsDialog::ShowBoxes() {
    label_->setText(Shown(form_.LabelText()));
    command_->setText(Shown(form_.CommandText()));
    label_->setReadOnly(form_.BoxesReadOnly());
    command_->setReadOnly(form_.BoxesReadOnly());
}

bool TCommandsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Insert:
                form_.Add();
                ShowList();
                return true;
            case Qt::Key_Delete:
                form_.Remove();
                ShowList();
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                form_.Enter();
                Finish();
                return true;
            default:
                break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TCommandsDialog::Finish() {
    if (!form_.Result().empty())
        accept();
    else
        QDialog::reject();
}

void TCommandsDialog::reject() {
    form_.Close();
    QDialog::reject();
}

}  // namespace tarnwick::ui

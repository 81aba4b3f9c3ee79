#include "ui/ServerDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "dialogs/ByteText.h"
#include "ui/DialogWidgets.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

using dialogs::TDigitBox;
using dialogs::TServerCheck;
using dialogs::TServerText;

constexpr int kMinimumWidth = 460;
constexpr int kDigitBoxWidth = 28;
constexpr int kDescLines = 4;
constexpr std::array<const char*, dialogs::kDigitBoxCount> kDigitNames = {
    "eFName", "eFSize", "eFDate", "eFDate2", "eFTime", "eFAttr"};
constexpr std::array<const char*, dialogs::kDigitBoxCount> kDigitCaptions = {
    "Name", "Size", "Date", "Date 2", "Time", "Attributes"};

template <typename E>
size_t At(E e) {
    return static_cast<size_t>(e);
}

QString Label(TServerText box) {
    return QString::fromUtf8(dialogs::ServerTextLabel(box));
}

// A layout on a widget of its own, put into `into` (nullptr: left to the caller).
template <typename L>
L* Nested(QWidget* parent, QLayout* into, QWidget** holder = nullptr) {
    auto* widget = MakeChild<QWidget>(parent);
    auto* layout = MakeChild<L>(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    if (into) into->addWidget(widget);
    if (holder) *holder = widget;
    return layout;
}

}  // namespace

TServerDialog::TServerDialog(dialogs::TFFtpBase& form, session::TDialogService& service,
                             QWidget* parent)
    : QDialog(parent), form_(form), service_(service) {
    setObjectName("TFFtpBase");
    setWindowTitle(dialogs::kServerPropertiesCaption);
    setMinimumWidth(kMinimumWidth);
    auto* layout = MakeChild<QVBoxLayout>(this);
    auto* fields = Nested<QFormLayout>(this, layout);
    for (TServerText box :
         {TServerText::NameEdt, TServerText::ServerEdt, TServerText::PortEdt, TServerText::UserEdt,
          TServerText::PasswordEdt, TServerText::AccountEdt, TServerText::EMailEdt}) {
        static constexpr std::array<const char*, 7> kNames = {
            "NameEdt", "ServerEdt", "PortEdt", "UserEdt", "PasswordEdt", "AccountEdt", "EMailEdt"};
        AddEdit(box, kNames[At(box)], fields);
    }

    auto* flags = Nested<QHBoxLayout>(this, layout);
    for (auto [box, name, caption] :
         {std::tuple{TServerCheck::AnonymousCB, "AnonymousCB", tr("Anonymous Login")},
          std::tuple{TServerCheck::SavePasswordCB, "SavePasswordCB", tr("Save Password")},
          std::tuple{TServerCheck::cbPv, "cbPv", tr("Passive Mode")},
          std::tuple{TServerCheck::cbVH, "cbVH", tr("Shared virtual host")}})
        flags->addWidget(AddCheck(box, name, caption));
    // "Mask Password" is not shown; its state masks the password box.
    AddCheck(TServerCheck::cbMPsw, "cbMPsw", tr("Mask Password"))->setVisible(false);

    auto* encryptionRow = Nested<QHBoxLayout>(this, layout);
    auto* encryption = MakeChild<QComboBox>(this);
    encryption->setObjectName("cbEncryption");
    encryption->setAccessibleName(QString::fromUtf8(dialogs::kEncryptionLabel));
    for (const char* item : dialogs::kEncryptionChoices)
        encryption->addItem(QString::fromUtf8(item));
    encryption->setCurrentIndex(form_.EncryptionIndex());
    auto* encryptionLabel = MakeChild<QLabel>(this, QString::fromUtf8(dialogs::kEncryptionLabel));
    encryptionLabel->setBuddy(encryption);
    encryptionRow->addWidget(encryptionLabel);
    encryptionRow->addWidget(encryption, 1);
    connect(encryption, &QComboBox::currentIndexChanged, this, [this](int index) {
        form_.SetEncryptionIndex(index);
        // The port box follows the mode (implicit TLS has a port of its own).
        edits_[At(TServerText::PortEdt)]->setText(ShownText(form_.Text(TServerText::PortEdt)));
    });
    auto* dataConnection = MakeChild<QComboBox>(this);
    dataConnection->setObjectName("cbDataConnection");
    dataConnection->setAccessibleName(QString::fromUtf8(dialogs::kDataConnectionLabel));
    for (const char* item : dialogs::kDataConnectionChoices)
        dataConnection->addItem(QString::fromUtf8(item));
    dataConnection->setCurrentIndex(form_.DataConnectionIndex());
    auto* dataConnectionLabel =
        MakeChild<QLabel>(this, QString::fromUtf8(dialogs::kDataConnectionLabel));
    dataConnectionLabel->setBuddy(dataConnection);
    encryptionRow->addWidget(dataConnectionLabel);
    encryptionRow->addWidget(dataConnection);
    connect(dataConnection, &QComboBox::currentIndexChanged, this,
            [this](int index) { form_.SetDataConnectionIndex(index); });

    auto* folders = Nested<QFormLayout>(this, layout);
    AddEdit(TServerText::RemoteDirEdt, "RemoteDirEdt", folders);
    QWidget* localHolder = nullptr;
    auto* localRow = Nested<QHBoxLayout>(this, nullptr, &localHolder);
    QLineEdit* local = AddEdit(TServerText::LocalDir, "LocalDir", nullptr);
    localRow->addWidget(local);
    auto* browse = MakeChild<QPushButton>(this, tr("Browse"));
    browse->setObjectName("Browse");
    browse->setAutoDefault(false);
    localRow->addWidget(browse);
    folders->addRow(Label(TServerText::LocalDir), localHolder);
    connect(browse, &QPushButton::clicked, this, [this] { BrowseClick(); });

    auto* typeRow = Nested<QHBoxLayout>(this, layout);
    type_ = MakeChild<QComboBox>(this);
    type_->setObjectName("cbType");
    type_->setAccessibleName(tr("Response type"));
    for (const char* item : dialogs::kServerTypes) type_->addItem(QString::fromUtf8(item));
    type_->setCurrentIndex(form_.TypeIndex());
    typeRow->addWidget(MakeChild<QLabel>(this, tr("Response type")));
    typeRow->addWidget(type_, 1);
    connect(type_, &QComboBox::currentIndexChanged, this, [this](int index) {
        form_.SetTypeIndex(index);
        ShowState();
    });
    custom_ = BuildCustomPanel();
    layout->addWidget(custom_);

    auto* descLabel = MakeChild<QLabel>(this, QString::fromUtf8(dialogs::kDescriptionLabel));
    layout->addWidget(descLabel);
    desc_ = MakeChild<QPlainTextEdit>(this);
    desc_->setObjectName("mDesc");
    desc_->setAccessibleName(descLabel->text());
    descOriginal_.clear();
    for (size_t i = 0; i < form_.DescLines().size(); ++i)
        descOriginal_ += (i ? "\n" : "") + form_.DescLines()[i];
    desc_->setPlainText(ShownText(descOriginal_));
    desc_->setFixedHeight(desc_->fontMetrics().lineSpacing() * (kDescLines + 1));
    descLabel->setBuddy(desc_);
    layout->addWidget(desc_);
    connect(desc_, &QPlainTextEdit::textChanged, this, [this] {
        form_.SetDescLines(dialogs::MemoLines(EditedBytes(descOriginal_, desc_->toPlainText())));
    });

    auto* buttons = MakeChild<QDialogButtonBox>(
        this, QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("OK");
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("Cancel");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    ShowHostTypes();
    ShowState();
}

QLineEdit* TServerDialog::AddEdit(TServerText box, const char* name, QLayout* layout) {
    const std::string original = form_.Text(box);
    auto* edit = MakeChild<QLineEdit>(this, ShownText(original));
    edit->setObjectName(name);
    edit->setAccessibleName(Label(box));
    edits_[At(box)] = edit;
    if (auto* formLayout = qobject_cast<QFormLayout*>(layout)) formLayout->addRow(Label(box), edit);
    connect(edit, &QLineEdit::textEdited, this, [this, box, original](const QString& text) {
        form_.SetText(box, EditedBytes(original, text));
    });
    return edit;
}

QCheckBox* TServerDialog::AddCheck(TServerCheck box, const char* name, const QString& caption) {
    auto* check = MakeChild<QCheckBox>(this, caption);
    check->setObjectName(name);
    check->setChecked(form_.Checked(box));
    checks_[At(box)] = check;
    connect(check, &QCheckBox::toggled, this, [this, box](bool on) {
        form_.SetChecked(box, on);
        ShowState();
    });
    return check;
}

QWidget* TServerDialog::BuildCustomPanel() {
    auto* panel = MakeChild<QGroupBox>(this, tr("Custom"));
    panel->setObjectName("pnCustom");
    auto* layout = MakeChild<QVBoxLayout>(static_cast<QWidget*>(panel));
    auto* nameRow = Nested<QHBoxLayout>(panel, layout);
    names_ = MakeChild<QComboBox>(panel);
    names_->setObjectName("cbName");
    names_->setAccessibleName(QString::fromUtf8(dialogs::kHostTypeNameLabel));
    nameRow->addWidget(MakeChild<QLabel>(panel, QString::fromUtf8(dialogs::kHostTypeNameLabel)));
    nameRow->addWidget(names_, 1);
    connect(names_, &QComboBox::currentIndexChanged, this, [this](int index) {
        form_.SelectHostType(index);
        ShowHostTypes();
    });
    for (auto [name, caption] : {std::pair{"add", tr("add")}, std::pair{"edit", tr("edit")},
                                 std::pair{"delete", tr("delete")}}) {
        auto* button = MakeChild<QPushButton>(panel, caption);
        button->setObjectName(name);
        button->setAutoDefault(false);
        nameRow->addWidget(button);
        const std::string which = name;
        connect(button, &QPushButton::clicked, this, [this, which] {
            if (which == "add")
                form_.AddHostType(service_.InputQuery(form_.AddHostTypeQuery()));
            else if (which == "edit")
                form_.EditHostType(service_.InputQuery(form_.EditHostTypeQuery()));
            else
                form_.DeleteHostType();
            ShowHostTypes();
        });
    }
    auto* digitRow = Nested<QHBoxLayout>(panel, layout);
    auto* filter = MakeChild<TDigitKeyFilter>(panel);
    for (size_t i = 0; i < dialogs::kDigitBoxCount; ++i) {
        auto* edit = MakeChild<QLineEdit>(panel);
        edit->setObjectName(kDigitNames[i]);
        edit->setAccessibleName(tr(kDigitCaptions[i]));
        edit->setMaxLength(1);
        edit->setFixedWidth(kDigitBoxWidth);
        edit->installEventFilter(filter);
        digits_[i] = edit;
        digitRow->addWidget(MakeChild<QLabel>(panel, tr(kDigitCaptions[i])));
        digitRow->addWidget(edit);
        const auto box = static_cast<TDigitBox>(i);
        connect(edit, &QLineEdit::textEdited, this,
                [this, box](const QString& text) { form_.SetDigit(box, text.toStdString()); });
    }
    digitRow->addStretch(1);
    return panel;
}

void TServerDialog::ShowState() {
    edits_[At(TServerText::EMailEdt)]->setEnabled(form_.EMailEnabled());
    for (TServerText box :
         {TServerText::UserEdt, TServerText::PasswordEdt, TServerText::AccountEdt})
        edits_[At(box)]->setEnabled(form_.LoginEnabled());
    edits_[At(TServerText::PasswordEdt)]->setEchoMode(form_.PasswordMasked() ? QLineEdit::Password
                                                                             : QLineEdit::Normal);
    custom_->setVisible(form_.CustomPanelVisible());
}

void TServerDialog::ShowHostTypes() {
    const dialogs::THostTypeChoice& types = form_.HostTypes();
    {
        const QSignalBlocker block(names_);
        names_->clear();
        for (size_t i = 0; i < types.Count(); ++i) names_->addItem(ShownText(types.Name(i)));
        names_->setCurrentIndex(types.Selected());
    }
    for (size_t i = 0; i < dialogs::kDigitBoxCount; ++i) {
        digits_[i]->setText(ShownText(types.Digit(static_cast<TDigitBox>(i))));
        digits_[i]->setReadOnly(!types.DigitsEditable());
    }
    findChild<QPushButton*>("delete")->setEnabled(types.Selected() > 0);
}

void TServerDialog::BrowseClick() {
    const std::optional<std::string> folder = service_.ChooseFolder(form_.BrowseStart());
    if (!folder) return;
    form_.FolderChosen(*folder);
    edits_[At(TServerText::LocalDir)]->setText(ShownText(*folder));
}

void TServerDialog::accept() {
    if (!form_.Confirm()) {
        const dialogs::TDialogMessage& refusal = *form_.Refusal();
        session::TMessageQuery q;
        q.Caption = refusal.Caption;
        q.Text = refusal.Text;
        q.Buttons = session::TMsgButtons::Ok;
        q.Icon = session::TMsgIcon::Error;
        service_.MessageBox(q);
        return;
    }
    QDialog::accept();
}

void TServerDialog::reject() {
    form_.Cancel();
    QDialog::reject();
}

}  // namespace tarnwick::ui

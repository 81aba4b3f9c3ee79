#include "ui/OptionsDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <memory>

#include "ui/DialogWidgets.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

using dialogs::TOptionsCheck;
using dialogs::TOptionsText;

constexpr int kMinimumWidth = 560;
constexpr int kTreeWidth = 150;

template <typename E>
size_t At(E e) {
    return static_cast<size_t>(e);
}

// A radio group in a titled box; the buttons' ids are their tags.
template <size_t N>
QButtonGroup* RadioGroup(QGroupBox* box, const std::array<const char*, N>& items, int checked) {
    auto* layout = MakeChild<QVBoxLayout>(box);
    auto* group = MakeChild<QButtonGroup>(box);
    for (size_t i = 0; i < N; ++i) {
        auto* radio = MakeChild<QRadioButton>(box, QString::fromUtf8(items[i]));
        radio->setObjectName(box->objectName() + QString::number(i));
        group->addButton(radio, static_cast<int>(i));
        layout->addWidget(radio);
        radio->setChecked(static_cast<int>(i) == checked);
    }
    return group;
}

// A node of the page tree, under `parent` or at the top; the tree owns its items.
QTreeWidgetItem* AddNode(QTreeWidget& tree, QTreeWidgetItem* parent, const char* caption) {
    auto item = std::make_unique<QTreeWidgetItem>(QStringList{QString::fromUtf8(caption)});
    QTreeWidgetItem* added = item.get();
    if (parent)
        parent->addChild(item.release());
    else
        tree.addTopLevelItem(item.release());
    return added;
}

}  // namespace

TOptionsDialog::TOptionsDialog(dialogs::T_Options& form, session::TDialogService& service,
                               QWidget* parent)
    : QDialog(parent), form_(form), service_(service) {
    setObjectName("T_Options");
    setWindowTitle(dialogs::kOptionsCaption);
    setMinimumWidth(kMinimumWidth);
    auto* layout = MakeChild<QVBoxLayout>(this);
    auto* body = MakeChild<QWidget>(this);
    auto* bodyLayout = MakeChild<QHBoxLayout>(body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(body, 1);

    tree_ = MakeChild<QTreeWidget>(body);
    tree_->setObjectName("tvPages");
    tree_->setAccessibleName(tr("Pages"));
    tree_->setHeaderHidden(true);
    tree_->setFixedWidth(kTreeWidth);
    std::vector<QTreeWidgetItem*> nodes;
    for (const dialogs::TPageNode& node : dialogs::kPageNodes)
        nodes.push_back(AddNode(*tree_, node.Level == 0 ? nullptr : nodes.front(), node.Caption));
    tree_->expandAll();
    bodyLayout->addWidget(tree_);

    auto* right = MakeChild<QWidget>(body);
    auto* rightLayout = MakeChild<QVBoxLayout>(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    pageCaption_ = MakeChild<QLabel>(right);
    pageCaption_->setObjectName("lbPage");
    rightLayout->addWidget(pageCaption_);
    pages_ = MakeChild<QStackedWidget>(right);
    pages_->setObjectName("pcPages");
    pages_->addWidget(BuildConnectionPage());
    pages_->addWidget(BuildAsciiBinaryPage());
    pages_->addWidget(BuildProxyPage());
    rightLayout->addWidget(pages_, 1);
    bodyLayout->addWidget(right, 1);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this, nodes](QTreeWidgetItem* item) {
        for (size_t k = 0; k < nodes.size(); ++k)
            if (nodes[k] == item) form_.SelectNode(static_cast<int>(k));
        ShowState();
    });
    tree_->setCurrentItem(nodes.front());

    auto* buttons = MakeChild<QDialogButtonBox>(
        this, QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("OK");
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("Cancel");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    ShowExtensions();
    ShowState();
}

QLineEdit* TOptionsDialog::AddEdit(TOptionsText box, const char* name, const QString& caption,
                                   QWidget* parent) {
    const std::string original = form_.Text(box);
    auto* edit = MakeChild<QLineEdit>(parent, ShownText(original));
    edit->setObjectName(name);
    edit->setAccessibleName(caption);
    edits_[At(box)] = edit;
    if (auto* formLayout = qobject_cast<QFormLayout*>(parent->layout()))
        formLayout->addRow(caption, edit);
    connect(edit, &QLineEdit::textEdited, this, [this, box, original](const QString& text) {
        form_.SetText(box, EditedBytes(original, text));
    });
    return edit;
}

QCheckBox* TOptionsDialog::AddCheck(TOptionsCheck box, const char* name, const QString& caption,
                                    QWidget* parent) {
    auto* check = MakeChild<QCheckBox>(parent, caption);
    check->setObjectName(name);
    check->setChecked(form_.Checked(box));
    checks_[At(box)] = check;
    if (auto* formLayout = qobject_cast<QFormLayout*>(parent->layout())) formLayout->addRow(check);
    connect(check, &QCheckBox::toggled, this, [this, box](bool on) {
        form_.SetChecked(box, on);
        ShowState();
    });
    return check;
}

QWidget* TOptionsDialog::BuildConnectionPage() {
    auto* page = MakeChild<QWidget>(pages_);
    auto* layout = MakeChild<QFormLayout>(page);
    auto* timeOut = MakeChild<QSpinBox>(page);
    timeOut->setObjectName("seTimeOut");
    timeOut->setRange(dialogs::kTimeOutMin, dialogs::kSpinMax);
    timeOut->setValue(form_.TimeOut());
    timeOut->setAccessibleName(tr("Time-out"));
    layout->addRow(tr("Time-out (seconds)"), timeOut);
    connect(timeOut, &QSpinBox::valueChanged, this, [this](int v) { form_.SetTimeOut(v); });
    auto* retry = MakeChild<QSpinBox>(page);
    retry->setObjectName("seRetry");
    retry->setRange(dialogs::kRetryMin, dialogs::kSpinMax);
    retry->setValue(form_.Retry());
    retry->setAccessibleName(tr("Retries"));
    layout->addRow(tr("Retries"), retry);
    connect(retry, &QSpinBox::valueChanged, this, [this](int v) { form_.SetRetry(v); });
    AddCheck(TOptionsCheck::cbAno, "cbAno", tr("E-mail Address for anonymous connection"), page);
    AddEdit(TOptionsText::Anonymous, "eAno", tr("E-mail"), page);
    // Both are kept in the preferences but not offered.
    AddCheck(TOptionsCheck::PassiveTransfer, "cbPassive", tr("Passive Transfers"), page)
        ->setVisible(false);
    AddCheck(TOptionsCheck::Sync, "cbSync", tr("Synchronous Command"), page)->setVisible(false);
    return page;
}

QWidget* TOptionsDialog::BuildAsciiBinaryPage() {
    auto* page = MakeChild<QWidget>(pages_);
    auto* layout = MakeChild<QVBoxLayout>(page);
    auto* mode = MakeChild<QGroupBox>(page, tr("Default transfer type"));
    mode->setObjectName("rgMode");
    QButtonGroup* modes = RadioGroup(mode, dialogs::kTransferModes, form_.TransferMode());
    connect(modes, &QButtonGroup::idClicked, this, [this](int id) {
        form_.SetTransferMode(id);
        ShowState();
    });
    layout->addWidget(mode);
    auto* label = MakeChild<QLabel>(page, tr("Text Files Extension"));
    layout->addWidget(label);
    auto* row = MakeChild<QWidget>(page);
    auto* rowLayout = MakeChild<QHBoxLayout>(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    extensions_ = MakeChild<QListWidget>(row);
    extensions_->setObjectName("lbExt");
    extensions_->setAccessibleName(label->text());
    rowLayout->addWidget(extensions_, 1);
    connect(extensions_, &QListWidget::currentRowChanged, this,
            [this](int index) { form_.SelectExtension(index); });
    auto* buttons = MakeChild<QWidget>(row);
    auto* buttonLayout = MakeChild<QVBoxLayout>(buttons);
    for (auto [name, caption] : {std::pair{"bAdd", tr("Add")}, std::pair{"bModify", tr("Modify")},
                                 std::pair{"bRemove", tr("Remove")}}) {
        auto* button = MakeChild<QPushButton>(buttons, caption);
        button->setObjectName(name);
        button->setAutoDefault(false);
        buttonLayout->addWidget(button);
        const std::string which = name;
        connect(button, &QPushButton::clicked, this, [this, which] {
            if (which == "bAdd")
                form_.AddExtension(service_.InputQuery(form_.AddExtensionQuery()));
            else if (which == "bModify")
                form_.ModifyExtension(service_.InputQuery(form_.ModifyExtensionQuery()));
            else
                form_.RemoveExtension();
            ShowExtensions();
        });
    }
    buttonLayout->addStretch(1);
    rowLayout->addWidget(buttons);
    layout->addWidget(row, 1);
    return page;
}

QWidget* TOptionsDialog::BuildProxyPage() {
    auto* page = MakeChild<QWidget>(pages_);
    auto* layout = MakeChild<QVBoxLayout>(page);
    auto* type = MakeChild<QGroupBox>(page, tr("Connection type"));
    type->setObjectName("rgType");
    QButtonGroup* types = RadioGroup(type, dialogs::kConnectionTypes, form_.ConnectionType());
    connect(types, &QButtonGroup::idClicked, this, [this](int id) {
        form_.SetConnectionType(id);
        ShowState();
    });
    layout->addWidget(type);

    proxy_ = MakeChild<QGroupBox>(page, tr("Proxy"));
    proxy_->setObjectName("pnProxy");
    MakeChild<QFormLayout>(static_cast<QWidget*>(proxy_));
    AddEdit(TOptionsText::ProxyServer, "eProxyServer", tr("Server"), proxy_);
    AddEdit(TOptionsText::ProxyPort, "eProxyPort", tr("Port"), proxy_);
    AddEdit(TOptionsText::ProxyPsw, "eProxyPsw", tr("Password"), proxy_);
    AddCheck(TOptionsCheck::ProxyPswMask, "cbProxyMask", tr("Masked Password"), proxy_);
    layout->addWidget(proxy_);

    socks_ = MakeChild<QGroupBox>(page, tr("Sockets"));
    socks_->setObjectName("pnSocks");
    MakeChild<QFormLayout>(static_cast<QWidget*>(socks_));
    AddEdit(TOptionsText::SocksServer, "eSocksServer", tr("Server"), socks_);
    AddEdit(TOptionsText::SocksPort, "eSocksPort", tr("Port"), socks_);
    AddEdit(TOptionsText::SocksPsw, "eSocksPsw", tr("Password"), socks_);
    AddEdit(TOptionsText::SocksUC, "eSocksUC", tr("User Code"), socks_);
    AddCheck(TOptionsCheck::SocksPswMask, "cbSocksMask", tr("Masked Password"), socks_);
    layout->addWidget(socks_);

    auto* fwRow = MakeChild<QWidget>(page);
    auto* fwForm = MakeChild<QFormLayout>(fwRow);
    fwForm->setContentsMargins(0, 0, 0, 0);
    AddCheck(TOptionsCheck::cbFW, "cbFW", tr("Enable FireWall"), fwRow)->setEnabled(false);
    layout->addWidget(fwRow);
    fireWall_ = MakeChild<QGroupBox>(page, tr("Type"));
    fireWall_->setObjectName("gbFW");
    QButtonGroup* fwTypes = RadioGroup(fireWall_, dialogs::kFireWallTypes, form_.FireWallType());
    connect(fwTypes, &QButtonGroup::idClicked, this,
            [this](int id) { form_.ClickFireWallType(id); });
    QLineEdit* simbol = AddEdit(TOptionsText::fwSimbol, "eSimbol", tr("Separator"), fireWall_);
    simbol->setMaxLength(1);
    fireWall_->layout()->addWidget(simbol);
    layout->addWidget(fireWall_);
    layout->addStretch(1);
    return page;
}

void TOptionsDialog::ShowState() {
    pages_->setCurrentIndex(static_cast<int>(form_.Page()));
    pageCaption_->setText(QString::fromUtf8(form_.PageCaption()));
    const bool masks[] = {form_.Checked(TOptionsCheck::ProxyPswMask),
                          form_.Checked(TOptionsCheck::SocksPswMask)};
    proxy_->setEnabled(form_.ProxyPanelEnabled());
    socks_->setEnabled(form_.SocksPanelEnabled());
    for (TOptionsText box :
         {TOptionsText::ProxyServer, TOptionsText::ProxyPort, TOptionsText::ProxyPsw})
        PaintBase(edits_[At(box)], form_.ProxyEditColour());
    for (TOptionsText box : {TOptionsText::SocksServer, TOptionsText::SocksPort,
                             TOptionsText::SocksPsw, TOptionsText::SocksUC})
        PaintBase(edits_[At(box)], form_.SocksEditColour());
    edits_[At(TOptionsText::ProxyPsw)]->setEchoMode(masks[0] ? QLineEdit::Password
                                                             : QLineEdit::Normal);
    edits_[At(TOptionsText::SocksPsw)]->setEchoMode(masks[1] ? QLineEdit::Password
                                                             : QLineEdit::Normal);
    fireWall_->setEnabled(form_.FireWallGroupEnabled());
    PaintText(fireWall_, form_.FireWallFontColour());
    QLineEdit* mail = edits_[At(TOptionsText::Anonymous)];
    mail->setEnabled(form_.EMailEnabled());
    PaintBase(mail, form_.EMailColour());
    PaintBase(extensions_, form_.ExtensionListColour());
}

void TOptionsDialog::ShowExtensions() {
    const QSignalBlocker block(extensions_);
    extensions_->clear();
    for (const std::string& ext : form_.Extensions()) extensions_->addItem(ShownText(ext));
    extensions_->setCurrentRow(form_.SelectedExtension());
}

void TOptionsDialog::accept() {
    form_.Confirm();
    QDialog::accept();
}

void TOptionsDialog::reject() {
    form_.Cancel();
    QDialog::reject();
}

}  // namespace tarnwick::ui

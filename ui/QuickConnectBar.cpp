#include "ui/QuickConnectBar.h"

#include <QHBoxLayout>

#include "session/DisplayText.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

constexpr int kHostMinimumWidth = 220;
constexpr int kPortWidth = 60;
constexpr int kPortLength = 5;
constexpr const char* kDefaultPort = "21";

QString Shown(const std::string& bytes) {
    return QString::fromStdString(session::DisplayText(bytes));
}

// A remembered host as the drop-down lists it: with its port unless that is the usual one.
QString HistoryItem(const session::TQuickConnectEntry& e) {
    return e.Port == kDefaultPort ? Shown(e.Host) : Shown(e.Host) + ":" + Shown(e.Port);
}

QLineEdit* Field(QWidget* parent, const char* name, const QString& label) {
    auto* edit = MakeChild<QLineEdit>(parent);
    edit->setObjectName(name);
    edit->setPlaceholderText(label);
    edit->setAccessibleName(label);
    edit->setToolTip(label);
    return edit;
}

}  // namespace

TQuickConnectBar::TQuickConnectBar(session::T_Main& main, QWidget* parent)
    : QWidget(parent), quick_(std::make_unique<session::TQuickConnect>(main)) {
    setObjectName("QuickConnectBar");
    setAccessibleName(tr("Quick connect"));
    auto* row = MakeChild<QHBoxLayout>(this);
    row->setContentsMargins(0, 0, 0, 0);

    host_ = MakeChild<QComboBox>(this);
    host_->setObjectName("cbQuickHost");
    host_->setEditable(true);
    host_->setInsertPolicy(QComboBox::NoInsert);
    host_->setMinimumWidth(kHostMinimumWidth);
    host_->setAccessibleName(tr("Host"));
    host_->setToolTip(tr("Host, or an address such as ftp://user@host:port/folder"));
    host_->lineEdit()->setPlaceholderText(tr("Host"));
    user_ = Field(this, "edQuickUser", tr("User"));
    password_ = Field(this, "edQuickPassword", tr("Password"));
    password_->setEchoMode(QLineEdit::Password);
    port_ = Field(this, "edQuickPort", tr("Port"));
    port_->setMaxLength(kPortLength);
    port_->setFixedWidth(kPortWidth);
    connect_ = MakeChild<QPushButton>(this, tr("Connect"));
    connect_->setObjectName("btnQuickConnect");
    connect_->setAccessibleName(tr("Quick connect"));
    connect_->setToolTip(tr("Connect to this server without saving it"));
    problem_ = MakeChild<QLabel>(this);
    problem_->setObjectName("lblQuickProblem");
    problem_->setAccessibleName(tr("Quick connect problem"));
    problem_->hide();

    row->addWidget(host_, 2);
    row->addWidget(user_, 1);
    row->addWidget(password_, 1);
    row->addWidget(port_);
    row->addWidget(connect_);
    row->addWidget(problem_, 1);

    session::TQuickConnect& q = *quick_;
    connect(host_, &QComboBox::editTextChanged, this, [this, &q](const QString& text) {
        if (!showing_) q.SetHost(session::BytesFromEdit(q.Fields().Host, text.toStdString()));
    });
    connect(host_, &QComboBox::activated, this, [this, &q](int index) {
        if (!showing_ && index >= 0) q.ChooseHistory(static_cast<size_t>(index));
    });
    connect(user_, &QLineEdit::textEdited, this, [&q](const QString& text) {
        q.SetUser(session::BytesFromEdit(q.Fields().User, text.toStdString()));
    });
    connect(password_, &QLineEdit::textEdited, this, [&q](const QString& text) {
        q.SetPassword(session::BytesFromEdit(q.Fields().Password, text.toStdString()));
    });
    connect(port_, &QLineEdit::textEdited, this, [&q](const QString& text) {
        q.SetPort(session::BytesFromEdit(q.Fields().Port, text.toStdString()));
    });
    for (QLineEdit* edit : {host_->lineEdit(), user_, password_, port_})
        connect(edit, &QLineEdit::returnPressed, this, [this] { Connect(); });
    connect(connect_, &QPushButton::clicked, this, [this] { Connect(); });
    q.OnChanged = [this] { Show(); };
    Show();
}

TQuickConnectBar::~TQuickConnectBar() {
    quick_->OnChanged = nullptr;
}

void TQuickConnectBar::Connect() {
    quick_->Connect();
}

void TQuickConnectBar::Show() {
    showing_ = true;
    const session::TQuickConnectFields& f = quick_->Fields();
    QStringList items;
    for (const session::TQuickConnectEntry& e : quick_->History().Entries())
        items << HistoryItem(e);
    QStringList now;
    for (int i = 0; i < host_->count(); ++i) now << host_->itemText(i);
    if (items != now) {
        host_->clear();
        host_->addItems(items);
    }
    if (host_->currentText() != Shown(f.Host)) host_->setEditText(Shown(f.Host));
    if (user_->text() != Shown(f.User)) user_->setText(Shown(f.User));
    if (password_->text() != Shown(f.Password)) password_->setText(Shown(f.Password));
    if (port_->text() != Shown(f.Port)) port_->setText(Shown(f.Port));
    problem_->setText(Shown(quick_->Problem()));
    problem_->setVisible(!quick_->Problem().empty());
    showing_ = false;
}

}  // namespace tarnwick::ui

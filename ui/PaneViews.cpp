#include "ui/PaneViews.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QPointer>
#include <QStyle>
#include <QVBoxLayout>

#include "session/DisplayText.h"
#include "session/LocalPanel.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

using session::TChange;

QString Shown(const std::string& bytes) {
    return QString::fromStdString(session::DisplayText(bytes));
}

// Refills a box without its signals, so that showing it never reads as a user's choice.
void FillBox(QComboBox& box, const QStringList& items, int current) {
    const QSignalBlocker quiet(box);
    box.clear();
    box.addItems(items);
    box.setCurrentIndex(current);
}

// Focus that goes to a menu or the menu bar for a moment has not left the list.
bool LeavesForGood(const QFocusEvent& e) {
    return e.reason() != Qt::PopupFocusReason && e.reason() != Qt::MenuBarFocusReason;
}

}  // namespace

TLocalPaneView::TLocalPaneView(session::T_Main& main, QWidget* parent)
    : QWidget(parent), main_(main), core_(main.Core()) {
    setObjectName("PanelLocal");
    auto* layout = MakeChild<QVBoxLayout>(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* row = MakeChild<QWidget>(this);
    auto* rowLayout = MakeChild<QHBoxLayout>(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    up_ = MakeChild<QToolButton>(row);
    up_->setObjectName("SpeedButton4");
    up_->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    up_->setToolTip(tr("Up one level"));
    up_->setAccessibleName(tr("Local up one level"));
    drives_ = MakeChild<QComboBox>(row);
    drives_->setObjectName("DriveComboBox1");
    drives_->setAccessibleName(tr("Local drive"));
    drives_->setToolTip(tr("Drive"));
    drives_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    drives_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    dlbx_ = MakeChild<QComboBox>(row);
    dlbx_->setObjectName("dlbx");
    dlbx_->setAccessibleName(tr("Local folder"));
    dlbx_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    rowLayout->addWidget(up_);
    rowLayout->addWidget(drives_);
    rowLayout->addWidget(dlbx_);
    layout->addWidget(row);

    buttons_ = MakeChild<QToolBar>(this);
    buttons_->setObjectName("LocalButtons");
    buttons_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    layout->addWidget(buttons_);

    lvLoc_ = MakeChild<TPaneWidget>(this, core_.lvLoc);
    layout->addWidget(lvLoc_);
    status_ = MakeChild<QLabel>(this);
    status_->setObjectName("pnlLocInfo");
    status_->setAccessibleName(tr("Local selection"));
    layout->addWidget(status_);

    session::TLocalPanel& local = core_.Local;
    connect(up_, &QToolButton::clicked, this, [&local] { local.SpeedButton4Click(); });
    connect(drives_, &QComboBox::activated, this, [this, &local](int index) {
        local.DriveComboChange(index);
        ShowDirectory();  // the logic may have stayed where it was
    });
    connect(dlbx_, &QComboBox::activated, this, [this, &local](int index) {
        local.dlbxClick(index);
        ShowDirectory();
    });
    connect(lvLoc_, &TPaneWidget::DoubleClicked, this, [&local] { local.lvLocDblClick(); });
    connect(lvLoc_, &TPaneWidget::UserSelected, this,
            [this](const std::vector<size_t>& rows) { main_.lvLocSelectItems(rows); });
    connect(lvLoc_, &TPaneWidget::HeaderClicked, this,
            [this](int column) { main_.lvLocColumnClick(column); });
    lvLoc_->ReportView().installEventFilter(this);
    lvLoc_->ListView().installEventFilter(this);

    auto on = [this](TChange kind, void (TLocalPaneView::*show)()) {
        subscriptions_.push_back(core_.Notifier.Subscribe(
            static_cast<session::TChangeMask>(kind), [this, show](TChange) { (this->*show)(); }));
    };
    on(TChange::LocalDirectory, &TLocalPaneView::ShowDirectory);
    on(TChange::Status, &TLocalPaneView::ShowStatus);
    on(TChange::Busy, &TLocalPaneView::ShowBusy);
    ShowDirectory();
    ShowStatus();
}

bool TLocalPaneView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        core_.Local.lvLocEnter();
    } else if (event->type() == QEvent::FocusOut &&
               LeavesForGood(*static_cast<QFocusEvent*>(event))) {
        core_.Local.lvLocExit();
    }
    return QWidget::eventFilter(watched, event);
}

void TLocalPaneView::ShowDirectory() {
    const session::TLocalPanel& local = core_.Local;
    QStringList folders;
    const std::vector<std::string>& items = local.DirectoryItems();
    for (int i = 0; i < static_cast<int>(items.size()); ++i)
        folders << Shown(session::DirectoryBoxPath(items, i));
    FillBox(*dlbx_, folders, local.DirectoryIndex());
    dlbx_->setToolTip(Shown(local.Directory()));
    QStringList drives;
    for (const std::string& d : local.DriveItems()) drives << Shown(d);
    FillBox(*drives_, drives, local.DriveIndex());
}

void TLocalPaneView::ShowStatus() {
    ShowStatusLine(*status_, main_.PaneTools().LocalStatus());
}

void TLocalPaneView::ShowBusy() {
    // The up buttons of both panes take the hourglass while the remote side is busy.
    if (core_.RemoteCursor() == session::TCursor::HourGlass)
        up_->setCursor(Qt::WaitCursor);
    else
        up_->unsetCursor();
}

void ShowStatusLine(QLabel& label, const session::TStatusLine& line) {
    label.setText(Shown(line.Text));
    label.setVisible(line.Visible);
}

void ApplyPaneFont(TPaneWidget& pane, QFont windowFont,
                   const std::optional<session::TFontChoice>& own) {
    if (own) {
        if (!own->Name.empty()) windowFont.setFamily(QString::fromStdString(own->Name));
        if (own->Size > 0) windowFont.setPointSize(own->Size);
    }
    pane.setFont(windowFont);
}

void AttachPopupMenu(TPaneWidget& pane, QMenu& menu) {
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(&pane.ReportView()),
                                    static_cast<QAbstractItemView*>(&pane.ListView())}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(view, &QWidget::customContextMenuRequested, &menu,
                         [view, m = QPointer<QMenu>(&menu)](const QPoint& at) {
                             if (m) m->popup(view->viewport()->mapToGlobal(at));
                         });
    }
}

}  // namespace tarnwick::ui

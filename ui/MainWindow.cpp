#include "ui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include "session/DisplayText.h"
#include "ui/PaneViews.h"
#include "ui/QtOwnership.h"

namespace tarnwick::ui {

namespace {

using session::TChange;

constexpr int kInitialWidth = 1100;
constexpr int kInitialHeight = 720;
constexpr int kLogStretch = 1;
constexpr int kViewStretch = 3;

QString Shown(const std::string& bytes) {
    return QString::fromStdString(session::DisplayText(bytes));
}

// Menus and buttons are found by their names; their accessible name is their visible text.
QString PlainText(QString text) {
    return text.remove('&').remove("...");
}

}  // namespace

TMainWindow::TMainWindow(session::T_Main& main, QWidget* parent)
    : QMainWindow(parent), main_(main), core_(main.Core()) {
    setObjectName("T_Main");
    setWindowTitle("Tarnwick");
    resize(kInitialWidth, kInitialHeight);
    binder_ = std::make_unique<TControlBinder>(core_.Controls, core_.Notifier);

    BuildActions();
    BuildMenus();
    BuildToolBar();

    panes_ = MakeChild<QSplitter>(this, Qt::Horizontal);
    panes_->setObjectName("Splitter1");
    panes_->addWidget(BuildLocalPane());
    panes_->addWidget(BuildRemotePane());
    setCentralWidget(panes_);
    BuildPaneMenus();
    BuildTransfers();
    BuildRemoteOps();
    statusBar()->setObjectName("StatusBar");
    BuildEncryption();
    BuildQuickConnect();
    BuildKeys();

    Subscribe();
    binder_->ApplyAll();
    ShowTitle();
    ShowPathBox();
    ShowBusy();
    ShowLayout();
    BuildLook();
}

TMainWindow::~TMainWindow() {
    subscriptions_.clear();
    if (overrideCursor_) QApplication::restoreOverrideCursor();
}

QAction* TMainWindow::Action(const QString& name) const {
    const auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

QAction* TMainWindow::AddAction(const QString& name, const QString& text,
                                std::function<void()> run) {
    auto* action = MakeChild<QAction>(this, text);
    action->setObjectName(name);
    action->setToolTip(PlainText(text));
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    actions_[name] = action;
    binder_->Bind(action);
    return action;
}

QAction* TMainWindow::AddAction(const QString& name, const QString& text,
                                void (TMainWindow::*slot)()) {
    return AddAction(name, text, [this, slot] { (this->*slot)(); });
}

void TMainWindow::BuildActions() {
    session::T_Main& m = main_;
    QStyle* st = style();
    // Toolbar buttons and their menu twins run the same handlers.
    AddAction("sbConnect", tr("Connect"), [&m] {
        m.sbConnectClick();
    })->setIcon(QIcon::fromTheme("network-connect", st->standardIcon(QStyle::SP_DialogOkButton)));
    AddAction("Connect1", tr("&Connect"), [&m] { m.sbConnectClick(); });
    AddAction("sbDisConnect", tr("Disconnect"), [&m] { m.sbDisConnectClick(); })
        ->setIcon(
            QIcon::fromTheme("network-disconnect", st->standardIcon(QStyle::SP_DialogCloseButton)));
    AddAction("Disconnect1", tr("&Disconnect"), [&m] { m.sbDisConnectClick(); });
    AddAction("sbNewServer", tr("New Server"), [&m] {
        m.sbNewServerClick();
    })->setIcon(QIcon::fromTheme("document-new", st->standardIcon(QStyle::SP_FileDialogNewFolder)));
    AddAction("NewServer1", tr("&New Server..."), [&m] { m.sbNewServerClick(); });
    AddAction("New1", tr("&New..."), [&m] { m.sbNewServerClick(); });
    AddAction("sbProperties", tr("Properties"), [&m] { m.sbPropertiesClick(); })
        ->setIcon(QIcon::fromTheme("document-properties",
                                   st->standardIcon(QStyle::SP_FileDialogDetailedView)));
    AddAction("ServerProperties1", tr("Server &Properties..."), [&m] { m.sbPropertiesClick(); });
    AddAction("Properties1", tr("&Properties..."), [&m] { m.sbPropertiesClick(); });
    AddAction("sbStop", tr("Stop"), [&m] {
        m.Transfers().sbStopClick();
    })->setIcon(QIcon::fromTheme("process-stop", st->standardIcon(QStyle::SP_BrowserStop)));
    AddAction("StopTransfer1", tr("S&top Transfer"), [&m] { m.Transfers().sbStopClick(); });
    AddAction("FtpOptions1", tr("&Preferences..."), [&m] { m.FtpOptions1Click(); });
    AddAction("ExplorerButton1", tr("Exit"), [&m] { m.ExplorerButton1Click(); })
        ->setIcon(
            QIcon::fromTheme("application-exit", st->standardIcon(QStyle::SP_DialogCloseButton)));
    AddAction("Exit1", tr("E&xit"), [&m] { m.Exit1Click(); });
}

void TMainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName("File1");
    for (const char* n : {"Connect1", "Disconnect1", "NewServer1", "ServerProperties1"})
        file->addAction(Action(n));
    file->addSeparator();
    file->addAction(Action("StopTransfer1"));
    file->addSeparator();
    file->addAction(Action("Exit1"));
    QMenu* options = menuBar()->addMenu(tr("&Options"));
    options->setObjectName("Options1");
    options->addAction(Action("FtpOptions1"));
}

void TMainWindow::BuildToolBar() {
    QToolBar* bar = addToolBar(tr("Main"));
    bar->setObjectName("ToolBar1");
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    for (const char* n : {"sbConnect", "sbDisConnect", "sbNewServer", "sbProperties", "sbStop"})
        bar->addAction(Action(n));
    bar->addSeparator();
    bar->addAction(Action("ExplorerButton1"));
    for (QAction* a : bar->actions()) {
        if (QWidget* w = bar->widgetForAction(a)) {
            w->setObjectName(a->objectName() + "Button");
            w->setAccessibleName(PlainText(a->text()));
        }
    }
}

QWidget* TMainWindow::BuildRemotePane() {
    auto* pane = MakeChild<QWidget>(panes_);
    pane->setObjectName("PanelRemote");
    auto* layout = MakeChild<QVBoxLayout>(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    panel9_ = MakeChild<QLabel>(pane);
    panel9_->setObjectName("Panel9");
    panel9_->setAccessibleName(tr("Remote pane title"));
    QFont bold = panel9_->font();
    bold.setBold(true);
    panel9_->setFont(bold);
    layout->addWidget(panel9_);

    auto* row = MakeChild<QWidget>(pane);
    row->setObjectName("PanelPath");
    auto* rowLayout = MakeChild<QHBoxLayout>(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    oneLevelUp_ = MakeChild<QToolButton>(row);
    oneLevelUp_->setObjectName("FTPOneLevelUp");
    oneLevelUp_->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    oneLevelUp_->setToolTip(tr("Up one level"));
    oneLevelUp_->setAccessibleName(tr("Remote up one level"));
    connect(oneLevelUp_, &QToolButton::clicked, this,
            [this] { main_.RemoteOps().FTPOneLevelUpClick(); });
    ftpPath_ = MakeChild<QComboBox>(row);
    ftpPath_->setObjectName("FTPPath");
    ftpPath_->setAccessibleName(tr("Remote path"));
    ftpPath_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(ftpPath_, &QComboBox::activated, this, [this](int index) {
        main_.RemoteOps().FTPPathChange(index);
        ShowPathBox();  // the logic may have refused the change
    });
    rowLayout->addWidget(oneLevelUp_);
    rowLayout->addWidget(ftpPath_);
    layout->addWidget(row);

    auto* split = MakeChild<QSplitter>(pane, Qt::Vertical);
    split->setObjectName("Splitter2");
    // The status line pnlFtpInfo sits under the remote list, above the log.
    auto* listed = MakeChild<QWidget>(split);
    listed->setObjectName("PanelFiles");
    auto* listedLayout = MakeChild<QVBoxLayout>(listed);
    listedLayout->setContentsMargins(0, 0, 0, 0);
    ftpView_ = MakeChild<TPaneWidget>(listed, core_.FTPView);
    pnlFtpInfo_ = MakeChild<QLabel>(listed);
    pnlFtpInfo_->setObjectName("pnlFtpInfo");
    pnlFtpInfo_->setAccessibleName(tr("Remote selection"));
    pnlFtpInfo_->hide();
    listedLayout->addWidget(ftpView_);
    listedLayout->addWidget(pnlFtpInfo_);
    log_ = MakeChild<TLogWidget>(split, core_.Log);
    split->addWidget(listed);
    split->addWidget(log_);
    split->setStretchFactor(0, kViewStretch);
    split->setStretchFactor(1, kLogStretch);
    layout->addWidget(split);

    connect(ftpView_, &TPaneWidget::DoubleClicked, this, [this] { main_.FTPViewDblClick(); });
    connect(ftpView_, &TPaneWidget::UserSelected, this,
            [this](const std::vector<size_t>& rows) { main_.FTPViewSelectItems(rows); });
    return pane;
}

void TMainWindow::Subscribe() {
    auto on = [this](TChange kind, void (TMainWindow::*show)()) {
        subscriptions_.push_back(core_.Notifier.Subscribe(
            static_cast<session::TChangeMask>(kind), [this, show](TChange) { (this->*show)(); }));
    };
    on(TChange::Title, &TMainWindow::ShowTitle);
    on(TChange::PathBox, &TMainWindow::ShowPathBox);
    on(TChange::Busy, &TMainWindow::ShowBusy);
    on(TChange::Layout, &TMainWindow::ShowLayout);
    on(TChange::ViewStyle, &TMainWindow::ShowFont);
}

void TMainWindow::ShowTitle() {
    panel9_->setText(Shown(core_.Title()));
}

void TMainWindow::ShowPathBox() {
    if (showingPathBox_) return;
    showingPathBox_ = true;
    const session::TComboModel& box = core_.FTPPath;
    ftpPath_->clear();
    for (const std::string& item : box.Items()) ftpPath_->addItem(Shown(item));
    ftpPath_->setCurrentIndex(box.ItemIndex());
    ftpPath_->setEnabled(box.Enabled());
    showingPathBox_ = false;
}

void TMainWindow::ShowBusy() {
    const bool remoteBusy = core_.RemoteCursor() == session::TCursor::HourGlass;
    for (QWidget* w : {static_cast<QWidget*>(ftpView_), static_cast<QWidget*>(ftpPath_),
                       static_cast<QWidget*>(oneLevelUp_)}) {
        if (remoteBusy)
            w->setCursor(Qt::WaitCursor);
        else
            w->unsetCursor();
    }
    const bool screenBusy = core_.ScreenCursor() == session::TCursor::HourGlass;
    if (screenBusy && !overrideCursor_) QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!screenBusy && overrideCursor_) QApplication::restoreOverrideCursor();
    overrideCursor_ = screenBusy;
}

void TMainWindow::ShowLayout() {
    const session::TPaneLayout& l = core_.Layout();
    const int total = panes_->width() > 0 ? panes_->width() : l.ClientWidth;
    if (l.RightPaneWidth <= 0 || total <= 0) return;
    const int right = std::min(l.RightPaneWidth, total);
    panes_->setSizes({total - right, right});
}

void TMainWindow::ShowFont() {
    // The preferences carry a font of the original platform; the desktop's own font is kept
    // unless the one named is installed.
    const session::TFontChoice& f = core_.Font();
    QFont font = QApplication::font();
    if (!f.Name.empty() && QFont(QString::fromStdString(f.Name)).exactMatch())
        font.setFamily(QString::fromStdString(f.Name));
    ApplyPaneFont(*ftpView_, font, main_.PaneTools().PaneFont(core_.FTPView));
    ApplyPaneFont(*lvLoc_, font, main_.PaneTools().PaneFont(core_.lvLoc));
}

void TMainWindow::closeEvent(QCloseEvent* event) {
    main_.FormDestroy();
    event->accept();
}

void TMainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (panes_) main_.FormResize(panes_->width(), panes_->handleWidth());
}

}  // namespace tarnwick::ui

// The window's remembered state, its status bar and the log's commands.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTreeView>

#include "session/DisplayText.h"
#include "ui/Accessibility.h"
#include "ui/LogWidget.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowLook.h"
#include "ui/PaneWidget.h"
#include "ui/QtOwnership.h"
#include "ui/WindowReady.h"

namespace tarnwick::ui {

namespace {

QString Shown(const std::string& bytes) {
    return QString::fromStdString(session::DisplayText(bytes));
}

std::vector<int> Widths(TPaneWidget& pane) {
    std::vector<int> out;
    QTreeView& view = pane.ReportView();
    for (int i = 0; i < view.header()->count(); ++i) out.push_back(view.columnWidth(i));
    return out;
}

void SetWidths(TPaneWidget& pane, const std::vector<int>& widths) {
    QTreeView& view = pane.ReportView();
    const int count = std::min(static_cast<int>(widths.size()), view.header()->count());
    for (int i = 0; i < count; ++i) view.setColumnWidth(i, widths[static_cast<size_t>(i)]);
}

std::vector<int> Sizes(const QSplitter& splitter) {
    const QList<int> sizes = splitter.sizes();
    return std::vector<int>(sizes.begin(), sizes.end());
}

void SetSizes(QSplitter& splitter, const std::vector<int>& sizes) {
    if (static_cast<int>(sizes.size()) != splitter.count()) return;
    splitter.setSizes(QList<int>(sizes.begin(), sizes.end()));
}

std::vector<session::TScreenRect> AvailableScreens() {
    std::vector<session::TScreenRect> out;
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRect r = s->availableGeometry();
        out.push_back({r.x(), r.y(), r.width(), r.height()});
    }
    return out;
}

QLabel* StatusLabel(QStatusBar& bar, const char* name, const QString& accessibleName,
                    const QString& description) {
    auto* label = MakeChild<QLabel>(&bar);
    label->setObjectName(name);
    label->setAccessibleName(accessibleName);
    label->setAccessibleDescription(description);
    return label;
}

}  // namespace

void TMainWindow::BuildLook() {
    TLookParts parts;
    parts.Window = this;
    parts.PaneSplit = panes_;
    parts.RemoteSplit = findChild<QSplitter*>("Splitter2");
    parts.LocalPane = lvLoc_;
    parts.RemotePane = ftpView_;
    parts.Log = log_;
    menuBar()->setObjectName("MainMenu");
    MakeChild<TWindowLook>(this, main_, parts);
}

TWindowLook::TWindowLook(session::T_Main& main, TLookParts parts, QObject* parent)
    : QObject(parent),
      main_(main),
      parts_(parts),
      status_(main.Core(), main.Transfers()),
      logCommands_(main.Core()) {
    setObjectName("WindowLook");
    BuildStatusBar();
    parts_.Log->SetCommands(logCommands_);
    // After the window's own handler of the layout, which halves the panes.
    layout_ =
        main_.Core().Notifier.Subscribe(static_cast<session::TChangeMask>(session::TChange::Layout),
                                        [this](session::TChange) { ApplyPendingSplit(); });
    Restore();
    parts_.Window->installEventFilter(this);
    // Every window that comes up (this one, the dialogs, the pop-up menus) gets the names and
    // descriptions its controls lack.
    QCoreApplication::instance()->installEventFilter(this);
}

void TWindowLook::BuildStatusBar() {
    QStatusBar& bar = *parts_.Window->statusBar();
    connection_ = StatusLabel(bar, "StatusConnection", tr("Connection"),
                              tr("Whether a server is connected, and which"));
    failure_ = StatusLabel(bar, "StatusFailure", tr("Last failure"),
                           tr("The last failure of the session; the log has the details"));
    queued_ = StatusLabel(bar, "StatusQueued", tr("Queued files"),
                          tr("The number of files still waiting in the transfer queue"));
    rate_ = StatusLabel(bar, "StatusRate", tr("Transfer rate"),
                        tr("The rate of the transfer running now"));
    failure_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar.addWidget(connection_);
    bar.addWidget(failure_, 1);
    bar.addPermanentWidget(queued_);
    bar.addPermanentWidget(rate_);
    status_.SetOnChange([this] { ShowStatus(); });
    ShowStatus();
}

void TWindowLook::ShowStatus() {
    connection_->setText(Shown(status_.Connection()));
    failure_->setText(Shown(status_.Failure()));
    failure_->setToolTip(failure_->text());
    queued_->setText(Shown(status_.Queued()));
    queued_->setVisible(!status_.Queued().empty());
    rate_->setText(Shown(status_.Rate()));
    rate_->setVisible(!status_.Rate().empty());
}

void TWindowLook::Restore() {
    const session::TWindowState state = session::LoadWindowState(main_.Core().SettingsFolder());
    QMainWindow& window = *parts_.Window;
    if (state.Geometry) {
        if (const auto placed = session::PlaceOnScreens(*state.Geometry, AvailableScreens()))
            window.setGeometry(placed->X, placed->Y, placed->Width, placed->Height);
    }
    if (state.Maximized) window.setWindowState(window.windowState() | Qt::WindowMaximized);
    SetWidths(*parts_.LocalPane, state.LocalColumns);
    SetWidths(*parts_.RemotePane, state.RemoteColumns);
    if (parts_.RemoteSplit) SetSizes(*parts_.RemoteSplit, state.RemoteSplit);
    pendingSplit_ = state.PaneSplit;
    ApplyPendingSplit();
}

void TWindowLook::ApplyPendingSplit() {
    if (!pendingSplit_.empty()) SetSizes(*parts_.PaneSplit, pendingSplit_);
}

session::TWindowState TWindowLook::Current() const {
    const QMainWindow& window = *parts_.Window;
    session::TWindowState state;
    const QRect normal =
        window.isMaximized() || window.isFullScreen() ? window.normalGeometry() : window.geometry();
    if (normal.isValid())
        state.Geometry = {normal.x(), normal.y(), normal.width(), normal.height()};
    state.Maximized = window.isMaximized();
    state.PaneSplit = Sizes(*parts_.PaneSplit);
    if (parts_.RemoteSplit) state.RemoteSplit = Sizes(*parts_.RemoteSplit);
    state.LocalColumns = Widths(*parts_.LocalPane);
    state.RemoteColumns = Widths(*parts_.RemotePane);
    state.LocalFolder = main_.Core().Local.Directory();
    return state;
}

bool TWindowLook::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow()) DescribeControls(*widget);
    }
    if (watched == parts_.Window) {
        if (event->type() == QEvent::Show && !pendingSplit_.empty()) {
            // Once the window is up, the panes are the user's again (and the resizes').
            WhenWindowReady(*parts_.Window, [this] {
                ApplyPendingSplit();
                pendingSplit_.clear();
            });
        } else if (event->type() == QEvent::Close && !saved_) {
            saved_ = true;
            session::SaveWindowState(main_.Core().SettingsFolder(), Current());
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tarnwick::ui

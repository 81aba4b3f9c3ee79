// The keyboard of the window: the pane keys of the session's key table, each a shortcut of
// both panes that acts on the pane holding the focus (so none fires while the path box, the
// command box or a quick-connect field is being typed in), Escape for Stop Transfer across the
// window, the keys shown in the menus and tooltips of the buttons and items that run the same
// commands, and the quick-connect bar above the panes.
#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <QToolBar>
#include <QToolButton>
#include <string>
#include <utility>

#include "session/KeyboardCommands.h"
#include "ui/MainWindow.h"
#include "ui/QtOwnership.h"
#include "ui/QuickConnectBar.h"

namespace tarnwick::ui {

namespace {

using session::TKeyCommand;
using session::TPaneSide;

QKeySequence KeyOf(std::string_view portable) {
    return QKeySequence(
        QString::fromLatin1(portable.data(), static_cast<qsizetype>(portable.size())),
        QKeySequence::PortableText);
}

// Every key of a command.
QList<QKeySequence> KeysOf(TKeyCommand command) {
    QList<QKeySequence> keys;
    for (const session::TKeyBinding& b : session::kPaneKeys)
        if (b.Command == command) keys << KeyOf(b.Key);
    return keys;
}

QString WithKey(QString text, const QKeySequence& key) {
    text.remove('&').remove("...");
    const qsizetype tab = text.indexOf('\t');
    if (tab >= 0) text.truncate(tab);
    return text + " (" + key.toString(QKeySequence::NativeText) + ")";
}

constexpr TKeyCommand kCommands[] = {
    TKeyCommand::Open,        TKeyCommand::Up,          TKeyCommand::SwitchPane,
    TKeyCommand::CopyToOther, TKeyCommand::ViewFile,    TKeyCommand::MakeDirectory,
    TKeyCommand::Rename,      TKeyCommand::Delete,      TKeyCommand::SelectAll,
    TKeyCommand::Relist,      TKeyCommand::StopTransfer};

// While a modal dialog blocks the window, its keys are off: the shortcut map looks at the
// focus widget, which on some platforms stays in the blocked window, and would take the Return
// or Backspace meant for the dialog's fields.
class TBlockedWindowKeys : public QObject {
  public:
    TBlockedWindowKeys(QList<QShortcut*> keys, QObject* window)
        : QObject(window), keys_(std::move(keys)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowUnblocked) {
            const bool enabled = event->type() == QEvent::WindowUnblocked;
            for (QShortcut* key : keys_) key->setEnabled(enabled);
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QList<QShortcut*> keys_;
};

}  // namespace

void TMainWindow::BuildKeys() {
    session::T_Main& m = main_;

    // Re-reading a pane has its own items, in the Local and the Remote menu.
    QAction* localRefresh = AddAction("Refresh1", tr("Re&fresh"), [&m] {
        session::RunKeyCommand(m, TKeyCommand::Relist, TPaneSide::Local);
    });
    QAction* remoteRefresh = AddAction("Refresh2", tr("Re&fresh"), [&m] {
        session::RunKeyCommand(m, TKeyCommand::Relist, TPaneSide::Remote);
    });
    if (auto* menu = findChild<QMenu*>("Local1")) menu->addAction(localRefresh);
    if (auto* menu = findChild<QMenu*>("Remote1")) menu->addAction(remoteRefresh);

    // The pane keys: shortcuts of each pane's widget, for the focus inside it.
    QList<QShortcut*> windowKeys;
    const std::pair<TPaneWidget*, TPaneSide> panes[] = {{lvLoc_, TPaneSide::Local},
                                                        {ftpView_, TPaneSide::Remote}};
    for (const session::TKeyBinding& b : session::kPaneKeys) {
        if (b.Command == TKeyCommand::StopTransfer) continue;
        for (const auto& [pane, side] : panes) {
            auto* shortcut = MakeChild<QShortcut>(pane, KeyOf(b.Key));
            shortcut->setContext(Qt::WidgetWithChildrenShortcut);
            shortcut->setObjectName(
                QString::fromLatin1(side == TPaneSide::Local ? "lvLoc" : "FTPView") + "Key" +
                shortcut->key().toString(QKeySequence::PortableText));
            connect(shortcut, &QShortcut::activated, this,
                    [&m, command = b.Command, side] { session::RunKeyCommand(m, command, side); });
            windowKeys << shortcut;
        }
    }
    // Escape stops a transfer wherever the focus is in the window (it means nothing in a
    // line edit); with nothing running it does nothing.
    for (const QKeySequence& key : KeysOf(TKeyCommand::StopTransfer)) {
        auto* stop = MakeChild<QShortcut>(this, key);
        stop->setContext(Qt::WindowShortcut);
        stop->setObjectName("StopKey");
        connect(stop, &QShortcut::activated, this,
                [&m] { session::RunKeyCommand(m, TKeyCommand::StopTransfer, TPaneSide::Remote); });
        windowKeys << stop;
    }
    installEventFilter(MakeChild<TBlockedWindowKeys>(this, windowKeys));

    // The keys shown: in the menus (as the items' shortcuts, active only while their own
    // menu has the focus, so they never compete with the panes' keys) and in the tooltips.
    for (const TKeyCommand command : kCommands) {
        const QList<QKeySequence> keys = KeysOf(command);
        if (keys.isEmpty()) continue;
        for (const TPaneSide side : {TPaneSide::Local, TPaneSide::Remote}) {
            for (const std::string_view name : session::KeyedControls(command, side)) {
                const QString objectName =
                    QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
                if (QAction* a = Action(objectName)) {
                    a->setShortcuts(keys);
                    a->setShortcutContext(Qt::WidgetShortcut);
                    a->setToolTip(WithKey(a->text(), keys.front()));
                } else if (auto* button = findChild<QToolButton*>(objectName)) {
                    button->setToolTip(WithKey(button->toolTip(), keys.front()));
                }
            }
        }
    }
    // The toolbar buttons show their action's tooltip, key included.
    for (QToolBar* bar : findChildren<QToolBar*>()) {
        for (QAction* a : bar->actions()) {
            if (QWidget* w = bar->widgetForAction(a)) w->setToolTip(a->toolTip());
        }
    }
}

void TMainWindow::BuildQuickConnect() {
    auto* bar = MakeChild<QToolBar>(this, tr("Quick connect"));
    bar->setObjectName("QuickConnectToolBar");
    bar->setMovable(false);
    bar->addWidget(MakeChild<TQuickConnectBar>(bar, main_));
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, bar);
}

}  // namespace tarnwick::ui

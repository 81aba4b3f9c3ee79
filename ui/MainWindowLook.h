// The main window's look that outlives a run and the status bar: the remembered window state
// (restored when the window is built, saved when it closes), the status bar's texts over the
// session's TStatusBar, and the log memo's commands. Made by TMainWindow::BuildLook.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QObject>
#include <QSplitter>
#include <vector>

#include "session/LogCommands.h"
#include "session/MainWindow.h"
#include "session/StatusBar.h"
#include "session/WindowState.h"

namespace tarnwick::ui {

class TPaneWidget;
class TLogWidget;

// The window's parts the look works on.
struct TLookParts {
    QMainWindow* Window = nullptr;
    QSplitter* PaneSplit = nullptr;
    QSplitter* RemoteSplit = nullptr;
    TPaneWidget* LocalPane = nullptr;
    TPaneWidget* RemotePane = nullptr;
    TLogWidget* Log = nullptr;
};

class TWindowLook : public QObject {
    Q_OBJECT
  public:
    TWindowLook(session::T_Main& main, TLookParts parts, QObject* parent);

    // The state the window has now, as it would be saved.
    session::TWindowState Current() const;
    const session::TStatusBar& Status() const { return status_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildStatusBar();
    void ShowStatus();
    void Restore();
    void ApplyPendingSplit();

    session::T_Main& main_;
    TLookParts parts_;
    session::TStatusBar status_;
    session::TLogCommands logCommands_;
    session::TStateNotifier::Subscription layout_;
    QLabel* connection_ = nullptr;
    QLabel* failure_ = nullptr;
    QLabel* queued_ = nullptr;
    QLabel* rate_ = nullptr;
    // The pane split restored: it holds over the halving of the first resizes, until the
    // shown window is ready.
    std::vector<int> pendingSplit_;
    bool saved_ = false;
};

}  // namespace tarnwick::ui

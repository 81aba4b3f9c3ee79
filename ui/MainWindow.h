// The main window on screen: the local pane on the left; on the right the path box, the
// title Panel9, FTPView and the log; the toolbar and the menus. It draws what the session's
// models hold, registered for the kinds of change it shows, and calls T_Main's handlers for
// whatever the user does; it changes the session in no other way.
#pragma once

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QSplitter>
#include <QToolButton>
#include <memory>

#include "session/MainWindow.h"
#include "ui/ControlBinder.h"
#include "ui/LogWidget.h"
#include "ui/PaneWidget.h"

namespace tarnwick::ui {

class TProgressController;

class TLocalPaneView;

class TMainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit TMainWindow(session::T_Main& main, QWidget* parent = nullptr);
    ~TMainWindow() override;

    session::T_Main& Main() { return main_; }
    TPaneWidget& RemotePane() { return *ftpView_; }
    TPaneWidget& LocalPane() { return *lvLoc_; }
    QComboBox& PathBox() { return *ftpPath_; }
    // The action of a named control (nullptr when there is none).
    QAction* Action(const QString& name) const;
    // The progress window of the transfer batch running comes and goes through this.
    TProgressController& Progress() { return *progress_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QAction* AddAction(const QString& name, const QString& text, void (TMainWindow::*slot)());
    QAction* AddAction(const QString& name, const QString& text, std::function<void()> run);
    void BuildActions();
    void BuildMenus();
    void BuildToolBar();
    // The local pane, and the menus of both panes (ui/MainWindowPanes.cpp).
    QWidget* BuildLocalPane();
    void BuildPaneMenus();
    QWidget* BuildRemotePane();
    void BuildTransfers();
    // The remote file commands and the command panel (ui/MainWindowRemote.cpp).
    void BuildRemoteOps();
    // The lock in the status bar, shown while the session is encrypted.
    void BuildEncryption();
    // The pane keys, the keys shown in menus and tooltips, and the quick-connect bar
    // (ui/MainWindowKeys.cpp).
    void BuildKeys();
    void BuildQuickConnect();
    // The status bar's texts, the log's commands, the window state remembered between runs
    // (ui/MainWindowLook.cpp).
    void BuildLook();
    void Subscribe();

    void ShowTitle();
    void ShowPathBox();
    void ShowBusy();
    void ShowLayout();
    void ShowFont();

    session::T_Main& main_;
    session::TSessionCore& core_;
    std::unique_ptr<TControlBinder> binder_;
    std::vector<session::TStateNotifier::Subscription> subscriptions_;
    std::map<QString, QAction*> actions_;

    QSplitter* panes_ = nullptr;
    TPaneWidget* lvLoc_ = nullptr;
    TPaneWidget* ftpView_ = nullptr;
    QComboBox* ftpPath_ = nullptr;
    QLabel* panel9_ = nullptr;
    TLocalPaneView* localPane_ = nullptr;
    QLabel* pnlFtpInfo_ = nullptr;
    TLogWidget* log_ = nullptr;
    QToolButton* oneLevelUp_ = nullptr;
    TProgressController* progress_ = nullptr;
    bool overrideCursor_ = false;
    bool showingPathBox_ = false;
};

}  // namespace tarnwick::ui

// The local pane on screen (the up button, the drive box, the directory box, the local command
// buttons, lvLoc and its status line pnlLocInfo), and what both panes' views share: a pane's
// own font, and the pop-up menu over a pane's list.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <optional>
#include <vector>

#include "session/MainWindow.h"
#include "ui/PaneWidget.h"

namespace tarnwick::ui {

class TLocalPaneView : public QWidget {
    Q_OBJECT
  public:
    TLocalPaneView(session::T_Main& main, QWidget* parent = nullptr);

    TPaneWidget& Pane() { return *lvLoc_; }
    QComboBox& DriveBox() { return *drives_; }
    QComboBox& DirectoryBox() { return *dlbx_; }
    QToolButton& UpButton() { return *up_; }
    QToolBar& Buttons() { return *buttons_; }
    QLabel& Status() { return *status_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ShowDirectory();
    void ShowStatus();
    void ShowBusy();

    session::T_Main& main_;
    session::TSessionCore& core_;
    std::vector<session::TStateNotifier::Subscription> subscriptions_;
    QToolButton* up_ = nullptr;
    QComboBox* drives_ = nullptr;
    QComboBox* dlbx_ = nullptr;
    QToolBar* buttons_ = nullptr;
    TPaneWidget* lvLoc_ = nullptr;
    QLabel* status_ = nullptr;
};

// The status line under a pane: shown only while files are selected.
void ShowStatusLine(QLabel& label, const session::TStatusLine& line);

// The font a pane shows: the window's, or the pane's own once one was chosen.
void ApplyPaneFont(TPaneWidget& pane, QFont windowFont,
                   const std::optional<session::TFontChoice>& own);

// Opens `menu` on a right click in either view of the pane.
void AttachPopupMenu(TPaneWidget& pane, QMenu& menu);

}  // namespace tarnwick::ui

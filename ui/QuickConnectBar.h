// The quick-connect bar above the panes: host (an editable drop-down of the hosts used last),
// user, password, port and Connect, with the reason shown when a connect is refused. It shows
// what session::TQuickConnect holds and hands every edit and the Connect on to it.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <memory>

#include "session/QuickConnect.h"

namespace tarnwick::ui {

class TQuickConnectBar : public QWidget {
    Q_OBJECT
  public:
    TQuickConnectBar(session::T_Main& main, QWidget* parent = nullptr);
    ~TQuickConnectBar() override;

    session::TQuickConnect& Logic() { return *quick_; }
    QComboBox& Host() { return *host_; }
    QLineEdit& User() { return *user_; }
    QLineEdit& Password() { return *password_; }
    QLineEdit& Port() { return *port_; }
    QPushButton& ConnectButton() { return *connect_; }
    QLabel& Problem() { return *problem_; }

  private:
    void Show();
    void Connect();

    std::unique_ptr<session::TQuickConnect> quick_;
    QComboBox* host_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* port_ = nullptr;
    QPushButton* connect_ = nullptr;
    QLabel* problem_ = nullptr;
    bool showing_ = false;
};

}  // namespace tarnwick::ui

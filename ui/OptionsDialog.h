// T_Options on screen, "Program Options": the page tree on the left and the three pages
// (connection, transfer type with the text-file extensions, proxy and firewall). Every change
// goes to the dialog's logic, which gives the enabled panels and their colours.
#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTreeWidget>
#include <array>

#include "dialogs/Preferences.h"
#include "session/DialogService.h"

namespace tarnwick::ui {

class TOptionsDialog : public QDialog {
    Q_OBJECT
  public:
    TOptionsDialog(dialogs::T_Options& form, session::TDialogService& service,
                   QWidget* parent = nullptr);

    void accept() override;
    void reject() override;

  private:
    QWidget* BuildConnectionPage();
    QWidget* BuildAsciiBinaryPage();
    QWidget* BuildProxyPage();
    QLineEdit* AddEdit(dialogs::TOptionsText box, const char* name, const QString& caption,
                       QWidget* parent);
    QCheckBox* AddCheck(dialogs::TOptionsCheck box, const char* name, const QString& caption,
                        QWidget* parent);
    void ShowState();
    void ShowExtensions();

    dialogs::T_Options& form_;
    session::TDialogService& service_;
    std::array<QLineEdit*, dialogs::kOptionsTextCount> edits_{};
    std::array<QCheckBox*, dialogs::kOptionsCheckCount> checks_{};
    QTreeWidget* tree_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QLabel* pageCaption_ = nullptr;
    QListWidget* extensions_ = nullptr;
    QGroupBox* proxy_ = nullptr;
    QGroupBox* socks_ = nullptr;
    QGroupBox* fireWall_ = nullptr;
};

}  // namespace tarnwick::ui

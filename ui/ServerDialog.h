// TFFtpBase on screen, "Server Properties": the boxes of one saved server, the response type
// with its custom panel of named host types and digit boxes, the two start folders with
// "Browse", and the description. Every change goes to the dialog's logic, which decides what
// is enabled, shown and stored; OK closes only when the logic accepts.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <array>

#include "dialogs/ServerProperties.h"
#include "session/DialogService.h"

namespace tarnwick::ui {

class TServerDialog : public QDialog {
    Q_OBJECT
  public:
    TServerDialog(dialogs::TFFtpBase& form, session::TDialogService& service,
                  QWidget* parent = nullptr);

    void accept() override;
    void reject() override;

  private:
    QLineEdit* AddEdit(dialogs::TServerText box, const char* name, QLayout* layout);
    QCheckBox* AddCheck(dialogs::TServerCheck box, const char* name, const QString& caption);
    QWidget* BuildCustomPanel();
    void ShowState();
    void ShowHostTypes();
    void BrowseClick();

    dialogs::TFFtpBase& form_;
    session::TDialogService& service_;
    std::array<QLineEdit*, dialogs::kServerTextCount> edits_{};
    std::array<QCheckBox*, dialogs::kServerCheckCount> checks_{};
    std::array<QLineEdit*, dialogs::kDigitBoxCount> digits_{};
    std::string descOriginal_;
    QPlainTextEdit* desc_ = nullptr;
    QComboBox* type_ = nullptr;
    QComboBox* names_ = nullptr;
    QWidget* custom_ = nullptr;
};

}  // namespace tarnwick::ui

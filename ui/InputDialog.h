// TInputForm on screen: caption, prompt, one edit box (its length bounded), and "Mask
// password" when asked for. Enter accepts, Escape cancels.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>

#include "dialogs/InputForm.h"

namespace tarnwick::ui {

class TInputDialog : public QDialog {
    Q_OBJECT
  public:
    TInputDialog(dialogs::TInputForm& form, QWidget* parent = nullptr);

    // Enter and OK accept, Escape and Cancel cancel: the form hears which.
    void accept() override;
    void reject() override;
    // The bytes the user confirmed (the form's accepted text); nothing when cancelled.
    std::optional<std::string> Result() const;

  private:
    dialogs::TInputForm& form_;
    QLineEdit* edit_;
    QCheckBox* mask_ = nullptr;
};

}  // namespace tarnwick::ui

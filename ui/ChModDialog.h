// T_ChMod on screen, "Change File Attributes": the nine boxes in a grid under the column buttons
// "Read", "Write", "Execute" with the row buttons beside them, the "Manual" edit box, "Ok" and
// "Cancel". Every change goes to the form and the widgets show what it then holds.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <array>

#include "dialogs/ChModForm.h"

namespace tarnwick::ui {

class TChModDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TChModDialog(dialogs::T_ChMod& form, QWidget* parent = nullptr);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Show();

    dialogs::T_ChMod& form_;
    std::array<QCheckBox*, dialogs::kChModBoxes> boxes_{};
    QLineEdit* edit_ = nullptr;
    bool showing_ = false;
};

}  // namespace tarnwick::ui

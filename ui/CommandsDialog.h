// T_FCmd on screen, "Commands": the labels in lbCmd, the boxes eAl ("Label") and eCmd
// ("Command text"), and "Add", "Remove", "Select", "Close"; Insert and Delete in the list add
// and remove, Enter selects, a double click selects the row.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>

#include "dialogs/CommandsForm.h"

namespace tarnwick::ui {

class TCommandsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TCommandsDialog(dialogs::T_FCmd& form, QWidget* parent = nullptr);

    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ShowList();
    void ShowBoxes();
    void Finish();

    dialogs::T_FCmd& form_;
    QListWidget* list_ = nullptr;
    QLineEdit* label_ = nullptr;
    QLineEdit* command_ = nullptr;
    bool showing_ = false;
};

}  // namespace tarnwick::ui

// TFReWrite on screen: the target in a read-only box, the question, and the six buttons in
// their order. "Save as" asks for the new path through the dialog service's input box; the
// dialog closes once the form says so. Escape or closing the window counts as "Cancel".
#pragma once

#include <QDialog>

#include "dialogs/ReWriteForm.h"

namespace tarnwick::ui {

class TReWriteDialog : public QDialog {
    Q_OBJECT
  public:
    TReWriteDialog(dialogs::TFReWrite& form, dialogs::TFReWrite::TAskInput askInput,
                   QWidget* parent = nullptr);

    void reject() override;

  private:
    void Press(dialogs::TRewriteAnswer answer);

    dialogs::TFReWrite& form_;
    dialogs::TFReWrite::TAskInput askInput_;
};

}  // namespace tarnwick::ui

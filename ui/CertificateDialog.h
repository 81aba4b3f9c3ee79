// The certificate question on screen: why the certificate failed, its subject, issuer,
// validity and SHA-256 fingerprint in read-only boxes that can be copied from, and the three
// buttons "Trust always", "Trust this time" and "Cancel". Cancel is the default button;
// Escape and closing the window also cancel.
#pragma once

#include <QDialog>

#include "dialogs/CertificatePrompt.h"

namespace tarnwick::ui {

class TCertificateDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TCertificateDialog(const dialogs::TCertificatePrompt& prompt,
                                QWidget* parent = nullptr);

    dialogs::TCertificateAnswer Answer() const { return answer_; }

    void reject() override;

  private:
    void Press(dialogs::TCertificateAnswer answer);

    dialogs::TCertificateAnswer answer_ = dialogs::kCertificateDefault;
};

}  // namespace tarnwick::ui

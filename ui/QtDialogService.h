// The dialog service of the program: each dialog of the logic as a Qt dialog, modal to the
// main window. While one is open, Qt's event loop runs, and with it the network.
#pragma once

#include <QPointer>
#include <QWidget>

#include "session/DialogService.h"

namespace tarnwick::ui {

class TQtDialogService : public session::TDialogService {
  public:
    // Dialogs are centred on `owner` (the main window, set once it exists).
    void SetOwner(QWidget* owner) { owner_ = owner; }

    std::optional<std::string> InputQuery(const session::TInputQuery& query) override;
    session::TMsgResult MessageBox(const session::TMessageQuery& query) override;
    void Beep() override;
    session::TRewriteAnswer AskRewrite(std::string& target) override;
    bool EditServer(TFTPServerInfo& record, const std::string& settingsFolder,
                    const std::vector<std::string>& otherNames) override;
    bool EditOptions(TFTPOptions& options) override;
    std::optional<int> EditPermissions(const std::string& attributes) override;
    std::string PickCommand(TCommandList& commands) override;
    std::optional<std::string> ChooseFolder(const std::string& start) override;
    std::optional<std::string> ChooseSaveFile(const std::string& caption,
                                              const std::string& startName) override;
    std::optional<session::TFontChoice> ChooseFont(const session::TFontChoice& start) override;
    void ViewText(const session::TTextFileView& view) override;
    session::TCertificateAnswer AskCertificate(const net::TCertificateInfo& certificate) override;

  private:
    QPointer<QWidget> owner_;
};

}  // namespace tarnwick::ui

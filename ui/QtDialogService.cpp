#include "ui/QtDialogService.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>

#include "session/DisplayText.h"
#include "ui/CertificateDialog.h"
#include "ui/ChModDialog.h"
#include "ui/CommandsDialog.h"
#include "ui/InputDialog.h"
#include "ui/OptionsDialog.h"
#include "ui/QtOwnership.h"
#include "ui/ReWriteDialog.h"
#include "ui/ServerDialog.h"
#include "ui/TextViewer.h"

namespace tarnwick::ui {

namespace {

QString Shown(const std::string& bytes) {
    return QString::fromStdString(session::DisplayText(bytes));
}

QMessageBox::StandardButton ToQt(session::TMsgResult r) {
    using session::TMsgResult;
    switch (r) {
        case TMsgResult::Ok:
            return QMessageBox::Ok;
        case TMsgResult::Cancel:
            return QMessageBox::Cancel;
        case TMsgResult::Yes:
            return QMessageBox::Yes;
        case TMsgResult::No:
            return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

}  // namespace

std::optional<std::string> TQtDialogService::InputQuery(const session::TInputQuery& query) {
    dialogs::TInputForm form(query);
    TInputDialog dialog(form, owner_);
    dialog.exec();
    return dialog.Result();
}

session::TMsgResult TQtDialogService::MessageBox(const session::TMessageQuery& query) {
    using session::TMsgButtons;
    using session::TMsgIcon;
    using session::TMsgResult;
    QMessageBox box(owner_);
    box.setObjectName("MessageBox");
    box.setWindowTitle(Shown(query.Caption));
    box.setText(Shown(query.Text));
    switch (query.Icon) {
        case TMsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case TMsgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case TMsgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case TMsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case TMsgIcon::None:
            break;
    }
    switch (query.Buttons) {
        case TMsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case TMsgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case TMsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case TMsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    box.setDefaultButton(ToQt(query.Default));
    switch (box.exec()) {
        case QMessageBox::Ok:
            return TMsgResult::Ok;
        case QMessageBox::Yes:
            return TMsgResult::Yes;
        case QMessageBox::No:
            return TMsgResult::No;
        case QMessageBox::Cancel:
            return TMsgResult::Cancel;
        default:
            return query.Buttons == TMsgButtons::Ok      ? TMsgResult::Ok
                   : query.Buttons == TMsgButtons::YesNo ? TMsgResult::No
                                                         : TMsgResult::Cancel;
    }
}

void TQtDialogService::Beep() {
    QApplication::beep();
}

session::TCertificateAnswer TQtDialogService::AskCertificate(
    const net::TCertificateInfo& certificate) {
    TCertificateDialog dialog(dialogs::TCertificatePrompt(certificate), owner_);
    dialog.raise();
    dialog.activateWindow();
    dialog.exec();
    return dialog.Answer();
}

session::TRewriteAnswer TQtDialogService::AskRewrite(std::string& target) {
    dialogs::TFReWrite form(target);
    TReWriteDialog dialog(
        form, [this](const session::TInputQuery& q) { return InputQuery(q); }, owner_);
    dialog.raise();
    dialog.activateWindow();
    dialog.exec();
    if (form.Answer() == session::TRewriteAnswer::SaveAs) target = form.Target();
    return form.Answer();
}

bool TQtDialogService::EditServer(TFTPServerInfo& record, const std::string& settingsFolder,
                                  const std::vector<std::string>& otherNames) {
    dialogs::TFFtpBase form(record, settingsFolder, otherNames);
    TServerDialog dialog(form, *this, owner_);
    if (dialog.exec() != QDialog::Accepted || !form.Confirmed()) return false;
    record = form.Record();
    return true;
}

bool TQtDialogService::EditOptions(TFTPOptions& options) {
    dialogs::T_Options form(options);
    TOptionsDialog dialog(form, *this, owner_);
    if (dialog.exec() != QDialog::Accepted || !form.Confirmed()) return false;
    options = form.Options();
    return true;
}

std::optional<int> TQtDialogService::EditPermissions(const std::string& attributes) {
    dialogs::T_ChMod form(attributes);
    TChModDialog dialog(form, owner_);
    dialog.exec();
    return form.Result();
}

std::string TQtDialogService::PickCommand(TCommandList& commands) {
    dialogs::T_FCmd form(commands);
    TCommandsDialog dialog(form, owner_);
    dialog.exec();
    return form.Result();
}

std::optional<std::string> TQtDialogService::ChooseFolder(const std::string& start) {
    // The Qt folder dialog offers a button that creates a folder.
    const QString folder = QFileDialog::getExistingDirectory(owner_, QString(), Shown(start));
    if (folder.isEmpty()) return std::nullopt;
    return folder.toStdString();
}

std::optional<std::string> TQtDialogService::ChooseSaveFile(const std::string& caption,
                                                            const std::string& startName) {
    QFileDialog dialog(owner_, Shown(caption), Shown(startName));
    dialog.setObjectName("SaveFileDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
}

std::optional<session::TFontChoice> TQtDialogService::ChooseFont(
    const session::TFontChoice& start) {
    QFont font = QApplication::font();
    if (!start.Name.empty()) font.setFamily(QString::fromStdString(start.Name));
    if (start.Size > 0) font.setPointSize(start.Size);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font, owner_);
    if (!ok) return std::nullopt;
    // The dialog has no colour: the one the pane had stays.
    return session::TFontChoice{chosen.family().toStdString(), chosen.pointSize(), start.Color};
}

void TQtDialogService::ViewText(const session::TTextFileView& view) {
    // A window of its own that stays open beside the main one and goes when closed.
    auto* viewer = MakeChild<TTextViewer>(owner_.data(), view);
    viewer->show();
}

}  // namespace tarnwick::ui

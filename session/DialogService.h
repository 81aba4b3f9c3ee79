// Every dialog the main window's logic opens goes through this one interface: Qt dialogs in the
// program, scripted answers in the tests. A call returns when the dialog has closed; the
// dialogs' own logic lives in dialogs/, so both sides compute the same results.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dialogs/CertificatePrompt.h"
#include "dialogs/InputForm.h"
#include "dialogs/ReWriteForm.h"
#include "session/TextFileView.h"
#include "settings/Commands.h"
#include "settings/Options.h"
#include "settings/ServerList.h"

namespace tarnwick::session {

using dialogs::TInputQuery;

enum class TMsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class TMsgIcon { None, Information, Warning, Error, Question };
enum class TMsgResult { Ok, Cancel, Yes, No };

struct TMessageQuery {
    std::string Caption;
    std::string Text;
    TMsgButtons Buttons = TMsgButtons::Ok;
    TMsgIcon Icon = TMsgIcon::None;
    TMsgResult Default = TMsgResult::Ok;
};

// The answers of the rewrite prompt, in the order of its buttons.
using dialogs::TRewriteAnswer;
// The answers of the certificate question, in the order of its buttons.
using dialogs::TCertificateAnswer;

struct TFontChoice {
    std::string Name;
    int Size = 0;
    int Color = 0;  // 0x00BBGGRR
};

class TDialogService {
  public:
    virtual ~TDialogService() = default;

    // TInputForm; nothing when cancelled.
    virtual std::optional<std::string> InputQuery(const TInputQuery& query) = 0;
    virtual TMsgResult MessageBox(const TMessageQuery& query) = 0;
    virtual void Beep() {}

    // The server properties dialog on a copy of `record`; true (and the record replaced) on
    // OK. Host types are read from and saved to the settings folder. `otherNames` are the
    // other saved servers' names, which the dialog does not accept again.
    virtual bool EditServer(TFTPServerInfo& /*record*/, const std::string& /*settingsFolder*/,
                            const std::vector<std::string>& /*otherNames*/) {
        return false;
    }
    // The preferences dialog; true when confirmed (the caller saves and applies).
    virtual bool EditOptions(TFTPOptions& /*options*/) { return false; }
    // The rewrite prompt for an existing target; "Save as" puts the new path into `target`.
    virtual TRewriteAnswer AskRewrite(std::string& /*target*/) { return TRewriteAnswer::Cancel; }
    // The permissions dialog on an attribute text; the three octal digits read as a decimal
    // number (755) on OK.
    virtual std::optional<int> EditPermissions(const std::string& /*attributes*/) {
        return std::nullopt;
    }
    // The "Commands" dialog; the command chosen, or an empty text. Edits stay in `commands`.
    virtual std::string PickCommand(TCommandList& /*commands*/) { return {}; }
    // A folder chooser that can create folders.
    virtual std::optional<std::string> ChooseFolder(const std::string& /*start*/) {
        return std::nullopt;
    }
    // A file chooser for a file to write (an existing one asked about first), starting at
    // `startName`; the path chosen, or nothing when cancelled.
    virtual std::optional<std::string> ChooseSaveFile(const std::string& /*caption*/,
                                                      const std::string& /*startName*/) {
        return std::nullopt;
    }
    virtual std::optional<TFontChoice> ChooseFont(const TFontChoice& /*start*/) {
        return std::nullopt;
    }
    // A read-only window showing a local file as text; it stays open beside the main window.
    virtual void ViewText(const TTextFileView& /*view*/) {}
    // A server's certificate that could not be verified and was not trusted before:
    // "Trust always", "Trust this time" or "Cancel".
    virtual TCertificateAnswer AskCertificate(const net::TCertificateInfo& /*certificate*/) {
        return TCertificateAnswer::Cancel;
    }
};

}  // namespace tarnwick::session

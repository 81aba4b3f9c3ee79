// The commands of the local pane: make directory, rename, delete with its confirmation, view
// as text, run through the desktop's opener, and the case change of the selected names. A
// file-system failure is reported with the input-output error message and ends the command;
// the list is refilled as each command says.
#pragma once

#include <string>

#include "session/DesktopOpener.h"
#include "session/LocalFileOps.h"
#include "session/NameCase.h"
#include "session/SessionCore.h"

namespace tarnwick::session {

inline constexpr const char* kDeleteCaption = "Attention";

// The standard input-output error message: "I/O error <errno>", then why and the path.
std::string IoErrorText(const TLocalFailure& failure);

class TLocalCommands {
  public:
    explicit TLocalCommands(TSessionCore& core);

    void sbMkd1Click();
    void sbRen1Click();
    void sbDel1Click();
    void Viewfile2Click();
    void sbRunClick();
    // Tag 0 upper case, 1 lower case, 2 sentence case.
    void LargeCase1Click(int tag);

    TDesktopOpener& Opener() { return opener_; }

  private:
    void ReportIoError(const TLocalFailure& failure);
    // The selected item when it is a file, else nothing.
    const TPaneRow* SelectedFile() const;

    TSessionCore& core_;
    TDesktopOpener opener_;
};

}  // namespace tarnwick::session

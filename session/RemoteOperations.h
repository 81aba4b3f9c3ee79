// The commands of the remote pane besides transfers: make directory, rename (also a selection's
// case), delete files and trees (or saved servers in server mode), change directory (by name,
// one level up, the path box), the custom command panel, permissions, and comparing the panes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ftp/FtpTypes.h"
#include "session/SessionCore.h"

namespace tarnwick::session {

inline constexpr const char* kRemoteDeleteCaption = "Attention";

class TRemoteOperations {
  public:
    // The command panel starts hidden.
    TRemoteOperations(TSessionCore& core, std::function<void()> disconnect);

    void sbMkd2Click();
    void sbRen2Click();
    void sbDel2Click();
    // Tag 0 upper case, 1 lower case, 2 sentence case.
    void LARGECASE3Click(int tag);
    void ChandDirect1Click();
    void FTPOneLevelUpClick();
    void FTPPathChange(int itemIndex);
    void CustomCommand1Click();
    // "Do It" and "Commands" of the command panel.
    void SpeedButton5Click();
    void SpeedButton6Click();
    void FileAttributes2Click();
    void CompareDirectories1Click();

    // Steps run from the request dispatcher.
    // A directory of a tree delete was entered: it is listed with LIST, whose lines mark
    // links (some servers' MLSD reports a link to a directory as the directory).
    void ListTreeDir();
    void DeleteListed();  // a directory of a tree delete was listed
    void RemovalStep();   // the removal phase goes on
    // RmdAsync, DeleAsync or RenAsync finished (error 0 on success).
    void RequestDone(ftp::TFtpRequest request, uint16_t error);
    // Entering or listing a directory of a tree delete failed.
    void DirectoryFailed(uint16_t error);

  private:
    void DeleteServers();
    void DeleteRemote();
    // Asks once whether the selection is to go; true for Yes.
    bool ConfirmDelete(const std::string& question);
    // The next request of a tree delete's visiting phase.
    void DeleteStep();
    void ExpandDeleteDir();
    // A tree delete or a multi-rename stopped at a failure: the queues are emptied and the
    // starting directory is listed again.
    void EndDelete();
    void EndRename();
    void EnterRemoteBase();

    TSessionCore& core_;
    std::function<void()> disconnect_;
};

}  // namespace tarnwick::session

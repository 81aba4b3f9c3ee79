// The commands of the remote pane besides transfers: make directory, rename (also a selection's
// case), delete files and trees, change directory (by name, one level up, the path box), the
// custom command panel, permissions, and comparing the panes.
#pragma once

#include <cstdint>

#include "ftp/FtpTypes.h"
#include "session/SessionCore.h"

namespace tarnwick::session {

class TRemoteOperations {
  public:
    TRemoteOperations(TSessionCore& core, std::function<void()> disconnect)
        : core_(core), disconnect_(std::move(disconnect)) {}

    void sbMkd2Click();
    void sbRen2Click();
    void sbDel2Click();
    void LARGECASE3Click(int tag);
    void ChandDirect1Click();
    void FTPOneLevelUpClick();
    void FTPPathChange(int itemIndex);
    void CustomCommand1Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void FileAttributes2Click();
    void CompareDirectories1Click();

    // Steps run from the request dispatcher.
    void DeleteListed();  // a directory of a tree delete was listed
    void RemovalStep();   // the removal phase goes on
    // RmdAsync, DeleAsync or RenAsync finished (error 0 on success).
    void RequestDone(ftp::TFtpRequest request, uint16_t error);
    // Entering a directory of a tree delete failed.
    void DirectoryFailed(uint16_t error);

  private:
    TSessionCore& core_;
    std::function<void()> disconnect_;
};

}  // namespace tarnwick::session

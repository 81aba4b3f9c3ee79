// The transfer manager: copies the selected files and whole trees between the panes, one file
// at a time, through the four queues; each step is started by a command or by the completion
// of the previous engine request.
#pragma once

#include <cstdint>

#include "ftp/FtpTypes.h"
#include "session/SessionCore.h"

namespace tarnwick::session {

// Where a drag comes from.
enum class TDragSource { FTPView, lvLoc, External };

class TTransferManager {
  public:
    explicit TTransferManager(TSessionCore& core) : core_(core) {}

    // Commands.
    void SpeedButton2Click();  // download the remote selection
    bool lvLocDragOver(TDragSource source) const;
    void lvLocDragDrop();
    void SpeedButton1Click();  // upload the local selection
    bool FTPViewDragOver(TDragSource source) const;
    void FTPViewDragDrop();
    void sbStopClick();
    void Ftp1Progress(int64_t count);

    // Steps run from the request dispatcher.
    // A listing finished while a tree is downloaded (expand it, next step) or uploaded.
    void DownloadListed();
    void UploadListed();
    // A download or upload request finished (error 0 on success).
    void FileDone(ftp::TFtpRequest request, uint16_t error);
    // Entering a directory of a tree failed.
    void DirectoryFailed(uint16_t error);
    // The progress window goes with the batch or the session.
    void CloseProgress();

  private:
    TSessionCore& core_;
};

}  // namespace tarnwick::session

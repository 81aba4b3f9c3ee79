// The transfer manager: copies the selected files and whole trees between the panes, one file
// at a time, through the four queues; each step is started by a command or by the completion
// of the previous engine request. Remote trees are walked through their listings, local trees
// through the file system, both breadth-first; targets that exist already are asked about;
// the progress window goes with each batch.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "dialogs/ProgressForm.h"
#include "ftp/FtpTypes.h"
#include "session/SessionCore.h"

namespace tarnwick::session {

// Where a drag comes from: one of the panes, or the desktop (files and folders by path).
enum class TDragSource { FTPView, lvLoc, External };

class TTransferManager {
  public:
    // `stopSession` is Stop Transfer's abort of the session (the window's own handling of a
    // closed session comes with it).
    explicit TTransferManager(TSessionCore& core, std::function<void()> stopSession = {});
    ~TTransferManager();
    TTransferManager(const TTransferManager&) = delete;
    TTransferManager& operator=(const TTransferManager&) = delete;

    // Commands.
    void SpeedButton2Click();  // download the remote selection
    bool lvLocDragOver(TDragSource source) const;
    void lvLocDragDrop();
    void SpeedButton1Click();  // upload the local selection
    bool FTPViewDragOver(TDragSource source) const;
    void FTPViewDragDrop();
    // Files and folders dropped from the desktop onto FTPView, by absolute local path: they
    // are uploaded into the current remote directory as a selection of the local pane is.
    void FTPViewDropFiles(const std::vector<std::string>& paths);
    void sbStopClick();
    void Ftp1Progress(int64_t count);

    // Steps run from the request dispatcher.
    // A listing finished while a tree is downloaded (expand it, next step) or uploaded.
    void DownloadListed();
    void UploadListed();
    // A remote directory of an uploaded tree was made (it is empty).
    void UploadDirectoryMade();
    // A download or upload request finished (error 0 on success).
    void FileDone(ftp::TFtpRequest request, uint16_t error);
    // Entering (CwdAsync), listing or making (MkdAsync) a directory of a tree failed.
    void DirectoryFailed(ftp::TFtpRequest request, uint16_t error);
    // The progress window goes with the batch or the session.
    void CloseProgress();

    // The progress window of the batch running, or nullptr.
    const dialogs::TProgress* Progress() const { return progress_.get(); }
    dialogs::TProgress* Progress() { return progress_.get(); }

  private:
    bool CanStart() const;
    void BeginBatch();
    void QueueRemoteSelection();
    void QueueLocalSelection();
    // A local file or folder by its full path; false when it is neither (nothing queued).
    bool QueueLocalPath(const std::string& path, const std::string& name);

    void DownloadNext();
    void ExpandDownloadDir();
    void UploadNext();
    void ScanUploadDir(const std::string& localDir, const std::string& remoteDir);
    void TakeTreeListing();

    void CheckExisting(bool downloading);
    bool TargetExists(bool downloading, const std::string& target) const;
    std::string SaveAsTarget(bool downloading, const std::string& before,
                             const std::string& entered) const;
    int64_t UploadOffset(const std::string& target, int64_t size) const;
    void ChooseTransferType();
    void FinishTransfer();
    // Ends a batch that cannot go on (the session is gone, a request could not start).
    void AbandonBatch();
    bool Start(void (ftp::TCustomFtpCli::*request)());

    void ShowProgress();
    void NotifyProgress(bool always);
    void LogError(const std::string& text);

    TSessionCore& core_;
    std::function<void()> stopSession_;
    std::unique_ptr<dialogs::TProgress> progress_;
    uint64_t lastProgressNotice_ = 0;
    // A batch runs; it downloads (else it uploads), and has moved at least one file.
    bool running_ = false;
    bool downloading_ = false;
    bool movedAny_ = false;
    // The local folder of the remote directory being listed in a tree download.
    std::string expandTarget_;
    // The files of the remote tree directory listed last and their sizes (uploads resume at
    // the size the server holds, not at the size of a file of that name in the pane).
    bool treeListing_ = false;
    std::unordered_map<std::string, int64_t> treeSizes_;
};

}  // namespace tarnwick::session

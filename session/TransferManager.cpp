#include "session/TransferManager.h"

namespace tarnwick::session {

void TTransferManager::SpeedButton2Click() {}

bool TTransferManager::lvLocDragOver(TDragSource) const {
    return false;
}

void TTransferManager::lvLocDragDrop() {}

void TTransferManager::SpeedButton1Click() {}

bool TTransferManager::FTPViewDragOver(TDragSource) const {
    return false;
}

void TTransferManager::FTPViewDragDrop() {}

void TTransferManager::sbStopClick() {
    core_.Ftp1.SetTimeout(1);
    core_.Ftp1.AbortSession();
    core_.ProcessMessages();
}

void TTransferManager::Ftp1Progress(int64_t) {}

void TTransferManager::DownloadListed() {}

void TTransferManager::UploadListed() {}

void TTransferManager::FileDone(ftp::TFtpRequest, uint16_t) {}

void TTransferManager::DirectoryFailed(uint16_t) {}

void TTransferManager::CloseProgress() {}

}  // namespace tarnwick::session

#include "session/RemoteOperations.h"

namespace tarnwick::session {

namespace {
constexpr const char* kRoot = "/";
}  // namespace

void TRemoteOperations::sbMkd2Click() {}

void TRemoteOperations::sbRen2Click() {}

void TRemoteOperations::sbDel2Click() {}

void TRemoteOperations::LARGECASE3Click(int) {}

void TRemoteOperations::ChandDirect1Click() {}

void TRemoteOperations::FTPOneLevelUpClick() {
    if (core_.FTPPath.ItemIndex() < 1) return;
    const std::string& dir = core_.Ftp1.HostDirName();
    size_t n = dir.size();
    if (n > 0 && dir.back() == '/') --n;
    while (n > 0 && dir[n - 1] != '/') --n;
    std::string parent;
    if (n > 1) parent.assign(dir, 0, n - 1);
    if (parent.empty()) parent.assign(kRoot);
    if (parent != kRoot || core_.CurrentServer.CheckVHost == 0) {
        core_.Ftp1.SetHostDirName(parent);
        core_.StartRequest(&ftp::TCustomFtpCli::CDupAsync);
    } else {
        core_.Ftp1.SetHostDirName("");
        core_.StartRequest(&ftp::TCustomFtpCli::PwdAsync);
    }
}

void TRemoteOperations::FTPPathChange(int itemIndex) {
    if (!core_.State.Busy) {
        core_.FTPPath.SetItemIndex(itemIndex);
        if (itemIndex == 0) {
            if (disconnect_) disconnect_();
        } else if (itemIndex >= 1) {
            std::string path;
            const auto& items = core_.FTPPath.Items();
            for (int k = 2; k <= itemIndex && k < static_cast<int>(items.size()); ++k) {
                path.append(kRoot).append(items[static_cast<size_t>(k)]);
            }
            if (path.empty()) path.assign(kRoot);
            core_.SetBusy();
            core_.Ftp1.SetHostDirName(path);
            core_.StartRequest(&ftp::TCustomFtpCli::CwdAsync);
        }
    }
    core_.SetConnectedState(!core_.State.ServerMode);
}

void TRemoteOperations::CustomCommand1Click() {}

void TRemoteOperations::SpeedButton5Click() {}

void TRemoteOperations::SpeedButton6Click() {}

void TRemoteOperations::FileAttributes2Click() {}

void TRemoteOperations::CompareDirectories1Click() {}

void TRemoteOperations::DeleteListed() {}

void TRemoteOperations::RemovalStep() {}

void TRemoteOperations::RequestDone(ftp::TFtpRequest, uint16_t) {}

void TRemoteOperations::DirectoryFailed(uint16_t) {}

}  // namespace tarnwick::session

// The session state the main window holds: the mode of the right pane, the connect attempt,
// keep-alive counters, the bases of an operation, the masks, and the transfer queues shared by
// transfers, the remote tree delete and the multi-rename.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "listing/ListingEntry.h"
#include "listing/RemoteListing.h"

namespace tarnwick::session {

inline constexpr const char* kAllFilesMask = "*.*";
inline constexpr size_t kMaxMaskLength = 255;

// Four queues; the two of each pair stay aligned by position, first entries go first.
struct TTransferQueues {
    std::deque<std::string> FileQueue;
    std::deque<std::string> FileTargets;
    std::deque<std::string> DirQueue;
    std::deque<std::string> DirTargets;

    void Clear() {
        FileQueue.clear();
        FileTargets.clear();
        DirQueue.clear();
        DirTargets.clear();
    }
};

struct TMainState {
    bool ServerMode = true;  // FTPView shows the saved servers
    bool Busy = false;       // a multi-step remote operation is running
    int Attempt = 0;         // connect attempt; -1 once the session is connected
    int TickPeriod = 0;      // ms per window-timer tick, 0 until calibrated
    int KeepCount = 0;
    int KeepIndex = 0;
    std::string RemoteBase;  // always ends in "/"
    std::string LocalBase;   // always ends in "/"
    std::string LocalMask = kAllFilesMask;
    std::string RemoteMask = kAllFilesMask;

    TTransferQueues Queues;
    std::vector<std::string> RemoteNames;  // files of the latest listing
    bool OverwriteAll = false;
    bool ResumeNext = false;
    bool Cancelled = false;
    bool DownloadingTree = false;
    bool UploadingTree = false;
    bool DeletingTree = false;
    bool RemovingDirs = false;
    bool Receiving = false;  // direction of the current transfer

    TStartDate StartDate;
    TRemoteListing RemoteListing;
};

}  // namespace tarnwick::session

// The left pane: the directory box's current directory and the file list lvLoc filled from it
// with the local mask (which applies to directories too). Dates show as "dd/mm/yyyy", times as
// "hh:mm", sizes of files in decimal bytes.
#pragma once

#include <string>
#include <vector>

#include "listing/PaneSort.h"
#include "session/MainState.h"
#include "session/PaneModel.h"
#include "session/StateChange.h"

namespace tarnwick::session {

// The rows of a local folder: every entry but "." and ".." whose name matches the mask, in
// the order the file system gives them. An unreadable folder gives no rows.
std::vector<TPaneRow> ReadLocalDirectory(const std::string& directory, const std::string& mask);

// "dd/mm/yyyy" and "hh:mm" of a file time in local time.
std::string LocalDateText(long long unixSeconds);
std::string LocalTimeText(long long unixSeconds);

class TLocalPanel {
  public:
    TLocalPanel(TPaneModel& lvLoc, TStateNotifier& notifier, TMainState& state);

    // The directory box's directory, without a trailing "/" (except "/" itself).
    const std::string& Directory() const { return directory_; }
    // Moves the directory box; false (and nothing changes) when it is not a folder.
    bool SetDirectory(const std::string& directory);
    // Refills the list from the directory box (dlbxChange).
    void dlbxChange();
    void lvLocDblClick();
    void SpeedButton4Click();

  private:
    TPaneModel& lvLoc_;
    TStateNotifier& notifier_;
    TMainState& state_;
    std::string directory_;
};

}  // namespace tarnwick::session

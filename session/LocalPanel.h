// The left pane: the drive box ("/" and the mount points), the directory box (the path from
// "/" down to the current folder) and the file list lvLoc filled from the current folder with
// the local mask (which applies to directories too). Dates show as "dd/mm/yyyy", times as
// "hh:mm", sizes of files in decimal bytes. The pane also keeps the local commands' controls
// enabled as the selection allows (UpdateLocalMenus).
#pragma once

#include <string>
#include <vector>

#include "listing/PaneSort.h"
#include "session/ControlStates.h"
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

// The items of the directory box for a folder: "/", then each folder name down to it.
std::vector<std::string> DirectoryBoxItems(const std::string& directory);
// The folder of a directory box item.
std::string DirectoryBoxPath(const std::vector<std::string>& items, int index);

class TLocalPanel : private TPaneObserver {
  public:
    TLocalPanel(TPaneModel& lvLoc, TStateNotifier& notifier, TMainState& state,
                TControlStates& controls);
    ~TLocalPanel() override;
    TLocalPanel(const TLocalPanel&) = delete;
    TLocalPanel& operator=(const TLocalPanel&) = delete;

    // The directory box's directory, without a trailing "/" (except "/" itself).
    const std::string& Directory() const { return directory_; }
    // Moves the directory box; false (and nothing changes) when it is not a folder.
    bool SetDirectory(const std::string& directory);
    // Refills the list from the directory box (dlbxChange).
    void dlbxChange();
    void lvLocDblClick();
    void SpeedButton4Click();

    // The directory box: its items and the selected one (the current folder when it has moved).
    const std::vector<std::string>& DirectoryItems() const { return dirItems_; }
    int DirectoryIndex() const { return dirIndex_; }
    // An item of the directory box was chosen: the box moves to its folder.
    void dlbxClick(int index);
    // The drive box: "/" and the mount points, and the one the current folder lies on.
    const std::vector<std::string>& DriveItems() const { return drives_; }
    int DriveIndex() const { return driveIndex_; }
    void DriveComboChange(int index);
    // The mount table the drive box is read from (tests give their own).
    void SetMountTable(std::string path) { mountTable_ = std::move(path); }

    // Enables the local commands by the selection.
    void UpdateLocalMenus();
    // The focus entered or left the list.
    void lvLocEnter();
    void lvLocExit();
    bool Focused() const { return focused_; }

  private:
    void PaneReset() override { UpdateLocalMenus(); }
    void RowsRemoved(size_t, size_t) override { UpdateLocalMenus(); }
    void SelectionChanged(size_t, size_t) override { UpdateLocalMenus(); }
    void RefillBoxes();

    TPaneModel& lvLoc_;
    TStateNotifier& notifier_;
    TMainState& state_;
    TControlStates& controls_;
    std::string directory_;
    std::vector<std::string> dirItems_;
    int dirIndex_ = -1;
    std::vector<std::string> drives_;
    int driveIndex_ = -1;
    std::string mountTable_;
    bool focused_ = false;
    TStateNotifier::Subscription session_;
};

}  // namespace tarnwick::session

#include "session/LocalPanel.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <memory>

#include "listing/MaskMatch.h"
#include "session/MountPoints.h"

namespace tarnwick::session {

namespace {

constexpr const char* kRoot = "/";

// Enabled while a file (not a folder) is the selected item.
const std::vector<std::string_view> kFileControls = {
    "ViewFile3", "MenuItem7", "Viewfile2", "DeleteFile1", "RenameFile2", "sbView", "sbRun"};
// Enabled while there is something to delete: a selection, or a folder below "/".
const std::vector<std::string_view> kDeleteControls = {"MenuItem8", "sbDel1"};
const std::vector<std::string_view> kUploadControls = {"UploadSelectedFiles1",
                                                       "UploadSelectedFiles2"};

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

std::string WithoutTrailingSlash(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool LocalTm(long long unixSeconds, std::tm& tm) {
    const auto t = static_cast<std::time_t>(unixSeconds);
    return ::localtime_r(&t, &tm) != nullptr;
}

}  // namespace

std::string LocalDateText(long long unixSeconds) {
    std::tm tm{};
    if (!LocalTm(unixSeconds, tm)) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
    return buf;
}

std::string LocalTimeText(long long unixSeconds) {
    std::tm tm{};
    if (!LocalTm(unixSeconds, tm)) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d", tm.tm_hour, tm.tm_min);
    return buf;
}

std::vector<TPaneRow> ReadLocalDirectory(const std::string& directory, const std::string& mask) {
    std::vector<TPaneRow> rows;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(directory.c_str()));
    if (!dir) return rows;
    const int dirFd = ::dirfd(dir.get());
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        if (!MatchesMask(name, mask)) continue;
        TPaneRow row;
        row.Name = std::string(name);
        // A link shows its own time and is entered like a folder when it leads to one.
        struct stat st {};
        const bool haveStat = ::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0;
        bool isDir = haveStat && S_ISDIR(st.st_mode);
        if (haveStat && S_ISLNK(st.st_mode)) {
            struct stat target {};
            isDir = ::fstatat(dirFd, e->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
        }
        row.Picture = isDir ? kPictureDirectory : kPictureFile;
        if (haveStat) {
            std::tm tm{};
            if (LocalTm(st.st_mtime, tm)) {
                char date[32];
                std::snprintf(date, sizeof date, "%02d/%02d/%04d", tm.tm_mday, tm.tm_mon + 1,
                              tm.tm_year + 1900);
                row.Date = date;
                char time[16];
                std::snprintf(time, sizeof time, "%02d:%02d", tm.tm_hour, tm.tm_min);
                row.Time = time;
            }
            if (!isDir) row.Size = std::to_string(static_cast<long long>(st.st_size));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<std::string> DirectoryBoxItems(const std::string& directory) {
    std::vector<std::string> items{kRoot};
    size_t at = 0;
    while (at < directory.size()) {
        while (at < directory.size() && directory[at] == '/') ++at;
        const size_t end = directory.find('/', at);
        if (at < directory.size()) items.push_back(directory.substr(at, end - at));
        at = end;
    }
    return items;
}

std::string DirectoryBoxPath(const std::vector<std::string>& items, int index) {
    std::string path;
    for (int i = 1; i <= index && i < static_cast<int>(items.size()); ++i)
        path.append(kRoot).append(items[static_cast<size_t>(i)]);
    return path.empty() ? std::string(kRoot) : path;
}

TLocalPanel::TLocalPanel(TPaneModel& lvLoc, TStateNotifier& notifier, TMainState& state,
                         TControlStates& controls)
    : lvLoc_(lvLoc),
      notifier_(notifier),
      state_(state),
      controls_(controls),
      mountTable_(kMountTable) {
    lvLoc_.AddObserver(this);
    // The upload commands follow the session as well as the selection.
    session_ = notifier_.Subscribe(static_cast<TChangeMask>(TChange::Session),
                                   [this](TChange) { UpdateLocalMenus(); });
}

TLocalPanel::~TLocalPanel() {
    lvLoc_.RemoveObserver(this);
}

bool TLocalPanel::SetDirectory(const std::string& directory) {
    if (!IsFolder(directory)) return false;
    directory_ = WithoutTrailingSlash(directory);
    RefillBoxes();
    dlbxChange();
    return true;
}

void TLocalPanel::RefillBoxes() {
    dirItems_ = DirectoryBoxItems(directory_);
    dirIndex_ = static_cast<int>(dirItems_.size()) - 1;
    drives_ = ReadMountPoints(mountTable_);
    driveIndex_ = MountPointOf(drives_, directory_);
}

void TLocalPanel::dlbxChange() {
    std::vector<TPaneRow> rows = ReadLocalDirectory(directory_, state_.LocalMask);
    ResortRows(rows, lvLoc_.SortKey());
    lvLoc_.SetRows(std::move(rows));
    notifier_.Notify(TChange::LocalDirectory);
}

void TLocalPanel::dlbxClick(int index) {
    if (index >= 0 && index < static_cast<int>(dirItems_.size()) && index != dirIndex_)
        SetDirectory(DirectoryBoxPath(dirItems_, index));
    UpdateLocalMenus();
}

void TLocalPanel::DriveComboChange(int index) {
    if (index < 0 || index >= static_cast<int>(drives_.size())) return;
    if (!SetDirectory(drives_[static_cast<size_t>(index)]))
        notifier_.Notify(TChange::LocalDirectory);  // the box shows the drive it was on again
}

void TLocalPanel::lvLocDblClick() {
    const int i = lvLoc_.SelectedIndex();
    if (i < 0) return;
    const TPaneRow& row = lvLoc_.Row(static_cast<size_t>(i));
    if (row.Picture != kPictureDirectory) return;
    const std::string base = directory_ == kRoot ? directory_ : directory_ + kRoot;
    SetDirectory(base + row.Name);
}

void TLocalPanel::SpeedButton4Click() {
    const size_t slash = directory_.rfind('/');
    if (slash == std::string::npos || directory_ == kRoot) return;
    SetDirectory(slash == 0 ? std::string(kRoot) : directory_.substr(0, slash));
}

void TLocalPanel::UpdateLocalMenus() {
    const int selected = lvLoc_.SelectedIndex();
    const bool fileSelected =
        selected >= 0 && lvLoc_.Row(static_cast<size_t>(selected)).Picture == kPictureFile;
    TControlBatch batch(controls_);
    controls_.SetEnabled(kFileControls, fileSelected);
    controls_.SetEnabled(kDeleteControls, lvLoc_.SelectedCount() > 0 || dirIndex_ > 0);
    controls_.SetEnabled(kUploadControls, selected >= 0 && !state_.ServerMode);
}

void TLocalPanel::lvLocEnter() {
    focused_ = true;
    if (!lvLoc_.Empty()) controls_.SetEnabled(kUploadControls, true);
}

void TLocalPanel::lvLocExit() {
    focused_ = false;
    controls_.SetEnabled(kUploadControls, false);
}

}  // namespace tarnwick::session

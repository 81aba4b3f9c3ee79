#include "session/LocalPanel.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <memory>

#include "listing/MaskMatch.h"

namespace tarnwick::session {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

std::string WithoutTrailingSlash(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
    const std::string base = directory.ends_with('/') ? directory : directory + "/";
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        if (!MatchesMask(name, mask)) continue;
        TPaneRow row;
        row.Name = std::string(name);
        struct stat st {};
        // lstat: a link is shown as what it is called, its own time; a link to a folder is
        // entered like a folder.
        const std::string path = base + row.Name;
        const bool haveStat = ::lstat(path.c_str(), &st) == 0;
        bool isDir = haveStat && S_ISDIR(st.st_mode);
        if (haveStat && S_ISLNK(st.st_mode)) {
            struct stat target {};
            isDir = ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        }
        row.Picture = isDir ? kPictureDirectory : kPictureFile;
        if (haveStat) {
            row.Date = LocalDateText(st.st_mtime);
            row.Time = LocalTimeText(st.st_mtime);
            if (!isDir) row.Size = std::to_string(static_cast<long long>(st.st_size));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

TLocalPanel::TLocalPanel(TPaneModel& lvLoc, TStateNotifier& notifier, TMainState& state)
    : lvLoc_(lvLoc), notifier_(notifier), state_(state) {}

bool TLocalPanel::SetDirectory(const std::string& directory) {
    if (!IsFolder(directory)) return false;
    directory_ = WithoutTrailingSlash(directory);
    dlbxChange();
    return true;
}

void TLocalPanel::dlbxChange() {
    std::vector<TPaneRow> rows = ReadLocalDirectory(directory_, state_.LocalMask);
    ResortRows(rows, lvLoc_.SortKey());
    lvLoc_.SetRows(std::move(rows));
    notifier_.Notify(TChange::LocalDirectory);
}

void TLocalPanel::lvLocDblClick() {
    const int i = lvLoc_.SelectedIndex();
    if (i < 0) return;
    const TPaneRow& row = lvLoc_.Row(static_cast<size_t>(i));
    if (row.Picture != kPictureDirectory) return;
    const std::string base = directory_ == "/" ? directory_ : directory_ + "/";
    SetDirectory(base + row.Name);
}

void TLocalPanel::SpeedButton4Click() {
    const size_t slash = directory_.rfind('/');
    if (slash == std::string::npos) return;
    SetDirectory(slash == 0 ? "/" : directory_.substr(0, slash));
}

}  // namespace tarnwick::session

// The tree walks of the transfer manager: a listed remote directory expanded into the download
// queues, a local folder scanned into the upload queues, and the listing of a remote directory
// of an uploaded tree.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "listing/ListingConsumer.h"
#include "listing/ListingParser.h"
#include "listing/TextUtil.h"
#include "session/LocalFolders.h"
#include "session/ServerAddress.h"
#include "session/TransferManager.h"
#include "session/TransferRules.h"

namespace tarnwick::session {

namespace {

// The date of a default-layout line the parser could not take apart (its name is the line).
constexpr const char* kUnreadableDate = "error";

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

std::string LastWordOf(std::string_view line) {
    const std::vector<std::string> words = SplitTrimmed(line, ' ');
    return words.empty() ? std::string() : words.back();
}

}  // namespace

void TTransferManager::ExpandDownloadDir() {
    TMainState& s = core_.State;
    TTransferQueues& q = s.Queues;
    const std::string remoteDir = AddSlash(core_.Ftp1.HostDirName());
    const std::string localDir = AddBackslash(expandTarget_);
    const bool wholeLines = core_.HostTypeDigit() == kHostText;

    std::vector<TListingEntry> entries;
    TListingStream stream(core_.Parser(), TListingConsumer::Tree,
                          [&](const TListingEntry& e) { entries.push_back(e); });
    TakeListingFile(core_.ListingFile(), stream);
    if (stream.Stopped())
        LogError("The listing of " + remoteDir + " stopped early: " + stream.Error());

    if (!MakeLocalFolders(expandTarget_)) {
        LogError("The local folder " + expandTarget_ + " cannot be made: " + LocalErrorText(errno) +
                 "; " + remoteDir + " is skipped");
        return;
    }
    for (TListingEntry& e : entries) {
        if (wholeLines) e.Name = LastWordOf(e.Name);
        if (!wholeLines && e.Date == kUnreadableDate) {
            // Not an entry that could be fetched: its name would be the whole line.
            LogError("The listing of " + remoteDir +
                     " holds a line that cannot be read; it is skipped: " + e.Name);
            continue;
        }
        // A name from a listing becomes one component of a local path only when it cannot
        // climb out of the target folder or name a folder of its own.
        if (!IsSafeLocalName(e.Name)) {
            LogError("The listing of " + remoteDir + " names \"" + e.Name +
                     "\", which cannot be a local file name; it is skipped");
            continue;
        }
        if (e.IsDir && IsTreeWalkLeaf(e)) {
            // A link to a directory is never walked into ("loop -> /" would never end).
            core_.WriteLog("Skipped the link " + remoteDir + e.Name + " to a directory");
            continue;
        }
        const std::string local = localDir + e.Name;
        if (e.IsDir) {
            if (!MakeLocalFolders(local)) {
                LogError("The local folder " + local + " cannot be made: " + LocalErrorText(errno) +
                         "; it is skipped");
                continue;
            }
            q.DirQueue.push_back(remoteDir + e.Name);
            q.DirTargets.push_back(local);
        } else {
            q.FileQueue.push_back(QueueEntry(e.Name, e.Size));
            q.FileTargets.push_back(local);
        }
    }
}

void TTransferManager::ScanUploadDir(const std::string& localDir, const std::string& remoteDir) {
    TTransferQueues& q = core_.State.Queues;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(localDir.c_str()));
    if (!dir) {
        LogError("The local folder " + localDir + " cannot be read: " + LocalErrorText(errno));
        return;
    }
    while (const dirent* d = ::readdir(dir.get())) {
        const std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = localDir + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
            struct stat target {};
            if (::stat(path.c_str(), &target) != 0) {
                LogError("The link " + path + " points at nothing; it is skipped");
                continue;
            }
            if (S_ISDIR(target.st_mode)) {
                core_.WriteLog("Skipped the link " + path + " to a folder");
                continue;
            }
            st = target;
        }
        if (S_ISDIR(st.st_mode)) {
            q.DirTargets.push_back(remoteDir + name);
            q.DirQueue.push_back(path);
        } else if (S_ISREG(st.st_mode)) {
            q.FileTargets.push_back(remoteDir + name);
            q.FileQueue.push_back(QueueEntry(path, static_cast<int64_t>(st.st_size)));
        } else {
            LogError(path + " is not a regular file; it is skipped");
        }
    }
}

void TTransferManager::TakeTreeListing() {
    // The names and sizes of the files of the directory just entered; an empty listing means
    // an empty directory (no earlier listing's names count here).
    std::vector<std::string> names;
    treeSizes_.clear();
    TListingStream stream(core_.Parser(), TListingConsumer::Panel, [&](const TListingEntry& e) {
        if (e.IsDir || e.Name == ".") return;
        names.push_back(e.Name);
        treeSizes_[e.Name] = DecimalSize(e.Size);
    });
    TakeListingFile(core_.ListingFile(), stream);
    if (stream.Stopped()) LogError("The listing stopped early: " + stream.Error());
    core_.State.RemoteNames = std::move(names);
    treeListing_ = true;
}

}  // namespace tarnwick::session

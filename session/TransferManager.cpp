#include "session/TransferManager.h"

#include <sys/stat.h>

#include "listing/ListingParser.h"
#include "listing/TextUtil.h"
#include "platform/TickCount.h"
#include "session/LocalFolders.h"
#include "session/ServerAddress.h"
#include "session/TransferRules.h"

namespace tarnwick::session {

namespace {

using Request = void (ftp::TCustomFtpCli::*)();

constexpr const char* kErrorPrefix = "Error ";
constexpr const char* kStartingTransfer = "Starting transfer of ";
constexpr const char* kParentEntry = "..";
constexpr const char* kCurrentEntry = ".";
// The progress window's views are told about byte counts at most this often (the engine
// reports every block); a file's start and end are told at once.
constexpr uint64_t kProgressNoticeMs = 100;
// DefPrompt: what happens to an existing target when the prompt is off.
constexpr int kDefPromptSkip = 0;
constexpr int kDefPromptResume = 2;

// The last blank-separated word (a host type "1" caption is a whole listing line).
std::string LastWord(std::string_view caption) {
    const std::vector<std::string> words = SplitTrimmed(caption, ' ');
    return words.empty() ? std::string() : words.back();
}

bool IsDownload(ftp::TFtpRequest request) {
    return request == ftp::TFtpRequest::GetAsync || request == ftp::TFtpRequest::RestGetAsync;
}

// An entry of a remote path below `dir` (which ends in "/").
bool IsBelow(const std::string& path, const std::string& dir) {
    return path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0;
}

}  // namespace

TTransferManager::TTransferManager(TSessionCore& core, std::function<void()> stopSession)
    : core_(core), stopSession_(std::move(stopSession)) {}

TTransferManager::~TTransferManager() = default;

// --- Starting a batch ------------------------------------------------------------------------

bool TTransferManager::CanStart() const {
    return !core_.State.ServerMode && !core_.State.Busy;
}

bool TTransferManager::lvLocDragOver(TDragSource source) const {
    return source == TDragSource::FTPView && CanStart();
}

bool TTransferManager::FTPViewDragOver(TDragSource source) const {
    return (source == TDragSource::lvLoc || source == TDragSource::External) && CanStart();
}

void TTransferManager::SpeedButton2Click() {
    lvLocDragDrop();
}

void TTransferManager::SpeedButton1Click() {
    FTPViewDragDrop();
}

void TTransferManager::BeginBatch() {
    TMainState& s = core_.State;
    core_.SetBusy();
    s.Queues.Clear();
    s.RemoteBase = AddSlash(core_.Ftp1.HostDirName());
    s.LocalBase = AddBackslash(core_.Local.Directory());
    s.OverwriteAll = false;
    s.DownloadingTree = false;
    s.UploadingTree = false;
    treeListing_ = false;
    treeSizes_.clear();
    movedAny_ = false;
    running_ = true;
}

void TTransferManager::lvLocDragDrop() {
    if (!CanStart()) return;
    BeginBatch();
    downloading_ = true;
    QueueRemoteSelection();
    DownloadNext();
}

void TTransferManager::FTPViewDragDrop() {
    if (!CanStart()) return;
    BeginBatch();
    downloading_ = false;
    QueueLocalSelection();
    UploadNext();
}

void TTransferManager::FTPViewDropFiles(const std::vector<std::string>& paths) {
    if (!FTPViewDragOver(TDragSource::External)) return;
    BeginBatch();
    downloading_ = false;
    for (std::string path : paths) {
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        const std::string name = NameOfPath(path);
        if (path.empty() || path.front() != '/' || !IsSafeLocalName(name)) {
            LogError("A dropped item is not a local file or folder: " + path);
            continue;
        }
        QueueLocalPath(path, name);
    }
    UploadNext();
}

void TTransferManager::QueueRemoteSelection() {
    TMainState& s = core_.State;
    TTransferQueues& q = s.Queues;
    const bool wholeLines = core_.HostTypeDigit() == kHostText;
    for (const size_t i : core_.FTPView.SelectedRows()) {
        const TPaneRow& row = core_.FTPView.Row(i);
        if (row.Name == kParentEntry) continue;
        const std::string name = wholeLines ? LastWord(row.Name) : row.Name;
        if (name.empty()) continue;
        if (!IsSafeLocalName(name)) {
            LogError("The name \"" + name + "\" cannot be a local file name; it is skipped");
            continue;
        }
        if (row.Picture != kPictureDirectory) {
            q.FileQueue.push_back(QueueEntry(s.RemoteBase + name, row.Size));
            q.FileTargets.push_back(s.LocalBase + name);
        } else {
            q.DirQueue.push_back(s.RemoteBase + name);
            q.DirTargets.push_back(s.LocalBase + name);
        }
    }
}

void TTransferManager::QueueLocalSelection() {
    const std::string& base = core_.State.LocalBase;
    for (const size_t i : core_.lvLoc.SelectedRows()) {
        const std::string& name = core_.lvLoc.Row(i).Name;
        if (name == kParentEntry || name == kCurrentEntry || name.empty()) continue;
        QueueLocalPath(base + name, name);
    }
}

bool TTransferManager::QueueLocalPath(const std::string& path, const std::string& name) {
    TMainState& s = core_.State;
    TTransferQueues& q = s.Queues;
    // A selected link is followed: the user chose what it points at.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        LogError("The local file " + path + " cannot be read: " + LocalErrorText(errno));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        q.DirTargets.push_back(s.RemoteBase + name);
        q.DirQueue.push_back(path);
        return true;
    }
    if (!S_ISREG(st.st_mode)) {
        // Reading a pipe or a device would wait for ever or never end.
        LogError(path + " is not a regular file; it is skipped");
        return false;
    }
    q.FileTargets.push_back(name);
    q.FileQueue.push_back(QueueEntry(path, static_cast<int64_t>(st.st_size)));
    return true;
}

// --- Downloads -------------------------------------------------------------------------------

void TTransferManager::DownloadNext() {
    TMainState& s = core_.State;
    TTransferQueues& q = s.Queues;
    ftp::TFtpClient& f = core_.Ftp1;
    if (q.FileQueue.empty()) {
        if (q.DirQueue.empty()) {
            FinishTransfer();
            return;
        }
        s.DownloadingTree = true;
        f.SetHostDirName(q.DirQueue.front());
        f.SetHostFileName("");
        expandTarget_ = q.DirTargets.front();
        q.DirQueue.pop_front();
        q.DirTargets.pop_front();
        if (f.Binary()) core_.TypeAscii();
        Start(&ftp::TCustomFtpCli::CwdAsync);
        return;
    }
    CheckExisting(true);
    if (q.FileTargets.empty()) {
        if (!q.DirQueue.empty())
            DownloadNext();
        else
            FinishTransfer();
        return;
    }
    ShowProgress();
    const TQueueEntry entry = SplitQueueEntry(q.FileQueue.front());
    f.SetHostFileName(entry.Path);
    q.FileQueue.pop_front();
    f.SetLocalFileName(q.FileTargets.front());
    q.FileTargets.pop_front();
    core_.WriteLog(kStartingTransfer + NameOfPath(f.LocalFileName()));
    s.Receiving = true;
    ChooseTransferType();
    progress_->StartFile(f.HostFileName(), entry.Size, false);
    NotifyProgress(true);
    Start(s.ResumeNext ? static_cast<Request>(&ftp::TCustomFtpCli::RestGetAsync)
                       : static_cast<Request>(&ftp::TCustomFtpCli::GetAsync));
}

void TTransferManager::DownloadListed() {
    if (!running_) return;
    ExpandDownloadDir();
    DownloadNext();
}

// --- Uploads ---------------------------------------------------------------------------------

void TTransferManager::UploadNext() {
    TMainState& s = core_.State;
    TTransferQueues& q = s.Queues;
    ftp::TFtpClient& f = core_.Ftp1;
    if (q.FileQueue.empty()) {
        if (q.DirQueue.empty()) {
            FinishTransfer();
            return;
        }
        s.UploadingTree = true;
        ScanUploadDir(AddBackslash(q.DirQueue.front()), AddSlash(q.DirTargets.front()));
        f.SetHostDirName(q.DirTargets.front());
        f.SetHostFileName("");
        q.DirQueue.pop_front();
        q.DirTargets.pop_front();
        Start(&ftp::TCustomFtpCli::CwdAsync);
        return;
    }
    core_.RefreshRemoteNames();
    CheckExisting(false);
    if (q.FileTargets.empty()) {
        if (!q.DirQueue.empty())
            UploadNext();
        else
            FinishTransfer();
        return;
    }
    ShowProgress();
    const TQueueEntry entry = SplitQueueEntry(q.FileQueue.front());
    const int64_t offset = UploadOffset(q.FileTargets.front(), entry.Size);
    f.SetLocalFileName(entry.Path);
    q.FileQueue.pop_front();
    f.SetHostFileName(q.FileTargets.front());
    q.FileTargets.pop_front();
    core_.WriteLog(kStartingTransfer + NameOfPath(f.LocalFileName()));
    s.Receiving = false;
    ChooseTransferType();
    progress_->StartFile(f.LocalFileName(), entry.Size, true);
    NotifyProgress(true);
    if (s.ResumeNext) {
        f.SetResumeAt(offset);
        Start(&ftp::TCustomFtpCli::RestPutAsync);
    } else {
        Start(&ftp::TCustomFtpCli::PutAsync);
    }
}

void TTransferManager::UploadListed() {
    if (!running_) return;
    TakeTreeListing();
    UploadNext();
}

void TTransferManager::UploadDirectoryMade() {
    if (!running_) return;
    // A directory just made holds nothing: no name of an earlier listing exists in it.
    core_.State.RemoteNames.clear();
    treeSizes_.clear();
    treeListing_ = true;
    UploadNext();
}

int64_t TTransferManager::UploadOffset(const std::string& target, int64_t size) const {
    int64_t offset = -1;
    if (treeListing_) {
        const auto it = treeSizes_.find(NameOfPath(target));
        if (it != treeSizes_.end()) offset = it->second;
    } else {
        offset = RemoteFileSize(core_.FTPView.Rows(), target);
    }
    return offset < 0 ? size : offset;
}

// --- Completions -----------------------------------------------------------------------------

void TTransferManager::FileDone(ftp::TFtpRequest request, uint16_t error) {
    if (progress_) {
        progress_->FileDone();
        NotifyProgress(true);
    }
    if (!running_) return;
    if (error == 0) movedAny_ = true;
    // A failed file is logged and the batch goes on with the next one, whichever way it
    // goes; only a session that is gone ends it.
    if (!core_.Ftp1.Connected()) {
        AbandonBatch();
        return;
    }
    if (IsDownload(request))
        DownloadNext();
    else
        UploadNext();
}

void TTransferManager::DirectoryFailed(ftp::TFtpRequest request, uint16_t) {
    if (!running_) {
        core_.ClearBusy();
        return;
    }
    if (!core_.Ftp1.Connected()) {
        AbandonBatch();
        return;
    }
    TMainState& s = core_.State;
    if (downloading_) {
        // The directory is left out; its local folder stays as it was made.
        RemoveFile(core_.ListingFile());
        DownloadNext();
        return;
    }
    if (request == ftp::TFtpRequest::MkdAsync) {
        // Nothing can go into a directory that could not be made: what was queued for it
        // and below it is left out.
        TTransferQueues& q = s.Queues;
        const std::string dir = AddSlash(core_.Ftp1.HostDirName());
        size_t skipped = 0;
        for (size_t i = q.FileTargets.size(); i-- > 0;) {
            if (!IsBelow(q.FileTargets[i], dir)) continue;
            q.FileTargets.erase(q.FileTargets.begin() + static_cast<std::ptrdiff_t>(i));
            q.FileQueue.erase(q.FileQueue.begin() + static_cast<std::ptrdiff_t>(i));
            ++skipped;
        }
        for (size_t i = q.DirTargets.size(); i-- > 0;) {
            if (!IsBelow(q.DirTargets[i], dir)) continue;
            q.DirTargets.erase(q.DirTargets.begin() + static_cast<std::ptrdiff_t>(i));
            q.DirQueue.erase(q.DirQueue.begin() + static_cast<std::ptrdiff_t>(i));
            ++skipped;
        }
        LogError("The directory " + core_.Ftp1.HostDirName() + " could not be made; " +
                 std::to_string(skipped) + " files and folders for it are skipped");
    } else {
        // The directory was entered but not listed: no name in it is known.
        RemoveFile(core_.ListingFile());
        s.RemoteNames.clear();
        treeSizes_.clear();
        treeListing_ = true;
    }
    UploadNext();
}

// --- The rules before each file --------------------------------------------------------------

bool TTransferManager::TargetExists(bool downloading, const std::string& target) const {
    if (!downloading) return RemoteFileExists(core_.State.RemoteNames, target);
    struct stat st {};
    return ::stat(target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string TTransferManager::SaveAsTarget(bool downloading, const std::string& before,
                                           const std::string& entered) const {
    // A bare local name goes beside the file it replaces, not into the process's folder.
    if (!downloading || entered.front() == '/') return entered;
    const size_t slash = before.rfind('/');
    return slash == std::string::npos ? entered : before.substr(0, slash + 1) + entered;
}

void TTransferManager::CheckExisting(bool downloading) {
    TMainState& s = core_.State;
    TTransferQueues& q = s.Queues;
    if (s.OverwriteAll) return;
    s.ResumeNext = false;
    s.Cancelled = false;
    const TFTPOptions& o = core_.Options;
    const bool prompt = downloading ? o.PromptDownLoad : o.PromptUpLoad;
    if (!prompt) {
        if (o.DefPrompt == kDefPromptSkip) {
            while (!q.FileTargets.empty() && TargetExists(downloading, q.FileTargets.front())) {
                q.FileTargets.pop_front();
                q.FileQueue.pop_front();
            }
        } else if (o.DefPrompt == kDefPromptResume) {
            if (!q.FileTargets.empty() && TargetExists(downloading, q.FileTargets.front()))
                s.ResumeNext = true;
        }
        return;
    }
    // No keep-alive command may start while the question waits for its answer.
    const bool timerWasOn = core_.cTimer.Enabled();
    core_.cTimer.SetEnabled(false);
    bool decided = false;
    while (!decided && !q.FileTargets.empty() && TargetExists(downloading, q.FileTargets.front())) {
        const std::string before = q.FileTargets.front();
        std::string target = before;
        switch (core_.Dialogs().AskRewrite(target)) {
            case TRewriteAnswer::Resume:
                s.ResumeNext = true;
                decided = true;
                break;
            case TRewriteAnswer::Overwrite:
                decided = true;
                break;
            case TRewriteAnswer::All:
                s.OverwriteAll = true;
                decided = true;
                break;
            case TRewriteAnswer::Skip:
                q.FileTargets.pop_front();
                q.FileQueue.pop_front();
                break;
            case TRewriteAnswer::SaveAs:
                if (!target.empty())
                    q.FileTargets.front() = SaveAsTarget(downloading, before, target);
                break;
            case TRewriteAnswer::Cancel:
            default:
                s.Cancelled = true;
                q.Clear();
                break;
        }
    }
    core_.cTimer.SetTag(0);
    if (timerWasOn) core_.cTimer.SetEnabled(true);
}

void TTransferManager::ChooseTransferType() {
    ftp::TFtpClient& f = core_.Ftp1;
    const bool ascii = WantsAscii(f.LocalFileName(), core_.Options.TransferMode, core_.Options.Ext);
    if (ascii && f.Binary())
        core_.TypeAscii();
    else if (!ascii && !f.Binary())
        core_.TypeBinary();
}

// --- The end of a batch ----------------------------------------------------------------------

void TTransferManager::FinishTransfer() {
    TMainState& s = core_.State;
    ftp::TFtpClient& f = core_.Ftp1;
    running_ = false;
    const bool queuesEmpty = s.Queues.FileQueue.empty() && s.Queues.DirQueue.empty();
    // The starting directory is entered again after a tree, and listed again after an
    // upload so that the pane shows what arrived.
    const bool relist =
        queuesEmpty && (f.HostDirName() != s.RemoteBase || (!downloading_ && movedAny_));
    s.UploadingTree = false;
    s.DownloadingTree = false;
    treeListing_ = false;
    bool listing = false;
    if (relist) {
        f.SetHostDirName(s.RemoteBase);
        f.SetLocalFileName(core_.ListingFile());
        if (f.Binary()) core_.TypeAscii();
        listing = core_.StartRequest(&ftp::TCustomFtpCli::CwdAsync);
    }
    // While the starting directory is listed again the window stays busy; showing the
    // listing ends that.
    if (!listing) core_.ClearBusy();
    CloseProgress();
    if (downloading_) core_.Local.dlbxChange();
}

void TTransferManager::AbandonBatch() {
    TMainState& s = core_.State;
    running_ = false;
    s.Queues.Clear();
    s.UploadingTree = false;
    s.DownloadingTree = false;
    treeListing_ = false;
    core_.ClearBusy();
    CloseProgress();
    if (downloading_) core_.Local.dlbxChange();
}

bool TTransferManager::Start(Request request) {
    if (core_.StartRequest(request)) return true;
    // No completion follows a request that did not start: nothing would go on.
    AbandonBatch();
    return false;
}

void TTransferManager::sbStopClick() {
    if (running_) AbandonBatch();
    if (stopSession_) {
        stopSession_();
        return;
    }
    core_.Ftp1.SetTimeout(1);
    core_.Ftp1.AbortSession();
    core_.ProcessMessages();
    core_.SetScreenCursor(TCursor::Default);
}

// --- The progress window ---------------------------------------------------------------------

void TTransferManager::ShowProgress() {
    if (progress_) return;
    progress_ = std::make_unique<dialogs::TProgress>();
    progress_->OnCancel = [this] { sbStopClick(); };
    NotifyProgress(true);
}

void TTransferManager::CloseProgress() {
    if (progress_) {
        progress_.reset();
        NotifyProgress(true);
    }
    core_.SetScreenCursor(TCursor::Default);
}

void TTransferManager::Ftp1Progress(int64_t count) {
    if (!progress_) return;
    progress_->UpdateProgress(count);
    NotifyProgress(false);
}

void TTransferManager::NotifyProgress(bool always) {
    const uint64_t now = platform::GetTickCount();
    if (!always && now - lastProgressNotice_ < kProgressNoticeMs) return;
    lastProgressNotice_ = now;
    core_.Notifier.Notify(TChange::Progress);
}

void TTransferManager::LogError(const std::string& text) {
    core_.WriteLog(kErrorPrefix + text);
}

}  // namespace tarnwick::session

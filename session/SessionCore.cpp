#include "session/SessionCore.h"

#include <sys/stat.h>
#include <unistd.h>

#include "listing/ListingConsumer.h"
#include "listing/RemoteListing.h"
#include "settings/TextFile.h"

namespace tarnwick::session {

namespace {

constexpr const char* kErrorPrefix = "Error ";
// What the engine says of a request it cannot take now.
constexpr const char* kEngineNotReady = "FTP component not ready";

std::unique_ptr<TTimerSource> NewTimerSource(const TMainEnvironment& env) {
    return env.Timers ? env.Timers() : std::make_unique<TLoopTimerSource>();
}

TMainEnvironment Prepared(TMainEnvironment env) {
    if (env.ProcessId == 0) env.ProcessId = static_cast<long>(::getpid());
    if (!env.Timers) env.Timers = LoopTimerFactory();
    return env;
}

// The controls SetConnectedState enables while there is no session.
const std::vector<std::string_view> kOfflineControls = {
    "sbConnect", "sbNewServer", "sbProperties", "New1", "NewServer1", "Connect1", "FtpOptions1"};
// ... and while there is none and a server is selected.
const std::vector<std::string_view> kOfflineSelectedControls = {"Properties1", "ServerProperties1"};
// ... and those it enables during a session.
const std::vector<std::string_view> kOnlineControls = {"sbMkd2",
                                                       "sbRen2",
                                                       "sbStop",
                                                       "sbDisConnect",
                                                       "SpeedButton1",
                                                       "SpeedButton2",
                                                       "MakeDirectory3",
                                                       "Makedirectory2",
                                                       "ChangeDirectory1",
                                                       "ChandDirect1",
                                                       "CompareDirectories1",
                                                       "CompareDirectories2",
                                                       "RenameFile3",
                                                       "RenameFile4",
                                                       "FileAttributes1",
                                                       "FileAttributes2",
                                                       "DownloadSelectedFiles1",
                                                       "DownloadSelectedFiles2",
                                                       "UploadSelectedFiles1",
                                                       "UploadSelectedFiles2",
                                                       "Sorting2",
                                                       "Sorting3",
                                                       "Select2",
                                                       "Select3",
                                                       "ChangeCase3",
                                                       "ChangeCase4",
                                                       "Filter3",
                                                       "Filter4",
                                                       "Disconnect1",
                                                       "StopTransfer1"};

// The components of a remote directory for the path box: the text after one leading "/",
// cut at every "/"; an empty trailing piece gives no item.
std::vector<std::string> PathComponents(std::string_view dir) {
    std::vector<std::string> out;
    if (!dir.empty() && dir.front() == '/') dir.remove_prefix(1);
    while (!dir.empty()) {
        const size_t slash = dir.find('/');
        if (slash == std::string_view::npos) {
            out.emplace_back(dir);
            break;
        }
        out.emplace_back(dir.substr(0, slash));
        dir.remove_prefix(slash + 1);
    }
    return out;
}

}  // namespace

TSessionCore::TSessionCore(TMainEnvironment env)
    : cTimer(NewTimerSource(env)),
      env_(Prepared(std::move(env))),
      sessionLog_(Log, env_.ProcessId),
      listingFile_(ListingFileName(env_.SettingsFolder, env_.ProcessId)) {}

TSessionCore::~TSessionCore() = default;

void TSessionCore::SetTitle(std::string title) {
    if (title_ == title) return;
    title_ = std::move(title);
    Notifier.Notify(TChange::Title);
}

void TSessionCore::SetScreenCursor(TCursor cursor) {
    if (screenCursor_ == cursor) return;
    screenCursor_ = cursor;
    Notifier.Notify(TChange::Busy);
}

void TSessionCore::SetRemoteCursor(TCursor cursor) {
    if (remoteCursor_ == cursor) return;
    remoteCursor_ = cursor;
    Notifier.Notify(TChange::Busy);
}

void TSessionCore::SetLayout(TPaneLayout layout) {
    layout_ = layout;
    Notifier.Notify(TChange::Layout);
}

void TSessionCore::SetFont(TFontChoice font) {
    font_ = std::move(font);
    Notifier.Notify(TChange::ViewStyle);
}

void TSessionCore::WriteLog(std::string line) {
    sessionLog_.WriteLog(std::move(line));
}

void TSessionCore::SetBusy() {
    State.Busy = true;
    SetRemoteCursor(TCursor::HourGlass);
    FTPPath.SetEnabled(false);
}

void TSessionCore::ClearBusy() {
    State.Busy = false;
    SetRemoteCursor(TCursor::Default);
    FTPPath.SetEnabled(true);
}

void TSessionCore::SetConnectedState(bool connected) {
    TControlBatch batch(Controls);
    Controls.SetEnabled(kOfflineControls, !connected);
    Controls.SetEnabled(kOfflineSelectedControls, !connected && FTPView.SelectedCount() > 0);
    Controls.SetEnabled(kOnlineControls, connected);
}

void TSessionCore::ProcessMessages() {
    Ftp1.PumpEvents();
}

bool TSessionCore::StartRequest(void (ftp::TCustomFtpCli::*request)()) {
    try {
        (Ftp1.*request)();
        return true;
    } catch (const std::exception& e) {
        // Such a request never completes, so nothing else would say why it did not run.
        WriteLog(std::string(kErrorPrefix) + e.what());
        return false;
    }
}

bool TSessionCore::TypeAscii() {
    return Ftp1.TypeAscii();
}

bool TSessionCore::TypeBinary() {
    return Ftp1.TypeBinary();
}

void TSessionCore::ListCurrentDir() {
    // A request still running keeps its file names (a rename's RNTO target is LocalFileName):
    // the listing is refused as the engine would refuse it, before anything is changed.
    if (Ftp1.State() != ftp::esReady && Ftp1.State() != ftp::esBetweenSteps) {
        WriteLog(std::string(kErrorPrefix) + kEngineNotReady);
        return;
    }
    Ftp1.SetLocalFileName(listingFile_);
    if (Ftp1.Binary()) TypeAscii();
    StartRequest(TreeListingIsMachine() ? &ftp::TCustomFtpCli::MlsdAsync
                                        : &ftp::TCustomFtpCli::DirAsync);
}

void TSessionCore::RefreshRemoteNames() {
    // An empty (or missing) listing file leaves the names of the previous listing.
    struct stat st {};
    if (::stat(listingFile_.c_str(), &st) != 0 || st.st_size == 0) return;
    std::vector<std::string> names;
    TListingStream stream(Parser(), TListingConsumer::Panel, [&](const TListingEntry& e) {
        if (!e.IsDir && e.Name != ".") names.push_back(e.Name);
    });
    ReadListingFile(listingFile_, stream);
    State.RemoteNames = std::move(names);
}

void TSessionCore::LoadRemoteListing() {
    RefreshRemoteNames();
    State.RemoteListing.clear();
    std::string error;
    FillRemoteListingFromFile(listingFile_, Parser(), State.RemoteListing, error);
    ::unlink(listingFile_.c_str());
    if (!error.empty()) WriteLog(kErrorPrefix + error);
    ShowRemoteListing();
    RefillPathBox();
    ClearBusy();
}

void TSessionCore::ShowRemoteListing() {
    // Machine listings name every entry alike, whatever host type the server was saved with.
    const char hostType = MachineListing() ? kHostDefault : HostTypeDigit();
    std::vector<TPaneRow> rows = RemoteListingRows(State.RemoteListing, State.RemoteMask, hostType);
    ResortRows(rows, FTPView.SortKey());
    FTPView.SetNameColumnFills(hostType == kHostText);
    FTPView.SetRows(std::move(rows));
    changeAttached_ = true;
    Notifier.Notify(TChange::RemoteDirectory);
}

void TSessionCore::RefillPathBox() {
    std::vector<std::string> items{kServerListItem, Ftp1.HostName()};
    for (std::string& c : PathComponents(Ftp1.HostDirName())) items.push_back(std::move(c));
    const int last = static_cast<int>(items.size()) - 1;
    FTPPath.SetItems(std::move(items), last);
}

void TSessionCore::LoadServerList() {
    const ReadStatus status = tarnwick::LoadServerList(env_.SettingsFolder, Servers, Options);
    if (status == ReadStatus::kUnreadable) {
        serverListUnreadable_ = true;
        WriteLog(std::string(kErrorPrefix) + "The server list " + kServerListFileName +
                 " cannot be read; it is left as it is and not saved over");
    } else {
        serverListUnreadable_ = false;
    }
    std::vector<TPaneRow> rows;
    rows.reserve(Servers.size());
    for (const TFTPServerInfo& s : Servers) {
        TPaneRow row;
        row.Picture = kPictureServer;
        row.Name = s.Name;
        rows.push_back(std::move(row));
    }
    ResortRows(rows, FTPView.SortKey());
    FTPView.SetRows(std::move(rows));
    changeAttached_ = true;
    Notifier.Notify(TChange::ServerList);
}

bool TSessionCore::SaveServerList() {
    if (serverListUnreadable_) {
        WriteLog(std::string(kErrorPrefix) + "The server list was not saved: " +
                 kServerListFileName + " could not be read when the program started");
        return false;
    }
    if (tarnwick::SaveServerList(env_.SettingsFolder, Servers)) return true;
    WriteLog(std::string(kErrorPrefix) + "The server list could not be saved in " +
             env_.SettingsFolder);
    return false;
}

void TSessionCore::AddServerItem(const TFTPServerInfo& server, bool select) {
    std::vector<TPaneRow> rows = FTPView.Rows();
    TPaneRow row;
    row.Picture = kPictureServer;
    row.Name = server.Name;
    rows.push_back(std::move(row));
    ResortRows(rows, FTPView.SortKey());
    FTPView.SetRows(std::move(rows));
    if (select) {
        const int at = FTPView.FindCaption(server.Name);
        if (at >= 0) FTPView.SetSelection({static_cast<size_t>(at)});
    }
    Notifier.Notify(TChange::ServerList);
}

char TSessionCore::HostTypeDigit() const {
    return tarnwick::HostTypeDigit(CurrentServer.Answer);
}

bool TSessionCore::MachineListing() const {
    return !machineListingRefused_ && ftp::OffersMachineListing(Ftp1.Features());
}

TListingParser TSessionCore::Parser() const {
    return TListingParser(
        CurrentServer.Answer.empty() ? std::string(kDefaultAnswer) : CurrentServer.Answer,
        State.StartDate, TreeListingIsMachine() ? TListingFormat::Machine : TListingFormat::Text);
}

bool TSessionCore::TreeListingIsMachine() const {
    // Servers follow links in MLSD, so a link to a directory (even to its own parent) comes
    // out as a directory there: the directories of a tree download are listed with LIST,
    // which shows links as links, and the download never runs round a loop.
    return MachineListing() && !State.DownloadingTree;
}

}  // namespace tarnwick::session

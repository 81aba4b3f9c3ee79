#include "session/MainWindow.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "session/ServerAddress.h"
#include "session/WindowState.h"
#include "settings/CommaText.h"
#include "settings/SettingsFolder.h"

namespace tarnwick::session {

namespace {

// How the engine starts in the window.
constexpr int kInitialTimeout = 999;
constexpr const char* kFtpService = "ftp";
constexpr int kDefaultSplitterWidth = 3;
// Keep-alive: the tick counter counts in sixtieths of DurationKeep.
constexpr double kKeepTicksPerDuration = 60.0;

constexpr const char* kPasswordCaption = "Enter password";
constexpr const char* kPasswordPrompt = "Password:";
constexpr const char* kAnonymousUser = "anonymous";
constexpr const char* kConnectingTo = "Connecting to ";
constexpr const char* kErrorPrefix = "Error ";

bool SameTextNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The names of the saved servers other than the one at `except` (-1: all of them).
std::vector<std::string> ServerNamesBut(const std::vector<TFTPServerInfo>& servers, int except) {
    std::vector<std::string> names;
    for (size_t i = 0; i < servers.size(); ++i)
        if (static_cast<int>(i) != except) names.push_back(servers[i].Name);
    return names;
}

bool FolderExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates a folder with all missing parents.
bool CreateFolders(const std::string& path) {
    std::string partial;
    size_t at = 0;
    while (at != std::string::npos) {
        at = path.find('/', at + 1);
        partial = path.substr(0, at);
        if (partial.empty() || FolderExists(partial)) continue;
        if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return FolderExists(path);
}

// FTPView's double-click is detached while a command it started runs.
struct TDblClickDetached {
    explicit TDblClickDetached(TSessionCore& c) : core(c) {
        core.SetFTPViewDblClickAttached(false);
        core.SetFTPViewChangeAttached(false);
    }
    ~TDblClickDetached() { core.SetFTPViewDblClickAttached(true); }
    TDblClickDetached(const TDblClickDetached&) = delete;
    TDblClickDetached& operator=(const TDblClickDetached&) = delete;
    TSessionCore& core;
};

}  // namespace

T_Main::T_Main(TMainEnvironment env)
    : core_(std::move(env)), remoteOps_(core_, [this] { sbDisConnectClick(); }) {
    ftp::TFtpClient& f = core_.Ftp1;
    f.SetTimeout(kInitialTimeout);
    f.SetMultiThreaded(true);
    f.SetPort(kFtpService);
    f.SetBinary(true);
    f.SetShareMode(ftp::ftpShareExclusive);
    f.SetOptions(ftp::ftpAcceptLF);
    f.SetConnectionType(ftp::ftpDirect);
    f.OnDisplay = [this](ftp::TCustomFtpCli*, std::string& line) { Ftp1Display(line); };
    f.OnProgress = [this](ftp::TCustomFtpCli*, int64_t count, bool& abort) {
        Ftp1Progress(count, abort);
    };
    f.OnSessionConnected = [this](ftp::TCustomFtpCli*, uint16_t e) { Ftp1SessionConnected(e); };
    f.OnSessionClosed = [this](ftp::TCustomFtpCli*, uint16_t e) { Ftp1SessionClosed(e); };
    f.OnRequestDone = [this](ftp::TCustomFtpCli*, ftp::TFtpRequest rq, uint16_t e) {
        Ftp1RequestDone(rq, e);
    };
    f.OnCertificate = [this](const net::TCertificateInfo& c) { return certificates_.Check(c); };
    core_.cTimer.OnTimer = [this] { cTimerTimer(); };
}

T_Main::~T_Main() {
    if (created_) FormDestroy();
    core_.Ftp1.OnDisplay = nullptr;
    core_.Ftp1.OnProgress = nullptr;
    core_.Ftp1.OnSessionConnected = nullptr;
    core_.Ftp1.OnSessionClosed = nullptr;
    core_.Ftp1.OnRequestDone = nullptr;
    core_.Ftp1.OnCertificate = nullptr;
}

// --- Window life -----------------------------------------------------------------------------

void T_Main::FormCreate() {
    created_ = true;
    const std::string& folder = core_.SettingsFolder();
    core_.Commands = LoadCommands(folder);
    TPaneLayout layout;
    layout.ClientWidth = core_.Environment().ScreenWidth;
    layout.SplitterWidth = kDefaultSplitterWidth;
    layout.RightPaneWidth = (layout.ClientWidth - layout.SplitterWidth) / 2;
    core_.SetLayout(layout);
    core_.FTPView.SetStyle(TViewStyle::vsList);
    core_.State.StartDate = StartDateToday();
    // The preferences are read before the server list, whose new records take the anonymous
    // address from them.
    core_.Options = LoadOptions(folder);
    core_.LoadServerList();
    core_.State.ServerMode = true;
    core_.SetConnectedState(false);
    core_.SetTitle(kServerListTitle);
    // The directory box starts where the process started; the preferences may move it.
    char cwd[PATH_MAX];
    const std::string start = ::getcwd(cwd, sizeof cwd) ? cwd : HomeFolder();
    ApplyPreferences();
    CalibrateTimer();
    if (core_.Local.Directory().empty() && !core_.Local.SetDirectory(start))
        core_.Local.SetDirectory(HomeFolder());
    // The folder the window was last closed in, while it exists.
    RestoreLocalFolder(core_);
}

void T_Main::FormDestroy() {
    if (!created_) return;
    created_ = false;
    core_.cTimer.SetEnabled(false);
    core_.SessionLog().Close();
    SaveCommands(core_.SettingsFolder(), core_.Commands);
    ::unlink(core_.ListingFile().c_str());
}

void T_Main::FormResize(int clientWidth, int splitterWidth) {
    TPaneLayout layout;
    layout.ClientWidth = clientWidth;
    layout.SplitterWidth = splitterWidth;
    layout.RightPaneWidth = (clientWidth - splitterWidth) / 2;
    core_.SetLayout(layout);
}

// --- Opening a server ------------------------------------------------------------------------

void T_Main::sbConnectClick() {
    if (core_.Ftp1.Connected() || core_.ScreenCursor() == TCursor::HourGlass) return;
    core_.State.Attempt = 0;
    if (core_.FTPView.SelectedIndex() < 0) sbNewServerClick();
    if (core_.FTPView.SelectedIndex() >= 0) RunFTPViewDblClick();
}

void T_Main::FTPViewDblClick() {
    if (!core_.FTPViewDblClickAttached()) return;
    RunFTPViewDblClick();
}

bool T_Main::EngineTakesCommand() {
    switch (core_.Ftp1.State()) {
        case ftp::esAborting:
            core_.Ftp1.AbortSession();
            core_.ProcessMessages();
            return false;
        case ftp::esReady:
        case ftp::esBetweenSteps:
            return true;
        default:
            core_.ProcessMessages();
            return false;
    }
}

void T_Main::RunFTPViewDblClick() {
    if (!EngineTakesCommand()) return;
    const TDblClickDetached detached(core_);

    if (!core_.State.ServerMode) {
        EnterSelectedDirectory();
        return;
    }
    TSessionCore& c = core_;
    if (c.FTPView.SelectedIndex() < 0) sbNewServerClick();
    const int selected = c.FTPView.SelectedIndex();
    if (selected < 0) return;
    const int index = FindServer(c.Servers, c.FTPView.Row(static_cast<size_t>(selected)).Name);
    if (index < 0) return;
    ConnectTo(c.Servers[static_cast<size_t>(index)]);
}

bool T_Main::OpenServer(const TFTPServerInfo& server) {
    TSessionCore& c = core_;
    if (!c.State.ServerMode || c.Ftp1.Connected() || c.ScreenCursor() == TCursor::HourGlass)
        return false;
    if (!EngineTakesCommand()) return false;
    const TDblClickDetached detached(core_);
    return ConnectTo(server);
}

bool T_Main::ConnectTo(const TFTPServerInfo& server) {
    TSessionCore& c = core_;
    c.CurrentServer = server;
    TFTPServerInfo& s = c.CurrentServer;
    NormalizeServerAddress(s);

    ftp::TFtpClient& f = c.Ftp1;
    f.SetHostName(s.Server);
    f.SetEncryption(EngineEncryption(s.Encryption));
    // Only EPSV itself turns EPSV on; any other value is PASV.
    f.SetPassiveCommand(s.DataConnection == static_cast<std::uint8_t>(TServerDataConnection::Epsv)
                            ? ftp::TFtpPassiveCommand::Epsv
                            : ftp::TFtpPassiveCommand::Pasv);
    f.SetPort(ControlPort(s.Port, f.Encryption(), kFtpService));
    if (s.Anonymous != 0) {
        f.SetUserName(kAnonymousUser);
        f.SetPassWord(s.EMail);
    } else {
        f.SetUserName(s.User);
        if (s.SavePassword != 0) {
            f.SetPassWord(s.Password);
        } else {
            TInputQuery q;
            q.Caption = kPasswordCaption;
            q.Prompt = kPasswordPrompt;
            q.ShowMaskBox = true;
            q.Masked = true;
            const std::optional<std::string> password = c.Dialogs().InputQuery(q);
            if (!password) return false;
            f.SetPassWord(*password);
        }
    }
    f.SetBinary(true);
    f.SetPassive(s.Pasv != 0);
    f.SetHostDirName(AddSlash(s.InitialDir));
    if (!s.LocalDir.empty()) {
        if (FolderExists(s.LocalDir) || CreateFolders(s.LocalDir)) c.Local.SetDirectory(s.LocalDir);
    }
    c.State.DownloadingTree = false;
    c.State.UploadingTree = false;
    c.State.RemovingDirs = false;
    c.State.DeletingTree = false;
    c.ProcessMessages();
    c.WriteLog(kConnectingTo + f.HostName());
    c.Controls.SetEnabled("sbStop", true);
    c.State.Attempt = 0;
    userAbort_ = false;
    f.SetTimeout(0);
    StartConnect();
    return true;
}

void T_Main::EnterSelectedDirectory() {
    TSessionCore& c = core_;
    const int selected = c.FTPView.SelectedIndex();
    if (selected < 0) return;
    const TPaneRow& row = c.FTPView.Row(static_cast<size_t>(selected));
    if (row.Picture != kPictureDirectory) return;
    if (row.Name == "..") {
        remoteOps_.FTPOneLevelUpClick();
        return;
    }
    std::string dir = c.Ftp1.HostDirName();
    if (!dir.empty() && dir.back() != '/') dir += '/';
    dir += row.Name;
    c.Ftp1.SetHostDirName(dir);
    c.Ftp1.Cwd();
}

void T_Main::StartConnect() {
    closedThisAttempt_ = false;
    connectPending_ = core_.StartRequest(&ftp::TCustomFtpCli::ConnectAsync);
}

void T_Main::RetryConnect() {
    TSessionCore& c = core_;
    ++c.State.Attempt;
    c.Ftp1.SetTimeout(0);
    StartConnect();
    char line[512];
    std::snprintf(line, sizeof line, "Connecting to %s [Attempt %d]", c.Ftp1.HostName().c_str(),
                  c.State.Attempt + 1);
    c.WriteLog(line);
}

// --- Engine events ---------------------------------------------------------------------------

void T_Main::Ftp1SessionConnected(uint16_t) {
    TSessionCore& c = core_;
    c.State.RemoteBase = AddSlash(c.Ftp1.HostDirName());
    c.State.LocalBase = AddBackslash(c.Local.Directory());
    c.State.ServerMode = false;
    c.State.Busy = false;
    c.FTPView.Clear();
    c.FTPView.SetStyle(TViewStyle::vsReport);
    c.State.KeepCount = 0;
    c.State.KeepIndex = 0;
    c.cTimer.SetTag(0);
    c.cTimer.SetInterval(KeepAliveInterval());
    c.cTimer.SetEnabled(KeepAliveWanted());
    c.SetConnectedState(true);
    c.State.Attempt = -1;
    c.SetFTPViewDblClickAttached(true);
    c.SetTitle(c.CurrentServer.Name.empty() ? c.Ftp1.HostName() : c.CurrentServer.Name);
    c.Notifier.Notify(TChange::Session);
}

void T_Main::Ftp1SessionClosed(uint16_t) {
    closedThisAttempt_ = true;
    const int retries = core_.Options.retry;
    const int attempt = core_.State.Attempt;
    if (userAbort_ || retries <= 0 || attempt < 0 || retries < attempt) {
        EndSession();
    } else if (connectPending_) {
        // The connect's own completion is still to come; the next attempt starts after it,
        // so that completion is never taken for the new attempt's.
        retryPending_ = true;
    } else {
        RetryConnect();
    }
}

void T_Main::SessionClosedRule() {
    Ftp1SessionClosed(0);
}

void T_Main::EndSession() {
    TSessionCore& c = core_;
    retryPending_ = false;
    c.cTimer.SetEnabled(false);
    transfers_.CloseProgress();
    c.SetScreenCursor(TCursor::Default);
    c.State.ServerMode = true;
    c.SetTitle(kServerListTitle);
    c.ClearBusy();
    c.FTPPath.Clear();
    c.FTPView.SetSortKey(kColumnName);
    c.LoadServerList();
    c.FTPView.SetStyle(TViewStyle::vsList);
    c.SetConnectedState(false);
    c.cTimer.SetEnabled(false);
    if (connectionPreferencesPending_) ApplyConnectionPreferences();
    certificates_.UpdateLock();
    c.Notifier.Notify(TChange::Session);
}

void T_Main::Ftp1Display(const std::string& line) {
    core_.WriteLog(MaskedDisplayLine(line));
}

void T_Main::Ftp1Progress(int64_t count, bool&) {
    transfers_.Ftp1Progress(count);
}

// --- Keep-alive ------------------------------------------------------------------------------

uint32_t T_Main::KeepAliveInterval() const {
    const long long ms = static_cast<long long>(std::max(core_.Options.StartKeep, 0)) *
                         std::max(core_.State.TickPeriod, 0);
    return static_cast<uint32_t>(std::min<long long>(ms, UINT32_MAX));
}

bool T_Main::KeepAliveWanted() const {
    return core_.Options.Keep && !core_.Options.CmdKeep.empty() && !core_.State.ServerMode;
}

void T_Main::cTimerTimer() {
    TSessionCore& c = core_;
    const int64_t counter = c.cTimer.Tag() + 1;
    c.cTimer.SetTag(counter);
    if (static_cast<double>(counter) / kKeepTicksPerDuration >= c.Options.DurationKeep) {
        c.cTimer.SetEnabled(false);
        return;
    }
    if (counter <= c.Options.StartKeep || c.Ftp1.State() != ftp::esReady || !c.Ftp1.Connected())
        return;
    c.cTimer.SetEnabled(false);
    c.cTimer.SetTag(0);
    const std::vector<std::string> commands = FromCommaText(c.Options.CmdKeep);
    if (commands.empty()) return;
    ++c.State.KeepCount;
    if (c.State.KeepIndex >= static_cast<int>(commands.size())) c.State.KeepIndex = 0;
    c.Ftp1.SetLocalFileName(commands[static_cast<size_t>(c.State.KeepIndex)]);
    c.StartRequest(&ftp::TCustomFtpCli::QuoteAsync);
    c.cTimer.SetEnabled(true);
    ++c.State.KeepIndex;
}

void T_Main::CalibrateTimer() {
    core_.State.TickPeriod = 0;
    calibration_ = std::make_unique<TTimerCalibration>(
        core_.Environment().Timers(), [this](int period) { CalibrationDone(period); });
    calibration_->Start();
}

void T_Main::CalibrationDone(int tickPeriod) {
    core_.State.TickPeriod = tickPeriod;
    if (core_.State.ServerMode) return;
    // A session opened during the calibration starts its keep-alive now.
    core_.cTimer.SetInterval(KeepAliveInterval());
    if (KeepAliveWanted()) core_.cTimer.SetEnabled(true);
}

// --- Disconnect and exit ---------------------------------------------------------------------

void T_Main::DisconnectSession(bool setTimeout) {
    TSessionCore& c = core_;
    if (c.Ftp1.State() == ftp::esAwaitingReply && !c.Ftp1.Connected()) return;
    userAbort_ = true;
    c.cTimer.SetEnabled(false);
    c.FTPPath.Clear();
    c.SetScreenCursor(TCursor::HourGlass);
    if (setTimeout) c.Ftp1.SetTimeout(1);
    c.Ftp1.AbortSession();
    c.ProcessMessages();
    // An abort before the connection was up closes nothing, so no session-closed event
    // comes to end the session: end it here.
    if (!c.State.ServerMode || c.ScreenCursor() == TCursor::HourGlass) EndSession();
}

void T_Main::StopTransfer() {
    TSessionCore& c = core_;
    userAbort_ = true;
    c.Ftp1.SetTimeout(1);
    c.Ftp1.AbortSession();
    c.ProcessMessages();
    // The session-closed handling runs now, whether or not the close has been reported yet.
    if (c.Ftp1.State() == ftp::esReady && (!c.State.ServerMode || c.State.Attempt >= 0))
        Ftp1SessionClosed(0);
    c.SetScreenCursor(TCursor::Default);
}

void T_Main::sbDisConnectClick() {
    DisconnectSession(true);
}

void T_Main::ExplorerButton1Click() {
    DisconnectSession(false);
    Exit1Click();
}

void T_Main::Exit1Click() {
    if (core_.Environment().CloseWindow) core_.Environment().CloseWindow();
}

// --- Preferences and servers -----------------------------------------------------------------

void T_Main::FtpOptions1Click() {
    TFTPOptions edited = core_.Options;
    if (core_.Dialogs().EditOptions(edited)) {
        core_.Options = edited;
        if (!SaveOptions(core_.SettingsFolder(), core_.Options))
            core_.WriteLog(std::string(kErrorPrefix) + "The preferences could not be saved in " +
                           core_.SettingsFolder());
    }
    ApplyPreferences();
}

void T_Main::ApplyPreferences() {
    TSessionCore& c = core_;
    const TFTPOptions& o = c.Options;
    // The engine refuses a new connection type while a session is open: the connection
    // preferences wait for the session's end.
    ApplyConnectionPreferences();
    c.Ftp1.SetTimeout(o.TimeOut);

    TSessionLog& log = c.SessionLog();
    if (o.Log) {
        if (log.LogOpen() && !SameTextNoCase(log.LogFileName(), o.LogFile))
            log.Open(o.LogFile);
        else if (!log.LogOpen())
            log.Open(o.LogFile);
    } else if (log.LogOpen()) {
        log.Close();
    }
    c.SetFont(TFontChoice{o.FontName, o.FontSize, o.FontColor});
    if (!SameTextNoCase(o.IniPath, c.Local.Directory()) && FolderExists(o.IniPath))
        c.Local.SetDirectory(o.IniPath);
}

void T_Main::ApplyConnectionPreferences() {
    const TFTPOptions& o = core_.Options;
    ftp::TFtpClient& f = core_.Ftp1;
    const bool known = o.ConnectionType >= ftp::ftpDirect && o.ConnectionType <= ftp::ftpSocks5;
    const auto type =
        known ? static_cast<ftp::TFtpConnectionType>(o.ConnectionType) : ftp::ftpDirect;
    try {
        f.SetConnectionType(type);
    } catch (const ftp::FtpException&) {
        // A session is open; the connection preferences wait for its end.
        connectionPreferencesPending_ = true;
        return;
    }
    connectionPreferencesPending_ = false;
    f.SetBinary(o.TransferMode == 2);
    if (type == ftp::ftpProxy) {
        f.SetProxyServer(o.ProxyServer);
        f.SetProxyPort(o.ProxyPort.empty() ? kFtpService : o.ProxyPort);
        f.SetPort(o.ProxyPort);
        f.SetPassWord(o.ProxyPsw);
    } else {
        f.SetProxyServer("");
        f.SetPort("");
        f.SetPassWord("");
    }
    const bool socks = type == ftp::ftpSocks4 || type == ftp::ftpSocks4A || type == ftp::ftpSocks5;
    f.SetSocksServer(socks ? o.SocksServer : "");
    f.SetSocksPort(socks ? o.SocksPort : "");
    f.SetSocksPassword(socks ? o.SocksPsw : "");
    f.SetSocksUserCode(socks ? o.SocksUC : "");
    f.SetPassive(o.PassiveTransfer);
}

void T_Main::sbNewServerClick() {
    TSessionCore& c = core_;
    if (!c.State.ServerMode) return;
    TFTPServerInfo record = NewServerInfo(c.Options);
    if (!c.Dialogs().EditServer(record, c.SettingsFolder(), ServerNamesBut(c.Servers, -1)))
        return;
    c.Servers.push_back(record);
    c.AddServerItem(record, true);
    c.SaveServerList();
}

void T_Main::sbPropertiesClick() {
    TSessionCore& c = core_;
    if (!c.State.ServerMode) {
        c.Dialogs().Beep();
        return;
    }
    const int selected = c.FTPView.SelectedIndex();
    const int index =
        selected < 0 ? -1
                     : FindServer(c.Servers, c.FTPView.Row(static_cast<size_t>(selected)).Name);
    TFTPServerInfo record = index >= 0 ? c.Servers[static_cast<size_t>(index)] : TFTPServerInfo{};
    if (!c.Dialogs().EditServer(record, c.SettingsFolder(), ServerNamesBut(c.Servers, index)))
        return;
    if (index >= 0) {
        c.Servers[static_cast<size_t>(index)] = record;
        TPaneRow row = c.FTPView.Row(static_cast<size_t>(selected));
        row.Name = record.Name;
        c.FTPView.SetRow(static_cast<size_t>(selected), std::move(row));
        c.Notifier.Notify(TChange::ServerList);
    } else {
        c.Servers.push_back(record);
        c.AddServerItem(record, true);
    }
    c.SaveServerList();
}

// --- Selection -------------------------------------------------------------------------------

void T_Main::FTPViewChange() {
    if (core_.FTPViewChangeAttached()) core_.SetConnectedState(!core_.State.ServerMode);
}

void T_Main::FTPViewSelectItems(const std::vector<size_t>& rows) {
    core_.FTPView.SetSelection(rows);
    FTPViewChange();
}

void T_Main::lvLocSelectItems(const std::vector<size_t>& rows) {
    core_.lvLoc.SetSelection(rows);
}

void T_Main::lvLocColumnClick(int column) {
    paneTools_.lvLocColumnClick(column);
}

void T_Main::FTPViewColumnClick(int column) {
    paneTools_.FTPViewColumnClick(column);
}

}  // namespace tarnwick::session

// What every part of the main window shares: the FTP engine Ftp1, the session state, the
// saved servers and the preferences, the models a window draws (both panes, the path box, the
// command box, the named controls, the log, the title) and the operations the parts all use
// (WriteLog, SetBusy, ListCurrentDir, showing a listing or the server list ...).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ftp/FtpClient.h"
#include "listing/ListingParser.h"
#include "session/ComboModel.h"
#include "session/ControlStates.h"
#include "session/DialogService.h"
#include "session/LocalPanel.h"
#include "session/LogModel.h"
#include "session/MainState.h"
#include "session/PaneModel.h"
#include "session/SessionLog.h"
#include "session/StateChange.h"
#include "session/WindowTimer.h"
#include "settings/Commands.h"
#include "settings/Options.h"
#include "settings/ServerList.h"

namespace tarnwick::session {

// What the window's logic is given by whoever runs it (the Qt window or a test).
struct TMainEnvironment {
    std::string SettingsFolder;         // the settings files and the listing temp file
    TDialogService* Dialogs = nullptr;  // required
    TTimerFactory Timers;               // the platform loop's timers when empty
    long ProcessId = 0;                 // this process when 0
    int ScreenWidth = 1024;             // for the first pane split
    // Asks the window to close (Exit); the window then runs FormDestroy.
    std::function<void()> CloseWindow;
    // The desktop's opener for "Run" (looked up on PATH); xdg-open when empty.
    std::string Opener;
};

enum class TCursor { Default, HourGlass };

// The right pane's title and its two texts.
inline constexpr const char* kServerListTitle = "FTP Servers";
// Item 0 of the path box.
inline constexpr const char* kServerListItem = "SERVER LIST ...";

// The parts of the window the pane split concerns.
struct TPaneLayout {
    int ClientWidth = 0;
    int SplitterWidth = 0;
    int RightPaneWidth = 0;
};

class TSessionCore {
  public:
    explicit TSessionCore(TMainEnvironment env);
    ~TSessionCore();
    TSessionCore(const TSessionCore&) = delete;
    TSessionCore& operator=(const TSessionCore&) = delete;

    // --- What the window is made of -------------------------------------------------------
    ftp::TFtpClient Ftp1;
    TMainState State;
    TStateNotifier Notifier;
    TPaneModel FTPView{"FTPView", true};
    TPaneModel lvLoc{"lvLoc", false};
    TComboModel FTPPath{"FTPPath", Notifier, TChange::PathBox};
    TComboModel cbCmd{"cbCmd", Notifier, TChange::CommandBox};
    TControlStates Controls{Notifier};
    TLogModel Log;
    TLocalPanel Local{lvLoc, Notifier, State, Controls};
    TWindowTimer cTimer;

    std::vector<TFTPServerInfo> Servers;
    TFTPServerInfo CurrentServer;
    TFTPOptions Options;
    TCommandList Commands;

    const TMainEnvironment& Environment() const { return env_; }
    TDialogService& Dialogs() { return *env_.Dialogs; }
    const std::string& SettingsFolder() const { return env_.SettingsFolder; }
    long ProcessId() const { return env_.ProcessId; }
    // The listing temp file, fixed once at start: the settings folder + "FTPDIR<pid>.TXT".
    const std::string& ListingFile() const { return listingFile_; }

    // Panel9's text.
    const std::string& Title() const { return title_; }
    void SetTitle(std::string title);
    // The screen cursor, and the cursor of the remote controls (view, path box, up buttons).
    TCursor ScreenCursor() const { return screenCursor_; }
    void SetScreenCursor(TCursor cursor);
    TCursor RemoteCursor() const { return remoteCursor_; }
    const TPaneLayout& Layout() const { return layout_; }
    void SetLayout(TPaneLayout layout);
    // The window font (ApplyPreferences).
    const TFontChoice& Font() const { return font_; }
    void SetFont(TFontChoice font);

    // FTPView's events as the logic attaches and detaches them while it works.
    bool FTPViewDblClickAttached() const { return dblClickAttached_; }
    void SetFTPViewDblClickAttached(bool attached) { dblClickAttached_ = attached; }
    bool FTPViewChangeAttached() const { return changeAttached_; }
    void SetFTPViewChangeAttached(bool attached) { changeAttached_ = attached; }

    // --- Shared operations ----------------------------------------------------------------
    void WriteLog(std::string line);
    TSessionLog& SessionLog() { return sessionLog_; }
    void SetBusy();
    void ClearBusy();
    void SetConnectedState(bool connected);
    // Processes the pending messages of the event loop.
    void ProcessMessages();
    // Starts an engine request; a request that cannot start (FtpException) is logged as an
    // error and false comes back, since no completion will follow.
    bool StartRequest(void (ftp::TCustomFtpCli::*request)());
    // The waiting wrappers, with the same guard.
    bool TypeAscii();
    bool TypeBinary();
    // LocalFileName := the listing temp file, ASCII mode, MlsdAsync or DirAsync.
    void ListCurrentDir();

    // The remote listing: parse the listing temp file into the cache, show it through the
    // remote mask and rebuild the path box (LoadRemoteListing); redraw from the cache
    // (ShowRemoteListing); the plain names of the listed files (RefreshRemoteNames).
    void LoadRemoteListing();
    void ShowRemoteListing();
    void RefillPathBox();
    void RefreshRemoteNames();

    // The server list: read "ftplist.TXT" and show it in FTPView (LoadServerList); save it.
    void LoadServerList();
    bool SaveServerList();
    void AddServerItem(const TFTPServerInfo& server, bool select);

    // The host type of the current server and a parser for it.
    char HostTypeDigit() const;
    TListingParser Parser() const;
    // The server lists with MLSD (it named MLST or MLSD in its features and has not refused
    // MLSD in this session): listings are machine listings, read alike whatever the host type.
    bool MachineListing() const;
    // The listing about to be made (and read) is a machine listing: MachineListing, but not
    // inside a tree download.
    bool TreeListingIsMachine() const;
    // The server did not understand MLSD after all: the session lists with LIST.
    void SetMachineListingRefused(bool refused) { machineListingRefused_ = refused; }

  private:
    void SetRemoteCursor(TCursor cursor);

    TMainEnvironment env_;
    TSessionLog sessionLog_;
    std::string listingFile_;
    std::string title_ = kServerListTitle;
    TCursor screenCursor_ = TCursor::Default;
    TCursor remoteCursor_ = TCursor::Default;
    TPaneLayout layout_;
    TFontChoice font_;
    bool dblClickAttached_ = true;
    bool changeAttached_ = true;
    bool machineListingRefused_ = false;
    // The server list file existed but could not be read: it is never saved over.
    bool serverListUnreadable_ = false;
};

}  // namespace tarnwick::session

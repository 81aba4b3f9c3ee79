// T_Main, the main window's logic: start-up and shut-down, opening a session to a saved server
// with its retries, the request dispatcher that chains one engine request to the next,
// keep-alive, disconnect and exit. The window calls these handlers by their names and changes
// the session in no other way; it draws what Core() holds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ftp/FtpTypes.h"
#include "session/CertificateTrust.h"
#include "session/LocalCommands.h"
#include "session/PaneTools.h"
#include "session/RemoteOperations.h"
#include "session/SessionCore.h"
#include "session/TransferManager.h"

namespace tarnwick::session {

class T_Main {
  public:
    explicit T_Main(TMainEnvironment env);
    ~T_Main();
    T_Main(const T_Main&) = delete;
    T_Main& operator=(const T_Main&) = delete;

    TSessionCore& Core() { return core_; }
    const TSessionCore& Core() const { return core_; }
    TTransferManager& Transfers() { return transfers_; }
    TRemoteOperations& RemoteOps() { return remoteOps_; }
    TLocalCommands& LocalCommands() { return localCommands_; }
    TPaneTools& PaneTools() { return paneTools_; }
    TCertificateTrust& Certificates() { return certificates_; }

    // --- Window life ----------------------------------------------------------------------
    void FormCreate();
    void FormDestroy();
    // The window's client area changed: the right pane takes half of it.
    void FormResize(int clientWidth, int splitterWidth);

    // --- Commands -------------------------------------------------------------------------
    void sbConnectClick();
    // FTPView's double-click event: runs the handler while the event is attached.
    void FTPViewDblClick();
    // FTPView's change event (the selection or the items changed).
    void FTPViewChange();
    // The selection the user made in a pane.
    void FTPViewSelectItems(const std::vector<size_t>& rows);
    void lvLocSelectItems(const std::vector<size_t>& rows);
    // A click on a pane's column header (0 the name column): sort by it, or reverse.
    void lvLocColumnClick(int column);
    void FTPViewColumnClick(int column);
    void sbDisConnectClick();
    void ExplorerButton1Click();
    void Exit1Click();
    void FtpOptions1Click();
    void sbNewServerClick();
    void sbPropertiesClick();
    // Opens a session to a server that need not be saved (quick connect), by the path a
    // double-clicked saved server takes. False when none started: a session is open or under
    // way, the engine is busy, or the password prompt was cancelled.
    bool OpenServer(const TFTPServerInfo& server);

    // --- Engine and timer events (bound at construction) ---------------------------------
    void Ftp1SessionConnected(uint16_t error);
    void Ftp1SessionClosed(uint16_t error);
    void Ftp1RequestDone(ftp::TFtpRequest request, uint16_t error);
    void Ftp1Display(const std::string& line);
    void Ftp1Progress(int64_t count, bool& abort);
    void cTimerTimer();

    // --- Operations -----------------------------------------------------------------------
    void ApplyPreferences();
    // The engine's part of the preferences: connection type, proxy, SOCKS, mode.
    void ApplyConnectionPreferences();
    // Starts the calibration of the window timer; keep-alive begins once it has ended.
    void CalibrateTimer();
    bool Calibrating() const { return calibration_ && calibration_->Running(); }

  private:
    // FTPViewDblClick's work: open the selected server, or enter the selected directory.
    void RunFTPViewDblClick();
    // The engine's state lets a command start (an abort under way is finished first).
    bool EngineTakesCommand();
    // The connect of a server's record: the address normalised, the login decided.
    bool ConnectTo(const TFTPServerInfo& server);
    void EnterSelectedDirectory();
    void StartConnect();
    void RetryConnect();
    // What a closed control connection means: another attempt, or the end of the session.
    void SessionClosedRule();
    void EndSession();
    void ConnectFailed(uint16_t error);
    void DispatchFailure(ftp::TFtpRequest request, uint16_t error);
    void DispatchSuccess(ftp::TFtpRequest request);
    void ListingDone();
    // After the login (MainFeatures.cpp): the feature steps, then the first directory.
    void LoginStepDone(ftp::TFtpRequest request);
    void EnterInitialDirectory();
    // After a download: MDTM when the server has it (true when it went out), and its answer
    // set on the local file before the transfer goes on.
    bool AskModificationTime(ftp::TFtpRequest download);
    void ModificationTimeDone(uint16_t error);
    // An MLSD the server answered as unknown: the same listing again with LIST (true then).
    bool ListAgainWithoutMlsd(uint16_t error);
    void CalibrationDone(int tickPeriod);
    uint32_t KeepAliveInterval() const;
    bool KeepAliveWanted() const;
    void DisconnectSession(bool setTimeout);
    // Stop Transfer: the session is dropped at once and the server list comes back.
    void StopTransfer();

    TSessionCore core_;
    TTransferManager transfers_{core_, [this] { StopTransfer(); }};
    TRemoteOperations remoteOps_;
    TLocalCommands localCommands_{core_};
    TPaneTools paneTools_{core_};
    // A certificate refused stops the connect like the user's Stop: it is not tried again.
    TCertificateTrust certificates_{core_, [this] { userAbort_ = true; }};
    std::unique_ptr<TTimerCalibration> calibration_;
    // A connect request is out and its completion has not come yet.
    bool connectPending_ = false;
    // The control connection closed during a connect that is to be tried again: the retry
    // starts when that connect's completion has come.
    bool retryPending_ = false;
    // The session-closed rule already ran for the current attempt.
    bool closedThisAttempt_ = false;
    // The user disconnected or stopped: a closed connection is never retried.
    bool userAbort_ = false;
    // Preferences applied during a session reach the engine when the session ends.
    bool connectionPreferencesPending_ = false;
    bool created_ = false;
    // The download whose modification time MDTM is asking for.
    ftp::TFtpRequest timedDownload_ = ftp::TFtpRequest::none;
};

// FEAT, OPTS UTF8 ON and OPTS MLST: the steps between the login and the first directory.
bool IsLoginStep(ftp::TFtpRequest request);

}  // namespace tarnwick::session

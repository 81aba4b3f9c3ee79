// The window's status bar: the connection (connecting to, connected to, not connected), the
// current transfer's rate, the number of files still queued, and the last routine failure (a
// refused connect, an "Error " line), so that such failures need no message box. It follows
// the session's own state (the log, the session and progress changes) and is never told.
#pragma once

#include <functional>
#include <string>

#include "session/LogModel.h"
#include "session/StateChange.h"

namespace tarnwick::session {

class TSessionCore;
class TTransferManager;

enum class TConnectionPhase { NotConnected, Connecting, Connected };

inline constexpr const char* kNotConnectedText = "Not connected";

class TStatusBar : private TLogObserver {
  public:
    TStatusBar(TSessionCore& core, const TTransferManager& transfers);
    ~TStatusBar() override;
    TStatusBar(const TStatusBar&) = delete;
    TStatusBar& operator=(const TStatusBar&) = delete;

    TConnectionPhase Phase() const { return phase_; }
    // "Connecting to HOST", "Connected to HOST" or "Not connected" (HOST:PORT when the port
    // is not FTP's usual one).
    const std::string& Connection() const { return connection_; }
    // The running transfer's rate ("12.345 K/sec"); empty while none runs.
    const std::string& Rate() const { return rate_; }
    // "3 files queued" while a transfer batch has files waiting; else empty.
    const std::string& Queued() const { return queued_; }
    // The last failure, until the next connect (refused optional steps of a login that went
    // on to list the first directory do not count).
    const std::string& Failure() const { return failure_; }

    // Called after any of the texts changed.
    void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

  private:
    void LinesAppended(size_t count) override;
    void SessionChanged();
    void Refresh();
    std::string Server() const;

    TSessionCore& core_;
    const TTransferManager& transfers_;
    TStateNotifier::Subscription subscription_;
    std::function<void()> onChange_;
    TConnectionPhase phase_ = TConnectionPhase::NotConnected;
    std::string server_;
    std::string connection_ = kNotConnectedText;
    std::string rate_;
    std::string queued_;
    std::string failure_;
    std::string notifiedFailure_;
    // Connected, and the first listing has not come yet.
    bool loggingIn_ = false;
};

}  // namespace tarnwick::session

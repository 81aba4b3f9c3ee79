#include "session/StatusBar.h"

#include <algorithm>

#include "session/SessionCore.h"
#include "session/TransferManager.h"

namespace tarnwick::session {

namespace {

constexpr std::string_view kConnectingPrefix = "Connecting to ";
constexpr const char* kConnectedPrefix = "Connected to ";
constexpr const char* kCouldNotConnect = "Could not connect to ";

bool UsualPort(const std::string& port) {
    return port.empty() || port == "21" || port == "ftp";
}

}  // namespace

TStatusBar::TStatusBar(TSessionCore& core, const TTransferManager& transfers)
    : core_(core), transfers_(transfers) {
    core_.Log.AddObserver(this);
    subscription_ = core_.Notifier.Subscribe(
        TChange::Session | TChange::Progress | TChange::RemoteDirectory, [this](TChange kind) {
            if (kind == TChange::Session) SessionChanged();
            if (kind == TChange::RemoteDirectory && loggingIn_) {
                // The session is up and listed: what the login's optional steps were refused
                // (FEAT, OPTS) is no failure of the user's.
                loggingIn_ = false;
                failure_.clear();
            }
            Refresh();
        });
    if (!core_.State.ServerMode) {
        phase_ = TConnectionPhase::Connected;
        server_ = Server();
    }
    Refresh();
}

TStatusBar::~TStatusBar() {
    core_.Log.RemoveObserver(this);
}

std::string TStatusBar::Server() const {
    const ftp::TFtpClient& f = core_.Ftp1;
    return UsualPort(f.Port()) ? f.HostName() : f.HostName() + ":" + f.Port();
}

void TStatusBar::LinesAppended(size_t count) {
    const size_t n = core_.Log.Count();
    for (size_t i = n - std::min(count, n); i < n; ++i) {
        const TLogLine& line = core_.Log.Line(i);
        if (line.Kind == TLogKind::Error) {
            failure_ = line.Text;
        } else if (line.Kind == TLogKind::Session && line.Text.starts_with(kConnectingPrefix) &&
                   core_.State.ServerMode) {
            // A connect (or another attempt of it) has started.
            phase_ = TConnectionPhase::Connecting;
            server_ = Server();
            failure_.clear();
        }
    }
    Refresh();
}

void TStatusBar::SessionChanged() {
    if (!core_.State.ServerMode) {
        loggingIn_ = phase_ != TConnectionPhase::Connected;
        phase_ = TConnectionPhase::Connected;
        server_ = Server();
        return;
    }
    if (phase_ == TConnectionPhase::Connecting) {
        // Back at the server list without a session: the connect failed.
        failure_ = kCouldNotConnect + server_;
        const std::string& reason = core_.Ftp1.ErrorMessage();
        if (!reason.empty()) failure_ += ": " + reason;
    }
    phase_ = TConnectionPhase::NotConnected;
    loggingIn_ = false;
}

void TStatusBar::Refresh() {
    std::string connection;
    switch (phase_) {
        case TConnectionPhase::NotConnected:
            connection = kNotConnectedText;
            break;
        case TConnectionPhase::Connecting:
            connection = std::string(kConnectingPrefix) + server_;
            break;
        case TConnectionPhase::Connected:
            connection = kConnectedPrefix + server_;
            break;
    }
    std::string rate;
    std::string queued;
    if (const dialogs::TProgress* p = transfers_.Progress()) {
        rate = p->TransferRateLbl();
        const size_t files = core_.State.Queues.FileQueue.size();
        if (files > 0)
            queued = std::to_string(files) + (files == 1 ? " file" : " files") + " queued";
    }
    if (connection == connection_ && rate == rate_ && queued == queued_ &&
        failure_ == notifiedFailure_) {
        return;
    }
    notifiedFailure_ = failure_;
    connection_ = std::move(connection);
    rate_ = std::move(rate);
    queued_ = std::move(queued);
    if (onChange_) onChange_();
}

}  // namespace tarnwick::session

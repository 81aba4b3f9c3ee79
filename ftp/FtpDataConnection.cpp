// TCustomFtpCli: preparing the data connection (PORT in active mode, PASV in passive mode),
// the restart offset, progress and abort, the statistics line and the local file.
#include <arpa/inet.h>

#include <algorithm>

#include "ftp/FtpClient.h"
#include "platform/TickCount.h"

namespace tarnwick::ftp {

namespace {

constexpr int kReplyOk = 200;
constexpr int kReplyPassive = 227;
constexpr int kReplyRestarting = 350;
constexpr int kFirstPreliminary = 100;
constexpr int kFirstCompletion = 200;
constexpr int kActiveLingerSeconds = 10;

std::string ClassName(const std::exception& e) {
    if (dynamic_cast<const net::ESocketException*>(&e) != nullptr) return "ESocketException";
    if (dynamic_cast<const FtpException*>(&e) != nullptr) return "FtpException";
    return "Exception";
}

}  // namespace

// ---- the data socket ---------------------------------------------------------------------

void TCustomFtpCli::ResetDataSocket() {
    net::TWSocket& data = *dataSocket_;
    data.OnSessionAvailable = nullptr;
    data.OnSessionClosed = nullptr;
    data.OnDataAvailable = nullptr;
    data.OnSessionConnected = nullptr;
    data.OnDataSent = nullptr;
    earlyData_.Reset();
    if (data.State() != net::wsClosed) data.Close();
    data.SetProto("tcp");
    data.SetAddr("0.0.0.0");
    data.SetPort("0");
}

bool TCustomFtpCli::ConnectPassive(bool upload) {
    const int failCode = upload ? kFtpErrAborted : kFtpErrLocal;
    try {
        uint16_t port = 0;
        if (!ParsePasvPort(pasvReply_, port) || port == 0)
            throw FtpException("no usable PASV reply \"" + pasvReply_ + "\"");
        net::TWSocket& data = *dataSocket_;
        if (data.State() != net::wsClosed) data.Close();
        data.SetProto("tcp");
        data.SetPort(std::to_string(port));
        data.SetAddr(controlSocket_->Addr());
        ApplySocksSettings(data);
        if (upload) {
            data.OnSessionConnected = [this](net::TCustomWSocket*, uint16_t e) {
                DataPutConnected(e);
            };
        } else {
            data.OnSessionConnected = [this](net::TCustomWSocket*, uint16_t e) {
                DataGetConnected(e);
            };
        }
        data.SetLingerOnOff(net::wsLingerOff);
        data.SetLingerTimeout(0);
        data.Connect();
    } catch (const std::exception& e) {
        FailTransferStart(failCode,
                          std::to_string(failCode) + " " + ClassName(e) + ": " + e.what());
        return false;
    }
    return true;
}

net::TSocket TCustomFtpCli::AcceptDataConnection() {
    net::TWSocket& data = *dataSocket_;
    const net::TSocket handle = data.Accept();
    if (handle == net::kInvalidSocket) return handle;  // nothing taken: the listener waits on
    if (!FromControlPeer(handle)) return net::kInvalidSocket;
    data.OnSessionAvailable = nullptr;
    data.Close();  // the listener
    return handle;
}

// A data connection in active mode must come from the host the control connection goes to:
// anyone else who reaches the listener first would get an upload's bytes or feed a
// download with its own. Such a connection is closed and the listener keeps waiting.
bool TCustomFtpCli::FromControlPeer(net::TSocket handle) {
    sockaddr_in peer{};
    int peerLen = sizeof(peer);
    sockaddr_in server{};
    int serverLen = sizeof(server);
    if (platform::SocketGetPeerName(handle, &peer, &peerLen) != 0 ||
        controlSocket_->GetPeerSockAddr(server, serverLen) != 0 ||
        peer.sin_addr.s_addr == server.sin_addr.s_addr)
        return true;  // a peer that cannot be read has reset already; its close follows
    Display("! Data connection from " + platform::InetNtoa(peer.sin_addr.s_addr) + " refused");
    platform::SocketClose(handle);
    return false;
}

// Ends a transfer step that could not start (nothing was sent for it).
void TCustomFtpCli::FailTransferStart(int code, const std::string& text) {
    replyPending_ = false;
    CloseLocalFile();
    resumeAt_ = 0;
    lastResponse_ = text;
    statusCode_ = code;
    SetErrorFromReply();
    if (dataSocket_->State() != net::wsClosed) dataSocket_->Close();
    requestResult_ = code;
    FinishRequest(code);
}

void TCustomFtpCli::RecordTransferFailure(int code, const std::string& text) {
    if (xfer_.failure == 0) xfer_.failure = code;
    if (errorMessage_.empty()) errorMessage_ = text;
}

// The preliminary reply to the verb was not 125 or 150: nothing is transferred.
void TCustomFtpCli::TransferRefused() {
    SetErrorFromReply();
    nextHandler_ = nullptr;
    // Closed first, so that the close of the data connection below is not taken for a
    // failure of a transfer that runs; bytes held for a download go unwritten.
    CloseLocalFile();
    xfer_.heldData.clear();
    if (dataSocket_->State() != net::wsClosed) dataSocket_->Close();
    EndTransfer(statusCode_);
}

// The final reply was not a success: the transfer ends at once, the data connection with it.
void TCustomFtpCli::TransferFailed(const char* notice) {
    SetErrorFromReply();
    CloseLocalFile();
    if (dataSocket_->State() != net::wsClosed) dataSocket_->Close();
    Display(notice);
    EndTransfer(statusCode_);
}

// A transfer ends when both its good final reply and its data close have come, whichever
// comes second.
void TCustomFtpCli::TransferFinish() {
    if (!xfer_.finalReplyOk || !xfer_.dataClosed || requestDoneFlag_) return;
    ShowTransferStats();
    EndTransfer(xfer_.dataError);
}

// A transfer counts as awaiting its reply until it ends: a control connection lost before
// that (after the final reply but before the data connection closed, say) fails it.
void TCustomFtpCli::EndTransfer(int Error) {
    replyPending_ = false;
    CloseLocalFile();
    resumeAt_ = 0;
    if (requestDoneFlag_) return;  // ended already (the control connection was lost)
    if (xfer_.failure != 0) Error = xfer_.failure;
    requestResult_ = Error;
    FinishRequest(Error);
}

// ---- PORT / PASV -------------------------------------------------------------------------

void TCustomFtpCli::PortAsync() {
    CheckReady();
    if (!controlUp_) RaiseError("FTP component not connected");
    sockaddr_in local{};
    int len = sizeof(local);
    if (controlSocket_->GetSockName(local, len) != 0)
        RaiseError("PORT: the control connection has no local address");
    ResetDataSocket();
    std::string cmd = "PASV";
    if (!passive_) {
        net::TWSocket& data = *dataSocket_;
        try {
            data.SetLingerOnOff(net::wsLingerOn);
            data.SetLingerTimeout(kActiveLingerSeconds);
            // The listener takes connections on the control connection's own interface only:
            // that is the address the PORT command names.
            data.SetAddr(inet_ntoa(local.sin_addr));
            data.Listen();
        } catch (const std::exception& e) {
            if (data.State() != net::wsClosed) data.Close();
            RaiseError(std::string("PORT: ") + e.what());
        }
        // Some servers connect as soon as PORT arrives, before the transfer verb: the
        // connection waits here for the transfer step.
        data.OnSessionAvailable = [this](net::TCustomWSocket*, uint16_t) {
            const net::TSocket handle = AcceptDataConnection();
            if (handle != net::kInvalidSocket) earlyData_.Hold(handle);
        };
        sockaddr_in bound{};
        int boundLen = sizeof(bound);
        if (data.GetSockName(bound, boundLen) != 0) {
            data.Close();
            RaiseError("PORT: the data listener has no port");
        }
        cmd = PortCommandText(controlSocket_->Addr(), local.sin_addr, ntohs(bound.sin_port));
    }
    xfer_.byteCount = 0;
    IssueCommand(TFtpRequest::PortAsync, TFtpStep::Port, cmd, {kReplyOk, kReplyPassive},
                 &TCustomFtpCli::PortReplyDone);
}

void TCustomFtpCli::PortReplyDone() {
    if (requestResult_ == 0 && passive_) {
        // Without a port the transfer step would have nowhere to connect: the request ends
        // here with a text that names the reply.
        uint16_t port = 0;
        std::string problem;
        if (statusCode_ != kReplyPassive) {
            problem = "PASV answered without a 227 reply: ";
        } else if (!ParsePasvPort(lastResponse_, port) || port == 0) {
            problem = "PASV reply without six numbers in parentheses: ";
        }
        if (!problem.empty()) {
            requestResult_ = kFtpErrEngine;
            if (errorMessage_.empty())
                errorMessage_ = std::to_string(kFtpErrEngine) + " " + problem + lastResponse_;
        }
    }
    FinishRequest(requestResult_);
}

// ---- REST --------------------------------------------------------------------------------

void TCustomFtpCli::RestAsync() {
    CheckReady();
    prevStep_ = TFtpStep::Rest;
    const bool upload =
        requestType_ == TFtpRequest::RestPutAsync || requestType_ == TFtpRequest::RestartPutAsync;
    if (!upload && (options_ & ftpNoAutoResumeAt) == 0) resumeAt_ = LocalFileSize(localFileName_);
    if (resumeAt_ > 0) {
        // A download that is not restarted starts from the beginning, so any reply below 500
        // will do; an upload sent from the offset of a REST the server did not take would
        // store the file without its head: only 350 lets it go on.
        if (upload) {
            IssueCommand(TFtpRequest::RestAsync, TFtpStep::Rest,
                         "REST " + std::to_string(resumeAt_), {kReplyRestarting},
                         &TCustomFtpCli::RestReplyDone);
        } else {
            IssueCommand(TFtpRequest::RestAsync, TFtpStep::Rest,
                         "REST " + std::to_string(resumeAt_), {}, &TCustomFtpCli::RestReplyDone);
        }
        return;
    }
    // Nothing to restart from: no command, the request goes on (or ends) at once.
    if (!compoundFlag_) {
        requestType_ = TFtpRequest::RestAsync;
        errorMessage_.clear();
    }
    requestDoneFlag_ = false;
    nextHandler_ = &TCustomFtpCli::HandleCommandReply;
    doneHandler_ = nullptr;
    FinishRequest(0);
}

void TCustomFtpCli::RestReplyDone() {
    // From a 350 on the server applies the offset to its next RETR, STOR or APPE, whichever
    // request that belongs to. (A REST sent on its own is the caller's to use.)
    if (compoundFlag_ && statusCode_ == kReplyRestarting) restartHeld_ = true;
    FinishRequest(requestResult_);
}

// The transfer the offset was for never sent its verb (cancelled, no local file, no data
// connection): left alone, the offset would restart the next plain upload or download in
// the middle of its file. The request keeps its own end (error, ErrorMessage, StatusCode,
// LastResponse) and reports it after the reply to "REST 0".
bool TCustomFtpCli::ClearHeldRestart(int Error) {
    if (!restartHeld_) return false;
    restartHeld_ = false;
    if (!controlUp_ || state_ == esAborting || controlSocket_->State() != net::wsConnected)
        return false;  // the session is gone, and its offset with it
    if (dataSocket_->State() != net::wsClosed) dataSocket_->Close();
    earlyData_.Reset();
    endHeld_ = EndHeldForRestart{true, Error, lastResponse_, statusCode_};
    requestResult_ = Error;
    requestDoneFlag_ = false;
    doneHandler_ = nullptr;
    nextHandler_ = &TCustomFtpCli::RestartClearedReply;
    replyPending_ = true;
    quitSent_ = false;
    ChangeState(esAwaitingReply);
    SendCommand("REST 0");
    return true;
}

void TCustomFtpCli::RestartClearedReply() {
    DisplayReply();
    if (statusCode_ >= kFirstPreliminary && statusCode_ < kFirstCompletion) return;
    replyPending_ = false;
    nextHandler_ = nullptr;
    FinishRequest(endHeld_.error);
}

// ---- progress, statistics, local file, engine messages -------------------------------------

bool TCustomFtpCli::ReportProgress() {
    if (!OnProgress) return true;
    bool abort = false;
    OnProgress(this, xfer_.byteCount + std::max<int64_t>(resumeAt_, 0), abort);
    if (!abort) return true;
    Display("! Abort requested");
    // Whatever the server answers now (a 226 for the bytes it had sent already, say), the
    // transfer did not complete.
    RecordTransferFailure(kFtpErrAborted, "426 Transfer aborted");
    if (dataSocket_->State() != net::wsClosed) dataSocket_->Close();
    return false;
}

void TCustomFtpCli::ShowTransferStats() {
    xfer_.stopTick = platform::GetTickCount();
    const uint64_t ms = xfer_.startTick == 0 || xfer_.stopTick < xfer_.startTick
                            ? 0
                            : xfer_.stopTick - xfer_.startTick;
    Display("! " + TransferStatsText(xfer_.byteCount, ms));
}

void TCustomFtpCli::CloseLocalFile() {
    localStream_.Close();
    xfer_.localFilePending = false;
}

void TCustomFtpCli::HandleEngineMessage(const platform::Message& msg) {
    if (msg.msg != FtpMsgSendData) return;
    xfer_.startTick = platform::GetTickCount();
    DataPutSend(0);
}

}  // namespace tarnwick::ftp

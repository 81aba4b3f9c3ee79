// TCustomFtpCli: the data steps around the transfers: preparing the data connection (PORT
// in active mode, PASV in passive mode), the restart offset, the end of a transfer, progress
// and abort, the statistics line and the local file.
#include <algorithm>

#include "ftp/FtpClient.h"
#include "platform/TickCount.h"

namespace tarnwick::ftp {

namespace {

constexpr int kReplyOk = 200;
constexpr int kReplyPassive = 227;
constexpr int kReplyExtendedPassive = 229;
constexpr int kReplyRestarting = 350;
constexpr int kFirstPreliminary = 100;
constexpr int kFirstCompletion = 200;

std::string ClassName(const std::exception& e) {
    if (dynamic_cast<const net::ESocketException*>(&e) != nullptr) return "ESocketException";
    if (dynamic_cast<const FtpException*>(&e) != nullptr) return "FtpException";
    return "Exception";
}

}  // namespace

// ---- the data connection ---------------------------------------------------------------

bool TCustomFtpCli::ConnectPassive(bool upload) {
    const int failCode = upload ? kFtpErrAborted : kFtpErrLocal;
    try {
        data_->ConnectPassive([this, upload](net::TWSocket& data) {
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
        });
    } catch (const std::exception& e) {
        FailTransferStart(failCode,
                          std::to_string(failCode) + " " + ClassName(e) + ": " + e.what());
        return false;
    }
    return true;
}

// Ends a transfer step that could not start (nothing was sent for it).
void TCustomFtpCli::FailTransferStart(int code, const std::string& text) {
    replyPending_ = false;
    CloseLocalFile();
    resumeAt_ = 0;
    lastResponse_ = text;
    statusCode_ = code;
    SetErrorFromReply();
    data_->CloseIfOpen();
    requestResult_ = code;
    FinishRequest(code);
}

void TCustomFtpCli::RecordTransferFailure(int code, const std::string& text) {
    if (data_->Transfer().failure == 0) data_->Transfer().failure = code;
    if (errorMessage_.empty()) errorMessage_ = text;
}

// The preliminary reply to the verb was not 125 or 150: nothing is transferred.
void TCustomFtpCli::TransferRefused() {
    SetErrorFromReply();
    nextHandler_ = nullptr;
    // Closed first, so that the close of the data connection below is not taken for a
    // failure of a transfer that runs; bytes held for a download go unwritten.
    CloseLocalFile();
    data_->Transfer().heldData.clear();
    data_->CloseIfOpen();
    EndTransfer(statusCode_);
}

// The final reply was not a success: the transfer ends at once, the data connection with it.
void TCustomFtpCli::TransferFailed(const char* notice) {
    SetErrorFromReply();
    CloseLocalFile();
    data_->CloseIfOpen();
    Display(notice);
    EndTransfer(statusCode_);
}

// A transfer ends when both its good final reply and its data close have come, whichever
// comes second.
void TCustomFtpCli::TransferFinish() {
    if (!data_->Transfer().finalReplyOk || !data_->Transfer().dataClosed || requestDoneFlag_)
        return;
    ShowTransferStats();
    EndTransfer(data_->Transfer().dataError);
}

// A transfer counts as awaiting its reply until it ends: a control connection lost before
// that (after the final reply but before the data connection closed, say) fails it.
void TCustomFtpCli::EndTransfer(int Error) {
    replyPending_ = false;
    CloseLocalFile();
    resumeAt_ = 0;
    if (requestDoneFlag_) return;  // ended already (the control connection was lost)
    if (data_->Transfer().failure != 0) Error = data_->Transfer().failure;
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
    data_->Reset();
    std::string problem;
    const std::string cmd = data_->Prepare(problem);
    if (cmd.empty()) RaiseError(problem);
    data_->Transfer().byteCount = 0;
    IssueCommand(TFtpRequest::PortAsync, TFtpStep::Port, cmd,
                 {kReplyOk, kReplyPassive, kReplyExtendedPassive}, &TCustomFtpCli::PortReplyDone);
    errorBeforePrepare_ = errorMessage_;
}

void TCustomFtpCli::PortReplyDone() {
    if (data_->FallBackToPasv(statusCode_)) {
        // The same step goes on with PASV; the refusal is no error of the request.
        Display("! EPSV not understood by the server: PASV for the rest of the session");
        errorMessage_ = errorBeforePrepare_;
        requestResult_ = 0;
        replyPending_ = true;
        nextHandler_ = &TCustomFtpCli::HandleCommandReply;
        doneHandler_ = &TCustomFtpCli::PortReplyDone;
        SendCommand("PASV");
        return;
    }
    if (requestResult_ == 0 && data_->Passive()) {
        // Without a port the transfer step would have nowhere to connect: the request ends
        // here with a text that names the reply.
        const std::string problem = data_->PassiveReplyProblem(statusCode_, lastResponse_);
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
    data_->CloseIfOpen();
    data_->DropEarly();
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
    OnProgress(this, data_->Transfer().byteCount + std::max<int64_t>(resumeAt_, 0), abort);
    if (!abort) return true;
    Display("! Abort requested");
    // Whatever the server answers now (a 226 for the bytes it had sent already, say), the
    // transfer did not complete.
    RecordTransferFailure(kFtpErrAborted, "426 Transfer aborted");
    data_->CloseIfOpen();
    return false;
}

void TCustomFtpCli::ShowTransferStats() {
    data_->Transfer().stopTick = platform::GetTickCount();
    const uint64_t ms =
        data_->Transfer().startTick == 0 || data_->Transfer().stopTick < data_->Transfer().startTick
            ? 0
            : data_->Transfer().stopTick - data_->Transfer().startTick;
    Display("! " + TransferStatsText(data_->Transfer().byteCount, ms));
}

void TCustomFtpCli::CloseLocalFile() {
    localStream_.Close();
    data_->Transfer().localFilePending = false;
}

void TCustomFtpCli::HandleEngineMessage(const platform::Message& msg) {
    if (msg.msg != FtpMsgSendData) return;
    data_->Transfer().startTick = platform::GetTickCount();
    DataPutSend(0);
}

}  // namespace tarnwick::ftp

// TCustomFtpCli: the upload step (STOR, APPE). One block of the local file is in the data
// socket at a time; the next is read when the socket reports that its queue has drained.
// Closing the data connection tells the server the file is complete.
#include <sys/socket.h>

#include <algorithm>

#include "ftp/FtpClient.h"
#include "platform/TickCount.h"

namespace tarnwick::ftp {

namespace {

constexpr int kAcceptedLingerSeconds = 10;

}  // namespace

void TCustomFtpCli::StorCmdAsync() {
    StartUpload(false);
}

void TCustomFtpCli::AppeCmdAsync() {
    StartUpload(true);
}

void TCustomFtpCli::StartUpload(bool append) {
    if (!controlUp_) RaiseError("STOR/APPE: not connected");
    if (localFileName_.empty()) RaiseError("LocalFileName empty");
    CheckReady();
    if (!compoundFlag_) {
        requestType_ = append ? TFtpRequest::AppendAsync : TFtpRequest::PutAsync;
        errorMessage_.clear();
    }
    data_->Transfer() = FtpTransferState{};
    data_->Transfer().appendFlag = append;
    data_->ResetTls();
    requestDoneFlag_ = false;

    bool cancel = false;
    if (OnReadyToTransmit) OnReadyToTransmit(this, cancel);
    if (cancel) {
        errorMessage_ = "426 Transmit cancelled by application";
        statusCode_ = kFtpErrAborted;
        Display("! " + errorMessage_);
        resumeAt_ = 0;
        requestResult_ = kFtpErrAborted;
        FinishRequest(kFtpErrAborted);
        return;
    }

    data_->Socket().OnSessionAvailable = [this](net::TCustomWSocket*, uint16_t) {
        DataPutAccepted();
    };
    CloseLocalFile();
    if (!localStream_.Open(localFileName_, LocalFile::Access::Read, ShareMode()) ||
        (resumeAt_ > 0 && !localStream_.Seek(resumeAt_))) {
        localStream_.Close();
        errorMessage_ = "426 Unable to open local file " + localFileName_;
        statusCode_ = kFtpErrAborted;
        Display("! " + errorMessage_);
        data_->CloseIfOpen();
        resumeAt_ = 0;
        requestResult_ = kFtpErrAborted;
        FinishRequest(kFtpErrAborted);
        return;
    }
    data_->Transfer().bytesToSend =
        std::max<int64_t>(localStream_.Size() - std::max<int64_t>(resumeAt_, 0), 0);

    if (data_->Passive()) {
        // The verb goes out once the data connection is up (DataPutConnected); meanwhile
        // the engine is busy.
        ChangeState(esAwaitingReply);
        nextHandler_ = &TCustomFtpCli::PutFirstReply;
        replyPending_ = true;
        ConnectPassive(true);
        return;
    }
    SendUploadVerb();
    if (data_->HoldsEarly()) AdoptPutConnection(data_->TakeEarly());
}

void TCustomFtpCli::SendUploadVerb() {
    ChangeState(esAwaitingReply);
    nextHandler_ = &TCustomFtpCli::PutFirstReply;
    replyPending_ = true;
    SendCommand((data_->Transfer().appendFlag ? "APPE " : "STOR ") + hostFileName_);
}

void TCustomFtpCli::DataPutConnected(uint16_t Error) {
    net::TWSocket& data = data_->Socket();
    data.OnSessionClosed = [this](net::TCustomWSocket*, uint16_t e) { DataPutClosed(e); };
    data.OnDataAvailable = nullptr;
    data.OnDataSent = nullptr;
    data_->Transfer().putConnected = true;
    data_->Transfer().startTick = platform::GetTickCount();
    if (Error != 0) {
        FailTransferStart(kFtpErrLocal, std::to_string(kFtpErrLocal) +
                                            " Unable to establish data connection, error #" +
                                            std::to_string(Error));
        return;
    }
    data_->SecureWhenUp();
    SendUploadVerb();
}

void TCustomFtpCli::DataPutAccepted() {
    const net::TSocket handle = data_->Accept();
    if (handle != net::kInvalidSocket) AdoptPutConnection(handle);
}

// An upload's sending: each drained block asks for the next, each hand-over counts.
void TCustomFtpCli::HookPutSending(net::TWSocket& data) {
    data.OnDataSent = [this](net::TCustomWSocket*, uint16_t e) { DataPutSend(e); };
    data.OnSendData = [this](net::TCustomWSocket*, int n) { DataPutHandedOver(n); };
}

void TCustomFtpCli::AdoptPutConnection(net::TSocket handle) {
    net::TWSocket& data = data_->Socket();
    data.OnSessionClosed = [this](net::TCustomWSocket*, uint16_t e) { DataPutClosed(e); };
    data.OnDataAvailable = [this](net::TCustomWSocket*, uint16_t) { DataPutDiscard(); };
    HookPutSending(data);
    data.Dup(handle);
    data_->SecureWhenUp();
    int sendBuffer = 0;
    int len = sizeof(sendBuffer);
    if (data.GetSockOpt(SOL_SOCKET, SO_SNDBUF, &sendBuffer, len) != 0)
        RaiseError("winsock.getsockopt(SO_SNDBUF) failed");
    data.SetLingerOnOff(net::wsLingerOff);
    data.SetLingerTimeout(kAcceptedLingerSeconds);
    data.ApplyLinger();
    data_->Transfer().putConnected = true;
    if (data_->Transfer().storReplied && data_->Transfer().startTick == 0)
        PostEngineMessage(FtpMsgSendData, 0);
}

void TCustomFtpCli::PutFirstReply() {
    DisplayReply();
    if (statusCode_ == kReplyAlreadyOpen || statusCode_ == kReplyOpening) {
        data_->Transfer().storReplied = true;
        data_->SecureAfterReply();
        nextHandler_ = &TCustomFtpCli::PutFinalReply;
        if (data_->Passive()) {
            HookPutSending(data_->Socket());
            DataPutSend(0);
        } else if (data_->Transfer().putConnected && data_->Transfer().startTick == 0) {
            PostEngineMessage(FtpMsgSendData, 0);
        }
        return;
    }
    TransferRefused();
}

void TCustomFtpCli::DataPutSend(uint16_t Error) {
    if (!localStream_.IsOpen() || !ReportProgress()) return;
    net::TWSocket& data = data_->Socket();
    if (Error != 0) {
        Display("! Error #" + std::to_string(Error) + " sending data");
        RecordTransferFailure(kFtpErrAborted,
                              "426 Error #" + std::to_string(Error) + " sending data");
        if (data.State() != net::wsClosed) data.Close();
        return;
    }
    if (data_->Transfer().eofReached || !data_->Transfer().storReplied ||
        !data_->Transfer().putConnected)
        return;
    // One block at a time: a block still queued reports its drain, and the next follows.
    if (!data.AllSent() || data.State() != net::wsConnected) return;
    if (!sendBlock_) sendBlock_ = std::make_unique<char[]>(kSendBlockSize);
    const int64_t n = localStream_.Read(sendBlock_.get(), kSendBlockSize);
    if (n < 0) {
        Display("! Error reading file");
        RecordTransferFailure(kFtpErrAborted, "426 Error reading file " + localFileName_);
        data.Close();
        return;
    }
    if (n == 0) {
        data_->Transfer().eofReached = true;
        data.Close();
        return;
    }
    data.Send(sendBlock_.get(), static_cast<int>(n));
}

// Bytes count as sent once the stack has taken them, and every hand-over reports progress:
// on a slow link a block takes long to drain, and the progress, the user's abort and the
// idle time-out follow the bytes rather than the blocks.
void TCustomFtpCli::DataPutHandedOver(int count) {
    data_->Transfer().byteCount += count;
    ReportProgress();
}

void TCustomFtpCli::DataPutDiscard() {
    if (!receiveBlock_) receiveBlock_ = std::make_unique<char[]>(kReceiveBlockSize);
    data_->Socket().Receive(receiveBlock_.get(), static_cast<int>(kReceiveBlockSize));
}

void TCustomFtpCli::DataPutClosed(uint16_t Error) {
    // A connection that ends before the whole file went out (the server or the network
    // cut it) is a failed upload, even if the server then calls the file complete. Only
    // an empty file has nothing to lose. (The engine closes the local file before closing
    // the connection itself.)
    if (!data_->Transfer().eofReached && localStream_.IsOpen() &&
        data_->Transfer().bytesToSend > 0) {
        if (!data_->Transfer().storReplied) {
            RecordTransferFailure(kFtpErrLocal,
                                  "550 Data connection closed before the transfer started");
        } else {
            RecordTransferFailure(kFtpErrAborted,
                                  "426 Data connection closed before the end of the file");
        }
    }
    CloseLocalFile();
    data_->Transfer().dataClosed = true;
    data_->Transfer().dataError = Error;
    TransferFinish();
}

void TCustomFtpCli::PutFinalReply() {
    DisplayReply();
    if (statusCode_ == kReplyTransferDone || statusCode_ == kReplyActionDone) {
        data_->Transfer().finalReplyOk = true;
        TransferFinish();
        return;
    }
    TransferFailed("! STOR Failed");
}

}  // namespace tarnwick::ftp

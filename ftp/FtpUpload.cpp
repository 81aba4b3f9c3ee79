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
    xfer_ = FtpTransferState{};
    xfer_.appendFlag = append;
    ResetDataTls();
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

    dataSocket_->OnSessionAvailable = [this](net::TCustomWSocket*, uint16_t) { DataPutAccepted(); };
    CloseLocalFile();
    if (!localStream_.Open(localFileName_, LocalFile::Access::Read, ShareMode()) ||
        (resumeAt_ > 0 && !localStream_.Seek(resumeAt_))) {
        localStream_.Close();
        errorMessage_ = "426 Unable to open local file " + localFileName_;
        statusCode_ = kFtpErrAborted;
        Display("! " + errorMessage_);
        if (dataSocket_->State() != net::wsClosed) dataSocket_->Close();
        resumeAt_ = 0;
        requestResult_ = kFtpErrAborted;
        FinishRequest(kFtpErrAborted);
        return;
    }
    xfer_.bytesToSend = std::max<int64_t>(localStream_.Size() - std::max<int64_t>(resumeAt_, 0), 0);

    if (passive_) {
        // The verb goes out once the data connection is up (DataPutConnected); meanwhile
        // the engine is busy.
        ChangeState(esAwaitingReply);
        nextHandler_ = &TCustomFtpCli::PutFirstReply;
        replyPending_ = true;
        ConnectPassive(true);
        return;
    }
    SendUploadVerb();
    if (earlyData_.Held()) AdoptPutConnection(earlyData_.Take());
}

void TCustomFtpCli::SendUploadVerb() {
    ChangeState(esAwaitingReply);
    nextHandler_ = &TCustomFtpCli::PutFirstReply;
    replyPending_ = true;
    SendCommand((xfer_.appendFlag ? "APPE " : "STOR ") + hostFileName_);
}

void TCustomFtpCli::DataPutConnected(uint16_t Error) {
    net::TWSocket& data = *dataSocket_;
    data.OnSessionClosed = [this](net::TCustomWSocket*, uint16_t e) { DataPutClosed(e); };
    data.OnDataAvailable = nullptr;
    data.OnDataSent = nullptr;
    xfer_.putConnected = true;
    xfer_.startTick = platform::GetTickCount();
    if (Error != 0) {
        FailTransferStart(kFtpErrLocal, std::to_string(kFtpErrLocal) +
                                            " Unable to establish data connection, error #" +
                                            std::to_string(Error));
        return;
    }
    SecureDataConnection();
    SendUploadVerb();
}

void TCustomFtpCli::DataPutAccepted() {
    const net::TSocket handle = AcceptDataConnection();
    if (handle != net::kInvalidSocket) AdoptPutConnection(handle);
}

void TCustomFtpCli::AdoptPutConnection(net::TSocket handle) {
    net::TWSocket& data = *dataSocket_;
    data.OnSessionClosed = [this](net::TCustomWSocket*, uint16_t e) { DataPutClosed(e); };
    data.OnDataAvailable = [this](net::TCustomWSocket*, uint16_t) { DataPutDiscard(); };
    data.OnDataSent = [this](net::TCustomWSocket*, uint16_t e) { DataPutSend(e); };
    data.Dup(handle);
    SecureDataConnection();
    int sendBuffer = 0;
    int len = sizeof(sendBuffer);
    if (data.GetSockOpt(SOL_SOCKET, SO_SNDBUF, &sendBuffer, len) != 0)
        RaiseError("winsock.getsockopt(SO_SNDBUF) failed");
    data.SetLingerOnOff(net::wsLingerOff);
    data.SetLingerTimeout(kAcceptedLingerSeconds);
    data.ApplyLinger();
    xfer_.putConnected = true;
    if (xfer_.storReplied && xfer_.startTick == 0) PostEngineMessage(FtpMsgSendData, 0);
}

void TCustomFtpCli::PutFirstReply() {
    DisplayReply();
    if (statusCode_ == kReplyAlreadyOpen || statusCode_ == kReplyOpening) {
        xfer_.storReplied = true;
        SecureDataAfterReply();
        nextHandler_ = &TCustomFtpCli::PutFinalReply;
        if (passive_) {
            dataSocket_->OnDataSent = [this](net::TCustomWSocket*, uint16_t e) { DataPutSend(e); };
            DataPutSend(0);
        } else if (xfer_.putConnected && xfer_.startTick == 0) {
            PostEngineMessage(FtpMsgSendData, 0);
        }
        return;
    }
    TransferRefused();
}

void TCustomFtpCli::DataPutSend(uint16_t Error) {
    if (!localStream_.IsOpen() || !ReportProgress()) return;
    net::TWSocket& data = *dataSocket_;
    if (Error != 0) {
        Display("! Error #" + std::to_string(Error) + " sending data");
        RecordTransferFailure(kFtpErrAborted,
                              "426 Error #" + std::to_string(Error) + " sending data");
        if (data.State() != net::wsClosed) data.Close();
        return;
    }
    if (xfer_.eofReached || !xfer_.storReplied || !xfer_.putConnected) return;
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
        xfer_.eofReached = true;
        data.Close();
        return;
    }
    xfer_.byteCount += n;
    data.Send(sendBlock_.get(), static_cast<int>(n));
}

void TCustomFtpCli::DataPutDiscard() {
    if (!receiveBlock_) receiveBlock_ = std::make_unique<char[]>(kReceiveBlockSize);
    dataSocket_->Receive(receiveBlock_.get(), static_cast<int>(kReceiveBlockSize));
}

void TCustomFtpCli::DataPutClosed(uint16_t Error) {
    // A connection that ends before the whole file went out (the server or the network
    // cut it) is a failed upload, even if the server then calls the file complete. Only
    // an empty file has nothing to lose. (The engine closes the local file before closing
    // the connection itself.)
    if (!xfer_.eofReached && localStream_.IsOpen() && xfer_.bytesToSend > 0) {
        if (!xfer_.storReplied) {
            RecordTransferFailure(kFtpErrLocal,
                                  "550 Data connection closed before the transfer started");
        } else {
            RecordTransferFailure(kFtpErrAborted,
                                  "426 Data connection closed before the end of the file");
        }
    }
    CloseLocalFile();
    xfer_.dataClosed = true;
    xfer_.dataError = Error;
    TransferFinish();
}

void TCustomFtpCli::PutFinalReply() {
    DisplayReply();
    if (statusCode_ == kReplyTransferDone || statusCode_ == kReplyActionDone) {
        xfer_.finalReplyOk = true;
        TransferFinish();
        return;
    }
    TransferFailed("! STOR Failed");
}

}  // namespace tarnwick::ftp

// TCustomFtpCli: the download step (RETR, LIST, NLST) into the local file or the line
// display. The step ends when both the server's final reply and the data connection's close
// have come, in either order.
#include <algorithm>

#include "ftp/FtpClient.h"
#include "platform/ErrorCodes.h"
#include "platform/TickCount.h"

namespace tarnwick::ftp {

void TCustomFtpCli::RetrCmdAsync() {
    StartDownload("RETR", TFtpRequest::GetAsync);
}

void TCustomFtpCli::ListCmdAsync() {
    StartDownload("LIST", TFtpRequest::DirAsync);
}

void TCustomFtpCli::MlsdCmdAsync() {
    StartDownload("MLSD", TFtpRequest::MlsdAsync);
}

void TCustomFtpCli::NlstCmdAsync() {
    StartDownload("NLST", TFtpRequest::LsAsync);
}

void TCustomFtpCli::StartDownload(const char* verb, TFtpRequest request) {
    if (!controlUp_) RaiseError(std::string(verb) + ": not connected");
    if (localFileName_.empty() && !displayFileFlag_) RaiseError("LocalFileName empty");
    CheckReady();
    if (!compoundFlag_) {
        requestType_ = request;
        errorMessage_.clear();
    }
    data_->Transfer() = FtpTransferState{};
    data_->Transfer().getCommand = verb;
    data_->ResetTls();
    requestDoneFlag_ = false;
    lineSplitter_.Clear();
    data_->Socket().OnSessionAvailable = [this](net::TCustomWSocket*, uint16_t) {
        DataGetAccepted();
    };

    CloseLocalFile();
    if (!displayFileFlag_) {
        // The file is opened (created, truncated) only once the server accepts the
        // transfer; what can be checked without touching it is checked now.
        if (!LocalFileWritable(localFileName_)) {
            FailTransferStart(kFtpErrLocal, std::to_string(kFtpErrLocal) +
                                                " Unable to open local file " + localFileName_);
            return;
        }
        data_->Transfer().localFilePending = true;
    }
    if (data_->Passive() && !ConnectPassive(false)) return;
    if (!data_->Passive() && data_->HoldsEarly()) AdoptGetConnection(data_->TakeEarly());

    // In passive mode the verb goes out right after the connect started.
    ChangeState(esAwaitingReply);
    nextHandler_ = &TCustomFtpCli::GetFirstReply;
    replyPending_ = true;
    SendCommand(hostFileName_.empty() ? std::string(verb)
                                      : std::string(verb) + " " + hostFileName_);
}

bool TCustomFtpCli::OpenDownloadFile() {
    data_->Transfer().localFilePending = false;
    bool ok;
    if (resumeAt_ > 0) {
        // A resumed download writes after the bytes already there; nothing is truncated.
        ok = localStream_.Open(localFileName_, LocalFile::Access::Write, ShareMode()) &&
             localStream_.Seek(resumeAt_);
    } else {
        ok = localStream_.Open(localFileName_, LocalFile::Access::Create, ShareMode());
    }
    if (ok) return true;
    localStream_.Close();
    const std::string text =
        std::to_string(kFtpErrLocal) + " Unable to open local file " + localFileName_;
    Display("! " + text);
    RecordTransferFailure(kFtpErrLocal, text);
    data_->CloseIfOpen();
    return false;
}

void TCustomFtpCli::DataGetAccepted() {
    const net::TSocket handle = data_->Accept();
    if (handle != net::kInvalidSocket) AdoptGetConnection(handle);
}

// A download's data socket: its bytes and its close drive the step; nothing is sent on it.
void TCustomFtpCli::HookGetHandlers(net::TWSocket& data) {
    data.OnSessionClosed = [this](net::TCustomWSocket*, uint16_t e) { DataGetClosed(e); };
    data.OnDataAvailable = [this](net::TCustomWSocket*, uint16_t) { DataGetReceive(); };
    data.OnDataSent = nullptr;
    data.OnSendData = nullptr;
}

void TCustomFtpCli::AdoptGetConnection(net::TSocket handle) {
    net::TWSocket& data = data_->Socket();
    HookGetHandlers(data);
    data.Dup(handle);
    data_->Transfer().startTick = platform::GetTickCount();
    data_->SecureWhenUp();
}

void TCustomFtpCli::DataGetConnected(uint16_t Error) {
    net::TWSocket& data = data_->Socket();
    HookGetHandlers(data);
    data_->Transfer().startTick = platform::GetTickCount();
    if (Error == 0) {
        data_->SecureWhenUp();
        return;
    }
    // The verb has gone out already: its replies are awaited before the request ends, so
    // that none of them is taken for the reply of the next command.
    RecordTransferFailure(kFtpErrLocal, std::to_string(kFtpErrLocal) +
                                            " Unable to establish data connection, error #" +
                                            std::to_string(Error));
    if (data.State() != net::wsClosed) data.Close();
}

void TCustomFtpCli::DataGetReceive() {
    if (!ReportProgress()) return;
    if (!data_->Transfer().accepted) {
        HoldEarlyData();
        return;
    }
    const int n = ReadDataBlock(data_->Protected() ? kTlsReceiveBlockSize : kReceiveBlockSize);
    if (n > 0) DeliverDownloadBytes(receiveBlock_.get(), static_cast<size_t>(n));
}

// Bytes before the server's 125/150 reply: nothing is written until the server has accepted
// the transfer. Once kEarlyDataLimit bytes are held the socket is left unread, so that no
// further read notification comes until AcceptDownload reads again.
void TCustomFtpCli::HoldEarlyData() {
    const size_t room =
        kEarlyDataLimit - std::min(data_->Transfer().heldData.size(), kEarlyDataLimit);
    if (room == 0) {
        data_->Transfer().readPaused = true;
        return;
    }
    const int n = ReadDataBlock(std::min(room, kReceiveBlockSize));
    if (n <= 0) return;
    data_->Transfer().heldData.append(receiveBlock_.get(), static_cast<size_t>(n));
    if (data_->Transfer().heldData.size() >= kEarlyDataLimit) data_->Transfer().readPaused = true;
}

// Reads at most size bytes into the receive block: the count, 0 at the end, or -1 (nothing
// there, or a broken connection, which fails the transfer).
int TCustomFtpCli::ReadDataBlock(size_t size) {
    if (!receiveBlock_) receiveBlock_ = std::make_unique<char[]>(kReceiveBlockSize);
    net::TWSocket& data = data_->Socket();
    const int n = data.Receive(receiveBlock_.get(), static_cast<int>(size));
    if (n < 0 && data.State() == net::wsConnected && data.LastError() != platform::kErrWouldBlock) {
        const int error = data.LastError();
        Display("! Data: Receive error " + std::to_string(error));
        RecordTransferFailure(kFtpErrAborted, std::to_string(kFtpErrAborted) +
                                                  " Data connection broken, receive error #" +
                                                  std::to_string(error));
        data.Close();
    }
    return n;
}

// Writes received bytes to the local file and the line display; false when the file cannot
// take them (the transfer then fails and the data connection is closed).
bool TCustomFtpCli::DeliverDownloadBytes(const char* bytes, size_t size) {
    data_->Transfer().byteCount += static_cast<int64_t>(size);
    if (localStream_.IsOpen() && !localStream_.Write(bytes, size)) {
        Display("! Error writing local file");
        RecordTransferFailure(kFtpErrLocal, std::to_string(kFtpErrLocal) +
                                                " Error writing local file " + localFileName_);
        CloseLocalFile();
        data_->CloseIfOpen();
        return false;
    }
    if (displayFileFlag_) DisplayFileBlock(bytes, size);
    return true;
}

void TCustomFtpCli::DataGetClosed(uint16_t Error) {
    if (!data_->Transfer().accepted && data_->Transfer().readPaused) {
        // The socket goes once this returns: what the stack still holds is taken now. The
        // peer cannot have sent more than the stack's receive buffer, as nothing was read.
        int n;
        while ((n = ReadDataBlock(kReceiveBlockSize)) > 0)
            data_->Transfer().heldData.append(receiveBlock_.get(), static_cast<size_t>(n));
        data_->Transfer().readPaused = false;
    }
    if (displayFileFlag_ && data_->Transfer().accepted) {
        lineSplitter_.Flush([this](std::string& line) { DisplayFileLine(line); });
    }
    // A file still waiting for the server's acceptance stays pending: an empty download
    // whose data connection closes before the 150 reply is created when that reply comes.
    localStream_.Close();
    data_->Transfer().dataClosed = true;
    data_->Transfer().dataError = Error;
    TransferFinish();
}

void TCustomFtpCli::GetFirstReply() {
    DisplayReply();
    if (statusCode_ == kReplyAlreadyOpen || statusCode_ == kReplyOpening) {
        nextHandler_ = &TCustomFtpCli::GetFinalReply;
        data_->SecureAfterReply();
        AcceptDownload();
        return;
    }
    TransferRefused();
}

// The server accepted the transfer: the local file is opened (created or truncated) now,
// and the bytes held until then go into it first.
void TCustomFtpCli::AcceptDownload() {
    data_->Transfer().accepted = true;
    if (data_->Transfer().localFilePending &&
        (data_->Transfer().failure != 0 || !OpenDownloadFile())) {
        data_->Transfer().heldData.clear();
        return;
    }
    std::string held;
    held.swap(data_->Transfer().heldData);
    if (!held.empty() && !DeliverDownloadBytes(held.data(), held.size())) return;
    if (data_->Transfer().dataClosed) {
        if (displayFileFlag_)
            lineSplitter_.Flush([this](std::string& line) { DisplayFileLine(line); });
        localStream_.Close();
        return;
    }
    if (data_->Transfer().readPaused) {
        // No read notification comes for bytes left unread: this read asks for the next.
        data_->Transfer().readPaused = false;
        DataGetReceive();
    }
}

void TCustomFtpCli::GetFinalReply() {
    DisplayReply();
    if (statusCode_ == kReplyAlreadyOpen || statusCode_ == kReplyTransferDone ||
        statusCode_ == kReplyActionDone) {
        data_->Transfer().finalReplyOk = true;
        TransferFinish();
        return;
    }
    TransferFailed("! RETR/LIST/NLST Failed");
}

void TCustomFtpCli::DisplayFileBlock(const char* data, size_t size) {
    lineSplitter_.Feed(data, size, [this](std::string& line) { DisplayFileLine(line); });
}

void TCustomFtpCli::DisplayFileLine(std::string& line) {
    if (OnDisplayFile) OnDisplayFile(this, line);
}

}  // namespace tarnwick::ftp

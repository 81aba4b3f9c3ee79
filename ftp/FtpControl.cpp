// TCustomFtpCli: creation, the control connection (lookup, connect, greeting), the reply
// reader, request completion and dropping the session.
#include <algorithm>
#include <cctype>

#include "ftp/FtpClient.h"
#include "ftp/FtpTransfer.h"

namespace tarnwick::ftp {

namespace {

constexpr int kGreetingOk = 220;
constexpr const char* kConnectionLostText = "426 Connection closed before the reply";
constexpr const char* kTooManyLinesText = "426 Reply longer than 10000 lines";
constexpr const char* kTooManyBytesText = "426 Reply longer than 1 MiB";
static_assert(ReplyFramer::kMaxReplyLines == 10000 && ReplyFramer::kMaxReplyBytes == 1 << 20,
              "the texts name the reply limits");
constexpr unsigned char kTelnetIac = 0xFF;
constexpr int kReplyBadArgument = 501;
constexpr const char* kUnsafeCommandText = "501 Command holds a line break or NUL";

// The class name shown in texts made from an exception ("500 ESocketException: ...").
std::string ExceptionClassName(const std::exception& e) {
    if (dynamic_cast<const net::ESocketException*>(&e) != nullptr) return "ESocketException";
    if (dynamic_cast<const FtpException*>(&e) != nullptr) return "FtpException";
    return "Exception";
}

// A line fits when it, its line end included, fits in the bytes the reply reader holds.
std::string LineTooLongText() {
    return "426 Reply line longer than " + std::to_string(ReplyReader::kMaxHeld) + " bytes";
}

bool IsPreliminary(int code) {
    return code >= 100 && code <= 199;
}

// The verbs with which a server uses up the offset of an earlier REST.
bool TakesRestartOffset(const std::string& cmd) {
    static constexpr const char* kVerbs[] = {"RETR", "STOR", "APPE"};
    constexpr size_t kVerbLength = 4;
    if (cmd.size() < kVerbLength || (cmd.size() > kVerbLength && cmd[kVerbLength] != ' '))
        return false;
    for (const char* verb : kVerbs) {
        bool same = true;
        for (size_t i = 0; i < kVerbLength && same; ++i)
            same = std::toupper(static_cast<unsigned char>(cmd[i])) == verb[i];
        if (same) return true;
    }
    return false;
}

// The bytes of a command on the wire: a Telnet IAC byte is doubled so that the server reads
// it as data, and CR LF ends the line.
std::string WireText(const std::string& cmd) {
    std::string wire;
    wire.reserve(cmd.size() + 2);
    for (char c : cmd) {
        wire += c;
        if (static_cast<unsigned char>(c) == kTelnetIac) wire += c;
    }
    wire += "\r\n";
    return wire;
}

std::string WinsockErrorLine(int error) {
    return "500 " + net::WinsockErrorText(error) + " (Winsock error #" + std::to_string(error) +
           ")";
}

}  // namespace

// ---- creation ---------------------------------------------------------------------------

TCustomFtpCli::TCustomFtpCli() : loop_(&platform::EventLoop::Current()) {
    window_ = loop_->RegisterTarget([this](const platform::Message& m) { EngineWndProc(m); });
    controlSocket_ = std::make_unique<net::TWSocket>();
    controlSocket_->OnDnsLookupDone = [this](net::TCustomWSocket*, uint16_t e) {
        ControlLookupDone(e);
    };
    controlSocket_->OnSessionConnected = [this](net::TCustomWSocket*, uint16_t e) {
        ControlSessionConnected(e);
    };
    controlSocket_->OnDataAvailable = [this](net::TCustomWSocket*, uint16_t e) {
        ControlDataAvailable(e);
    };
    controlSocket_->OnSessionClosed = [this](net::TCustomWSocket*, uint16_t e) {
        ControlSessionClosed(e);
    };
    data_ = std::make_unique<TFtpDataConnection>(*controlSocket_);
    data_->OnDisplay = [this](const std::string& text) { Display(text); };
    data_->OnTlsFailed = [this](const std::string& text) { DataTlsFailed(text); };
}

TCustomFtpCli::~TCustomFtpCli() {
    loop_->UnregisterTarget(window_);
    CloseLocalFile();
    // The sockets go without calling back into an engine that is being destroyed.
    data_.reset();
    DetachSocketHandlers(*controlSocket_);
    controlSocket_.reset();
}

bool TCustomFtpCli::Connected() const {
    return controlSocket_->State() != net::wsClosed;
}

// ---- small helpers of the request machinery ---------------------------------------------

void TCustomFtpCli::ChangeState(TFtpEngineState newState) {
    if (state_ == newState) return;
    state_ = newState;
    if (OnStateChange) OnStateChange(this);
}

void TCustomFtpCli::CheckReady() {
    if (state_ != esReady && state_ != esBetweenSteps) RaiseError("FTP component not ready");
}

void TCustomFtpCli::RaiseError(const std::string& Msg) {
    throw FtpException(Msg);
}

void TCustomFtpCli::SetErrorFromReply() {
    if (errorMessage_.empty()) errorMessage_ = lastResponse_;
}

void TCustomFtpCli::Display(const std::string& Msg) {
    if (!OnDisplay) return;
    std::string copy = Msg;  // changes made by the handler are ignored
    OnDisplay(this, copy);
}

bool HoldsLineBreakOrNul(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

void TCustomFtpCli::SendCommand(std::string Cmd) {
    if (OnCommand) OnCommand(this, Cmd);
    if (HoldsLineBreakOrNul(Cmd)) {
        RefuseCommand();
        return;
    }
    Display("> " + Cmd);
    if (TakesRestartOffset(Cmd)) restartHeld_ = false;
    if (controlSocket_->State() != net::wsConnected) return;
    try {
        controlSocket_->SendText(WireText(Cmd));
    } catch (const std::exception& e) {
        // A send the socket layer refuses loses the connection: the request it carried
        // ends through the close instead of waiting for a reply that cannot come.
        Display("! " + std::string(e.what()));
        if (controlSocket_->State() != net::wsClosed) controlSocket_->Close();
        if (controlUp_) ControlSessionClosed(static_cast<uint16_t>(controlSocket_->LastError()));
    }
}

// A text that would reach the server as more than one command (a name holding CR or LF, or
// a NUL that servers take as a line end) is never sent: the request ends as if the server
// had refused the argument, and the session stays in step.
void TCustomFtpCli::RefuseCommand() {
    Display(std::string("! ") + kUnsafeCommandText);
    if (requestDoneFlag_) return;  // no request runs (a direct call): nothing to end
    replyPending_ = false;
    nextHandler_ = nullptr;
    doneHandler_ = nullptr;
    lastResponse_ = kUnsafeCommandText;
    statusCode_ = kReplyBadArgument;
    requestResult_ = kReplyBadArgument;
    SetErrorFromReply();
    CloseLocalFile();
    data_->DropEarly();
    FinishRequest(kReplyBadArgument);
}

// ---- opening the control connection ----------------------------------------------------

void TCustomFtpCli::OpenAsync() {
    CheckReady();
    if (controlUp_) RaiseError("FTP component already connected");
    if (!compoundFlag_) {
        requestType_ = TFtpRequest::OpenAsync;
        errorMessage_.clear();
    }
    requestDoneFlag_ = false;
    reader_.Clear();
    framer_.Reset();
    quitSent_ = false;
    restartHeld_ = false;
    requestResult_ = 0;
    encrypted_ = false;
    data_->Unprotect();
    data_->NewSession();
    resolvedAddr_.clear();
    features_.clear();
    ChangeState(esResolving);
    const std::string& host = ConnectionType() == ftpProxy ? proxyServer_ : hostName_;
    // Through SOCKS 4A and 5 the proxy resolves the server's name (it may know names this
    // host does not): no lookup here, the name goes to the proxy as it is.
    const bool proxyResolves = ConnectionType() == ftpSocks4A || ConnectionType() == ftpSocks5;
    if (proxyResolves && !net::TrimBlanks(host).empty()) {
        ControlLookupDone(0);
        return;
    }
    try {
        controlSocket_->LookupHost(host);
    } catch (const std::exception& e) {
        // A name the socket layer refuses outright (an empty one) ends the request like a
        // lookup that failed, instead of leaving it resolving for ever.
        FailControlConnect("500 " + ExceptionClassName(e) + ": " + e.what(), kFtpErrEngine);
    }
}

void TCustomFtpCli::FailControlConnect(const std::string& text, int Error) {
    lastResponse_ = text;
    statusCode_ = kFtpErrEngine;
    requestResult_ = kFtpErrEngine;
    SetErrorFromReply();
    FinishRequest(Error);
}

void TCustomFtpCli::ControlLookupDone(uint16_t Error) {
    if (state_ != esResolving && state_ != esAborting) return;  // not a lookup of ours
    if (Error != 0) {
        FailControlConnect(WinsockErrorLine(Error), Error);
        return;
    }
    const bool proxyResolves = ConnectionType() == ftpSocks4A || ConnectionType() == ftpSocks5;
    resolvedAddr_ = proxyResolves ? net::TrimBlanks(hostName_) : controlSocket_->DnsResult();
    try {
        controlSocket_->SetAddr(resolvedAddr_);
        controlSocket_->SetProto("tcp");
        const bool viaProxy = ConnectionType() == ftpProxy && !proxyPort_.empty();
        controlSocket_->SetPort(viaProxy ? proxyPort_ : ControlPort());
        ApplySocksSettings(*controlSocket_);
        ChangeState(esAwaitingBanner);
        controlSocket_->Connect();
    } catch (const std::exception& e) {
        FailControlConnect("500 " + ExceptionClassName(e) + ": " + e.what(), kFtpErrEngine);
    }
}

void TCustomFtpCli::ControlSessionConnected(uint16_t Error) {
    if (Error == 0) {
        controlUp_ = true;
        if (encryption_ == TFtpEncryption::Implicit) {
            try {
                StartControlTls();
            } catch (const std::exception& e) {
                FailSecureConnect(std::string("500 ") + e.what(), kFtpErrEngine);
            }
        }
        return;
    }
    lastResponse_ = ConnectErrorLine(Error);
    statusCode_ = kFtpErrEngine;
    requestResult_ = kFtpErrEngine;
    SetErrorFromReply();
    nextRequest_ = nullptr;
    FinishRequest(Error);
    controlSocket_->Close();
    ChangeState(esReady);
}

void TCustomFtpCli::ControlSessionClosed(uint16_t Error) {
    const TFtpEngineState stateBefore = state_;
    restartHeld_ = false;  // the offset went with the session
    encrypted_ = false;
    data_->Unprotect();
    if (controlUp_) {
        controlUp_ = false;
        if (state_ != esAborting) ChangeState(esNotConnected);
        if (OnSessionClosed) OnSessionClosed(this, Error);
    }
    if (state_ != esAborting) ChangeState(esBetweenSteps);
    // Servers may answer QUIT by closing: that ends the QUIT as its 221 would.
    const bool quitClosed =
        !requestDoneFlag_ && stateBefore != esAborting && replyPending_ && quitSent_;
    if (quitClosed) requestResult_ = 0;
    quitSent_ = false;
    // A connection lost before the greeting or before a command's reply is a failure of
    // the request, never the success an earlier good reply would report.
    const bool cutShort = !requestDoneFlag_ && !quitClosed && stateBefore != esAborting &&
                          (stateBefore == esAwaitingBanner || replyPending_);
    if (cutShort && requestResult_ == 0) {
        requestResult_ = kFtpErrAborted;
        if (errorMessage_.empty() || !compoundFlag_) errorMessage_ = kConnectionLostText;
    }
    replyPending_ = false;
    FinishRequest(requestResult_);
}

// ---- the reply reader -------------------------------------------------------------------

void TCustomFtpCli::ControlDataAvailable(uint16_t Error) {
    const size_t room = reader_.Room();
    if (room == 0) {
        DropOnBadReply(LineTooLongText());
        return;
    }
    const int n = controlSocket_->Receive(reader_.WritePtr(), static_cast<int>(room));
    if (n == 0) {
        controlSocket_->Close();
        return;
    }
    if (n < 0) return;
    reader_.Commit(static_cast<size_t>(n));

    std::string line;
    size_t consumed = 0;
    while (reader_.Held() > 0) {
        if (!reader_.NextLine((options_ & ftpAcceptLF) != 0, line, &consumed)) break;
        lastResponse_ = line;
        if (OnResponse) OnResponse(this);
        const ReplyFramer::Verdict verdict = framer_.Take(line, consumed);
        if (verdict == ReplyFramer::Verdict::TooManyLines ||
            verdict == ReplyFramer::Verdict::TooManyBytes) {
            DropOnBadReply(verdict == ReplyFramer::Verdict::TooManyLines ? kTooManyLinesText
                                                                         : kTooManyBytesText);
            return;
        }
        bool stop = false;
        DispatchReplyLine(Error, verdict == ReplyFramer::Verdict::Final, stop);
        if (stop) break;
    }
    // A full buffer without a line end can never become a line: the connection is dropped
    // now rather than at a next read that may never be signalled.
    if (reader_.Room() == 0 && controlSocket_->State() != net::wsClosed)
        DropOnBadReply(LineTooLongText());
}

// A reply the reader cannot hold (a line longer than its buffer, a reply without end): the
// connection cannot be read any further, and the request running ends with the cause.
void TCustomFtpCli::DropOnBadReply(const std::string& text) {
    Display("! " + text);
    if (!requestDoneFlag_ && requestResult_ == 0) {
        requestResult_ = kFtpErrAborted;
        if (errorMessage_.empty() || !compoundFlag_) errorMessage_ = text;
    }
    // The close below ends the request with this result, not as a reply cut short.
    replyPending_ = false;
    quitSent_ = false;
    reader_.Clear();
    framer_.Reset();
    if (controlSocket_->State() != net::wsClosed) {
        controlSocket_->Close();
    } else if (!requestDoneFlag_) {
        FinishRequest(requestResult_);
    }
}

void TCustomFtpCli::DispatchReplyLine(uint16_t Error, bool final, bool& stop) {
    switch (state_) {
        case esAwaitingBanner: {
            DisplayReply();
            if (!final) return;
            statusCode_ = static_cast<int>(ParseNumber(lastResponse_));
            // A preliminary greeting ("120 ready in a minute"): the 220 is still to come.
            if (IsPreliminary(statusCode_)) return;
            if (statusCode_ == kGreetingOk) {
                ChangeState(esConnected);
                if (OnSessionConnected) OnSessionConnected(this, Error);
                if (ExplicitTls()) {
                    SendAuthTls();  // the connect ends once TLS is up (or refused)
                    stop = true;
                    return;
                }
                FinishRequest(0);
                return;
            }
            SetErrorFromReply();
            requestResult_ = statusCode_;
            controlSocket_->Close();
            stop = true;
            return;
        }
        case esAwaitingReply: {
            if (!final) {
                if (prevStep_ == TFtpStep::Feat) TakeFeatureLine(lastResponse_);
                return;
            }
            statusCode_ = static_cast<int>(ParseNumber(lastResponse_));
            if (nextHandler_ == nullptr) RaiseError("Program error: FNext is nil");
            (this->*nextHandler_)();
            return;
        }
        default:
            DisplayReply();  // unsolicited lines are only logged
            return;
    }
}

// ---- request completion -----------------------------------------------------------------

void TCustomFtpCli::FinishRequest(int Error) {
    if (requestDoneFlag_) return;
    requestDoneFlag_ = true;
    if (Error == 0 && nextRequest_ != nullptr) {
        if (state_ != esAborting) ChangeState(esBetweenSteps);
        (this->*nextRequest_)();
        return;
    }
    nextRequest_ = nullptr;
    if (ClearHeldRestart(Error)) return;
    if (endHeld_.active) {
        // The request reports how it had ended, not the reply to its "REST 0".
        lastResponse_ = endHeld_.lastResponse;
        statusCode_ = endHeld_.statusCode;
        endHeld_.active = false;
    }
    ChangeState(esReady);
    // A restart offset belongs to the transfer it was set for, whichever step that ended at.
    if (compoundFlag_ && MovesData(requestType_)) resumeAt_ = 0;
    data_->CloseIfOpen();
    if (compoundFlag_ && savedStatusCode_ >= 0) {
        lastResponse_ = savedResponse_;
        statusCode_ = savedStatusCode_;
    }
    compoundFlag_ = false;
    ++undeliveredDones_;
    PostEngineMessage(FtpMsgRequestDone, static_cast<uint16_t>(Error));
}

void TCustomFtpCli::PostEngineMessage(uint32_t msg, uintptr_t wParam) {
    loop_->Post(window_, msg, wParam, 0);
}

void TCustomFtpCli::EngineWndProc(const platform::Message& msg) {
    try {
        if (msg.msg == FtpMsgRequestDone) {
            if (undeliveredDones_ > 0) --undeliveredDones_;
            if (OnRequestDone) OnRequestDone(this, requestType_, static_cast<uint16_t>(msg.wParam));
        } else {
            HandleEngineMessage(msg);
        }
    } catch (const std::exception& e) {
        HandleEngineException(e);
    } catch (...) {
        HandleEngineException(FtpException("Unknown exception in an FTP engine event"));
    }
}

void TCustomFtpCli::HandleEngineException(const std::exception& E) {
    bool canClose = true;
    if (!OnBgException) return;
    try {
        OnBgException(this, E, canClose);
    } catch (...) {
    }
}

// ---- dropping the session ---------------------------------------------------------------

void TCustomFtpCli::AbortSession() {
    const bool wasResolving = state_ == esResolving;
    // A single command or a connect still running is reported as aborted, not as the
    // success its last good reply would suggest. (A cancelled lookup reports 10004.)
    if (!requestDoneFlag_ && !compoundFlag_ && !wasResolving && requestResult_ == 0) {
        requestResult_ = kFtpErrAborted;
        errorMessage_ = "426 Operation aborted.";
    }
    restartHeld_ = false;  // the session and its offset are dropped
    ChangeState(esAborting);
    CloseLocalFile();
    if (wasResolving) controlSocket_->CancelLookup();
    if (controlSocket_->State() != net::wsClosed) controlSocket_->Close();
    data_->CloseIfOpen();
    // A request the closes above did not reach (nothing was open any more) ends here.
    if (!requestDoneFlag_) {
        if (compoundFlag_) {
            stepSet_ = 0;
            compoundResult_ = kFtpErrAborted;
            errorMessage_ = "426 Operation aborted.";
            nextRequest_ = nullptr;
            requestResult_ = kFtpErrAborted;
        }
        FinishRequest(requestResult_);
    }
    CloseLocalFile();
    resumeAt_ = 0;
    controlUp_ = false;
    ChangeState(esReady);
}

}  // namespace tarnwick::ftp

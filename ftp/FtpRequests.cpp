// TCustomFtpCli: the catalogue of requests. Single commands are issued and judged against
// their accepted codes; compound requests run their steps in one fixed order and report
// once, under their own request value.
#include <array>
#include <cctype>

#include "ftp/FtpClient.h"

namespace tarnwick::ftp {

namespace {

constexpr size_t kMaxAccepted = 15;  // the accepted-code list holds 16 entries with its end
constexpr int kFirstPreliminaryCode = 100;
constexpr int kFirstCompletionCode = 200;
constexpr int kFirstFailureCode = 500;
constexpr int kReplyNeedPassword = 331;
constexpr int kReplyPendingFurther = 350;
constexpr int kReplyFeatures = 211;
constexpr int kReplyUnknownCommand = 500;
constexpr int kReplyNotImplemented = 502;
// A FEAT reply longer than this is not believed any further.
constexpr size_t kMaxFeatureLines = 256;

// The order in which NextCompoundStep takes the steps of a compound request.
constexpr std::array<TFtpStep, 24> kStepOrder = {
    TFtpStep::Open,    TFtpStep::User, TFtpStep::Pass,    TFtpStep::Cwd,   TFtpStep::CDup,
    TFtpStep::TypeSet, TFtpStep::Port, TFtpStep::Rest,    TFtpStep::Get,   TFtpStep::Put,
    TFtpStep::Append,  TFtpStep::Dir,  TFtpStep::Mlsd,    TFtpStep::Ls,    TFtpStep::Syst,
    TFtpStep::Mkd,     TFtpStep::Rmd,  TFtpStep::RenFrom, TFtpStep::RenTo, TFtpStep::Size,
    TFtpStep::Dele,    TFtpStep::Pwd,  TFtpStep::Quote,   TFtpStep::Quit};

constexpr TFtpStepSet Steps(std::initializer_list<TFtpStep> steps) {
    TFtpStepSet set = 0;
    for (TFtpStep s : steps) set |= StepBit(s);
    return set;
}

using S = TFtpStep;
constexpr TFtpStepSet kLogin = Steps({S::Open, S::User, S::Pass});
constexpr TFtpStepSet kLoginCwd = kLogin | StepBit(S::Cwd);

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

const char* FtpRequestName(TFtpRequest request) {
    static const char* const kNames[] = {
        "none",          "OpenAsync",       "UserAsync",    "PassAsync",     "CwdAsync",
        "ConnectAsync",  "ReceiveAsync",    "DirAsync",     "LsAsync",       "PortAsync",
        "GetAsync",      "DirectoryAsync",  "ListAsync",    "SystemAsync",   "SystAsync",
        "QuitAsync",     "SizeAsync",       "PutAsync",     "AppendAsync",   "FileSizeAsync",
        "RqAbort",       "MkdAsync",        "RmdAsync",     "RenameAsync",   "DeleAsync",
        "RenAsync",      "RenToAsync",      "RenFromAsync", "DeleteAsync",   "MkdirAsync",
        "RmdirAsync",    "PwdAsync",        "QuoteAsync",   "CDupAsync",     "DoQuoteAsync",
        "TransmitAsync", "TypeSetAsync",    "RestAsync",    "RestGetAsync",  "RestartGetAsync",
        "RestPutAsync",  "RestartPutAsync", "FeatAsync",    "OptsUtf8Async", "MlsdAsync",
        "MdtmAsync",     "OptsMlstAsync"};
    const auto index = static_cast<size_t>(request);
    return index < std::size(kNames) ? kNames[index] : "";
}

// ---- single commands --------------------------------------------------------------------

void TCustomFtpCli::IssueCommand(TFtpRequest Request, TFtpStep Step, const std::string& Cmd,
                                 std::initializer_list<int> Accepted, Proc Done) {
    // Only these three go out while a request runs (raw commands can send them).
    const bool outOfTurn = Cmd == "ABOR" || Cmd == "STAT" || Cmd == "QUIT";
    const bool inTurn = state_ == esReady || state_ == esBetweenSteps;
    if (!outOfTurn) CheckReady();
    // Nothing can answer a command on a connection that is not up: refuse it rather than
    // wait for a reply that never comes.
    if (!controlUp_) RaiseError("FTP component not connected");
    // The step is recorded only once the command really goes out, so that a refused call
    // cannot change how the running request reads its reply.
    prevStep_ = Step;
    // A request of its own starts without the error text of an earlier one; a raw command
    // sent while busy joins the running request and keeps its text.
    if (!compoundFlag_ && inTurn) errorMessage_.clear();
    if (!compoundFlag_) requestType_ = Request;
    okReplies_.assign(Accepted.begin(), Accepted.end());
    if (okReplies_.size() > kMaxAccepted) okReplies_.resize(kMaxAccepted);
    requestDoneFlag_ = false;
    replyPending_ = true;
    // A QUIT that joins a running request (a transfer, say) does not make a close the end
    // of that request.
    quitSent_ = Cmd == "QUIT" && inTurn;
    nextHandler_ = &TCustomFtpCli::HandleCommandReply;
    doneHandler_ = Done;
    ChangeState(esAwaitingReply);
    SendCommand(Cmd);
}

void TCustomFtpCli::HandleCommandReply() {
    DisplayReply();
    // A preliminary reply is shown; the command goes on waiting for its final reply, so
    // that the replies of later commands stay theirs.
    if (statusCode_ >= kFirstPreliminaryCode && statusCode_ < kFirstCompletionCode) return;
    replyPending_ = false;
    quitSent_ = false;
    bool accepted = false;
    if (okReplies_.empty()) {
        accepted = statusCode_ < kFirstFailureCode;
    } else {
        for (int code : okReplies_) {
            if (code == statusCode_) {
                accepted = true;
                break;
            }
        }
    }
    if (accepted) {
        requestResult_ = 0;
    } else {
        requestResult_ = statusCode_;
        SetErrorFromReply();
    }
    data_->TakePrepareReply(statusCode_, lastResponse_);
    InterpretReply();
    if (ProtectAfterLogin()) return;
    if (doneHandler_ != nullptr) {
        (this->*doneHandler_)();
    } else {
        FinishRequest(requestResult_);
    }
}

void TCustomFtpCli::InterpretReply() {
    if (requestResult_ != 0) return;
    switch (prevStep_) {
        case TFtpStep::Size: {
            size_t pos = 0;
            ParseNumber(lastResponse_, pos);
            sizeResult_ = ParseNumber(lastResponse_, pos);
            break;
        }
        case TFtpStep::Cwd:
        case TFtpStep::Mkd:
        case TFtpStep::Pwd:
        case TFtpStep::CDup: {
            size_t pos = 0;
            ParseNumber(lastResponse_, pos);
            dirResult_ = ParseQuoted(lastResponse_, pos);
            break;
        }
        case TFtpStep::Feat: {
            features_.clear();
            if (statusCode_ == kReplyFeatures) {
                for (const std::string& line : featureLines_) {
                    const size_t begin = line.find_first_not_of(' ');
                    const size_t end = line.find_last_not_of(" \t");
                    if (begin != std::string::npos)
                        features_.push_back(line.substr(begin, end - begin + 1));
                }
            }
            featureLines_.clear();
            break;
        }
        case TFtpStep::Mdtm: {
            // "213 YYYYMMDDHHMMSS[.fff]": the time stamp is the word after the code.
            const size_t begin = lastResponse_.find_first_not_of(' ', 3);
            if (begin != std::string::npos)
                mdtmResult_ = lastResponse_.substr(begin, lastResponse_.find(' ', begin) - begin);
            break;
        }
        default:
            break;
    }
}

void TCustomFtpCli::UserAsync() {
    if (userName_.empty()) RaiseError("UserName emtpy");
    std::string cmd = "USER " + userName_;
    if (ConnectionType() == ftpProxy) {
        // The proxy takes the target in the login: user@host, and :port when not standard.
        cmd += "@" + hostName_;
        if (!EqualsIgnoreCase(port_, "ftp") && port_ != "21") cmd += ":" + port_;
    }
    IssueCommand(TFtpRequest::UserAsync, TFtpStep::User, cmd, {331, 230});
}

void TCustomFtpCli::PassAsync() {
    if (passWord_.empty()) RaiseError("Password emtpy");
    IssueCommand(TFtpRequest::PassAsync, TFtpStep::Pass, "PASS " + passWord_, {230});
}

void TCustomFtpCli::CwdAsync() {
    if (hostDirName_.empty()) RaiseError("HostDirName emtpy");
    IssueCommand(TFtpRequest::CwdAsync, TFtpStep::Cwd, "CWD " + hostDirName_, {200, 250, 257});
}

void TCustomFtpCli::CDupAsync() {
    IssueCommand(TFtpRequest::CDupAsync, TFtpStep::CDup, "CDUP", {250});
}

void TCustomFtpCli::PwdAsync() {
    IssueCommand(TFtpRequest::PwdAsync, TFtpStep::Pwd, "PWD", {250, 257});
}

void TCustomFtpCli::MkdAsync() {
    IssueCommand(TFtpRequest::MkdAsync, TFtpStep::Mkd, "MKD " + hostFileName_, {257});
}

void TCustomFtpCli::RmdAsync() {
    IssueCommand(TFtpRequest::RmdAsync, TFtpStep::Rmd, "RMD " + hostFileName_, {250, 257});
}

void TCustomFtpCli::DeleAsync() {
    IssueCommand(TFtpRequest::DeleAsync, TFtpStep::Dele, "DELE " + hostFileName_, {250, 257});
}

void TCustomFtpCli::RenFromAsync() {
    IssueCommand(TFtpRequest::RenFromAsync, TFtpStep::RenFrom, "RNFR " + hostFileName_, {350});
}

void TCustomFtpCli::RenToAsync() {
    IssueCommand(TFtpRequest::RenToAsync, TFtpStep::RenTo, "RNTO " + localFileName_,
                 {200, 250, 257});
}

void TCustomFtpCli::SizeAsync() {
    // Cleared only once the command goes out: a refused call leaves the last result.
    CheckReady();
    if (!controlUp_) RaiseError("FTP component not connected");
    sizeResult_ = 0;
    IssueCommand(TFtpRequest::SizeAsync, TFtpStep::Size, "SIZE " + hostFileName_, {213});
}

void TCustomFtpCli::FeatAsync() {
    CheckReady();
    if (!controlUp_) RaiseError("FTP component not connected");
    features_.clear();
    featureLines_.clear();
    // A server without FEAT has no features to tell: its 500 or 502 ends the request well.
    IssueCommand(TFtpRequest::FeatAsync, TFtpStep::Feat, "FEAT",
                 {kReplyFeatures, kReplyUnknownCommand, kReplyNotImplemented});
}

void TCustomFtpCli::OptsUtf8Async() {
    IssueCommand(TFtpRequest::OptsUtf8Async, TFtpStep::Opts, "OPTS UTF8 ON", {200, 202});
}

void TCustomFtpCli::OptsMlstAsync() {
    const std::string facts = MlstFactsWanted(features_);
    if (facts.empty()) RaiseError("No MLST facts to ask for");
    IssueCommand(TFtpRequest::OptsMlstAsync, TFtpStep::Opts, "OPTS MLST " + facts, {200});
}

void TCustomFtpCli::MdtmAsync() {
    CheckReady();
    if (!controlUp_) RaiseError("FTP component not connected");
    mdtmResult_.clear();
    IssueCommand(TFtpRequest::MdtmAsync, TFtpStep::Mdtm, "MDTM " + hostFileName_, {213});
}

bool TCustomFtpCli::HasFeature(std::string_view name) const {
    for (const std::string& f : features_)
        if (FeatureNamed(f, name)) return true;
    return false;
}

void TCustomFtpCli::TakeFeatureLine(const std::string& line) {
    // Feature lines of a 211 reply begin with a blank; the opening and closing lines do not.
    if (featureLines_.size() >= kMaxFeatureLines || line.empty() || line[0] != ' ') return;
    featureLines_.push_back(line);
}

void TCustomFtpCli::SystAsync() {
    IssueCommand(TFtpRequest::SystAsync, TFtpStep::Syst, "SYST", {215});
}

void TCustomFtpCli::TypeSetAsync() {
    IssueCommand(TFtpRequest::TypeSetAsync, TFtpStep::TypeSet, std::string("TYPE ") + typeLetter_,
                 {200});
}

void TCustomFtpCli::TypeBinaryAsync() {
    SetBinary(true);
    TypeSetAsync();
}

void TCustomFtpCli::TypeAsciiAsync() {
    SetBinary(false);
    TypeSetAsync();
}

void TCustomFtpCli::QuoteAsync() {
    IssueCommand(TFtpRequest::QuoteAsync, TFtpStep::Quote, localFileName_, {});
}

void TCustomFtpCli::QuitAsync() {
    CloseLocalFile();
    IssueCommand(TFtpRequest::QuitAsync, TFtpStep::Quit, "QUIT", {221},
                 &TCustomFtpCli::CloseControl);
}

void TCustomFtpCli::CloseControl() {
    controlSocket_->Close();
}

// ---- compound requests ------------------------------------------------------------------

void TCustomFtpCli::StartCompound(TFtpRequest Request, TFtpStepSet Steps) {
    if (controlUp_ && (Steps & StepBit(TFtpStep::Open)) != 0)
        RaiseError("FTP component already connected");
    CheckReady();
    const TFtpEngineState stateBefore = state_;
    savedResponse_ = lastResponse_;
    savedStatusCode_ = -1;
    requestType_ = Request;
    requestResult_ = 0;
    stepSet_ = Steps;
    prevStep_ = TFtpStep::None;
    compoundResult_ = 0;
    compoundFlag_ = true;
    lastResponse_.clear();
    errorMessage_.clear();
    // A name that cannot go out whole ends the request before any of its steps ran: no
    // session is opened and no data connection prepared for a command that is never sent.
    for (TFtpStep step : kStepOrder) {
        if ((Steps & StepBit(step)) == 0 || !HoldsLineBreakOrNul(StepArguments(step))) continue;
        stepSet_ = 0;
        requestDoneFlag_ = false;
        RefuseCommand();
        return;
    }
    startingCompound_ = true;
    try {
        NextCompoundStep();
    } catch (const FtpException&) {
        // The first step refused before anything went out: the request never started.
        startingCompound_ = false;
        compoundFlag_ = false;
        stepSet_ = 0;
        nextRequest_ = nullptr;
        requestDoneFlag_ = true;
        ChangeState(stateBefore);
        throw;
    }
    startingCompound_ = false;
}

void TCustomFtpCli::NextCompoundStep() {
    if (state_ == esAborting) {
        stepSet_ = 0;
        compoundResult_ = kFtpErrAborted;
        errorMessage_ = "426 Operation aborted.";
    }
    nextRequest_ = &TCustomFtpCli::NextCompoundStep;
    InterpretReply();
    for (TFtpStep step : kStepOrder) {
        if ((stepSet_ & StepBit(step)) == 0) continue;
        stepSet_ &= ~StepBit(step);
        switch (step) {
            case TFtpStep::Pass:
                // After USER answered 230 no password is sent.
                if (prevStep_ == TFtpStep::User && statusCode_ != kReplyNeedPassword) continue;
                break;
            case TFtpStep::Cwd:
                if (hostDirName_.empty()) continue;
                break;
            case TFtpStep::Get:
                if (!(prevStep_ == TFtpStep::Rest && resumeAt_ >= 0 &&
                      statusCode_ == kReplyPendingFurther))
                    resumeAt_ = 0;
                break;
            case TFtpStep::Quit:
                // The request reports the reply before QUIT.
                savedResponse_ = lastResponse_;
                savedStatusCode_ = statusCode_;
                break;
            default:
                break;
        }
        prevStep_ = step;
        if (startingCompound_) {
            // The first step: a refusal leaves through the caller's call. Steps that run
            // from inside it, once it has gone out, end the request instead.
            startingCompound_ = false;
            RunStep(step);
            return;
        }
        try {
            RunStep(step);
        } catch (const FtpException& e) {
            EndCompoundOnStepError(e.what());
        }
        return;
    }
    stepSet_ = 0;
    nextRequest_ = nullptr;
    requestDoneFlag_ = false;
    FinishRequest(compoundResult_);
}

void TCustomFtpCli::RunStep(TFtpStep step) {
    switch (step) {
        case TFtpStep::Open:
            OpenAsync();
            break;
        case TFtpStep::User:
            UserAsync();
            break;
        case TFtpStep::Pass:
            PassAsync();
            break;
        case TFtpStep::Cwd:
            CwdAsync();
            break;
        case TFtpStep::CDup:
            CDupAsync();
            break;
        case TFtpStep::TypeSet:
            TypeSetAsync();
            break;
        case TFtpStep::Port:
            PortAsync();
            break;
        case TFtpStep::Rest:
            RestAsync();
            break;
        case TFtpStep::Get:
            RetrCmdAsync();
            break;
        case TFtpStep::Put:
            StorCmdAsync();
            break;
        case TFtpStep::Append:
            AppeCmdAsync();
            break;
        case TFtpStep::Dir:
            ListCmdAsync();
            break;
        case TFtpStep::Ls:
            NlstCmdAsync();
            break;
        case TFtpStep::Mlsd:
            MlsdCmdAsync();
            break;
        case TFtpStep::Feat:
            FeatAsync();
            break;
        case TFtpStep::Opts:
            OptsUtf8Async();
            break;
        case TFtpStep::Mdtm:
            MdtmAsync();
            break;
        case TFtpStep::Syst:
            SystAsync();
            break;
        case TFtpStep::Mkd:
            MkdAsync();
            break;
        case TFtpStep::Rmd:
            RmdAsync();
            break;
        case TFtpStep::RenFrom:
            RenFromAsync();
            break;
        case TFtpStep::RenTo:
            RenToAsync();
            break;
        case TFtpStep::Size:
            SizeAsync();
            break;
        case TFtpStep::Dele:
            DeleAsync();
            break;
        case TFtpStep::Pwd:
            PwdAsync();
            break;
        case TFtpStep::Quote:
            QuoteAsync();
            break;
        case TFtpStep::Quit:
            QuitAsync();
            break;
        case TFtpStep::None:
            break;
    }
}

std::string TCustomFtpCli::StepArguments(TFtpStep step) const {
    switch (step) {
        case TFtpStep::User:
            return ConnectionType() == ftpProxy ? userName_ + hostName_ + port_ : userName_;
        case TFtpStep::Pass:
            return passWord_;
        case TFtpStep::Cwd:
            return hostDirName_;
        case TFtpStep::Size:
        case TFtpStep::Mkd:
        case TFtpStep::Rmd:
        case TFtpStep::Dele:
        case TFtpStep::RenFrom:
        case TFtpStep::Get:
        case TFtpStep::Dir:
        case TFtpStep::Mlsd:
        case TFtpStep::Mdtm:
        case TFtpStep::Ls:
        case TFtpStep::Put:
        case TFtpStep::Append:
            return hostFileName_;
        case TFtpStep::RenTo:
        case TFtpStep::Quote:
            return localFileName_;
        default:
            return {};
    }
}

void TCustomFtpCli::EndCompoundOnStepError(const std::string& text) {
    // A step that refuses to start (an empty UserName met at the User step, say) ends the
    // whole request with an engine error instead of leaving it open.
    lastResponse_ = std::to_string(kFtpErrEngine) + " " + text;
    statusCode_ = kFtpErrEngine;
    requestResult_ = kFtpErrEngine;
    SetErrorFromReply();
    stepSet_ = 0;
    nextRequest_ = nullptr;
    requestDoneFlag_ = false;
    FinishRequest(kFtpErrEngine);
}

void TCustomFtpCli::ConnectAsync() {
    StartCompound(TFtpRequest::ConnectAsync, kLogin);
}
void TCustomFtpCli::DirAsync() {
    StartCompound(TFtpRequest::DirAsync, Steps({S::Port, S::Dir}));
}
void TCustomFtpCli::MlsdAsync() {
    StartCompound(TFtpRequest::MlsdAsync, Steps({S::Port, S::Mlsd}));
}
void TCustomFtpCli::LsAsync() {
    StartCompound(TFtpRequest::LsAsync, Steps({S::Port, S::Ls}));
}
void TCustomFtpCli::GetAsync() {
    StartCompound(TFtpRequest::GetAsync, Steps({S::Port, S::Get}));
}
void TCustomFtpCli::PutAsync() {
    StartCompound(TFtpRequest::PutAsync, Steps({S::Port, S::Put}));
}
void TCustomFtpCli::AppendAsync() {
    StartCompound(TFtpRequest::AppendAsync, Steps({S::Port, S::Append}));
}
void TCustomFtpCli::RestGetAsync() {
    StartCompound(TFtpRequest::RestGetAsync, Steps({S::Port, S::Rest, S::Get}));
}
void TCustomFtpCli::RestPutAsync() {
    StartCompound(TFtpRequest::RestPutAsync, Steps({S::Port, S::Rest, S::Put}));
}
void TCustomFtpCli::RenAsync() {
    StartCompound(TFtpRequest::RenAsync, Steps({S::RenFrom, S::RenTo}));
}
void TCustomFtpCli::ReceiveAsync() {
    StartCompound(TFtpRequest::ReceiveAsync,
                  kLoginCwd | Steps({S::TypeSet, S::Port, S::Get, S::Quit}));
}
void TCustomFtpCli::RestartGetAsync() {
    StartCompound(TFtpRequest::RestartGetAsync,
                  kLoginCwd | Steps({S::TypeSet, S::Port, S::Rest, S::Get, S::Quit}));
}
void TCustomFtpCli::TransmitAsync() {
    StartCompound(TFtpRequest::TransmitAsync,
                  kLoginCwd | Steps({S::TypeSet, S::Port, S::Put, S::Quit}));
}
void TCustomFtpCli::RestartPutAsync() {
    StartCompound(TFtpRequest::RestartPutAsync,
                  kLoginCwd | Steps({S::TypeSet, S::Port, S::Rest, S::Put, S::Quit}));
}
void TCustomFtpCli::AppendFileAsync() {
    StartCompound(TFtpRequest::TransmitAsync,
                  kLoginCwd | Steps({S::TypeSet, S::Port, S::Append, S::Quit}));
}
void TCustomFtpCli::DirectoryAsync() {
    StartCompound(TFtpRequest::DirectoryAsync, kLoginCwd | Steps({S::Port, S::Dir, S::Quit}));
}
void TCustomFtpCli::ListAsync() {
    StartCompound(TFtpRequest::ListAsync, kLoginCwd | Steps({S::Port, S::Ls, S::Quit}));
}
void TCustomFtpCli::SystemAsync() {
    StartCompound(TFtpRequest::SystemAsync, kLogin | Steps({S::Syst, S::Quit}));
}
void TCustomFtpCli::FileSizeAsync() {
    StartCompound(TFtpRequest::SizeAsync, kLoginCwd | Steps({S::Size, S::Quit}));
}
void TCustomFtpCli::MkdirAsync() {
    StartCompound(TFtpRequest::MkdirAsync, kLoginCwd | Steps({S::Mkd, S::Quit}));
}
void TCustomFtpCli::RmdirAsync() {
    StartCompound(TFtpRequest::RmdirAsync, kLoginCwd | Steps({S::Rmd, S::Quit}));
}
void TCustomFtpCli::DeleteAsync() {
    StartCompound(TFtpRequest::DeleteAsync, kLoginCwd | Steps({S::Dele, S::Quit}));
}
void TCustomFtpCli::RenameAsync() {
    StartCompound(TFtpRequest::RenameAsync, kLoginCwd | Steps({S::RenFrom, S::RenTo, S::Quit}));
}
void TCustomFtpCli::DoQuoteAsync() {
    StartCompound(TFtpRequest::DoQuoteAsync, kLoginCwd | Steps({S::Quote, S::Quit}));
}

}  // namespace tarnwick::ftp

// TCustomFtpCli: the FTP engine. It owns the control socket and the data connection
// (TFtpDataConnection), cuts the control stream into reply lines, runs single-command and
// compound requests, and reports the end of every request that started with exactly one
// OnRequestDone, posted so that it runs after the operation that ended the request has
// returned.
//
// TFtpClient adds the waiting wrappers (RunSync, WaitUntilReady, Cwd, TypeSet, ...) with
// their Timeout.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpDataConnection.h"
#include "ftp/FtpFeatures.h"
#include "ftp/FtpLocalFile.h"
#include "ftp/FtpTransfer.h"
#include "ftp/FtpTypes.h"
#include "ftp/ReplyReader.h"
#include "net/TlsCertificate.h"
#include "net/WSocket.h"
#include "platform/EventLoop.h"

namespace tarnwick::ftp {

class TCustomFtpCli;

using TFtpDisplay = std::function<void(TCustomFtpCli* Sender, std::string& Msg)>;
using TFtpCommand = std::function<void(TCustomFtpCli* Sender, std::string& Cmd)>;
using TFtpNotify = std::function<void(TCustomFtpCli* Sender)>;
using TFtpProgress = std::function<void(TCustomFtpCli* Sender, int64_t Count, bool& Abort)>;
using TFtpSessionEvent = std::function<void(TCustomFtpCli* Sender, uint16_t Error)>;
using TFtpRequestDone =
    std::function<void(TCustomFtpCli* Sender, TFtpRequest RqType, uint16_t Error)>;
using TFtpReadyToTransmit = std::function<void(TCustomFtpCli* Sender, bool& bCancel)>;
// Called once per control connection after the TLS handshake and before USER, for every
// certificate (info.problem tells whether it verified); false stops the connect.
using TFtpCertificateCheck = std::function<bool(const net::TCertificateInfo& info)>;
using TFtpBgException =
    std::function<void(TCustomFtpCli* Sender, const std::exception& E, bool& CanClose)>;

// The engine's private messages (the user-message base is 1024).
inline constexpr uint32_t FtpMsgRequestDone = platform::kMsgUser + 1;
inline constexpr uint32_t FtpMsgSendData = platform::kMsgUser + 2;

// Engine error codes reported through OnRequestDone.
inline constexpr int kFtpErrAborted = 426;
inline constexpr int kFtpErrEngine = 500;
inline constexpr int kFtpErrLocal = 550;

// A command text holding CR, LF or NUL would reach the server as more than one command.
bool HoldsLineBreakOrNul(const std::string& text);

class TCustomFtpCli {
  public:
    TCustomFtpCli();
    virtual ~TCustomFtpCli();
    TCustomFtpCli(const TCustomFtpCli&) = delete;
    TCustomFtpCli& operator=(const TCustomFtpCli&) = delete;

    // Events; a handler that is not assigned is skipped.
    TFtpDisplay OnDisplay;
    TFtpDisplay OnDisplayFile;
    TFtpCommand OnCommand;
    TFtpNotify OnResponse;
    TFtpProgress OnProgress;
    TFtpSessionEvent OnSessionConnected;
    TFtpSessionEvent OnSessionClosed;
    TFtpRequestDone OnRequestDone;
    TFtpNotify OnStateChange;
    TFtpReadyToTransmit OnReadyToTransmit;
    TFtpBgException OnBgException;
    // Without a handler a certificate that verified is accepted and one with a problem
    // refused.
    TFtpCertificateCheck OnCertificate;

    // Properties.
    const std::string& HostName() const { return hostName_; }
    void SetHostName(const std::string& v) { hostName_ = v; }
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& v) { port_ = v; }
    const std::string& UserName() const { return userName_; }
    void SetUserName(const std::string& v) { userName_ = v; }
    const std::string& PassWord() const { return passWord_; }
    void SetPassWord(const std::string& v) { passWord_ = v; }
    const std::string& HostDirName() const { return hostDirName_; }
    void SetHostDirName(const std::string& v) { hostDirName_ = v; }
    const std::string& HostFileName() const { return hostFileName_; }
    void SetHostFileName(const std::string& v) { hostFileName_ = v; }
    // The local file of transfers; also the raw text of QuoteAsync and the new name of
    // RenToAsync.
    const std::string& LocalFileName() const { return localFileName_; }
    void SetLocalFileName(const std::string& v) { localFileName_ = v; }
    bool DisplayFileFlag() const { return displayFileFlag_; }
    void SetDisplayFileFlag(bool v) { displayFileFlag_ = v; }
    bool Binary() const { return typeLetter_ == 'I'; }
    void SetBinary(bool v) { typeLetter_ = v ? 'I' : 'A'; }
    TFtpShareMode ShareMode() const {
        return shareMode_ <= ftpShareDenyNone ? shareMode_ : ftpShareExclusive;
    }
    void SetShareMode(TFtpShareMode v) { shareMode_ = v; }
    TFtpOptions Options() const { return options_; }
    void SetOptions(TFtpOptions v) { options_ = v; }
    TFtpConnectionType ConnectionType() const;
    void SetConnectionType(TFtpConnectionType v);
    const std::string& ProxyServer() const { return proxyServer_; }
    void SetProxyServer(const std::string& v) { proxyServer_ = v; }
    const std::string& ProxyPort() const { return proxyPort_; }
    void SetProxyPort(const std::string& v) { proxyPort_ = v; }
    TFtpEncryption Encryption() const { return encryption_; }
    void SetEncryption(TFtpEncryption v) { encryption_ = v; }
    // The control connection runs under TLS now.
    bool Encrypted() const { return encrypted_; }
    bool Passive() const { return data_->Passive(); }
    void SetPassive(bool v);
    // The command passive mode opens with on an IPv4 control connection: PASV, or EPSV with
    // PASV once the server has answered EPSV with 500 or 502 (for the rest of the session).
    // An IPv6 control connection always uses EPSV, and EPRT in active mode.
    TFtpPassiveCommand PassiveCommand() const { return data_->PassiveCommand(); }
    void SetPassiveCommand(TFtpPassiveCommand v) { data_->SetPassiveCommand(v); }
    // The SOCKS settings of both sockets. Writing one writes it into the control socket
    // and the data socket; the engine keeps the values and writes them again before every
    // connection it makes, since a socket forgets its SOCKS server, port and level when it
    // closes.
    const std::string& SocksServer() const { return socks_.server; }
    void SetSocksServer(const std::string& v);
    const std::string& SocksPort() const { return socks_.port; }
    void SetSocksPort(const std::string& v);
    const std::string& SocksUserCode() const { return socks_.userCode; }
    void SetSocksUserCode(const std::string& v);
    const std::string& SocksPassword() const { return socks_.password; }
    void SetSocksPassword(const std::string& v);

    // Results and state.
    TFtpEngineState State() const { return state_; }
    int StatusCode() const { return statusCode_; }
    const std::string& LastResponse() const { return lastResponse_; }
    const std::string& ErrorMessage() const { return errorMessage_; }
    int64_t SizeResult() const { return sizeResult_; }
    const std::string& DirResult() const { return dirResult_; }
    int64_t ResumeAt() const { return resumeAt_; }
    void SetResumeAt(int64_t v) { resumeAt_ = v; }
    // The last 227 reply received in passive mode (a 229 reply to EPSV is not kept here).
    const std::string& PasvReply() const { return data_->PasvReply(); }
    // Bytes moved by the last transfer, not counting its restart offset.
    int64_t ByteCount() const { return data_->Transfer().byteCount; }
    TFtpRequest RequestType() const { return requestType_; }
    // The features the server named in its answer to FEAT, one per line without the leading
    // blank ("MLST type*;size*;modify*;", "UTF8"); empty before FEAT and when it had none.
    // Kept until the next connection opens.
    const std::vector<std::string>& Features() const { return features_; }
    // Whether a feature's first word is `name` (case ignored).
    bool HasFeature(std::string_view name) const;
    // The time stamp of the last MDTM reply ("20230115123456"), empty when it failed.
    const std::string& MdtmResult() const { return mdtmResult_; }
    bool Connected() const;

    net::TWSocket& ControlSocket() { return *controlSocket_; }
    net::TWSocket& DataSocket() { return data_->Socket(); }

    // The control connection.
    virtual void OpenAsync();
    virtual void AbortSession();
    virtual void SendCommand(std::string Cmd);
    virtual void Display(const std::string& Msg);

    // Single-command requests.
    virtual void UserAsync();
    virtual void PassAsync();
    virtual void CwdAsync();
    virtual void CDupAsync();
    virtual void PwdAsync();
    virtual void MkdAsync();
    virtual void RmdAsync();
    virtual void DeleAsync();
    virtual void RenFromAsync();
    virtual void RenToAsync();
    virtual void SizeAsync();
    virtual void SystAsync();
    virtual void TypeSetAsync();
    virtual void TypeBinaryAsync();
    virtual void TypeAsciiAsync();
    virtual void QuoteAsync();
    virtual void QuitAsync();
    // FEAT: the reply's feature lines go to Features(); 500 or 502 means none.
    virtual void FeatAsync();
    // OPTS UTF8 ON.
    virtual void OptsUtf8Async();
    // OPTS MLST with the facts of MlstFactsWanted.
    virtual void OptsMlstAsync();
    // MDTM HostFileName: the time stamp goes to MdtmResult().
    virtual void MdtmAsync();

    // Data steps: the data connection (PORT or PASV), the restart offset, downloads and
    // uploads.
    virtual void PortAsync();
    virtual void RestAsync();
    virtual void RetrCmdAsync();
    virtual void ListCmdAsync();
    virtual void NlstCmdAsync();
    virtual void MlsdCmdAsync();
    virtual void StorCmdAsync();
    virtual void AppeCmdAsync();
    virtual void ShowTransferStats();

    // Compound requests.
    virtual void ConnectAsync();
    virtual void DirAsync();
    virtual void LsAsync();
    // The machine listing (MLSD) of HostFileName, or of the current directory, into the
    // local file as DirAsync does.
    virtual void MlsdAsync();
    virtual void GetAsync();
    virtual void PutAsync();
    virtual void AppendAsync();
    virtual void RestGetAsync();
    virtual void RestPutAsync();
    virtual void RenAsync();
    virtual void ReceiveAsync();
    virtual void RestartGetAsync();
    virtual void TransmitAsync();
    virtual void RestartPutAsync();
    virtual void AppendFileAsync();
    virtual void DirectoryAsync();
    virtual void ListAsync();
    virtual void SystemAsync();
    virtual void FileSizeAsync();
    virtual void MkdirAsync();
    virtual void RmdirAsync();
    virtual void DeleteAsync();
    virtual void RenameAsync();
    virtual void DoQuoteAsync();

  protected:
    // A procedure of the request machinery (reply handler, done handler, continuation).
    using Proc = void (TCustomFtpCli::*)();

    // The data-connection layer.
    virtual void CloseLocalFile();
    // Raises OnProgress; false when the user asked to abort (the data socket is closed).
    virtual bool ReportProgress();
    // Private messages other than FtpMsgRequestDone.
    virtual void HandleEngineMessage(const platform::Message& msg);
    void PostEngineMessage(uint32_t msg, uintptr_t wParam);
    virtual void HandleEngineException(const std::exception& E);

    // The request machinery.
    void ChangeState(TFtpEngineState newState);
    void CheckReady();
    [[noreturn]] void RaiseError(const std::string& Msg);
    void SetErrorFromReply();
    void DisplayReply() { Display("< " + lastResponse_); }
    void FinishRequest(int Error);
    void IssueCommand(TFtpRequest Request, TFtpStep Step, const std::string& Cmd,
                      std::initializer_list<int> Accepted, Proc Done = nullptr);
    void HandleCommandReply();
    void InterpretReply();
    void StartCompound(TFtpRequest Request, TFtpStepSet Steps);
    void NextCompoundStep();
    void CloseControl();
    // The request is ending with the server still holding a restart offset it never used:
    // sends "REST 0" and returns true; the request ends once the reply (or a close) came.
    bool ClearHeldRestart(int Error);
    // Ends the running request with 501 instead of sending a command text that holds CR, LF
    // or NUL.
    void RefuseCommand();
    // The texts a step puts into its command line, joined (for the check above).
    std::string StepArguments(TFtpStep step) const;
    // Writes the SOCKS settings into a closed socket that is about to connect.
    void ApplySocksSettings(net::TWSocket& socket);
    void WriteSocksSettings();
    // "500 <text> (SOCKS error #<code>)" when Error is the last SOCKS failure, else the
    // socket error line.
    std::string ConnectErrorLine(uint16_t Error) const;

    // Fields shared with the data-connection layer.
    std::unique_ptr<net::TWSocket> controlSocket_;
    // Declared after the control socket, which it refers to.
    std::unique_ptr<TFtpDataConnection> data_;
    TFtpEngineState state_ = esReady;
    TFtpRequest requestType_ = TFtpRequest::none;
    int requestResult_ = 0;
    bool requestDoneFlag_ = true;
    // Completions posted and not yet delivered: a waiting wrapper returns only once its
    // request's OnRequestDone has run, so the report is never taken for the next request's.
    int undeliveredDones_ = 0;
    Proc nextHandler_ = nullptr;
    Proc doneHandler_ = nullptr;
    Proc nextRequest_ = nullptr;
    TFtpStepSet stepSet_ = 0;
    TFtpStep prevStep_ = TFtpStep::None;
    bool compoundFlag_ = false;
    int compoundResult_ = 0;
    std::string savedResponse_;
    int savedStatusCode_ = -1;
    std::vector<int> okReplies_;
    // A command has gone out and its final reply has not come yet: a control connection
    // that closes now fails the request. Steps that send their own verbs set and clear it.
    bool replyPending_ = false;
    // The command waiting for its reply is a QUIT sent as a request of its own: a close
    // ends it as its 221 would.
    bool quitSent_ = false;
    bool controlUp_ = false;
    std::string resolvedAddr_;
    int statusCode_ = 0;
    std::string lastResponse_;
    std::string errorMessage_;
    int64_t sizeResult_ = 0;
    std::string dirResult_;
    int64_t resumeAt_ = 0;
    std::vector<std::string> features_;
    std::vector<std::string> featureLines_;  // the body of the FEAT reply while it arrives
    std::string mdtmResult_;
    // A REST of a compound request was answered 350 and no RETR, STOR or APPE has taken the
    // offset yet. The server keeps it for its next transfer, so a request that ends now
    // clears it there ("REST 0") before it reports.
    bool restartHeld_ = false;
    LocalFile localStream_;

  private:
    void ControlLookupDone(uint16_t Error);
    void ControlSessionConnected(uint16_t Error);
    void ControlDataAvailable(uint16_t Error);
    void ControlSessionClosed(uint16_t Error);
    void DispatchReplyLine(uint16_t Error, bool final, bool& stop);
    void DropOnBadReply(const std::string& text);
    void TakeFeatureLine(const std::string& line);
    void FailControlConnect(const std::string& text, int Error);
    void EngineWndProc(const platform::Message& msg);
    void RunStep(TFtpStep step);
    void EndCompoundOnStepError(const std::string& text);
    // Data connection and transfers.
    void PortReplyDone();
    void RestReplyDone();
    void RestartClearedReply();
    bool ConnectPassive(bool upload);
    void FailTransferStart(int code, const std::string& text);
    void RecordTransferFailure(int code, const std::string& text);
    void StartDownload(const char* verb, TFtpRequest request);
    bool OpenDownloadFile();
    void DataGetAccepted();
    void AdoptGetConnection(net::TSocket handle);
    void HookGetHandlers(net::TWSocket& data);
    void DataGetConnected(uint16_t Error);
    void DataGetReceive();
    void HoldEarlyData();
    int ReadDataBlock(size_t size);
    bool DeliverDownloadBytes(const char* bytes, size_t size);
    void AcceptDownload();
    void DataGetClosed(uint16_t Error);
    void GetFirstReply();
    void GetFinalReply();
    void StartUpload(bool append);
    void SendUploadVerb();
    void DataPutConnected(uint16_t Error);
    void DataPutAccepted();
    void AdoptPutConnection(net::TSocket handle);
    void HookPutSending(net::TWSocket& data);
    void PutFirstReply();
    void DataPutSend(uint16_t Error);
    void DataPutHandedOver(int count);
    void DataPutDiscard();
    void DataPutClosed(uint16_t Error);
    void PutFinalReply();
    void TransferRefused();
    void TransferFailed(const char* notice);
    void TransferFinish();
    void EndTransfer(int Error);
    void DisplayFileBlock(const char* data, size_t size);
    void DisplayFileLine(std::string& line);

    // FTP over TLS.
    bool ExplicitTls() const;
    std::string ControlPort() const;
    int CertificatePort() const;
    void StartControlTls();
    void ControlTlsDone(uint16_t Error);
    bool CertificateAccepted();
    void FailSecureConnect(const std::string& text, int Error);
    void SendAuthTls();
    void AuthReply();
    bool ProtectAfterLogin();
    void PbszReply();
    void ProtReply();
    void ProtectionRefused();
    void DataTlsFailed(const std::string& text);

    platform::EventLoop* loop_;
    platform::TargetId window_ = 0;
    ReplyReader reader_;
    ReplyFramer framer_;
    bool startingCompound_ = false;
    std::unique_ptr<char[]> receiveBlock_;
    std::unique_ptr<char[]> sendBlock_;
    LineSplitter lineSplitter_;
    // While "REST 0" waits for its reply: how the request had ended, reported once it came.
    struct EndHeldForRestart {
        bool active = false;
        int error = 0;
        std::string lastResponse;
        int statusCode = 0;
    };
    EndHeldForRestart endHeld_;

    std::string hostName_;
    std::string port_ = "ftp";
    std::string userName_;
    std::string passWord_;
    std::string hostDirName_;
    std::string hostFileName_;
    std::string localFileName_;
    bool displayFileFlag_ = false;
    char typeLetter_ = 'I';
    TFtpShareMode shareMode_ = ftpShareExclusive;
    TFtpOptions options_ = ftpAcceptLF;
    TFtpConnectionType connectionType_ = ftpDirect;
    std::string proxyServer_;
    std::string proxyPort_ = "ftp";
    TFtpEncryption encryption_ = TFtpEncryption::Plain;
    bool encrypted_ = false;
    std::string loginResponse_;
    // The request's error text before the data connection's preparing command went out.
    std::string errorBeforePrepare_;
    std::shared_ptr<net::TTlsContext> tlsContext_;
    std::shared_ptr<net::TTlsSessionStore> tlsSessions_;
    FtpSocksSettings socks_;
    // The last handshake failure a socket reported (OnSocksError): its code and text.
    int socksErrorCode_ = 0;
    std::string socksErrorText_;
};

class TFtpClient : public TCustomFtpCli {
  public:
    static constexpr int kDefaultTimeout = 15;

    TFtpClient() = default;

    // Seconds the waiting wrappers wait; 0 or less waits without limit.
    int Timeout() const { return timeout_; }
    void SetTimeout(int seconds) { timeout_ = seconds; }
    bool MultiThreaded() const { return multiThreaded_; }
    void SetMultiThreaded(bool v) { multiThreaded_ = v; }

    // Runs op and waits until the engine is ready again; true when the request ended
    // without error. False at once when op raised (the exception goes no further).
    bool RunSync(const std::function<void()>& op);
    bool WaitUntilReady();
    void PumpEvents();

    bool Cwd();
    bool TypeSet();
    bool TypeBinary();
    bool TypeAscii();

  protected:
    bool ReportProgress() override;

  private:
    int timeout_ = kDefaultTimeout;
    bool multiThreaded_ = false;
    uint64_t timeStop_ = 0;
};

}  // namespace tarnwick::ftp

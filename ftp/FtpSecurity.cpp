// TCustomFtpCli: FTP over TLS. Explicit (AUTH TLS after the greeting) or implicit (TLS
// from the first byte); the certificate is decided on before USER goes out; after the
// login PBSZ 0 and PROT P put the data connections under TLS too, each resuming the
// control connection's session.
#include <cctype>

#include "ftp/FtpClient.h"
#include "net/TlsContext.h"

namespace tarnwick::ftp {

namespace {

constexpr int kReplyAuthOk = 234;
constexpr int kReplyLoggedIn = 230;
constexpr int kFirstPreliminaryReply = 100;
constexpr int kFirstCompletionReply = 200;
constexpr int kFirstFailureReply = 400;
constexpr int kStandardFtpPort = 21;
constexpr const char* kCertificateRefused = "Certificate refused";

bool AllDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) return false;
    return true;
}

}  // namespace

bool TCustomFtpCli::ExplicitTls() const {
    return encryption_ == TFtpEncryption::ExplicitRequired ||
           encryption_ == TFtpEncryption::ExplicitIfAvailable;
}

std::string TCustomFtpCli::ControlPort() const {
    // An implicit session goes to the implicit port unless a port was named.
    if (encryption_ == TFtpEncryption::Implicit && port_ == "ftp")
        return std::to_string(kImplicitFtpsPort);
    return port_;
}

int TCustomFtpCli::CertificatePort() const {
    const std::string port = ControlPort();
    if (AllDigits(port) && port.size() <= 5) return std::stoi(port);
    return kStandardFtpPort;
}

void TCustomFtpCli::StartControlTls() {
    if (!tlsContext_) tlsContext_ = std::make_shared<net::TTlsContext>();
    controlSocket_->OnTlsDone = [this](net::TCustomWSocket*, uint16_t e) { ControlTlsDone(e); };
    // Nothing the server sent in the clear after its go-ahead may pass for a reply.
    reader_.Clear();
    framer_.Reset();
    const std::string& host = ConnectionType() == ftpProxy ? proxyServer_ : hostName_;
    tlsSessions_ = std::make_shared<net::TTlsSessionStore>();
    controlSocket_->StartTls(tlsContext_, net::TrimBlanks(host), nullptr, tlsSessions_);
}

void TCustomFtpCli::ControlTlsDone(uint16_t Error) {
    if (requestDoneFlag_ || !controlUp_) return;
    if (Error != 0) {
        FailSecureConnect("500 " + controlSocket_->TlsErrorText() + " (Winsock error #" +
                              std::to_string(Error) + ")",
                          Error);
        return;
    }
    Display("! " + controlSocket_->TlsChannel()->Description());
    if (!CertificateAccepted()) {
        Display(std::string("! ") + kCertificateRefused);
        FailSecureConnect(std::string("500 ") + kCertificateRefused, kFtpErrEngine);
        return;
    }
    encrypted_ = true;
    if (encryption_ == TFtpEncryption::Implicit) {
        // The greeting may already wait in the records read with the handshake's end.
        ControlDataAvailable(0);
        return;
    }
    FinishRequest(0);  // the greeting and the handshake open the session; USER follows
}

bool TCustomFtpCli::CertificateAccepted() {
    const std::string& host = ConnectionType() == ftpProxy ? proxyServer_ : hostName_;
    const net::TCertificateInfo info =
        controlSocket_->TlsChannel()->Certificate(net::TrimBlanks(host), CertificatePort());
    Display("! Certificate " + info.subject + ", issued by " + info.issuer + ", valid " +
            info.validFrom + " to " + info.validUntil);
    Display("! SHA-256 fingerprint " + info.sha256);
    if (!info.problem.empty()) Display("! Certificate not verified: " + info.problem);
    if (!OnCertificate) return info.problem.empty();
    // The hook may ask the user and run the loop meanwhile: no reply is read until it has
    // decided.
    controlSocket_->SuspendEvents();
    bool accepted = false;
    try {
        accepted = OnCertificate(info);
    } catch (...) {
        accepted = false;
    }
    if (controlSocket_->State() == net::wsConnected) controlSocket_->ResumeEvents();
    return accepted && controlSocket_->State() == net::wsConnected;
}

void TCustomFtpCli::FailSecureConnect(const std::string& text, int Error) {
    replyPending_ = false;
    nextRequest_ = nullptr;
    lastResponse_ = text;
    statusCode_ = kFtpErrEngine;
    requestResult_ = Error;
    errorMessage_ = text;
    if (controlSocket_->State() != net::wsClosed) {
        controlSocket_->Close();
    } else {
        FinishRequest(Error);
    }
}

void TCustomFtpCli::SendAuthTls() {
    ChangeState(esAwaitingReply);
    nextHandler_ = &TCustomFtpCli::AuthReply;
    replyPending_ = true;
    SendCommand("AUTH TLS");
}

void TCustomFtpCli::AuthReply() {
    DisplayReply();
    if (statusCode_ >= kFirstPreliminaryReply && statusCode_ < kFirstCompletionReply) return;
    replyPending_ = false;
    if (statusCode_ == kReplyAuthOk) {
        try {
            StartControlTls();
        } catch (const std::exception& e) {
            FailSecureConnect(std::string("500 ") + e.what(), kFtpErrEngine);
        }
        return;
    }
    if (encryption_ == TFtpEncryption::ExplicitIfAvailable) {
        Display("! Server refused AUTH TLS, going on unencrypted");
        FinishRequest(0);
        return;
    }
    Display("! Server refused AUTH TLS");
    requestResult_ = statusCode_;
    errorMessage_ = lastResponse_;
    nextRequest_ = nullptr;
    controlSocket_->Close();  // the connect ends with the server's reply, USER never goes
}

// The login succeeded on an encrypted session: the data connections are protected next.
bool TCustomFtpCli::ProtectAfterLogin() {
    if (!encrypted_ || data_->Protected() || requestResult_ != 0 || statusCode_ != kReplyLoggedIn)
        return false;
    if (prevStep_ != TFtpStep::User && prevStep_ != TFtpStep::Pass) return false;
    loginResponse_ = lastResponse_;
    nextHandler_ = &TCustomFtpCli::PbszReply;
    replyPending_ = true;
    SendCommand("PBSZ 0");
    return true;
}

void TCustomFtpCli::PbszReply() {
    DisplayReply();
    if (statusCode_ >= kFirstPreliminaryReply && statusCode_ < kFirstCompletionReply) return;
    if (statusCode_ >= kFirstFailureReply) {
        ProtectionRefused();
        return;
    }
    nextHandler_ = &TCustomFtpCli::ProtReply;
    SendCommand("PROT P");
}

void TCustomFtpCli::ProtReply() {
    DisplayReply();
    if (statusCode_ >= kFirstPreliminaryReply && statusCode_ < kFirstCompletionReply) return;
    if (statusCode_ >= kFirstFailureReply) {
        ProtectionRefused();
        return;
    }
    replyPending_ = false;
    const std::string& host = ConnectionType() == ftpProxy ? proxyServer_ : hostName_;
    data_->Protect(tlsContext_, tlsSessions_, net::TrimBlanks(host));
    // The login's reply is what the request reports.
    lastResponse_ = loginResponse_;
    statusCode_ = kReplyLoggedIn;
    FinishRequest(0);
}

// Data would go in the clear: the login ends with the server's refusal.
void TCustomFtpCli::ProtectionRefused() {
    replyPending_ = false;
    requestResult_ = statusCode_;
    SetErrorFromReply();
    FinishRequest(statusCode_);
}

void TCustomFtpCli::DataTlsFailed(const std::string& text) {
    Display("! Data: " + text);
    RecordTransferFailure(kFtpErrLocal, std::to_string(kFtpErrLocal) +
                                            " Unable to establish data connection, " + text);
    data_->CloseIfOpen();
}

}  // namespace tarnwick::ftp

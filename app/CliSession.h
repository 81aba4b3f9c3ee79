// One FTP session of tarnwick-cli: the engine set up from a URL and the options, each
// request started and the event loop pumped until its OnRequestDone.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "app/FtpUrl.h"
#include "app/TerminalText.h"
#include "ftp/FtpClient.h"

namespace tarnwick::cli {

// How the session reaches the server: --proxy-type and --proxy, --proxy-user and
// --proxy-pass (the SOCKS user code and password).
struct ProxyOptions {
    ftp::TFtpConnectionType Type = ftp::ftpDirect;
    std::string Host;
    std::string Port;
    std::string User;
    std::string Password;
};

struct TransferOptions {
    bool Passive = true;
    bool ActiveAsked = false;   // --active given (it needs a direct connection)
    bool PassiveAsked = false;  // --passive given
    bool Epsv = false;          // --epsv given, or the saved server asks for EPSV
    bool Resume = false;
    bool Ascii = false;
    bool Verbose = false;
    bool Raw = false;          // ls: the listing lines as the server sent them
    std::string Answer;        // ls: the host type string; empty for the default
    bool AnswerAsked = false;  // --answer given: LIST read by it even where MLSD is offered
    // A request that shows no sign of life this long is aborted; 0: never (--timeout).
    int IdleTimeoutSeconds = 60;
    ProxyOptions Proxy;
    // --tls explicit|implicit|try: the encryption, over what the URL's scheme says.
    bool TlsAsked = false;
    ftp::TFtpEncryption Tls = ftp::TFtpEncryption::Plain;
    // --insecure: a certificate that fails verification is accepted (and said so).
    bool Insecure = false;
};

// The line shown for an engine display line: a line that carries the password command
// is shown as "> PASS ****".
std::string MaskedDisplayLine(const std::string& line);

class CliSession {
  public:
    CliSession(const FtpUrl& url, const TransferOptions& options, std::ostream& err);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    ftp::TFtpClient& Engine() { return ftp_; }

    // Starts a request and pumps until it reports. False when it could not start or
    // ended with an error; the reason is then in Error(), fit for the terminal (control
    // characters escaped, no password).
    bool Run(const std::function<void()>& start);
    const std::string& Error() const { return error_; }
    uint16_t LastErrorCode() const { return lastCode_; }

    // Connect and log in, change to `directory` when it is not empty, set the type.
    bool Open(const std::string& directory, bool binary);
    // QUIT when the control connection is still up; its outcome does not matter.
    void Close();

  private:
    ftp::TFtpClient ftp_;
    const TransferOptions& options_;
    std::ostream& err_;
    bool done_ = false;
    uint16_t lastCode_ = 0;
    uint64_t deadline_ = 0;
    std::string error_;
    MessageCleaner cleaner_;

    void KeepAlive();
    // The decision on the server's certificate: trusted in the settings folder's
    // "trusted-certificates", verified, or --insecure.
    bool AcceptCertificate(const net::TCertificateInfo& info);
};

}  // namespace tarnwick::cli

#include "app/CliSession.h"

#include "platform/EventLoop.h"
#include "platform/TickCount.h"
#include "settings/SettingsFolder.h"
#include "settings/TrustedCertificates.h"

namespace tarnwick::cli {
namespace {

constexpr uint64_t kMsPerSecond = 1000;
constexpr int kPumpSliceMs = 100;
constexpr const char* kPassCommand = "PASS ";
constexpr const char* kMaskedPass = "> PASS ****";

}  // namespace

std::string MaskedDisplayLine(const std::string& line) {
    return line.find(kPassCommand) == std::string::npos ? line : kMaskedPass;
}

CliSession::CliSession(const FtpUrl& url, const TransferOptions& options, std::ostream& err)
    : options_(options), err_(err) {
    cleaner_.AddSecret(url.Password);
    cleaner_.AddSecret(options.Proxy.Password);
    ftp_.SetHostName(url.Host);
    ftp_.SetPort(url.Port);
    ftp_.SetUserName(url.User);
    ftp_.SetPassWord(url.Password);
    // The connection type first: it forces passive mode for everything but direct.
    const ProxyOptions& proxy = options.Proxy;
    ftp_.SetConnectionType(proxy.Type);
    if (proxy.Type == ftp::ftpProxy) {
        ftp_.SetProxyServer(proxy.Host);
        ftp_.SetProxyPort(proxy.Port);
    } else if (proxy.Type != ftp::ftpDirect) {
        ftp_.SetSocksServer(proxy.Host);
        ftp_.SetSocksPort(proxy.Port);
        ftp_.SetSocksUserCode(proxy.User);
        ftp_.SetSocksPassword(proxy.Password);
    }
    ftp_.SetPassive(options.Passive);
    ftp_.SetEncryption(options.TlsAsked ? options.Tls : url.Encryption);
    // --tls implicit on an ftp:// URL without a port: the implicit port.
    if (ftp_.Encryption() == ftp::TFtpEncryption::Implicit && !url.PortGiven)
        ftp_.SetPort(std::to_string(ftp::kImplicitFtpsPort));
    ftp_.OnCertificate = [this](const net::TCertificateInfo& info) {
        return AcceptCertificate(info);
    };
    ftp_.SetPassiveCommand(options.Epsv ? ftp::TFtpPassiveCommand::Epsv
                                        : ftp::TFtpPassiveCommand::Pasv);
    ftp_.SetTimeout(options.IdleTimeoutSeconds);
    ftp_.OnRequestDone = [this](ftp::TCustomFtpCli*, ftp::TFtpRequest, uint16_t Error) {
        lastCode_ = Error;
        done_ = true;
    };
    ftp_.OnDisplay = [this](ftp::TCustomFtpCli*, std::string& Msg) {
        KeepAlive();
        if (options_.Verbose) err_ << cleaner_.Clean(MaskedDisplayLine(Msg)) << '\n';
    };
    ftp_.OnProgress = [this](ftp::TCustomFtpCli*, int64_t, bool&) { KeepAlive(); };
}

CliSession::~CliSession() = default;

bool CliSession::AcceptCertificate(const net::TCertificateInfo& info) {
    const settings::TTrustedCertificates trusted(
        settings::TrustedCertificatesPath(SettingsFolder()));
    switch (settings::DecideCertificate(trusted, info)) {
        case settings::TCertificateDecision::Accept:
            return true;
        case settings::TCertificateDecision::RefuseChanged:
            err_ << "tarnwick-cli: "
                 << cleaner_.Clean(settings::CertificateChangedWarning(
                        info, trusted.Known(info.host, info.port)))
                 << '\n';
            return false;
        case settings::TCertificateDecision::Ask:
            break;
    }
    const std::string facts = cleaner_.Clean(info.problem) + "; " + cleaner_.Clean(info.subject) +
                              ", SHA-256 " + info.sha256;
    if (options_.Insecure) {
        err_ << "tarnwick-cli: warning: accepting a certificate that failed verification "
                "(--insecure): "
             << facts << '\n';
        return true;
    }
    err_ << "tarnwick-cli: the server's certificate failed verification: " << facts
         << " (--insecure accepts it)\n";
    return false;
}

void CliSession::KeepAlive() {
    deadline_ = platform::GetTickCount() +
                static_cast<uint64_t>(options_.IdleTimeoutSeconds) * kMsPerSecond;
}

bool CliSession::Run(const std::function<void()>& start) {
    done_ = false;
    lastCode_ = 0;
    error_.clear();
    try {
        start();
    } catch (const std::exception& e) {
        error_ = cleaner_.Clean(e.what());
        return false;
    }
    auto& loop = platform::EventLoop::Current();
    KeepAlive();
    while (!done_) {
        if (options_.IdleTimeoutSeconds > 0 && platform::GetTickCount() > deadline_) {
            ftp_.AbortSession();
            // The abort may report the request; the timeout is what the user sees.
            loop.PumpMessages();
            error_ = "426 Timeout";
            return false;
        }
        loop.WaitAndPump(kPumpSliceMs);
    }
    if (lastCode_ == 0) return true;
    error_ = cleaner_.Clean(ftp_.ErrorMessage());
    if (error_.empty()) error_ = "Error " + std::to_string(lastCode_);
    return false;
}

bool CliSession::Open(const std::string& directory, bool binary) {
    if (!Run([this] { ftp_.ConnectAsync(); })) return false;
    // The server's features, as the window asks for them: a step the server refuses is
    // passed over, only a connection that is gone ends the session.
    for (ftp::TFtpRequest step = ftp::NextLoginStep(ftp::TFtpRequest::ConnectAsync, {});
         step != ftp::TFtpRequest::none; step = ftp::NextLoginStep(step, ftp_.Features())) {
        const bool ok = Run([this, step] {
            if (step == ftp::TFtpRequest::FeatAsync)
                ftp_.FeatAsync();
            else if (step == ftp::TFtpRequest::OptsUtf8Async)
                ftp_.OptsUtf8Async();
            else
                ftp_.OptsMlstAsync();
        });
        if (!ok && !ftp_.Connected()) return false;
        if (!ok && options_.Verbose) err_ << error_ << '\n';
    }
    error_.clear();
    if (!directory.empty()) {
        ftp_.SetHostDirName(directory);
        if (!Run([this] { ftp_.CwdAsync(); })) return false;
    }
    ftp_.SetBinary(binary);
    return Run([this] { ftp_.TypeSetAsync(); });
}

void CliSession::Close() {
    if (!ftp_.Connected()) return;
    const std::string kept = error_;
    Run([this] { ftp_.QuitAsync(); });
    error_ = kept;
}

}  // namespace tarnwick::cli

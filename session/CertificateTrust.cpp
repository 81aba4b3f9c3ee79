#include "session/CertificateTrust.h"

#include <utility>

namespace tarnwick::session {
namespace {

constexpr const char* kUsualFtpPort = "21";
constexpr const char* kErrorPrefix = "Error ";
constexpr const char* kAttentionCaption = "Attention";

std::string MemoryKey(const net::TCertificateInfo& c) {
    return c.host + ":" + std::to_string(c.port) + " " + c.sha256;
}

}  // namespace

ftp::TFtpEncryption EngineEncryption(std::uint8_t recordEncryption) {
    switch (static_cast<TServerEncryption>(recordEncryption)) {
        case TServerEncryption::Plain:
            return ftp::TFtpEncryption::Plain;
        case TServerEncryption::Implicit:
            return ftp::TFtpEncryption::Implicit;
        case TServerEncryption::ExplicitIfAvailable:
            return ftp::TFtpEncryption::ExplicitIfAvailable;
        case TServerEncryption::ExplicitRequired:
            break;
    }
    return ftp::TFtpEncryption::ExplicitRequired;
}

std::string ControlPort(const std::string& recordPort, ftp::TFtpEncryption encryption,
                        const std::string& usual) {
    const bool noPortOfItsOwn = recordPort.empty() || recordPort == kUsualFtpPort;
    if (encryption == ftp::TFtpEncryption::Implicit && noPortOfItsOwn)
        return std::to_string(ftp::kImplicitFtpsPort);
    return recordPort.empty() ? usual : recordPort;
}

TCertificateTrust::TCertificateTrust(TSessionCore& core, std::function<void()> refused)
    : core_(core),
      refused_(std::move(refused)),
      trusted_(settings::TrustedCertificatesPath(core.SettingsFolder())) {
    core_.Controls.SetVisible(kLockControl, false);
}

bool TCertificateTrust::Check(const net::TCertificateInfo& certificate) {
    switch (settings::DecideCertificate(trusted_, certificate)) {
        case settings::TCertificateDecision::Accept:
            return true;
        case settings::TCertificateDecision::Ask:
            return Ask(certificate);
        case settings::TCertificateDecision::RefuseChanged:
            break;
    }
    const std::string warning = settings::CertificateChangedWarning(
        certificate, trusted_.Known(certificate.host, certificate.port));
    core_.WriteLog(kErrorPrefix + warning);
    TMessageQuery query;
    query.Caption = kAttentionCaption;
    query.Text = warning;
    query.Icon = TMsgIcon::Warning;
    core_.Dialogs().MessageBox(query);
    Refuse();
    return false;
}

bool TCertificateTrust::Ask(const net::TCertificateInfo& certificate) {
    if (trustedThisTime_.count(MemoryKey(certificate)) != 0) return true;
    switch (core_.Dialogs().AskCertificate(certificate)) {
        case TCertificateAnswer::TrustAlways:
            if (!trusted_.TrustAlways(certificate.host, certificate.port, certificate.sha256)) {
                // Not kept on disk: trusted for this run at least, as the user wanted.
                core_.WriteLog(kErrorPrefix + trusted_.Error());
                trustedThisTime_.insert(MemoryKey(certificate));
            }
            return true;
        case TCertificateAnswer::TrustThisTime:
            trustedThisTime_.insert(MemoryKey(certificate));
            return true;
        case TCertificateAnswer::Cancel:
            break;
    }
    Refuse();
    return false;
}

void TCertificateTrust::Refuse() {
    if (refused_) refused_();
}

void TCertificateTrust::UpdateLock() {
    core_.Controls.SetVisible(kLockControl, !core_.State.ServerMode && core_.Ftp1.Encrypted());
}

}  // namespace tarnwick::session

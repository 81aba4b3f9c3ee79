#include "dialogs/ServerProperties.h"

#include <algorithm>

#include "dialogs/ByteText.h"
#include "listing/TextUtil.h"

namespace tarnwick::dialogs {

namespace {

constexpr size_t kNameMax = 50;
constexpr size_t kEMailMax = 60;
constexpr size_t kAnswerLength = 7;
// The control connection's usual port, and the one of implicit TLS.
constexpr const char* kFtpPortText = "21";
constexpr const char* kImplicitFtpsPortText = "990";

constexpr std::array<const char*, kServerTextCount> kTextLabels = {
    "Name",
    "FTP Server",
    "FTP Port",
    "User ID",
    "Password",
    "Account",
    "E-Mail",
    "Initial Directory on FTP Server",
    "Initial Directory on Local Machine",
};

TDialogMessage Attention(std::string text) {
    return TDialogMessage{kAttentionCaption, std::move(text)};
}

TDialogMessage ItemBreakRefusal(std::string_view label) {
    return Attention("The field \"" + std::string(label) +
                     "\" must not hold \";\" or a line break: the server list could not read "
                     "it back.");
}

}  // namespace

const char* ServerTextLabel(TServerText box) {
    return kTextLabels[static_cast<size_t>(box)];
}

TFFtpBase::TFFtpBase(const TFTPServerInfo& record, std::string settingsFolder,
                     std::vector<std::string> otherNames)
    : record_(record),
      settingsFolder_(std::move(settingsFolder)),
      otherNames_(std::move(otherNames)) {
    SetText(TServerText::NameEdt, record.Name);
    SetText(TServerText::ServerEdt, record.Server);
    SetText(TServerText::PortEdt, record.Port);
    SetText(TServerText::UserEdt, record.User);
    SetText(TServerText::PasswordEdt, record.Password);
    SetText(TServerText::AccountEdt, record.Account);
    SetText(TServerText::EMailEdt, record.EMail);
    SetText(TServerText::RemoteDirEdt, record.InitialDir);
    SetText(TServerText::LocalDir, record.LocalDir);
    SetChecked(TServerCheck::AnonymousCB, record.Anonymous != 0);
    SetChecked(TServerCheck::SavePasswordCB, record.SavePassword != 0);
    SetChecked(TServerCheck::cbPv, record.Pasv != 0);
    SetChecked(TServerCheck::cbVH, record.CheckVHost != 0);
    SetChecked(TServerCheck::cbMPsw, record.CheckPSW != 0);
    encryption_ = record.Encryption;
    dataConnection_ = record.DataConnection;
    if (!record.Desc.empty()) descLines_ = SplitDescLines(record.Desc);
    hostTypes_ = THostTypeChoice(LoadHostTypes(settingsFolder_));
    OpenHostType();
}

void TFFtpBase::OpenHostType() {
    std::string& answer = record_.Answer;
    int digit = (!answer.empty() && IsAsciiDigit(answer[0])) ? answer[0] - '0' : 0;
    if (answer.size() != kAnswerLength || digit == 0) {
        answer = kDefaultHostType;
        record_.AnswerName = kDefaultHostTypeName;
        digit = 0;
    }
    typeIndex_ = digit < static_cast<int>(kServerTypes.size()) ? digit : 0;
    if (CustomPanelVisible()) {
        const int entry = hostTypes_.Find(record_.AnswerName);
        hostTypes_.SelectAtOpening(entry == kNoEntry ? 0 : entry);
        answer = hostTypes_.AnswerOf(static_cast<size_t>(hostTypes_.Selected()));
    }
    hostTypes_.ShowDigits(answer);
}

int TFFtpBase::EncryptionIndex() const {
    return encryption_ < kEncryptionChoices.size() ? encryption_ : kNoEncryptionChoice;
}

void TFFtpBase::SetEncryptionIndex(int index) {
    if (index < 0 || index >= static_cast<int>(kEncryptionChoices.size())) return;
    encryption_ = static_cast<std::uint8_t>(index);
    const std::string port = Trimmed(Text(TServerText::PortEdt));
    const bool implicit = encryption_ == static_cast<std::uint8_t>(TServerEncryption::Implicit);
    if (implicit && (port.empty() || port == kFtpPortText)) {
        SetText(TServerText::PortEdt, kImplicitFtpsPortText);
    } else if (!implicit && port == kImplicitFtpsPortText) {
        SetText(TServerText::PortEdt, kFtpPortText);
    }
}

int TFFtpBase::DataConnectionIndex() const {
    return dataConnection_ == static_cast<std::uint8_t>(TServerDataConnection::Epsv) ? 1 : 0;
}

void TFFtpBase::SetDataConnectionIndex(int index) {
    if (index < 0 || index >= static_cast<int>(kDataConnectionChoices.size())) return;
    // Showing PASV for a value of its own, the box keeps that value until another is picked.
    if (index == DataConnectionIndex()) return;
    dataConnection_ = static_cast<std::uint8_t>(index);
}

void TFFtpBase::SetTypeIndex(int index) {
    if (index >= 0 && index < static_cast<int>(kServerTypes.size())) typeIndex_ = index;
}

std::string TFFtpBase::BrowseStart() const {
    const std::string local = Trimmed(Text(TServerText::LocalDir));
    return FolderExists(local) ? local : settingsFolder_;
}

std::optional<TDialogMessage> TFFtpBase::Check() const {
    const std::string name = Trimmed(Text(TServerText::NameEdt));
    if (name.empty() || Trimmed(Text(TServerText::ServerEdt)).empty())
        return Attention(kNameRequiredText);
    // The password is stored scrambled, with the bytes that would end an item escaped.
    for (size_t i = 0; i < kServerTextCount; ++i) {
        const auto box = static_cast<TServerText>(i);
        if (box == TServerText::PasswordEdt) continue;
        if (HoldsItemBreak(Trimmed(Text(box)))) return ItemBreakRefusal(ServerTextLabel(box));
    }
    for (const std::string& line : descLines_)
        if (HoldsItemBreak(line)) return ItemBreakRefusal(kDescriptionLabel);
    if (HoldsItemBreak(hostTypes_.SelectedName())) return ItemBreakRefusal(kHostTypeNameLabel);
    // A row finds its record by name, so a second server of one name could never be opened.
    // A name the record already had is kept, so that lists saved with duplicates stay
    // editable.
    const std::string stored = CutBytes(name, kNameMax);
    if (stored != record_.Name &&
        std::find(otherNames_.begin(), otherNames_.end(), stored) != otherNames_.end())
        return Attention("A server named \"" + stored +
                         "\" already exists. Please enter another name.");
    return std::nullopt;
}

bool TFFtpBase::Confirm() {
    refusal_ = Check();
    if (refusal_) return false;
    CopyBack();
    closed_ = true;
    confirmed_ = true;
    SaveHostTypes();
    return true;
}

void TFFtpBase::Cancel() {
    closed_ = true;
    confirmed_ = false;
    SaveHostTypes();
}

void TFFtpBase::CopyBack() {
    TFTPServerInfo& r = record_;
    r.Name = CutBytes(Trimmed(Text(TServerText::NameEdt)), kNameMax);
    r.Server = Trimmed(Text(TServerText::ServerEdt));
    r.Port = Trimmed(Text(TServerText::PortEdt));
    r.User = Trimmed(Text(TServerText::UserEdt));
    r.Password = Trimmed(Text(TServerText::PasswordEdt));
    r.Account = Trimmed(Text(TServerText::AccountEdt));
    r.EMail = CutBytes(Trimmed(Text(TServerText::EMailEdt)), kEMailMax);
    r.Anonymous = Checked(TServerCheck::AnonymousCB) ? 1 : 0;
    r.SavePassword = Checked(TServerCheck::SavePasswordCB) ? 1 : 0;
    r.Pasv = Checked(TServerCheck::cbPv) ? 1 : 0;
    r.CheckVHost = Checked(TServerCheck::cbVH) ? 1 : 0;
    r.CheckPSW = Checked(TServerCheck::cbMPsw) ? 1 : 0;
    r.Encryption = encryption_;
    r.DataConnection = dataConnection_;
    r.InitialDir = Trimmed(Text(TServerText::RemoteDirEdt));
    if (!r.InitialDir.empty() && r.InitialDir.front() != '/') r.InitialDir.insert(0, 1, '/');
    r.LocalDir = Trimmed(Text(TServerText::LocalDir));
    r.Answer = hostTypes_.Compose(TypeDigit());
    hostTypes_.StoreSelected(r.Answer);
    r.AnswerName = hostTypes_.SelectedName();
    r.Desc = JoinDescLines(descLines_);
    CutShortFields(r);
}

void TFFtpBase::SaveHostTypes() {
    // A host types file that cannot be written is no reason to keep the dialog open.
    tarnwick::SaveHostTypes(settingsFolder_, hostTypes_.Types());
}

}  // namespace tarnwick::dialogs

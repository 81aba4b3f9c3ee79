#include "dialogs/Preferences.h"

#include <algorithm>

#include "dialogs/ByteText.h"
#include "settings/CommaText.h"

namespace tarnwick::dialogs {

namespace {

constexpr const char* kExtensionSuffix = " extention";
constexpr const char* kExtensionPrompt = "Enter";
constexpr size_t kSimbolLength = 1;

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

}  // namespace

T_Options::T_Options(const TFTPOptions& options) : options_(options) {
    const int lastType = static_cast<int>(kConnectionTypes.size()) - 1;
    // A type the list does not have is shown, and taken, as a direct connection.
    connectionType_ = InRange(options.ConnectionType, 0, lastType) ? options.ConnectionType : 0;
    const int lastMode = static_cast<int>(kTransferModes.size()) - 1;
    transferMode_ = InRange(options.TransferMode, 0, lastMode) ? options.TransferMode : 0;
    SetText(TOptionsText::ProxyServer, options.ProxyServer);
    SetText(TOptionsText::ProxyPort, options.ProxyPort);
    SetText(TOptionsText::ProxyPsw, options.ProxyPsw);
    SetText(TOptionsText::SocksServer, options.SocksServer);
    SetText(TOptionsText::SocksPort, options.SocksPort);
    SetText(TOptionsText::SocksPsw, options.SocksPsw);
    SetText(TOptionsText::SocksUC, options.SocksUC);
    SetText(TOptionsText::Anonymous, options.Anonymous);
    SetText(TOptionsText::fwSimbol, options.fwSimbol);
    SetChecked(TOptionsCheck::ProxyPswMask, options.ProxyPswMask);
    SetChecked(TOptionsCheck::SocksPswMask, options.SocksPswMask);
    SetChecked(TOptionsCheck::PassiveTransfer, options.PassiveTransfer);
    SetChecked(TOptionsCheck::Sync, options.Sync);
    SetChecked(TOptionsCheck::cbAno, options.MailAno);
    SetTimeOut(options.TimeOut);
    SetRetry(options.retry);
    extensions_ = FromCommaText(options.Ext);
    const int lastFireWall = static_cast<int>(kFireWallTypes.size()) - 1;
    fireWallType_ = InRange(options.fwType, 1, lastFireWall) ? options.fwType : 0;
}

void T_Options::SelectNode(int position) {
    if (InRange(position, 0, static_cast<int>(kPageNodes.size()) - 1))
        page_ = static_cast<TOptionsPage>(position);
}

void T_Options::SetText(TOptionsText box, std::string text) {
    if (box == TOptionsText::fwSimbol) text = LeadingCharacters(text, kSimbolLength);
    texts_[Index(box)] = std::move(text);
}

void T_Options::SetTimeOut(int seconds) {
    timeOut_ = std::clamp(seconds, kTimeOutMin, kSpinMax);
}

void T_Options::SetRetry(int count) {
    retry_ = std::clamp(count, kRetryMin, kSpinMax);
}

void T_Options::SetTransferMode(int mode) {
    if (InRange(mode, 0, static_cast<int>(kTransferModes.size()) - 1)) transferMode_ = mode;
}

void T_Options::SelectExtension(int index) {
    selectedExtension_ = InRange(index, 0, static_cast<int>(extensions_.size()) - 1) ? index : -1;
}

TInputQuery T_Options::AddExtensionQuery() const {
    TInputQuery q;
    q.Caption = std::string("Add") + kExtensionSuffix;
    q.Prompt = kExtensionPrompt;
    return q;
}

void T_Options::AddExtension(const std::optional<std::string>& answer) {
    if (answer) extensions_.push_back(*answer);
}

TInputQuery T_Options::ModifyExtensionQuery() const {
    if (!ExtensionSelected()) return AddExtensionQuery();
    TInputQuery q;
    q.Caption = std::string("Edit") + kExtensionSuffix;
    q.Prompt = kExtensionPrompt;
    q.Value = extensions_[static_cast<size_t>(selectedExtension_)];
    return q;
}

void T_Options::ModifyExtension(const std::optional<std::string>& answer) {
    if (!ExtensionSelected()) {
        AddExtension(answer);
        return;
    }
    if (answer) extensions_[static_cast<size_t>(selectedExtension_)] = *answer;
}

void T_Options::RemoveExtension() {
    if (!ExtensionSelected()) return;
    extensions_.erase(extensions_.begin() + selectedExtension_);
    selectedExtension_ = -1;
}

void T_Options::SetConnectionType(int type) {
    if (InRange(type, 0, static_cast<int>(kConnectionTypes.size()) - 1)) connectionType_ = type;
}

void T_Options::ClickFireWallType(int tag) {
    if (InRange(tag, 0, static_cast<int>(kFireWallTypes.size()) - 1)) fireWallType_ = tag;
}

void T_Options::Confirm() {
    TFTPOptions& o = options_;
    o.ConnectionType = connectionType_;
    o.TransferMode = transferMode_;
    o.ProxyServer = Text(TOptionsText::ProxyServer);
    o.ProxyPort = Text(TOptionsText::ProxyPort);
    o.ProxyPsw = Text(TOptionsText::ProxyPsw);
    o.ProxyPswMask = Checked(TOptionsCheck::ProxyPswMask);
    o.SocksServer = Text(TOptionsText::SocksServer);
    o.SocksPort = Text(TOptionsText::SocksPort);
    o.SocksPsw = Text(TOptionsText::SocksPsw);
    o.SocksUC = Text(TOptionsText::SocksUC);
    o.SocksPswMask = Checked(TOptionsCheck::SocksPswMask);
    o.PassiveTransfer = Checked(TOptionsCheck::PassiveTransfer);
    o.Sync = Checked(TOptionsCheck::Sync);
    o.TimeOut = timeOut_;
    o.retry = retry_;
    o.Ext = ToCommaText(extensions_);
    o.Anonymous = Text(TOptionsText::Anonymous);
    o.fwEnable = Checked(TOptionsCheck::cbFW);
    o.fwType = fireWallType_;
    o.fwSimbol = Text(TOptionsText::fwSimbol);
    o.MailAno = Checked(TOptionsCheck::cbAno);
    closed_ = true;
    confirmed_ = true;
}

}  // namespace tarnwick::dialogs

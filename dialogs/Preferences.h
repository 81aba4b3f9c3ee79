// T_Options, "Program Options": edits part of the preferences on its own copy. Its page tree,
// which panels are enabled and the colours that show it, the extension list with its input
// dialogs, and what OK stores; Cancel stores nothing. The caller saves and applies.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/InputForm.h"
#include "settings/Options.h"

namespace tarnwick::dialogs {

inline constexpr const char* kOptionsCaption = "Program Options";

// Colours as 0x00BBGGRR.
inline constexpr int kWhite = 0xFFFFFF;
inline constexpr int kSilver = 0xC0C0C0;
inline constexpr int kGrey = 0x808080;
inline constexpr int kBlack = 0x000000;

inline constexpr int kTimeOutMin = 10;
inline constexpr int kSpinMax = 32767;
inline constexpr int kRetryMin = 0;

// The pages, by their tags.
enum class TOptionsPage { Connection = 0, AsciiBinary = 1, ProxyFirewall = 2 };

struct TPageNode {
    const char* Caption;
    int Level;  // 0 the root, 1 its children
};
// The tree from the top: the node at position k shows the page with tag k.
inline constexpr std::array<TPageNode, 3> kPageNodes = {
    TPageNode{"Connection", 0}, TPageNode{"ASCII/Binary", 1}, TPageNode{"Proxy / Firewall ", 1}};
inline constexpr std::array<const char*, 3> kPageCaptions = {"Connection", "Ascii/Binary",
                                                             "Proxy / Firewall "};

inline constexpr std::array<const char*, 3> kTransferModes = {"Auto-detect", "Ascii", "Binary"};
inline constexpr int kAsciiMode = 1;
inline constexpr std::array<const char*, 5> kConnectionTypes = {
    "Direct connection", "Proxy", "Sockets 4", "Sockets 4 A", "Sockets 5"};
inline constexpr int kProxyType = 1;
inline constexpr int kFirstSocksType = 2;
inline constexpr int kLastSocksType = 4;
inline constexpr std::array<const char*, 7> kFireWallTypes = {
    "General",        "SITE site", "USER user", "USER with logon",
    "USER/PASS/ACCT", "OPEN site", "Custom"};

// The edit boxes of the proxy and SOCKS panels and the firewall separator.
enum class TOptionsText {
    ProxyServer,
    ProxyPort,
    ProxyPsw,
    SocksServer,
    SocksPort,
    SocksPsw,
    SocksUC,
    Anonymous,
    fwSimbol,
};
inline constexpr size_t kOptionsTextCount = 9;

enum class TOptionsCheck { ProxyPswMask, SocksPswMask, PassiveTransfer, Sync, cbAno, cbFW };
inline constexpr size_t kOptionsCheckCount = 6;

class T_Options {
  public:
    explicit T_Options(const TFTPOptions& options);

    // The page tree.
    void SelectNode(int position);
    TOptionsPage Page() const { return page_; }
    const char* PageCaption() const { return kPageCaptions[static_cast<size_t>(page_)]; }

    const std::string& Text(TOptionsText box) const { return texts_[Index(box)]; }
    void SetText(TOptionsText box, std::string text);
    bool Checked(TOptionsCheck box) const { return checks_[Index(box)]; }
    // "Enable FireWall" is disabled: it stays unchecked.
    void SetChecked(TOptionsCheck box, bool on) {
        if (box != TOptionsCheck::cbFW) checks_[Index(box)] = on;
    }

    // "Connection": the up/down controls keep their ranges.
    int TimeOut() const { return timeOut_; }
    void SetTimeOut(int seconds);
    int Retry() const { return retry_; }
    void SetRetry(int count);
    bool EMailEnabled() const { return Checked(TOptionsCheck::cbAno); }
    int EMailColour() const { return EMailEnabled() ? kWhite : kSilver; }

    // "Ascii/Binary": rgMode and lbExt, white only for "Ascii".
    int TransferMode() const { return transferMode_; }
    void SetTransferMode(int mode);
    int ExtensionListColour() const { return transferMode_ == kAsciiMode ? kWhite : kSilver; }
    const std::vector<std::string>& Extensions() const { return extensions_; }
    int SelectedExtension() const { return selectedExtension_; }
    void SelectExtension(int index);
    // "Add", and "Modify" with no extension selected, append the answer; "Modify" with one
    // selected replaces it. A cancelled question (nothing) changes nothing.
    TInputQuery AddExtensionQuery() const;
    void AddExtension(const std::optional<std::string>& answer);
    TInputQuery ModifyExtensionQuery() const;
    void ModifyExtension(const std::optional<std::string>& answer);
    void RemoveExtension();

    // "Proxy / Firewall ": rgType with its two panels, each edit white while its panel is
    // enabled and silver while not.
    int ConnectionType() const { return connectionType_; }
    void SetConnectionType(int type);
    bool ProxyPanelEnabled() const { return connectionType_ == kProxyType; }
    bool SocksPanelEnabled() const {
        return connectionType_ >= kFirstSocksType && connectionType_ <= kLastSocksType;
    }
    int ProxyEditColour() const { return ProxyPanelEnabled() ? kWhite : kSilver; }
    int SocksEditColour() const { return SocksPanelEnabled() ? kWhite : kSilver; }
    // "Enable FireWall" is always disabled; it enables the type group and blackens its font.
    bool FireWallGroupEnabled() const { return Checked(TOptionsCheck::cbFW); }
    int FireWallFontColour() const { return FireWallGroupEnabled() ? kBlack : kGrey; }
    int FireWallType() const { return fireWallType_; }
    void ClickFireWallType(int tag);

    // OK: the edited fields go into the preferences; the others keep their values.
    void Confirm();
    void Cancel() { closed_ = true; }
    bool Closed() const { return closed_; }
    bool Confirmed() const { return confirmed_; }
    // The preferences: as given until confirmed, then as edited.
    const TFTPOptions& Options() const { return options_; }

  private:
    template <typename E>
    static size_t Index(E e) {
        return static_cast<size_t>(e);
    }
    bool ExtensionSelected() const {
        return selectedExtension_ >= 0 &&
               static_cast<size_t>(selectedExtension_) < extensions_.size();
    }

    TFTPOptions options_;
    TOptionsPage page_ = TOptionsPage::Connection;
    std::array<std::string, kOptionsTextCount> texts_;
    std::array<bool, kOptionsCheckCount> checks_{};
    int timeOut_ = kTimeOutMin;
    int retry_ = kRetryMin;
    int transferMode_ = 0;
    int connectionType_ = 0;
    int fireWallType_ = 0;
    std::vector<std::string> extensions_;
    int selectedExtension_ = -1;
    bool closed_ = false;
    bool confirmed_ = false;
};

}  // namespace tarnwick::dialogs

// TFFtpBase, "Server Properties": edits a copy of one saved server and hands it back only when
// the user confirms. It holds the boxes' values, derives which boxes are enabled or shown,
// keeps the host types list for the custom panel (read when it opens, saved whenever it
// closes) and checks what OK would store: a name and a server are required, no value but the
// password may hold ";" or a line break (it would end its item in the server list), and the
// name must not be another saved server's.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/HostTypeChoice.h"
#include "dialogs/InputForm.h"
#include "settings/ServerList.h"

namespace tarnwick::dialogs {

inline constexpr const char* kServerPropertiesCaption = "Server Properties";
inline constexpr const char* kAttentionCaption = "Attention";
inline constexpr const char* kNameRequiredText = "FTP Server Name must be defined";
inline constexpr const char* kHostTypeNameLabel = "Host Type Name";
inline constexpr const char* kDescriptionLabel = "Description";

// The edit boxes, in the order of the dialog.
enum class TServerText {
    NameEdt,
    ServerEdt,
    PortEdt,
    UserEdt,
    PasswordEdt,
    AccountEdt,
    EMailEdt,
    RemoteDirEdt,
    LocalDir,
};
inline constexpr size_t kServerTextCount = 9;

enum class TServerCheck { AnonymousCB, SavePasswordCB, cbPv, cbVH, cbMPsw };
inline constexpr size_t kServerCheckCount = 5;

// The response types of cbType; the index is the host type digit.
inline constexpr std::array<const char*, 8> kServerTypes = {
    "Default", "Text", "Microsoft FTP-v.4.0.", "Mac", "Custom", "VMS", "Microsoft FTP-v.5.0.", ""};
inline constexpr int kCustomType = 4;

// cbEncryption ("Encryption"); the index is the record's Encryption value.
inline constexpr const char* kEncryptionLabel = "Encryption";
inline constexpr std::array<const char*, 4> kEncryptionChoices = {
    "None", "Explicit TLS (required)", "Implicit TLS", "Explicit TLS if available"};
// What cbEncryption shows for a value it does not know (kept as it is unless changed).
inline constexpr int kNoEncryptionChoice = -1;

// cbDataConnection ("Data connection"): the command of a passive data connection on IPv4;
// the index is the record's DataConnection value. A value it does not know shows as PASV
// and is kept unless changed.
inline constexpr const char* kDataConnectionLabel = "Data connection";
inline constexpr std::array<const char*, 2> kDataConnectionChoices = {"PASV", "EPSV"};

// The caption of each edit box, which also names it in a refusal.
const char* ServerTextLabel(TServerText box);

// A message the dialog shows before staying open ("Attention", error icon).
struct TDialogMessage {
    std::string Caption;
    std::string Text;
    bool operator==(const TDialogMessage&) const = default;
};

class TFFtpBase {
  public:
    // `settingsFolder` holds the host types file and is where "Browse" starts when the local
    // folder does not exist; `otherNames` are the names of the other saved servers.
    TFFtpBase(const TFTPServerInfo& record, std::string settingsFolder,
              std::vector<std::string> otherNames = {});

    const std::string& Text(TServerText box) const { return texts_[Index(box)]; }
    void SetText(TServerText box, std::string text) { texts_[Index(box)] = std::move(text); }
    bool Checked(TServerCheck box) const { return checks_[Index(box)]; }
    void SetChecked(TServerCheck box, bool on) { checks_[Index(box)] = on; }
    const std::vector<std::string>& DescLines() const { return descLines_; }
    void SetDescLines(std::vector<std::string> lines) { descLines_ = std::move(lines); }

    // "Anonymous Login" enables the e-mail box; the user, password and account boxes are
    // enabled exactly when the e-mail box is not. "Mask Password" masks the password box.
    bool EMailEnabled() const { return Checked(TServerCheck::AnonymousCB); }
    bool LoginEnabled() const { return !EMailEnabled(); }
    bool PasswordMasked() const { return Checked(TServerCheck::cbMPsw); }

    // cbType and the custom panel, shown exactly for "Custom".
    int TypeIndex() const { return typeIndex_; }
    void SetTypeIndex(int index);
    bool CustomPanelVisible() const { return typeIndex_ == kCustomType; }
    char TypeDigit() const { return static_cast<char>('0' + typeIndex_); }

    // cbEncryption. Choosing implicit TLS turns the port box from "21" (or empty) into "990",
    // choosing anything else turns "990" back into "21": the port follows the mode the user
    // picked unless it was set to something of its own.
    int EncryptionIndex() const;
    void SetEncryptionIndex(int index);

    // cbDataConnection.
    int DataConnectionIndex() const;
    void SetDataConnectionIndex(int index);

    // The named host types and the digit boxes.
    const THostTypeChoice& HostTypes() const { return hostTypes_; }
    void SelectHostType(int index) { hostTypes_.Select(index, TypeDigit()); }
    void SetDigit(TDigitBox box, std::string_view text) { hostTypes_.SetDigit(box, text); }
    TInputQuery AddHostTypeQuery() const { return hostTypes_.AddQuery(); }
    void AddHostType(const std::optional<std::string>& name) { hostTypes_.Add(name, TypeDigit()); }
    TInputQuery EditHostTypeQuery() const { return hostTypes_.EditQuery(); }
    void EditHostType(const std::optional<std::string>& name) {
        hostTypes_.Edit(name, TypeDigit());
    }
    void DeleteHostType() { hostTypes_.Delete(); }

    // "Browse": where the folder chooser opens, and the folder chosen.
    std::string BrowseStart() const;
    void FolderChosen(std::string folder) { SetText(TServerText::LocalDir, std::move(folder)); }

    // OK: checks the boxes; if they pass, the record takes them, the host types are saved and
    // true comes back; otherwise Refusal() says why and the dialog stays open.
    bool Confirm();
    const std::optional<TDialogMessage>& Refusal() const { return refusal_; }
    // Cancel (or closing the window): the record stays as it was; the host types are saved.
    void Cancel();
    bool Closed() const { return closed_; }
    bool Confirmed() const { return confirmed_; }

    // The record: as opened until confirmed, then as edited.
    const TFTPServerInfo& Record() const { return record_; }

  private:
    template <typename E>
    static size_t Index(E e) {
        return static_cast<size_t>(e);
    }
    void OpenHostType();
    std::optional<TDialogMessage> Check() const;
    void CopyBack();
    void SaveHostTypes();

    TFTPServerInfo record_;
    std::string settingsFolder_;
    std::vector<std::string> otherNames_;
    std::array<std::string, kServerTextCount> texts_;
    std::array<bool, kServerCheckCount> checks_{};
    std::vector<std::string> descLines_;
    int typeIndex_ = 0;
    std::uint8_t encryption_ = 0;
    std::uint8_t dataConnection_ = 0;
    THostTypeChoice hostTypes_;
    std::optional<TDialogMessage> refusal_;
    bool closed_ = false;
    bool confirmed_ = false;
};

}  // namespace tarnwick::dialogs

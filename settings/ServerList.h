// The saved servers and their file "ftplist.TXT".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/Options.h"
#include "settings/TextFile.h"

namespace tarnwick {

inline constexpr const char* kServerListFileName = "ftplist.TXT";
inline constexpr const char* kDefaultHostType = "0957681";

// The values of TFTPServerInfo::Encryption.
enum class TServerEncryption : std::uint8_t {
    Plain = 0,
    ExplicitRequired = 1,
    Implicit = 2,
    ExplicitIfAvailable = 3,
};
inline constexpr std::uint8_t kHighestEncryption = 3;

// The values of TFTPServerInfo::DataConnection.
enum class TServerDataConnection : std::uint8_t {
    Pasv = 0,
    Epsv = 1,
};

// One saved server. Flags hold a byte each: 0 is no, anything else yes.
struct TFTPServerInfo {
    std::string Name;  // at most 50 bytes
    std::string Server;
    std::string Port;
    std::string Password;  // plain in memory, scrambled in the file
    std::string User;
    std::string Account;
    std::string Description;  // at most 200
    std::string InitialDir;   // at most 255
    std::uint8_t Anonymous = 0;
    std::uint8_t SavePassword = 0;
    std::string ModifiedDate;  // at most 80
    std::string EMail;         // at most 60
    std::string LocalDir;      // at most 255
    std::uint8_t Pasv = 0;
    std::string Desc;        // lines joined with "`"
    std::string Answer;      // at most 7: host type digit and six column digits
    std::string AnswerName;  // at most 255
    std::uint8_t CheckPSW = 0;
    std::uint8_t CheckVHost = 0;
    // 0 plain, 1 explicit TLS required, 2 implicit TLS, 3 explicit TLS if the server offers it
    // (TServerEncryption). Written only when not 0, so older lists read and write as before.
    std::uint8_t Encryption = 0;
    // The command of a passive data connection on IPv4: 0 PASV, 1 EPSV (falling back to PASV
    // when the server does not know it); TServerDataConnection. Any other value reads as PASV
    // and is kept. Written only when not 0, like Encryption.
    std::uint8_t DataConnection = 0;

    bool operator==(const TFTPServerInfo&) const = default;
};

// A new record: port "21", user "anonymous", SavePassword and CheckPSW set,
// Answer "0957681", AnswerName "Default", and EMail the preferences'
// anonymous address when their MailAno is set.
TFTPServerInfo NewServerInfo(const TFTPOptions& options = TFTPOptions{});

// Cuts the short fields to their lengths (at a UTF-8 character boundary when
// the value is UTF-8), as storing them into a record does.
void CutShortFields(TFTPServerInfo& server);

// One line of the file (without its line ending) read into a record that
// starts from NewServerInfo(options).
TFTPServerInfo ReadServerLine(std::string_view line, const TFTPOptions& options = TFTPOptions{});

// The line the file gets for this record, without its line ending.
std::string ServerLine(const TFTPServerInfo& server);

// The lines "ftplist.TXT" would get for these records if saved now.
std::vector<std::string> ServerLines(const std::vector<TFTPServerInfo>& servers);

// The whole file text: every line ended with CR LF.
std::string ServerListText(const std::vector<TFTPServerInfo>& servers);

// Reads folder/"ftplist.TXT": every line, a blank one too, is a server. Only
// when the file was read (kOk) is `servers` replaced; a missing or unreadable
// file leaves it as it was.
ReadStatus LoadServerList(const std::string& folder, std::vector<TFTPServerInfo>& servers,
                          const TFTPOptions& options = TFTPOptions{});

// Replaces folder/"ftplist.TXT" (mode 0600) with the list. False when nothing
// was written, also when the existing file cannot be read; the old file is then
// untouched.
bool SaveServerList(const std::string& folder, const std::vector<TFTPServerInfo>& servers);

// Index of the first record whose Name equals `name` exactly, or -1.
int FindServer(const std::vector<TFTPServerInfo>& servers, std::string_view name);

// The stored form of a password and back (see ServerList.cpp).
std::string ScramblePassword(std::string_view plain);
std::string UnscramblePassword(std::string_view stored);

// A multi-line description and its stored one-line form ("`" between lines).
std::string JoinDescLines(const std::vector<std::string>& lines);
std::vector<std::string> SplitDescLines(std::string_view desc);

}  // namespace tarnwick

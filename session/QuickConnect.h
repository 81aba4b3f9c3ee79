// Quick connect: a session to a server typed in (host, user, password, port) or pasted as
// ftp://user@host:port/dir, opened the way a saved server is opened but never added to the
// server list. The hosts used last are remembered in "quick-connect" in the settings folder,
// with their port and user but never a password.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/ServerList.h"

namespace tarnwick::session {

class T_Main;

inline constexpr const char* kQuickConnectFileName = "quick-connect";
inline constexpr size_t kQuickConnectHistorySize = 10;

// One remembered host.
struct TQuickConnectEntry {
    std::string Host;
    std::string Port;
    std::string User;
    bool operator==(const TQuickConnectEntry&) const = default;
};

// The hosts used last, most recent first, each host and port once, at most ten.
class TQuickConnectHistory {
  public:
    explicit TQuickConnectHistory(std::string settingsFolder);

    // Reads the file; a missing, unreadable or damaged file gives an empty history (lines
    // that do not read as an entry are left out).
    void Load();
    // The file written anew (atomically, mode 0600). False when it could not be.
    bool Save() const;

    const std::vector<TQuickConnectEntry>& Entries() const { return entries_; }
    // `entry` goes first; an older one for the same host and port goes; the oldest beyond
    // ten go.
    void Remember(TQuickConnectEntry entry);
    // The file's text for the entries.
    static std::string FileText(const std::vector<TQuickConnectEntry>& entries);

  private:
    std::string folder_;
    std::vector<TQuickConnectEntry> entries_;
};

// What the quick-connect bar holds.
struct TQuickConnectFields {
    std::string Host;
    std::string User;
    std::string Password;
    std::string Port;
    bool operator==(const TQuickConnectFields&) const = default;
};

// The record a quick connect opens, or why there is none.
struct TQuickConnectRecord {
    std::optional<TFTPServerInfo> Server;  // its Server text as typed (normalised on connect)
    TQuickConnectEntry Entry;              // the host, port and user it remembers
    std::string Problem;                   // empty when Server is set
};

// The record for the fields: the host may carry scheme, login, port and directory; an empty
// user logs in anonymously with the preferences' address as the password; a user without a
// password is asked for one when connecting. Passive mode.
TQuickConnectRecord QuickConnectRecord(const TQuickConnectFields& fields,
                                       const TFTPOptions& options);

// The bar's logic: its fields, the history, and Connect.
class TQuickConnect {
  public:
    explicit TQuickConnect(T_Main& main);

    const TQuickConnectFields& Fields() const { return fields_; }
    void SetHost(std::string host) { fields_.Host = std::move(host); }
    void SetUser(std::string user) { fields_.User = std::move(user); }
    void SetPassword(std::string password) { fields_.Password = std::move(password); }
    void SetPort(std::string port) { fields_.Port = std::move(port); }

    const TQuickConnectHistory& History() const { return history_; }
    // A remembered host chosen: host, port and user fill the fields, the password empties.
    void ChooseHistory(size_t index);

    // Opens the session; false (and Problem() saying why, also in the log) when it did not
    // start.
    bool Connect();
    const std::string& Problem() const { return problem_; }

    // The fields or the history changed.
    std::function<void()> OnChanged;

  private:
    bool Refuse(std::string problem);
    void Changed();

    T_Main& main_;
    TQuickConnectFields fields_;
    TQuickConnectHistory history_;
    std::string problem_;
};

}  // namespace tarnwick::session

// A saved server as the remote end of tarnwick-cli's ls, get and put: "@NAME" or
// "@NAME:PATH" in place of a URL.
//
// NAME is the Name of a server in the settings folder's "ftplist.TXT" (the first of that
// name, case-sensitive; blanks and any other bytes allowed). When the whole text after "@"
// is no saved name, NAME ends at a ":" and the rest is PATH; of several ":" the longest
// saved name wins. PATH starting with "/" is absolute; any other PATH is relative to the
// server's initial directory; without PATH the command works in that directory. A server
// without an initial directory starts where its login puts the user.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/FtpUrl.h"
#include "settings/ServerList.h"

namespace tarnwick::cli {

inline constexpr char kSavedServerMark = '@';
inline constexpr char kSavedPathMark = ':';

// The remote end a saved server gives, with what it sets for the session.
struct SavedServerTarget {
    FtpUrl Url;                // Path "" for the login directory
    bool Passive = false;      // the record's Pasv: the mode unless --active or --passive
    std::string Answer;        // the record's host type string, for ls without --answer
    bool Epsv = false;         // the record's DataConnection is EPSV
    bool AskPassword = false;  // the record keeps no password: it is asked for
};

inline bool IsSavedServerReference(std::string_view text) {
    return !text.empty() && text.front() == kSavedServerMark;
}

// The index of the server `reference` (the text after "@") names, -1 for none; `path`
// receives what follows the name's ":".
int FindSavedServer(const std::vector<TFTPServerInfo>& servers, std::string_view reference,
                    std::string& path);

// The remote end of one saved record and a PATH: its Server text taken apart as the window
// does it (scheme, user:password@, :port and /folder), port 21 when none; the login
// anonymous with the record's e-mail, or the record's user with its saved password, or with
// the password to be asked for. False with a reason when the record names no host.
bool SavedServerToTarget(const TFTPServerInfo& record, std::string_view path,
                         SavedServerTarget& target, std::string& reason);

// "@NAME[:PATH]" looked up in the settings folder. The exit code: kExitOk, kExitUsage for
// an unknown name or a bad PATH, kExitFailed for a list that cannot be read or a record
// without a host; `reason` then says why, terminal-safe and without any saved password.
int ResolveSavedServer(std::string_view text, SavedServerTarget& target, std::string& reason);

}  // namespace tarnwick::cli

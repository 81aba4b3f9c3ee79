// Text that came from a server, made fit for the user's terminal: control characters
// written as \xHH so that no reply or file name can move the cursor, retitle or clear
// the window, and the session's passwords replaced by "****".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "listing/ListingEntry.h"

namespace tarnwick::cli {

// How much is escaped.
enum class EscapeStyle {
    // Messages: control characters other than TAB, and DEL.
    kMessage,
    // One field of an ls line: also TAB (the field separator) and the backslash, so
    // that every printed field reads back unambiguously.
    kField,
};

// Escapes the C0 control characters, DEL and the C1 controls (U+0080 to U+009F in
// UTF-8, or the bytes 0x80 to 0x9F outside a UTF-8 sequence) as \xHH per byte. Other
// bytes, UTF-8 and Latin-1 letters included, pass unchanged.
std::string EscapeForTerminal(std::string_view text, EscapeStyle style);

// The entry with each of its text fields escaped as one ls field.
TListingEntry EscapedEntry(const TListingEntry& entry);

// The text a password is replaced by.
inline constexpr std::string_view kHiddenPassword = "****";

// The messages of one session: every occurrence of a password it was given is hidden,
// then the control characters are escaped.
class MessageCleaner {
  public:
    // An empty secret is ignored.
    void AddSecret(std::string secret);
    std::string Clean(std::string_view text) const;

  private:
    std::vector<std::string> secrets_;
};

}  // namespace tarnwick::cli

// Reading the settings files: whole-file read and line splitting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

enum class ReadStatus {
    kOk,          // the file was read whole
    kMissing,     // no file of that name
    kUnreadable,  // present but not a readable regular file (or absurdly large)
};

// Reads the whole file as bytes. Only regular files are read (a folder or a
// FIFO in the file's place is unreadable, never a hang). `text` is cleared
// unless the status is kOk.
ReadStatus ReadTextFile(const std::string& path, std::string& text);

// The lines of a text; a line ends with CR LF, LF or a lone CR. A final line
// without an ending counts; an ending at the very end does not start another
// line. NUL and other bytes are kept as they are.
std::vector<std::string> SplitLines(std::string_view text);

// Integer reading shared by the settings files: optional blanks around an
// optional sign and decimal digits that fit an int; anything else is false
// and leaves `value` alone.
bool ParseInt(std::string_view text, int& value);

// The line ending every settings file is written with.
inline constexpr std::string_view kLineEnd = "\r\n";

}  // namespace tarnwick

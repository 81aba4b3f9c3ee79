// Small helpers the dialogs share for the byte texts they edit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::dialogs {

// The text without leading and trailing blanks and control characters, as the dialogs store
// their boxes.
std::string Trimmed(std::string_view text);

// The number of characters: UTF-8 characters when the text is valid UTF-8, else bytes.
size_t CharacterCount(std::string_view text);

// At most `maxBytes` bytes of the text; a valid UTF-8 text is never cut inside a character.
std::string CutBytes(std::string_view text, size_t maxBytes);

// True when the text holds ";" or a line break, which would end its item in a server-list line.
bool HoldsItemBreak(std::string_view text);

// At most `count` characters from the start of the text.
std::string LeadingCharacters(std::string_view text, size_t count);

// ASCII letters compared without regard to case, every other byte exactly.
bool SameTextNoCase(std::string_view a, std::string_view b);

// True when the path names an existing folder.
bool FolderExists(const std::string& path);

// The lines of a memo's text: split at CR LF, CR or LF; a final line break starts no line.
std::vector<std::string> MemoLines(std::string_view text);

}  // namespace tarnwick::dialogs

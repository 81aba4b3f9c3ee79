#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// A byte that trimming removes: the blank and every control character.
inline bool IsTrimmable(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

inline bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// The text without leading and trailing blanks and control characters.
std::string_view TrimBlanks(std::string_view text);

// Splits a text at a delimiter into trimmed pieces. Runs of the delimiter
// between words yield empty pieces only when the delimiter is not a blank;
// a text that begins with the delimiter yields an empty first piece, a
// delimiter at the very end yields no empty last piece.
std::vector<std::string> SplitTrimmed(std::string_view text, char delimiter);

// The same pieces as views into the text, for callers that only look at them.
void SplitTrimmedViews(std::string_view text, char delimiter, std::vector<std::string_view>& out);

// True when the whole text is an optional sign followed by one or more digits.
bool IsWholeInteger(std::string_view text);

// The value of a whole integer, or of the leading digits of any other text
// (0 when there are none); saturates instead of overflowing.
std::int64_t LeadingInteger(std::string_view text);

// The characters from 1-based position `from`, at most `count` of them;
// positions beyond the end give nothing.
std::string_view Columns(std::string_view text, std::size_t from, std::size_t count);

// ASCII letters upper-cased, every other byte unchanged.
inline char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
inline char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

}  // namespace tarnwick

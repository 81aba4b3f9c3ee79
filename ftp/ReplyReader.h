// Cutting the control connection's byte stream into reply lines, and reading the numbers
// and quoted texts inside reply lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnwick::ftp {

// The control receive buffer: 4 KiB, filled to at most 4095 bytes. Received bytes are
// appended (WritePtr/Room/Commit) and whole lines taken from the front (NextLine).
class ReplyReader {
  public:
    static constexpr size_t kBufferSize = 4096;
    static constexpr size_t kMaxHeld = kBufferSize - 1;

    // Where the next received bytes go, and how many fit; 0 room means a line longer than
    // the buffer is being held.
    char* WritePtr() { return buffer_ + held_; }
    size_t Room() const { return kMaxHeld - held_; }
    void Commit(size_t count) { held_ += count; }

    size_t Held() const { return held_; }
    void Clear() { held_ = 0; }

    // Takes the first complete line off the front of the buffer into line, without its
    // trailing CR and LF characters. A line ends at LF when acceptLF is set, else at CR LF.
    // False when no complete line is held (the bytes stay for the next read).
    bool NextLine(bool acceptLF, std::string& line);

  private:
    char buffer_[kBufferSize] = {};
    size_t held_ = 0;
};

// A final reply line starts with a decimal digit, and the character after its leading run
// of digits is not "-". Empty lines and lines starting with anything else are never final.
bool IsFinalReplyLine(const std::string& line);

// Skips blanks (space, tab, CR, LF), takes an optional sign and a run of decimal digits
// from text at pos; returns the value (0 when there are no digits) and leaves pos after the
// digits. Values beyond the 64-bit range saturate.
int64_t ParseNumber(const std::string& text, size_t& pos);
inline int64_t ParseNumber(const std::string& text) {
    size_t pos = 0;
    return ParseNumber(text, pos);
}

// Skips blanks from pos; when a double quote follows, returns the text up to the closing
// quote, where two quotes in a row stand for one quote character. A missing closing quote
// takes the rest of the text; no opening quote gives "".
std::string ParseQuoted(const std::string& text, size_t pos = 0);

}  // namespace tarnwick::ftp

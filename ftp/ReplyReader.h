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
    // False when no complete line is held (the bytes stay for the next read). consumed, when
    // given, receives the bytes the line took in the buffer, its line end included.
    bool NextLine(bool acceptLF, std::string& line, size_t* consumed = nullptr);

  private:
    char buffer_[kBufferSize] = {};
    size_t held_ = 0;
};

// Tells which line ends a reply. A line whose three-digit code is followed by "-" opens a
// multi-line reply; it ends only at a line that starts with the same code followed by a
// blank, or that is the code alone, and every line between is body, whatever it starts
// with. Outside a multi-line reply a line ends the reply when IsFinalReplyLine says so.
// A reply is bounded: its lines and bytes are counted from the line after the last final
// one, and past kMaxReplyLines lines or kMaxReplyBytes bytes the reply is reported as too
// long instead of being waited through.
class ReplyFramer {
  public:
    static constexpr size_t kMaxReplyLines = 10000;
    static constexpr size_t kMaxReplyBytes = 1024 * 1024;

    enum class Verdict { Body, Final, TooManyLines, TooManyBytes };

    // wireBytes: the bytes the line took on the connection, its line end included.
    Verdict Take(const std::string& line, size_t wireBytes);
    void Reset();

  private:
    std::string openingCode_;  // empty outside a multi-line reply
    size_t lines_ = 0;
    size_t bytes_ = 0;
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

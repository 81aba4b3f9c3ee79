// The reply reader: line cutting in the control buffer and reply-line parsing.
#include "ftp/ReplyReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tarnwick::ftp {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr size_t kCodeLength = 3;  // a reply code is three digits

}  // namespace

bool ReplyReader::NextLine(bool acceptLF, std::string& line, size_t* consumedOut) {
    size_t lineLen = 0;
    size_t consumed = 0;
    bool found = false;
    for (size_t i = 0; i < held_; ++i) {
        if (buffer_[i] != '\n') continue;
        if (acceptLF) {
            lineLen = i;
            consumed = i + 1;
            found = true;
            break;
        }
        if (i > 0 && buffer_[i - 1] == '\r') {
            lineLen = i - 1;
            consumed = i + 1;
            found = true;
            break;
        }
    }
    if (!found) return false;
    line.assign(buffer_, lineLen);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    std::memmove(buffer_, buffer_ + consumed, held_ - consumed);
    held_ -= consumed;
    buffer_[held_] = '\0';
    if (consumedOut != nullptr) *consumedOut = consumed;
    return true;
}

ReplyFramer::Verdict ReplyFramer::Take(const std::string& line, size_t wireBytes) {
    ++lines_;
    bytes_ += wireBytes;
    if (lines_ > kMaxReplyLines) return Verdict::TooManyLines;
    if (bytes_ > kMaxReplyBytes) return Verdict::TooManyBytes;
    bool final;
    if (openingCode_.empty()) {
        const bool opens = line.size() > kCodeLength && line[kCodeLength] == '-' &&
                           std::all_of(line.begin(), line.begin() + kCodeLength, IsDigit);
        if (opens) {
            openingCode_ = line.substr(0, kCodeLength);
            return Verdict::Body;
        }
        final = IsFinalReplyLine(line);
    } else {
        final = line.compare(0, kCodeLength, openingCode_) == 0 &&
                (line.size() == kCodeLength || line[kCodeLength] == ' ');
    }
    if (!final) return Verdict::Body;
    Reset();
    return Verdict::Final;
}

void ReplyFramer::Reset() {
    openingCode_.clear();
    lines_ = 0;
    bytes_ = 0;
}

bool IsFinalReplyLine(const std::string& line) {
    if (line.empty() || !IsDigit(line[0])) return false;
    size_t i = 0;
    while (i < line.size() && IsDigit(line[i])) ++i;
    return i >= line.size() || line[i] != '-';
}

int64_t ParseNumber(const std::string& text, size_t& pos) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        const int digit = text[pos] - '0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
        ++pos;
    }
    return negative ? -value : value;
}

std::string ParseQuoted(const std::string& text, size_t pos) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos >= text.size() || text[pos] != '"') return {};
    ++pos;
    std::string result;
    while (pos < text.size()) {
        if (text[pos] == '"') {
            if (pos + 1 < text.size() && text[pos + 1] == '"') {
                result += '"';
                pos += 2;
                continue;
            }
            break;
        }
        result += text[pos++];
    }
    return result;
}

}  // namespace tarnwick::ftp

#include "app/TerminalText.h"

#include <algorithm>

namespace tarnwick::cli {
namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kTab = 0x09;
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kBackslash = 0x5C;
constexpr unsigned char kFirstNonAscii = 0x80;
constexpr unsigned char kLastC1 = 0x9F;
constexpr unsigned char kC1Lead = 0xC2;  // UTF-8 lead byte of U+0080 to U+00BF
constexpr const char* kHexDigits = "0123456789ABCDEF";

void AppendEscaped(std::string& out, unsigned char byte) {
    out += "\\x";
    out.push_back(kHexDigits[byte >> 4]);
    out.push_back(kHexDigits[byte & 0x0F]);
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at text[i], 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(i);
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range the second byte must lie in
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (at(i + 1) < low || at(i + 1) > high) return 0;
    for (std::size_t k = i + 2; k < i + length; ++k) {
        if (!IsContinuation(at(k))) return 0;
    }
    return length;
}

bool EscapesAscii(unsigned char byte, EscapeStyle style) {
    if (byte == kDelete) return true;
    if (byte < kFirstPrintable) return byte != kTab || style == EscapeStyle::kField;
    return byte == kBackslash && style == EscapeStyle::kField;
}

}  // namespace

std::string EscapeForTerminal(std::string_view text, EscapeStyle style) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < kFirstNonAscii) {
            if (EscapesAscii(byte, style)) {
                AppendEscaped(out, byte);
            } else {
                out.push_back(static_cast<char>(byte));
            }
            ++i;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            // A byte outside UTF-8: a C1 control in 8-bit terminals, else a Latin-1 letter.
            if (byte <= kLastC1) {
                AppendEscaped(out, byte);
            } else {
                out.push_back(static_cast<char>(byte));
            }
            ++i;
            continue;
        }
        const bool c1 = byte == kC1Lead && static_cast<unsigned char>(text[i + 1]) <= kLastC1;
        for (std::size_t k = i; k < i + length; ++k) {
            if (c1) {
                AppendEscaped(out, static_cast<unsigned char>(text[k]));
            } else {
                out.push_back(text[k]);
            }
        }
        i += length;
    }
    return out;
}

TListingEntry EscapedEntry(const TListingEntry& entry) {
    TListingEntry escaped = entry;
    for (std::string* field :
         {&escaped.Name, &escaped.Size, &escaped.Date, &escaped.Time, &escaped.Attr}) {
        *field = EscapeForTerminal(*field, EscapeStyle::kField);
    }
    return escaped;
}

void MessageCleaner::AddSecret(std::string secret) {
    if (secret.empty()) return;
    secrets_.push_back(std::move(secret));
    // The longest first, so that a secret holding another is hidden whole.
    std::sort(secrets_.begin(), secrets_.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

std::string MessageCleaner::Clean(std::string_view text) const {
    std::string hidden(text);
    for (const std::string& secret : secrets_) {
        for (std::size_t at = hidden.find(secret); at != std::string::npos;
             at = hidden.find(secret, at + kHiddenPassword.size())) {
            hidden.replace(at, secret.size(), kHiddenPassword);
        }
    }
    return EscapeForTerminal(hidden, EscapeStyle::kMessage);
}

}  // namespace tarnwick::cli

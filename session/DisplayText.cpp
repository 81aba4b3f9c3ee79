#include "session/DisplayText.h"

#include <array>
#include <cstdint>

namespace tarnwick::session {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kControlPictures = 0x2400;  // U+2400 SYMBOL FOR NULL and on
constexpr char32_t kDeletePicture = 0x2421;
constexpr unsigned char kDel = 0x7F;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

// Windows-1252 bytes 0x80 to 0x9F; 0 marks the five bytes without a character.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool IsBidiControl(char32_t cp) {
    return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E ||
           cp == 0x200F || cp == 0x061C;
}

// What the screen gets for one character.
char32_t Visible(char32_t cp) {
    if (cp < 0x20) return kControlPictures + cp;
    if (cp == kDel) return kDeletePicture;
    if (cp >= 0x80 && cp < 0xA0) return kReplacement;  // C1 controls (CSI among them)
    if (IsBidiControl(cp)) return kReplacement;
    return cp;
}

char32_t FromCp1252(unsigned char b) {
    if (b >= 0x80 && b < 0xA0) {
        const char32_t cp = kCp1252High[b - 0x80];
        return cp == 0 ? kReplacement : cp;
    }
    return b;
}

// The Windows-1252 byte of a character; false when it has none.
bool ToCp1252(char32_t cp, unsigned char& b) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        b = static_cast<unsigned char>(cp);
        return true;
    }
    for (size_t k = 0; k < kCp1252High.size(); ++k) {
        if (kCp1252High[k] != 0 && kCp1252High[k] == cp) {
            b = static_cast<unsigned char>(0x80 + k);
            return true;
        }
    }
    return false;
}

}  // namespace

bool DecodeUtf8(std::string_view s, size_t& i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    }
    int len = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return false;
    }
    if (i + static_cast<size_t>(len) > s.size()) return false;
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
        if ((b & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > kMaxCodePoint || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += static_cast<size_t>(len);
    return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    char32_t cp = 0;
    while (i < bytes.size()) {
        if (!DecodeUtf8(bytes, i, cp)) return false;
    }
    return true;
}

TTextEncoding DisplayEncoding(std::string_view bytes) {
    return IsValidUtf8(bytes) ? TTextEncoding::Utf8 : TTextEncoding::Windows1252;
}

std::string DisplayText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    if (IsValidUtf8(bytes)) {
        size_t i = 0;
        char32_t cp = 0;
        while (i < bytes.size()) {
            DecodeUtf8(bytes, i, cp);
            const char32_t shown = Visible(cp);
            if (shown == cp && cp < 0x80)
                out += static_cast<char>(cp);
            else
                AppendUtf8(out, shown);
        }
        return out;
    }
    for (char c : bytes) AppendUtf8(out, Visible(FromCp1252(static_cast<unsigned char>(c))));
    return out;
}

std::string BytesFromEdit(std::string_view original, std::string_view editedUtf8) {
    if (editedUtf8 == DisplayText(original)) return std::string(original);
    if (DisplayEncoding(original) == TTextEncoding::Windows1252 && IsValidUtf8(editedUtf8)) {
        std::string out;
        size_t i = 0;
        char32_t cp = 0;
        bool ok = true;
        while (ok && i < editedUtf8.size()) {
            DecodeUtf8(editedUtf8, i, cp);
            unsigned char b = 0;
            ok = ToCp1252(cp, b);
            out += static_cast<char>(b);
        }
        if (ok) return out;
    }
    return std::string(editedUtf8);
}

}  // namespace tarnwick::session

#include "dialogs/ByteText.h"

#include <sys/stat.h>

#include "listing/TextUtil.h"

namespace tarnwick::dialogs {

namespace {

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the UTF-8 sequence a lead byte starts, 0 for a byte that starts none.
size_t SequenceLength(unsigned char c) {
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return 2;
    if (c >= 0xE0 && c <= 0xEF) return 3;
    if (c >= 0xF0 && c <= 0xF4) return 4;
    return 0;
}

bool IsUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const size_t n = SequenceLength(static_cast<unsigned char>(s[i]));
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if (!IsContinuation(static_cast<unsigned char>(s[i + k]))) return false;
        i += n;
    }
    return true;
}

}  // namespace

std::string Trimmed(std::string_view text) {
    return std::string(TrimBlanks(text));
}

size_t CharacterCount(std::string_view text) {
    if (!IsUtf8(text)) return text.size();
    size_t count = 0;
    for (char c : text)
        if (!IsContinuation(static_cast<unsigned char>(c))) ++count;
    return count;
}

std::string CutBytes(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    size_t cut = maxBytes;
    if (IsUtf8(text))
        while (cut > 0 && IsContinuation(static_cast<unsigned char>(text[cut]))) --cut;
    return std::string(text.substr(0, cut));
}

std::string LeadingCharacters(std::string_view text, size_t count) {
    if (!IsUtf8(text)) return std::string(text.substr(0, count));
    size_t end = 0;
    for (size_t n = 0; n < count && end < text.size(); ++n)
        end += SequenceLength(static_cast<unsigned char>(text[end]));
    return std::string(text.substr(0, end));
}

bool SameTextNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

bool FolderExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool HoldsItemBreak(std::string_view text) {
    return text.find_first_of(";\r\n") != std::string_view::npos;
}

std::vector<std::string> MemoLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

}  // namespace tarnwick::dialogs

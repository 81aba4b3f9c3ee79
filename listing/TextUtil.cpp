#include "listing/TextUtil.h"

#include <limits>

namespace tarnwick {

std::string_view TrimBlanks(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsTrimmable(text[begin])) ++begin;
    while (end > begin && IsTrimmable(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

void SplitTrimmedViews(std::string_view text, char delimiter, std::vector<std::string_view>& out) {
    out.clear();
    while (!text.empty()) {
        const std::size_t at = text.find(delimiter);
        if (at == std::string_view::npos) {
            out.push_back(TrimBlanks(text));
            return;
        }
        out.push_back(TrimBlanks(text.substr(0, at)));
        if (at + 1 == text.size()) return;
        text = TrimBlanks(text.substr(at + 1));
    }
}

std::vector<std::string> SplitTrimmed(std::string_view text, char delimiter) {
    std::vector<std::string_view> views;
    SplitTrimmedViews(text, delimiter, views);
    return std::vector<std::string>(views.begin(), views.end());
}

bool IsWholeInteger(std::string_view text) {
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
    if (text.empty()) return false;
    for (char c : text) {
        if (!IsAsciiDigit(c)) return false;
    }
    return true;
}

std::int64_t LeadingInteger(std::string_view text) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    bool negative = false;
    if (IsWholeInteger(text) && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    std::int64_t value = 0;
    for (char c : text) {
        if (!IsAsciiDigit(c)) break;
        const int digit = c - '0';
        if (value > (kMax - digit) / 10) {
            value = kMax;
            break;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string_view Columns(std::string_view text, std::size_t from, std::size_t count) {
    if (from == 0 || from > text.size()) return {};
    return text.substr(from - 1, count);
}

}  // namespace tarnwick

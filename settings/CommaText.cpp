#include "settings/CommaText.h"

namespace tarnwick {
namespace {

constexpr char kDelimiter = ',';
constexpr char kQuote = '"';
constexpr char kDelete = '\x7f';

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

bool NeedsQuotes(const std::string& item) {
    for (char c : item) {
        if (IsBlank(c) || c == kDelete || c == kDelimiter || c == kQuote) return true;
    }
    return false;
}

std::string Quoted(const std::string& item) {
    std::string out(1, kQuote);
    for (char c : item) {
        out += c;
        if (c == kQuote) out += kQuote;
    }
    out += kQuote;
    return out;
}

}  // namespace

std::string ToCommaText(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += kDelimiter;
        const std::string& item = items[i];
        bool last = i + 1 == items.size();
        out += (NeedsQuotes(item) || (item.empty() && last)) ? Quoted(item) : item;
    }
    return out;
}

std::vector<std::string> FromCommaText(std::string_view text) {
    std::vector<std::string> items;
    size_t pos = 0;
    const size_t n = text.size();
    auto skipBlanks = [&] {
        while (pos < n && IsBlank(text[pos])) ++pos;
    };
    skipBlanks();
    while (pos < n) {
        std::string item;
        if (text[pos] == kQuote) {
            ++pos;
            while (pos < n) {
                if (text[pos] == kQuote) {
                    if (pos + 1 < n && text[pos + 1] == kQuote) {
                        item += kQuote;
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                item += text[pos++];
            }
        } else {
            while (pos < n && !IsBlank(text[pos]) && text[pos] != kDelimiter) item += text[pos++];
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (pos < n && text[pos] == kDelimiter) {
            ++pos;
            skipBlanks();
        }
    }
    return items;
}

}  // namespace tarnwick

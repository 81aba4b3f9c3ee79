#include "settings/IniFile.h"

#include "settings/TextFile.h"

namespace tarnwick {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsCommentStart(char c) {
    return c == ';' || c == '#';
}

constexpr char kQuote = '"';

// Enclosed in a pair of double quotes (a lone quote is not a pair).
bool IsQuoted(std::string_view s) {
    return s.size() >= 2 && s.front() == kQuote && s.back() == kQuote;
}

}  // namespace

std::string_view IniTrimmedValue(std::string_view stored) {
    return Trim(stored);
}

std::string IniReadValue(std::string_view stored) {
    std::string_view value = Trim(stored);
    if (IsQuoted(value)) value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string IniStoredValue(std::string_view value) {
    const bool changesOnReading =
        IsQuoted(value) || (!value.empty() && (IsSpace(value.front()) || IsSpace(value.back())));
    if (!changesOnReading) return std::string(value);
    std::string stored;
    stored.reserve(value.size() + 2);
    stored += kQuote;
    stored += value;
    stored += kQuote;
    return stored;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

IniFile::Line IniFile::ParseLine(std::string text, std::string ending, const std::string& section) {
    Line line;
    line.ending = std::move(ending);
    line.section = section;
    std::string_view trimmed = Trim(text);
    if (!trimmed.empty() && trimmed.front() == '[') {
        size_t close = trimmed.find(']');
        if (close != std::string_view::npos) {
            line.isSection = true;
            line.section = std::string(Trim(trimmed.substr(1, close - 1)));
        }
    } else if (!trimmed.empty() && !IsCommentStart(trimmed.front())) {
        size_t eq = text.find('=');
        if (eq != std::string::npos) {
            std::string_view key = Trim(std::string_view(text).substr(0, eq));
            if (!key.empty()) {
                line.isKey = true;
                line.key = std::string(key);
                line.valueStart = eq + 1;
            }
        }
    }
    line.text = std::move(text);
    return line;
}

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    std::string section;
    bool inSection = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        size_t next = end;
        if (end == std::string_view::npos) {
            end = next = text.size();
        } else {
            next = end + 1;
            if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
        }
        Line line = ParseLine(std::string(text.substr(start, end - start)),
                              std::string(text.substr(end, next - end)), section);
        if (line.isSection) {
            section = line.section;
            inSection = true;
        } else if (!inSection) {
            line.isKey = false;  // keys before the first section belong to none
        }
        ini.lines_.push_back(std::move(line));
        start = next;
    }
    return ini;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
    bool seenSection = false;
    for (const Line& line : lines_) {
        if (line.isSection) {
            // Only the first section of a name counts, as for Set.
            if (seenSection) break;
            seenSection = EqualsNoCase(line.section, section);
            continue;
        }
        if (seenSection && line.isKey && EqualsNoCase(line.key, key)) {
            return line.text.substr(line.valueStart);
        }
    }
    return std::nullopt;
}

std::string IniFile::DefaultEnding() const {
    for (const Line& line : lines_) {
        if (!line.ending.empty()) return line.ending;
    }
    return std::string(kLineEnd);
}

void IniFile::Insert(size_t at, Line line) {
    // The line before the new one needs an ending of its own.
    if (at > 0 && lines_[at - 1].ending.empty()) lines_[at - 1].ending = DefaultEnding();
    if (line.ending.empty()) line.ending = DefaultEnding();
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    std::string clean;
    clean.reserve(value.size());
    for (char c : value) {
        if (c != '\r' && c != '\n') clean += c;
    }
    // Find the first section of that name, the key in it, and where it ends.
    size_t sectionAt = lines_.size();
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].isSection && EqualsNoCase(lines_[i].section, section)) {
            sectionAt = i;
            break;
        }
    }
    if (sectionAt == lines_.size()) {
        std::string ending = DefaultEnding();
        if (!lines_.empty() && !Trim(lines_.back().text).empty()) {
            Insert(lines_.size(), ParseLine("", ending, ""));
        }
        std::string name(section);
        Insert(lines_.size(), ParseLine("[" + name + "]", ending, name));
        Insert(lines_.size(), ParseLine(std::string(key) + "=" + clean, ending, name));
        return;
    }
    size_t lastFilled = sectionAt;
    for (size_t i = sectionAt + 1; i < lines_.size() && !lines_[i].isSection; ++i) {
        Line& line = lines_[i];
        if (line.isKey && EqualsNoCase(line.key, key)) {
            line.text.replace(line.valueStart, std::string::npos, clean);
            return;
        }
        if (line.isKey) lastFilled = i;
    }
    Insert(lastFilled + 1,
           ParseLine(std::string(key) + "=" + clean, "", lines_[sectionAt].section));
}

std::string IniFile::Text() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.text;
        out += line.ending;
    }
    return out;
}

}  // namespace tarnwick

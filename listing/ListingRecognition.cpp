#include "listing/ListingRecognition.h"

#include <algorithm>
#include <array>
#include <utility>

#include "listing/ListingDate.h"
#include "listing/TextUtil.h"

namespace tarnwick {

namespace {

// Month words after folding (lower case, accents dropped, no trailing "."): English in its
// abbreviated and full forms, then German, French, Spanish, Italian, Dutch and Portuguese.
// Words two languages share name the same month in both.
constexpr std::pair<std::string_view, int> kMonthWords[] = {
    {"jan", 1},
    {"feb", 2},
    {"mar", 3},
    {"apr", 4},
    {"may", 5},
    {"jun", 6},
    {"jul", 7},
    {"aug", 8},
    {"sep", 9},
    {"oct", 10},
    {"nov", 11},
    {"dec", 12},
    {"sept", 9},
    {"january", 1},
    {"february", 2},
    {"march", 3},
    {"april", 4},
    {"june", 6},
    {"july", 7},
    {"august", 8},
    {"september", 9},
    {"october", 10},
    {"november", 11},
    {"december", 12},
    // German (and Austrian "Jänner").
    {"januar", 1},
    {"janner", 1},
    {"februar", 2},
    {"marz", 3},
    {"mrz", 3},
    {"mai", 5},
    {"juni", 6},
    {"juli", 7},
    {"okt", 10},
    {"oktober", 10},
    {"dez", 12},
    {"dezember", 12},
    // French.
    {"janv", 1},
    {"janvier", 1},
    {"fev", 2},
    {"fevr", 2},
    {"fevrier", 2},
    {"mars", 3},
    {"avr", 4},
    {"avril", 4},
    {"juin", 6},
    {"juil", 7},
    {"juillet", 7},
    {"aou", 8},
    {"aout", 8},
    {"septembre", 9},
    {"octobre", 10},
    {"novembre", 11},
    {"decembre", 12},
    // Spanish.
    {"ene", 1},
    {"enero", 1},
    {"febrero", 2},
    {"marzo", 3},
    {"abr", 4},
    {"abril", 4},
    {"mayo", 5},
    {"junio", 6},
    {"julio", 7},
    {"ago", 8},
    {"agosto", 8},
    {"septiembre", 9},
    {"setiembre", 9},
    {"octubre", 10},
    {"noviembre", 11},
    {"dic", 12},
    {"diciembre", 12},
    // Italian.
    {"gen", 1},
    {"gennaio", 1},
    {"febbraio", 2},
    {"aprile", 4},
    {"mag", 5},
    {"maggio", 5},
    {"giu", 6},
    {"giugno", 6},
    {"lug", 7},
    {"luglio", 7},
    {"set", 9},
    {"settembre", 9},
    {"ott", 10},
    {"ottobre", 10},
    {"dicembre", 12},
    // Dutch.
    {"januari", 1},
    {"februari", 2},
    {"maart", 3},
    {"mrt", 3},
    {"mei", 5},
    {"augustus", 8},
    // Portuguese.
    {"janeiro", 1},
    {"fevereiro", 2},
    {"marco", 3},
    {"maio", 5},
    {"junho", 6},
    {"julho", 7},
    {"setembro", 9},
    {"out", 10},
    {"outubro", 10},
    {"dezembro", 12},
};

// No month word is longer than this once folded.
constexpr std::size_t kMaxMonthWord = 12;

// The sorted table, for a binary search.
const auto& SortedMonthWords() {
    static const auto sorted = [] {
        std::array<std::pair<std::string_view, int>, std::size(kMonthWords)> table{};
        std::copy(std::begin(kMonthWords), std::end(kMonthWords), table.begin());
        std::sort(table.begin(), table.end());
        return table;
    }();
    return sorted;
}

// The base letters of Latin-1 0xC0 to 0xFF (and of UTF-8 C3 80 to C3 BF), lower case;
// "*" for the two that are no letters.
constexpr std::string_view kLatinBase =
    "aaaaaaaceeeeiiiidnooooo*ouuuuyts"
    "aaaaaaaceeeeiiiidnooooo*ouuuuyty";
constexpr unsigned char kLatinFirst = 0xC0;
constexpr unsigned char kUtf8Latin = 0xC3;
constexpr unsigned char kUtf8Continuation = 0x80;

// Lower case, accents dropped, a trailing "." cut; false when too long to be a month.
bool FoldMonthWord(std::string_view word, char* out, std::size_t& length) {
    if (!word.empty() && word.back() == '.') word.remove_suffix(1);
    length = 0;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (length == kMaxMonthWord) return false;
        const auto c = static_cast<unsigned char>(word[i]);
        if (c < 0x80) {
            out[length++] = AsciiLower(static_cast<char>(c));
        } else if (c == kUtf8Latin && i + 1 < word.size() &&
                   (static_cast<unsigned char>(word[i + 1]) & 0xC0) == kUtf8Continuation) {
            out[length++] = kLatinBase[static_cast<unsigned char>(word[i + 1]) - kUtf8Continuation];
            ++i;
        } else if (c >= kLatinFirst) {
            out[length++] = kLatinBase[c - kLatinFirst];
        } else {
            return false;
        }
    }
    return length > 0;
}

// A time of day "H:MM" or "HH:MM", with seconds and fractions after it allowed.
bool ReadClock(std::string_view word, int& hour, int& minute) {
    const std::size_t colon = word.find(':');
    if (colon == 0 || colon > 2 || colon + 3 > word.size()) return false;
    hour = 0;
    for (std::size_t i = 0; i < colon; ++i) {
        if (!IsAsciiDigit(word[i])) return false;
        hour = hour * 10 + (word[i] - '0');
    }
    if (!IsAsciiDigit(word[colon + 1]) || !IsAsciiDigit(word[colon + 2])) return false;
    minute = (word[colon + 1] - '0') * 10 + (word[colon + 2] - '0');
    const std::string_view rest = word.substr(colon + 3);
    if (!rest.empty() && rest[0] != ':') return false;
    if (rest.size() > 1) {
        for (char c : rest.substr(1))
            if (!IsAsciiDigit(c) && c != '.' && c != ',') return false;
    }
    return hour < 24 && minute < 60;
}

void AppendClock(std::string& out, int hour, int minute) {
    out.clear();
    AppendTwoPlaces(out, hour);
    out.push_back(':');
    AppendTwoPlaces(out, minute);
}

// All digits, at least one and at most `most`.
bool ReadDigits(std::string_view text, std::size_t most, int& value) {
    if (text.empty() || text.size() > most) return false;
    value = 0;
    for (char c : text) {
        if (!IsAsciiDigit(c)) return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// "YYYY-MM-DD".
bool ReadIsoDate(std::string_view word, int& year, int& month, int& day) {
    return word.size() == 10 && word[4] == '-' && word[7] == '-' &&
           ReadDigits(word.substr(0, 4), 4, year) && ReadDigits(word.substr(5, 2), 2, month) &&
           ReadDigits(word.substr(8, 2), 2, day);
}

// The words of a line with where each begins.
class TLineWords {
  public:
    static constexpr std::size_t kMaxWords = 24;

    explicit TLineWords(std::string_view line) : line_(line) {
        std::size_t pos = 0;
        while (count_ < kMaxWords) {
            while (pos < line.size() && line[pos] == ' ') ++pos;
            if (pos == line.size()) break;
            const std::size_t begin = pos;
            while (pos < line.size() && line[pos] != ' ') ++pos;
            words_[count_] = line.substr(begin, pos - begin);
            begins_[count_] = begin;
            ++count_;
        }
    }

    std::size_t Count() const { return count_; }
    std::string_view operator[](std::size_t i) const { return i < count_ ? words_[i] : ""; }
    // The line from word i to its end, or nothing past the last word.
    std::string_view From(std::size_t i) const {
        return i < count_ ? line_.substr(begins_[i]) : std::string_view();
    }

  private:
    std::string_view line_;
    std::array<std::string_view, kMaxWords> words_{};
    std::array<std::size_t, kMaxWords> begins_{};
    std::size_t count_ = 0;
};

// A permission string: a known file type letter and nine or more further characters.
bool LooksLikeMode(std::string_view word) {
    constexpr std::string_view kTypes = "-dlcbpsDn";
    return word.size() >= 10 && kTypes.find(word[0]) != std::string_view::npos;
}

bool IsDeviceType(char c) {
    return c == 'c' || c == 'b';
}

// "12" or "12." as a day of the month.
bool ReadDay(std::string_view word, int& day) {
    if (!word.empty() && word.back() == '.') word.remove_suffix(1);
    return ReadDigits(word, 2, day) && day >= 1 && day <= 31;
}

// The date words of a UNIX line from word `at`; on success `next` is the first name word.
struct TUnixDate {
    int year = 0;
    int month = 0;
    int day = 0;
    bool hasYear = false;
    bool hasClock = false;
    int hour = 0;
    int minute = 0;
};

// A time or a year word after a month and a day.
bool ReadTimeOrYear(std::string_view word, TUnixDate& date) {
    if (ReadClock(word, date.hour, date.minute)) {
        date.hasClock = true;
        return true;
    }
    int year = 0;
    if (word.size() == 4 && ReadDigits(word, 4, year)) {
        date.year = year;
        date.hasYear = true;
        return true;
    }
    return false;
}

bool IsZoneWord(std::string_view word) {
    int zone = 0;
    return word.size() == 5 && (word[0] == '+' || word[0] == '-') &&
           ReadDigits(word.substr(1), 4, zone);
}

bool ReadUnixDate(const TLineWords& words, std::size_t at, TUnixDate& date, std::size_t& next) {
    const std::string_view first = words[at];
    if (first.empty()) return false;
    int year = 0;
    int month = 0;
    int day = 0;
    if (ReadIsoDate(first, year, month, day)) {
        date.year = year;
        date.month = month;
        date.day = day;
        date.hasYear = true;
        next = at + 1;
        if (ReadClock(words[next], date.hour, date.minute)) {
            date.hasClock = true;
            ++next;
            if (IsZoneWord(words[next])) ++next;
        }
        return next < words.Count();
    }
    // "MM-DD HH:MM": the ISO form of a recent date.
    if (first.size() == 5 && first[2] == '-' && ReadDigits(first.substr(0, 2), 2, month) &&
        ReadDigits(first.substr(3, 2), 2, day)) {
        date.month = month;
        date.day = day;
        if (!ReadClock(words[at + 1], date.hour, date.minute)) return false;
        date.hasClock = true;
        next = at + 2;
        return next < words.Count();
    }
    // Month and day in either order, then a time or a year.
    if ((month = RecognizedMonth(first)) != 0) {
        if (!ReadDay(words[at + 1], day)) return false;
    } else if (ReadDay(first, day)) {
        if ((month = RecognizedMonth(words[at + 1])) == 0) return false;
    } else {
        return false;
    }
    date.month = month;
    date.day = day;
    if (!ReadTimeOrYear(words[at + 2], date)) return false;
    next = at + 3;
    return next < words.Count();
}

}  // namespace

int RecognizedMonth(std::string_view word) {
    char folded[kMaxMonthWord];
    std::size_t length = 0;
    if (!FoldMonthWord(word, folded, length)) return 0;
    const std::string_view key(folded, length);
    const auto& table = SortedMonthWords();
    const auto it = std::lower_bound(table.begin(), table.end(), key,
                                     [](const auto& e, std::string_view k) { return e.first < k; });
    return it != table.end() && it->first == key ? it->second : 0;
}

bool ParseDosListingLine(std::string_view line, TListingEntry& entry) {
    const TLineWords words(line);
    if (words.Count() < 4) return false;
    // The date: MM-DD-YY, MM-DD-YYYY (or with "/"), or YYYY-MM-DD.
    const std::string_view dateWord = words[0];
    int year = 0;
    int month = 0;
    int day = 0;
    if (!ReadIsoDate(dateWord, year, month, day)) {
        if (dateWord.size() != 8 && dateWord.size() != 10) return false;
        const char separator = dateWord[2];
        if ((separator != '-' && separator != '/') || dateWord[5] != separator) return false;
        if (!ReadDigits(dateWord.substr(0, 2), 2, month) ||
            !ReadDigits(dateWord.substr(3, 2), 2, day) || !ReadDigits(dateWord.substr(6), 4, year))
            return false;
    }
    if (!IsRealDate(year, month, day)) return false;

    // The time, its AM or PM attached or as a word of its own.
    std::string_view timeWord = words[1];
    std::size_t next = 2;
    std::string_view half;
    if (timeWord.size() > 2) {
        const std::string_view tail = timeWord.substr(timeWord.size() - 2);
        if (AsciiUpper(tail[1]) == 'M' &&
            (AsciiUpper(tail[0]) == 'A' || AsciiUpper(tail[0]) == 'P')) {
            half = tail;
            timeWord.remove_suffix(2);
        }
    }
    if (half.empty()) {
        const std::string_view word = words[2];
        if (word.size() == 2 && AsciiUpper(word[1]) == 'M' &&
            (AsciiUpper(word[0]) == 'A' || AsciiUpper(word[0]) == 'P')) {
            half = word;
            next = 3;
        }
    }
    int hour = 0;
    int minute = 0;
    if (!ReadClock(timeWord, hour, minute)) return false;
    if (!half.empty()) {
        if (hour < 1 || hour > 12) return false;
        hour %= 12;
        if (AsciiUpper(half[0]) == 'P') hour += 12;
    }

    // "<DIR>" or the size, then the name.
    const std::string_view kind = words[next];
    std::string size;
    bool isDir = false;
    if (kind.size() == 5 && kind[0] == '<' && AsciiUpper(kind[1]) == 'D' &&
        AsciiUpper(kind[2]) == 'I' && AsciiUpper(kind[3]) == 'R' && kind[4] == '>') {
        isDir = true;
    } else {
        for (char c : kind) {
            if (IsAsciiDigit(c))
                size.push_back(c);
            else if (c != ',' && c != '.')
                return false;
        }
        if (size.empty()) return false;
    }
    const std::string_view name = words.From(next + 1);
    if (name.empty()) return false;

    entry.Clear();
    entry.Name.assign(name);
    entry.Size = std::move(size);
    FormatListingDate(entry.Date, day, month, year);
    AppendClock(entry.Time, hour, minute);
    entry.IsDir = isDir;
    return true;
}

bool ParseUnixListingLine(std::string_view line, const TStartDate& start, TListingEntry& entry) {
    const TLineWords words(line);
    if (words.Count() < 6 || !LooksLikeMode(words[0])) return false;
    const bool device = IsDeviceType(words[0][0]);
    // The size (or a device's numbers) is the first word after the owner that a date follows;
    // the words between belong to the owner and the group.
    for (std::size_t at = 2; at + 2 < words.Count(); ++at) {
        const std::string_view word = words[at];
        std::size_t dateAt = at + 1;
        int ignored = 0;
        if (device) {
            const std::size_t comma = word.find(',');
            if (comma == std::string_view::npos || comma == 0 ||
                !ReadDigits(word.substr(0, comma), 9, ignored))
                continue;
            if (comma + 1 == word.size()) {
                if (!ReadDigits(words[at + 1], 9, ignored)) continue;
                dateAt = at + 2;
            } else if (!ReadDigits(word.substr(comma + 1), 9, ignored)) {
                continue;
            }
        } else if (!IsWholeInteger(word) || word[0] == '-' || word[0] == '+') {
            continue;
        }
        TUnixDate date;
        std::size_t nameAt = 0;
        if (!ReadUnixDate(words, dateAt, date, nameAt)) continue;
        if (!date.hasYear) {
            date.year = YearOfTimedDate(start, date.month, date.day);
            if (!IsRealDate(start.Year, date.month, date.day)) return false;
        } else if (!IsRealDate(date.year, date.month, date.day)) {
            return false;
        }
        entry.Clear();
        entry.Attr.assign(words[0]);
        if (!device) entry.Size.assign(word);
        entry.Name.assign(words.From(nameAt));
        FormatListingDate(entry.Date, date.day, date.month, date.year);
        if (date.hasClock) AppendClock(entry.Time, date.hour, date.minute);
        entry.IsDir = entry.Attr[0] == 'd';
        return true;
    }
    return false;
}

}  // namespace tarnwick

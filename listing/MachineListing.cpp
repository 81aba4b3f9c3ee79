#include "listing/MachineListing.h"

#include "listing/ListingDate.h"
#include "listing/TextUtil.h"

namespace tarnwick {

namespace {

constexpr std::string_view kNotAnEntry = ".";
constexpr std::size_t kFactTimeDigits = 14;  // YYYYMMDDHHMMSS
constexpr std::size_t kModeBits = 9;
constexpr unsigned kSetUid = 04000;
constexpr unsigned kSetGid = 02000;
constexpr unsigned kSticky = 01000;

bool EqualsFolded(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (AsciiLower(text[i]) != lower[i]) return false;
    return true;
}

bool StartsFolded(std::string_view text, std::string_view lower) {
    return text.size() >= lower.size() && EqualsFolded(text.substr(0, lower.size()), lower);
}

int Digits(std::string_view text, std::size_t from, std::size_t count) {
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i) value = value * 10 + (text[i] - '0');
    return value;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long long DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153LL * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

constexpr long long kSecondsPerDay = 86400;

long long FloorDiv(long long value, long long by) {
    const long long q = value / by;
    return (value % by != 0 && (value < 0)) ? q - 1 : q;
}

// The civil date of a count of days since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(long long days, int& year, int& month, int& day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

// A perm fact as attributes: its letters are a set, so an "l" (may list) that would stand
// first is moved behind the others, keeping "l" at the front for links alone.
void PermAttributes(std::string_view perm, bool link, std::string& out) {
    out.clear();
    if (link) out.push_back('l');
    bool list = false;
    for (char c : perm) {
        if (c == 'l' || c == 'L') {
            list = true;
            continue;
        }
        out.push_back(c);
    }
    if (list && !link) out.push_back('l');
}

}  // namespace

bool TLocalClock::ToLocal(std::time_t utc, std::tm& local) {
    const long long day = FloorDiv(utc, kSecondsPerDay);
    if (days_.empty()) days_.resize(kDays);
    TDay& slot = days_[static_cast<std::size_t>(day) & (kDays - 1)];
    if (slot.day != day) {
        std::tm start{};
        std::tm end{};
        const std::time_t first = static_cast<std::time_t>(day * kSecondsPerDay);
        const std::time_t last = first + kSecondsPerDay - 1;
        if (localtime_r(&first, &start) == nullptr || localtime_r(&last, &end) == nullptr)
            return false;
        slot.day = day;
        slot.offset = start.tm_gmtoff;
        slot.changes = start.tm_gmtoff != end.tm_gmtoff;
    }
    long offset = slot.offset;
    if (slot.changes) {
        std::tm exact{};
        if (localtime_r(&utc, &exact) == nullptr) return false;
        offset = exact.tm_gmtoff;
    }
    // The calendar of the shifted time, without the system's help.
    const long long shifted = static_cast<long long>(utc) + offset;
    const long long days = FloorDiv(shifted, kSecondsPerDay);
    const long long seconds = shifted - days * kSecondsPerDay;
    int year = 0;
    int month = 0;
    int dayOfMonth = 0;
    CivilFromDays(days, year, month, dayOfMonth);
    local = std::tm{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = dayOfMonth;
    local.tm_hour = static_cast<int>(seconds / 3600);
    local.tm_min = static_cast<int>(seconds / 60 % 60);
    local.tm_sec = static_cast<int>(seconds % 60);
    local.tm_gmtoff = offset;
    return true;
}

bool ParseFactTime(std::string_view text, std::time_t& utc) {
    if (text.size() < kFactTimeDigits) return false;
    for (std::size_t i = 0; i < kFactTimeDigits; ++i)
        if (!IsAsciiDigit(text[i])) return false;
    const std::string_view fraction = text.substr(kFactTimeDigits);
    if (!fraction.empty()) {
        if (fraction[0] != '.') return false;
        for (char c : fraction.substr(1))
            if (!IsAsciiDigit(c)) return false;
    }
    const int year = Digits(text, 0, 4);
    const int month = Digits(text, 4, 2);
    const int day = Digits(text, 6, 2);
    const int hour = Digits(text, 8, 2);
    const int minute = Digits(text, 10, 2);
    const int second = Digits(text, 12, 2);
    if (!IsRealDate(year, month, day) || hour > 23 || minute > 59 || second > 60) return false;
    utc = static_cast<std::time_t>(DaysFromCivil(year, month, day) * kSecondsPerDay +
                                   hour * 3600LL + minute * 60LL + second);
    return true;
}

bool FormatUnixMode(std::string_view octal, char type, std::string& out) {
    // Some servers write the mode with a "0o" prefix.
    if (octal.size() > 2 && octal[0] == '0' && (octal[1] == 'o' || octal[1] == 'O'))
        octal.remove_prefix(2);
    if (octal.empty() || octal.size() > 6) return false;
    unsigned mode = 0;
    for (char c : octal) {
        if (c < '0' || c > '7') return false;
        mode = mode * 8 + static_cast<unsigned>(c - '0');
    }
    out.assign(1 + kModeBits, '-');
    out[0] = type;
    static constexpr char kLetters[] = "rwxrwxrwx";
    for (std::size_t i = 0; i < kModeBits; ++i)
        if ((mode & (1u << (kModeBits - 1 - i))) != 0) out[1 + i] = kLetters[i];
    const auto special = [&](std::size_t at, unsigned bit, char withX, char withoutX) {
        if ((mode & bit) != 0) out[at] = out[at] == 'x' ? withX : withoutX;
    };
    special(3, kSetUid, 's', 'S');
    special(6, kSetGid, 's', 'S');
    special(9, kSticky, 't', 'T');
    return true;
}

void ParseMachineListingLine(std::string_view line, TLocalClock& clock, TListingEntry& entry) {
    entry.Clear();
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank + 1 == line.size()) {
        entry.Name.assign(kNotAnEntry);
        return;
    }
    std::string_view facts = line.substr(0, blank);
    const std::string_view name = line.substr(blank + 1);

    std::string_view type;
    std::string_view size;
    std::string_view modify;
    std::string_view perm;
    std::string_view mode;
    while (!facts.empty()) {
        const std::size_t end = facts.find(';');
        const std::string_view fact = facts.substr(0, end);
        facts = end == std::string_view::npos ? std::string_view() : facts.substr(end + 1);
        const std::size_t equals = fact.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = fact.substr(0, equals);
        const std::string_view value = fact.substr(equals + 1);
        if (EqualsFolded(key, "type"))
            type = value;
        else if (EqualsFolded(key, "size"))
            size = value;
        else if (EqualsFolded(key, "modify"))
            modify = value;
        else if (EqualsFolded(key, "perm"))
            perm = value;
        else if (EqualsFolded(key, "unix.mode"))
            mode = value;
    }

    if (EqualsFolded(type, "cdir") || EqualsFolded(type, "pdir") || name == "." || name == "..") {
        entry.Name.assign(kNotAnEntry);
        return;
    }
    const bool link = StartsFolded(type, "os.unix=symlink") || StartsFolded(type, "os.unix=slink");
    entry.Name.assign(name);
    if (link) {
        // Where the link leads is not told: as in the text listings, a name without "."
        // counts as a directory.
        entry.IsDir = name.find('.') == std::string_view::npos;
    } else {
        entry.IsDir = EqualsFolded(type, "dir");
    }
    if (!entry.IsDir && IsWholeInteger(size) && size[0] != '-') entry.Size.assign(size);

    std::time_t utc = 0;
    std::tm local{};
    if (ParseFactTime(modify, utc) && clock.ToLocal(utc, local)) {
        FormatListingDate(entry.Date, local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
        AppendTwoPlaces(entry.Time, local.tm_hour);
        entry.Time.push_back(':');
        AppendTwoPlaces(entry.Time, local.tm_min);
    }

    const char typeLetter = link ? 'l' : (entry.IsDir ? 'd' : '-');
    if (!FormatUnixMode(mode, typeLetter, entry.Attr)) {
        if (!perm.empty() || link) PermAttributes(perm, link, entry.Attr);
    }
}

}  // namespace tarnwick

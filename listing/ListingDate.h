// The date rules every listing layout shares: real calendar dates, the year a date without
// one belongs to, and the DD.MM.YY text of the remote pane.
#pragma once

#include <charconv>
#include <string>

#include "listing/ListingEntry.h"

namespace tarnwick {

inline bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

inline bool IsRealDate(int year, int month, int day) {
    static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    const int days = (month == 2 && IsLeapYear(year)) ? 29 : kDaysInMonth[month - 1];
    return day <= days;
}

// The year of a date shown with a time instead of a year: the start year, or the year
// before when the date lies after the start date.
inline int YearOfTimedDate(const TStartDate& start, int month, long long day) {
    if (month > start.Month || (month == start.Month && day > start.Day)) return start.Year - 1;
    return start.Year;
}

// Appends a number right-aligned in two places with leading zeros; longer numbers are
// written in full.
inline void AppendTwoPlaces(std::string& out, long long value) {
    if (value >= 0 && value < 100) {
        const char pair[2] = {static_cast<char>('0' + value / 10),
                              static_cast<char>('0' + value % 10)};
        out.append(pair, 2);
        return;
    }
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    (void)ec;
    const std::size_t length = static_cast<std::size_t>(end - digits);
    if (length < 2) out.push_back('0');
    out.append(digits, length);
}

// "DD.MM.YY".
inline void FormatListingDate(std::string& out, long long day, long long month, int year) {
    out.clear();
    AppendTwoPlaces(out, day);
    out.push_back('.');
    AppendTwoPlaces(out, month);
    out.push_back('.');
    AppendTwoPlaces(out, ((year % 100) + 100) % 100);
}

}  // namespace tarnwick

#pragma once

#include <string>

namespace tarnwick {

// One parsed line of a directory listing. Every field but IsDir is text, cut
// from the line as the server wrote it unless the host type reformats it.
struct TListingEntry {
    std::string Name;
    std::string Size;
    std::string Date;
    std::string Time;
    std::string Attr;
    bool IsDir = false;

    void Clear() {
        Name.clear();
        Size.clear();
        Date.clear();
        Time.clear();
        Attr.clear();
        IsDir = false;
    }
    bool operator==(const TListingEntry&) const = default;
};

// Today's date as the parser sees it: taken once when the main window is
// created, so a listing read after midnight still uses the start day.
struct TStartDate {
    int Year = 2000;
    int Month = 1;
    int Day = 1;
};

// The local calendar date of this moment.
TStartDate StartDateToday();

}  // namespace tarnwick

// Machine listings (MLSD): one entry per line of facts ("type=file;size=12;modify=...;")
// followed by a blank and the name.
#pragma once

#include <cstdint>
#include <ctime>
#include <string_view>
#include <vector>

#include "listing/ListingEntry.h"

namespace tarnwick {

// Turns UTC times into local calendar times. The offset from UTC is kept per day (a day
// holding a change of the offset is looked up at each time), so a listing of a million
// entries asks the system's time zone rules once per day its times fall on.
class TLocalClock {
  public:
    // The local calendar time of a UTC time (year, month, day, hour, minute, second);
    // false when it cannot be shown.
    bool ToLocal(std::time_t utc, std::tm& local);

  private:
    struct TDay {
        long long day = -1;  // days since 1970-01-01, -1 for none
        long offset = 0;
        bool changes = false;  // the offset changes during the day
    };
    static constexpr std::size_t kDays = 1 << 14;  // about 45 years without collisions
    std::vector<TDay> days_;
};

// The UTC time of an MLSD "modify" value or an MDTM reply: "YYYYMMDDHHMMSS" with an optional
// fraction. False when the text is no such time.
bool ParseFactTime(std::string_view text, std::time_t& utc);

// The attribute text of a Unix mode ("0755") for an entry of type `type` ('d', 'l' or '-'):
// "drwxr-xr-x". False when the text is no octal mode.
bool FormatUnixMode(std::string_view octal, char type, std::string& out);

// Reads one MLSD line into an entry: type (file, dir; cdir and pdir give the name "." so
// that every reader skips them; "OS.unix=symlink" and "OS.unix=slink..." a link, whose
// attributes then begin with "l" and which counts as a directory when its name has no "."
// as in the text listings), size, modify (Date DD.MM.YY and Time HH:MM in local time) and
// unix.mode ("drwxr-xr-x") or else perm as the attributes. A line without facts or name
// gives the name ".".
void ParseMachineListingLine(std::string_view line, TLocalClock& clock, TListingEntry& entry);

}  // namespace tarnwick

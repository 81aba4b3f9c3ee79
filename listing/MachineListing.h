// Machine listings (MLSD): one entry per line of facts ("type=file;size=12;modify=...;")
// followed by a blank and the name.
#pragma once

#include <cstdint>
#include <ctime>
#include <string_view>

#include "listing/ListingEntry.h"

namespace tarnwick {

// Turns UTC times of day into local ones; keeps the offset of the last hour it looked up,
// since a listing's times mostly fall into few hours.
class TLocalClock {
  public:
    // The local calendar time of a UTC time; false when it cannot be shown.
    bool ToLocal(std::time_t utc, std::tm& local);

  private:
    static constexpr std::time_t kHour = 3600;
    std::time_t hour_ = -1;  // the UTC hour whose offset is kept
    long offset_ = 0;
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

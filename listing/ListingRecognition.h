// Recognition of the common listing layouts for servers left at the default host type: a
// line the UNIX-style default layout cannot read is tried against the DOS layout (IIS),
// UNIX lines with ISO dates, other month-name forms and the month names of German, French,
// Spanish, Italian, Dutch and Portuguese, group names holding blanks and device files.
#pragma once

#include <string_view>

#include "listing/ListingEntry.h"

namespace tarnwick {

// The month (1 to 12) a month word names in one of the known languages and forms ("Jan",
// "June", "Sept", "Mär", "févr.", "mei", "out"), 0 when it names none. Case, a trailing
// "." and accents (UTF-8 or Latin-1) are ignored.
int RecognizedMonth(std::string_view word);

// Reads a line in the DOS layout: "01-15-23  12:34PM  <DIR>  name" or
// "2023-01-15  14:05  1234 name", 2- and 4-digit years, AM/PM or 24-hour times. Date comes
// out as DD.MM.YY and Time as HH:MM in 24 hours. False (entry undefined) when the line is
// not one.
bool ParseDosListingLine(std::string_view line, TListingEntry& entry);

// Reads a UNIX-style line whatever its date form and however many words its owner and
// group take: "perm links owner group... size date time-or-year name", with the date as
// month and day in either order, "2023-01-15 12:34[:56[.fff]] [+zone]", "01-15 12:34"; a
// device file's "major, minor" in the size's place (the size stays empty). The date comes
// out as DD.MM.YY, a missing year by the start date as the default layout supplies it.
bool ParseUnixListingLine(std::string_view line, const TStartDate& start, TListingEntry& entry);

}  // namespace tarnwick

#pragma once

#include <array>
#include <string>
#include <string_view>

#include "listing/ListingEntry.h"
#include "listing/MachineListing.h"

namespace tarnwick {

// The host type string of the built-in layout: default host type, name in
// word 9, size 5, date words 7 and 6, time 8, attributes 1.
inline constexpr std::string_view kDefaultAnswer = "0957681";

// Host type digits, the first character of the host type string.
inline constexpr char kHostDefault = '0';
inline constexpr char kHostText = '1';
inline constexpr char kHostMsFtp4 = '2';
inline constexpr char kHostMac = '3';
inline constexpr char kHostCustom = '4';
inline constexpr char kHostVms = '5';
inline constexpr char kHostMsFtp5 = '6';

// The host type digit of a host type string; an empty string is the default.
char HostTypeDigit(std::string_view answer);

// What a listing holds: the text lines of LIST, read by the host type, or the machine
// lines of MLSD, read the same way for every server.
enum class TListingFormat { Text, Machine };

// Whether the default host type tries the other common layouts on a line it cannot read.
enum class TRecognition { On, Off };

// Turns single listing lines into entries by the rules of one host type.
// The parser never rejects a line: a line that is not an entry comes out
// with the name ".", and a default-layout line that cannot be taken apart
// comes out with the whole line as its name and the date "error".
class TListingParser {
  public:
    // The default host type ("0", or an empty host type string) recognises the other common
    // layouts unless `recognition` is Off; other host types are applied as they stand.
    explicit TListingParser(std::string_view answer = kDefaultAnswer, TStartDate start = {},
                            TListingFormat format = TListingFormat::Text,
                            TRecognition recognition = TRecognition::On);

    TListingEntry ParseListingLine(std::string_view line) const;
    // The same, refilling an existing entry (keeps its buffers).
    void ParseListingLine(std::string_view line, TListingEntry& entry) const;

    char HostType() const { return hostType_; }
    TListingFormat Format() const { return format_; }
    const TStartDate& Start() const { return start_; }

  private:
    void ParseDefault(std::string_view line, TListingEntry& entry) const;
    // The default layout alone; false when it failed or did not know the month word.
    bool ParseDefaultLayout(std::string_view line, TListingEntry& entry) const;
    void ParseText(std::string_view line, TListingEntry& entry) const;
    void ParseMsFtp4(std::string_view line, TListingEntry& entry) const;
    void ParseMac(std::string_view line, TListingEntry& entry) const;
    void ParseCustom(std::string_view line, TListingEntry& entry) const;
    void ParseVms(std::string_view line, TListingEntry& entry) const;
    void ParseMsFtp5(std::string_view line, TListingEntry& entry) const;

    // Column numbers of the custom layout, 0 when the field is absent.
    struct TCustomColumns {
        int Name = 0;
        int Size = 0;
        int Date = 0;
        int Date2 = 0;
        int Time = 0;
        int Attr = 0;
    };

    char hostType_;
    TCustomColumns custom_;
    TStartDate start_;
    TListingFormat format_;
    bool recognize_;
    mutable TLocalClock clock_;
};

// A VMS listing's header ("DISK$ARCHIVE:[...") or trailer ("Total of ...") line:
// not an entry, and never the first half of a wrapped name.
bool IsVmsHeaderOrTrailer(std::string_view line);

// A symbolic link: its attributes begin with "l" (whatever IsDir guessed).
bool IsSymbolicLink(const TListingEntry& entry);

// Whether a tree walk (the download and the delete of a remote tree) must not
// descend into the entry: files, and symbolic links even when they look like
// directories ("bin -> usr/bin", "loop -> /"). A tree download fetches such a
// link as a file when it is not a directory and skips it when it is; a tree
// delete removes the link itself with DELE and never touches its target.
bool IsTreeWalkLeaf(const TListingEntry& entry);

// A name that can safely become one component of a local path: not empty,
// not "." or "..", without "/" and without a NUL byte. Tree transfers check
// every remote name with it before creating anything on the local disk.
bool IsSafeLocalName(std::string_view name);

}  // namespace tarnwick

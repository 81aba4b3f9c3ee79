#include "listing/ListingParser.h"

#include <ctime>
#include <vector>

#include "listing/ListingDate.h"
#include "listing/ListingRecognition.h"
#include "listing/MachineListing.h"
#include "listing/TextUtil.h"

namespace tarnwick {

namespace {

constexpr std::string_view kMonthNames = "janfebmaraprmayjunjulaugsepoctnovdec";
constexpr std::string_view kFailedDate = "error";
constexpr std::string_view kNotAnEntry = ".";
constexpr std::string_view kParentName = "..";
constexpr std::string_view kMsDirMarker = "<DIR>";
constexpr std::string_view kVmsHeader = "DISK$ARCHIVE:[";
constexpr std::string_view kVmsTrailer = "Total of ";
constexpr std::string_view kVmsDirMarker = ".DIR;";
constexpr std::string_view kLinkArrow = " ->";
// Microsoft FTP 5.0 columns: the size field (after the time) and the name.
constexpr std::size_t kMsFtp5SizeFrom = 20;
constexpr std::size_t kMsFtp5NameColumn = 40;
// A day of more digits than this cannot be a calendar day and is not read.
constexpr std::size_t kMaxDayDigits = 9;

bool StartsWith(std::string_view text, char c) {
    return !text.empty() && text[0] == c;
}

// The 1-based word `n` of a split line, or nothing.
std::string_view Word(const std::vector<std::string_view>& words, int n) {
    if (n < 1 || static_cast<std::size_t>(n) > words.size()) return {};
    return words[static_cast<std::size_t>(n) - 1];
}

// Walks a default-layout line word by word; a word is a run of non-blanks.
class TWordCursor {
  public:
    explicit TWordCursor(std::string_view line) : line_(line) {}

    // The next word, or false when the line has ended.
    bool Next(std::string_view& word) {
        SkipBlanks();
        if (pos_ == line_.size()) return false;
        const std::size_t begin = pos_;
        while (pos_ < line_.size() && line_[pos_] != ' ') ++pos_;
        word = line_.substr(begin, pos_ - begin);
        return true;
    }

    // Everything from the next non-blank to the end, or false when nothing is left.
    bool Rest(std::string_view& rest) {
        SkipBlanks();
        if (pos_ == line_.size()) return false;
        rest = line_.substr(pos_);
        return true;
    }

  private:
    void SkipBlanks() {
        while (pos_ < line_.size() && line_[pos_] == ' ') ++pos_;
    }

    std::string_view line_;
    std::size_t pos_ = 0;
};

// The month a word names as a piece of "janfeb...dec"; 1 (and `known` false) for others.
int MonthOf(std::string_view word, bool& known) {
    char lower[kMonthNames.size()];
    if (word.empty() || word.size() > sizeof lower) {
        known = false;
        return 1;
    }
    for (std::size_t i = 0; i < word.size(); ++i) lower[i] = AsciiLower(word[i]);
    const std::size_t at = kMonthNames.find(std::string_view(lower, word.size()));
    if (at == std::string_view::npos) known = false;
    return at == std::string_view::npos ? 1 : static_cast<int>(at / 3) + 1;
}

int ColumnDigit(std::string_view answer, std::size_t position) {
    if (position >= answer.size() || !IsAsciiDigit(answer[position])) return 0;
    return answer[position] - '0';
}

void ApplyLinkRule(TListingEntry& entry) {
    if (!IsSymbolicLink(entry)) return;
    entry.IsDir = entry.Name == kNotAnEntry || entry.Name.find('.') == std::string::npos;
    if (entry.IsDir) entry.Size.clear();
    const std::size_t arrow = entry.Name.find(kLinkArrow);
    if (arrow != std::string::npos) entry.Name.resize(arrow);
}

}  // namespace

TStartDate StartDateToday() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return TStartDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

char HostTypeDigit(std::string_view answer) {
    return answer.empty() ? kHostDefault : answer[0];
}

TListingParser::TListingParser(std::string_view answer, TStartDate start, TListingFormat format,
                               TRecognition recognition)
    : hostType_(HostTypeDigit(answer)),
      start_(start),
      format_(format),
      recognize_(recognition == TRecognition::On && hostType_ == kHostDefault) {
    custom_.Name = ColumnDigit(answer, 1);
    custom_.Size = ColumnDigit(answer, 2);
    custom_.Date = ColumnDigit(answer, 3);
    custom_.Date2 = ColumnDigit(answer, 4);
    custom_.Time = ColumnDigit(answer, 5);
    custom_.Attr = ColumnDigit(answer, 6);
}

TListingEntry TListingParser::ParseListingLine(std::string_view line) const {
    TListingEntry entry;
    ParseListingLine(line, entry);
    return entry;
}

void TListingParser::ParseListingLine(std::string_view line, TListingEntry& entry) const {
    if (format_ == TListingFormat::Machine) {
        ParseMachineListingLine(line, clock_, entry);
        return;
    }
    entry.Clear();
    switch (hostType_) {
        case kHostText:
            ParseText(line, entry);
            break;
        case kHostMsFtp4:
            ParseMsFtp4(line, entry);
            break;
        case kHostMac:
            ParseMac(line, entry);
            break;
        case kHostCustom:
            ParseCustom(line, entry);
            break;
        case kHostVms:
            ParseVms(line, entry);
            break;
        case kHostMsFtp5:
            ParseMsFtp5(line, entry);
            break;
        default:
            ParseDefault(line, entry);
            break;
    }
    ApplyLinkRule(entry);
}

void TListingParser::ParseDefault(std::string_view line, TListingEntry& entry) const {
    // A line that begins with a digit has no permission string: a DOS line, when it reads as
    // one, is taken without asking the default layout first.
    if (recognize_ && !line.empty() && IsAsciiDigit(line[0]) && ParseDosListingLine(line, entry))
        return;
    if (ParseDefaultLayout(line, entry) || !recognize_) return;
    // A line the default layout cannot read (or whose month it does not know, which it
    // would show as January) is tried against the other layouts; when none reads it, it
    // keeps what the default layout made of it.
    thread_local TListingEntry recognised;
    const bool dosFirst = !line.empty() && IsAsciiDigit(line[0]);
    if (dosFirst ? ParseDosListingLine(line, recognised)
                 : ParseUnixListingLine(line, start_, recognised)) {
        std::swap(entry, recognised);
    }
}

bool TListingParser::ParseDefaultLayout(std::string_view line, TListingEntry& entry) const {
    // A line that begins with a digit has no permission string: it is a DOS line when the
    // recognition reads it.
    bool monthKnown = !(recognize_ && !line.empty() && IsAsciiDigit(line[0]));
    // Reads the words in order; any step that finds the line at its end or a
    // date that cannot exist turns the entry into the failure entry, keeping
    // what was read until then.
    const auto parse = [&]() -> bool {
        TWordCursor cursor(line);
        std::string_view word;
        if (!cursor.Next(word)) return false;
        entry.Attr.assign(word);
        if (!cursor.Next(word) || !cursor.Next(word)) return false;  // link count, owner
        if (!cursor.Next(word)) return false;
        entry.Size.assign(word);
        std::string_view monthWord;
        if (!cursor.Next(monthWord)) return false;
        if (IsWholeInteger(TrimBlanks(monthWord))) {
            entry.Size.assign(monthWord);  // a group column stood before the size
            if (!cursor.Next(monthWord)) return false;
        }
        const int month = MonthOf(monthWord, monthKnown);

        if (!cursor.Next(word)) return false;
        long long day = 1;
        if (IsWholeInteger(word)) {
            std::string_view digits = word;
            if (digits[0] == '+' || digits[0] == '-') digits.remove_prefix(1);
            if (digits.size() > kMaxDayDigits) return false;
            day = LeadingInteger(word);
        }

        std::string_view timeOrYear;
        if (!cursor.Next(timeOrYear)) return false;
        std::string_view name;
        if (!cursor.Rest(name)) return false;
        entry.Name.assign(name);

        int yearInCentury = 0;
        if (timeOrYear.find(':') != std::string_view::npos) {
            entry.Time.assign(timeOrYear);
            int year = start_.Year;
            if (!IsRealDate(year, month, static_cast<int>(day))) return false;
            if (month > start_.Month || (month == start_.Month && day > start_.Day)) --year;
            yearInCentury = ((year % 100) + 100) % 100;
        } else {
            for (char c : timeOrYear) {
                if (!IsAsciiDigit(c)) break;
                yearInCentury = (yearInCentury * 10 + (c - '0')) % 100;
            }
        }
        entry.Date.clear();
        AppendTwoPlaces(entry.Date, day);
        entry.Date.push_back('.');
        AppendTwoPlaces(entry.Date, month);
        entry.Date.push_back('.');
        AppendTwoPlaces(entry.Date, yearInCentury);
        return true;
    };
    const bool parsed = parse();
    if (!parsed) {
        entry.Name.assign(line);
        entry.Date.assign(kFailedDate);
    }
    entry.IsDir = StartsWith(entry.Attr, 'd');
    return parsed && monthKnown;
}

void TListingParser::ParseText(std::string_view line, TListingEntry& entry) const {
    entry.Name.assign(line);
    entry.IsDir = StartsWith(line, 'd');
}

void TListingParser::ParseMsFtp4(std::string_view line, TListingEntry& entry) const {
    std::vector<std::string_view> words;
    SplitTrimmedViews(line, ' ', words);
    entry.Date.assign(Word(words, 1));
    entry.Time.assign(Word(words, 2));
    if (words.size() >= 3) {
        const std::string_view sizeWord = words[2];
        std::string lower(sizeWord);
        for (char& c : lower) c = AsciiLower(c);
        entry.IsDir = lower == "<dir>";
        if (!entry.IsDir) entry.Size.assign(sizeWord);
    }
    entry.Name.assign(Word(words, 4));
}

void TListingParser::ParseMac(std::string_view line, TListingEntry& entry) const {
    std::vector<std::string_view> words;
    SplitTrimmedViews(line, ' ', words);
    entry.IsDir = StartsWith(line, 'd');
    const int s = entry.IsDir ? 0 : 1;  // files carry one extra column
    const int count = static_cast<int>(words.size());
    if (count > 4 + s) {
        entry.Date.assign(Word(words, 4 + s));
        entry.Date.push_back(' ');
        entry.Date.append(Word(words, 5 + s));
    }
    if (count > 5 + s) entry.Time.assign(Word(words, 6 + s));
    if (!entry.IsDir && count >= 2) entry.Size.assign(Word(words, 2));
    if (count > 6 + s) entry.Name.assign(Word(words, 7 + s));
}

void TListingParser::ParseCustom(std::string_view line, TListingEntry& entry) const {
    std::vector<std::string_view> words;
    SplitTrimmedViews(line, ' ', words);
    entry.Attr.assign(Word(words, custom_.Attr));
    entry.IsDir = StartsWith(entry.Attr, 'd');
    entry.Size.assign(Word(words, custom_.Size));
    entry.Name.assign(Word(words, custom_.Name));
    entry.Time.assign(Word(words, custom_.Time));
    entry.Date.assign(Word(words, custom_.Date));
    if (custom_.Date2 >= 1 && static_cast<std::size_t>(custom_.Date2) <= words.size()) {
        entry.Date.push_back(' ');
        entry.Date.append(Word(words, custom_.Date2));
    }
}

void TListingParser::ParseVms(std::string_view line, TListingEntry& entry) const {
    if (IsVmsHeaderOrTrailer(line)) {
        entry.Name.assign(kNotAnEntry);
        return;
    }
    entry.IsDir = line.find(kVmsDirMarker) != std::string_view::npos;
    std::vector<std::string_view> words;
    SplitTrimmedViews(line, ' ', words);
    const std::string_view name = Word(words, 1);
    entry.Name.assign(name.substr(0, name.find(';')));
    entry.Size.assign(Word(words, 2));
    entry.Date.assign(Word(words, 3));
    entry.Time.assign(Word(words, 4));
    if (words.size() >= 6) entry.Attr.assign(Word(words, 6));
}

void TListingParser::ParseMsFtp5(std::string_view line, TListingEntry& entry) const {
    entry.Date.assign(Columns(line, 4, 2));
    entry.Date.push_back('.');
    entry.Date.append(Columns(line, 1, 2));
    entry.Date.push_back('.');
    entry.Date.append(Columns(line, 7, 2));
    entry.Time.assign(TrimBlanks(Columns(line, 10, 10)));
    entry.IsDir = TrimBlanks(Columns(line, 20, 10)) == kMsDirMarker;
    entry.Name.assign(TrimBlanks(Columns(line, kMsFtp5NameColumn, std::string_view::npos)));
    if (!entry.IsDir) {
        // Sizes are right-aligned before the name column; one of ten digits or more
        // begins left of the size column, so the whole last word is taken.
        std::vector<std::string_view> words;
        SplitTrimmedViews(Columns(line, kMsFtp5SizeFrom, kMsFtp5NameColumn - kMsFtp5SizeFrom), ' ',
                          words);
        if (!words.empty()) entry.Size.assign(words.back());
    }
    if (entry.IsDir && entry.Name.empty()) entry.Name.assign(kParentName);
}

bool IsVmsHeaderOrTrailer(std::string_view line) {
    return line.starts_with(kVmsHeader) || line.starts_with(kVmsTrailer);
}

bool IsSymbolicLink(const TListingEntry& entry) {
    return StartsWith(entry.Attr, 'l');
}

bool IsTreeWalkLeaf(const TListingEntry& entry) {
    return !entry.IsDir || IsSymbolicLink(entry);
}

bool IsSafeLocalName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace tarnwick

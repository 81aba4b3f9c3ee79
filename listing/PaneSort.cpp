#include "listing/PaneSort.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "listing/TextUtil.h"

namespace tarnwick {

namespace {

// A date text rearranged to year, month, day: characters 7-10, ".",
// characters 4-5, ".", characters 1-2; missing characters give nothing.
class TSortableDate {
  public:
    explicit TSortableDate(std::string_view date) {
        Append(Columns(date, 7, 4));
        Append(".");
        Append(Columns(date, 4, 2));
        Append(".");
        Append(Columns(date, 1, 2));
    }
    std::string_view View() const { return std::string_view(text_, length_); }

  private:
    void Append(std::string_view part) {
        for (char c : part) text_[length_++] = c;
    }
    char text_[16] = {};
    std::size_t length_ = 0;
};

int CompareSizes(std::string_view size1, std::string_view size2) {
    const std::int64_t a = LeadingInteger(size1);
    const std::int64_t b = LeadingInteger(size2);
    if (a < b) return 1;
    if (a > b) return -1;
    return 0;
}

}  // namespace

int CompareTextUpper(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto ca = static_cast<unsigned char>(AsciiUpper(a[i]));
        const auto cb = static_cast<unsigned char>(AsciiUpper(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

TPaneRow RowFromEntry(const TListingEntry& entry) {
    TPaneRow row;
    row.Picture = entry.IsDir ? kPictureDirectory : kPictureFile;
    row.Name = entry.Name;
    if (!entry.IsDir) row.Size = entry.Size;
    row.Date = entry.Date;
    row.Time = entry.Time;
    row.Attr = entry.Attr;
    return row;
}

int FTPViewCompare(const TPaneRow& row1, const TPaneRow& row2, int key) {
    const int pictures = row1.Picture - row2.Picture;
    if (pictures != 0) return pictures;
    const int sign = key < 0 ? -1 : 1;
    const long long column = std::llabs(static_cast<long long>(key));
    int result = 0;
    switch (column) {
        case kColumnSize:
            result = CompareSizes(row1.Size, row2.Size);
            break;
        case kColumnDate:
            result =
                CompareTextUpper(TSortableDate(row1.Date).View(), TSortableDate(row2.Date).View());
            break;
        case kColumnTime:
            result = CompareTextUpper(row1.Time, row2.Time);
            break;
        case kColumnAttr:
            result = CompareTextUpper(row1.Attr, row2.Attr);
            break;
        default:
            result = CompareTextUpper(row1.Name, row2.Name);
            break;
    }
    return result * sign;
}

int ColumnClickKey(int key, int tag) {
    if (std::llabs(static_cast<long long>(key)) == tag) return -key;
    return tag;
}

namespace {

// What a row sorts by, worked out once per row rather than once per comparison: the picture,
// the size as a number, or the upper-cased text of the key's column with its first eight bytes
// as a number that settles most comparisons.
struct TSortItem {
    int picture = 0;
    std::int64_t number = 0;
    std::uint64_t prefix = 0;
    std::uint32_t index = 0;
};

std::string UpperText(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = AsciiUpper(c);
    return upper;
}

std::uint64_t PrefixOf(std::string_view upper) {
    constexpr std::size_t kPrefixBytes = sizeof(std::uint64_t);
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < kPrefixBytes; ++i) {
        const std::uint64_t byte = i < upper.size() ? static_cast<unsigned char>(upper[i]) : 0;
        prefix = (prefix << 8) | byte;
    }
    return prefix;
}

std::string_view TextColumn(const TPaneRow& row, long long column) {
    switch (column) {
        case kColumnTime:
            return row.Time;
        case kColumnAttr:
            return row.Attr;
        default:
            return row.Name;
    }
}

}  // namespace

void ResortRows(std::vector<TPaneRow>& rows, int key) {
    for (TPaneRow& row : rows) {
        if (row.Picture == kPictureDirectory) row.Size.clear();
    }
    const bool reversed = key < 0;
    const long long column = std::llabs(static_cast<long long>(key));
    const bool bySize = column == kColumnSize;
    std::vector<TSortItem> items(rows.size());
    std::vector<std::string> texts(bySize ? 0 : rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        TSortItem& item = items[i];
        item.picture = rows[i].Picture;
        item.index = static_cast<std::uint32_t>(i);
        if (bySize) {
            item.number = LeadingInteger(rows[i].Size);
            continue;
        }
        texts[i] = column == kColumnDate ? UpperText(TSortableDate(rows[i].Date).View())
                                         : UpperText(TextColumn(rows[i], column));
        item.prefix = PrefixOf(texts[i]);
    }
    // The order FTPViewCompare gives: pictures first whatever the direction; a positive size
    // key puts the larger file first; texts compare byte by byte as upper-cased, a prefix first.
    std::stable_sort(items.begin(), items.end(), [&](const TSortItem& a, const TSortItem& b) {
        if (a.picture != b.picture) return a.picture < b.picture;
        const TSortItem& first = reversed ? b : a;
        const TSortItem& second = reversed ? a : b;
        if (bySize) return first.number > second.number;
        if (first.prefix != second.prefix) return first.prefix < second.prefix;
        return texts[first.index] < texts[second.index];
    });
    std::vector<TPaneRow> sorted;
    sorted.reserve(rows.size());
    for (const TSortItem& item : items) sorted.push_back(std::move(rows[item.index]));
    rows = std::move(sorted);
}

}  // namespace tarnwick

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

void ResortRows(std::vector<TPaneRow>& rows, int key) {
    for (TPaneRow& row : rows) {
        if (row.Picture == kPictureDirectory) row.Size.clear();
    }
    std::stable_sort(rows.begin(), rows.end(), [key](const TPaneRow& a, const TPaneRow& b) {
        return FTPViewCompare(a, b, key) < 0;
    });
}

}  // namespace tarnwick

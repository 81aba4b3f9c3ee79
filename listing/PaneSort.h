#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "listing/ListingEntry.h"

namespace tarnwick {

// Pictures of pane rows; rows of a lower picture always sort first.
inline constexpr int kPictureDirectory = 0;
inline constexpr int kPictureFile = 1;
inline constexpr int kPictureServer = 2;

// Column tags: the numbers the pane headers and "Sorting" menu items carry.
inline constexpr int kColumnName = 1;
inline constexpr int kColumnSize = 2;
inline constexpr int kColumnDate = 3;
inline constexpr int kColumnTime = 4;
inline constexpr int kColumnAttr = 5;

// One row of a file pane. The local pane has no attribute column.
struct TPaneRow {
    int Picture = kPictureFile;
    std::string Name;
    std::string Size;
    std::string Date;  // DD.MM.YY remote, DD/MM/YYYY local
    std::string Time;
    std::string Attr;
};

// The row a cache entry shows as: a directory gets no size.
TPaneRow RowFromEntry(const TListingEntry& entry);

// The sort keys of both panes: the magnitude names the column by its tag,
// a negative key reverses the order. 0 sorts by name like 1.
struct TSortKeys {
    int Remote = 0;
    int Local = 0;
};

// Orders two rows of a pane sorted by `key`: directories before files before
// saved servers whatever the direction; then by the key's column. A positive
// size key puts the larger file first, the text columns go A to Z.
int FTPViewCompare(const TPaneRow& row1, const TPaneRow& row2, int key);

// The key after a click on the column with `tag`: the same column flips the
// direction, another column sorts ascending by it.
int ColumnClickKey(int key, int tag);

// Puts the rows of a pane into the order of `key`, as re-adding every row
// to a sorted pane does: directory rows lose their size, and rows that
// compare equal keep their order.
void ResortRows(std::vector<TPaneRow>& rows, int key);

// Upper-cases the ASCII letters of both texts and compares them byte by byte;
// a prefix sorts first. -1, 0 or 1.
int CompareTextUpper(std::string_view a, std::string_view b);

}  // namespace tarnwick

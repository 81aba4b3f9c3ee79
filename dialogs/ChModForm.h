// T_ChMod, the permissions dialog "Change File Attributes": the Unix permission bits of a remote
// file as nine check boxes (rows Owner, Group, Public; columns read, write, execute) and as
// three octal digits in the "Manual" edit box, kept in step; column and row buttons set or
// clear a whole column or row, each press toggling what the next one does.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick::dialogs {

inline constexpr const char* kChModCaption = "Change File Attributes";
inline constexpr size_t kChModEditLength = 3;
inline constexpr size_t kChModMaxAttributes = 255;
inline constexpr int kChModBoxes = 9;
inline constexpr int kChModOk = 1;
inline constexpr int kChModCancel = 2;

class T_ChMod {
  public:
    // Opens on an attribute text as listed (the type character first, then rwxr-xr-x).
    explicit T_ChMod(std::string_view attributes);

    // cb1 .. cb9 by their tags 1 .. 9.
    bool Box(int tag) const { return boxes_[Index(tag)]; }
    const std::string& Edit1() const { return edit_; }
    bool Syncing() const { return syncing_; }
    // The tag of a column button (1 Read, 2 Write, 3 Execute) or a row button (1 Owner,
    // 2 Group, 3 Public); its sign says whether the next press sets (+) or clears (-).
    int ColumnTag(int column) const { return columnTags_[Index3(column)]; }
    int RowTag(int row) const { return rowTags_[Index3(row)]; }

    // The user sets a box (cb1Click runs for the new state).
    void cb1Click(int tag, bool checked);
    // The edit box's text changed to `text` (cut to three characters).
    void Edit1Change(std::string text);
    // The key filter: a printable character other than an octal digit becomes a backspace.
    static char Edit1KeyPress(char key);
    // The column buttons "Read", "Write", "Execute" (SpeedButton3..5) by their column 1..3.
    void SpeedButton3Click(int column);
    // The row buttons "Owner/Group/Public Permissions" (SpeedButton6..8) by their row 1..3.
    void SpeedButton6Click(int row);
    // "Ok" (tag 1) and "Cancel" (tag 2): the modal result.
    void SpeedButton1Click(int tag) { modalResult_ = tag; }
    int ModalResult() const { return modalResult_; }

    // After "Ok": the three digits read as a decimal number (755); nothing after "Cancel", or
    // when the edit box holds no octal digits.
    std::optional<int> Result() const;

  private:
    static size_t Index(int tag) { return static_cast<size_t>(tag - 1); }
    static size_t Index3(int n) { return static_cast<size_t>(n - 1); }
    void SetBox(int tag, bool checked);
    void WriteDigits();

    std::array<bool, kChModBoxes> boxes_{};
    std::array<int, 3> columnTags_{1, 2, 3};
    std::array<int, 3> rowTags_{1, 2, 3};
    std::string edit_;
    bool syncing_ = false;
    bool editChangeAttached_ = true;
    int modalResult_ = 0;
};

// The octal digits of an attribute text, read as a decimal number (drwxr-xr-x gives 755).
int PermissionNumber(std::string_view attributes);

}  // namespace tarnwick::dialogs

// T_ChMod: the attribute text opened as digits and boxes, the boxes and the digits kept in
// step both ways, the column and row buttons with their toggles, the key filter and Ok.
#include <gtest/gtest.h>

#include <string>

#include "dialogs/ChModForm.h"

namespace tarnwick::dialogs {
namespace {

// The nine boxes as a text of 0 and 1, Owner first.
std::string Boxes(const T_ChMod& f) {
    std::string out;
    for (int tag = 1; tag <= kChModBoxes; ++tag) out += f.Box(tag) ? '1' : '0';
    return out;
}

TEST(ChModForm, OpensFromTheAttributeText) {
    struct Case {
        const char* attributes;
        const char* edit;
        const char* boxes;
    };
    const Case cases[] = {
        {"drwxr-xr-x", "755", "111101101"},
        {"-rw-r--r--", "644", "110100100"},
        {"-RWXRWXRWX", "777", "111111111"},
        {"-rwsr-xr-t", "654", "110101100"},  // s and t count as not set
        {"-rwx", "700", "111000000"},        // only the positions that exist
        {"-rwxr", "740", "111100000"},
        {"-", "", "000000000"},
        {"", "", "000000000"},
        {"----------", "", "000000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        T_ChMod f(c.attributes);
        EXPECT_EQ(f.Edit1(), c.edit);
        EXPECT_EQ(Boxes(f), c.boxes);
        EXPECT_TRUE(f.Syncing());
    }
}

TEST(ChModForm, TheEditBoxSetsTheBoxesAndTheBoxesWriteThreeDigits) {
    T_ChMod f("drwxr-xr-x");
    f.Edit1Change("75");
    EXPECT_EQ(Boxes(f), "000111101");
    EXPECT_EQ(f.Edit1(), "75");  // the boxes do not write back while the text changes
    f.SpeedButton1Click(kChModOk);
    EXPECT_EQ(f.Result(), 75);

    f.Edit1Change("7x");  // not a number: the boxes stay
    EXPECT_EQ(Boxes(f), "000111101");
    f.Edit1Change("");
    EXPECT_EQ(Boxes(f), "000000000");
    EXPECT_EQ(f.Result(), std::nullopt);

    f.cb1Click(3, true);
    EXPECT_EQ(f.Edit1(), "100");
    f.cb1Click(3, false);
    EXPECT_EQ(f.Edit1(), "000");
    EXPECT_EQ(f.Result(), 0);
    f.Edit1Change("1234");
    EXPECT_EQ(f.Edit1(), "123");
}

TEST(ChModForm, ColumnAndRowButtonsToggle) {
    T_ChMod f("");
    f.SpeedButton3Click(1);  // "Read"
    EXPECT_EQ(Boxes(f), "100100100");
    EXPECT_EQ(f.Edit1(), "444");
    EXPECT_EQ(f.ColumnTag(1), -1);
    f.SpeedButton3Click(1);
    EXPECT_EQ(Boxes(f), "000000000");
    EXPECT_EQ(f.Edit1(), "000");
    EXPECT_EQ(f.ColumnTag(1), 1);

    f.SpeedButton6Click(2);  // "Group Permissions"
    EXPECT_EQ(f.Edit1(), "070");
    f.SpeedButton3Click(3);  // "Execute"
    EXPECT_EQ(f.Edit1(), "171");
    f.SpeedButton6Click(2);
    EXPECT_EQ(f.Edit1(), "101");
    EXPECT_EQ(f.RowTag(2), 2);
}

TEST(ChModForm, KeyFilterAndCancel) {
    for (const char c : std::string("01234567\b\r")) EXPECT_EQ(T_ChMod::Edit1KeyPress(c), c);
    for (const char c : std::string("89a -")) EXPECT_EQ(T_ChMod::Edit1KeyPress(c), '\b') << c;
    T_ChMod f("-rwxr-xr-x");
    f.SpeedButton1Click(kChModCancel);
    EXPECT_EQ(f.Result(), std::nullopt);
    f.SpeedButton1Click(kChModOk);
    EXPECT_EQ(f.Result(), 755);
    f.Edit1Change("99");  // pasted, not octal
    EXPECT_EQ(f.Result(), std::nullopt);
}

}  // namespace
}  // namespace tarnwick::dialogs

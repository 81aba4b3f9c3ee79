// T_FCmd: the boxes follow the selected row and store every change, Add and Remove, and the
// ways the dialog closes with or without a command.
#include <gtest/gtest.h>

#include <functional>

#include "dialogs/CommandsForm.h"

namespace tarnwick::dialogs {
namespace {

TEST(CommandsForm, EditsAddsRemovesAndKeepsTheListsAligned) {
    TCommandList list{{"Quota", "Who", "Orphan"}, {"SITE QUOTA", "SITE WHO"}};
    T_FCmd f(list);
    EXPECT_EQ(list.Commands.size(), 3u);  // a label without its command gets an empty one
    EXPECT_TRUE(f.BoxesReadOnly());
    EXPECT_EQ(f.LabelText(), "");
    f.eAlChange("lost");  // nothing selected: nothing stored
    EXPECT_EQ(list.Labels[0], "Quota");

    f.SelectRow(1);
    EXPECT_FALSE(f.BoxesReadOnly());
    EXPECT_EQ(f.LabelText(), "Who");
    EXPECT_EQ(f.CommandText(), "SITE WHO");
    f.eCmdChange("SITE WHO ALL");
    EXPECT_EQ(list.Commands[1], "SITE WHO ALL");

    f.Add();
    EXPECT_EQ(f.Selected(), 3);
    EXPECT_EQ(f.LabelText(), "");
    f.eAlChange("Help");
    f.eCmdChange("SITE HELP");
    f.SelectRow(2);
    f.Remove();
    EXPECT_EQ(list, (TCommandList{{"Quota", "Who", "Help"},
                                  {"SITE QUOTA", "SITE WHO ALL", "SITE HELP"}}));
    EXPECT_EQ(f.LabelText(), "Help");
    f.Remove();
    EXPECT_EQ(f.Selected(), 1);
    f.SelectRow(7);
    EXPECT_EQ(f.Selected(), -1);
    f.Remove();
    EXPECT_EQ(f.Count(), 2);
}

TEST(CommandsForm, ClosesWithOrWithoutACommand) {
    const TCommandList start{{"Quota", "Who"}, {"SITE QUOTA", "SITE WHO"}};
    struct Case {
        const char* what;
        std::function<void(T_FCmd&)> act;
        std::string result;
    };
    const Case cases[] = {
        {"Select", [](T_FCmd& f) { f.SelectRow(1), f.Select(); }, "SITE WHO"},
        {"double click", [](T_FCmd& f) { f.DoubleClick(0); }, "SITE QUOTA"},
        {"Enter on a row", [](T_FCmd& f) { f.SelectRow(0), f.Enter(); }, "SITE QUOTA"},
        {"Enter without a row", [](T_FCmd& f) { f.Enter(); }, ""},
        {"Close", [](T_FCmd& f) { f.SelectRow(1), f.Close(); }, ""},
        {"Select without a row", [](T_FCmd& f) { f.Select(); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TCommandList list = start;
        T_FCmd f(list);
        c.act(f);
        EXPECT_TRUE(f.Closed());
        EXPECT_EQ(f.Result(), c.result);
    }
}

}  // namespace
}  // namespace tarnwick::dialogs

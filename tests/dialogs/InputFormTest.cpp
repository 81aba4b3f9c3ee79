// The one-line input dialog's logic: Enter and Escape, the cut to the maximum length, the mask.
#include <gtest/gtest.h>

#include "dialogs/InputForm.h"

namespace tarnwick::dialogs {
namespace {

TEST(InputFormTest, EnterAcceptsAndEscapeCancels) {
    TInputQuery q;
    q.Caption = "Enter password";
    q.Value = "start";
    TInputForm open(q);
    EXPECT_EQ(open.Result(), std::nullopt) << "nothing before it closes";

    TInputForm accepted(q);
    accepted.SetText("typed");
    accepted.KeyPress(TInputKey::Enter);
    EXPECT_TRUE(accepted.Closed());
    EXPECT_EQ(accepted.Result(), "typed");

    TInputForm untouched(q);
    untouched.Accept();
    EXPECT_EQ(untouched.Result(), "start");

    TInputForm cancelled(q);
    cancelled.SetText("typed");
    cancelled.KeyPress(TInputKey::Escape);
    EXPECT_TRUE(cancelled.Closed());
    EXPECT_EQ(cancelled.Result(), std::nullopt);
}

TEST(InputFormTest, AcceptedTextIsCutToTheMaximumLength) {
    struct Case {
        const char* what;
        std::string text;
        size_t max;
        std::string result;
    };
    const std::vector<Case> cases = {
        {"short", "abc", 5, "abc"},
        {"exact", "abcde", 5, "abcde"},
        {"long", "abcdefg", 5, "abcde"},
        {"inside a UTF-8 character", "ab\xC3\xA9\xC3\xA9", 3, "ab"},
        {"after a UTF-8 character", "ab\xC3\xA9\xC3\xA9", 4, "ab\xC3\xA9"},
        // Windows-1252 bytes are characters of their own.
        {"single-byte text", "ab\xE9\xE9\xE9", 4, "ab\xE9\xE9"},
        {"nothing", "", 0, ""},
    };
    for (const Case& c : cases) {
        TInputQuery q;
        q.MaxLength = c.max;
        TInputForm form(q);
        form.SetText(c.text);
        form.KeyPress(TInputKey::Enter);
        EXPECT_EQ(form.Result(), c.result) << c.what;
    }
}

TEST(InputFormTest, MaskShowsOneStarPerCharacter) {
    TInputQuery q;
    q.ShowMaskBox = true;
    q.Masked = true;
    q.Value = "p\xC3\xA4ss";
    TInputForm form(q);
    EXPECT_EQ(form.Shown(), "****");
    form.SetMasked(false);
    EXPECT_EQ(form.Shown(), "p\xC3\xA4ss");
    form.SetMasked(true);
    form.Accept();
    EXPECT_EQ(form.Result(), "p\xC3\xA4ss") << "the mask changes the look only";
}

}  // namespace
}  // namespace tarnwick::dialogs

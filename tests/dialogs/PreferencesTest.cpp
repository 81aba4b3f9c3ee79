// The preferences dialog's logic: the page tree, the panels the connection type enables and
// their colours, the values it corrects at opening, the extension list, and what OK stores.
#include <gtest/gtest.h>

#include "dialogs/Preferences.h"

namespace tarnwick::dialogs {
namespace {

TEST(PreferencesTest, PageTreeShowsThePageOfTheNodesPosition) {
    T_Options form(TFTPOptions{});
    EXPECT_EQ(form.Page(), TOptionsPage::Connection);
    const std::vector<std::pair<int, std::string>> shown = {
        {1, "Ascii/Binary"}, {2, "Proxy / Firewall "}, {0, "Connection"}, {7, "Connection"}};
    for (const auto& [position, caption] : shown) {
        form.SelectNode(position);
        EXPECT_EQ(form.PageCaption(), caption) << position;
    }
}

TEST(PreferencesTest, TheConnectionTypeEnablesItsPanel) {
    struct Case {
        int type;
        bool proxy;
        bool socks;
    };
    for (const Case& c : std::vector<Case>{{0, false, false},
                                           {1, true, false},
                                           {2, false, true},
                                           {3, false, true},
                                           {4, false, true}}) {
        SCOPED_TRACE(kConnectionTypes[static_cast<size_t>(c.type)]);
        TFTPOptions options;
        options.ConnectionType = c.type;
        T_Options opened(options);  // at opening
        T_Options changed(TFTPOptions{});
        changed.SetConnectionType(c.type);  // and while open
        for (const T_Options* form : {&opened, &changed}) {
            EXPECT_EQ(form->ProxyPanelEnabled(), c.proxy);
            EXPECT_EQ(form->SocksPanelEnabled(), c.socks);
            EXPECT_EQ(form->ProxyEditColour(), c.proxy ? kWhite : kSilver);
            EXPECT_EQ(form->SocksEditColour(), c.socks ? kWhite : kSilver);
        }
    }
}

TEST(PreferencesTest, OutOfRangeValuesOpenCorrected) {
    struct Case {
        const char* what;
        int stored;
        int (*field)(const T_Options&);
        int TFTPOptions::*key;
        int shown;
    };
    const auto mode = [](const T_Options& f) { return f.TransferMode(); };
    const auto fw = [](const T_Options& f) { return f.FireWallType(); };
    const auto type = [](const T_Options& f) { return f.ConnectionType(); };
    const auto timeOut = [](const T_Options& f) { return f.TimeOut(); };
    const auto retry = [](const T_Options& f) { return f.Retry(); };
    const std::vector<Case> cases = {
        {"TransferMode 7", 7, mode, &TFTPOptions::TransferMode, 0},
        {"TransferMode -1", -1, mode, &TFTPOptions::TransferMode, 0},
        {"TransferMode 2", 2, mode, &TFTPOptions::TransferMode, 2},
        {"fwType 9", 9, fw, &TFTPOptions::fwType, 0},
        {"fwType -3", -3, fw, &TFTPOptions::fwType, 0},
        {"fwType 6", 6, fw, &TFTPOptions::fwType, 6},
        {"ConnectionType 8", 8, type, &TFTPOptions::ConnectionType, 0},
        {"TimeOut 5", 5, timeOut, &TFTPOptions::TimeOut, kTimeOutMin},
        {"TimeOut 99999", 99999, timeOut, &TFTPOptions::TimeOut, kSpinMax},
        {"retry -2", -2, retry, &TFTPOptions::retry, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TFTPOptions options;
        options.*c.key = c.stored;
        T_Options form(options);
        EXPECT_EQ(c.field(form), c.shown);
        form.Confirm();
        EXPECT_EQ(form.Options().*c.key, c.shown) << "OK stores what was shown";
    }
}

TEST(PreferencesTest, TheFirewallIsAlwaysStoredOff) {
    TFTPOptions options;
    options.fwEnable = true;
    options.fwType = 3;
    T_Options form(options);
    EXPECT_FALSE(form.Checked(TOptionsCheck::cbFW));
    EXPECT_FALSE(form.FireWallGroupEnabled());
    EXPECT_EQ(form.FireWallFontColour(), kGrey);
    form.SetChecked(TOptionsCheck::cbFW, true);  // the box is disabled
    form.ClickFireWallType(5);
    form.ClickFireWallType(12);
    form.Confirm();
    EXPECT_FALSE(form.Options().fwEnable);
    EXPECT_EQ(form.Options().fwType, 5);
}

TEST(PreferencesTest, ExtensionListIsEditedThroughTheInputDialog) {
    TFTPOptions options;
    options.Ext = "txt,htm";
    T_Options form(options);
    EXPECT_EQ(form.Extensions(), (std::vector<std::string>{"txt", "htm"}));

    // Modify with nothing selected is Add.
    TInputQuery q = form.ModifyExtensionQuery();
    EXPECT_EQ(q.Caption, "Add extention");
    EXPECT_EQ(q.Prompt, "Enter");
    EXPECT_EQ(q.Value, "");
    form.ModifyExtension("my ext");
    form.AddExtension(std::nullopt);  // cancelled
    EXPECT_EQ(form.Extensions(), (std::vector<std::string>{"txt", "htm", "my ext"}));

    form.SelectExtension(1);
    q = form.ModifyExtensionQuery();
    EXPECT_EQ(q.Caption, "Edit extention");
    EXPECT_EQ(q.Value, "htm");
    form.ModifyExtension(std::nullopt);
    EXPECT_EQ(form.Extensions()[1], "htm");
    form.ModifyExtension("html");
    form.SelectExtension(0);
    form.RemoveExtension();
    form.RemoveExtension();  // nothing selected any more
    EXPECT_EQ(form.Extensions(), (std::vector<std::string>{"html", "my ext"}));
    form.Confirm();
    EXPECT_EQ(form.Options().Ext, "html,\"my ext\"");
}

TEST(PreferencesTest, OkStoresItsFieldsAndKeepsTheOthers) {
    TFTPOptions options;
    options.Log = true;
    options.LogFile = "/tmp/session.log";
    options.Keep = true;
    options.CmdKeep = "NOOP";
    options.FontName = "Mono";
    options.IniPath = "/home/me";
    options.fwHost = "fw";
    options.DefPrompt = 2;
    T_Options form(options);
    EXPECT_FALSE(form.EMailEnabled());
    EXPECT_EQ(form.EMailColour(), kSilver);
    EXPECT_EQ(form.ExtensionListColour(), kSilver);
    form.SetTransferMode(1);
    EXPECT_EQ(form.ExtensionListColour(), kWhite);
    form.SetChecked(TOptionsCheck::cbAno, true);
    EXPECT_EQ(form.EMailColour(), kWhite);
    form.SetText(TOptionsText::Anonymous, "me@example.org");
    form.SetConnectionType(4);
    form.SetText(TOptionsText::SocksServer, "socks.example");
    form.SetText(TOptionsText::SocksPort, "1080");
    form.SetText(TOptionsText::SocksPsw, "pw");
    form.SetText(TOptionsText::SocksUC, "uc");
    form.SetChecked(TOptionsCheck::SocksPswMask, true);
    form.SetText(TOptionsText::ProxyServer, "proxy");
    form.SetChecked(TOptionsCheck::PassiveTransfer, true);
    form.SetText(TOptionsText::fwSimbol, "#!");
    form.SetTimeOut(60);
    form.SetRetry(3);

    T_Options cancelled(form);
    cancelled.Cancel();
    EXPECT_EQ(cancelled.Options(), options) << "Cancel stores nothing";

    form.Confirm();
    TFTPOptions expected = options;
    expected.TransferMode = 1;
    expected.MailAno = true;
    expected.Anonymous = "me@example.org";
    expected.ConnectionType = 4;
    expected.SocksServer = "socks.example";
    expected.SocksPort = "1080";
    expected.SocksPsw = "pw";
    expected.SocksUC = "uc";
    expected.SocksPswMask = true;
    expected.ProxyServer = "proxy";
    expected.PassiveTransfer = true;
    expected.fwSimbol = "#";
    expected.TimeOut = 60;
    expected.retry = 3;
    EXPECT_EQ(form.Options(), expected);
}

}  // namespace
}  // namespace tarnwick::dialogs

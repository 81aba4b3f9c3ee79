// The server properties dialog's logic: what OK refuses and what it stores, the host type
// rules at opening, the named host types of the custom panel, and the dependent boxes.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "dialogs/ServerProperties.h"
#include "settings/CommaText.h"
#include "tests/settings/TempFolder.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::dialogs {
namespace {

using testing::TempFolder;

class ServerPropertiesTest : public ::testing::Test {
  protected:
    // A dialog on a new record with a name and a server, ready to confirm.
    TFFtpBase Filled(std::vector<std::string> others = {}) {
        TFFtpBase form(NewServerInfo(), settings.path(), std::move(others));
        form.SetText(TServerText::NameEdt, "Mirror");
        form.SetText(TServerText::ServerEdt, "host1");
        return form;
    }
    void WriteHostTypes(const std::string& text) {
        testing::WriteBytes(settings.file(kHostTypesFileName), text);
    }
    TempFolder settings;
};

TEST_F(ServerPropertiesTest, OkRefusesWhatTheServerListCouldNotReadBack) {
    const auto named = [](std::string_view label) {
        return "The field \"" + std::string(label) +
               "\" must not hold \";\" or a line break: the server list could not read it back.";
    };
    struct Case {
        const char* what;
        std::function<void(TFFtpBase&)> edit;
        std::string refusal;  // empty: accepted
    };
    const std::vector<Case> cases = {
        {"no server", [](TFFtpBase& f) { f.SetText(TServerText::ServerEdt, "  "); },
         kNameRequiredText},
        {"no name", [](TFFtpBase& f) { f.SetText(TServerText::NameEdt, "\t "); },
         kNameRequiredText},
        {"';' in the server", [](TFFtpBase& f) { f.SetText(TServerText::ServerEdt, "a;Port=99"); },
         named("FTP Server")},
        {"line break in the name", [](TFFtpBase& f) { f.SetText(TServerText::NameEdt, "a\nb"); },
         named("Name")},
        {"CR in the user", [](TFFtpBase& f) { f.SetText(TServerText::UserEdt, "u\rx"); },
         named("User ID")},
        {"';' in the port", [](TFFtpBase& f) { f.SetText(TServerText::PortEdt, "21;"); },
         named("FTP Port")},
        {"';' in the account", [](TFFtpBase& f) { f.SetText(TServerText::AccountEdt, "a;b"); },
         named("Account")},
        {"';' in the e-mail", [](TFFtpBase& f) { f.SetText(TServerText::EMailEdt, "a;b@c"); },
         named("E-Mail")},
        {"';' in the remote folder",
         [](TFFtpBase& f) { f.SetText(TServerText::RemoteDirEdt, "/a;b"); },
         named("Initial Directory on FTP Server")},
        {"';' in the local folder",
         [](TFFtpBase& f) { f.SetText(TServerText::LocalDir, "/tmp/a;b"); },
         named("Initial Directory on Local Machine")},
        {"';' in a description line",
         [](TFFtpBase& f) {
             f.SetDescLines({"fine", "not; fine"});
         },
         named("Description")},
        {"';' and a line break in the password are stored escaped",
         [](TFFtpBase& f) { f.SetText(TServerText::PasswordEdt, "p;w\nx"); }, ""},
        {"a line break at the end is trimmed away",
         [](TFFtpBase& f) { f.SetText(TServerText::ServerEdt, "host1\r\n"); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TFFtpBase form = Filled();
        c.edit(form);
        const bool accepted = form.Confirm();
        EXPECT_EQ(accepted, c.refusal.empty());
        EXPECT_EQ(form.Closed(), accepted);
        if (!accepted) {
            EXPECT_EQ(*form.Refusal(), (TDialogMessage{kAttentionCaption, c.refusal}));
            EXPECT_EQ(form.Record(), NewServerInfo()) << "a refused OK stores nothing";
        }
    }
}

TEST_F(ServerPropertiesTest, APasswordWithItemBreaksReadsBackFromItsLine) {
    TFFtpBase form = Filled();
    form.SetText(TServerText::PasswordEdt, "p;w\nx%");
    ASSERT_TRUE(form.Confirm());
    EXPECT_EQ(ReadServerLine(ServerLine(form.Record())).Password, "p;w\nx%");
}

TEST_F(ServerPropertiesTest, ServerNamesStayUnique) {
    struct Case {
        const char* name;
        std::string recordName;  // the name the record had when the dialog opened
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"Mirror", "", false},
        {"  Mirror  ", "", false},  // trimmed first
        {"mirror", "", true},       // a row finds its record by the exact name
        {"Other", "", true},
        {"Mirror", "Mirror", true},  // a duplicate the list already had stays editable
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFTPServerInfo record = NewServerInfo();
        record.Name = c.recordName;
        TFFtpBase form(record, settings.path(), {"Archive", "Mirror"});
        form.SetText(TServerText::NameEdt, c.name);
        form.SetText(TServerText::ServerEdt, "host1");
        EXPECT_EQ(form.Confirm(), c.accepted);
        if (!c.accepted) {
            EXPECT_EQ(form.Refusal()->Text,
                      "A server named \"Mirror\" already exists. Please enter another name.");
        }
    }
    // The 50-byte cut comes before the comparison.
    const std::string fifty(50, 'n');
    TFFtpBase form(NewServerInfo(), settings.path(), {fifty});
    form.SetText(TServerText::NameEdt, fifty + "tail");
    form.SetText(TServerText::ServerEdt, "host1");
    EXPECT_FALSE(form.Confirm());
}

TEST_F(ServerPropertiesTest, OkCopiesTheBoxesBack) {
    struct Case {
        const char* remoteDir;
        const char* stored;
    };
    for (const Case& c : std::vector<Case>{
             {"/pub", "/pub"}, {"pub", "/pub"}, {"  pub ", "/pub"}, {"", ""}, {"/", "/"}}) {
        SCOPED_TRACE(c.remoteDir);
        TFFtpBase form = Filled();
        form.SetText(TServerText::RemoteDirEdt, c.remoteDir);
        ASSERT_TRUE(form.Confirm());
        EXPECT_EQ(form.Record().InitialDir, c.stored);
    }

    TFTPServerInfo record = NewServerInfo();
    record.Description = "older text";
    record.ModifiedDate = "2001-01-01";
    TFFtpBase form(record, settings.path());
    form.SetText(TServerText::NameEdt, "  " + std::string(60, 'N') + "  ");
    form.SetText(TServerText::ServerEdt, " host1 ");
    form.SetText(TServerText::PortEdt, " 2121 ");
    form.SetText(TServerText::UserEdt, " me ");
    form.SetText(TServerText::PasswordEdt, " secret ");
    form.SetText(TServerText::AccountEdt, " acct ");
    form.SetText(TServerText::EMailEdt, std::string(70, 'e'));
    form.SetText(TServerText::LocalDir, " /tmp/here ");
    form.SetChecked(TServerCheck::AnonymousCB, true);
    form.SetChecked(TServerCheck::SavePasswordCB, false);
    form.SetChecked(TServerCheck::cbPv, true);
    form.SetChecked(TServerCheck::cbVH, true);
    form.SetChecked(TServerCheck::cbMPsw, false);
    form.SetDescLines({"a", "b"});
    ASSERT_TRUE(form.Confirm());
    TFTPServerInfo expected = record;
    expected.Name = std::string(50, 'N');
    expected.Server = "host1";
    expected.Port = "2121";
    expected.User = "me";
    expected.Password = "secret";
    expected.Account = "acct";
    expected.EMail = std::string(60, 'e');
    expected.LocalDir = "/tmp/here";
    expected.Anonymous = 1;
    expected.SavePassword = 0;
    expected.Pasv = 1;
    expected.CheckVHost = 1;
    expected.CheckPSW = 0;
    expected.Desc = "a`b";
    expected.Answer = "0957681";
    expected.AnswerName = "";  // no named entry chosen outside "Custom"
    EXPECT_EQ(form.Record(), expected);

    // The description comes back as memo lines and an empty memo stores nothing.
    TFFtpBase again(form.Record(), settings.path());
    EXPECT_EQ(again.DescLines(), (std::vector<std::string>{"a", "b"}));
    again.SetDescLines({});
    ASSERT_TRUE(again.Confirm());
    EXPECT_EQ(again.Record().Desc, "");
}

TEST_F(ServerPropertiesTest, TheHostTypeAtOpeningAndOk) {
    WriteHostTypes("\"Default\",0957681\r\n\"Mine\",4123456\r\n");
    struct Case {
        const char* answer;
        const char* answerName;
        int type;            // cbType at opening
        int entry;           // cbName at opening
        const char* digits;  // the six boxes
        const char* storedAnswer;
        const char* storedName;
    };
    const std::vector<Case> cases = {
        {"0123456", "x", 0, kNoEntry, "957681", "0957681", ""},
        {"123", "x", 0, kNoEntry, "957681", "0957681", ""},
        {"", "", 0, kNoEntry, "957681", "0957681", ""},
        {"5111111", "", 5, kNoEntry, "111111", "5111111", ""},
        {"9222222", "", 0, kNoEntry, "222222", "0222222", ""},
        {"4999999", "MINE", 4, 1, "123456", "4123456", "Mine"},
        {"4999999", "gone", 4, 0, "957681", "4957681", "Default"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.answer) + " " + c.answerName);
        TFTPServerInfo record = NewServerInfo();
        record.Name = "n";
        record.Server = "s";
        record.Answer = c.answer;
        record.AnswerName = c.answerName;
        TFFtpBase form(record, settings.path());
        EXPECT_EQ(form.TypeIndex(), c.type);
        EXPECT_EQ(form.CustomPanelVisible(), c.type == kCustomType);
        EXPECT_EQ(form.HostTypes().Selected(), c.entry);
        std::string digits;
        for (size_t i = 0; i < kDigitBoxCount; ++i)
            digits += form.HostTypes().Digit(static_cast<TDigitBox>(i));
        EXPECT_EQ(digits, c.digits);
        ASSERT_TRUE(form.Confirm());
        EXPECT_EQ(form.Record().Answer, c.storedAnswer);
        EXPECT_EQ(form.Record().AnswerName, c.storedName);
    }

    TFFtpBase vms = Filled();
    vms.SetTypeIndex(5);
    ASSERT_TRUE(vms.Confirm());
    EXPECT_EQ(vms.Record().Answer, "5957681");
}

TEST_F(ServerPropertiesTest, NamedHostTypesAreEditedAndSavedOnEveryClose) {
    TFFtpBase form = Filled();
    form.SetTypeIndex(kCustomType);
    // "edit" on entry 0 is "add"; a cancelled or blank name adds nothing.
    EXPECT_EQ(form.EditHostTypeQuery().Caption, kNewHostTypeCaption);
    form.AddHostType(std::nullopt);
    form.AddHostType("  ");
    EXPECT_EQ(form.HostTypes().Count(), 1u);
    form.EditHostType("First");
    form.AddHostType("Second");
    ASSERT_EQ(form.HostTypes().Count(), 3u);
    EXPECT_EQ(form.HostTypes().Selected(), 2);
    EXPECT_TRUE(form.HostTypes().DigitsEditable());
    EXPECT_EQ(form.HostTypes().AnswerOf(2), "0957681");

    // Changing the selection stores the boxes, after the type digit, into the entry left.
    form.SetDigit(TDigitBox::eFName, "3");
    form.SetDigit(TDigitBox::eFAttr, "");
    form.SelectHostType(1);
    EXPECT_EQ(form.HostTypes().AnswerOf(2), "4357680");
    EXPECT_EQ(form.HostTypes().AnswerOf(1), "4957681");  // stored when "Second" was added
    form.SelectHostType(0);
    EXPECT_FALSE(form.HostTypes().DigitsEditable());
    form.DeleteHostType();  // entry 0 stays
    form.SelectHostType(0);
    EXPECT_EQ(form.HostTypes().AnswerOf(0), "0957681");
    EXPECT_EQ(form.HostTypes().Count(), 3u);

    form.SelectHostType(1);
    const TInputQuery rename = form.EditHostTypeQuery();
    EXPECT_EQ(rename.Caption, kEditHostTypeCaption);
    EXPECT_EQ(rename.Prompt, "Enter");
    EXPECT_EQ(rename.Value, "First");
    EXPECT_EQ(rename.MaxLength, 255u);
    form.EditHostType("First, renamed");
    form.SelectHostType(2);
    form.DeleteHostType();
    EXPECT_EQ(form.HostTypes().Selected(), kNoEntry);
    form.Cancel();
    // Cancel keeps the record but the list is in the file.
    EXPECT_EQ(form.Record(), NewServerInfo());
    EXPECT_EQ(testing::ReadBytes(settings.file(kHostTypesFileName)),
              "\"Default\",0957681\r\n\"First, renamed\",4957681\r\n");

    // OK with a named entry stores its name and gives it the composed string.
    TFFtpBase custom = Filled();
    custom.SetTypeIndex(kCustomType);
    custom.SelectHostType(1);
    custom.SetDigit(TDigitBox::eFSize, "2");
    ASSERT_TRUE(custom.Confirm());
    EXPECT_EQ(custom.Record().Answer, "4927681");
    EXPECT_EQ(custom.Record().AnswerName, "First, renamed");
    EXPECT_EQ(LoadHostTypes(settings.path()).Answers.at(1), "4927681");
}

TEST_F(ServerPropertiesTest, DigitBoxesTakeOneDigit) {
    for (char key : std::string("0123456789")) EXPECT_EQ(THostTypeChoice::FilterDigitKey(key), key);
    for (char key : std::string("a -.\t"))
        EXPECT_EQ(THostTypeChoice::FilterDigitKey(key), kBackspace) << int(key);
    THostTypeChoice choice;
    choice.SetDigit(TDigitBox::eFDate, "x7y8");
    EXPECT_EQ(choice.Digit(TDigitBox::eFDate), "7");
    choice.SetDigit(TDigitBox::eFDate, "x");
    EXPECT_EQ(choice.Digit(TDigitBox::eFDate), "");
}

TEST_F(ServerPropertiesTest, DependentBoxesAndBrowse) {
    TFFtpBase form = Filled();
    EXPECT_FALSE(form.EMailEnabled());
    EXPECT_TRUE(form.LoginEnabled());
    EXPECT_TRUE(form.PasswordMasked());  // a new record masks its password
    form.SetChecked(TServerCheck::AnonymousCB, true);
    EXPECT_TRUE(form.EMailEnabled());
    EXPECT_FALSE(form.LoginEnabled());
    form.SetChecked(TServerCheck::cbMPsw, false);
    EXPECT_FALSE(form.PasswordMasked());

    EXPECT_EQ(form.BrowseStart(), settings.path());
    const std::string local = settings.file("local");
    std::filesystem::create_directory(local);
    form.SetText(TServerText::LocalDir, " " + local + " ");
    EXPECT_EQ(form.BrowseStart(), local);
    form.FolderChosen("/chosen");
    EXPECT_EQ(form.Text(TServerText::LocalDir), "/chosen");
}

TEST_F(ServerPropertiesTest, EncryptionChoiceAndThePortItBrings) {
    struct {
        int stored;        // the record's Encryption at opening
        int shown;         // what cbEncryption shows
        const char* port;  // the port box at opening
        int chosen;        // the user's choice, or -1 for none
        const char* portAfter;
        int saved;
    } cases[] = {
        {0, 0, "21", -1, "21", 0},
        {0, 0, "21", 2, "990", 2},     // implicit brings its own port
        {0, 0, "", 2, "990", 2},       // an empty port too
        {0, 0, "2121", 2, "2121", 2},  // a port of the user's own stays
        {2, 2, "990", 1, "21", 1},     // leaving implicit gives the usual port back
        {2, 2, "990", 3, "21", 3},
        {1, 1, "990", 3, "21", 3},  // "990" is taken as implicit's port whatever was set
        {3, 3, "21", 0, "21", 0},
        {1, 1, "21", 7, "21", 1},                     // not a choice: nothing changes
        {7, kNoEncryptionChoice, "21", -1, "21", 7},  // a value of a later version is kept
        {7, kNoEncryptionChoice, "21", 2, "990", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.stored) + " -> " + std::to_string(c.chosen));
        TFTPServerInfo record = NewServerInfo();
        record.Name = "Secure";
        record.Server = "host1";
        record.Port = c.port;
        record.Encryption = static_cast<std::uint8_t>(c.stored);
        TFFtpBase form(record, settings.path());
        EXPECT_EQ(form.EncryptionIndex(), c.shown);
        if (c.chosen >= 0) form.SetEncryptionIndex(c.chosen);
        EXPECT_EQ(form.Text(TServerText::PortEdt), c.portAfter);
        ASSERT_TRUE(form.Confirm());
        EXPECT_EQ(form.Record().Encryption, c.saved);
        EXPECT_EQ(form.Record().Port, c.portAfter);
    }
    // Cancel hands nothing back.
    TFFtpBase cancelled = Filled();
    cancelled.SetEncryptionIndex(2);
    cancelled.Cancel();
    EXPECT_EQ(cancelled.Record().Encryption, 0);
}

TEST_F(ServerPropertiesTest, DataConnectionChoice) {
    struct {
        int stored;  // the record's DataConnection at opening
        int shown;   // what cbDataConnection shows
        int chosen;  // the user's choice, or -1 for none
        int saved;
    } cases[] = {
        {0, 0, -1, 0}, {0, 0, 1, 1}, {1, 1, 0, 0},
        {1, 1, -1, 1}, {0, 0, 2, 0},  // not a choice: nothing changes
        {9, 0, -1, 9},                // a value of a later version shows as PASV and is kept
        {9, 0, 0, 9},                 // choosing what is shown changes nothing either
        {9, 0, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.stored) + " -> " + std::to_string(c.chosen));
        TFTPServerInfo record = NewServerInfo();
        record.Name = "Data";
        record.Server = "host1";
        record.DataConnection = static_cast<std::uint8_t>(c.stored);
        TFFtpBase form(record, settings.path());
        EXPECT_EQ(form.DataConnectionIndex(), c.shown);
        if (c.chosen >= 0) form.SetDataConnectionIndex(c.chosen);
        ASSERT_TRUE(form.Confirm());
        EXPECT_EQ(form.Record().DataConnection, c.saved);
    }
}

}  // namespace
}  // namespace tarnwick::dialogs

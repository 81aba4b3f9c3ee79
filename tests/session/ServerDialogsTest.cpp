// New Server, Properties and Preferences through the main window's logic, with the dialogs'
// own logic answering: the server list and the preferences file as they end up on disk.
#include "dialogs/Preferences.h"
#include "dialogs/ServerProperties.h"
#include "tests/session/MainTestKit.h"
#include "tests/support/TestFiles.h"

namespace tarnwick::session {
namespace {

using dialogs::TFFtpBase;
using dialogs::TServerCheck;
using dialogs::TServerText;
using testkit::MainFixture;

// The line the server list gives a server named 'Archive' on 'host0' saved before.
constexpr const char* kArchiveLine =
    "Name=Archive;Server=host0;Port=21;User=anonymous;Anonymous=0;SavePassword=1;Pasv=0;"
    "Answer=0957681;AnswerName=Default;CheckPSW=1;CheckVHost=0;";

class ServerDialogsTest : public MainFixture {
  protected:
    void SetUp() override {
        TFTPServerInfo archive = NewServerInfo();
        archive.Name = "Archive";
        archive.Server = "host0";
        SaveServers({archive});
        Create();
    }

    // The server dialog answers through its own logic: `edit` fills the boxes and says
    // whether to press OK (true) or Cancel; a refused OK is recorded and the dialog cancelled.
    void AnswerServerDialog(std::function<bool(TFFtpBase&)> edit) {
        dialogs.serverEdits.push_back([this, edit](TFTPServerInfo& record) {
            TFFtpBase form(record, dialogs.serverFolder, dialogs.serverOtherNames);
            if (!edit(form) || !form.Confirm()) {
                if (form.Refusal()) refusals.push_back(form.Refusal()->Text);
                form.Cancel();
                return false;
            }
            record = form.Record();
            return true;
        });
    }
    std::string ListFile() { return testing::ReadBytes(settings.file(kServerListFileName)); }
    void SelectRow(const std::string& name) {
        const int row = Core().FTPView.FindCaption(name);
        ASSERT_GE(row, 0);
        main->FTPViewSelectItems({static_cast<size_t>(row)});
    }

    std::vector<std::string> refusals;
};

TEST_F(ServerDialogsTest, NewServerIsAppendedAndSaved) {
    AnswerServerDialog([](TFFtpBase& f) {
        f.SetText(TServerText::NameEdt, "Mirror");
        f.SetText(TServerText::ServerEdt, "host1");
        f.SetChecked(TServerCheck::AnonymousCB, true);
        return true;
    });
    main->sbNewServerClick();
    EXPECT_EQ(dialogs.serverOtherNames, (std::vector<std::string>{"Archive"}));
    EXPECT_EQ(dialogs.serverFolder, settings.path());
    EXPECT_EQ(ListFile(), std::string(kArchiveLine) +
                              "\r\nName=Mirror;Server=host1;Port=21;User=anonymous;Anonymous=1;"
                              "SavePassword=1;Pasv=0;Answer=0957681;CheckPSW=1;CheckVHost=0;\r\n");
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"Archive", "Mirror"}));
    EXPECT_EQ(Core().FTPView.SelectedIndex(), Core().FTPView.FindCaption("Mirror"));
}

TEST_F(ServerDialogsTest, RefusedValuesSaveNothing) {
    const std::string before = ListFile();
    struct Case {
        const char* what;
        std::function<void(TFFtpBase&)> edit;
        const char* refusal;
    };
    const std::vector<Case> cases = {
        {"no server", [](TFFtpBase& f) { f.SetText(TServerText::NameEdt, "Mirror"); },
         dialogs::kNameRequiredText},
        {"a name another server has",
         [](TFFtpBase& f) {
             f.SetText(TServerText::NameEdt, "Archive");
             f.SetText(TServerText::ServerEdt, "host1");
         },
         "A server named \"Archive\" already exists. Please enter another name."},
        {"';' in the user",
         [](TFFtpBase& f) {
             f.SetText(TServerText::NameEdt, "Mirror");
             f.SetText(TServerText::ServerEdt, "host1");
             f.SetText(TServerText::UserEdt, "me;Port=99");
         },
         "The field \"User ID\" must not hold \";\" or a line break: the server list could not "
         "read it back."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        refusals.clear();
        AnswerServerDialog([&c](TFFtpBase& f) {
            c.edit(f);
            return true;
        });
        main->sbNewServerClick();
        EXPECT_EQ(refusals, (std::vector<std::string>{c.refusal}));
        EXPECT_EQ(ListFile(), before);
        EXPECT_EQ(Core().Servers.size(), 1u);
    }
}

TEST_F(ServerDialogsTest, PropertiesReplaceTheSelectedServer) {
    AnswerServerDialog([](TFFtpBase& f) {
        f.SetText(TServerText::NameEdt, "Mirror");
        f.SetText(TServerText::ServerEdt, "host1");
        return true;
    });
    main->sbNewServerClick();
    SelectRow("Mirror");
    AnswerServerDialog([](TFFtpBase& f) {
        f.SetText(TServerText::NameEdt, "Mirror 2");
        f.SetText(TServerText::ServerEdt, "host2");
        f.SetText(TServerText::RemoteDirEdt, "pub");
        f.SetText(TServerText::PasswordEdt, "pw");
        f.SetChecked(TServerCheck::cbPv, true);
        f.SetDescLines({"a", "b"});
        f.SetTypeIndex(5);
        return true;
    });
    main->sbPropertiesClick();
    EXPECT_EQ(dialogs.serverOtherNames, (std::vector<std::string>{"Archive"}))
        << "its own name is not another server's";
    EXPECT_EQ(ListFile(),
              std::string(kArchiveLine) +
                  "\r\nName=Mirror 2;Server=host2;Port=21;Password=" + ScramblePassword("pw") +
                  ";User=anonymous;InitialDir=/pub;Anonymous=0;SavePassword=1;Pasv=1;"
                  "Desc=a`b;Answer=5957681;CheckPSW=1;CheckVHost=0;\r\n");
    EXPECT_EQ(Captions(Core().FTPView), (std::vector<std::string>{"Archive", "Mirror 2"}));

    // Cancel changes nothing.
    SelectRow("Archive");
    const std::string before = ListFile();
    AnswerServerDialog([](TFFtpBase& f) {
        f.SetText(TServerText::ServerEdt, "elsewhere");
        return false;
    });
    main->sbPropertiesClick();
    EXPECT_EQ(ListFile(), before);
}

TEST_F(ServerDialogsTest, PropertiesWithoutSelectionAddAServer) {
    main->FTPViewSelectItems({});
    AnswerServerDialog([](TFFtpBase& f) {
        f.SetText(TServerText::NameEdt, "Fresh");
        f.SetText(TServerText::ServerEdt, "h");
        return true;
    });
    main->sbPropertiesClick();
    EXPECT_EQ(dialogs.serverOtherNames, (std::vector<std::string>{"Archive"}));
    // A record with every field empty: no port, no user, no flags set.
    EXPECT_EQ(ListFile(), std::string(kArchiveLine) +
                              "\r\nName=Fresh;Server=h;Anonymous=0;SavePassword=0;Pasv=0;"
                              "Answer=0957681;CheckPSW=0;CheckVHost=0;\r\n");
}

TEST_F(ServerDialogsTest, PreferencesOkSavesAndCancelOnlyApplies) {
    TFTPOptions stored = Core().Options;
    stored.TransferMode = 7;
    stored.fwEnable = true;
    stored.fwType = 9;
    SaveOptionsFile(stored);
    main->ApplyPreferences();
    const std::string path = settings.file(kOptionsFileName);
    const std::string before = testing::ReadBytes(path);

    // Cancel stores nothing, and the preferences are applied all the same.
    Core().Ftp1.SetPassive(true);
    dialogs.optionEdits.push_back([](TFTPOptions& o) {
        dialogs::T_Options form(o);
        form.SetChecked(dialogs::TOptionsCheck::PassiveTransfer, true);
        form.Cancel();
        return false;
    });
    main->FtpOptions1Click();
    EXPECT_EQ(testing::ReadBytes(path), before);
    EXPECT_FALSE(Core().Ftp1.Passive());

    dialogs.optionEdits.push_back([](TFTPOptions& o) {
        dialogs::T_Options form(o);
        form.SetConnectionType(4);
        form.SetText(dialogs::TOptionsText::SocksServer, "127.0.0.1");
        form.SetText(dialogs::TOptionsText::SocksPort, "1080");
        form.SetChecked(dialogs::TOptionsCheck::PassiveTransfer, true);
        form.Confirm();
        o = form.Options();
        return true;
    });
    main->FtpOptions1Click();
    const TFTPOptions saved = LoadOptions(settings.path());
    EXPECT_EQ(saved, Core().Options);
    EXPECT_EQ(saved.ConnectionType, 4);
    EXPECT_EQ(saved.TransferMode, 0);
    EXPECT_EQ(saved.fwType, 0);
    const std::string text = testing::ReadBytes(path);
    EXPECT_NE(text.find("fwEnable=0\r\n"), std::string::npos) << text;
    EXPECT_EQ(Core().Ftp1.ConnectionType(), ftp::ftpSocks5);
    EXPECT_TRUE(Core().Ftp1.Passive());
}

}  // namespace
}  // namespace tarnwick::session

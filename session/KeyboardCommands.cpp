#include "session/KeyboardCommands.h"

#include "session/MainWindow.h"

namespace tarnwick::session {

namespace {

// The controls of each command and pane; the first decides whether the key acts (a button
// greyed out does nothing, by click or by key).
constexpr std::string_view kLocalUp[] = {"SpeedButton4"};
constexpr std::string_view kRemoteUp[] = {"FTPOneLevelUp"};
constexpr std::string_view kUpload[] = {"SpeedButton1", "UploadSelectedFiles1",
                                        "UploadSelectedFiles2"};
constexpr std::string_view kDownload[] = {"SpeedButton2", "DownloadSelectedFiles1",
                                          "DownloadSelectedFiles2"};
constexpr std::string_view kLocalView[] = {"sbView", "Viewfile2", "ViewFile3"};
constexpr std::string_view kLocalMkd[] = {"sbMkd1", "MakeDirectory1", "MenuItem4"};
constexpr std::string_view kRemoteMkd[] = {"sbMkd2", "Makedirectory2", "MakeDirectory3"};
constexpr std::string_view kLocalRename[] = {"sbRen1", "RenameFile2", "MenuItem7"};
constexpr std::string_view kRemoteRename[] = {"sbRen2", "RenameFile3", "RenameFile4"};
constexpr std::string_view kLocalDelete[] = {"sbDel1", "DeleteFile1", "MenuItem8"};
constexpr std::string_view kRemoteDelete[] = {"sbDel2", "DeleteServerFile1", "Delete1"};
constexpr std::string_view kLocalSelectAll[] = {"All1", "All2"};
constexpr std::string_view kRemoteSelectAll[] = {"All3", "All4"};
constexpr std::string_view kLocalRelist[] = {"Refresh1"};
constexpr std::string_view kRemoteRelist[] = {"Refresh2"};
constexpr std::string_view kStop[] = {"sbStop", "StopTransfer1"};

// The select tool "Select All" by its menu tag; the remote pane's tags are negative.
constexpr int kSelectAllTag = 1;

bool Local(TPaneSide side) {
    return side == TPaneSide::Local;
}

// A transfer batch or a connect is running: what Stop Transfer is for.
bool SomethingToStop(T_Main& main) {
    const TSessionCore& c = main.Core();
    return main.Transfers().Progress() != nullptr ||
           (c.State.ServerMode && c.Ftp1.State() != ftp::esReady);
}

bool RelistRemote(T_Main& main) {
    TSessionCore& c = main.Core();
    // Nothing is read again while a request (a connect too) is running.
    if (c.State.Busy || c.Ftp1.State() != ftp::esReady) return false;
    if (c.State.ServerMode) {
        c.LoadServerList();
        return true;
    }
    c.Ftp1.SetHostFileName("");
    c.ListCurrentDir();
    return true;
}

}  // namespace

std::string_view KeyOf(TKeyCommand command) {
    for (const TKeyBinding& b : kPaneKeys)
        if (b.Command == command) return b.Key;
    return {};
}

std::span<const std::string_view> KeyedControls(TKeyCommand command, TPaneSide side) {
    const bool local = Local(side);
    switch (command) {
        case TKeyCommand::Up:
            return local ? std::span(kLocalUp) : std::span(kRemoteUp);
        case TKeyCommand::CopyToOther:
            return local ? std::span(kUpload) : std::span(kDownload);
        case TKeyCommand::ViewFile:
            return local ? std::span(kLocalView) : std::span<const std::string_view>();
        case TKeyCommand::MakeDirectory:
            return local ? std::span(kLocalMkd) : std::span(kRemoteMkd);
        case TKeyCommand::Rename:
            return local ? std::span(kLocalRename) : std::span(kRemoteRename);
        case TKeyCommand::Delete:
            return local ? std::span(kLocalDelete) : std::span(kRemoteDelete);
        case TKeyCommand::SelectAll:
            return local ? std::span(kLocalSelectAll) : std::span(kRemoteSelectAll);
        case TKeyCommand::Relist:
            return local ? std::span(kLocalRelist) : std::span(kRemoteRelist);
        case TKeyCommand::StopTransfer:
            return kStop;
        case TKeyCommand::Open:
        case TKeyCommand::SwitchPane:
            break;
    }
    return {};
}

bool RunKeyCommand(T_Main& main, TKeyCommand command, TPaneSide side) {
    const std::span<const std::string_view> controls = KeyedControls(command, side);
    if (!controls.empty() && !main.Core().Controls.Enabled(controls.front())) return false;
    TSessionCore& c = main.Core();
    const bool local = Local(side);
    switch (command) {
        case TKeyCommand::Open:
            if (local)
                c.Local.lvLocDblClick();
            else
                main.FTPViewDblClick();
            return true;
        case TKeyCommand::Up:
            if (local)
                c.Local.SpeedButton4Click();
            else
                main.RemoteOps().FTPOneLevelUpClick();
            return true;
        case TKeyCommand::SwitchPane:
            if (!main.PaneTools().OnFocusPane) return false;
            main.PaneTools().OnFocusPane(local ? c.FTPView : c.lvLoc);
            return true;
        case TKeyCommand::CopyToOther:
            if (local)
                main.Transfers().SpeedButton1Click();
            else
                main.Transfers().SpeedButton2Click();
            return true;
        case TKeyCommand::ViewFile:
            if (!local) return false;
            main.LocalCommands().Viewfile2Click();
            return true;
        case TKeyCommand::MakeDirectory:
            if (local)
                main.LocalCommands().sbMkd1Click();
            else
                main.RemoteOps().sbMkd2Click();
            return true;
        case TKeyCommand::Rename:
            if (local)
                main.LocalCommands().sbRen1Click();
            else
                main.RemoteOps().sbRen2Click();
            return true;
        case TKeyCommand::Delete:
            if (local)
                main.LocalCommands().sbDel1Click();
            else
                main.RemoteOps().sbDel2Click();
            return true;
        case TKeyCommand::SelectAll:
            main.PaneTools().All1Click(local ? kSelectAllTag : -kSelectAllTag);
            return true;
        case TKeyCommand::Relist:
            if (!local) return RelistRemote(main);
            c.Local.dlbxChange();
            return true;
        case TKeyCommand::StopTransfer:
            if (!SomethingToStop(main)) return false;
            main.Transfers().sbStopClick();
            return true;
    }
    return false;
}

}  // namespace tarnwick::session

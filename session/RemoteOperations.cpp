#include "session/RemoteOperations.h"

#include <cstdio>
#include <unordered_set>

#include "dialogs/ChModForm.h"
#include "listing/TextUtil.h"
#include "session/NameCase.h"

namespace tarnwick::session {

namespace {

constexpr const char* kRoot = "/";
constexpr const char* kMkdCaption = "Create Directory";
constexpr const char* kMkdPrompt = "Enter new directory name";
constexpr const char* kRenameCaption = "Rename ";
constexpr const char* kRenamePrompt = "Enter new ";
constexpr const char* kRenamePromptEnd = " name:";
constexpr const char* kKindFile = "File";
constexpr const char* kKindDirectory = "Directory";
constexpr const char* kChdirCaption = "Change Directory";
constexpr size_t kMaxNameLength = 255;
// The path box items before the directory's components: "SERVER LIST ..." and the host.
constexpr int kFirstComponentItem = 2;
// "SITE CHMOD %03d %s" with the mode and the name.
constexpr const char* kChmodCommand = "SITE CHMOD ";
constexpr size_t kModeTextSize = 16;
constexpr const char* kCommandPanel = "Panel17";
constexpr const char* kCommandItems[] = {"CustomCommand1", "CustomCommand2"};

using Client = ftp::TCustomFtpCli;

}  // namespace

TRemoteOperations::TRemoteOperations(TSessionCore& core, std::function<void()> disconnect)
    : core_(core), disconnect_(std::move(disconnect)) {
    core_.Controls.SetVisible(kCommandPanel, false);
}

void TRemoteOperations::sbMkd2Click() {
    if (core_.State.ServerMode || core_.State.Busy) return;
    TInputQuery q;
    q.Caption = kMkdCaption;
    q.Prompt = kMkdPrompt;
    q.MaxLength = kMaxNameLength;
    const std::optional<std::string> name = core_.Dialogs().InputQuery(q);
    if (!name) return;
    core_.Ftp1.SetHostFileName(*name);
    core_.StartRequest(&Client::MkdAsync);
}

void TRemoteOperations::sbRen2Click() {
    if (core_.State.ServerMode || core_.State.Busy) return;
    const int i = core_.FTPView.SelectedIndex();
    if (i < 0) return;
    const TPaneRow& row = core_.FTPView.Row(static_cast<size_t>(i));
    const std::string kind = row.Picture == kPictureFile ? kKindFile : kKindDirectory;
    TInputQuery q;
    q.Caption = kRenameCaption + kind;
    q.Prompt = kRenamePrompt + kind + kRenamePromptEnd;
    q.Value = row.Name;
    q.MaxLength = kMaxNameLength;
    const std::string caption = row.Name;
    const std::optional<std::string> name = core_.Dialogs().InputQuery(q);
    if (!name) return;
    core_.Ftp1.SetHostFileName(caption);
    core_.Ftp1.SetLocalFileName(*name);
    core_.StartRequest(&Client::RenAsync);
}

void TRemoteOperations::LARGECASE3Click(int tag) {
    if (core_.State.ServerMode) return;
    if (tag < static_cast<int>(TNameCase::Upper) || tag > static_cast<int>(TNameCase::Sentence))
        return;
    const auto change = static_cast<TNameCase>(tag);
    TTransferQueues& q = core_.State.Queues;
    q.FileQueue.clear();
    q.FileTargets.clear();
    for (const size_t i : core_.FTPView.SelectedRows()) {
        const std::string& name = core_.FTPView.Row(i).Name;
        q.FileQueue.push_back(name);
        q.FileTargets.push_back(ChangeNameCase(name, change));
    }
    if (q.FileQueue.empty()) return;
    core_.Ftp1.SetHostFileName(q.FileQueue.front());
    core_.Ftp1.SetLocalFileName(q.FileTargets.front());
    q.FileQueue.pop_front();
    q.FileTargets.pop_front();
    core_.StartRequest(&Client::RenAsync);
}

void TRemoteOperations::EndRename() {
    TTransferQueues& q = core_.State.Queues;
    q.FileQueue.clear();
    q.FileTargets.clear();
    // What was renamed before the failure shows.
    core_.Ftp1.SetHostFileName(core_.Ftp1.HostDirName());
    core_.ListCurrentDir();
}

void TRemoteOperations::ChandDirect1Click() {
    if (core_.State.ServerMode) return;
    TInputQuery q;
    q.Caption = kChdirCaption;
    q.Value =
        core_.FTPPath.ItemIndex() < kFirstComponentItem ? std::string() : core_.FTPPath.Text();
    const std::optional<std::string> dir = core_.Dialogs().InputQuery(q);
    if (!dir) return;
    core_.Ftp1.SetHostDirName(*dir);
    core_.StartRequest(&Client::CwdAsync);
}

void TRemoteOperations::FTPOneLevelUpClick() {
    if (core_.FTPPath.ItemIndex() < 1) return;
    const std::string& dir = core_.Ftp1.HostDirName();
    size_t n = dir.size();
    if (n > 0 && dir.back() == '/') --n;
    while (n > 0 && dir[n - 1] != '/') --n;
    std::string parent;
    if (n > 1) parent.assign(dir, 0, n - 1);
    if (parent.empty()) parent.assign(kRoot);
    if (parent != kRoot || core_.CurrentServer.CheckVHost == 0) {
        core_.Ftp1.SetHostDirName(parent);
        core_.StartRequest(&Client::CDupAsync);
    } else {
        core_.Ftp1.SetHostDirName("");
        core_.StartRequest(&Client::PwdAsync);
    }
}

void TRemoteOperations::FTPPathChange(int itemIndex) {
    if (!core_.State.Busy) {
        core_.FTPPath.SetItemIndex(itemIndex);
        if (itemIndex == 0) {
            if (disconnect_) disconnect_();
        } else if (itemIndex >= 1) {
            std::string path;
            const auto& items = core_.FTPPath.Items();
            for (int k = kFirstComponentItem; k <= itemIndex && k < static_cast<int>(items.size());
                 ++k) {
                path.append(kRoot).append(items[static_cast<size_t>(k)]);
            }
            if (path.empty()) path.assign(kRoot);
            core_.SetBusy();
            core_.Ftp1.SetHostDirName(path);
            // A request that cannot start has no completion to end the busy state.
            if (!core_.StartRequest(&Client::CwdAsync)) core_.ClearBusy();
        }
    }
    core_.SetConnectedState(!core_.State.ServerMode);
}

void TRemoteOperations::CustomCommand1Click() {
    const bool shown = !core_.Controls.Checked(kCommandItems[0]);
    for (const char* item : kCommandItems) core_.Controls.SetChecked(item, shown);
    core_.Controls.SetVisible(kCommandPanel, shown);
}

void TRemoteOperations::SpeedButton5Click() {
    TComboModel& box = core_.cbCmd;
    const std::string text = box.Text();
    if (text.empty()) return;
    const int selected = box.ItemIndex();
    if (box.Count() == 0 || selected < 0 || text != box.Items()[static_cast<size_t>(selected)]) {
        box.Add(text);
        box.SetItemIndex(box.Count() - 1);
    }
    const int now = box.ItemIndex();
    if (now < 0 || box.Items()[static_cast<size_t>(now)].empty()) return;
    core_.Ftp1.SetLocalFileName(box.Items()[static_cast<size_t>(now)]);
    core_.StartRequest(&Client::QuoteAsync);
}

void TRemoteOperations::SpeedButton6Click() {
    const std::string command = core_.Dialogs().PickCommand(core_.Commands);
    if (TrimBlanks(command).empty()) return;
    core_.cbCmd.Add(command);
    core_.cbCmd.SetItemIndex(core_.cbCmd.Count() - 1);
}

void TRemoteOperations::FileAttributes2Click() {
    if (core_.State.ServerMode) return;
    const int i = core_.FTPView.SelectedIndex();
    if (i < 0) return;
    const TPaneRow& row = core_.FTPView.Row(static_cast<size_t>(i));
    const std::string caption = row.Name;
    const std::optional<int> mode =
        core_.Dialogs().EditPermissions(row.Attr.substr(0, dialogs::kChModMaxAttributes));
    if (!mode) return;
    // Always three digits: a mode of 75 means 075, and servers that read the digits strictly
    // (three or four of them) refuse "75".
    char digits[kModeTextSize];
    std::snprintf(digits, sizeof digits, "%03d", *mode);
    core_.Ftp1.SetLocalFileName(kChmodCommand + std::string(digits) + " " + caption);
    core_.StartRequest(&Client::QuoteAsync);
}

void TRemoteOperations::CompareDirectories1Click() {
    // A row of one pane differs when the other has no row of the same caption and size text.
    auto key = [](const TPaneRow& r) { return r.Name + '\0' + r.Size; };
    auto differing = [&key](const TPaneModel& pane, const TPaneModel& other) {
        std::unordered_set<std::string> keys;
        keys.reserve(other.RowCount());
        for (const TPaneRow& o : other.Rows()) keys.insert(key(o));
        std::vector<size_t> rows;
        for (size_t i = 0; i < pane.RowCount(); ++i)
            if (!keys.contains(key(pane.Row(i)))) rows.push_back(i);
        return rows;
    };
    const std::vector<size_t> local = differing(core_.lvLoc, core_.FTPView);
    const std::vector<size_t> remote = differing(core_.FTPView, core_.lvLoc);
    core_.lvLoc.SetSelection(local);
    core_.FTPView.SetSelection(remote);
}

}  // namespace tarnwick::session

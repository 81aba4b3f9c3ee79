#include "session/LocalCommands.h"

#include <cstring>

namespace tarnwick::session {

namespace {

constexpr const char* kMkdCaption = "Create Directory";
constexpr const char* kMkdPrompt = "Enter new directory name:";
constexpr const char* kRenameCaption = "Rename";
constexpr const char* kRenamePrompt = "Enter new name:";
constexpr const char* kIoErrorCaption = "Tarnwick";
constexpr const char* kErrorPrefix = "Error ";
constexpr size_t kMaxNameLength = 255;

}  // namespace

std::string IoErrorText(const TLocalFailure& failure) {
    return "I/O error " + std::to_string(failure.Error) + "\n" + std::strerror(failure.Error) +
           ": " + failure.Path;
}

TLocalCommands::TLocalCommands(TSessionCore& core)
    : core_(core), opener_(core.Environment().Opener, [&core](const std::string& line) {
          core.WriteLog(line);
      }) {}

void TLocalCommands::ReportIoError(const TLocalFailure& failure) {
    TMessageQuery q;
    q.Caption = kIoErrorCaption;
    q.Text = IoErrorText(failure);
    q.Buttons = TMsgButtons::Ok;
    q.Icon = TMsgIcon::Error;
    core_.Dialogs().MessageBox(q);
}

const TPaneRow* TLocalCommands::SelectedFile() const {
    const int i = core_.lvLoc.SelectedIndex();
    if (i < 0) return nullptr;
    const TPaneRow& row = core_.lvLoc.Row(static_cast<size_t>(i));
    return row.Picture == kPictureFile ? &row : nullptr;
}

void TLocalCommands::sbMkd1Click() {
    TLocalPanel& local = core_.Local;
    if (local.DirectoryIndex() < 0) return;
    TInputQuery q;
    q.Caption = kMkdCaption;
    q.Prompt = kMkdPrompt;
    q.MaxLength = kMaxNameLength;
    const std::optional<std::string> name = core_.Dialogs().InputQuery(q);
    if (!name || name->empty()) return;
    const std::string path = JoinLocalPath(local.Directory(), *name);
    if (const TLocalFailure f = MakeLocalFolder(path)) {
        ReportIoError(f);
        return;
    }
    local.SetDirectory(path);
}

void TLocalCommands::sbRen1Click() {
    const int i = core_.lvLoc.SelectedIndex();
    if (i < 0) return;
    const std::string caption = core_.lvLoc.Row(static_cast<size_t>(i)).Name;
    TInputQuery q;
    q.Caption = kRenameCaption;
    q.Prompt = kRenamePrompt;
    q.Value = caption;
    q.MaxLength = kMaxNameLength;
    const std::optional<std::string> entered = core_.Dialogs().InputQuery(q);
    if (!entered) return;
    const std::string_view name = FileNamePart(*entered);
    TLocalPanel& local = core_.Local;
    if (!name.empty() && name != caption) {
        const TLocalFailure f = RenameLocal(JoinLocalPath(local.Directory(), caption),
                                            JoinLocalPath(local.Directory(), name));
        if (f) ReportIoError(f);
    }
    local.dlbxChange();
}

void TLocalCommands::sbDel1Click() {
    TLocalPanel& local = core_.Local;
    TPaneModel& list = core_.lvLoc;
    TLocalDeletePlan plan;
    // What the items are is read from the disk, not from their pictures: a link to a folder
    // is a file here, so the link goes and what it leads to stays.
    if (list.SelectedCount() > 0) {
        for (size_t i : list.SelectedRows())
            plan.Add(JoinLocalPath(local.Directory(), list.Row(i).Name));
    } else if (local.DirectoryIndex() > 0) {
        const std::string folder = DirectoryBoxPath(local.DirectoryItems(), local.DirectoryIndex());
        local.dlbxClick(local.DirectoryIndex() - 1);
        plan.Add(folder);
    } else {
        return;
    }
    plan.Expand();
    TMessageQuery q;
    q.Caption = kDeleteCaption;
    q.Text = plan.Question();
    q.Buttons = TMsgButtons::YesNo;
    q.Icon = TMsgIcon::Question;
    q.Default = TMsgResult::No;
    if (core_.Dialogs().MessageBox(q) == TMsgResult::Yes) {
        if (const TLocalFailure f = plan.Execute()) ReportIoError(f);
    }
    local.dlbxChange();
}

void TLocalCommands::Viewfile2Click() {
    const TPaneRow* row = SelectedFile();
    if (row == nullptr) return;
    TTextFileView view;
    const std::string path = JoinLocalPath(core_.Local.Directory(), row->Name);
    if (const int error = LoadTextFileView(path, view); error != 0) {
        core_.WriteLog(std::string(kErrorPrefix) + "Cannot view " + path + ": " +
                       std::strerror(error));
        return;
    }
    core_.Dialogs().ViewText(view);
}

void TLocalCommands::sbRunClick() {
    const TPaneRow* row = SelectedFile();
    if (row == nullptr) return;
    // The whole path, so that a name beginning with "-" is never taken for an option.
    const std::string& dir = core_.Local.Directory();
    opener_.Open(JoinLocalPath(dir, row->Name), dir);
}

void TLocalCommands::LargeCase1Click(int tag) {
    if (tag < static_cast<int>(TNameCase::Upper) || tag > static_cast<int>(TNameCase::Sentence))
        return;
    const auto change = static_cast<TNameCase>(tag);
    TPaneModel& list = core_.lvLoc;
    const std::string& dir = core_.Local.Directory();
    for (size_t i : list.SelectedRows()) {
        TPaneRow row = list.Row(i);
        std::string name = ChangeNameCase(row.Name, change);
        if (name == row.Name) continue;
        // A failed rename leaves the name shown as it still is on the disk.
        if (RenameLocal(JoinLocalPath(dir, row.Name), JoinLocalPath(dir, name))) continue;
        row.Name = std::move(name);
        list.SetRow(i, std::move(row));
    }
}

}  // namespace tarnwick::session

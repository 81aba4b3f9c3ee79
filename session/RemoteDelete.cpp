// The Delete command of the remote pane: saved servers in server mode; in a session the
// selected files, then each selected directory as a tree (entered, listed, its files deleted,
// its subdirectories queued), then every directory visited removed, the deepest first, and the
// starting directory listed again. Links are removed as links, never walked into.
#include <cstdio>

#include "listing/ListingConsumer.h"
#include "listing/ListingParser.h"
#include "listing/TextUtil.h"
#include "session/RemoteOperations.h"
#include "session/ServerAddress.h"

namespace tarnwick::session {

namespace {

constexpr const char* kParent = "..";
constexpr const char* kErrorPrefix = "Error ";
// The date of a default-layout line the parser could not take apart (its name is the line).
constexpr const char* kUnreadableDate = "error";
constexpr size_t kQuestionLength = 128;

using Client = ftp::TCustomFtpCli;

std::string LastWordOf(std::string_view line) {
    const std::vector<std::string> words = SplitTrimmed(line, ' ');
    return words.empty() ? std::string() : words.back();
}

// What a pane row is to a tree walk: a row showing a link to a directory is a leaf.
bool RowIsLeaf(const TPaneRow& row) {
    TListingEntry e;
    e.Name = row.Name;
    e.Attr = row.Attr;
    e.IsDir = row.Picture == kPictureDirectory;
    return IsTreeWalkLeaf(e);
}

std::string CountQuestion(const char* format, size_t count) {
    char text[kQuestionLength];
    std::snprintf(text, sizeof text, format, count);
    return text;
}

}  // namespace

void TRemoteOperations::sbDel2Click() {
    if (core_.FTPView.SelectedCount() == 0) return;
    if (core_.State.ServerMode)
        DeleteServers();
    else
        DeleteRemote();
}

bool TRemoteOperations::ConfirmDelete(const std::string& question) {
    TMessageQuery q;
    q.Caption = kRemoteDeleteCaption;
    q.Text = question;
    q.Buttons = TMsgButtons::YesNo;
    q.Icon = TMsgIcon::Question;
    q.Default = TMsgResult::No;
    return core_.Dialogs().MessageBox(q) == TMsgResult::Yes;
}

void TRemoteOperations::DeleteServers() {
    TPaneModel& pane = core_.FTPView;
    std::vector<size_t> rows;
    for (const size_t i : pane.SelectedRows())
        if (FindServer(core_.Servers, pane.Row(i).Name) >= 0) rows.push_back(i);
    if (rows.empty()) return;
    if (!ConfirmDelete(CountQuestion("Do you wish to remove %zu server(s)", rows.size()))) return;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const int server = FindServer(core_.Servers, pane.Row(*it).Name);
        if (server < 0) continue;
        core_.Servers.erase(core_.Servers.begin() + server);
        pane.RemoveRow(*it);
    }
    core_.SaveServerList();
}

void TRemoteOperations::DeleteRemote() {
    TMainState& s = core_.State;
    if (s.Busy) return;
    TTransferQueues& q = s.Queues;
    const bool wholeLines = core_.HostTypeDigit() == kHostText;
    q.Clear();
    s.RemoteBase = AddSlash(core_.Ftp1.HostDirName());
    for (const size_t i : core_.FTPView.SelectedRows()) {
        const TPaneRow& row = core_.FTPView.Row(i);
        if (row.Name == kParent) continue;
        const std::string name = wholeLines ? LastWordOf(row.Name) : row.Name;
        if (name.empty()) continue;
        if (RowIsLeaf(row))
            q.FileQueue.push_back(name);
        else
            q.DirQueue.push_back(s.RemoteBase + name);
    }
    if (q.FileQueue.empty() && q.DirQueue.empty()) return;
    std::string question = CountQuestion("Do you wish to remove %zu file(s)", q.FileQueue.size());
    if (!q.DirQueue.empty()) question += CountQuestion(" and %zu folder(es)", q.DirQueue.size());
    if (!ConfirmDelete(question)) {
        q.Clear();
        return;
    }
    if (!q.FileQueue.empty()) {
        core_.Ftp1.SetHostFileName(q.FileQueue.front());
        q.FileQueue.pop_front();
        if (!core_.StartRequest(&Client::DeleAsync)) EndDelete();
        return;
    }
    s.DeletingTree = true;
    core_.Ftp1.SetHostDirName(q.DirQueue.front());
    q.DirTargets.push_back(q.DirQueue.front());
    q.DirQueue.pop_front();
    if (!core_.StartRequest(&Client::CwdAsync)) EndDelete();
}

void TRemoteOperations::ListTreeDir() {
    core_.Ftp1.SetHostFileName("");
    core_.Ftp1.SetLocalFileName(core_.ListingFile());
    if (core_.Ftp1.Binary()) core_.TypeAscii();
    if (!core_.StartRequest(&Client::DirAsync)) EndDelete();
}

void TRemoteOperations::DeleteListed() {
    ExpandDeleteDir();
    DeleteStep();
}

void TRemoteOperations::ExpandDeleteDir() {
    TTransferQueues& q = core_.State.Queues;
    const std::string dir = AddSlash(core_.Ftp1.HostDirName());
    const bool wholeLines = core_.HostTypeDigit() == kHostText;
    std::vector<TListingEntry> entries;
    const TFTPServerInfo& server = core_.CurrentServer;
    const TListingParser parser(server.Answer.empty() ? std::string(kDefaultAnswer) : server.Answer,
                                core_.State.StartDate, TListingFormat::Text);
    TListingStream stream(parser, TListingConsumer::Tree,
                          [&](const TListingEntry& e) { entries.push_back(e); });
    TakeListingFile(core_.ListingFile(), stream);
    if (stream.Stopped())
        core_.WriteLog(kErrorPrefix + ("The listing of " + dir + " stopped early: ") +
                       stream.Error());
    for (TListingEntry& e : entries) {
        if (wholeLines) e.Name = LastWordOf(e.Name);
        if (!wholeLines && e.Date == kUnreadableDate) {
            core_.WriteLog(
                kErrorPrefix +
                ("The listing of " + dir + " holds a line that cannot be read; it is skipped: ") +
                e.Name);
            continue;
        }
        // One component of this directory only: a name holding "/" would reach elsewhere.
        if (!IsSafeLocalName(e.Name)) {
            core_.WriteLog(kErrorPrefix + ("The listing of " + dir + " names \"") + e.Name +
                           "\", which is not a name in it; it is skipped");
            continue;
        }
        // A link, even to a directory, is deleted as itself.
        if (IsTreeWalkLeaf(e))
            q.FileQueue.push_back(e.Name);
        else
            q.DirQueue.push_back(dir + e.Name);
    }
}

void TRemoteOperations::DeleteStep() {
    TMainState& s = core_.State;
    TTransferQueues& q = s.Queues;
    ftp::TFtpClient& f = core_.Ftp1;
    if (f.Binary()) core_.TypeAscii();
    if (!q.FileQueue.empty()) {
        f.SetHostFileName(q.FileQueue.front());
        q.FileQueue.pop_front();
        if (!core_.StartRequest(&Client::DeleAsync)) EndDelete();
        return;
    }
    s.DeletingTree = !q.DirQueue.empty();
    if (s.DeletingTree) {
        f.SetHostDirName(q.DirQueue.front());
        q.DirTargets.push_back(q.DirQueue.front());
        q.DirQueue.pop_front();
        f.SetLocalFileName(core_.ListingFile());
        if (!core_.StartRequest(&Client::CwdAsync)) EndDelete();
        return;
    }
    if (!q.DirTargets.empty()) {
        s.RemovingDirs = true;
        RemovalStep();
        return;
    }
    EnterRemoteBase();
}

void TRemoteOperations::RemovalStep() {
    TMainState& s = core_.State;
    TTransferQueues& q = s.Queues;
    if (core_.Ftp1.Binary()) core_.TypeAscii();
    s.RemovingDirs = !q.DirTargets.empty();
    if (!s.RemovingDirs) {
        EnterRemoteBase();
        return;
    }
    core_.Ftp1.SetHostFileName(q.DirTargets.back());
    q.DirTargets.pop_back();
    if (!core_.StartRequest(&Client::RmdAsync)) EndDelete();
}

void TRemoteOperations::EnterRemoteBase() {
    core_.Ftp1.SetHostDirName(core_.State.RemoteBase);
    core_.Ftp1.SetLocalFileName(core_.ListingFile());
    core_.StartRequest(&Client::CwdAsync);
}

void TRemoteOperations::EndDelete() {
    TMainState& s = core_.State;
    s.Queues.Clear();
    s.DeletingTree = false;
    s.RemovingDirs = false;
    EnterRemoteBase();
}

void TRemoteOperations::RequestDone(ftp::TFtpRequest request, uint16_t error) {
    using R = ftp::TFtpRequest;
    if (request == R::RenAsync) {
        if (error != 0) {
            EndRename();
            return;
        }
        TTransferQueues& q = core_.State.Queues;
        if (q.FileQueue.empty()) {
            core_.Ftp1.SetHostFileName(core_.Ftp1.HostDirName());
            core_.ListCurrentDir();
            return;
        }
        core_.Ftp1.SetHostFileName(q.FileQueue.front());
        core_.Ftp1.SetLocalFileName(q.FileTargets.front());
        q.FileQueue.pop_front();
        q.FileTargets.pop_front();
        if (!core_.StartRequest(&Client::RenAsync)) EndRename();
        return;
    }
    // The failure is logged by the dispatcher; the chain ends and the pane is listed again.
    if (error != 0) {
        EndDelete();
        return;
    }
    if (request == R::DeleAsync)
        DeleteStep();
    else if (request == R::RmdAsync)
        RemovalStep();
}

void TRemoteOperations::DirectoryFailed(uint16_t) {
    EndDelete();
}

}  // namespace tarnwick::session

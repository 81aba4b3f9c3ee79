// Ftp1RequestDone: the only place where one engine request leads to the next.
#include "session/MainWindow.h"

namespace tarnwick::session {

namespace {

constexpr const char* kErrorPrefix = "Error ";
constexpr int kPwdReply = 257;

using R = ftp::TFtpRequest;

bool IsListingRequest(R r) {
    return r == R::DirAsync || r == R::LsAsync || r == R::DirectoryAsync || r == R::ListAsync ||
           r == R::MlsdAsync;
}

bool IsTransferRequest(R r) {
    return r == R::GetAsync || r == R::RestGetAsync || r == R::PutAsync || r == R::RestPutAsync;
}

bool IsDownloadRequest(R r) {
    return r == R::GetAsync || r == R::RestGetAsync;
}

bool IsRemoteOperation(R r) {
    return r == R::RmdAsync || r == R::DeleAsync || r == R::RenAsync;
}

// The text between the first and the second double quote, if there are two.
std::optional<std::string> QuotedPath(const std::string& reply) {
    const size_t first = reply.find('"');
    if (first == std::string::npos) return std::nullopt;
    const size_t second = reply.find('"', first + 1);
    if (second == std::string::npos) return std::nullopt;
    return reply.substr(first + 1, second - first - 1);
}

}  // namespace

void T_Main::Ftp1RequestDone(ftp::TFtpRequest request, uint16_t error) {
    core_.cTimer.SetEnabled(false);
    if (request == R::ConnectAsync) connectPending_ = false;
    certificates_.UpdateLock();
    if (error != 0)
        DispatchFailure(request, error);
    else
        DispatchSuccess(request);
    core_.cTimer.SetTag(0);
    // The timer runs again only for a keep-alive the user asked for.
    core_.cTimer.SetEnabled(KeepAliveWanted());
}

void T_Main::ConnectFailed(uint16_t) {
    TSessionCore& c = core_;
    c.WriteLog(kErrorPrefix + c.Ftp1.ErrorMessage());
    if (retryPending_) {
        retryPending_ = false;
        RetryConnect();
        return;
    }
    if (c.Ftp1.Connected()) {
        // The server refused the login: there is no session to work in, so it ends (its
        // session-closed event brings the server list back).
        c.Ftp1.AbortSession();
        return;
    }
    // The connection never came up, so no session-closed event follows: the same rule
    // decides between another attempt and the server list.
    if (!closedThisAttempt_) SessionClosedRule();
}

void T_Main::DispatchFailure(ftp::TFtpRequest request, uint16_t error) {
    TSessionCore& c = core_;
    ftp::TFtpClient& f = c.Ftp1;
    if (request == R::ConnectAsync) {
        ConnectFailed(error);
        return;
    }
    if (IsLoginStep(request)) {
        c.WriteLog(kErrorPrefix + f.ErrorMessage());
        LoginStepDone(request);
        return;
    }
    if (request == R::MdtmAsync) {
        // The file has come whole; only its time stays the local one.
        ModificationTimeDone(error);
        return;
    }
    if (request == R::MlsdAsync && ListAgainWithoutMlsd(error)) return;
    if (request == R::CwdAsync) {
        // Inside a tree the server's current directory is not the one meant: the tree
        // operation decides, never a listing of some other directory.
        if (c.State.DeletingTree || c.State.RemovingDirs) {
            c.WriteLog(kErrorPrefix + f.ErrorMessage());
            remoteOps_.DirectoryFailed(error);
            return;
        }
        if (c.State.DownloadingTree) {
            c.WriteLog(kErrorPrefix + f.ErrorMessage());
            transfers_.DirectoryFailed(request, error);
            return;
        }
        if (f.Binary()) c.TypeAscii();
        if (c.State.UploadingTree) {
            f.SetHostFileName(f.HostDirName());
            c.StartRequest(&ftp::TCustomFtpCli::MkdAsync);
        } else {
            f.SetHostFileName("");
            f.SetHostDirName("");
            c.StartRequest(&ftp::TCustomFtpCli::PwdAsync);
        }
        return;
    }
    c.WriteLog(kErrorPrefix + f.ErrorMessage());
    if (IsTransferRequest(request)) {
        transfers_.FileDone(request, error);
    } else if (IsRemoteOperation(request)) {
        remoteOps_.RequestDone(request, error);
    } else if (request == R::MkdAsync && c.State.UploadingTree) {
        transfers_.DirectoryFailed(request, error);
    } else if (IsListingRequest(request)) {
        if (c.State.DownloadingTree || c.State.UploadingTree)
            transfers_.DirectoryFailed(request, error);
        else if (c.State.DeletingTree)
            remoteOps_.DirectoryFailed(error);
        else
            c.ClearBusy();  // a failed listing never leaves the window busy
    }
}

void T_Main::DispatchSuccess(ftp::TFtpRequest request) {
    TSessionCore& c = core_;
    ftp::TFtpClient& f = c.Ftp1;
    switch (request) {
        case R::ConnectAsync:
        case R::FeatAsync:
        case R::OptsUtf8Async:
        case R::OptsMlstAsync:
            LoginStepDone(request);
            return;
        case R::MdtmAsync:
            ModificationTimeDone(0);
            return;
        case R::CwdAsync:
        case R::MkdAsync:
        case R::CDupAsync:
            if (c.State.RemovingDirs) {
                remoteOps_.RemovalStep();
            } else if (request == R::CwdAsync && c.State.DeletingTree) {
                remoteOps_.ListTreeDir();
            } else if (request == R::MkdAsync && c.State.UploadingTree) {
                // The directory made is empty: the upload goes on without listing it.
                transfers_.UploadDirectoryMade();
            } else {
                f.SetHostFileName("");
                c.ListCurrentDir();
            }
            return;
        case R::PwdAsync:
            if (f.StatusCode() == kPwdReply) {
                if (std::optional<std::string> dir = QuotedPath(f.LastResponse()))
                    f.SetHostDirName(*dir);
            }
            f.SetHostFileName("");
            c.ListCurrentDir();
            return;
        case R::QuoteAsync:
            c.StartRequest(&ftp::TCustomFtpCli::CwdAsync);
            return;
        default:
            break;
    }
    if (IsListingRequest(request)) {
        ListingDone();
    } else if (IsTransferRequest(request)) {
        if (IsDownloadRequest(request) && AskModificationTime(request)) return;
        transfers_.FileDone(request, 0);
    } else if (IsRemoteOperation(request)) {
        remoteOps_.RequestDone(request, 0);
    }
}

void T_Main::ListingDone() {
    TSessionCore& c = core_;
    if (c.State.DownloadingTree)
        transfers_.DownloadListed();
    else if (c.State.DeletingTree)
        remoteOps_.DeleteListed();
    else if (c.State.UploadingTree)
        transfers_.UploadListed();
    else
        c.LoadRemoteListing();
}

}  // namespace tarnwick::session

// After the login: the server's features (FEAT, OPTS UTF8 ON, OPTS MLST) before the first
// directory; after a download: the server's modification time (MDTM) on the local file.
#include <fcntl.h>
#include <sys/stat.h>

#include "ftp/FtpFeatures.h"
#include "listing/MachineListing.h"
#include "session/MainWindow.h"

namespace tarnwick::session {

namespace {

using R = ftp::TFtpRequest;

constexpr uint16_t kUnknownCommand = 500;
constexpr uint16_t kBadArguments = 501;
constexpr uint16_t kNotImplemented = 502;

using TRequestCall = void (ftp::TCustomFtpCli::*)();

TRequestCall LoginStepCall(R request) {
    switch (request) {
        case R::FeatAsync:
            return &ftp::TCustomFtpCli::FeatAsync;
        case R::OptsUtf8Async:
            return &ftp::TCustomFtpCli::OptsUtf8Async;
        case R::OptsMlstAsync:
            return &ftp::TCustomFtpCli::OptsMlstAsync;
        default:
            return nullptr;
    }
}

}  // namespace

bool IsLoginStep(ftp::TFtpRequest request) {
    return LoginStepCall(request) != nullptr;
}

void T_Main::LoginStepDone(ftp::TFtpRequest request) {
    TSessionCore& c = core_;
    if (request == R::ConnectAsync) c.SetMachineListingRefused(false);
    // A step the server refused, or that cannot start, is passed over: the session works
    // without what it would have brought.
    for (R next = ftp::NextLoginStep(request, c.Ftp1.Features()); next != R::none;
         next = ftp::NextLoginStep(next, c.Ftp1.Features())) {
        if (c.StartRequest(LoginStepCall(next))) return;
    }
    EnterInitialDirectory();
}

void T_Main::EnterInitialDirectory() {
    TSessionCore& c = core_;
    ftp::TFtpClient& f = c.Ftp1;
    if (!f.HostDirName().empty() && f.HostDirName() != "/")
        c.StartRequest(&ftp::TCustomFtpCli::CwdAsync);
    else
        c.StartRequest(&ftp::TCustomFtpCli::PwdAsync);
}

bool T_Main::ListAgainWithoutMlsd(uint16_t error) {
    // Only a server that does not know the command is asked again; a directory it cannot
    // list (550) fails with LIST alike.
    if (error != kUnknownCommand && error != kNotImplemented && error != kBadArguments)
        return false;
    TSessionCore& c = core_;
    c.WriteLog("! MLSD refused: listing with LIST");
    c.SetMachineListingRefused(true);
    c.ListCurrentDir();
    return true;
}

bool T_Main::AskModificationTime(ftp::TFtpRequest download) {
    TSessionCore& c = core_;
    if (!c.Ftp1.HasFeature("MDTM") || c.Ftp1.LocalFileName().empty()) return false;
    if (!c.StartRequest(&ftp::TCustomFtpCli::MdtmAsync)) return false;
    timedDownload_ = download;
    return true;
}

void T_Main::ModificationTimeDone(uint16_t error) {
    TSessionCore& c = core_;
    const R download = timedDownload_;
    timedDownload_ = R::none;
    std::time_t utc = 0;
    if (error == 0 && ParseFactTime(c.Ftp1.MdtmResult(), utc)) {
        const struct timespec times[2] = {{0, UTIME_NOW}, {utc, 0}};
        if (::utimensat(AT_FDCWD, c.Ftp1.LocalFileName().c_str(), times, 0) != 0)
            c.WriteLog("! The modification time of " + c.Ftp1.LocalFileName() +
                       " could not be set");
    }
    transfers_.FileDone(download == R::none ? R::GetAsync : download, 0);
}

}  // namespace tarnwick::session

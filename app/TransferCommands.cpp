#include "app/TransferCommands.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/Cli.h"
#include "app/DownloadTarget.h"
#include "app/TerminalText.h"
#include "listing/ListingConsumer.h"
#include "listing/ListingParser.h"
#include "listing/MachineListing.h"
#include "listing/RemoteListing.h"

namespace tarnwick::cli {
namespace {

namespace fs = std::filesystem;

// The reply code SIZE gives for a file the server does not have.
constexpr uint16_t kNoSuchFile = 550;

// A downloaded file takes the server's modification time when the server tells it (MDTM).
void KeepServerTime(CliSession& session, const std::string& path) {
    auto& ftp = session.Engine();
    if (!ftp.HasFeature("MDTM") || !session.Run([&] { ftp.MdtmAsync(); })) return;
    std::time_t utc = 0;
    if (!ParseFactTime(ftp.MdtmResult(), utc)) return;
    const struct timespec times[2] = {{0, UTIME_NOW}, {utc, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

int Failed(CliSession& session, std::ostream& err) {
    err << session.Error() << '\n';
    session.Close();
    return kExitFailed;
}

}  // namespace

int ListCommand(const FtpUrl& url, const TransferOptions& options, std::ostream& out,
                std::ostream& err) {
    CliSession session(url, options, err);
    // Listings travel as text, as the remote pane reads them.
    if (!session.Open(url.Path, false)) return Failed(session, err);
    auto& ftp = session.Engine();

    // Each entry is printed as its line arrives and then forgotten: memory stays that of
    // one line, whatever the listing's size, so no entry limit applies.
    const std::string_view answer = options.Answer.empty() ? kDefaultAnswer : options.Answer;
    TListingEntry cached;
    // Where the server has MLSD, it lists: the host type is the fallback of those without.
    // A host type given on the command line, and --raw, ask for the text listing.
    const bool machine =
        ftp::OffersMachineListing(ftp.Features()) && !options.AnswerAsked && !options.Raw;
    TListingStream listing(
        TListingParser(answer, StartDateToday(),
                       machine ? TListingFormat::Machine : TListingFormat::Text),
        TListingConsumer::Panel,
        [&](const TListingEntry& entry) {
            if (AsCachedEntry(entry, cached))
                out << FormatEntryFields(EscapedEntry(cached)) << '\n';
        },
        kNoEntryLimit);
    ftp.OnDisplayFile = [&](ftp::TCustomFtpCli*, std::string& line) {
        if (options.Raw) {
            out << line << '\n';
        } else {
            listing.FeedLine(line);
        }
    };
    // A listing that stopped (a line past the limit) ends the transfer.
    ftp.OnProgress = [&, keepAlive = ftp.OnProgress](ftp::TCustomFtpCli* sender, int64_t count,
                                                     bool& abort) {
        if (keepAlive) keepAlive(sender, count, abort);
        if (listing.Stopped()) abort = true;
    };
    ftp.SetDisplayFileFlag(true);
    ftp.SetHostFileName("");
    ftp.SetLocalFileName("");
    const bool received = session.Run([&] { machine ? ftp.MlsdAsync() : ftp.DirAsync(); });
    if (!listing.Stopped()) listing.Finish();
    if (listing.Stopped()) {
        err << "Error " << listing.Error() << '\n';
        session.Close();
        return kExitFailed;
    }
    if (!received) return Failed(session, err);
    session.Close();
    return kExitOk;
}

int GetCommand(const FtpUrl& url, const std::string& local, const TransferOptions& options,
               std::ostream& err) {
    const std::string name = url.FileName();
    std::string target = local;
    std::error_code ec;
    if (fs::is_directory(local, ec)) target = (fs::path(local) / name).string();

    CliSession session(url, options, err);
    if (!session.Open(url.Directory(), !options.Ascii)) return Failed(session, err);
    auto& ftp = session.Engine();
    ftp.SetHostFileName(name);
    // A resumed download writes into the file it continues; any other goes to a part
    // file that replaces the target only once the whole file has come.
    DownloadTarget download(target);
    if (!options.Resume) download.Prepare();
    ftp.SetLocalFileName(download.WritePath());
    const bool ok = session.Run([&] {
        if (options.Resume) {
            ftp.RestGetAsync();
        } else {
            ftp.GetAsync();
        }
    });
    if (!ok) {
        const int code = Failed(session, err);
        std::string kept;
        int64_t size = 0;
        if (download.KeepPartial(kept, size)) {
            err << "Partial download kept in " << kept << " (" << size
                << " bytes): get --resume URL " << kept << " continues it\n";
        }
        return code;
    }
    KeepServerTime(session, download.WritePath());
    std::string error;
    const bool replaced = download.Commit(error);
    session.Close();
    if (replaced) return kExitOk;
    err << error << '\n';
    return kExitFailed;
}

int PutCommand(const std::string& local, const FtpUrl& url, const TransferOptions& options,
               std::ostream& err) {
    std::error_code ec;
    const auto status = fs::status(local, ec);
    if (ec || !fs::is_regular_file(status) || ::access(local.c_str(), R_OK) != 0) {
        err << "cannot read " << local << ": "
            << (ec                   ? ec.message()
                : fs::exists(status) ? "not a readable file"
                                     : "no such file")
            << '\n';
        return kExitFailed;
    }
    const int64_t localSize = static_cast<int64_t>(fs::file_size(local, ec));
    std::string name = url.FileName();
    if (name.empty()) name = fs::path(local).filename().string();

    CliSession session(url, options, err);
    if (!session.Open(url.Directory(), !options.Ascii)) return Failed(session, err);
    auto& ftp = session.Engine();
    ftp.SetHostFileName(name);
    ftp.SetLocalFileName(local);
    if (!options.Resume) {
        if (!session.Run([&] { ftp.PutAsync(); })) return Failed(session, err);
        session.Close();
        return kExitOk;
    }
    int64_t offset = 0;
    if (session.Run([&] { ftp.SizeAsync(); })) {
        offset = ftp.SizeResult();
    } else if (session.LastErrorCode() != kNoSuchFile) {
        return Failed(session, err);
    }
    if (offset > localSize) {
        err << "the remote file (" << offset << " bytes) is larger than " << local << " ("
            << localSize << " bytes): nothing to resume\n";
        session.Close();
        return kExitFailed;
    }
    ftp.SetResumeAt(offset);
    if (!session.Run([&] { ftp.RestPutAsync(); })) return Failed(session, err);
    session.Close();
    return kExitOk;
}

}  // namespace tarnwick::cli

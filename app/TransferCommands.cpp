#include "app/TransferCommands.h"

#include <stdlib.h>
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
#include "listing/RemoteListing.h"

namespace tarnwick::cli {
namespace {

namespace fs = std::filesystem;

// The reply code SIZE gives for a file the server does not have.
constexpr uint16_t kNoSuchFile = 550;

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
    TListingStream listing(
        TListingParser(answer, StartDateToday()), TListingConsumer::Panel,
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
    const bool received = session.Run([&] { ftp.DirAsync(); });
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

// The commands of tarnwick-cli that talk to a server: ls, get and put.
#pragma once

#include <ostream>
#include <string>

#include "app/CliSession.h"
#include "app/FtpUrl.h"

namespace tarnwick::cli {

// `ls URL`: one line per entry of the remote cache (kind, name, size, date, time and
// attributes joined by TAB), or with Raw the listing lines as the server sent them.
int ListCommand(const FtpUrl& url, const TransferOptions& options, std::ostream& out,
                std::ostream& err);

// `get URL LOCAL`: downloads the remote file into LOCAL (into LOCAL/name when LOCAL is a
// folder); with Resume after the bytes LOCAL already holds.
int GetCommand(const FtpUrl& url, const std::string& local, const TransferOptions& options,
               std::ostream& err);

// `put LOCAL URL`: uploads LOCAL to the remote file (to URL/name when the URL ends in
// "/"); with Resume from the size the server reports for the remote file.
int PutCommand(const std::string& local, const FtpUrl& url, const TransferOptions& options,
               std::ostream& err);

}  // namespace tarnwick::cli

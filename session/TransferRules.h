// The small rules of the transfer manager that need no session: the queue entry "path" TAB
// "size", the transfer type by extension, the remote exists and size checks, and file names
// of paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "listing/PaneSort.h"

namespace tarnwick::session {

inline constexpr char kQueueSeparator = '\t';

struct TQueueEntry {
    std::string Path;
    int64_t Size = 0;
};

// "path" TAB "size".
std::string QueueEntry(std::string_view path, int64_t size);
std::string QueueEntry(std::string_view path, std::string_view size);
// The path and size of a queue entry: without a TAB the whole entry is the path and the size
// is 0; a size that is not a decimal number is 0. The size is the text after the last TAB,
// so a name that holds a TAB keeps it.
TQueueEntry SplitQueueEntry(std::string_view entry);

// The text after the last "/" (the whole text when there is none).
std::string NameOfPath(std::string_view path);
// The text after the last "." of the file name, without the ".".
std::string FileExtension(std::string_view path);

// ChooseTransferType: TransferMode 1 sends a file in ASCII when its extension occurs anywhere
// in `ext` (an empty extension never does); every other case is binary.
bool WantsAscii(std::string_view localFileName, int transferMode, std::string_view ext);

// The file name of a remote path is one of the names listed (exactly, case counts).
bool RemoteFileExists(const std::vector<std::string>& names, std::string_view remotePath);
// The Size column of the file row named like the remote path's file name, or -1 when no file
// row has that name or its size is not an integer.
int64_t RemoteFileSize(const std::vector<TPaneRow>& rows, std::string_view remotePath);

// A whole decimal number (digits only, at least one), or -1.
int64_t DecimalSize(std::string_view text);

}  // namespace tarnwick::session

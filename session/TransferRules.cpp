#include "session/TransferRules.h"

#include <algorithm>
#include <charconv>

namespace tarnwick::session {

namespace {
constexpr int kTransferModeAscii = 1;
}  // namespace

std::string QueueEntry(std::string_view path, int64_t size) {
    return QueueEntry(path, std::to_string(size));
}

std::string QueueEntry(std::string_view path, std::string_view size) {
    std::string entry(path);
    entry += kQueueSeparator;
    entry += size;
    return entry;
}

int64_t DecimalSize(std::string_view text) {
    if (text.empty()) return -1;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0) return -1;
    return value;
}

TQueueEntry SplitQueueEntry(std::string_view entry) {
    TQueueEntry out;
    const size_t tab = entry.rfind(kQueueSeparator);
    if (tab == std::string_view::npos) {
        out.Path = std::string(entry);
        return out;
    }
    out.Path = std::string(entry.substr(0, tab));
    out.Size = std::max<int64_t>(DecimalSize(entry.substr(tab + 1)), 0);
    return out;
}

std::string NameOfPath(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FileExtension(std::string_view path) {
    const std::string name = NameOfPath(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

bool WantsAscii(std::string_view localFileName, int transferMode, std::string_view ext) {
    if (transferMode != kTransferModeAscii) return false;
    const std::string extension = FileExtension(localFileName);
    return !extension.empty() && ext.find(extension) != std::string_view::npos;
}

bool RemoteFileExists(const std::vector<std::string>& names, std::string_view remotePath) {
    const std::string name = NameOfPath(remotePath);
    return std::find(names.begin(), names.end(), name) != names.end();
}

int64_t RemoteFileSize(const std::vector<TPaneRow>& rows, std::string_view remotePath) {
    const std::string name = NameOfPath(remotePath);
    for (const TPaneRow& row : rows) {
        if (row.Picture == kPictureFile && row.Name == name) return DecimalSize(row.Size);
    }
    return -1;
}

}  // namespace tarnwick::session

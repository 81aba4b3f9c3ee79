#include "listing/ListingConsumer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace tarnwick {

void SplitListingLines(std::string_view text, std::vector<std::string_view>& lines) {
    lines.clear();
    std::size_t begin = 0;
    const std::size_t size = text.size();
    while (begin < size) {
        std::size_t end = begin;
        while (end < size && text[end] != '\r' && text[end] != '\n') ++end;
        lines.push_back(text.substr(begin, end - begin));
        if (end < size && text[end] == '\r' && end + 1 < size && text[end + 1] == '\n') ++end;
        begin = end + 1;
    }
}

bool ReadListingFile(const std::string& path, std::string& text) {
    text.clear();
    struct TFd {
        int fd;
        ~TFd() {
            if (fd >= 0) ::close(fd);
        }
    } file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) return false;
    struct stat info {};
    if (::fstat(file.fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        text.reserve(static_cast<std::size_t>(info.st_size));
    }
    constexpr std::size_t kChunk = 1 << 16;
    auto buffer = std::make_unique<char[]>(kChunk);
    for (;;) {
        const ssize_t got = ::read(file.fd, buffer.get(), kChunk);
        if (got < 0) {
            text.clear();
            return false;
        }
        if (got == 0) return true;
        text.append(buffer.get(), static_cast<std::size_t>(got));
    }
}

bool TakeListingFile(const std::string& path, std::string& text) {
    const bool read = ReadListingFile(path, text);
    if (read) ::unlink(path.c_str());
    return read;
}

void ForEachListingEntry(std::string_view text, const TListingParser& parser,
                         TListingConsumer consumer,
                         const std::function<void(const TListingEntry&)>& visit) {
    std::vector<std::string_view> lines;
    SplitListingLines(text, lines);
    const bool joinWrapped = parser.HostType() == kHostVms;
    TListingEntry entry;
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (line.size() < kMinListingLineLength) continue;
        if (joinWrapped && line.size() < kVmsWrapLength && i + 1 < lines.size()) {
            joined.assign(line);
            joined.append(lines[++i]);
            line = joined;
        }
        parser.ParseListingLine(line, entry);
        if (entry.Name == ".") continue;
        if (consumer == TListingConsumer::Tree && entry.Name == "..") continue;
        visit(entry);
    }
}

std::vector<TListingEntry> ParseListingText(std::string_view text, const TListingParser& parser,
                                            TListingConsumer consumer) {
    std::vector<TListingEntry> entries;
    ForEachListingEntry(text, parser, consumer,
                        [&](const TListingEntry& entry) { entries.push_back(entry); });
    return entries;
}

}  // namespace tarnwick

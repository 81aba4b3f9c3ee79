#include "listing/ListingConsumer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace tarnwick {

namespace {

// Listing files are read in blocks of this size, never whole.
constexpr std::size_t kFileBlock = 1 << 16;

class TFileDescriptor {
  public:
    explicit TFileDescriptor(int fd) : fd_(fd) {}
    ~TFileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;

    int Get() const { return fd_; }

  private:
    int fd_;
};

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// Where the line from `at` ends: the first CR or LF, or the end of the text.
std::size_t LineEnd(std::string_view text, std::size_t at) {
    const char* begin = text.data() + at;
    const std::size_t length = text.size() - at;
    const void* lf = std::memchr(begin, '\n', length);
    const std::size_t toLf =
        lf == nullptr ? length : static_cast<std::size_t>(static_cast<const char*>(lf) - begin);
    const void* cr = std::memchr(begin, '\r', toLf);
    const std::size_t toEnd =
        cr == nullptr ? toLf : static_cast<std::size_t>(static_cast<const char*>(cr) - begin);
    return at + toEnd;
}

}  // namespace

void SplitListingLines(std::string_view text, std::vector<std::string_view>& lines) {
    lines.clear();
    std::size_t begin = 0;
    const std::size_t size = text.size();
    while (begin < size) {
        std::size_t end = begin;
        while (end < size && !IsLineEnd(text[end])) ++end;
        lines.push_back(text.substr(begin, end - begin));
        if (end < size && text[end] == '\r' && end + 1 < size && text[end + 1] == '\n') ++end;
        begin = end + 1;
    }
}

TListingStream::TListingStream(const TListingParser& parser, TListingConsumer consumer,
                               TVisit visit, std::size_t maxEntries)
    : parser_(parser), consumer_(consumer), visit_(std::move(visit)), maxEntries_(maxEntries) {}

void TListingStream::Feed(std::string_view bytes) {
    std::size_t at = 0;
    if (afterCr_ && !bytes.empty()) {
        if (bytes[0] == '\n') at = 1;  // the LF of a CR LF cut between two blocks
        afterCr_ = false;
    }
    while (at < bytes.size() && !Stopped()) {
        std::size_t end = LineEnd(bytes, at);
        if (line_.empty() && end < bytes.size()) {
            // A whole line inside the block is taken where it stands.
            if (end - at > kMaxListingLineLength) {
                Append(bytes.substr(at, end - at));
                break;
            }
            TakeLine(bytes.substr(at, end - at));
            if (Stopped()) break;
        } else {
            Append(bytes.substr(at, end - at));
            if (end == bytes.size() || Stopped()) break;
            EndLine();
        }
        if (bytes[end] == '\r') {
            if (end + 1 == bytes.size()) {
                afterCr_ = true;
            } else if (bytes[end + 1] == '\n') {
                ++end;
            }
        }
        at = end + 1;
    }
}

void TListingStream::FeedLine(std::string_view line) {
    afterCr_ = false;
    Append(line);
    if (!Stopped()) EndLine();
}

void TListingStream::Finish() {
    afterCr_ = false;
    if (Stopped()) return;
    if (!line_.empty()) EndLine();
    if (holding_ && !Stopped()) {
        holding_ = false;
        Parse(held_);  // the last line of the listing has nothing to join
    }
}

void TListingStream::Append(std::string_view bytes) {
    if (Stopped()) return;
    if (line_.size() + bytes.size() > kMaxListingLineLength) {
        Stop("Listing line longer than " + std::to_string(kMaxListingLineLength) + " bytes");
        return;
    }
    line_.append(bytes);
}

void TListingStream::EndLine() {
    TakeLine(line_);
    line_.clear();
}

void TListingStream::TakeLine(std::string_view line) {
    if (holding_) {
        // The continuation of a wrapped VMS name, whatever it holds.
        holding_ = false;
        joined_.assign(held_);
        joined_.append(line);
        Parse(joined_);
        return;
    }
    // Machine lines are short for short names; only empty ones are no entries.
    if (parser_.Format() == TListingFormat::Machine) {
        if (!line.empty()) Parse(line);
        return;
    }
    if (line.size() < kMinListingLineLength) return;
    if (parser_.HostType() == kHostVms) {
        // Headers and trailers are no names: they never take the next line with them.
        if (IsVmsHeaderOrTrailer(line)) return;
        if (line.size() < kVmsWrapLength) {
            held_.assign(line);
            holding_ = true;
            return;
        }
    }
    Parse(line);
}

void TListingStream::Parse(std::string_view line) {
    parser_.ParseListingLine(line, entry_);
    if (entry_.Name == ".") return;
    if (consumer_ == TListingConsumer::Tree && entry_.Name == "..") return;
    if (maxEntries_ != kNoEntryLimit && entries_ == maxEntries_) {
        Stop("Listing has more than " + std::to_string(maxEntries_) + " entries");
        return;
    }
    ++entries_;
    visit_(entry_);
}

void TListingStream::Stop(std::string reason) {
    error_ = std::move(reason);
    holding_ = false;
    std::string().swap(line_);
    std::string().swap(held_);
    std::string().swap(joined_);
}

bool ReadListingFile(const std::string& path, TListingStream& stream) {
    // O_NONBLOCK keeps a FIFO in the file's place from blocking the open.
    TFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        stream.Finish();
        return false;
    }
    auto block = std::make_unique<char[]>(kFileBlock);
    while (!stream.Stopped()) {
        const ssize_t got = ::read(file.Get(), block.get(), kFileBlock);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            stream.Finish();
            return false;
        }
        if (got == 0) break;
        stream.Feed(std::string_view(block.get(), static_cast<std::size_t>(got)));
    }
    stream.Finish();
    return true;
}

bool TakeListingFile(const std::string& path, TListingStream& stream) {
    const bool read = ReadListingFile(path, stream);
    if (read) ::unlink(path.c_str());
    return read;
}

std::string ForEachListingEntry(std::string_view text, const TListingParser& parser,
                                TListingConsumer consumer,
                                const std::function<void(const TListingEntry&)>& visit) {
    TListingStream stream(parser, consumer, visit);
    stream.Feed(text);
    stream.Finish();
    return stream.Error();
}

std::vector<TListingEntry> ParseListingText(std::string_view text, const TListingParser& parser,
                                            TListingConsumer consumer) {
    std::vector<TListingEntry> entries;
    ForEachListingEntry(text, parser, consumer,
                        [&](const TListingEntry& entry) { entries.push_back(entry); });
    return entries;
}

}  // namespace tarnwick

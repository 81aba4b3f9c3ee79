#include "settings/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace tarnwick {
namespace {

// No settings file comes anywhere near this; a larger one is refused rather
// than read into memory.
constexpr off_t kMaxFileSize = off_t{256} * 1024 * 1024;
constexpr size_t kReadChunk = 64 * 1024;

class FdCloser {
  public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0) ::close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

  private:
    int fd_;
};

}  // namespace

ReadStatus ReadTextFile(const std::string& path, std::string& text) {
    text.clear();
    // O_NONBLOCK keeps a FIFO in the file's place from blocking the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? ReadStatus::kMissing : ReadStatus::kUnreadable;
    FdCloser closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) {
        return ReadStatus::kUnreadable;
    }
    std::string data;
    data.reserve(static_cast<size_t>(st.st_size));
    char buffer[kReadChunk];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return ReadStatus::kUnreadable;
        }
        if (got == 0) break;
        data.append(buffer, static_cast<size_t>(got));
        if (static_cast<off_t>(data.size()) > kMaxFileSize) return ReadStatus::kUnreadable;
    }
    text = std::move(data);
    return ReadStatus::kOk;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

bool ParseInt(std::string_view text, int& value) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return false;
    int parsed = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    value = parsed;
    return true;
}

}  // namespace tarnwick

#include "session/TextFileView.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "session/DisplayText.h"

namespace tarnwick::session {

namespace {

class TFd {
  public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

// One line without its end: tabs stay, the pieces between them are shown as names are.
void AppendLine(std::string& out, std::string_view line) {
    while (!line.empty()) {
        const size_t tab = line.find('\t');
        out += DisplayText(line.substr(0, tab));
        if (tab == std::string_view::npos) break;
        out += '\t';
        line.remove_prefix(tab + 1);
    }
}

}  // namespace

std::string ViewedText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    while (!bytes.empty()) {
        const size_t lf = bytes.find('\n');
        std::string_view line = bytes.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        AppendLine(out, line);
        if (lf == std::string_view::npos) break;
        out += '\n';
        bytes.remove_prefix(lf + 1);
    }
    return out;
}

int LoadTextFileView(const std::string& path, TTextFileView& view, size_t maxBytes) {
    view = TTextFileView{};
    view.Path = path;
    TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0) return errno;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    // A FIFO or a device could be endless or block: only regular files are read.
    if (!S_ISREG(st.st_mode)) return EINVAL;
    view.FileSize = static_cast<int64_t>(st.st_size);
    constexpr size_t kReadBlock = 64u << 10;
    std::string bytes;
    size_t have = 0;
    // Sizes can be wrong (files being written, /proc): read to the end or the limit.
    while (have < maxBytes) {
        if (bytes.size() < have + kReadBlock) bytes.resize(std::min(maxBytes, have + kReadBlock));
        const ssize_t n = ::read(fd.Get(), bytes.data() + have, bytes.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        have += static_cast<size_t>(n);
    }
    bytes.resize(have);
    char probe = 0;
    view.Truncated = have == maxBytes && ::read(fd.Get(), &probe, 1) == 1;
    if (view.Truncated) {
        // The cut may fall inside a UTF-8 character: drop its first bytes.
        size_t lead = have;
        while (lead > 0 && (static_cast<unsigned char>(bytes[lead - 1]) & 0xC0) == 0x80) --lead;
        if (lead > 0) {
            const auto b = static_cast<unsigned char>(bytes[lead - 1]);
            const size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
            if (have - (lead - 1) < length) bytes.resize(lead - 1);
        }
    }
    view.Text = ViewedText(bytes);
    return 0;
}

}  // namespace tarnwick::session

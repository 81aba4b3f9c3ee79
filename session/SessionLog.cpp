#include "session/SessionLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::session {

namespace {
constexpr std::string_view kPassCommand = "PASS ";
constexpr const char* kMaskedPass = "> PASS ****";
// The log holds the whole dialogue; only the user may read it.
constexpr mode_t kLogFileMode = 0600;

std::FILE* CreateAnew(const std::string& path) {
    // O_NOFOLLOW: a link planted under the log's name is not followed into another file.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, kLogFileMode);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, "w");
    if (f == nullptr) ::close(fd);
    return f;
}
}  // namespace

std::string MaskedDisplayLine(std::string_view line) {
    return line.find(kPassCommand) == std::string_view::npos ? std::string(line) : kMaskedPass;
}

void TSessionLog::WriteLog(std::string line) {
    if (file_) {
        const bool ok = std::fwrite(line.data(), 1, line.size(), file_.get()) == line.size() &&
                        std::fputc('\n', file_.get()) != EOF && std::fflush(file_.get()) == 0;
        if (!ok) Close();
    }
    memo_.Append(std::move(line));
}

bool TSessionLog::Open(const std::string& fileName) {
    Close();
    logFileName_ = fileName;
    if (fileName.empty()) return false;
    std::FILE* f = CreateAnew(fileName);
    std::string path = fileName;
    if (f == nullptr) {
        path = fileName + "." + std::to_string(processId_);
        f = CreateAnew(path);
    }
    if (f == nullptr) return false;
    file_.reset(f);
    openedPath_ = path;
    return true;
}

void TSessionLog::Close() {
    file_.reset();
    openedPath_.clear();
}

}  // namespace tarnwick::session

// Hands a local file to the desktop's opener (xdg-open): the program started directly, never
// through a shell, with the file's path as its one argument, in its own session with the
// given working folder, and not waited for. A program that cannot start, or an opener that
// ends with a failure, is reported through the report callback on the window's thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tarnwick::session {

inline constexpr const char* kDesktopOpener = "xdg-open";

class TDesktopOpener {
  public:
    using TReport = std::function<void(const std::string& line)>;

    // `program` is looked up on PATH; empty means xdg-open.
    TDesktopOpener(std::string program, TReport report);
    ~TDesktopOpener();
    TDesktopOpener(const TDesktopOpener&) = delete;
    TDesktopOpener& operator=(const TDesktopOpener&) = delete;

    const std::string& Program() const { return program_; }
    // Starts the opener on `path` with `workingFolder` as its current folder; false (and
    // reported) when it could not be started.
    bool Open(const std::string& path, const std::string& workingFolder);

  private:
    struct TShared;
    std::string program_;
    std::shared_ptr<TShared> shared_;
};

}  // namespace tarnwick::session

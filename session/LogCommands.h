// What the log memo's commands do: copy lines, clear the memo, save it to a file the user
// picks. The log file written alongside (SessionLog) is not touched by any of them.
#pragma once

#include <string>
#include <vector>

namespace tarnwick::session {

class TSessionCore;

inline constexpr const char* kSaveLogCaption = "Save Log";
inline constexpr const char* kSaveLogFileName = "tarnwick-log.txt";

class TLogCommands {
  public:
    explicit TLogCommands(TSessionCore& core) : core_(core) {}

    // The text to copy, as the screen shows it: the lines at `selected` in that order, or
    // every line kept when none is selected; each ends in LF.
    std::string CopyText(const std::vector<size_t>& selected) const;
    void ClearClick();
    // Asks for a file (starting in the local pane's folder) and writes every line kept to
    // it. True when written; a failure is logged as an "Error " line.
    bool SaveClick();
    bool SaveTo(const std::string& path);

  private:
    TSessionCore& core_;
};

}  // namespace tarnwick::session

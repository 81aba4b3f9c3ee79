// WriteLog: each line goes to the log memo and, while a log file is open, to that file. A log
// file is created anew when opened; when that fails, the name with "." and the process id
// appended is tried. A write error closes the file and the memo goes on: logging never stops
// the session.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "session/LogModel.h"

namespace tarnwick::session {

// The line the log shows for an engine display line: any line that holds "PASS " is shown as
// "> PASS ****", so a password never reaches the memo or the file.
std::string MaskedDisplayLine(std::string_view line);

class TSessionLog {
  public:
    TSessionLog(TLogModel& memo, long processId) : memo_(memo), processId_(processId) {}
    ~TSessionLog() { Close(); }
    TSessionLog(const TSessionLog&) = delete;
    TSessionLog& operator=(const TSessionLog&) = delete;

    void WriteLog(std::string line);

    // Opens `fileName` (created anew), else `fileName.<pid>`; true when one of them opened.
    bool Open(const std::string& fileName);
    void Close();

    bool LogOpen() const { return file_ != nullptr; }
    // The name the preferences asked for (compared with the next preferences).
    const std::string& LogFileName() const { return logFileName_; }
    // The file actually written (the fallback name when the first one failed).
    const std::string& OpenedPath() const { return openedPath_; }

  private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    TLogModel& memo_;
    long processId_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::string logFileName_;
    std::string openedPath_;
};

}  // namespace tarnwick::session

#include "session/LogCommands.h"

#include <cerrno>
#include <cstring>

#include "session/DisplayText.h"
#include "session/SessionCore.h"
#include "settings/AtomicFile.h"
#include "settings/SettingsFolder.h"

namespace tarnwick::session {

namespace {
constexpr const char* kSaveFailed = "Error Could not save the log to ";
}  // namespace

std::string TLogCommands::CopyText(const std::vector<size_t>& selected) const {
    const TLogModel& log = core_.Log;
    std::string out;
    const auto add = [&](size_t i) {
        if (i >= log.Count()) return;
        out += DisplayText(log.Line(i).Text);
        out += '\n';
    };
    if (selected.empty()) {
        for (size_t i = 0; i < log.Count(); ++i) add(i);
    } else {
        for (size_t i : selected) add(i);
    }
    return out;
}

void TLogCommands::ClearClick() {
    core_.Log.Clear();
}

bool TLogCommands::SaveClick() {
    const std::string start = JoinPath(core_.Local.Directory(), kSaveLogFileName);
    const std::optional<std::string> path = core_.Dialogs().ChooseSaveFile(kSaveLogCaption, start);
    if (!path || path->empty()) return false;
    return SaveTo(*path);
}

bool TLogCommands::SaveTo(const std::string& path) {
    // The text is taken before a failure adds its own line.
    const std::string text = core_.Log.Text();
    errno = 0;
    if (WriteFileAtomic(path, text, FileAccess::kPrivate)) return true;
    const int error = errno;
    std::string line = kSaveFailed + path;
    if (error != 0) line += std::string(": ") + std::strerror(error);
    core_.WriteLog(line);
    return false;
}

}  // namespace tarnwick::session

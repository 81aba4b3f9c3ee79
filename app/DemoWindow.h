// The window's side of "tarnwick --demo": a termination signal closes the window like its
// close button does, and the screenshot hook of scripts/screenshot.sh.
#pragma once

#include <QString>

#include "app/TerminationSignals.h"
#include "session/MainWindow.h"
#include "ui/MainWindow.h"

namespace tarnwick::demo {

// While `termination` lives, a signal it catches closes `window` and ends the event loop (a modal
// dialog's loop too), so that the program ends through its usual path.
void CloseOnSignals(ui::TMainWindow& window, const TTerminationSignals& termination);

// The screenshot hook, called after show(): once `window` is painted it opens the saved server
// `server`; when the remote directory is listed and painted it grabs the window into the PNG `file`
// and closes the window. `status` becomes 0 when the picture was written, else 1 with a message on
// standard error (no listing in time, or the file could not be written).
void ScreenshotWhenListed(ui::TMainWindow& window, const std::string& server, const QString& file,
                          int& status);

}  // namespace tarnwick::demo

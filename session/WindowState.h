// What the window remembers between runs: its place and size, the pane splits, the column
// widths of both panes and the last local folder. It lives in a file of its own in the
// settings folder ("window-state"), written whole and atomically when the window closes; the
// preferences file never holds it. Whatever the file holds, reading it gives values a window
// can use: a value out of bounds is dropped (its default holds), a folder that is gone is
// forgotten, and a place off every screen is moved onto one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::session {

class TSessionCore;

inline constexpr const char* kWindowStateFile = "window-state";

// A window's frame in screen pixels.
struct TScreenRect {
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;

    bool operator==(const TScreenRect&) const = default;
};

// Bounds of what is taken from the file.
inline constexpr int kMinWindowWidth = 320;
inline constexpr int kMinWindowHeight = 240;
inline constexpr int kMaxWindowExtent = 16384;  // larger than any screen made
inline constexpr int kMaxScreenOffset = 65536;  // of a window's corner from the origin
inline constexpr int kMaxSplitterParts = 4;
inline constexpr int kMinColumnWidth = 8;
inline constexpr int kMaxColumnWidth = 4096;
inline constexpr int kMaxColumns = 16;

struct TWindowState {
    std::optional<TScreenRect> Geometry;  // the normal (not maximised) frame
    bool Maximized = false;
    std::vector<int> PaneSplit;      // the local and the remote pane
    std::vector<int> RemoteSplit;    // the remote list over the log
    std::vector<int> LocalColumns;   // lvLoc's column widths
    std::vector<int> RemoteColumns;  // FTPView's column widths
    std::string LocalFolder;         // absolute; empty when none is remembered

    bool operator==(const TWindowState&) const = default;
};

// The file's text and back. Reading accepts any bytes and keeps only sane values.
TWindowState ParseWindowState(std::string_view text);
std::string WindowStateText(const TWindowState& state);

// The file in a settings folder: a missing or unreadable file gives the defaults; a folder
// that no longer exists is dropped. Saving is atomic; false when it failed.
TWindowState LoadWindowState(const std::string& settingsFolder);
bool SaveWindowState(const std::string& settingsFolder, const TWindowState& state);

// Where a saved frame goes on the screens there are now (their available areas): on the
// screen it overlaps most, shrunk to fit and moved wholly inside it; on the first screen when
// it overlaps none. Nothing when there is no screen.
std::optional<TScreenRect> PlaceOnScreens(const TScreenRect& saved,
                                          const std::vector<TScreenRect>& screens);

// The start: the local pane moves to the remembered folder when it still exists. True when
// it moved.
bool RestoreLocalFolder(TSessionCore& core);

}  // namespace tarnwick::session

#include "session/WindowState.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "session/SessionCore.h"
#include "settings/AtomicFile.h"
#include "settings/IniFile.h"
#include "settings/SettingsFolder.h"
#include "settings/TextFile.h"

namespace tarnwick::session {

namespace {

constexpr std::string_view kSection = "Window";
constexpr std::string_view kX = "X";
constexpr std::string_view kY = "Y";
constexpr std::string_view kWidth = "Width";
constexpr std::string_view kHeight = "Height";
constexpr std::string_view kMaximized = "Maximized";
constexpr std::string_view kPaneSplit = "PaneSplit";
constexpr std::string_view kRemoteSplit = "RemoteSplit";
constexpr std::string_view kLocalColumns = "LocalColumns";
constexpr std::string_view kRemoteColumns = "RemoteColumns";
constexpr std::string_view kLocalFolder = "LocalFolder";
// A remembered folder longer than this is no folder a user chose.
constexpr size_t kMaxFolderLength = 4096;

std::optional<int> ReadInt(const IniFile& ini, std::string_view key) {
    const std::optional<std::string> stored = ini.Get(kSection, key);
    int value = 0;
    if (!stored || !ParseInt(*stored, value)) return std::nullopt;
    return value;
}

std::optional<int> ReadBounded(const IniFile& ini, std::string_view key, int low, int high) {
    const std::optional<int> v = ReadInt(ini, key);
    if (!v || *v < low || *v > high) return std::nullopt;
    return v;
}

// "a,b,c": every item a whole number in [low, high], at most `maxItems` of them; anything
// else gives an empty list.
std::vector<int> ReadList(const IniFile& ini, std::string_view key, size_t maxItems, int low,
                          int high) {
    const std::optional<std::string> stored = ini.Get(kSection, key);
    if (!stored) return {};
    std::vector<int> out;
    std::string_view rest = *stored;
    while (true) {
        const size_t comma = rest.find(',');
        int value = 0;
        if (!ParseInt(rest.substr(0, comma), value) || value < low || value > high) return {};
        out.push_back(value);
        if (out.size() > maxItems) return {};
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return out;
}

// A splitter's parts: two or more, none negative, not all of them empty.
std::vector<int> ReadSplit(const IniFile& ini, std::string_view key) {
    std::vector<int> parts = ReadList(ini, key, kMaxSplitterParts, 0, kMaxWindowExtent);
    const bool someShown = std::any_of(parts.begin(), parts.end(), [](int p) { return p > 0; });
    if (parts.size() < 2 || !someShown) return {};
    return parts;
}

std::string ListText(const std::vector<int>& values) {
    std::string out;
    for (int v : values) {
        if (!out.empty()) out += ',';
        out += std::to_string(v);
    }
    return out;
}

// An absolute path without line breaks or NUL: what a folder name written to the file may be.
bool StorableFolder(std::string_view folder) {
    return !folder.empty() && folder.front() == '/' && folder.size() <= kMaxFolderLength &&
           folder.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t Overlap(const TScreenRect& a, const TScreenRect& b) {
    const int64_t left = std::max<int64_t>(a.X, b.X);
    const int64_t right = std::min<int64_t>(int64_t{a.X} + a.Width, int64_t{b.X} + b.Width);
    const int64_t top = std::max<int64_t>(a.Y, b.Y);
    const int64_t bottom = std::min<int64_t>(int64_t{a.Y} + a.Height, int64_t{b.Y} + b.Height);
    if (right <= left || bottom <= top) return 0;
    return (right - left) * (bottom - top);
}

}  // namespace

TWindowState ParseWindowState(std::string_view text) {
    const IniFile ini = IniFile::Parse(text);
    TWindowState state;
    const auto x = ReadBounded(ini, kX, -kMaxScreenOffset, kMaxScreenOffset);
    const auto y = ReadBounded(ini, kY, -kMaxScreenOffset, kMaxScreenOffset);
    const auto w = ReadBounded(ini, kWidth, kMinWindowWidth, kMaxWindowExtent);
    const auto h = ReadBounded(ini, kHeight, kMinWindowHeight, kMaxWindowExtent);
    if (x && y && w && h) state.Geometry = TScreenRect{*x, *y, *w, *h};
    state.Maximized = ReadInt(ini, kMaximized).value_or(0) != 0;
    state.PaneSplit = ReadSplit(ini, kPaneSplit);
    state.RemoteSplit = ReadSplit(ini, kRemoteSplit);
    state.LocalColumns =
        ReadList(ini, kLocalColumns, kMaxColumns, kMinColumnWidth, kMaxColumnWidth);
    state.RemoteColumns =
        ReadList(ini, kRemoteColumns, kMaxColumns, kMinColumnWidth, kMaxColumnWidth);
    if (const auto folder = ini.Get(kSection, kLocalFolder)) {
        std::string value = IniReadValue(*folder);
        if (StorableFolder(value)) state.LocalFolder = std::move(value);
    }
    return state;
}

std::string WindowStateText(const TWindowState& state) {
    IniFile ini;
    if (state.Geometry) {
        ini.Set(kSection, kX, std::to_string(state.Geometry->X));
        ini.Set(kSection, kY, std::to_string(state.Geometry->Y));
        ini.Set(kSection, kWidth, std::to_string(state.Geometry->Width));
        ini.Set(kSection, kHeight, std::to_string(state.Geometry->Height));
    }
    ini.Set(kSection, kMaximized, state.Maximized ? "1" : "0");
    if (!state.PaneSplit.empty()) ini.Set(kSection, kPaneSplit, ListText(state.PaneSplit));
    if (!state.RemoteSplit.empty()) ini.Set(kSection, kRemoteSplit, ListText(state.RemoteSplit));
    if (!state.LocalColumns.empty()) ini.Set(kSection, kLocalColumns, ListText(state.LocalColumns));
    if (!state.RemoteColumns.empty())
        ini.Set(kSection, kRemoteColumns, ListText(state.RemoteColumns));
    if (StorableFolder(state.LocalFolder))
        ini.Set(kSection, kLocalFolder, IniStoredValue(state.LocalFolder));
    return ini.Text();
}

TWindowState LoadWindowState(const std::string& settingsFolder) {
    std::string text;
    if (ReadTextFile(JoinPath(settingsFolder, kWindowStateFile), text) != ReadStatus::kOk)
        return {};
    TWindowState state = ParseWindowState(text);
    if (!state.LocalFolder.empty() && !IsFolder(state.LocalFolder)) state.LocalFolder.clear();
    return state;
}

bool SaveWindowState(const std::string& settingsFolder, const TWindowState& state) {
    return SaveSettingsFile(settingsFolder, kWindowStateFile, WindowStateText(state),
                            FileAccess::kShared);
}

std::optional<TScreenRect> PlaceOnScreens(const TScreenRect& saved,
                                          const std::vector<TScreenRect>& screens) {
    const auto usable = [](const TScreenRect& s) { return s.Width > 0 && s.Height > 0; };
    const TScreenRect* best = nullptr;
    int64_t bestOverlap = 0;
    for (const TScreenRect& s : screens) {
        if (!usable(s)) continue;
        const int64_t o = Overlap(saved, s);
        if (!best || o > bestOverlap) {
            best = &s;
            bestOverlap = o;
        }
    }
    if (!best) return std::nullopt;
    const TScreenRect& screen = *best;
    TScreenRect placed = saved;
    placed.Width = std::clamp(saved.Width, 1, screen.Width);
    placed.Height = std::clamp(saved.Height, 1, screen.Height);
    if (bestOverlap == 0) {
        // Off every screen: centred on the first one.
        placed.X = screen.X + (screen.Width - placed.Width) / 2;
        placed.Y = screen.Y + (screen.Height - placed.Height) / 2;
        return placed;
    }
    placed.X = std::clamp(saved.X, screen.X, screen.X + screen.Width - placed.Width);
    placed.Y = std::clamp(saved.Y, screen.Y, screen.Y + screen.Height - placed.Height);
    return placed;
}

bool RestoreLocalFolder(TSessionCore& core) {
    const TWindowState state = LoadWindowState(core.SettingsFolder());
    if (state.LocalFolder.empty() || state.LocalFolder == core.Local.Directory()) return false;
    return core.Local.SetDirectory(state.LocalFolder);
}

}  // namespace tarnwick::session

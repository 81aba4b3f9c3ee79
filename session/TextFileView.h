// "View": a local file shown as text in a read-only window, whatever it holds. The file's
// first bytes (up to a limit) are read and turned into what the screen shows: lines at LF
// (CR LF too), tabs kept, every other control character as a visible stand-in, the text as
// UTF-8 when it is valid UTF-8, else as Windows-1252.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnwick::session {

inline constexpr size_t kMaxViewedBytes = 16u << 20;

struct TTextFileView {
    std::string Path;  // bytes, as the file is named
    std::string Text;  // UTF-8, ready to show
    int64_t FileSize = 0;
    bool Truncated = false;  // only the first kMaxViewedBytes are shown
};

// The text of a file's bytes as the viewer shows it.
std::string ViewedText(std::string_view bytes);

// Reads the file; the errno of the failure (0 on success).
int LoadTextFileView(const std::string& path, TTextFileView& view,
                     size_t maxBytes = kMaxViewedBytes);

}  // namespace tarnwick::session

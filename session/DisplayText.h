// Names are bytes from end to end: the core never re-encodes them. For the screen, a text that
// is valid UTF-8 is shown as UTF-8, anything else as Windows-1252. Control characters (and the
// bidirectional overrides that make a name read differently) are shown as visible stand-ins,
// never passed to the screen to be interpreted.
#pragma once

#include <string>
#include <string_view>

namespace tarnwick::session {

enum class TTextEncoding { Utf8, Windows1252 };

bool IsValidUtf8(std::string_view bytes);
// Decodes the UTF-8 character at `i` and moves past it; false (and `i` unchanged) when the
// bytes there are not a well-formed one.
bool DecodeUtf8(std::string_view s, size_t& i, char32_t& cp);
// Appends the UTF-8 bytes of a code point.
void AppendUtf8(std::string& out, char32_t cp);

// The encoding a text is shown in.
TTextEncoding DisplayEncoding(std::string_view bytes);

// The UTF-8 text to show for these bytes.
std::string DisplayText(std::string_view bytes);

// The bytes for a text the user edited, starting from `original`: the original bytes when the
// text was not changed; in Windows-1252 when the original was shown in it and every character
// has a Windows-1252 byte; in UTF-8 otherwise.
std::string BytesFromEdit(std::string_view original, std::string_view editedUtf8);

}  // namespace tarnwick::session

// Comma text: the list encoding of the extension and keep-alive lists and of
// the host types and custom commands files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Items joined with ",". An item holding a blank, a control character, a
// comma or a double quote is written in double quotes with inner quotes
// doubled. An empty last item is written as "" so that it reads back (the
// one-empty-item list is the familiar case of this); other empty items are
// written as nothing between two commas.
std::string ToCommaText(const std::vector<std::string>& items);

// Splits comma text. Items are separated by "," and by blanks (any byte up to
// and including the space) outside quotes; leading blanks are skipped. A
// quoted item ends at its closing quote, "" inside standing for one quote; an
// unclosed quote runs to the end. An empty item between two commas is kept;
// nothing after a final "," yields no item.
std::vector<std::string> FromCommaText(std::string_view text);

}  // namespace tarnwick

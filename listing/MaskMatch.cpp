#include "listing/MaskMatch.h"

#include <vector>

#include "listing/TextUtil.h"

namespace tarnwick {

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (mask == "*" || mask == "*.*") return true;
    std::vector<std::string_view> maskParts;
    std::vector<std::string_view> nameParts;
    SplitTrimmedViews(mask, '.', maskParts);
    SplitTrimmedViews(name, '.', nameParts);
    if (maskParts.size() != nameParts.size()) return false;
    for (std::size_t i = 0; i < nameParts.size(); ++i) {
        if (!MatchesWildcard(maskParts[i], nameParts[i])) return false;
    }
    return true;
}

bool MatchesWildcard(std::string_view pattern, std::string_view text) {
    // Positions are 1-based: i in the pattern (length m), j in the text (length n).
    const std::size_t m = pattern.size();
    const std::size_t n = text.size();
    const auto p = [&](std::size_t i) { return pattern[i - 1]; };
    const auto t = [&](std::size_t j) { return text[j - 1]; };
    std::size_t i = 1;
    std::size_t j = 1;
    bool matched = pattern == "*";
    while (!matched && i <= m && j <= n) {
        const char c = p(i);
        if (c == '*') {
            while (i <= m && p(i) == '*') ++i;
            if (i > m) {
                matched = true;
                continue;
            }
            std::size_t questions = 0;
            while (i <= m && p(i) == '?') {
                ++questions;
                ++i;
            }
            if (questions > 0 && questions == n - j + 1) {
                matched = true;
                continue;
            }
            ++j;
            while (j <= n && !(i <= m && t(j) == p(i))) ++j;
            if (j > n || j < questions + 1) break;
        } else if (c == '?') {
            if (j == n) {
                matched = true;
                continue;
            }
            ++i;
            ++j;
        } else {
            if (c != t(j)) break;
            ++i;
            ++j;
        }
    }
    return matched || (i > m && j > n);
}

}  // namespace tarnwick

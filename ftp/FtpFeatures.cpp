#include "ftp/FtpFeatures.h"

#include <array>

namespace tarnwick::ftp {

namespace {

// The facts a listing reads, in the order they are asked for.
constexpr std::array<std::string_view, 5> kListingFacts = {"type", "size", "modify", "perm",
                                                           "unix.mode"};

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

}  // namespace

bool FeatureNamed(std::string_view line, std::string_view name) {
    return SameFolded(line.substr(0, line.find(' ')), name);
}

bool OffersMachineListing(const std::vector<std::string>& features) {
    for (const std::string& f : features)
        if (FeatureNamed(f, "MLST") || FeatureNamed(f, "MLSD")) return true;
    return false;
}

std::string MlstFactsWanted(const std::vector<std::string>& features) {
    for (const std::string& f : features) {
        if (!FeatureNamed(f, "MLST")) continue;
        const size_t blank = f.find(' ');
        if (blank == std::string::npos) return {};
        std::string_view offered = std::string_view(f).substr(blank + 1);
        std::string wanted;
        bool missing = false;
        for (std::string_view fact : kListingFacts) {
            std::string_view rest = offered;
            while (!rest.empty()) {
                const size_t end = rest.find(';');
                std::string_view item = rest.substr(0, end);
                rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
                const bool shown = !item.empty() && item.back() == '*';
                if (shown) item.remove_suffix(1);
                if (!SameFolded(item, fact)) continue;
                wanted.append(fact);
                wanted.push_back(';');
                if (!shown) missing = true;
                break;
            }
        }
        return missing ? wanted : std::string();
    }
    return {};
}

TFtpRequest NextLoginStep(TFtpRequest done, const std::vector<std::string>& features) {
    const auto offersUtf8 = [&] {
        for (const std::string& f : features)
            if (FeatureNamed(f, "UTF8")) return true;
        return false;
    };
    switch (done) {
        case TFtpRequest::ConnectAsync:
            return TFtpRequest::FeatAsync;
        case TFtpRequest::FeatAsync:
            if (offersUtf8()) return TFtpRequest::OptsUtf8Async;
            [[fallthrough]];
        case TFtpRequest::OptsUtf8Async:
            if (!MlstFactsWanted(features).empty()) return TFtpRequest::OptsMlstAsync;
            [[fallthrough]];
        default:
            return TFtpRequest::none;
    }
}

}  // namespace tarnwick::ftp

#include "session/LogModel.h"

#include <algorithm>

namespace tarnwick::session {

namespace {
constexpr std::string_view kCommandPrefix = "> ";
constexpr std::string_view kReplyPrefix = "< ";
constexpr std::string_view kNoticePrefix = "! ";
constexpr std::string_view kErrorPrefix = "Error ";
}  // namespace

TLogKind ClassifyLogLine(std::string_view line) {
    if (line.starts_with(kCommandPrefix)) return TLogKind::Command;
    if (line.starts_with(kReplyPrefix)) return TLogKind::Reply;
    if (line.starts_with(kNoticePrefix)) return TLogKind::Notice;
    if (line.starts_with(kErrorPrefix)) return TLogKind::Error;
    return TLogKind::Session;
}

void TLogModel::AddObserver(TLogObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void TLogModel::RemoveObserver(TLogObserver* observer) {
    std::erase(observers_, observer);
}

void TLogModel::Append(std::string text) {
    const TLogKind kind = ClassifyLogLine(text);
    lines_.push_back(TLogLine{kind, std::move(text)});
    ++total_;
    Each([](TLogObserver& o) { o.LinesAppended(1); });
    if (maxLines_ > 0 && lines_.size() > maxLines_) {
        const size_t drop = lines_.size() - maxLines_;
        lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(drop));
        Each([drop](TLogObserver& o) { o.LinesDropped(drop); });
    }
}

void TLogModel::Clear() {
    lines_.clear();
    Each([](TLogObserver& o) { o.LogCleared(); });
}

std::string TLogModel::Text() const {
    std::string out;
    for (const TLogLine& l : lines_) {
        out += l.Text;
        out += '\n';
    }
    return out;
}

std::string TLogModel::Text(const std::vector<size_t>& indexes) const {
    std::string out;
    for (size_t i : indexes) {
        if (i >= lines_.size()) continue;
        out += lines_[i].Text;
        out += '\n';
    }
    return out;
}

}  // namespace tarnwick::session

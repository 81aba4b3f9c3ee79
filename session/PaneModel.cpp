#include "session/PaneModel.h"

#include <algorithm>

namespace tarnwick::session {

TPaneModel::TPaneModel(std::string name, bool hasAttrColumn)
    : name_(std::move(name)), hasAttrColumn_(hasAttrColumn) {}

void TPaneModel::AddObserver(TPaneObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void TPaneModel::RemoveObserver(TPaneObserver* observer) {
    std::erase(observers_, observer);
}

int TPaneModel::FindCaption(std::string_view caption) const {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].Name == caption) return static_cast<int>(i);
    }
    return -1;
}

void TPaneModel::Clear() {
    if (rows_.empty()) return;
    Each([](TPaneObserver& o) { o.PaneAboutToReset(); });
    rows_.clear();
    selected_.clear();
    selectedCount_ = 0;
    focused_ = -1;
    Each([](TPaneObserver& o) { o.PaneReset(); });
}

void TPaneModel::SetRows(std::vector<TPaneRow> rows) {
    Each([](TPaneObserver& o) { o.PaneAboutToReset(); });
    rows_ = std::move(rows);
    selected_.assign(rows_.size(), 0);
    selectedCount_ = 0;
    focused_ = -1;
    Each([](TPaneObserver& o) { o.PaneReset(); });
}

void TPaneModel::AppendRow(TPaneRow row) {
    const size_t at = rows_.size();
    Each([at](TPaneObserver& o) { o.RowsAboutToBeInserted(at, 1); });
    rows_.push_back(std::move(row));
    selected_.push_back(0);
    Each([at](TPaneObserver& o) { o.RowsInserted(at, 1); });
}

void TPaneModel::RemoveRow(size_t index) {
    if (index >= rows_.size()) return;
    Each([index](TPaneObserver& o) { o.RowsAboutToBeRemoved(index, 1); });
    if (selected_[index]) --selectedCount_;
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
    selected_.erase(selected_.begin() + static_cast<std::ptrdiff_t>(index));
    if (focused_ == static_cast<int>(index))
        focused_ = -1;
    else if (focused_ > static_cast<int>(index))
        --focused_;
    Each([index](TPaneObserver& o) { o.RowsRemoved(index, 1); });
}

void TPaneModel::SetRow(size_t index, TPaneRow row) {
    if (index >= rows_.size()) return;
    rows_[index] = std::move(row);
    Each([index](TPaneObserver& o) { o.RowsChanged(index, index); });
}

int TPaneModel::SelectedIndex() const {
    if (selectedCount_ == 0) return -1;
    const auto it = std::find(selected_.begin(), selected_.end(), 1);
    return it == selected_.end() ? -1 : static_cast<int>(it - selected_.begin());
}

std::vector<size_t> TPaneModel::SelectedRows() const {
    std::vector<size_t> out;
    out.reserve(selectedCount_);
    for (size_t i = 0; i < selected_.size() && out.size() < selectedCount_; ++i) {
        if (selected_[i]) out.push_back(i);
    }
    return out;
}

void TPaneModel::Select(size_t index, bool selected) {
    if (index >= rows_.size() || (selected_[index] != 0) == selected) return;
    selected_[index] = selected ? 1 : 0;
    if (selected)
        ++selectedCount_;
    else
        --selectedCount_;
    Each([index](TPaneObserver& o) { o.SelectionChanged(index, index); });
}

void TPaneModel::SelectAll(bool selected) {
    if (rows_.empty()) return;
    std::fill(selected_.begin(), selected_.end(), selected ? 1 : 0);
    selectedCount_ = selected ? rows_.size() : 0;
    const size_t last = rows_.size() - 1;
    Each([last](TPaneObserver& o) { o.SelectionChanged(0, last); });
}

void TPaneModel::SetSelection(const std::vector<size_t>& rows) {
    if (rows_.empty()) return;
    std::fill(selected_.begin(), selected_.end(), 0);
    selectedCount_ = 0;
    for (size_t i : rows) {
        if (i < selected_.size() && !selected_[i]) {
            selected_[i] = 1;
            ++selectedCount_;
        }
    }
    const size_t last = rows_.size() - 1;
    Each([last](TPaneObserver& o) { o.SelectionChanged(0, last); });
}

void TPaneModel::SetStyle(TViewStyle style) {
    if (style_ == style) return;
    style_ = style;
    Each([](TPaneObserver& o) { o.PresentationChanged(); });
}

void TPaneModel::SetSortKey(int key) {
    if (sortKey_ == key) return;
    sortKey_ = key;
    Each([](TPaneObserver& o) { o.PresentationChanged(); });
}

void TPaneModel::SetNameColumnFills(bool fills) {
    if (nameColumnFills_ == fills) return;
    nameColumnFills_ = fills;
    Each([](TPaneObserver& o) { o.PresentationChanged(); });
}

void TPaneModel::Resort() {
    if (rows_.empty()) return;
    Each([](TPaneObserver& o) { o.PaneAboutToReset(); });
    ResortRows(rows_, sortKey_);
    std::fill(selected_.begin(), selected_.end(), 0);
    selectedCount_ = 0;
    focused_ = -1;
    Each([](TPaneObserver& o) { o.PaneReset(); });
}

}  // namespace tarnwick::session

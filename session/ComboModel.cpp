#include "session/ComboModel.h"

namespace tarnwick::session {

void TComboModel::Clear() {
    items_.clear();
    itemIndex_ = -1;
    text_.clear();
    Changed();
}

void TComboModel::SetItems(std::vector<std::string> items, int itemIndex) {
    items_ = std::move(items);
    itemIndex_ = itemIndex >= 0 && itemIndex < Count() ? itemIndex : -1;
    text_ = itemIndex_ >= 0 ? items_[static_cast<size_t>(itemIndex_)] : std::string();
    Changed();
}

void TComboModel::Add(std::string item) {
    items_.push_back(std::move(item));
    Changed();
}

void TComboModel::SetItemIndex(int index) {
    itemIndex_ = index >= 0 && index < Count() ? index : -1;
    if (itemIndex_ >= 0) text_ = items_[static_cast<size_t>(itemIndex_)];
    Changed();
}

void TComboModel::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    Changed();
}

void TComboModel::SetText(std::string text) {
    if (text_ == text) return;
    text_ = std::move(text);
    Changed();
}

}  // namespace tarnwick::session

#include "session/ControlStates.h"

#include <algorithm>

namespace tarnwick::session {

const TControlState& TControlStates::Get(std::string_view name) const {
    static const TControlState kUntouched;
    const auto it = states_.find(name);
    return it == states_.end() ? kUntouched : it->second;
}

TControlState& TControlStates::Slot(std::string_view name) {
    auto it = states_.find(name);
    if (it == states_.end()) it = states_.emplace(std::string(name), TControlState{}).first;
    return it->second;
}

void TControlStates::Touch(std::string_view name) {
    if (std::find(changed_.begin(), changed_.end(), name) == changed_.end())
        changed_.emplace_back(name);
    if (batch_ == 0) EndBatch();
}

void TControlStates::EndBatch() {
    if (batch_ > 0) --batch_;
    if (batch_ > 0 || changed_.empty()) return;
    notifier_.Notify(TChange::Controls);
    changed_.clear();
}

void TControlStates::SetEnabled(std::string_view name, bool enabled) {
    TControlState& s = Slot(name);
    if (s.Enabled == enabled) return;
    s.Enabled = enabled;
    Touch(name);
}

void TControlStates::SetEnabled(const std::vector<std::string_view>& names, bool enabled) {
    TControlBatch batch(*this);
    for (std::string_view n : names) SetEnabled(n, enabled);
}

void TControlStates::SetVisible(std::string_view name, bool visible) {
    TControlState& s = Slot(name);
    if (s.Visible == visible) return;
    s.Visible = visible;
    Touch(name);
}

void TControlStates::SetChecked(std::string_view name, bool checked) {
    TControlState& s = Slot(name);
    if (s.Checked == checked) return;
    s.Checked = checked;
    Touch(name);
}

void TControlStates::SetCaption(std::string_view name, std::string caption) {
    TControlState& s = Slot(name);
    if (s.Caption == caption) return;
    s.Caption = std::move(caption);
    Touch(name);
}

}  // namespace tarnwick::session

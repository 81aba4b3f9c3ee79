// The state of every named control of the main window (buttons, menu items, panels): enabled,
// visible, checked and caption, by the control's name ("sbConnect", "Disconnect1", "Panel9").
// A view shows the controls it has under the same names; one Controls notification follows
// each batch of changes.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "session/StateChange.h"

namespace tarnwick::session {

struct TControlState {
    bool Enabled = true;
    bool Visible = true;
    bool Checked = false;
    std::string Caption;
};

class TControlStates {
  public:
    explicit TControlStates(TStateNotifier& notifier) : notifier_(notifier) {}

    // The state of a control; a control never set is enabled, visible, unchecked.
    const TControlState& Get(std::string_view name) const;
    bool Enabled(std::string_view name) const { return Get(name).Enabled; }
    bool Visible(std::string_view name) const { return Get(name).Visible; }
    bool Checked(std::string_view name) const { return Get(name).Checked; }

    void SetEnabled(std::string_view name, bool enabled);
    void SetEnabled(const std::vector<std::string_view>& names, bool enabled);
    void SetVisible(std::string_view name, bool visible);
    void SetChecked(std::string_view name, bool checked);
    void SetCaption(std::string_view name, std::string caption);

    // Every control set so far, for a view that draws them all.
    const std::map<std::string, TControlState, std::less<>>& All() const { return states_; }
    // Names changed since the last notification went out (the view may redraw only those).
    const std::vector<std::string>& Changed() const { return changed_; }

    // Groups changes: one notification when the outermost batch ends.
    void BeginBatch() { ++batch_; }
    void EndBatch();

  private:
    TControlState& Slot(std::string_view name);
    void Touch(std::string_view name);

    TStateNotifier& notifier_;
    std::map<std::string, TControlState, std::less<>> states_;
    std::vector<std::string> changed_;
    int batch_ = 0;
};

// Changes made in one scope go out as one notification.
class TControlBatch {
  public:
    explicit TControlBatch(TControlStates& controls) : controls_(controls) {
        controls_.BeginBatch();
    }
    ~TControlBatch() { controls_.EndBatch(); }
    TControlBatch(const TControlBatch&) = delete;
    TControlBatch& operator=(const TControlBatch&) = delete;

  private:
    TControlStates& controls_;
};

}  // namespace tarnwick::session

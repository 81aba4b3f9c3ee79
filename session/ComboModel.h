// A drop-down box of the main window: the remote path box FTPPath and the custom command box
// cbCmd. Items are bytes as the server or the user gave them.
#pragma once

#include <string>
#include <vector>

#include "session/StateChange.h"

namespace tarnwick::session {

class TComboModel {
  public:
    TComboModel(std::string name, TStateNotifier& notifier, TChange kind)
        : name_(std::move(name)), notifier_(notifier), kind_(kind) {}

    const std::string& Name() const { return name_; }
    const std::vector<std::string>& Items() const { return items_; }
    int Count() const { return static_cast<int>(items_.size()); }
    int ItemIndex() const { return itemIndex_; }
    bool Enabled() const { return enabled_; }
    // The edit text: the selected item's text, or what the user typed into an editable box.
    const std::string& Text() const { return text_; }

    void Clear();
    void SetItems(std::vector<std::string> items, int itemIndex);
    void Add(std::string item);
    void SetItemIndex(int index);
    void SetEnabled(bool enabled);
    void SetText(std::string text);

  private:
    void Changed() { notifier_.Notify(kind_); }

    std::string name_;
    TStateNotifier& notifier_;
    TChange kind_;
    std::vector<std::string> items_;
    int itemIndex_ = -1;
    bool enabled_ = true;
    std::string text_;
};

}  // namespace tarnwick::session

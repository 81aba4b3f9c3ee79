#include "session/StateChange.h"

#include <algorithm>

namespace tarnwick::session {

void TStateNotifier::Subscription::Reset() {
    if (entry_) entry_->live = false;
    entry_.reset();
}

TStateNotifier::Subscription TStateNotifier::Subscribe(TChangeMask kinds, Callback callback) {
    auto entry = std::make_shared<Subscription::Entry>();
    entry->kinds = kinds;
    entry->callback = std::move(callback);
    std::erase_if(entries_, [](const auto& e) { return !e->live; });
    entries_.push_back(entry);
    return Subscription(std::move(entry));
}

void TStateNotifier::Notify(TChange kind) {
    // A copy: callbacks may subscribe or unsubscribe.
    const auto entries = entries_;
    for (const auto& e : entries) {
        if (e->live && Has(e->kinds, kind)) e->callback(kind);
    }
}

}  // namespace tarnwick::session

// What a view of the main window can be told has changed. A view subscribes for the kinds it
// draws and is called back once per change, never polled; pane models report their row ranges
// on their own (PaneModel.h), this notifier says which part of the window is affected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tarnwick::session {

enum class TChange : uint32_t {
    ServerList = 1u << 0,       // the right pane shows the saved servers anew
    RemoteDirectory = 1u << 1,  // the right pane shows a (new) remote listing
    LocalDirectory = 1u << 2,   // the local pane, its directory or drive box changed
    PathBox = 1u << 3,          // FTPPath: items, selection or enabled state
    Busy = 1u << 4,             // the cursor (default or hourglass) of the remote controls
    Log = 1u << 5,              // lines were appended to the log (or it was cleared)
    Controls = 1u << 6,         // enabled, visible, checked or caption of named controls
    Title = 1u << 7,            // Panel9, the right pane's title
    Status = 1u << 8,           // the selection status lines under the panes
    Progress = 1u << 9,         // the progress window appeared, changed or went
    CommandBox = 1u << 10,      // cbCmd: the custom command history or its text
    ViewStyle = 1u << 11,       // the view style or the font of a pane
    Layout = 1u << 12,          // pane widths (FormResize)
    Session = 1u << 13,         // connected, connecting or back in server mode
};

using TChangeMask = uint32_t;

constexpr TChangeMask operator|(TChange a, TChange b) {
    return static_cast<TChangeMask>(a) | static_cast<TChangeMask>(b);
}
constexpr TChangeMask operator|(TChangeMask a, TChange b) {
    return a | static_cast<TChangeMask>(b);
}
constexpr bool Has(TChangeMask mask, TChange kind) {
    return (mask & static_cast<TChangeMask>(kind)) != 0;
}

inline constexpr TChangeMask kAllChanges = ~TChangeMask{0};

// Subscribers are called in the order they subscribed. A subscription ends when its handle
// is destroyed; subscribing or unsubscribing inside a callback is safe.
class TStateNotifier {
  public:
    using Callback = std::function<void(TChange)>;

    class Subscription {
      public:
        Subscription() = default;
        Subscription(Subscription&&) noexcept = default;
        Subscription& operator=(Subscription&&) noexcept = default;
        ~Subscription() { Reset(); }
        void Reset();

      private:
        friend class TStateNotifier;
        struct Entry;
        explicit Subscription(std::shared_ptr<Entry> entry) : entry_(std::move(entry)) {}
        std::shared_ptr<Entry> entry_;
    };

    [[nodiscard]] Subscription Subscribe(TChangeMask kinds, Callback callback);
    void Notify(TChange kind);

  private:
    std::vector<std::shared_ptr<Subscription::Entry>> entries_;
};

struct TStateNotifier::Subscription::Entry {
    TChangeMask kinds = 0;
    Callback callback;
    bool live = true;
};

}  // namespace tarnwick::session

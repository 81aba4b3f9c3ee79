// The per-thread event loop: what hidden windows, posted messages, window timers and the
// processing of pending messages are on the original platform.
//
// - Message targets stand in for hidden windows: a target is a handler registered with
//   the loop of the calling thread; messages posted to it are delivered later, one at a
//   time, on that thread, in the order they were posted (one queue for all targets).
// - Socket readiness becomes posted socket notifications (SocketNotifier.h).
// - Timers post a message per interval, at most one of them waiting in the queue.
// - Everything the loop waits for is one epoll fd (Fd()), so a GUI can watch that fd and
//   call PumpMessages() when it becomes readable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <unordered_set>

namespace tarnwick::platform {

using TargetId = uint64_t;  // 0 = none
using TimerId = uint64_t;   // 0 = none
using Ticket = uint64_t;    // 0 = none

inline constexpr uint32_t kMsgUser = 1024;  // the user-message base

struct Message {
    TargetId target = 0;
    uint32_t msg = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    // Data that travels with the message (for instance a lookup's answer).
    std::shared_ptr<const void> payload;
    // A message posted under a ticket is delivered only while the ticket is live
    // (see EventLoop::NewTicket); revoking the ticket drops it even if already queued.
    Ticket ticket = 0;
    TimerId timer = 0;  // set on timer messages
};

using MessageHandler = std::function<void(const Message&)>;

class MessageQueue;
class SocketNotifier;

// Posts into one loop's queue from any thread. Posting to a loop that is gone does nothing.
class CrossThreadPoster {
  public:
    explicit CrossThreadPoster(std::shared_ptr<MessageQueue> queue) : queue_(std::move(queue)) {}
    void Post(Message message) const;

  private:
    std::shared_ptr<MessageQueue> queue_;
};

class EventLoop {
  public:
    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // The loop of the calling thread, created on first use and destroyed when the thread ends.
    static EventLoop& Current();

    // The one pollable fd: readable whenever there is something to do (a posted message,
    // socket readiness, a timer due, a message from another thread).
    int Fd() const { return epollFd_; }

    // Targets. Unregistering drops the target's pending messages (they are never delivered).
    TargetId RegisterTarget(MessageHandler handler);
    void UnregisterTarget(TargetId target);
    bool IsTarget(TargetId target) const { return handlers_.count(target) != 0; }

    // Queue a message for a target of this loop; false when the target is unknown.
    bool Post(TargetId target, uint32_t msg, uintptr_t wParam, intptr_t lParam);
    void Post(Message message);
    // For other threads.
    CrossThreadPoster Poster() const { return CrossThreadPoster(queue_); }

    // Tickets: a cancellable identity for a message that will be posted later, typically
    // from another thread. Revoking drops the message whether it is still to come or
    // already queued. Delivering a ticketed message consumes the ticket.
    Ticket NewTicket();
    bool RevokeTicket(Ticket ticket);  // false when the ticket was not live
    bool TicketLive(Ticket ticket) const { return tickets_.count(ticket) != 0; }

    // Timers: every intervalMs the message msg (wParam = the timer id) is posted to target,
    // unless the previous one is still waiting in the queue.
    TimerId StartTimer(TargetId target, uint32_t msg, uint32_t intervalMs);
    void StopTimer(TimerId timer);
    // Milliseconds until the next timer is due (0 when overdue), -1 when there is none.
    int NextTimerDelayMs() const;

    // Processes what is ready now without blocking: socket readiness and timers are turned
    // into messages, then the messages queued at that moment are delivered. Re-entrant: a
    // handler may call it again. Returns whether any message was delivered.
    bool PumpMessages();
    // Waits up to timeoutMs (-1: no limit) for something to become ready, then pumps.
    bool WaitAndPump(int timeoutMs);
    // Runs until Quit() (nested Run()s each need their own Quit()).
    void Run();
    void Quit() { quitRequested_ = true; }
    bool QuitRequested() const { return quitRequested_; }

    // A GUI that drives this loop from its own event loop installs a wait hook. The waits of
    // the engine and the sockets (WaitAndPump) then run the GUI's event processing for up to
    // timeoutMs instead of blocking here, so the window stays alive while they wait; the GUI
    // pumps this loop whenever Fd() becomes readable. An empty hook restores the own wait.
    using WaitHook = std::function<void(int timeoutMs)>;
    void SetWaitHook(WaitHook hook) { waitHook_ = std::move(hook); }

    SocketNotifier& Notifier() { return *notifier_; }
    size_t PendingCount() const;

  private:
    struct Timer {
        TargetId target;
        uint32_t msg;
        uint32_t intervalMs;
        uint64_t dueMs;
        bool queued;
    };

    void Poll(int timeoutMs);
    void FireTimers();
    void ArmTimerFd();
    bool DispatchOne();

    int epollFd_ = -1;
    int timerFd_ = -1;
    std::shared_ptr<MessageQueue> queue_;
    std::unique_ptr<SocketNotifier> notifier_;
    std::unordered_map<TargetId, std::shared_ptr<MessageHandler>> handlers_;
    std::unordered_set<Ticket> tickets_;
    std::unordered_map<TimerId, Timer> timers_;
    TargetId nextTarget_ = 1;
    TimerId nextTimer_ = 1;
    bool quitRequested_ = false;
    WaitHook waitHook_;
};

}  // namespace tarnwick::platform

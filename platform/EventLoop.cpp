#include "platform/EventLoop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/SocketNotifier.h"
#include "platform/TickCount.h"

namespace tarnwick::platform {

// The queue of one loop. Shared with other threads through CrossThreadPoster, so it
// locks; it owns the eventfd that wakes the loop's epoll when a message arrives.
class MessageQueue {
  public:
    MessageQueue() {
        wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd_ < 0) throw std::runtime_error("eventfd failed");
    }
    ~MessageQueue() { close(wakeFd_); }
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    int WakeFd() const { return wakeFd_; }

    void Push(Message message) {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(std::move(message));
        if (!wakePending_) {
            wakePending_ = true;
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof(one));
        }
    }

    bool Pop(Message& out) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (messages_.empty()) return false;
        out = std::move(messages_.front());
        messages_.pop_front();
        return true;
    }

    size_t Size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_.size();
    }

    void ClearWake() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!wakePending_) return;
        uint64_t value = 0;
        [[maybe_unused]] ssize_t n = read(wakeFd_, &value, sizeof(value));
        wakePending_ = false;
    }

    void RemoveTarget(TargetId target) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase_if(messages_, [target](const Message& m) { return m.target == target; });
    }

  private:
    mutable std::mutex mutex_;
    std::deque<Message> messages_;
    int wakeFd_ = -1;
    bool wakePending_ = false;
};

void CrossThreadPoster::Post(Message message) const {
    if (queue_) queue_->Push(std::move(message));
}

namespace {

constexpr int kMaxEventsPerPoll = 64;

void AddToEpoll(int epollFd, int fd) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    if (epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev) != 0) {
        throw std::runtime_error("epoll_ctl failed: " + std::to_string(errno));
    }
}

}  // namespace

EventLoop::EventLoop() {
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0) throw std::runtime_error("epoll_create1 failed");
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ < 0) {
        close(epollFd_);
        throw std::runtime_error("timerfd_create failed");
    }
    queue_ = std::make_shared<MessageQueue>();
    AddToEpoll(epollFd_, queue_->WakeFd());
    AddToEpoll(epollFd_, timerFd_);
    notifier_ = std::make_unique<SocketNotifier>(*this, epollFd_);
}

EventLoop::~EventLoop() {
    notifier_.reset();
    close(timerFd_);
    close(epollFd_);
}

EventLoop& EventLoop::Current() {
    thread_local std::unique_ptr<EventLoop> loop;
    if (!loop) loop = std::make_unique<EventLoop>();
    return *loop;
}

TargetId EventLoop::RegisterTarget(MessageHandler handler) {
    const TargetId id = nextTarget_++;
    handlers_.emplace(id, std::make_shared<MessageHandler>(std::move(handler)));
    return id;
}

void EventLoop::UnregisterTarget(TargetId target) {
    if (handlers_.erase(target) != 0) queue_->RemoveTarget(target);
}

bool EventLoop::Post(TargetId target, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (!IsTarget(target)) return false;
    Message m;
    m.target = target;
    m.msg = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    queue_->Push(std::move(m));
    return true;
}

void EventLoop::Post(Message message) {
    queue_->Push(std::move(message));
}

size_t EventLoop::PendingCount() const {
    return queue_->Size();
}

Ticket EventLoop::NewTicket() {
    static std::atomic<Ticket> next{1};
    const Ticket t = next++;
    tickets_.insert(t);
    return t;
}

bool EventLoop::RevokeTicket(Ticket ticket) {
    return tickets_.erase(ticket) != 0;
}

TimerId EventLoop::StartTimer(TargetId target, uint32_t msg, uint32_t intervalMs) {
    if (intervalMs == 0) intervalMs = 1;
    const TimerId id = nextTimer_++;
    timers_[id] = Timer{target, msg, intervalMs, GetTickCount() + intervalMs, false};
    ArmTimerFd();
    return id;
}

void EventLoop::StopTimer(TimerId timer) {
    if (timers_.erase(timer) != 0) ArmTimerFd();
}

int EventLoop::NextTimerDelayMs() const {
    if (timers_.empty()) return -1;
    uint64_t earliest = UINT64_MAX;
    for (const auto& [id, t] : timers_) {
        if (!t.queued && t.dueMs < earliest) earliest = t.dueMs;
    }
    if (earliest == UINT64_MAX) return -1;  // every timer has a message waiting
    const uint64_t now = GetTickCount();
    return earliest <= now ? 0 : static_cast<int>(earliest - now);
}

void EventLoop::ArmTimerFd() {
    itimerspec spec{};
    const int delay = NextTimerDelayMs();
    if (delay >= 0) {
        // Relative, at least 1 ns: a zero it_value would disarm the timer.
        const long ns = delay == 0 ? 1 : 0;
        spec.it_value.tv_sec = delay / 1000;
        spec.it_value.tv_nsec = static_cast<long>(delay % 1000) * 1000000L + ns;
    }
    timerfd_settime(timerFd_, 0, &spec, nullptr);
}

void EventLoop::FireTimers() {
    const uint64_t now = GetTickCount();
    bool fired = false;
    for (auto& [id, t] : timers_) {
        if (t.queued || t.dueMs > now) continue;
        Message m;
        m.target = t.target;
        m.msg = t.msg;
        m.wParam = id;
        m.timer = id;
        t.queued = true;
        t.dueMs = now + t.intervalMs;
        queue_->Push(std::move(m));
        fired = true;
    }
    if (fired) ArmTimerFd();
}

void EventLoop::Poll(int timeoutMs) {
    epoll_event events[kMaxEventsPerPoll];
    int n = epoll_wait(epollFd_, events, kMaxEventsPerPoll, timeoutMs);
    if (n < 0) n = 0;  // EINTR: nothing ready
    for (int i = 0; i < n; ++i) {
        const int fd = events[i].data.fd;
        if (fd == queue_->WakeFd()) continue;  // cleared below
        if (fd == timerFd_) {
            uint64_t expirations = 0;
            [[maybe_unused]] ssize_t r = read(timerFd_, &expirations, sizeof(expirations));
            continue;
        }
        notifier_->OnReady(fd, events[i].events);
    }
    FireTimers();
    queue_->ClearWake();
}

bool EventLoop::DispatchOne() {
    Message m;
    if (!queue_->Pop(m)) return false;
    if (m.ticket != 0 && tickets_.erase(m.ticket) == 0) return true;  // revoked
    if (m.timer != 0) {
        auto t = timers_.find(m.timer);
        if (t == timers_.end()) return true;  // stopped while the message waited
        t->second.queued = false;
        ArmTimerFd();
    }
    auto h = handlers_.find(m.target);
    if (h == handlers_.end()) return true;                // target gone
    std::shared_ptr<MessageHandler> handler = h->second;  // survives an unregister inside
    (*handler)(m);
    return true;
}

bool EventLoop::PumpMessages() {
    Poll(0);
    size_t count = queue_->Size();
    bool any = false;
    while (count-- > 0 && DispatchOne()) any = true;
    return any;
}

bool EventLoop::WaitAndPump(int timeoutMs) {
    if (waitHook_ && queue_->Size() == 0) {
        const WaitHook hook = waitHook_;  // the hook may be replaced while it runs
        hook(timeoutMs);
    } else if (queue_->Size() == 0) {
        Poll(timeoutMs);
    }
    return PumpMessages();
}

void EventLoop::Run() {
    while (!quitRequested_) WaitAndPump(-1);
    quitRequested_ = false;
}

}  // namespace tarnwick::platform

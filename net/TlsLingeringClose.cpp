#include "net/TlsLingeringClose.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/TickCount.h"

namespace tarnwick::net {

namespace {

constexpr size_t kDiscardChunk = 4096;

// Reads and drops what is there; true while the peer may still send.
bool DrainOpen(int fd) {
    char scratch[kDiscardChunk];
    for (;;) {
        const ssize_t n = ::recv(fd, scratch, sizeof(scratch), MSG_DONTWAIT);
        if (n > 0) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
        return false;  // the peer closed, or the connection broke
    }
}

}  // namespace

TTlsLingeringClose::TTlsLingeringClose(platform::EventLoop& loop, platform::TargetId target,
                                       uint32_t msg)
    : loop_(loop), target_(target), msg_(msg) {}

TTlsLingeringClose::~TTlsLingeringClose() {
    if (timer_ != 0) loop_.StopTimer(timer_);
    for (const Kept& k : kept_) ::close(k.fd);
}

void TTlsLingeringClose::Adopt(int fd) {
    const int copy = ::dup(fd);
    if (copy < 0) return;
    if (!DrainOpen(copy)) {
        ::close(copy);
        return;
    }
    if (kept_.size() >= kMaxKept) {
        ::close(kept_.front().fd);
        kept_.erase(kept_.begin());
    }
    const uint64_t now = platform::GetTickCount();
    kept_.push_back({copy, now + kFinAfterMs, now + kLingerMs, false});
    if (timer_ == 0) timer_ = loop_.StartTimer(target_, msg_, kPollMs);
}

void TTlsLingeringClose::Poll() {
    const uint64_t now = platform::GetTickCount();
    for (size_t i = 0; i < kept_.size();) {
        Kept& k = kept_[i];
        if (now < k.deadline && DrainOpen(k.fd)) {
            if (!k.finSent && now >= k.finAt) {
                k.finSent = true;
                ::shutdown(k.fd, SHUT_WR);
            }
            ++i;
            continue;
        }
        ::close(kept_[i].fd);
        kept_.erase(kept_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (kept_.empty() && timer_ != 0) {
        loop_.StopTimer(timer_);
        timer_ = 0;
    }
}

}  // namespace tarnwick::net

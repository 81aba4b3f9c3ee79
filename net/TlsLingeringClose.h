// TTlsLingeringClose: closes TLS connections the way the peer can read them to the end.
// After close_notify the connection is kept (a duplicate of its descriptor) while what the
// peer still sends (TLS 1.3 session tickets that arrive after the last upload byte left)
// is read and dropped, until the peer closes or a deadline passes: a connection closed
// with unread bytes, or that receives bytes once closed, is reset, and a reset throws away
// what the peer had not read yet. The end of stream goes only once the peer closed or
// after kFinAfterMs: a proxy in between (microsocks) drops both legs on the first end of
// stream it sees.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/EventLoop.h"

namespace tarnwick::net {

class TTlsLingeringClose {
  public:
    static constexpr uint32_t kPollMs = 20;
    static constexpr uint64_t kFinAfterMs = 2000;
    static constexpr uint64_t kLingerMs = 30000;

    // target/msg: where the polling timer's messages go (the owner passes them to Poll).
    TTlsLingeringClose(platform::EventLoop& loop, platform::TargetId target, uint32_t msg);
    ~TTlsLingeringClose();
    TTlsLingeringClose(const TTlsLingeringClose&) = delete;
    TTlsLingeringClose& operator=(const TTlsLingeringClose&) = delete;

    // Keeps a duplicate of fd (close_notify sent) until the peer is done.
    void Adopt(int fd);
    // One look at every kept connection; the timer's message lands here.
    void Poll();
    size_t Count() const { return kept_.size(); }

  private:
    struct Kept {
        int fd;
        uint64_t finAt;
        uint64_t deadline;
        bool finSent;
    };
    static constexpr size_t kMaxKept = 16;

    platform::EventLoop& loop_;
    platform::TargetId target_;
    uint32_t msg_;
    platform::TimerId timer_ = 0;
    std::vector<Kept> kept_;
};

}  // namespace tarnwick::net

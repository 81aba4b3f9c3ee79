#include "platform/SocketNotifier.h"

#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/ErrorCodes.h"

namespace tarnwick::platform {

namespace {

int PendingSocketErrno(int fd) {
    int err = 0;
    socklen_t len = sizeof(err);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
    return err;
}

int BytesReadable(int fd) {
    int count = 0;
    if (ioctl(fd, FIONREAD, &count) != 0) return 0;
    return count;
}

bool IsListening(int fd) {
    int on = 0;
    socklen_t len = sizeof(on);
    return getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &on, &len) == 0 && on != 0;
}

bool HasPeer(int fd) {
    sockaddr_storage peer{};
    socklen_t len = sizeof(peer);
    return getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0;
}

}  // namespace

SocketNotifier::~SocketNotifier() = default;

SocketNotifier::Registration& SocketNotifier::Ensure(int fd, uintptr_t handle) {
    auto it = regs_.find(fd);
    if (it != regs_.end() && it->second.handle != handle) {
        Forget(fd);
        it = regs_.end();
    }
    if (it != regs_.end()) return it->second;
    Registration& reg = regs_[fd];
    reg.handle = handle;
    int type = SOCK_STREAM;
    socklen_t len = sizeof(type);
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) == 0) reg.stream = (type == SOCK_STREAM);
    if (!reg.stream) {
        reg.phase = Phase::Connected;  // datagrams need no connection
    } else if (IsListening(fd)) {
        reg.phase = Phase::Listening;
    } else if (HasPeer(fd)) {
        reg.phase = Phase::Connected;  // an accepted or already connected handle
    }
    return reg;
}

int SocketNotifier::Select(int fd, uintptr_t handle, TargetId target, uint32_t msg, uint32_t mask) {
    int type = 0;
    socklen_t len = sizeof(type);
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) != 0) return errno;
    Registration& reg = Ensure(fd, handle);
    if (reg.phase == Phase::Unconnected && IsListening(fd)) reg.phase = Phase::Listening;
    reg.target = target;
    reg.msg = msg;
    reg.mask = (target != 0 && msg != 0) ? mask : 0;
    // Selecting again re-enables the conditions that hold now: data still waiting or a
    // connection still pending is announced anew (a notification dropped while events
    // were suspended is not lost).
    reg.readArmed = true;
    reg.acceptArmed = true;
    // A close that happened while nobody asked for it is announced once asked.
    if (reg.phase == Phase::Connected && reg.peerClosed && !reg.closePosted &&
        (reg.mask & kFdClose) != 0) {
        reg.closePosted = true;
        Notify(reg, kFdClose, 0);
    }
    UpdateInterest(fd, reg);
    return 0;
}

void SocketNotifier::ConnectStarted(int fd, uintptr_t handle, int connectErrno) {
    Registration& reg = Ensure(fd, handle);
    if (connectErrno != 0) {
        ConnectFinished(fd, reg, SocketErrorFromErrno(connectErrno));
        return;
    }
    reg.phase = Phase::Connecting;
    UpdateInterest(fd, reg);
}

void SocketNotifier::ConnectFinished(int fd, Registration& reg, int code) {
    Notify(reg, kFdConnect, code);
    if (code == 0) {
        reg.phase = Phase::Connected;
        if (reg.writeWanted) {
            reg.writeWanted = false;
            Notify(reg, kFdWrite, 0);
        }
    } else {
        reg.phase = Phase::Failed;
    }
    UpdateInterest(fd, reg);
}

void SocketNotifier::Received(int fd) {
    auto it = regs_.find(fd);
    if (it == regs_.end() || it->second.readArmed) return;
    it->second.readArmed = true;
    UpdateInterest(fd, it->second);
}

void SocketNotifier::SendBlocked(int fd) {
    auto it = regs_.find(fd);
    if (it == regs_.end() || it->second.writeWanted) return;
    it->second.writeWanted = true;
    UpdateInterest(fd, it->second);
}

void SocketNotifier::Accepted(int fd) {
    auto it = regs_.find(fd);
    if (it == regs_.end() || it->second.acceptArmed) return;
    it->second.acceptArmed = true;
    UpdateInterest(fd, it->second);
}

void SocketNotifier::AcceptedConnection(int fd, uintptr_t handle) {
    Registration& reg = Ensure(fd, handle);
    if (reg.stream) reg.phase = Phase::Connected;
}

void SocketNotifier::Forget(int fd) {
    auto it = regs_.find(fd);
    if (it == regs_.end()) return;
    if (it->second.inEpoll) epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
    regs_.erase(it);
}

void SocketNotifier::Notify(const Registration& reg, uint16_t event, int error) {
    if ((reg.mask & event) == 0 || reg.target == 0 || reg.msg == 0) return;
    loop_.Post(reg.target, reg.msg, reg.handle,
               MakeSelectReply(event, static_cast<uint16_t>(error)));
}

uint32_t SocketNotifier::WantedEvents(int fd, const Registration& reg) const {
    if (reg.mask == 0) return 0;
    switch (reg.phase) {
        case Phase::Connecting:
            return static_cast<uint32_t>(
                EPOLLOUT);  // completion, success or failure, shows as writable or error
        case Phase::Listening:
            return (reg.acceptArmed && (reg.mask & kFdAccept) != 0) ? static_cast<uint32_t>(EPOLLIN)
                                                                    : 0u;
        case Phase::Connected: {
            if (reg.hangup) return 0;
            uint32_t events = 0;
            // After the peer's FIN the socket stays readable (end of stream) for ever: ask
            // for readability only while real data is waiting.
            if ((reg.mask & kFdRead) != 0 && reg.readArmed &&
                (!reg.peerClosed || BytesReadable(fd) > 0)) {
                events |= EPOLLIN;
            }
            if ((reg.mask & kFdWrite) != 0 && reg.writeWanted) events |= EPOLLOUT;
            if (reg.stream && !reg.peerClosed) events |= EPOLLRDHUP;
            return events;
        }
        default:
            return 0;
    }
}

void SocketNotifier::UpdateInterest(int fd, Registration& reg) {
    const uint32_t want = WantedEvents(fd, reg);
    if (want == 0) {
        // Out of the epoll set altogether: hang-ups and errors are reported even for an
        // empty interest and would wake the loop for nothing.
        if (reg.inEpoll) epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
        reg.inEpoll = false;
        reg.interest = 0;
        return;
    }
    if (reg.inEpoll && want == reg.interest) return;
    epoll_event ev{};
    ev.events = want;
    ev.data.fd = fd;
    int rc = epoll_ctl(epollFd_, reg.inEpoll ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev);
    if (rc != 0 && errno == ENOENT) rc = epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev);
    if (rc != 0 && errno == EEXIST) rc = epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &ev);
    reg.inEpoll = (rc == 0);
    reg.interest = reg.inEpoll ? want : 0;
}

void SocketNotifier::OnReady(int fd, uint32_t events) {
    auto it = regs_.find(fd);
    if (it == regs_.end()) {
        epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
        return;
    }
    Registration& reg = it->second;
    const bool trouble = (events & (EPOLLERR | EPOLLHUP)) != 0;
    switch (reg.phase) {
        case Phase::Connecting: {
            int err = PendingSocketErrno(fd);
            if (err == 0 && trouble && !HasPeer(fd)) err = ENOTCONN;
            ConnectFinished(fd, reg, SocketErrorFromErrno(err));
            return;
        }
        case Phase::Listening:
            if ((events & EPOLLIN) != 0 && reg.acceptArmed) {
                reg.acceptArmed = false;
                Notify(reg, kFdAccept, 0);
            }
            if (trouble) {
                PendingSocketErrno(fd);
                reg.phase = Phase::Failed;
            }
            break;
        case Phase::Connected: {
            int closeCode = 0;
            if (reg.stream) {
                if ((events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0) reg.peerClosed = true;
                if (trouble) {
                    closeCode = SocketErrorFromErrno(PendingSocketErrno(fd));
                    if ((events & EPOLLHUP) != 0) reg.hangup = true;
                }
            } else if ((events & EPOLLERR) != 0) {
                PendingSocketErrno(fd);  // a datagram error: clear it, nothing to report
            }
            if ((events & EPOLLIN) != 0 && reg.readArmed && (reg.mask & kFdRead) != 0 &&
                (!reg.peerClosed || BytesReadable(fd) > 0)) {
                reg.readArmed = false;
                Notify(reg, kFdRead, 0);
            }
            if ((events & EPOLLOUT) != 0 && reg.writeWanted && (reg.mask & kFdWrite) != 0) {
                reg.writeWanted = false;
                Notify(reg, kFdWrite, 0);
            }
            if (reg.stream && reg.peerClosed && !reg.closePosted && (reg.mask & kFdClose) != 0) {
                reg.closePosted = true;
                Notify(reg, kFdClose, closeCode);
            }
            break;
        }
        default:
            break;
    }
    UpdateInterest(fd, reg);
}

}  // namespace tarnwick::platform

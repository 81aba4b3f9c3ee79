// Socket readiness turned into posted socket notifications, with the re-enabling rules of
// the original platform's asynchronous select:
// - connect: once, when a connect started on the socket completes, carrying the connect
//   error read from the socket (0 on success);
// - read: when data is readable; posted again only after a receive was done on the socket
//   while data stays unread, so at most one read notification waits in the queue;
// - write: once after the connection is made (or when a connected socket is first
//   selected), then only after a send could not take everything (would-block or a partial
//   send) and room came back;
// - accept: when a connection is pending; again only after an accept was done;
// - close: once, when the peer closed or reset the connection; readable data still held is
//   announced by a read notification first.
// Each notification is a message (msg chosen by the caller) whose wParam is the socket
// handle it was issued for and whose lParam holds the event bit (low 16 bits) and the
// error (high 16 bits), see MakeSelectReply.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "platform/EventLoop.h"

namespace tarnwick::platform {

inline constexpr uint16_t kFdRead = 1;
inline constexpr uint16_t kFdWrite = 2;
inline constexpr uint16_t kFdOob = 4;
inline constexpr uint16_t kFdAccept = 8;
inline constexpr uint16_t kFdConnect = 16;
inline constexpr uint16_t kFdClose = 32;

inline intptr_t MakeSelectReply(uint16_t event, uint16_t error) {
    return static_cast<intptr_t>((static_cast<uint32_t>(error) << 16) | event);
}
inline uint16_t SelectEvent(intptr_t lParam) {
    return static_cast<uint16_t>(lParam & 0xFFFF);
}
inline uint16_t SelectError(intptr_t lParam) {
    return static_cast<uint16_t>((static_cast<uint32_t>(lParam) >> 16) & 0xFFFF);
}

class SocketNotifier {
  public:
    SocketNotifier(EventLoop& loop, int epollFd) : loop_(loop), epollFd_(epollFd) {}
    ~SocketNotifier();
    SocketNotifier(const SocketNotifier&) = delete;
    SocketNotifier& operator=(const SocketNotifier&) = delete;

    // Requests notifications for fd as msg to target; mask 0 (or msg 0) stops them.
    // handle is what the notifications carry in wParam. Returns 0 or an errno.
    int Select(int fd, uintptr_t handle, TargetId target, uint32_t msg, uint32_t mask);

    // Called by the socket calls after the corresponding operation on fd.
    // connectErrno: 0 when the connect is in progress or done, else the errno of a connect
    // that failed at once (reported through the connect notification like a late failure).
    void ConnectStarted(int fd, uintptr_t handle, int connectErrno);
    void Received(int fd);
    void SendBlocked(int fd);
    void Accepted(int fd);
    // A handle returned by accept: connected from the start, also when the peer has closed
    // or reset it since (the connection can no longer tell), so that its close is
    // announced once it is selected.
    void AcceptedConnection(int fd, uintptr_t handle);
    // Before the fd is closed.
    void Forget(int fd);

    // From the loop: epoll reported events for fd.
    void OnReady(int fd, uint32_t events);
    bool Watches(int fd) const { return regs_.count(fd) != 0; }

  private:
    enum class Phase { Unconnected, Connecting, Connected, Listening, Failed };

    struct Registration {
        uintptr_t handle = 0;
        TargetId target = 0;
        uint32_t msg = 0;
        uint32_t mask = 0;
        Phase phase = Phase::Unconnected;
        bool stream = true;
        bool readArmed = true;
        bool writeWanted = true;
        bool acceptArmed = true;
        bool closePosted = false;
        bool peerClosed = false;  // FIN seen: EOF behind the readable data
        bool hangup = false;      // reset or both directions shut: nothing more will come
        uint32_t interest = 0;    // the epoll events currently asked for
        bool inEpoll = false;
    };

    Registration& Ensure(int fd, uintptr_t handle);
    void Notify(const Registration& reg, uint16_t event, int error);
    void UpdateInterest(int fd, Registration& reg);
    uint32_t WantedEvents(int fd, const Registration& reg) const;
    void ConnectFinished(int fd, Registration& reg, int code);

    EventLoop& loop_;
    int epollFd_;
    std::unordered_map<int, Registration> regs_;
};

}  // namespace tarnwick::platform

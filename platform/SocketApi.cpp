#include "platform/SocketApi.h"

#include <arpa/inet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/ErrorCodes.h"
#include "platform/SocketNotifier.h"

namespace tarnwick::platform {

namespace {

thread_local int tlsLastError = 0;

// Process-wide: which generation of each fd is the live socket handle.
class HandleTable {
  public:
    TSocket Add(int fd) {
        std::lock_guard<std::mutex> lock(mutex_);
        uint32_t gen = nextGeneration_++;
        if (gen == 0 || gen == UINT32_MAX) gen = nextGeneration_++;  // never 0 nor all ones
        generations_[fd] = gen;
        return (static_cast<TSocket>(gen) << 32) | static_cast<uint32_t>(fd);
    }
    int Fd(TSocket s) const {
        if (s == kInvalidSocket || s == 0) return -1;
        const int fd = static_cast<int>(s & 0xFFFFFFFFu);
        const auto gen = static_cast<uint32_t>(s >> 32);
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = generations_.find(fd);
        return (it != generations_.end() && it->second == gen) ? fd : -1;
    }
    void Remove(int fd) {
        std::lock_guard<std::mutex> lock(mutex_);
        generations_.erase(fd);
    }

  private:
    mutable std::mutex mutex_;
    std::unordered_map<int, uint32_t> generations_;
    uint32_t nextGeneration_ = 1;
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

int Fail(int code) {
    tlsLastError = code;
    return kSocketError;
}

int FailErrno(int err) {
    return Fail(SocketErrorFromErrno(err));
}

// The fd of s, or -1 with 10038 set.
int FdOrFail(TSocket s) {
    const int fd = Handles().Fd(s);
    if (fd < 0) tlsLastError = kErrNotSocket;
    return fd;
}

SocketNotifier& Notifier() {
    return EventLoop::Current().Notifier();
}

// Failures of a non-blocking connect that the original platform reports through the
// connect notification rather than from the call.
bool ReportedLater(int err) {
    return err == ECONNREFUSED || err == ETIMEDOUT || err == ENETUNREACH || err == EHOSTUNREACH;
}

}  // namespace

int SocketLastError() {
    return tlsLastError;
}
void SetSocketLastError(int code) {
    tlsLastError = code;
}

int SocketFd(TSocket s) {
    return Handles().Fd(s);
}

TSocket SocketOpen(int family, int type, int protocol) {
    const int fd = socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        FailErrno(errno);
        return kInvalidSocket;
    }
    return Handles().Add(fd);
}

int SocketClose(TSocket s) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    Notifier().Forget(fd);
    Handles().Remove(fd);
    // A lingering close with a timeout would block this thread (the event loop's) until
    // the unsent bytes are out or the time is up; the kernel delivers them in the
    // background after a normal close instead. A zero timeout (reset) is left alone.
    linger value{};
    socklen_t len = sizeof(value);
    if (getsockopt(fd, SOL_SOCKET, SO_LINGER, &value, &len) == 0 && value.l_onoff != 0 &&
        value.l_linger > 0) {
        value.l_onoff = 0;
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof(value));
    }
    close(fd);  // the fd is released whatever close() answers
    return 0;
}

int SocketBind(TSocket s, const sockaddr_in& addr) {
    return SocketBind(s, SocketAddress::FromIPv4(addr));
}

int SocketBind(TSocket s, const SocketAddress& addr) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    if (bind(fd, addr.Raw(), addr.Length()) != 0) return FailErrno(errno);
    return 0;
}

int SocketListen(TSocket s, int backlog) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    if (listen(fd, backlog) != 0) return FailErrno(errno);
    return 0;
}

namespace {

// accept4 into raw (room for any address), len in/out.
TSocket AcceptInto(TSocket s, sockaddr* raw, socklen_t* len) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kInvalidSocket;
    const int newFd = accept4(fd, raw, len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    const int err = errno;
    Notifier().Accepted(fd);
    if (newFd < 0) {
        FailErrno(err);
        return kInvalidSocket;
    }
    const TSocket handle = Handles().Add(newFd);
    Notifier().AcceptedConnection(newFd, handle);
    return handle;
}

}  // namespace

TSocket SocketAccept(TSocket s, sockaddr_in* addr, int* addrLen) {
    // An IPv6 peer fills only what an IPv4 address holds; its full length is reported.
    sockaddr_storage peer{};
    socklen_t len = sizeof(peer);
    const TSocket handle = AcceptInto(s, reinterpret_cast<sockaddr*>(&peer), &len);
    if (handle == kInvalidSocket) return handle;
    if (addr != nullptr) std::memcpy(addr, &peer, sizeof(*addr));
    if (addrLen != nullptr) *addrLen = static_cast<int>(len);
    return handle;
}

TSocket SocketAccept(TSocket s, SocketAddress* peer) {
    sockaddr_storage raw{};
    socklen_t len = sizeof(raw);
    const TSocket handle = AcceptInto(s, reinterpret_cast<sockaddr*>(&raw), &len);
    if (handle != kInvalidSocket && peer != nullptr)
        peer->Assign(reinterpret_cast<const sockaddr*>(&raw), len);
    return handle;
}

int SocketConnect(TSocket s, const sockaddr_in& addr) {
    return SocketConnect(s, SocketAddress::FromIPv4(addr));
}

int SocketConnect(TSocket s, const SocketAddress& addr) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    if (connect(fd, addr.Raw(), addr.Length()) == 0) {
        Notifier().ConnectStarted(fd, s, 0);
        return 0;
    }
    const int err = errno;
    if (err == EINPROGRESS || ReportedLater(err)) {
        Notifier().ConnectStarted(fd, s, err == EINPROGRESS ? 0 : err);
        return Fail(kErrWouldBlock);
    }
    return FailErrno(err);
}

int SocketShutdown(TSocket s, int how) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    if (shutdown(fd, how) != 0) return FailErrno(errno);
    return 0;
}

int SocketSend(TSocket s, const void* data, int len, int flags) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    if (len < 0) return Fail(kErrInvalidArgument);
    const ssize_t n = send(fd, data, static_cast<size_t>(len), flags | MSG_NOSIGNAL);
    if (n < 0) {
        const int err = errno;
        if (err == EAGAIN || err == EWOULDBLOCK) Notifier().SendBlocked(fd);
        return FailErrno(err);
    }
    if (n < len) Notifier().SendBlocked(fd);  // the stack is full: wait for room
    return static_cast<int>(n);
}

int SocketSendTo(TSocket s, const void* data, int len, int flags, const sockaddr_in& to) {
    return SocketSendTo(s, data, len, flags, SocketAddress::FromIPv4(to));
}

int SocketSendTo(TSocket s, const void* data, int len, int flags, const SocketAddress& to) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    if (len < 0) return Fail(kErrInvalidArgument);
    const ssize_t n =
        sendto(fd, data, static_cast<size_t>(len), flags | MSG_NOSIGNAL, to.Raw(), to.Length());
    if (n < 0) {
        const int err = errno;
        if (err == EAGAIN || err == EWOULDBLOCK) Notifier().SendBlocked(fd);
        return FailErrno(err);
    }
    return static_cast<int>(n);
}

int SocketRecv(TSocket s, void* buffer, int len, int flags) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    if (len < 0) return Fail(kErrInvalidArgument);
    const ssize_t n = recv(fd, buffer, static_cast<size_t>(len), flags);
    const int err = errno;
    Notifier().Received(fd);
    if (n < 0) return FailErrno(err);
    return static_cast<int>(n);
}

int SocketRecvFrom(TSocket s, void* buffer, int len, int flags, sockaddr_in* from, int* fromLen) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    if (len < 0) return Fail(kErrInvalidArgument);
    sockaddr_in peer{};
    socklen_t plen = sizeof(peer);
    const ssize_t n = recvfrom(fd, buffer, static_cast<size_t>(len), flags,
                               reinterpret_cast<sockaddr*>(&peer), &plen);
    const int err = errno;
    Notifier().Received(fd);
    if (n < 0) return FailErrno(err);
    if (from != nullptr) *from = peer;
    if (fromLen != nullptr) *fromLen = static_cast<int>(plen);
    return static_cast<int>(n);
}

int SocketSetOpt(TSocket s, int level, int option, const void* value, int len) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    if (len < 0) return Fail(kErrFault);
    if (setsockopt(fd, level, option, value, static_cast<socklen_t>(len)) != 0)
        return FailErrno(errno);
    return 0;
}

int SocketGetOpt(TSocket s, int level, int option, void* value, int* len) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    if (len == nullptr || *len < 0) return Fail(kErrFault);
    socklen_t l = static_cast<socklen_t>(*len);
    if (getsockopt(fd, level, option, value, &l) != 0) return FailErrno(errno);
    *len = static_cast<int>(l);
    return 0;
}

int SocketReadable(TSocket s, unsigned long* count) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    int n = 0;
    if (ioctl(fd, FIONREAD, &n) != 0) return FailErrno(errno);
    *count = n < 0 ? 0 : static_cast<unsigned long>(n);
    return 0;
}

namespace {

using NameCall = int (*)(int, sockaddr*, socklen_t*);

int AddressOf(TSocket s, NameCall call, sockaddr_storage& found, socklen_t& l) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    l = sizeof(found);
    if (call(fd, reinterpret_cast<sockaddr*>(&found), &l) != 0) return FailErrno(errno);
    return 0;
}

// An IPv6 address fills only what an IPv4 address holds; its full length is reported.
int AddressOf(TSocket s, NameCall call, sockaddr_in* addr, int* len) {
    sockaddr_storage found{};
    socklen_t l = 0;
    if (AddressOf(s, call, found, l) != 0) return kSocketError;
    if (addr != nullptr) std::memcpy(addr, &found, sizeof(*addr));
    if (len != nullptr) *len = static_cast<int>(l);
    return 0;
}

int AddressOf(TSocket s, NameCall call, SocketAddress* addr) {
    sockaddr_storage found{};
    socklen_t l = 0;
    if (AddressOf(s, call, found, l) != 0) return kSocketError;
    if (addr != nullptr && !addr->Assign(reinterpret_cast<const sockaddr*>(&found), l))
        return Fail(kErrAfNoSupport);
    return 0;
}

}  // namespace

int SocketGetSockName(TSocket s, sockaddr_in* addr, int* len) {
    return AddressOf(s, getsockname, addr, len);
}

int SocketGetPeerName(TSocket s, sockaddr_in* addr, int* len) {
    return AddressOf(s, getpeername, addr, len);
}

int SocketGetSockName(TSocket s, SocketAddress* addr) {
    return AddressOf(s, getsockname, addr);
}

int SocketGetPeerName(TSocket s, SocketAddress* addr) {
    return AddressOf(s, getpeername, addr);
}

int SocketFamily(TSocket s) {
    SocketAddress local;
    if (SocketGetSockName(s, &local) != 0) return kSocketError;
    return local.Family();
}

int SocketAsyncSelect(TSocket s, TargetId target, uint32_t msg, uint32_t mask) {
    const int fd = FdOrFail(s);
    if (fd < 0) return kSocketError;
    const int err = Notifier().Select(fd, s, target, msg, mask);
    if (err != 0) return FailErrno(err);
    return 0;
}

uint32_t InetAddr(const std::string& text) {
    return inet_addr(text.c_str());
}

std::string InetNtoa(uint32_t addressNetworkOrder) {
    char buf[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = addressNetworkOrder;
    inet_ntop(AF_INET, &a, buf, sizeof(buf));
    return buf;
}

}  // namespace tarnwick::platform

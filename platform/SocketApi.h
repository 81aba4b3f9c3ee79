// The socket calls the socket layer is built on, in the shape of the original platform's
// socket library: non-blocking IPv4 and IPv6 sockets behind opaque handles, -1 (kSocketError) on
// failure with the error code (ErrorCodes.h) kept per thread for SocketLastError(), and
// readiness notifications through SocketAsyncSelect (SocketNotifier.h).
//
// A handle carries the fd and a generation number, so a handle that was closed never
// matches a later socket that reuses the same fd: calls on it fail with 10038 and a
// notification queued for it is recognisably stale.
//
// The calls that re-enable notifications (receive, send that could not take everything,
// accept, connect) tell the calling thread's event loop, so a socket must be used on the
// thread that selected it.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "platform/EventLoop.h"
#include "platform/SocketAddress.h"

namespace tarnwick::platform {

using TSocket = uint64_t;
inline constexpr TSocket kInvalidSocket = ~TSocket{0};
inline constexpr int kSocketError = -1;
inline constexpr int kMsgOob = 1;  // send and receive flag: out-of-band data

int SocketLastError();
void SetSocketLastError(int code);

// The fd behind a live handle, -1 when the handle is not (or no longer) open.
int SocketFd(TSocket s);

TSocket SocketOpen(int family, int type, int protocol);
int SocketClose(TSocket s);
int SocketBind(TSocket s, const sockaddr_in& addr);
int SocketListen(TSocket s, int backlog);
// addr and addrLen may be null; addrLen is in/out as with accept().
TSocket SocketAccept(TSocket s, sockaddr_in* addr, int* addrLen);
// Returns -1 with 10035 while the connection is being made: its end, success or failure,
// comes as the connect notification.
int SocketConnect(TSocket s, const sockaddr_in& addr);
int SocketShutdown(TSocket s, int how);
int SocketSend(TSocket s, const void* data, int len, int flags);
int SocketSendTo(TSocket s, const void* data, int len, int flags, const sockaddr_in& to);
int SocketRecv(TSocket s, void* buffer, int len, int flags);
int SocketRecvFrom(TSocket s, void* buffer, int len, int flags, sockaddr_in* from, int* fromLen);
int SocketSetOpt(TSocket s, int level, int option, const void* value, int len);
int SocketGetOpt(TSocket s, int level, int option, void* value, int* len);
// Bytes readable without blocking (FIONREAD).
int SocketReadable(TSocket s, unsigned long* count);
int SocketGetSockName(TSocket s, sockaddr_in* addr, int* len);
int SocketGetPeerName(TSocket s, sockaddr_in* addr, int* len);
// Notifications for s as msg to target (wParam = s); mask 0 stops them.
int SocketAsyncSelect(TSocket s, TargetId target, uint32_t msg, uint32_t mask);

// The same calls for addresses of either family (IPv4 or IPv6). A SocketAddress that is
// filled in is left as it was when the call fails.
int SocketBind(TSocket s, const SocketAddress& addr);
TSocket SocketAccept(TSocket s, SocketAddress* peer);
int SocketConnect(TSocket s, const SocketAddress& addr);
int SocketSendTo(TSocket s, const void* data, int len, int flags, const SocketAddress& to);
int SocketGetSockName(TSocket s, SocketAddress* addr);
int SocketGetPeerName(TSocket s, SocketAddress* addr);
// AF_INET or AF_INET6 of an open handle; -1 with the error set when it cannot be told.
int SocketFamily(TSocket s);

// Address conversions of the socket library. InetAddr accepts the classic forms (a.b.c.d,
// a.b.c, a.b, a; decimal, octal, hex parts) and returns INADDR_NONE (all ones, in network
// order) for anything else; InetNtoa gives the dotted text of an address in network order.
uint32_t InetAddr(const std::string& text);
std::string InetNtoa(uint32_t addressNetworkOrder);

}  // namespace tarnwick::platform

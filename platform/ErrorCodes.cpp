#include "platform/ErrorCodes.h"

#include <netdb.h>

#include <cerrno>

namespace tarnwick::platform {

namespace {

struct ErrnoMapping {
    int err;
    int code;
};

// The one table from native errno values to the socket codes.
constexpr ErrnoMapping kErrnoTable[] = {
    {EINTR, kErrInterrupted},
    {EBADF, kErrNotSocket},  // a handle that is no open socket
    {EACCES, kErrAccess},
    {EPERM, kErrAccess},
    {EFAULT, kErrFault},
    {EINVAL, kErrInvalidArgument},
    {EMFILE, kErrTooManyFiles},
    {ENFILE, kErrTooManyFiles},
    {EAGAIN, kErrWouldBlock},
#if EWOULDBLOCK != EAGAIN
    {EWOULDBLOCK, kErrWouldBlock},
#endif
    {EINPROGRESS, kErrInProgress},
    {EALREADY, kErrAlready},
    {ENOTSOCK, kErrNotSocket},
    {EDESTADDRREQ, kErrDestAddrRequired},
    {EMSGSIZE, kErrMessageSize},
    {EPROTOTYPE, kErrProtoType},
    {ENOPROTOOPT, kErrNoProtoOpt},
    {EPROTONOSUPPORT, kErrProtoNoSupport},
    {ESOCKTNOSUPPORT, kErrSockTypeNoSupport},
    {EOPNOTSUPP, kErrOpNotSupported},
    {EPFNOSUPPORT, kErrPfNoSupport},
    {EAFNOSUPPORT, kErrAfNoSupport},
    {EADDRINUSE, kErrAddrInUse},
    {EADDRNOTAVAIL, kErrAddrNotAvail},
    {ENETDOWN, kErrNetDown},
    {ENETUNREACH, kErrNetUnreach},
    {ENETRESET, kErrNetReset},
    {ECONNABORTED, kErrConnAborted},
    // Linux answers EPIPE to a send on a connection the peer has reset (after the first
    // ECONNRESET). The send path treats it as a lost connection.
    {EPIPE, kErrConnAborted},
    {ECONNRESET, kErrConnReset},
    {ENOBUFS, kErrNoBufs},
    {ENOMEM, kErrNoBufs},
    {EISCONN, kErrIsConn},
    {ENOTCONN, kErrNotConn},
    {ESHUTDOWN, kErrShutdown},
    {ETOOMANYREFS, kErrTooManyRefs},
    {ETIMEDOUT, kErrTimedOut},
    {ECONNREFUSED, kErrConnRefused},
    {ELOOP, kErrLoop},
    {ENAMETOOLONG, kErrNameTooLong},
    {EHOSTDOWN, kErrHostDown},
    {EHOSTUNREACH, kErrHostUnreach},
    {ENOTEMPTY, kErrNotEmpty},
    {EUSERS, kErrUsers},
    {EDQUOT, kErrDiskQuota},
    {ESTALE, kErrStale},
    {EREMOTE, kErrRemote},
};

}  // namespace

int SocketErrorFromErrno(int err) {
    if (err == 0) return kNoError;
    for (const auto& m : kErrnoTable) {
        if (m.err == err) return m.code;
    }
    return kErrUnmappedBase + err;
}

int SocketErrorFromResolver(int eaiCode) {
    switch (eaiCode) {
        case 0:
            return kNoError;
        case EAI_NONAME:
            return kErrHostNotFound;
        case EAI_AGAIN:
            return kErrTryAgain;
#ifdef EAI_NODATA
        case EAI_NODATA:
            return kErrNoData;
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
            return kErrNoData;
#endif
        case EAI_SYSTEM:
            return errno == 0 ? kErrNoRecovery : SocketErrorFromErrno(errno);
        default:
            return kErrNoRecovery;
    }
}

}  // namespace tarnwick::platform

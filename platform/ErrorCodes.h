// The socket error vocabulary of the whole program: the numeric codes that the socket
// layer reports and the FTP engine shows to the user. Native errno values and resolver
// failures are mapped onto these codes in one place (ErrorCodes.cpp).
#pragma once

namespace tarnwick::platform {

inline constexpr int kNoError = 0;
inline constexpr int kErrInterrupted = 10004;  // also: lookup cancelled
inline constexpr int kErrBadFile = 10009;
inline constexpr int kErrAccess = 10013;
inline constexpr int kErrFault = 10014;
inline constexpr int kErrInvalidArgument = 10022;
inline constexpr int kErrTooManyFiles = 10024;
inline constexpr int kErrWouldBlock = 10035;
inline constexpr int kErrInProgress = 10036;
inline constexpr int kErrAlready = 10037;
inline constexpr int kErrNotSocket = 10038;
inline constexpr int kErrDestAddrRequired = 10039;
inline constexpr int kErrMessageSize = 10040;
inline constexpr int kErrProtoType = 10041;
inline constexpr int kErrNoProtoOpt = 10042;
inline constexpr int kErrProtoNoSupport = 10043;
inline constexpr int kErrSockTypeNoSupport = 10044;
inline constexpr int kErrOpNotSupported = 10045;
inline constexpr int kErrPfNoSupport = 10046;
inline constexpr int kErrAfNoSupport = 10047;
inline constexpr int kErrAddrInUse = 10048;
inline constexpr int kErrAddrNotAvail = 10049;
inline constexpr int kErrNetDown = 10050;
inline constexpr int kErrNetUnreach = 10051;
inline constexpr int kErrNetReset = 10052;
inline constexpr int kErrConnAborted = 10053;
inline constexpr int kErrConnReset = 10054;
inline constexpr int kErrNoBufs = 10055;
inline constexpr int kErrIsConn = 10056;
inline constexpr int kErrNotConn = 10057;
inline constexpr int kErrShutdown = 10058;
inline constexpr int kErrTooManyRefs = 10059;
inline constexpr int kErrTimedOut = 10060;
inline constexpr int kErrConnRefused = 10061;
inline constexpr int kErrLoop = 10062;
inline constexpr int kErrNameTooLong = 10063;
inline constexpr int kErrHostDown = 10064;
inline constexpr int kErrHostUnreach = 10065;
inline constexpr int kErrNotEmpty = 10066;
inline constexpr int kErrProcessLimit = 10067;
inline constexpr int kErrUsers = 10068;
inline constexpr int kErrDiskQuota = 10069;
inline constexpr int kErrStale = 10070;
inline constexpr int kErrRemote = 10071;
inline constexpr int kErrSysNotReady = 10091;
inline constexpr int kErrVersionNotSupported = 10092;
inline constexpr int kErrNotInitialised = 10093;
inline constexpr int kErrHostNotFound = 11001;
inline constexpr int kErrTryAgain = 11002;
inline constexpr int kErrNoRecovery = 11003;
inline constexpr int kErrNoData = 11004;

// An errno with no counterpart above becomes kErrUnmappedBase + errno: still a socket
// error (10000 and above, fits the 16-bit Error of the socket events), never 0, and its
// text is "Not a WinSock error".
inline constexpr int kErrUnmappedBase = 13000;

// errno of a failed socket call -> code above.
int SocketErrorFromErrno(int err);

// getaddrinfo/getnameinfo result (EAI_*) -> 11001 .. 11004.
int SocketErrorFromResolver(int eaiCode);

}  // namespace tarnwick::platform

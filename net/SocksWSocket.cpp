// TCustomSocksWSocket: the SOCKS 4, 4A and 5 handshakes run inside the socket's
// notifications, and the delivery of the bytes that came behind the SOCKS 5 reply.
#include "net/SocksWSocket.h"

#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "net/Resolver.h"
#include "platform/ErrorCodes.h"
#include "platform/SocketAddress.h"

namespace tarnwick::net {

namespace {

constexpr uint8_t kSocks4Version = 4;
constexpr uint8_t kSocks5Version = 5;
constexpr uint8_t kCmdConnect = 1;
constexpr uint8_t kAuthSubVersion = 1;
constexpr uint8_t kMethodNone = 0;
constexpr uint8_t kMethodUsercode = 2;
constexpr uint8_t kAddrTypeIPv4 = 1;
constexpr uint8_t kAddrTypeDomain = 3;
constexpr uint8_t kAddrTypeIPv6 = 4;
constexpr uint8_t kSocks4Granted = 90;
constexpr uint8_t kSocks4Rejected = 91;
constexpr uint8_t kSocks4NoIdentd = 92;
constexpr uint8_t kSocks4BadUser = 93;
constexpr int kSocks4ReplySize = 8;
constexpr int kSocks5IPv4ReplySize = 10;     // 4 header bytes, 4 address bytes, the port
constexpr int kSocks5IPv6ReplySize = 22;     // 4 header bytes, 16 address bytes, the port
constexpr int kSocks5DomainReplyExtra = 7;   // header, length byte and port around the name
constexpr uint32_t kSocks4AMarkAddress = 1;  // 0.0.0.1: "the host name follows"
constexpr size_t kIPv6AddressBytes = 16;

// SOCKS 5 reply codes 1 to 8.
const char* const kSocks5ReplyTexts[] = {
    "general SOCKS server failure", "connection not allowed by ruleset",
    "network unreachable",          "host unreachable",
    "connection refused",           "time to live expired",
    "command not supported",        "address type not supported"};
constexpr int kSocks5LastReplyCode = 8;

const char* const kClosedByProxy = "connection closed by socks server";

void PutPort(std::string& out, uint16_t port) {
    out.push_back(static_cast<char>(port >> 8));
    out.push_back(static_cast<char>(port & 0xFF));
}

}  // namespace

TCustomSocksWSocket::TCustomSocksWSocket() {
    // The base constructor ran only its own defaults.
    ResetSocksDefaults();
}

// ---- properties -------------------------------------------------------------------------

void TCustomSocksWSocket::SetSocksLevel(const std::string& value) {
    if (State() != wsClosed) {
        SignalError("Can't change socks level if not closed");
        return;
    }
    if (value != "4" && value != "5" && value != "4A" && value != "4a") {
        SignalError("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    socksLevel_ = value == "4a" ? "4A" : value;
}

void TCustomSocksWSocket::SetSocksServer(const std::string& value) {
    if (State() != wsClosed) {
        SignalError("Can't change socks server if not closed");
        return;
    }
    socksServer_ = TrimBlanks(value);
    socksServerAssigned_ = !socksServer_.empty();
}

void TCustomSocksWSocket::SetSocksPort(const std::string& value) {
    if (State() != wsClosed) {
        SignalError("Can't change socks port if not closed");
        return;
    }
    socksPort_ = TrimBlanks(value);
    socksPortAssigned_ = !socksPort_.empty();
}

void TCustomSocksWSocket::ResetDefaults() {
    TCustomWSocket::ResetDefaults();
    ResetSocksDefaults();
}

// The user code, password and authentication choice survive a close; the proxy's address
// and level are given again before every Connect.
void TCustomSocksWSocket::ResetSocksDefaults() {
    socksState_ = SocksReady;
    socksServer_.clear();
    socksServerAssigned_ = false;
    socksPort_.clear();
    socksPortAssigned_ = false;
    socksLevel_ = "5";
    leftoverCount_ = 0;
    leftoverPos_ = 0;
}

// ---- opening ----------------------------------------------------------------------------

void TCustomSocksWSocket::Listen() {
    if (socksServerAssigned_) {
        SignalError("Listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

void TCustomSocksWSocket::Connect() {
    // Without a proxy, and on a socket already in use (the base reports it), nothing of
    // the handshake is prepared.
    if (!socksServerAssigned_ || (HSocket() != kInvalidSocket && State() != wsClosed)) {
        TCustomWSocket::Connect();
        return;
    }
    std::string proto = Proto();
    std::transform(proto.begin(), proto.end(), proto.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (proto != "tcp") {
        SignalError("tcp is the only protocol supported thru socks server");
        return;
    }
    // A SOCKS 4 request holds a 4-byte address (and 4A's name would make the proxy look up
    // an address text): neither can carry an IPv6 destination. When Addr is the first result
    // of a lookup, an IPv4 address among the others serves SOCKS 4.
    socks4Destination_ = Addr();
    if (LevelIs4() && platform::IsIPv6Literal(Addr())) {
        const auto& others = AddrFallbacks();
        const auto v4 = std::find_if(others.begin(), others.end(),
                                     [](const std::string& a) { return IsDottedQuad(a); });
        if (socksLevel_ != "4" || v4 == others.end()) {
            SignalError("SOCKS " + socksLevel_ + " cannot reach an IPv6 address");
            return;
        }
        socks4Destination_ = *v4;
    }
    // The proxy's port and address take the place of the destination's in the address the
    // base connects to. When the base gives up before opening a handle, they are dropped
    // again, so that a later direct Connect does not reach the proxy.
    bool tookPort = false;
    bool tookAddr = false;
    auto dropProxyEndpoint = [&] {
        if (tookPort) portResolved_ = false;
        if (tookAddr) addrResolved_ = false;
        socksState_ = SocksReady;
    };
    try {
        if (!portResolved_) {
            targetPort_ = static_cast<uint16_t>(WSocketResolvePort(socksPort_, Proto()));
            portResolved_ = tookPort = true;
        }
        if (!addrResolved_) {
            targets_ = WSocketResolveHostAddresses(socksServer_);
            addrResolved_ = tookAddr = true;
        }
        destPort_ = static_cast<uint16_t>(WSocketResolvePort(Port(), Proto()));
    } catch (const std::exception& e) {
        dropProxyEndpoint();
        SignalError(std::string("connect: ") + e.what());
        return;
    }
    socksState_ = SocksNegotiating;
    replyCount_ = 0;
    try {
        TCustomWSocket::Connect();
    } catch (...) {
        if (HSocket() == kInvalidSocket && State() == wsClosed) dropProxyEndpoint();
        throw;
    }
    if (HSocket() == kInvalidSocket && State() == wsClosed) dropProxyEndpoint();
}

// ---- notification hooks -----------------------------------------------------------------

void TCustomSocksWSocket::NotifySocksConnected(uint16_t error) {
    if (OnSocksConnected) OnSocksConnected(this, error);
}

void TCustomSocksWSocket::NotifySocksError(int error, const std::string& msg) {
    if (OnSocksError) OnSocksError(this, error, msg);
}

void TCustomSocksWSocket::NotifySocksAuthState(TSocksAuthState state) {
    if (OnSocksAuthState) OnSocksAuthState(this, state);
}

void TCustomSocksWSocket::NotifySessionConnected(uint16_t error) {
    if (socksState_ != SocksNegotiating) {
        TCustomWSocket::NotifySessionConnected(error);
        return;
    }
    // The TCP connection to the proxy has completed (or failed).
    NotifySocksConnected(error);
    if (error != 0) {
        TCustomWSocket::NotifySessionConnected(error);
        return;
    }
    if (socksState_ != SocksNegotiating) return;  // closed by the handler
    if (LevelIs4()) {
        SendConnectRequest();
        return;
    }
    methodAsked_ =
        socksAuthentication_ == socksAuthenticateUsercode ? kMethodUsercode : kMethodNone;
    std::string request;
    request.push_back(static_cast<char>(kSocks5Version));
    request.push_back(1);  // one method offered
    request.push_back(static_cast<char>(methodAsked_));
    SendRequest(request);
}

void TCustomSocksWSocket::NotifySessionClosed(uint16_t error) {
    if (socksState_ == SocksAuthenticating) NotifySocksAuthState(socksAuthRefused);
    TCustomWSocket::NotifySessionClosed(error);
}

void TCustomSocksWSocket::NotifyDataSent(uint16_t error) {
    if (socksState_ == SocksReady) TCustomWSocket::NotifyDataSent(error);
}

bool TCustomSocksWSocket::NotifyDataAvailable(uint16_t error) {
    if (socksState_ == SocksReady) return TCustomWSocket::NotifyDataAvailable(error);
    if (error != 0) {
        SocksFail(error, "data receive error");
        return true;
    }
    switch (socksState_) {
        case SocksNegotiating:
            return ServeNegotiation();
        case SocksAuthenticating:
            return ServeAuthReply();
        case SocksConnecting:
            return LevelIs4() ? ServeSocks4Reply() : ServeSocks5Reply();
        default:
            SocksFail(kSocksErrInternal, "internal error");
            return true;
    }
}

// ---- the handshake ----------------------------------------------------------------------

bool TCustomSocksWSocket::ReceiveReply(int limit) {
    const int n = Receive(reply_ + replyCount_, limit - replyCount_);
    if (n > 0) {
        replyCount_ += n;
        return true;
    }
    if (n < 0 && LastError() == platform::kErrWouldBlock) return false;
    // The proxy closed the connection, or the connection broke, before the handshake
    // ended: a failure of the connect, never a quiet close.
    if (n == 0 && socksState_ == SocksAuthenticating) {
        NotifySocksAuthState(socksAuthRefused);
        SocksFail(kSocksErrAuthFailed, "socks authentication failed");
    } else if (n == 0) {
        SocksFail(platform::kErrConnAborted, kClosedByProxy);
    } else {
        SocksFail(LastError(), "data receive error");
    }
    return false;
}

bool TCustomSocksWSocket::ServeNegotiation() {
    if (!ReceiveReply(kSocksReplyAreaSize - 1)) return true;
    if (LevelIs4()) {
        SocksFail(kSocksErrLogic, "TWSocket logic error");
        return true;
    }
    if (replyCount_ < 2) return true;
    replyCount_ = 0;
    if (reply_[0] != kSocks5Version) {
        SocksFail(kSocksErrVersion, "socks version error");
    } else if (reply_[1] == kMethodNone) {
        if (methodAsked_ == kMethodUsercode) NotifySocksAuthState(socksAuthSkipped);
        if (socksState_ == SocksNegotiating) SendConnectRequest();
    } else if (reply_[1] == kMethodUsercode) {
        SendAuthRequest();
    } else {
        SocksFail(kSocksErrMethod, "authentification method not acceptable");
    }
    return true;
}

bool TCustomSocksWSocket::ServeAuthReply() {
    if (!ReceiveReply(kSocksReplyAreaSize - 1)) return true;
    if (reply_[0] != kAuthSubVersion) {
        SocksFail(kSocksErrVersion, "socks version error");
    } else if (replyCount_ > 2) {
        SocksFail(kSocksErrLogic, "too much data availaible");
    } else if (replyCount_ == 2) {
        if (reply_[1] != 0) {
            SocksFail(kSocksErrAuthFailed, "socks authentication failed");
        } else {
            replyCount_ = 0;
            NotifySocksAuthState(socksAuthSucceeded);
            if (socksState_ == SocksAuthenticating) SendConnectRequest();
        }
    }
    return true;
}

bool TCustomSocksWSocket::ServeSocks4Reply() {
    // Nothing behind the 8-byte reply is read here.
    if (!ReceiveReply(kSocks4ReplySize)) return true;
    if (replyCount_ < kSocks4ReplySize) return true;
    replyCount_ = 0;
    if (reply_[0] != 0) {
        SocksFail(kSocksErrVersion, "socks version error");
        return true;
    }
    switch (reply_[1]) {
        case kSocks4Granted:
            return Granted();
        case kSocks4Rejected:
            SocksFail(kSocksErrRejected, "request rejected or failed");
            break;
        case kSocks4NoIdentd:
            SocksFail(kSocksErrConnectionRefused, "connection refused");
            break;
        case kSocks4BadUser:
            SocksFail(kSocksErrAuthFailed, "authentification failed");
            break;
        default:
            SocksFail(kSocksErrUnassigned, "unassigned error #" + std::to_string(reply_[1]));
    }
    return true;
}

bool TCustomSocksWSocket::ServeSocks5Reply() {
    if (!ReceiveReply(kSocksReplyAreaSize - 1)) return true;
    if (reply_[0] != kSocks5Version) {
        SocksFail(kSocksErrVersion, "socks version error");
        return true;
    }
    if (replyCount_ < 2) return true;
    const int code = reply_[1];
    if (code > kSocks5LastReplyCode) {
        SocksFail(kSocksErrUnassigned, "unassigned error #" + std::to_string(code));
        return true;
    }
    if (code != 0) {
        SocksFail(kSocksErrGeneralFailure + code - 1, kSocks5ReplyTexts[code - 1]);
        return true;
    }
    if (replyCount_ < 5) return true;
    const uint8_t addrType = reply_[3];
    // A proxy that reached the server over IPv6 names its bound address as 16 bytes: the
    // reply is as good as any other.
    const int length = addrType == kAddrTypeIPv4     ? kSocks5IPv4ReplySize
                       : addrType == kAddrTypeIPv6   ? kSocks5IPv6ReplySize
                       : addrType == kAddrTypeDomain ? reply_[4] + kSocks5DomainReplyExtra
                                                     : 5;
    if (replyCount_ < length) return true;
    if (addrType != kAddrTypeIPv4 && addrType != kAddrTypeIPv6 && addrType != kAddrTypeDomain) {
        SocksFail(kSocksErrAddressType, "address type not supported");
        return true;
    }
    // The proxy's bound address and port are not used; what came behind them is the
    // connection's first data.
    leftoverCount_ = replyCount_ - length;
    leftoverPos_ = length;
    return Granted();
}

bool TCustomSocksWSocket::Granted() {
    const TSocket handle = HSocket();
    socksState_ = SocksReady;
    NotifySessionConnected(0);
    if (HSocket() != handle) return true;  // closed (or reconnected) by the handler
    // Data that came with the reply reaches the user (and any layer above) at once.
    return NotifyDataAvailable(0);
}

void TCustomSocksWSocket::SendAuthRequest() {
    // 01, U, the user code, P, the password (RFC 1929).
    const size_t size = 3 + socksUsercode_.size() + socksPassword_.size();
    if (size > static_cast<size_t>(kSocksRequestAreaSize)) {
        SocksFail(kSocksErrRequestTooLong, "socks request too long");
        return;
    }
    socksState_ = SocksAuthenticating;
    NotifySocksAuthState(socksAuthBegin);
    if (socksState_ != SocksAuthenticating) return;  // closed by the handler
    std::string request;
    request.push_back(static_cast<char>(kAuthSubVersion));
    request.push_back(static_cast<char>(socksUsercode_.size() & 0xFF));
    request += socksUsercode_;
    request.push_back(static_cast<char>(socksPassword_.size() & 0xFF));
    request += socksPassword_;
    SendRequest(request);
}

void TCustomSocksWSocket::SendConnectRequest() {
    const std::string& host = Addr();
    std::string request;
    if (LevelIs4()) {
        const bool is4A = socksLevel_ == "4A";
        const size_t size = 9 + socksUsercode_.size() + (is4A ? host.size() + 1 : 0);
        if (size > static_cast<size_t>(kSocksRequestAreaSize)) {
            SocksFail(kSocksErrRequestTooLong, "socks request too long");
            return;
        }
        uint32_t address = htonl(kSocks4AMarkAddress);
        if (!is4A) {
            try {
                address = WSocketResolveHost(socks4Destination_);  // may block on the name service
            } catch (const std::exception& e) {
                const bool socketError = dynamic_cast<const ESocketException*>(&e) != nullptr;
                NotifySocksError(
                    kSocksErrResolve,
                    std::string(socketError ? "ESocketException" : "Exception") + " " + e.what());
                FinishClose(true, kSocksErrResolve);
                return;
            }
        }
        request.push_back(static_cast<char>(kSocks4Version));
        request.push_back(static_cast<char>(kCmdConnect));
        PutPort(request, destPort_);
        request.append(reinterpret_cast<const char*>(&address), sizeof(address));
        request += socksUsercode_;
        request.push_back('\0');
        if (is4A) {
            request += host;
            request.push_back('\0');
        }
    } else {
        request.push_back(static_cast<char>(kSocks5Version));
        request.push_back(static_cast<char>(kCmdConnect));
        request.push_back('\0');
        platform::SocketAddress v6;
        if (platform::ParseIPv6Address(host, v6)) {
            // An IPv6 address goes as its 16 bytes: a proxy could not take "::1" for a name.
            request.push_back(static_cast<char>(kAddrTypeIPv6));
            request.append(reinterpret_cast<const char*>(v6.IPv6Bytes()), kIPv6AddressBytes);
        } else {
            if (7 + host.size() > static_cast<size_t>(kSocksRequestAreaSize)) {
                SocksFail(kSocksErrRequestTooLong, "socks request too long");
                return;
            }
            // Anything else goes as a name, also a dotted address: the proxy resolves it.
            request.push_back(static_cast<char>(kAddrTypeDomain));
            request.push_back(static_cast<char>(host.size()));
            request += host;
        }
        PutPort(request, destPort_);
    }
    socksState_ = SocksConnecting;
    SendRequest(request);
}

void TCustomSocksWSocket::SendRequest(const std::string& request) {
    try {
        Send(request.data(), static_cast<int>(request.size()));
    } catch (...) {
        // A refused send ends the connection through its close notification.
    }
}

void TCustomSocksWSocket::SocksFail(int code, const std::string& msg) {
    const TSocket handle = HSocket();
    NotifySocksError(code, msg);
    socksState_ = SocksReady;
    NotifySessionConnected(static_cast<uint16_t>(code));
    // The close is for the connection that failed: one the handler started meanwhile
    // stays up.
    if (HSocket() == handle) FinishClose(true, static_cast<uint16_t>(code));
}

// ---- receiving --------------------------------------------------------------------------

int TCustomSocksWSocket::BufferedCount() {
    return std::max(leftoverCount_, 0);
}

int TCustomSocksWSocket::GetRcvdCount() {
    if (leftoverCount_ > 0) return leftoverCount_;
    return TCustomWSocket::GetRcvdCount();
}

int TCustomSocksWSocket::RawReceive(void* buffer, int size, int flags) {
    if (leftoverCount_ <= 0) return TCustomWSocket::RawReceive(buffer, size, flags);
    const int n = std::min(size, leftoverCount_);
    if (n <= 0) return 0;
    std::memcpy(buffer, reply_ + leftoverPos_, static_cast<size_t>(n));
    leftoverPos_ += n;
    leftoverCount_ -= n;
    return n;
}

}  // namespace tarnwick::net

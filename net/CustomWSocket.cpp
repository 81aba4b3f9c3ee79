// TCustomWSocket: construction, properties, opening (Connect, Listen, Accept, Dup) and
// closing. Notification dispatch is in WSocketEvents.cpp, sending in WSocketSend.cpp,
// lookups in WSocketLookup.cpp.
#include <netinet/in.h>
#include <sys/socket.h>

#include "net/CustomWSocket.h"
#include "net/Resolver.h"
#include "platform/ErrorCodes.h"
#include "platform/SocketNotifier.h"

namespace tarnwick::net {

using namespace platform;

namespace {

constexpr int kSocketOptionOn = -1;  // any non-zero value turns a boolean option on
constexpr uint32_t kConnectMask = kFdRead | kFdWrite | kFdAccept | kFdConnect | kFdClose;
constexpr uint32_t kListenMask = kFdRead | kFdWrite | kFdAccept | kFdClose;
constexpr uint32_t kDupMask = kFdRead | kFdWrite | kFdConnect | kFdClose;
constexpr const char* kAnyIPv4 = "0.0.0.0";

// Connect failures that another address of the same host may not share.
bool IsAddressFailure(int code) {
    switch (code) {
        case kErrConnRefused:
        case kErrTimedOut:
        case kErrNetUnreach:
        case kErrHostUnreach:
        case kErrHostDown:
        case kErrNetDown:
        case kErrAddrNotAvail:
        case kErrAfNoSupport:
            return true;
        default:
            return false;
    }
}

}  // namespace

TCustomWSocket::TCustomWSocket() : loop_(&EventLoop::Current()) {
    window_ = loop_->RegisterTarget([this](const Message& m) { WndProc(m); });
    TCustomWSocket::ResetDefaults();
}

TCustomWSocket::~TCustomWSocket() {
    destroying_ = true;
    try {
        TCustomWSocket::CancelLookup();
    } catch (...) {
    }
    if (state_ != wsClosed) {
        try {
            TCustomWSocket::Close();
        } catch (...) {
        }
    }
    StopConnectTimer();
    if (hSocket_ != kInvalidSocket) SocketClose(hSocket_);
    loop_->UnregisterTarget(window_);
}

// ---- properties -------------------------------------------------------------------------

// The rule shared by Addr, Port and Proto: the same text again changes nothing; a change
// needs a closed socket; the text is stored trimmed, and a non-empty one is assigned and
// not yet resolved.
void TCustomWSocket::AssignEndpointText(const std::string& value, std::string& text, bool& assigned,
                                        bool& resolved, const char* refusal) {
    if (assigned && value == text) return;
    if (state_ != wsClosed) {
        SignalError(refusal);
        return;
    }
    text = TrimBlanks(value);
    resolved = false;
    assigned = !text.empty();
}

void TCustomWSocket::SetAddr(const std::string& value) {
    AssignEndpointText(value, addrStr_, addrAssigned_, addrResolved_,
                       "Cannot change Addr if not closed");
    if (state_ == wsClosed) TakeLookupFallbacks();
}

// Addr set to the first result of this socket's last host lookup takes the lookup's other
// results as the addresses to try after it; any other Addr has none of its own.
void TCustomWSocket::TakeLookupFallbacks() {
    addrFallbacks_.clear();
    if (dnsResultList_.size() < 2 || addrStr_ != dnsResultList_.front()) return;
    addrFallbacks_.assign(dnsResultList_.begin() + 1, dnsResultList_.end());
    addrResolved_ = false;
}

void TCustomWSocket::SetPort(const std::string& value) {
    AssignEndpointText(value, portStr_, portAssigned_, portResolved_,
                       "Cannot change Port if not closed");
}

void TCustomWSocket::SetProto(const std::string& value) {
    AssignEndpointText(value, protoStr_, protoAssigned_, protoResolved_,
                       "Cannot change Proto if not closed");
}

void TCustomWSocket::SetLocalPort(const std::string& value) {
    if (state_ != wsClosed) {
        SignalError("Cannot change LocalPort if not closed");
        return;
    }
    localPortStr_ = value;
    localPortResolved_ = false;
}

void TCustomWSocket::SetLocalAddr(const std::string& value) {
    if (state_ != wsClosed) {
        SignalError("Cannot change LocalAddr if not closed");
        return;
    }
    const std::string text = value.empty() ? kAnyIPv4 : value;
    SocketAddress v6;
    if (ParseIPv6Address(text, v6)) {
        localAddrStr_ = AddressText(v6);
        return;
    }
    const uint32_t addr = InetAddr(text);
    if (addr == INADDR_NONE && TrimBlanks(text) != "255.255.255.255") {
        SignalError("SetLocalAddr(): Invalid IP address");
        localAddrStr_ = "255.255.255.255";  // reached only when OnError took the report
        return;
    }
    localAddrStr_ = InetNtoa(addr);
}

TSocketSendFlags TCustomWSocket::SendFlags() {
    if (sendFlags_ == 0) return wsSendNormal;
    if (sendFlags_ == kMsgOob) return wsSendUrgent;
    SignalError("Invalid internal SendFlags");
    return wsSendNormal;
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags value) {
    switch (value) {
        case wsSendNormal:
            sendFlags_ = 0;
            break;
        case wsSendUrgent:
            sendFlags_ = kMsgOob;
            break;
        default:
            SignalError("Invalid SendFlags");
    }
}

std::string TCustomWSocket::GetPeerAddr() {
    if (state_ != wsConnected) return "error";
    SocketAddress peer;
    if (SocketGetPeerName(hSocket_, &peer) != 0) {
        ReportSocketError("GetPeerName");
        return "error";
    }
    return AddressText(peer);
}

std::string TCustomWSocket::GetPeerPort() {
    if (state_ != wsConnected) return "error";
    SocketAddress peer;
    if (SocketGetPeerName(hSocket_, &peer) != 0) {
        ReportSocketError("GetPeerPort");
        return "error";
    }
    return std::to_string(peer.Port());
}

int TCustomWSocket::GetPeerAddress(SocketAddress& addr) {
    if (state_ != wsConnected) return kSocketError;
    return SocketGetPeerName(hSocket_, &addr);
}

int TCustomWSocket::GetSockAddress(SocketAddress& addr) {
    return SocketGetSockName(hSocket_, &addr);
}

int TCustomWSocket::AddressFamily() const {
    if (hSocket_ == kInvalidSocket) return AF_UNSPEC;
    const int family = SocketFamily(hSocket_);
    return family < 0 ? AF_UNSPEC : family;
}

std::string TCustomWSocket::GetBoundAddr() {
    if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
    SocketAddress local;
    if (SocketGetSockName(hSocket_, &local) != 0) return "error";
    return AddressText(local);
}

int TCustomWSocket::GetPeerSockAddr(sockaddr_in& addr, int& len) {
    if (state_ != wsConnected) return kSocketError;
    return SocketGetPeerName(hSocket_, &addr, &len);
}

int TCustomWSocket::GetSockName(sockaddr_in& addr, int& len) {
    return SocketGetSockName(hSocket_, &addr, &len);
}

std::string TCustomWSocket::GetBoundPort() {
    if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
    SocketAddress local;
    if (SocketGetSockName(hSocket_, &local) != 0) return "error";
    return std::to_string(local.Port());
}

int TCustomWSocket::GetSockOpt(int level, int option, void* value, int& len) {
    return SocketGetOpt(hSocket_, level, option, value, &len);
}

// ---- error signalling -------------------------------------------------------------------

void TCustomWSocket::SignalError(const std::string& message) {
    lastErrorMessage_ = message;
    if (OnError) {
        NotifyError();
        return;
    }
    throw ESocketException(message);
}

void TCustomWSocket::ReportSocketError(const std::string& functionName) {
    const int code = SocketLastError();
    const std::string text = "Error " + std::to_string(code) + " in function " + functionName +
                             "\r\n" + WinsockErrorText(code);
    if (code == kErrConnReset || code == kErrNotConn) {
        if (hSocket_ != kInvalidSocket) SocketClose(hSocket_);
        hSocket_ = kInvalidSocket;
        SetState(wsClosed);
    }
    lastError_ = code;
    SignalError(text);
}

// ---- state ------------------------------------------------------------------------------

void TCustomWSocket::SetState(TSocketState newState) {
    const TSocketState oldState = state_;
    state_ = newState;
    NotifyChangeState(oldState, newState);
}

void TCustomWSocket::ResetDefaults() {
    StopConnectTimer();
    targets_.clear();
    targetPort_ = 0;
    targetIndex_ = 0;
    addrResolved_ = false;
    portResolved_ = false;
    localPortResolved_ = false;
    addrAssigned_ = false;
    portAssigned_ = false;
    protoStr_ = "tcp";
    proto_ = IPPROTO_TCP;
    sockType_ = SOCK_STREAM;
    protoAssigned_ = true;
    protoResolved_ = false;
    localPortStr_ = "0";
    localAddrStr_ = kAnyIPv4;
    lingerOnOff_ = wsLingerOn;
    lingerTimeout_ = 0;
    hSocket_ = kInvalidSocket;
    state_ = wsClosed;
    allSent_ = true;
    suspended_ = false;
    readCount_ = 0;
    closeNotified_ = false;
}

void TCustomWSocket::ApplyLinger() {
    if (lingerOnOff_ == wsLingerNoSet) return;
    if (hSocket_ == kInvalidSocket) {
        SignalError("Cannot set linger option at this time");
        return;
    }
    linger value{};
    value.l_onoff = static_cast<int>(lingerOnOff_);
    value.l_linger = lingerTimeout_;
    if (SocketSetOpt(hSocket_, SOL_SOCKET, SO_LINGER, &value, sizeof(value)) != 0) {
        ReportSocketError("setsockopt(SO_LINGER)");
    }
}

// The default LocalAddr "0.0.0.0" is the wildcard of either family: an IPv6 handle binds
// "::" then. Any other LocalAddr must be of the handle's family.
int TCustomWSocket::BindLocalAddress(int family) {
    SocketAddress local = SocketAddress::Any(family, localPortNum_);
    if (localAddrStr_ != kAnyIPv4 && !ParseIPv6Address(localAddrStr_, local)) {
        local = SocketAddress::IPv4(WSocketResolveHost(localAddrStr_), 0);
    }
    local.SetPort(localPortNum_);
    if (SocketBind(hSocket_, local) != 0) return SocketLastError();
    return 0;
}

void TCustomWSocket::BindLocal() {
    const int family = AddressFamily() == AF_INET6 ? AF_INET6 : AF_INET;
    if (BindLocalAddress(family) != 0) {
        lastError_ = SocketLastError();
        SignalError(Sprintf("winsock.bind failed, error #%d", lastError_));
    }
    SocketAddress bound;
    if (SocketGetSockName(hSocket_, &bound) != 0) {
        lastError_ = SocketLastError();
        SignalError(Sprintf("winsock.getsockname failed, error #%d", lastError_));
        return;
    }
    localPortNum_ = bound.Port();
    localPortStr_ = std::to_string(localPortNum_);
}

// ---- opening ----------------------------------------------------------------------------

bool TCustomWSocket::OpenStreamOptions() {
    const int on = kSocketOptionOn;
    if (SocketSetOpt(hSocket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0) {
        ReportSocketError("setsockopt(SO_REUSEADDR)");
        return false;
    }
    ApplyLinger();
    if (SocketSetOpt(hSocket_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof(on)) != 0) {
        ReportSocketError("setsockopt(SO_KEEPALIVE)");
        return false;
    }
    if (localPortNum_ != 0 || localAddrStr_ != kAnyIPv4) BindLocal();
    return true;
}

SocketAddress TCustomWSocket::CurrentTarget() const {
    if (targetIndex_ >= targets_.size()) return {};
    SocketAddress target = targets_[targetIndex_];
    target.SetPort(targetPort_);
    return target;
}

// Resolves what is not yet resolved, in this order: protocol, port, local port (for a
// connect only), address. Raises the resolvers' exceptions.
void TCustomWSocket::ResolveEndpoint(bool withLocalPort) {
    if (!protoResolved_) {
        proto_ = WSocketResolveProto(protoStr_);
        sockType_ = proto_ == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
        protoResolved_ = true;
    }
    if (!portResolved_) {
        portNum_ = static_cast<uint16_t>(WSocketResolvePort(portStr_, protoStr_));
        targetPort_ = portNum_;
        portResolved_ = true;
    }
    if (withLocalPort && !localPortResolved_) {
        localPortNum_ = static_cast<uint16_t>(WSocketResolvePort(localPortStr_, protoStr_));
        localPortResolved_ = true;
    }
    if (!addrResolved_) {
        targets_ = WSocketResolveHostAddresses(addrStr_);
        for (const std::string& text : addrFallbacks_) {
            SocketAddress next;
            if (ParseNumericAddress(text, next)) targets_.push_back(next);
        }
        addrResolved_ = true;
    }
}

void TCustomWSocket::Connect() {
    if (hSocket_ != kInvalidSocket && state_ != wsClosed) {
        SignalError("Connect: Socket already in use");
        return;
    }
    if (!portAssigned_) {
        SignalError("Connect: No Port Specified");
        return;
    }
    if (!addrAssigned_) {
        SignalError("Connect: No IP Address Specified");
        return;
    }
    if (!protoAssigned_) {
        SignalError("Connect: No Protocol Specified");
        return;
    }
    try {
        ResolveEndpoint(true);
    } catch (const std::exception& e) {
        SignalError(std::string("connect: ") + e.what());
        return;
    }

    ClearSendQueue();
    targetIndex_ = 0;
    hSocket_ = SocketOpen(CurrentTarget().Family(), sockType_, proto_);
    // An address whose family this host cannot open (IPv6 where it is off) gives way to the
    // next one.
    while (hSocket_ == kInvalidSocket && sockType_ == SOCK_STREAM &&
           targetIndex_ + 1 < targets_.size()) {
        ++targetIndex_;
        hSocket_ = SocketOpen(CurrentTarget().Family(), sockType_, proto_);
    }
    if (hSocket_ == kInvalidSocket) {
        ReportSocketError("Connect (socket)");
        return;
    }
    SetState(wsOpened);

    if (sockType_ == SOCK_DGRAM) {
        BindLocal();
        const SocketAddress target = CurrentTarget();
        if (target.Family() == AF_INET && target.IPv4Address() == INADDR_BROADCAST) {
            const int on = kSocketOptionOn;
            if (SocketSetOpt(hSocket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) != 0) {
                ReportSocketError("setsockopt(SO_BROADCAST)");
                return;
            }
        }
    } else if (!OpenStreamOptions()) {
        return;
    }

    selectMask_ = kConnectMask;
    if (SocketAsyncSelect(hSocket_, window_, MsgSocketEvent, selectMask_) != 0) {
        ReportSocketError("WSAAsyncSelect");
        return;
    }

    if (sockType_ == SOCK_DGRAM) {
        SetState(wsConnected);
        NotifySessionConnected(0);
        return;
    }
    if (SocketConnect(hSocket_, CurrentTarget()) == 0 || SocketLastError() == kErrWouldBlock) {
        SetState(wsConnecting);
        ArmConnectTimer();
        return;
    }
    lastError_ = SocketLastError();
    ReportSocketError("Connect");
}

// One more address after a failed one: a new handle with the options of the first, without
// state changes or events. 0 when the connect is under way (its end comes as the connect
// notification), else its error, with the handle closed again.
int TCustomWSocket::StartConnectAttempt() {
    const SocketAddress target = CurrentTarget();
    hSocket_ = SocketOpen(target.Family(), sockType_, proto_);
    if (hSocket_ == kInvalidSocket) return SocketLastError();
    const int on = kSocketOptionOn;
    int code = 0;
    auto check = [&code](int rc) {
        if (rc != 0 && code == 0) code = SocketLastError();
    };
    check(SocketSetOpt(hSocket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)));
    if (lingerOnOff_ != wsLingerNoSet) {
        linger value{};
        value.l_onoff = static_cast<int>(lingerOnOff_);
        value.l_linger = lingerTimeout_;
        check(SocketSetOpt(hSocket_, SOL_SOCKET, SO_LINGER, &value, sizeof(value)));
    }
    check(SocketSetOpt(hSocket_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof(on)));
    if (code == 0 && (localPortNum_ != 0 || localAddrStr_ != kAnyIPv4)) {
        try {
            code = BindLocalAddress(target.Family());
        } catch (const std::exception&) {
            code = kErrAddrNotAvail;
        }
    }
    if (code == 0) check(SocketAsyncSelect(hSocket_, window_, MsgSocketEvent, selectMask_));
    if (code == 0 && SocketConnect(hSocket_, target) != 0 && SocketLastError() != kErrWouldBlock)
        code = SocketLastError();
    if (code != 0) {
        SocketClose(hSocket_);
        hSocket_ = kInvalidSocket;
        return code;
    }
    ArmConnectTimer();
    return 0;
}

// The connect to the current address failed with error: the next address is tried. False
// when none is left or the failure is not the address's own (the caller then reports it).
// When every further address fails at once, the last failure is reported here.
bool TCustomWSocket::TryNextAddress(uint16_t error) {
    if (sockType_ != SOCK_STREAM || !IsAddressFailure(error) || targetIndex_ + 1 >= targets_.size())
        return false;
    int code = error;
    while (targetIndex_ + 1 < targets_.size()) {
        ++targetIndex_;
        if (hSocket_ != kInvalidSocket) SocketClose(hSocket_);
        hSocket_ = kInvalidSocket;
        code = StartConnectAttempt();
        if (code == 0) return true;
    }
    lastError_ = code;
    SetState(wsConnected);
    NotifySessionConnected(static_cast<uint16_t>(code));
    if (state_ != wsClosed && hSocket_ == kInvalidSocket) FinishClose(false, 0);
    return true;
}

// Only while another address is left: the last one is bounded by the system alone.
void TCustomWSocket::ArmConnectTimer() {
    StopConnectTimer();
    if (sockType_ != SOCK_STREAM || connectAttemptMs_ <= 0 || targetIndex_ + 1 >= targets_.size())
        return;
    connectTimer_ =
        loop_->StartTimer(window_, MsgConnectTimeout, static_cast<uint32_t>(connectAttemptMs_));
}

void TCustomWSocket::StopConnectTimer() {
    if (connectTimer_ == 0) return;
    loop_->StopTimer(connectTimer_);
    connectTimer_ = 0;
}

void TCustomWSocket::HandleConnectTimeout(const Message& msg) {
    if (connectTimer_ == 0 || msg.wParam != connectTimer_) return;  // stopped meanwhile
    StopConnectTimer();
    if (state_ == wsConnecting) TryNextAddress(kErrTimedOut);
}

void TCustomWSocket::Listen() {
    if (!portAssigned_) {
        SetSocketLastError(kErrInvalidArgument);
        ReportSocketError("listen: port not assigned");
        return;
    }
    if (!protoAssigned_) {
        SetSocketLastError(kErrInvalidArgument);
        ReportSocketError("listen: protocol not assigned");
        return;
    }
    if (!addrAssigned_) {
        SetSocketLastError(kErrInvalidArgument);
        ReportSocketError("listen: address not assigned");
        return;
    }
    try {
        ResolveEndpoint(false);
    } catch (const std::exception& e) {
        SignalError(std::string("listen: ") + e.what());
        return;
    }

    ClearSendQueue();
    targetIndex_ = 0;
    const SocketAddress local = CurrentTarget();
    hSocket_ = SocketOpen(local.Family(), sockType_, proto_);
    if (hSocket_ == kInvalidSocket) {
        ReportSocketError("socket");
        return;
    }
    if (local.IsIPv6()) {
        // "::" takes IPv6 connections only: the IPv4 wildcard stays "0.0.0.0".
        const int on = 1;
        SocketSetOpt(hSocket_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
    }
    if (SocketBind(hSocket_, local) != 0) {
        // The handle is released before the report, so that it cannot leak when the report
        // raises; with the state still closed, the close that follows raises no event.
        const int code = SocketLastError();
        SocketClose(hSocket_);
        hSocket_ = kInvalidSocket;
        SetSocketLastError(code);
        ReportSocketError("Bind");
        Close();
        return;
    }
    SetState(wsBound);

    if (sockType_ == SOCK_DGRAM) {
        SetState(wsListening);
        SetState(wsConnected);
        NotifySessionConnected(0);
    } else {
        if (SocketListen(hSocket_, kListenBacklog) != 0) {
            ReportSocketError("Listen");
            return;
        }
        SetState(wsListening);
    }

    selectMask_ = kListenMask;
    if (SocketAsyncSelect(hSocket_, window_, MsgSocketEvent, selectMask_) != 0) {
        ReportSocketError("WSAASyncSelect");
    }
}

TSocket TCustomWSocket::Accept() {
    if (state_ != wsListening) {
        SetSocketLastError(kErrInvalidArgument);
        ReportSocketError("not a listening socket");
        return kInvalidSocket;
    }
    acceptedHandle_ = SocketAccept(hSocket_, &acceptedPeer_);
    if (acceptedHandle_ == kInvalidSocket) {
        ReportSocketError("Accept");
        return kInvalidSocket;
    }
    return acceptedHandle_;
}

void TCustomWSocket::Dup(TSocket handle) {
    if (handle == 0 || handle == kInvalidSocket) {
        SetSocketLastError(kErrInvalidArgument);
        ReportSocketError("Dup");
        return;
    }
    if (state_ != wsClosed) {
        const TSocket old = hSocket_;
        hSocket_ = kInvalidSocket;
        if (old != kInvalidSocket && SocketClose(old) != 0) {
            ReportSocketError("Dup (closesocket)");
            return;
        }
        SetState(wsClosed);  // no OnSessionClosed for the replaced handle
    }
    hSocket_ = handle;
    ApplyLinger();
    selectMask_ = kDupMask;
    if (SocketAsyncSelect(hSocket_, window_, MsgSocketEvent, selectMask_) != 0) {
        ReportSocketError("WSAAsyncSelect");
        return;
    }
    SetState(wsConnected);
}

// ---- closing ----------------------------------------------------------------------------

void TCustomWSocket::FinishClose(bool shut, uint16_t error) {
    if (hSocket_ == kInvalidSocket) {
        if (state_ != wsClosed) {
            SetState(wsClosed);
            ResetDefaults();
        }
        return;
    }
    if (state_ == wsClosed) {
        // A handle open while the state says closed is released quietly.
        SocketClose(hSocket_);
        hSocket_ = kInvalidSocket;
        return;
    }
    if (shut) Shutdown(1);
    if (SocketClose(hSocket_) != 0) {
        lastError_ = SocketLastError();
        ReportSocketError("Disconnect (closesocket)");
        return;
    }
    hSocket_ = kInvalidSocket;
    SetState(wsClosed);
    if (!destroying_ && !closeNotified_) {
        closeNotified_ = true;
        NotifySessionClosed(error);
    }
    try {
        ResetDefaults();
    } catch (...) {
    }
}

void TCustomWSocket::Close() {
    FinishClose(true, 0);
}

void TCustomWSocket::Abort() {
    CancelLookup();
    ClearSendQueue();
    if (state_ == wsConnected && proto_ == IPPROTO_TCP) {
        lingerOnOff_ = wsLingerOff;
        ApplyLinger();
    }
    FinishClose(false, 0);
}

void TCustomWSocket::PostClose() {
    loop_->Post(window_, MsgCloseLater, 0, 0);
}

void TCustomWSocket::PostDestroy() {
    loop_->Post(window_, MsgDestroyLater, 0, 0);
}

void TCustomWSocket::Shutdown(int how) {
    if (hSocket_ != kInvalidSocket) SocketShutdown(hSocket_, how);
}

void TCustomWSocket::SuspendEvents() {
    suspended_ = true;
    if (hSocket_ != kInvalidSocket) SocketAsyncSelect(hSocket_, window_, 0, 0);
}

void TCustomWSocket::ResumeEvents() {
    suspended_ = false;
    if (hSocket_ != kInvalidSocket)
        SocketAsyncSelect(hSocket_, window_, MsgSocketEvent, selectMask_);
}

void TCustomWSocket::PumpMessages() {
    loop_->PumpMessages();
    if (multiThreaded_ && loop_->QuitRequested()) terminated_ = true;
}

}  // namespace tarnwick::net

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
    const std::string text = value.empty() ? "0.0.0.0" : value;
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
    sockaddr_in peer{};
    int len = sizeof(peer);
    if (SocketGetPeerName(hSocket_, &peer, &len) != 0) {
        ReportSocketError("GetPeerName");
        return "error";
    }
    return InetNtoa(peer.sin_addr.s_addr);
}

std::string TCustomWSocket::GetPeerPort() {
    if (state_ != wsConnected) return "error";
    sockaddr_in peer{};
    int len = sizeof(peer);
    if (SocketGetPeerName(hSocket_, &peer, &len) != 0) {
        ReportSocketError("GetPeerPort");
        return "error";
    }
    return std::to_string(ntohs(peer.sin_port));
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
    sockaddr_in local{};
    int len = sizeof(local);
    if (SocketGetSockName(hSocket_, &local, &len) != 0) return "error";
    return std::to_string(ntohs(local.sin_port));
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
    sin_ = sockaddr_in{};
    sin_.sin_family = AF_INET;
    addrFamily_ = AF_INET;
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
    localAddrStr_ = "0.0.0.0";
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

void TCustomWSocket::BindLocal() {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(localPortNum_);
    local.sin_addr.s_addr = WSocketResolveHost(localAddrStr_);
    if (SocketBind(hSocket_, local) != 0) {
        lastError_ = SocketLastError();
        SignalError(Sprintf("winsock.bind failed, error #%d", lastError_));
    }
    sockaddr_in bound{};
    int len = sizeof(bound);
    if (SocketGetSockName(hSocket_, &bound, &len) != 0) {
        lastError_ = SocketLastError();
        SignalError(Sprintf("winsock.getsockname failed, error #%d", lastError_));
        return;
    }
    localPortNum_ = ntohs(bound.sin_port);
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
    if (localPortNum_ != 0 || localAddrStr_ != "0.0.0.0") BindLocal();
    return true;
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
        sin_.sin_port = htons(portNum_);
        portResolved_ = true;
    }
    if (withLocalPort && !localPortResolved_) {
        localPortNum_ = static_cast<uint16_t>(WSocketResolvePort(localPortStr_, protoStr_));
        localPortResolved_ = true;
    }
    if (!addrResolved_) {
        sin_.sin_addr.s_addr = WSocketResolveHost(addrStr_);
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
    hSocket_ = SocketOpen(AF_INET, sockType_, proto_);
    if (hSocket_ == kInvalidSocket) {
        ReportSocketError("Connect (socket)");
        return;
    }
    SetState(wsOpened);

    if (sockType_ == SOCK_DGRAM) {
        BindLocal();
        if (sin_.sin_addr.s_addr == INADDR_BROADCAST) {
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
    if (SocketConnect(hSocket_, sin_) == 0 || SocketLastError() == kErrWouldBlock) {
        SetState(wsConnecting);
        return;
    }
    lastError_ = SocketLastError();
    ReportSocketError("Connect");
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
    hSocket_ = SocketOpen(AF_INET, sockType_, proto_);
    if (hSocket_ == kInvalidSocket) {
        ReportSocketError("socket");
        return;
    }
    if (SocketBind(hSocket_, sin_) != 0) {
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
    int len = sizeof(sin_);
    acceptedHandle_ = SocketAccept(hSocket_, &sin_, &len);
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

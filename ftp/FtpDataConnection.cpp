// TFtpDataConnection: the data socket, made passive or active, the connection held before
// its transfer step, and TLS on the data connection.
#include "ftp/FtpDataConnection.h"

#include <arpa/inet.h>

#include "net/TlsContext.h"

namespace tarnwick::ftp {

namespace {

constexpr int kReplyPassive = 227;
constexpr int kReplyExtendedPassive = 229;
constexpr int kReplyUnknownCommand = 500;
constexpr int kReplyNotImplemented = 502;
constexpr const char* kNoPeer = "error";  // PeerAddr of a socket without a peer
constexpr int kActiveLingerSeconds = 10;

}  // namespace

TFtpDataConnection::TFtpDataConnection(net::TWSocket& control)
    : control_(control), socket_(std::make_unique<net::TWSocket>()) {
    // An upload block goes to the stack whole rather than in 1514-byte pieces.
    socket_->SetSendBlockSize(static_cast<int>(kSendBlockSize));
}

void DetachSocketHandlers(net::TWSocket& s) {
    s.OnDnsLookupDone = nullptr;
    s.OnSessionConnected = nullptr;
    s.OnDataAvailable = nullptr;
    s.OnSessionClosed = nullptr;
    s.OnSessionAvailable = nullptr;
    s.OnDataSent = nullptr;
    s.OnSendData = nullptr;
    s.OnChangeState = nullptr;
    s.OnTlsDone = nullptr;
}

TFtpDataConnection::~TFtpDataConnection() {
    DetachSocketHandlers(*socket_);
    earlyData_.Reset();
    socket_.reset();
}

void TFtpDataConnection::Notify(const Notice& hook, const std::string& text) const {
    if (hook) hook(text);
}

void TFtpDataConnection::TakePrepareReply(int statusCode, const std::string& text) {
    if (passive_ && statusCode == kReplyPassive) {
        pasvReply_ = text;
        passiveReply_ = text;
        extended_ = false;
    } else if (passive_ && statusCode == kReplyExtendedPassive) {
        passiveReply_ = text;
        extended_ = true;
    }
}

bool TFtpDataConnection::ControlIsIPv6() const {
    // Through SOCKS the socket's own family is the proxy's: the server's address counts (a
    // name the proxy resolves is taken as IPv4).
    if (!control_.SocksServer().empty()) return platform::IsIPv6Literal(control_.Addr());
    return control_.AddressFamily() == AF_INET6;
}

bool TFtpDataConnection::UseEpsv() const {
    return ControlIsIPv6() || (passiveCommand_ == TFtpPassiveCommand::Epsv && !epsvRefused_);
}

std::string TFtpDataConnection::Prepare(std::string& problem) {
    if (!passive_) return Listen(problem);
    extended_ = UseEpsv();
    return extended_ ? "EPSV" : "PASV";
}

bool TFtpDataConnection::FallBackToPasv(int statusCode) {
    if (!passive_ || !extended_ || ControlIsIPv6()) return false;
    if (statusCode != kReplyUnknownCommand && statusCode != kReplyNotImplemented) return false;
    epsvRefused_ = true;
    extended_ = false;
    return true;
}

std::string TFtpDataConnection::PassiveReplyProblem(int statusCode, const std::string& text) const {
    uint16_t port = 0;
    if (extended_) {
        if (statusCode != kReplyExtendedPassive) return "EPSV answered without a 229 reply: ";
        const std::string problem = ParseEpsvPort(text, port);
        return problem.empty() ? problem : "EPSV reply unusable (" + problem + "): ";
    }
    if (statusCode != kReplyPassive) return "PASV answered without a 227 reply: ";
    if (!ParsePasvPort(text, port) || port == 0)
        return "PASV reply without six numbers in parentheses: ";
    return {};
}

std::string TFtpDataConnection::PeerAddressText() const {
    // Through SOCKS the peer is the proxy; the proxy connects to the name it was given.
    if (!control_.SocksServer().empty()) return control_.Addr();
    // A name with several addresses may have been reached at a later one than the first.
    const std::string peer = control_.PeerAddr();
    return peer.empty() || peer == kNoPeer ? control_.Addr() : peer;
}

void TFtpDataConnection::Reset() {
    net::TWSocket& data = *socket_;
    DetachSocketHandlers(data);
    earlyData_.Reset();
    if (data.State() != net::wsClosed) data.Close();
    data.SetProto("tcp");
    data.SetAddr("0.0.0.0");
    data.SetPort("0");
}

void TFtpDataConnection::CloseIfOpen() {
    if (socket_->State() != net::wsClosed) socket_->Close();
}

// ---- making the connection ---------------------------------------------------------------

std::string TFtpDataConnection::Listen(std::string& problem) {
    platform::SocketAddress localAddress;
    if (control_.GetSockAddress(localAddress) == 0 && localAddress.IsIPv6())
        return ListenIPv6(localAddress, problem);
    sockaddr_in local{};
    int len = sizeof(local);
    if (control_.GetSockName(local, len) != 0) {
        problem = "PORT: the control connection has no local address";
        return {};
    }
    net::TWSocket& data = *socket_;
    try {
        data.SetLingerOnOff(net::wsLingerOn);
        data.SetLingerTimeout(kActiveLingerSeconds);
        // The listener takes connections on the control connection's own interface only:
        // that is the address the PORT command names.
        data.SetAddr(inet_ntoa(local.sin_addr));
        data.Listen();
    } catch (const std::exception& e) {
        CloseIfOpen();
        problem = std::string("PORT: ") + e.what();
        return {};
    }
    // Some servers connect as soon as PORT arrives, before the transfer verb: the
    // connection waits here for the transfer step.
    data.OnSessionAvailable = [this](net::TCustomWSocket*, uint16_t) {
        const net::TSocket handle = Accept();
        if (handle != net::kInvalidSocket) earlyData_.Hold(handle);
    };
    sockaddr_in bound{};
    int boundLen = sizeof(bound);
    if (data.GetSockName(bound, boundLen) != 0) {
        data.Close();
        problem = "PORT: the data listener has no port";
        return {};
    }
    return PortCommandText(control_.Addr(), local.sin_addr, ntohs(bound.sin_port));
}

std::string TFtpDataConnection::ListenIPv6(const platform::SocketAddress& local,
                                           std::string& problem) {
    net::TWSocket& data = *socket_;
    const std::string localText = platform::AddressText(local);
    try {
        data.SetLingerOnOff(net::wsLingerOn);
        data.SetLingerTimeout(kActiveLingerSeconds);
        data.SetAddr(localText);
        data.Listen();
    } catch (const std::exception& e) {
        CloseIfOpen();
        problem = std::string("EPRT: ") + e.what();
        return {};
    }
    data.OnSessionAvailable = [this](net::TCustomWSocket*, uint16_t) {
        const net::TSocket handle = Accept();
        if (handle != net::kInvalidSocket) earlyData_.Hold(handle);
    };
    platform::SocketAddress bound;
    if (data.GetSockAddress(bound) != 0 || bound.Port() == 0) {
        data.Close();
        problem = "EPRT: the data listener has no port";
        return {};
    }
    return EprtCommandText(true, localText, bound.Port());
}

void TFtpDataConnection::ConnectPassive(const std::function<void(net::TWSocket&)>& prepare) {
    uint16_t port = 0;
    if (extended_) {
        const std::string problem = ParseEpsvPort(passiveReply_, port);
        if (!problem.empty())
            throw FtpException("no usable EPSV reply \"" + passiveReply_ + "\" (" + problem + ")");
    } else if (!ParsePasvPort(pasvReply_, port) || port == 0) {
        throw FtpException("no usable PASV reply \"" + pasvReply_ + "\"");
    }
    net::TWSocket& data = *socket_;
    if (data.State() != net::wsClosed) data.Close();
    data.SetProto("tcp");
    data.SetPort(std::to_string(port));
    data.SetAddr(PeerAddressText());
    if (prepare) prepare(data);
    data.SetLingerOnOff(net::wsLingerOff);
    data.SetLingerTimeout(0);
    data.Connect();
}

net::TSocket TFtpDataConnection::Accept() {
    net::TWSocket& data = *socket_;
    const net::TSocket handle = data.Accept();
    if (handle == net::kInvalidSocket) return handle;  // nothing taken: the listener waits on
    if (!FromControlPeer(handle)) return net::kInvalidSocket;
    data.OnSessionAvailable = nullptr;
    data.Close();  // the listener
    return handle;
}

// A data connection in active mode must come from the host the control connection goes to:
// anyone else who reaches the listener first would get an upload's bytes or feed a
// download with its own. Such a connection is closed and the listener keeps waiting.
bool TFtpDataConnection::FromControlPeer(net::TSocket handle) {
    platform::SocketAddress peer;
    platform::SocketAddress server;
    if (platform::SocketGetPeerName(handle, &peer) != 0 || control_.GetPeerAddress(server) != 0 ||
        peer.SameHost(server))
        return true;  // a peer that cannot be read has reset already; its close follows
    Notify(OnDisplay, "! Data connection from " + platform::AddressText(peer) + " refused");
    platform::SocketClose(handle);
    return false;
}

// ---- TLS -----------------------------------------------------------------------------------

void TFtpDataConnection::Protect(std::shared_ptr<net::TTlsContext> context,
                                 std::shared_ptr<net::TTlsSessionStore> sessions,
                                 std::string host) {
    protected_ = true;
    tlsContext_ = std::move(context);
    tlsSessions_ = std::move(sessions);
    tlsHost_ = std::move(host);
}

void TFtpDataConnection::Unprotect() {
    protected_ = false;
}

void TFtpDataConnection::ResetTls() {
    replySeen_ = false;
    tlsWaiting_ = false;
}

// The handshake of a data connection starts once the connection is up and the server has
// accepted the transfer (125/150), whichever comes second: a server that meets a handshake
// on a connection made before the transfer verb may drop it (pyftpdlib).
void TFtpDataConnection::SecureWhenUp() {
    if (!protected_) return;
    if (!replySeen_) {
        tlsWaiting_ = true;
        return;
    }
    StartTls();
}

void TFtpDataConnection::SecureAfterReply() {
    replySeen_ = true;
    if (!tlsWaiting_) return;
    tlsWaiting_ = false;
    StartTls();
}

void TFtpDataConnection::StartTls() {
    net::TWSocket& data = *socket_;
    if (data.State() != net::wsConnected || data.TlsChannel() != nullptr) return;
    data.OnTlsDone = [this](net::TCustomWSocket*, uint16_t e) { TlsDone(e); };
    try {
        data.StartTls(tlsContext_, tlsHost_, tlsSessions_->Take(), tlsSessions_);
    } catch (const std::exception& e) {
        Notify(OnTlsFailed, std::string(e.what()));
    }
}

void TFtpDataConnection::TlsDone(uint16_t Error) {
    net::TWSocket& data = *socket_;
    if (Error == 0) {
        if (!data.TlsChannel()->SessionReused())
            Notify(OnDisplay, "! TLS data connection without the control connection's session");
        return;
    }
    Notify(OnTlsFailed, data.TlsErrorText());
}

}  // namespace tarnwick::ftp

// TFtpDataConnection: the data socket, made passive or active, the connection held before
// its transfer step, and TLS on the data connection.
#include "ftp/FtpDataConnection.h"

#include <arpa/inet.h>

#include "net/TlsContext.h"

namespace tarnwick::ftp {

namespace {

constexpr int kReplyPassive = 227;
constexpr int kActiveLingerSeconds = 10;

}  // namespace

TFtpDataConnection::TFtpDataConnection(net::TWSocket& control)
    : control_(control), socket_(std::make_unique<net::TWSocket>()) {
    // An upload block goes to the stack whole rather than in 1514-byte pieces.
    socket_->SetSendBlockSize(static_cast<int>(kSendBlockSize));
}

TFtpDataConnection::~TFtpDataConnection() {
    // The socket goes without calling back into an engine that is being destroyed.
    net::TWSocket& s = *socket_;
    s.OnDnsLookupDone = nullptr;
    s.OnSessionConnected = nullptr;
    s.OnDataAvailable = nullptr;
    s.OnSessionClosed = nullptr;
    s.OnSessionAvailable = nullptr;
    s.OnDataSent = nullptr;
    s.OnChangeState = nullptr;
    s.OnTlsDone = nullptr;
    earlyData_.Reset();
    socket_.reset();
}

void TFtpDataConnection::Notify(const Notice& hook, const std::string& text) const {
    if (hook) hook(text);
}

void TFtpDataConnection::TakePrepareReply(int statusCode, const std::string& text) {
    if (passive_ && statusCode == kReplyPassive) pasvReply_ = text;
}

void TFtpDataConnection::Reset() {
    net::TWSocket& data = *socket_;
    data.OnSessionAvailable = nullptr;
    data.OnSessionClosed = nullptr;
    data.OnDataAvailable = nullptr;
    data.OnSessionConnected = nullptr;
    data.OnDataSent = nullptr;
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

void TFtpDataConnection::ConnectPassive(const std::function<void(net::TWSocket&)>& prepare) {
    uint16_t port = 0;
    if (!ParsePasvPort(pasvReply_, port) || port == 0)
        throw FtpException("no usable PASV reply \"" + pasvReply_ + "\"");
    net::TWSocket& data = *socket_;
    if (data.State() != net::wsClosed) data.Close();
    data.SetProto("tcp");
    data.SetPort(std::to_string(port));
    data.SetAddr(control_.Addr());
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
    sockaddr_in peer{};
    int peerLen = sizeof(peer);
    sockaddr_in server{};
    int serverLen = sizeof(server);
    if (platform::SocketGetPeerName(handle, &peer, &peerLen) != 0 ||
        control_.GetPeerSockAddr(server, serverLen) != 0 ||
        peer.sin_addr.s_addr == server.sin_addr.s_addr)
        return true;  // a peer that cannot be read has reset already; its close follows
    Notify(OnDisplay,
           "! Data connection from " + platform::InetNtoa(peer.sin_addr.s_addr) + " refused");
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

// TFtpDataConnection: the data connection of an FTP session. It owns the data socket and
// knows how the connection is made (passive: PASV or EPSV, the port of the server's reply
// taken at the control connection's peer; active: PORT or EPRT for a listener on the control
// connection's own interface that takes connections from the control connection's peer
// only; an IPv6 control connection uses EPSV and EPRT), holds a connection the server made
// before its transfer step ran, and puts the connection under TLS once the session protects
// its data. It also keeps the state of the transfer that runs over it.
// The engine drives it: which command prepares the connection, when to connect, when a
// transfer reply has come.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ftp/FtpTransfer.h"
#include "ftp/FtpTypes.h"
#include "net/WSocket.h"

namespace tarnwick::ftp {

// Unhooks every handler of a socket the engine owns: when the engine is destroyed, so that
// the socket goes without calling back into it, and when the data connection is reset for
// the next transfer, which sets its own.
void DetachSocketHandlers(net::TWSocket& s);

class TFtpDataConnection {
  public:
    using Notice = std::function<void(const std::string& text)>;

    // control is the session's control socket; it outlives this object.
    explicit TFtpDataConnection(net::TWSocket& control);
    ~TFtpDataConnection();
    TFtpDataConnection(const TFtpDataConnection&) = delete;
    TFtpDataConnection& operator=(const TFtpDataConnection&) = delete;

    // A line for the session log ("! Data connection from ... refused").
    Notice OnDisplay;
    // The TLS handshake of the data connection failed (the text says why); the connection is
    // to be closed by the caller.
    Notice OnTlsFailed;

    net::TWSocket& Socket() { return *socket_; }
    const net::TWSocket& Socket() const { return *socket_; }
    bool Passive() const { return passive_; }
    void SetPassive(bool v) { passive_ = v; }
    // The command passive mode starts with on an IPv4 control connection.
    TFtpPassiveCommand PassiveCommand() const { return passiveCommand_; }
    void SetPassiveCommand(TFtpPassiveCommand v) { passiveCommand_ = v; }
    // A new control connection: a refusal of EPSV by the last server is forgotten.
    void NewSession() { epsvRefused_ = false; }
    // The last 227 reply received in passive mode.
    const std::string& PasvReply() const { return pasvReply_; }
    // Keeps the reply to the preparing command when it names the passive port.
    void TakePrepareReply(int statusCode, const std::string& text);

    // The command that prepares the next data connection: "PASV" or "EPSV" in passive mode;
    // in active mode the listener is opened first and "PORT ..." or "EPRT ..." names it.
    // Empty with problem set when the listener cannot be opened.
    std::string Prepare(std::string& problem);
    // The server did not understand EPSV (500, 502) on an IPv4 control connection: PASV is
    // used from now on in this session, and true tells the caller to send it now.
    bool FallBackToPasv(int statusCode);
    // What is wrong with the reply to the passive command (prefix for the reply's text),
    // empty when it names a usable port.
    std::string PassiveReplyProblem(int statusCode, const std::string& text) const;
    FtpTransferState& Transfer() { return xfer_; }
    const FtpTransferState& Transfer() const { return xfer_; }

    // Drops every handler, the held connection and whatever is open; the socket is left
    // closed and bound to nothing, ready for the next preparation.
    void Reset();
    void CloseIfOpen();

    // Passive mode: connects to the port of the passive reply at the control connection's
    // peer. prepare runs on the closed socket just before the connect (SOCKS settings,
    // handlers). Throws FtpException or ESocketException when it cannot start.
    void ConnectPassive(const std::function<void(net::TWSocket&)>& prepare);
    // The listener's next connection, or kInvalidSocket when there was none or it came from
    // another host than the control connection's (the listener then keeps waiting).
    net::TSocket Accept();

    // A connection accepted before its transfer step ran.
    bool HoldsEarly() const { return earlyData_.Held(); }
    net::TSocket TakeEarly() { return earlyData_.Take(); }
    void DropEarly() { earlyData_.Reset(); }

    // TLS on the data connection. Protect: PROT P was accepted; every data connection from
    // now on runs under TLS, resuming the control connection's session from sessions.
    void Protect(std::shared_ptr<net::TTlsContext> context,
                 std::shared_ptr<net::TTlsSessionStore> sessions, std::string host);
    void Unprotect();
    bool Protected() const { return protected_; }
    // A new transfer begins: no reply seen, no handshake waiting.
    void ResetTls();
    // The connection is up: its handshake starts once the transfer verb was answered too.
    void SecureWhenUp();
    // The transfer verb was answered 125/150.
    void SecureAfterReply();

  private:
    bool ControlIsIPv6() const;
    bool UseEpsv() const;
    // The address passive connections go to: the control connection's peer (through SOCKS
    // the name or address the control connection was made to).
    std::string PeerAddressText() const;
    // Active mode: listens on the control connection's local address and returns the PORT
    // or EPRT command for it; empty with problem set when it cannot. A connection that comes
    // before the transfer step is held (see HoldsEarly).
    std::string Listen(std::string& problem);
    std::string ListenIPv6(const platform::SocketAddress& local, std::string& problem);
    bool FromControlPeer(net::TSocket handle);
    void StartTls();
    void TlsDone(uint16_t Error);
    void Notify(const Notice& hook, const std::string& text) const;

    net::TWSocket& control_;
    std::unique_ptr<net::TWSocket> socket_;
    bool passive_ = false;
    TFtpPassiveCommand passiveCommand_ = TFtpPassiveCommand::Pasv;
    bool epsvRefused_ = false;  // this session's server answered EPSV with 500 or 502
    bool extended_ = false;     // the passive command sent last was EPSV
    std::string pasvReply_;
    std::string passiveReply_;  // the reply to the passive command sent last
    PendingDataConnection earlyData_;
    FtpTransferState xfer_;
    bool protected_ = false;   // PROT P accepted: data connections run under TLS
    bool replySeen_ = false;   // the transfer verb was answered 125/150
    bool tlsWaiting_ = false;  // the data connection is up, its handshake not started
    std::shared_ptr<net::TTlsContext> tlsContext_;
    std::shared_ptr<net::TTlsSessionStore> tlsSessions_;
    std::string tlsHost_;
};

}  // namespace tarnwick::ftp

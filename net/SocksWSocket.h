// TCustomSocksWSocket: the SOCKS client layer of the socket. With SocksServer set, Connect
// reaches the proxy instead of the destination and runs the SOCKS 4, 4A or 5 handshake
// (user/password authentication for SOCKS 5) inside the socket; the user of the socket
// sees OnSessionConnected(0) only once the proxy has granted the connection, and from
// then on the socket behaves like a direct connection.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/CustomWSocket.h"

namespace tarnwick::net {

enum TSocksState { SocksReady, SocksNegotiating, SocksAuthenticating, SocksConnecting };
enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { socksAuthBegin, socksAuthSucceeded, socksAuthRefused, socksAuthSkipped };

using TSocksErrorEvent =
    std::function<void(TCustomWSocket* Sender, int Error, const std::string& Msg)>;
using TSocksAuthStateEvent = std::function<void(TCustomWSocket* Sender, TSocksAuthState AuthState)>;

// Handshake failures (the Error of OnSocksError, then of OnSessionConnected and
// OnSessionClosed).
inline constexpr int kSocksErrLogic = 20001;  // also: too much data in the auth reply
inline constexpr int kSocksErrVersion = 20002;
inline constexpr int kSocksErrMethod = 20003;
inline constexpr int kSocksErrGeneralFailure = 20004;  // SOCKS 5 reply codes 1 to 8: 20004..20011
inline constexpr int kSocksErrConnectionRefused = 20008;
inline constexpr int kSocksErrAddressType = 20011;
inline constexpr int kSocksErrUnassigned = 20012;
inline constexpr int kSocksErrInternal = 20013;
inline constexpr int kSocksErrRequestTooLong = 20014;
inline constexpr int kSocksErrAuthFailed = 20015;
inline constexpr int kSocksErrRejected = 20016;
inline constexpr int kSocksErrResolve = 20017;

// Requests are assembled in an area of this size; one that would not fit is refused.
inline constexpr int kSocksRequestAreaSize = 128;
// Replies are collected in an area that holds the longest SOCKS 5 reply (a 255-byte bound
// host name: 262 bytes) with room behind it for data that came with it.
inline constexpr int kSocksReplyAreaSize = 512;

class TCustomSocksWSocket : public TCustomWSocket {
  public:
    TCustomSocksWSocket();

    TSessionConnected OnSocksConnected;
    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

    // "4", "4A" or "5"; changing it needs a closed socket.
    const std::string& SocksLevel() const { return socksLevel_; }
    void SetSocksLevel(const std::string& value);
    const std::string& SocksServer() const { return socksServer_; }
    virtual void SetSocksServer(const std::string& value);
    const std::string& SocksPort() const { return socksPort_; }
    virtual void SetSocksPort(const std::string& value);
    const std::string& SocksUsercode() const { return socksUsercode_; }
    void SetSocksUsercode(const std::string& value) { socksUsercode_ = value; }
    const std::string& SocksPassword() const { return socksPassword_; }
    void SetSocksPassword(const std::string& value) { socksPassword_ = value; }
    TSocksAuthentication SocksAuthentication() const { return socksAuthentication_; }
    void SetSocksAuthentication(TSocksAuthentication value) { socksAuthentication_ = value; }
    TSocksState SocksState() const { return socksState_; }

    void Connect() override;
    void Listen() override;

  protected:
    void ResetDefaults() override;
    void NotifySessionConnected(uint16_t error) override;
    void NotifySessionClosed(uint16_t error) override;
    bool NotifyDataAvailable(uint16_t error) override;
    // The handshake's own sends are the socket's business: OnDataSent stays silent until
    // the proxy has granted the connection.
    void NotifyDataSent(uint16_t error) override;
    int GetRcvdCount() override;
    int BufferedCount() override;
    int RawReceive(void* buffer, int size, int flags) override;

    virtual void NotifySocksConnected(uint16_t error);
    virtual void NotifySocksError(int error, const std::string& msg);
    void NotifySocksAuthState(TSocksAuthState state);

  private:
    void ResetSocksDefaults();
    bool LevelIs4() const { return !socksLevel_.empty() && socksLevel_[0] == '4'; }
    // Receives into the reply area after the bytes already there, at most up to limit
    // bytes in all. False when nothing came: would-block, or the handshake failed (the
    // proxy closed the connection or a receive error).
    bool ReceiveReply(int limit);
    // Each returns whether a handler ran (always, but for what the granted connection's
    // first data offer answers).
    bool ServeNegotiation();
    bool ServeAuthReply();
    bool ServeSocks4Reply();
    bool ServeSocks5Reply();
    bool Granted();
    void SendAuthRequest();
    void SendConnectRequest();
    void SendRequest(const std::string& request);
    void SocksFail(int code, const std::string& msg);

    TSocksState socksState_ = SocksReady;
    std::string socksServer_;
    std::string socksLevel_ = "5";
    std::string socksPort_;
    bool socksPortAssigned_ = false;
    bool socksServerAssigned_ = false;
    std::string socksUsercode_;
    std::string socksPassword_;
    TSocksAuthentication socksAuthentication_ = socksNoAuthentication;
    uint8_t methodAsked_ = 0;
    uint16_t destPort_ = 0;          // host order
    std::string socks4Destination_;  // what SOCKS 4 resolves: Addr, or its IPv4 fallback
    uint8_t reply_[kSocksReplyAreaSize] = {};
    int replyCount_ = 0;
    int leftoverCount_ = 0;
    int leftoverPos_ = 0;
};

}  // namespace tarnwick::net

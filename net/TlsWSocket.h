// TCustomTlsWSocket: TLS over an established connection, direct or made through a SOCKS
// proxy. StartTls runs the handshake on the connected socket; OnTlsDone reports its end
// (0, or a socket error code with LastErrorMessage), always posted. From then on Receive,
// Send and the send queue carry plain bytes through the TLS records, the events stay those
// of a plain socket, and Close sends close_notify first. Line mode sits above this layer.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "net/SocksWSocket.h"
#include "net/TlsChannel.h"
#include "net/TlsContext.h"
#include "net/TlsLingeringClose.h"

namespace tarnwick::net {

inline constexpr uint32_t MsgTlsDone = platform::kMsgUser + 7;
inline constexpr uint32_t MsgTlsLinger = platform::kMsgUser + 8;

using TTlsDone = std::function<void(TCustomWSocket* Sender, uint16_t Error)>;

class TCustomTlsWSocket : public TCustomSocksWSocket {
  public:
    TCustomTlsWSocket() = default;
    ~TCustomTlsWSocket() override;

    TTlsDone OnTlsDone;

    // host: what the certificate is checked against; reuse: a session to resume (the
    // control connection's, for a data connection); keepSessions: remember the sessions
    // the server gives out (LatestTlsSession).
    void StartTls(const std::shared_ptr<TTlsContext>& context, const std::string& host,
                  const std::shared_ptr<TTlsSession>& reuse = nullptr,
                  std::shared_ptr<TTlsSessionStore> sessions = nullptr);
    // The handshake is done and the records carry the data.
    bool TlsActive() const { return tlsState_ == TlsReady; }
    bool TlsHandshaking() const { return tlsState_ == TlsShaking; }
    // Only while a channel exists (handshaking or active).
    const TTlsChannel* TlsChannel() const { return channel_.get(); }
    // Why the handshake or a record failed ("TLS handshake failed: ..."), while the channel
    // exists.
    std::string TlsErrorText() const { return channel_ ? channel_->ErrorText() : std::string(); }

  protected:
    void HandleMessage(const platform::Message& msg) override;
    void ResetDefaults() override;
    void FinishClose(bool shut, uint16_t error) override;
    bool NotifyDataAvailable(uint16_t error) override;
    void NotifyDataSent(uint16_t error) override;
    void NotifySessionClosed(uint16_t error) override;
    int GetRcvdCount() override;
    int BufferedCount() override;
    int RawReceive(void* buffer, int size, int flags) override;
    int RawSend(const void* data, int len) override;
    int UnavailableIo() const;
    virtual void NotifyTlsDone(uint16_t error);

  private:
    enum TTlsState { TlsOff, TlsShaking, TlsReady, TlsFailed };
    void DriveHandshake();
    void PostTlsDone(uint16_t error);
    void PostReadNotification();

    std::shared_ptr<TTlsContext> context_;
    std::unique_ptr<TTlsChannel> channel_;
    std::unique_ptr<TTlsLingeringClose> lingering_;
    TTlsState tlsState_ = TlsOff;
    // Tells a posted report from one of an earlier channel.
    uintptr_t generation_ = 0;
};

}  // namespace tarnwick::net

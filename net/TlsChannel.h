// TTlsChannel: one TLS client connection over a connected non-blocking socket handle: the
// handshake, reading and writing records, close_notify, and what the peer's certificate
// says. Failures become socket error codes (kErrWouldBlock while the record layer waits)
// with a text of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/TlsCertificate.h"
#include "net/TlsContext.h"
#include "platform/SocketApi.h"

struct ssl_st;

namespace tarnwick::net {

class TTlsChannel {
  public:
    enum class THandshake { Done, WantRead, WantWrite, Failed };

    // host: the name the certificate is checked against (an IPv4 address is matched as
    // one); reuse: a session of the same server to resume, or null; sessions: where the
    // sessions the server hands out on this channel go (null: nowhere).
    TTlsChannel(const TTlsContext& context, platform::TSocket handle, const std::string& host,
                const std::shared_ptr<TTlsSession>& reuse,
                std::shared_ptr<TTlsSessionStore> sessions);
    ~TTlsChannel();
    TTlsChannel(const TTlsChannel&) = delete;
    TTlsChannel& operator=(const TTlsChannel&) = delete;

    THandshake Handshake();
    // Bytes read (> 0), 0 when the peer closed (close_notify or end of stream), -1 with the
    // socket's last error set (kErrWouldBlock, or an error code with ErrorText).
    int Read(void* buffer, int size);
    int Write(const void* data, int size);
    // Decrypted bytes held and not yet read.
    int Pending() const;
    // Sends close_notify once, without waiting for the peer's.
    void Shutdown();

    // The peer's close_notify came: everything it sent has been read.
    bool PeerClosed() const { return peerClosed_; }
    int Error() const { return error_; }
    const std::string& ErrorText() const { return errorText_; }
    bool SessionReused() const;
    // "TLS 1.3 session, cipher TLS_AES_256_GCM_SHA384"
    std::string Description() const;
    TCertificateInfo Certificate(const std::string& host, int port) const;

    // For the record layer's reads and writes.
    platform::TSocket Handle() const { return handle_; }
    void SetIoError(int code) { ioError_ = code; }
    void CountReceive() { ++receives_; }

    // The library's new-session callback lands here: true when the channel took the
    // session (its reference).
    bool OfferSession(ssl_session_st* session);

  private:
    // Turns a failed call's result into the socket's last error; -1.
    int Fail(int result, int failureCode);

    ssl_st* ssl_ = nullptr;
    platform::TSocket handle_;
    std::shared_ptr<TTlsSessionStore> sessions_;
    int ioError_ = 0;
    uint64_t receives_ = 0;  // the last failed socket call's code (not would-block)
    bool shutdownSent_ = false;
    bool peerClosed_ = false;
    int error_ = 0;
    std::string errorText_;
};

}  // namespace tarnwick::net

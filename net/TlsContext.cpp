#include "net/TlsContext.h"

#include <openssl/ssl.h>

#include "net/SocketErrors.h"
#include "net/TlsChannel.h"

namespace tarnwick::net {

namespace {

// The library offers every new session of a client connection here; a channel that keeps
// its sessions takes the reference (1), others leave it to the library (0).
int NewSession(SSL* ssl, SSL_SESSION* session) {
    auto* channel = static_cast<TTlsChannel*>(SSL_get_app_data(ssl));
    if (channel == nullptr) return 0;
    return channel->OfferSession(session) ? 1 : 0;
}

}  // namespace

TTlsSession::~TTlsSession() {
    SSL_SESSION_free(session_);
}

void TTlsSessionStore::Add(std::shared_ptr<TTlsSession> session) {
    if (fresh_.size() >= kMaxFresh) fresh_.erase(fresh_.begin());
    fresh_.push_back(std::move(session));
}

std::shared_ptr<TTlsSession> TTlsSessionStore::Take() {
    if (!fresh_.empty()) {
        last_ = fresh_.back();
        fresh_.pop_back();
    }
    return last_;
}

TTlsContext::TTlsContext() : ctx_(SSL_CTX_new(TLS_client_method())) {
    if (ctx_ == nullptr) throw ESocketException("Cannot create the TLS context");
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(ctx_);
    // The handshake always completes; the certificate's verdict is read afterwards and
    // decided on before anything is sent.
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_options(ctx_, SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx_, NewSession);
}

TTlsContext::~TTlsContext() {
    SSL_CTX_free(ctx_);
}

}  // namespace tarnwick::net

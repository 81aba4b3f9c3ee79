// The client side of TLS shared by the connections of one session: the library context
// (TLS 1.2 or later, the system's trust store) and the sessions a data connection resumes.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

struct ssl_ctx_st;
struct ssl_session_st;

namespace tarnwick::net {

// Socket error codes of the TLS layer (their texts come from WinsockErrorText).
inline constexpr int kErrTlsHandshake = 12101;
inline constexpr int kErrTlsProtocol = 12102;

// One resumable TLS session, as the server handed it out.
class TTlsSession {
  public:
    explicit TTlsSession(ssl_session_st* session) : session_(session) {}
    ~TTlsSession();
    TTlsSession(const TTlsSession&) = delete;
    TTlsSession& operator=(const TTlsSession&) = delete;
    ssl_session_st* Get() const { return session_; }

  private:
    ssl_session_st* session_;
};

// The sessions one server handed out on the connections of a session, for the next
// connection to resume. A TLS 1.3 server may take each ticket once only, so a new one is
// preferred to one given out already.
class TTlsSessionStore {
  public:
    void Add(std::shared_ptr<TTlsSession> session);
    // The newest session not given out yet, else the last one given out (null when none).
    std::shared_ptr<TTlsSession> Take();
    size_t FreshCount() const { return fresh_.size(); }

  private:
    static constexpr size_t kMaxFresh = 8;
    std::vector<std::shared_ptr<TTlsSession>> fresh_;
    std::shared_ptr<TTlsSession> last_;
};

class TTlsContext {
  public:
    // Raises ESocketException when the library cannot make a context.
    TTlsContext();
    ~TTlsContext();
    TTlsContext(const TTlsContext&) = delete;
    TTlsContext& operator=(const TTlsContext&) = delete;
    ssl_ctx_st* Get() const { return ctx_; }

  private:
    ssl_ctx_st* ctx_;
};

}  // namespace tarnwick::net

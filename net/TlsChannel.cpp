#include "net/TlsChannel.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdio>
#include <ctime>

#include "net/SocketErrors.h"
#include "platform/ErrorCodes.h"
#include "platform/TickCount.h"

namespace tarnwick::net {

namespace {

constexpr size_t kErrorTextSize = 256;
constexpr uint64_t kCloseNotifyWaitMs = 5000;
constexpr size_t kTimeTextSize = 32;
constexpr unsigned kNameFlags =
    XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_DN_REV | XN_FLAG_FN_SN | ASN1_STRFLGS_RFC2253;

bool IsIpv4Address(const std::string& host) {
    in_addr addr{};
    return inet_pton(AF_INET, host.c_str(), &addr) == 1;
}

// The oldest queued library error as text ("" when none), and the queue emptied.
std::string LibraryErrorText() {
    std::string text;
    const unsigned long code = ERR_get_error();
    if (code != 0) {
        char buf[kErrorTextSize];
        const char* reason = ERR_reason_error_string(code);
        if (reason != nullptr) {
            text = reason;
        } else {
            ERR_error_string_n(code, buf, sizeof(buf));
            text = buf;
        }
    }
    ERR_clear_error();
    return text;
}

std::string NameText(X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (bio == nullptr) return {};
    X509_NAME_print_ex(bio, name, 0, kNameFlags);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string text(data, size > 0 ? static_cast<size_t>(size) : 0);
    BIO_free(bio);
    return text;
}

std::string TimeText(const ASN1_TIME* time) {
    std::tm tm{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &tm) != 1) return {};
    char buf[kTimeTextSize];
    std::strftime(buf, sizeof(buf), "%Y-%m-%d %H:%M:%S UTC", &tm);
    return buf;
}

std::string Fingerprint(X509* cert) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(cert, EVP_sha256(), digest, &length) != 1) return {};
    std::string text;
    char byte[4];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(byte, sizeof(byte), i == 0 ? "%02X" : ":%02X", digest[i]);
        text += byte;
    }
    return text;
}

// The record layer reads and writes through the socket calls of the platform, so that
// notifications are re-enabled as for any receive or send and errors keep their codes.
int BioWrite(BIO* bio, const char* data, int len) {
    auto* channel = static_cast<TTlsChannel*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    const int n = platform::SocketSend(channel->Handle(), data, len, 0);
    if (n >= 0) return n;
    const int code = platform::SocketLastError();
    if (code == platform::kErrWouldBlock) {
        BIO_set_retry_write(bio);
    } else {
        channel->SetIoError(code);
    }
    return -1;
}

int BioRead(BIO* bio, char* buffer, int size) {
    auto* channel = static_cast<TTlsChannel*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    channel->CountReceive();
    const int n = platform::SocketRecv(channel->Handle(), buffer, size, 0);
    if (n >= 0) return n;
    const int code = platform::SocketLastError();
    if (code == platform::kErrWouldBlock) {
        BIO_set_retry_read(bio);
    } else {
        channel->SetIoError(code);
    }
    return -1;
}

long BioControl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

// One method table for the whole process, made on first use.
BIO_METHOD* SocketBioMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tarnwick socket");
        BIO_meth_set_write(m, BioWrite);
        BIO_meth_set_read(m, BioRead);
        BIO_meth_set_ctrl(m, BioControl);
        BIO_meth_set_create(m, BioCreate);
        return m;
    }();
    return method;
}

}  // namespace

TTlsChannel::TTlsChannel(const TTlsContext& context, platform::TSocket handle,
                         const std::string& host, const std::shared_ptr<TTlsSession>& reuse,
                         std::shared_ptr<TTlsSessionStore> sessions)
    : ssl_(SSL_new(context.Get())), handle_(handle), sessions_(std::move(sessions)) {
    if (ssl_ == nullptr) throw ESocketException("Cannot create a TLS connection");
    SSL_set_app_data(ssl_, this);
    BIO* bio = BIO_new(SocketBioMethod());
    if (bio == nullptr) {
        SSL_free(ssl_);
        throw ESocketException("Cannot create a TLS connection");
    }
    BIO_set_data(bio, this);
    SSL_set_bio(ssl_, bio, bio);
    if (IsIpv4Address(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str());
    } else if (!host.empty()) {
        SSL_set_tlsext_host_name(ssl_, host.c_str());
        SSL_set1_host(ssl_, host.c_str());
    }
    if (reuse) SSL_set_session(ssl_, reuse->Get());
}

TTlsChannel::~TTlsChannel() {
    SSL_set_app_data(ssl_, nullptr);
    SSL_free(ssl_);
}

bool TTlsChannel::OfferSession(ssl_session_st* session) {
    if (!sessions_) return false;
    sessions_->Add(std::make_shared<TTlsSession>(session));
    return true;
}

int TTlsChannel::Fail(int result, int failureCode) {
    const int reason = SSL_get_error(ssl_, result);
    if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) {
        ERR_clear_error();
        platform::SetSocketLastError(platform::kErrWouldBlock);
        return -1;
    }
    std::string detail = LibraryErrorText();
    if (reason == SSL_ERROR_SYSCALL && ioError_ != 0 && detail.empty()) {
        error_ = ioError_;
        errorText_ = WinsockErrorText(error_);
    } else {
        error_ = failureCode;
        if (detail.empty()) detail = "the connection ended unexpectedly";
        errorText_ = WinsockErrorText(failureCode) + ": " + detail;
    }
    platform::SetSocketLastError(error_);
    return -1;
}

TTlsChannel::THandshake TTlsChannel::Handshake() {
    ERR_clear_error();
    const int result = SSL_connect(ssl_);
    if (result == 1) return THandshake::Done;
    const int reason = SSL_get_error(ssl_, result);
    if (reason == SSL_ERROR_WANT_READ) return THandshake::WantRead;
    if (reason == SSL_ERROR_WANT_WRITE) return THandshake::WantWrite;
    Fail(result, kErrTlsHandshake);
    return THandshake::Failed;
}

int TTlsChannel::Read(void* buffer, int size) {
    if (size <= 0) return 0;
    // A read hands out one record at most (16 KiB): records are read until the buffer is
    // full or the socket has no more, as a plain receive takes all that is there. A failure
    // after some bytes shows again at the next read.
    auto* bytes = static_cast<char*>(buffer);
    int total = 0;
    int n = 0;
    bool waitedOnSocket = false;
    while (total < size) {
        ERR_clear_error();
        const uint64_t receivesBefore = receives_;
        n = SSL_read(ssl_, bytes + total, size - total);
        if (receives_ != receivesBefore) waitedOnSocket = true;
        if (n <= 0) break;
        total += n;
    }
    // The next read notification comes only after a receive on the socket: bytes handed
    // out from a record read earlier need one that takes nothing.
    if (!waitedOnSocket) {
        char probe = 0;
        platform::SocketRecv(handle_, &probe, 1, MSG_PEEK);
    }
    const int reason = n > 0 ? SSL_ERROR_NONE : SSL_get_error(ssl_, n);
    // A peer that waits for the answer to its close_notify before it closes the connection
    // (vsftpd after a download) gets it now, also when the alert came behind the last
    // bytes: nothing else would make this side read again.
    if (reason == SSL_ERROR_ZERO_RETURN && !peerClosed_) {
        ERR_clear_error();
        peerClosed_ = true;
        Shutdown();
    }
    if (total > 0) {
        ERR_clear_error();
        return total;
    }
    // close_notify, or the end of the stream without it: the peer has closed either way.
    if (reason == SSL_ERROR_ZERO_RETURN || (reason == SSL_ERROR_SYSCALL && ioError_ == 0)) {
        ERR_clear_error();
        return 0;
    }
    return Fail(n, kErrTlsProtocol);
}

int TTlsChannel::Write(const void* data, int size) {
    if (size <= 0) return 0;
    // One record per call: records are written until all is taken or the stack is full, as
    // a plain send takes what it can (a short count means the stack is full).
    const auto* bytes = static_cast<const char*>(data);
    int total = 0;
    while (total < size) {
        ERR_clear_error();
        const int n = SSL_write(ssl_, bytes + total, size - total);
        if (n > 0) {
            total += n;
            continue;
        }
        if (total > 0) {
            ERR_clear_error();
            return total;  // a failure shows again at the next write
        }
        return Fail(n, kErrTlsProtocol);
    }
    return total;
}

int TTlsChannel::Pending() const {
    return SSL_pending(ssl_);
}

void TTlsChannel::Shutdown() {
    if (shutdownSent_) return;
    shutdownSent_ = true;
    if (!SSL_is_init_finished(ssl_)) return;
    // The alert follows the last data into the stack's send buffer, which an upload has
    // just filled: without the alert the peer cannot tell the end of the file from a cut
    // connection, so the close waits (briefly) for room.
    const int fd = platform::SocketFd(handle_);
    const uint64_t deadline = platform::GetTickCount() + kCloseNotifyWaitMs;
    for (;;) {
        ERR_clear_error();
        const int result = SSL_shutdown(ssl_);
        if (result >= 0) break;
        const uint64_t now = platform::GetTickCount();
        if (SSL_get_error(ssl_, result) != SSL_ERROR_WANT_WRITE || fd < 0 || now >= deadline) break;
        pollfd wait{fd, POLLOUT, 0};
        if (::poll(&wait, 1, static_cast<int>(deadline - now)) <= 0) break;
    }
    ERR_clear_error();
}

bool TTlsChannel::SessionReused() const {
    return SSL_session_reused(ssl_) == 1;
}

std::string TTlsChannel::Description() const {
    std::string version = SSL_get_version(ssl_);
    if (version.rfind("TLSv", 0) == 0) version = "TLS " + version.substr(4);
    return version + " session, cipher " + SSL_get_cipher_name(ssl_);
}

TCertificateInfo TTlsChannel::Certificate(const std::string& host, int port) const {
    TCertificateInfo info;
    info.host = host;
    info.port = port;
    X509* cert = SSL_get0_peer_certificate(ssl_);
    if (cert == nullptr) {
        info.problem = "The server sent no certificate";
        return info;
    }
    info.subject = NameText(X509_get_subject_name(cert));
    info.issuer = NameText(X509_get_issuer_name(cert));
    info.validFrom = TimeText(X509_get0_notBefore(cert));
    info.validUntil = TimeText(X509_get0_notAfter(cert));
    info.sha256 = Fingerprint(cert);
    const long verdict = SSL_get_verify_result(ssl_);
    if (verdict != X509_V_OK) info.problem = X509_verify_cert_error_string(verdict);
    return info;
}

}  // namespace tarnwick::net

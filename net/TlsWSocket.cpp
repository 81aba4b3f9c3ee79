#include "net/TlsWSocket.h"

#include <sys/socket.h>

#include "platform/ErrorCodes.h"
#include "platform/SocketNotifier.h"

namespace tarnwick::net {

using namespace platform;

TCustomTlsWSocket::~TCustomTlsWSocket() {
    channel_.reset();
}

void TCustomTlsWSocket::StartTls(const std::shared_ptr<TTlsContext>& context,
                                 const std::string& host, const std::shared_ptr<TTlsSession>& reuse,
                                 std::shared_ptr<TTlsSessionStore> sessions) {
    if (State() != wsConnected || HSocket() == kInvalidSocket)
        throw ESocketException("TLS needs a connected socket");
    if (tlsState_ != TlsOff) throw ESocketException("TLS already started");
    context_ = context;
    channel_ =
        std::make_unique<TTlsChannel>(*context_, HSocket(), host, reuse, std::move(sessions));
    tlsState_ = TlsShaking;
    ++generation_;
    DriveHandshake();
}

void TCustomTlsWSocket::DriveHandshake() {
    switch (channel_->Handshake()) {
        case TTlsChannel::THandshake::Done:
            tlsState_ = TlsReady;
            PostTlsDone(0);
            // Records that came with the handshake's end are read once the owner knows.
            PostReadNotification();
            // What was queued meanwhile goes out now, and a sender that waits for the queue
            // to drain hears of it as after any send.
            TryToSend();
            PostToSelf(MsgSocketEvent, HSocket(), MakeSelectReply(kFdWrite, 0));
            break;
        case TTlsChannel::THandshake::WantRead:
            break;
        case TTlsChannel::THandshake::WantWrite:
            PostToSelf(MsgSocketEvent, HSocket(), MakeSelectReply(kFdWrite, 0));
            break;
        case TTlsChannel::THandshake::Failed:
            tlsState_ = TlsFailed;
            PostTlsDone(static_cast<uint16_t>(channel_->Error()));
            break;
    }
}

void TCustomTlsWSocket::PostTlsDone(uint16_t error) {
    PostToSelf(MsgTlsDone, generation_, error);
}

void TCustomTlsWSocket::PostReadNotification() {
    PostToSelf(MsgSocketEvent, HSocket(), MakeSelectReply(kFdRead, 0));
}

void TCustomTlsWSocket::HandleMessage(const platform::Message& msg) {
    if (msg.msg == MsgTlsLinger) {
        if (lingering_) lingering_->Poll();
        return;
    }
    if (msg.msg != MsgTlsDone) {
        TCustomSocksWSocket::HandleMessage(msg);
        return;
    }
    // A report for a channel closed since is nobody's business.
    if (msg.wParam != generation_ || !channel_) return;
    NotifyTlsDone(static_cast<uint16_t>(msg.lParam));
}

void TCustomTlsWSocket::NotifyTlsDone(uint16_t error) {
    if (OnTlsDone) OnTlsDone(this, error);
}

void TCustomTlsWSocket::ResetDefaults() {
    channel_.reset();
    context_.reset();
    tlsState_ = TlsOff;
    ++generation_;
    TCustomSocksWSocket::ResetDefaults();
}

void TCustomTlsWSocket::FinishClose(bool shut, uint16_t error) {
    // close_notify before the handle goes; an abort leaves without it.
    if (shut && channel_ && tlsState_ == TlsReady && HSocket() != kInvalidSocket) {
        TryToSend();
        // Records nobody read (session tickets the server sent after the handshake, on a
        // connection that only sends) would turn the close into a reset, and a reset throws
        // away what the peer has not read yet: the end of an upload.
        char scratch[kDrainChunk];
        while (channel_->Read(scratch, sizeof(scratch)) > 0) {
        }
        channel_->Shutdown();
        const int fd = SocketFd(HSocket());
        if (fd >= 0) {
            if (!lingering_)
                lingering_ = std::make_unique<TTlsLingeringClose>(platform::EventLoop::Current(),
                                                                  Window(), MsgTlsLinger);
            lingering_->Adopt(fd);
            // The kept duplicate sends the end of stream once the peer is done.
            TCustomSocksWSocket::FinishClose(false, error);
            return;
        }
    }
    TCustomSocksWSocket::FinishClose(shut, error);
}

bool TCustomTlsWSocket::NotifyDataAvailable(uint16_t error) {
    if (tlsState_ == TlsShaking) {
        DriveHandshake();
        return true;
    }
    if (tlsState_ == TlsFailed) return true;  // the owner hears of it through OnTlsDone
    return TCustomSocksWSocket::NotifyDataAvailable(error);
}

void TCustomTlsWSocket::NotifyDataSent(uint16_t error) {
    if (tlsState_ == TlsShaking) {
        DriveHandshake();
        return;
    }
    TCustomSocksWSocket::NotifyDataSent(error);
}

void TCustomTlsWSocket::NotifySessionClosed(uint16_t error) {
    // After the peer's close_notify the stream ended whole: a reset that follows (the peer
    // closed before our answer reached it) loses nothing.
    if (channel_ && channel_->PeerClosed()) error = 0;
    TCustomSocksWSocket::NotifySessionClosed(error);
}

int TCustomTlsWSocket::GetRcvdCount() {
    if (tlsState_ == TlsOff) return TCustomSocksWSocket::GetRcvdCount();
    if (tlsState_ != TlsReady) return 0;
    const int pending = channel_->Pending();
    if (pending > 0) return pending;
    // The record bytes waiting bound the plain bytes they hold.
    return TCustomSocksWSocket::GetRcvdCount();
}

int TCustomTlsWSocket::BufferedCount() {
    if (tlsState_ == TlsReady) return channel_->Pending();
    return TCustomSocksWSocket::BufferedCount();
}

// Bytes cannot move while the handshake runs (would block) or after it failed (its error).
int TCustomTlsWSocket::UnavailableIo() const {
    if (tlsState_ == TlsShaking)
        SetSocketLastError(kErrWouldBlock);
    else
        SetSocketLastError(channel_ ? channel_->Error() : kErrNotConn);
    return -1;
}

int TCustomTlsWSocket::RawReceive(void* buffer, int size, int flags) {
    if (tlsState_ == TlsOff) return TCustomSocksWSocket::RawReceive(buffer, size, flags);
    if (tlsState_ == TlsReady) return channel_->Read(buffer, size);
    return UnavailableIo();
}

int TCustomTlsWSocket::RawSend(const void* data, int len) {
    if (tlsState_ == TlsOff) return TCustomSocksWSocket::RawSend(data, len);
    if (tlsState_ == TlsReady) return channel_->Write(data, len);
    return UnavailableIo();
}

}  // namespace tarnwick::net

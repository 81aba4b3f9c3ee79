// TCustomWSocket: the send side. Send never blocks and never refuses data: what the
// network stack does not take at once waits in the send queue and goes out whenever the
// stack signals room.
#include <algorithm>

#include "net/CustomWSocket.h"
#include "platform/ErrorCodes.h"
#include "platform/SocketNotifier.h"

namespace tarnwick::net {

using namespace platform;

namespace {

constexpr int kFlushWaitMs = 10;  // Flush sleeps at most this long between attempts

// Send errors that mean the connection is gone.
bool ConnectionLost(int code) {
    return code == kErrConnReset || code == kErrNotSocket || code == kErrNotConn ||
           code == kErrInvalidArgument || code == kErrConnAborted;
}

}  // namespace

int TCustomWSocket::Send(const void* data, int len) {
    if (state_ != wsConnected) {
        SetSocketLastError(kErrNotConn);
        ReportSocketError("Send");
        return -1;
    }
    allSent_ = false;
    if (len <= 0) {
        TryToSend();
    } else if (OnlyADrainedBlock() && hSocket_ != kInvalidSocket) {
        SendStraight(static_cast<const uint8_t*>(data), len);
    } else {
        QueueOutgoing(data, len);
        TryToSend();
    }
    // OnDataSent never fires inside Send: it comes from this posted notification.
    if (allSent_ && hSocket_ != kInvalidSocket) PostWriteNotification();
    return len > 0 ? len : 0;
}

// Everything sent so far has gone out (a fresh socket has no block yet).
bool TCustomWSocket::OnlyADrainedBlock() {
    return sendQueue_.BlockCount() == 1 && sendQueue_.Front().Pending() == 0;
}

// With nothing waiting before them, the first block's worth of bytes goes to the stack from
// the caller's buffer, and only the rest is copied into the queue: a send of at most one
// block (an upload's) is then never copied at all. The pieces handed over are those the
// queue would hand over.
void TCustomWSocket::SendStraight(const uint8_t* bytes, int len) {
    const TSocket handle = hSocket_;
    const int first = std::min(len, sendQueue_.BlockSize());
    const int sent = RawSend(bytes, first);
    const int taken = std::max(sent, 0);
    // The rest is queued before anyone hears of the sent part: a Send from OnSendData goes
    // behind it, and an Abort or Close there finds the queue as it will stay.
    if (taken < len) QueueOutgoing(bytes + taken, len - taken);
    if (sent < 0) {
        SendRefused();
        return;
    }
    if (sent > 0) {
        NotifySendData(sent);
        if (hSocket_ != handle) return;  // closed by the handler
    }
    if (sent < first) return;  // the stack is full: wait for the write notification
    if (OnlyADrainedBlock())
        allSent_ = true;
    else
        TryToSend();  // the rest of the bytes, or what the handler queued
}

// A send the stack refused: a lost connection closes the socket and says so; a full stack
// waits for the next write notification, which resumes the queue.
void TCustomWSocket::SendRefused() {
    const int code = SocketLastError();
    if (ConnectionLost(code)) {
        closeNotified_ = true;
        Close();
        NotifySessionClosed(static_cast<uint16_t>(code));
    } else if (code != kErrWouldBlock) {
        ReportSocketError("TryToSend failed");
    }
}

int TCustomWSocket::SendText(const std::string& text) {
    return Send(text.data(), static_cast<int>(text.size()));
}

int TCustomWSocket::SendTo(const sockaddr_in& dest, int destLen, const void* data, int len) {
    if (destLen < static_cast<int>(sizeof(sockaddr_in))) {
        SetSocketLastError(kErrFault);
        return kSocketError;
    }
    const int n = SocketSendTo(hSocket_, data, len, sendFlags_, dest);
    if (n > 0) NotifySendData(n);
    return n;
}

void TCustomWSocket::NotifySendData(int bytesSent) {
    if (OnSendData) OnSendData(this, bytesSent);
}

void TCustomWSocket::PostWriteNotification() {
    loop_->Post(window_, MsgSocketEvent, hSocket_, MakeSelectReply(kFdWrite, 0));
}

int TCustomWSocket::RawSend(const void* data, int len) {
    return sockType_ == SOCK_DGRAM ? SocketSendTo(hSocket_, data, len, sendFlags_, CurrentTarget())
                                   : SocketSend(hSocket_, data, len, sendFlags_);
}

void TCustomWSocket::TryToSend() {
    if (hSocket_ == kInvalidSocket || sendQueue_.Empty()) return;
    const TSocket handle = hSocket_;
    for (;;) {
        TBuffer& block = sendQueue_.Front();
        int pending = 0;
        const uint8_t* bytes = block.PeekPending(pending);
        if (pending == 0) {
            if (sendQueue_.BlockCount() == 1) {
                allSent_ = true;  // the drained block stays for reuse
                return;
            }
            sendQueue_.PopFront();
            continue;
        }
        const int sent = RawSend(bytes, pending);
        if (sent == 0) return;
        if (sent < 0) {
            SendRefused();
            return;
        }
        // The bytes leave the queue before anyone hears of them: a Send from OnSendData
        // queues behind them instead of sending them again, and an Abort or Close there
        // frees blocks this loop no longer holds on to.
        block.Consume(sent);
        NotifySendData(sent);
        if (sent < pending) return;  // the stack is full: wait for the write notification
        if (hSocket_ != handle || sendQueue_.Empty()) return;  // closed by the handler
    }
}

void TCustomWSocket::Flush() {
    while (hSocket_ != kInvalidSocket && !allSent_) {
        // A queue without any block can never report all sent (a 0-byte Send before the
        // first real one): nothing is waiting, so there is nothing to wait for.
        if (sendQueue_.Empty()) break;
        TryToSend();
        if (allSent_ || hSocket_ == kInvalidSocket) break;
        loop_->WaitAndPump(kFlushWaitMs);
    }
}

}  // namespace tarnwick::net

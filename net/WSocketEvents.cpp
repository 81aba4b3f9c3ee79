// TCustomWSocket: the message dispatcher, network notifications turned into events, and
// receiving.
#include <sys/socket.h>

#include "net/CustomWSocket.h"
#include "platform/ErrorCodes.h"
#include "platform/SocketNotifier.h"

namespace tarnwick::net {

using namespace platform;

namespace {

constexpr int kWaitSliceMs = 10;  // how long a synchronous wait sleeps between pumps

}  // namespace

// ---- dispatch ---------------------------------------------------------------------------

void TCustomWSocket::WndProc(const Message& msg) {
    // No exception crosses the event loop: whatever a handler raises ends here.
    try {
        HandleMessage(msg);
    } catch (const std::exception& e) {
        HandleEventException(e);
    } catch (...) {
        HandleEventException(ESocketException("Unknown exception in a socket event"));
    }
}

void TCustomWSocket::HandleMessage(const Message& msg) {
    switch (msg.msg) {
        case MsgSocketEvent:
            HandleSocketEvent(msg.wParam, msg.lParam);
            break;
        case MsgHostLookupDone:
            HandleHostLookupDone(msg);
            break;
        case MsgAddrLookupDone:
            HandleAddrLookupDone(msg);
            break;
        case MsgCloseLater:
            Close();
            break;
        case MsgDestroyLater:
            if (OnDestroyLater) {
                OnDestroyLater(this);  // the object may be gone now
                return;
            }
            Close();
            break;
        case MsgConnectTimeout:
            HandleConnectTimeout(msg);
            break;
        case MsgTestException:
            throw ESocketException("Test exception in WSocket");
        default:
            break;
    }
}

void TCustomWSocket::HandleEventException(const std::exception& e) {
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(this, e, canClose);
        } catch (...) {
        }
    }
    if (canClose) {
        try {
            Abort();
        } catch (...) {
        }
    }
}

void TCustomWSocket::HandleSocketEvent(uintptr_t handle, intptr_t lParam) {
    // Stale (issued for an earlier handle, or for none), or events suspended.
    if (handle != hSocket_ || hSocket_ == kInvalidSocket || suspended_) return;
    const uint16_t events = SelectEvent(lParam);
    const uint16_t error = SelectError(lParam);
    // A handler may close the socket or adopt another handle; the remaining bits then no
    // longer concern it.
    auto current = [this, handle] { return hSocket_ == handle; };

    // The automatic closes below are for this notification's connection only: one that a
    // handler started meanwhile (Close and Connect again) is left alone.
    if ((events & kFdConnect) != 0) {
        StopConnectTimer();
        // A refused address of several gives way to the next; its failure is nobody's event.
        if (error != 0 && TryNextAddress(error)) return;
        SetState(wsConnected);
        NotifySessionConnected(error);
        if (error != 0 && state_ != wsClosed && current()) Close();
    }
    if ((events & kFdRead) != 0 && current()) ServeReadable(error);
    if ((events & kFdWrite) != 0 && current()) {
        TryToSend();
        if (allSent_ && current()) NotifyDataSent(error);
    }
    if ((events & kFdAccept) != 0 && current()) NotifySessionAvailable(error);
    if ((events & kFdClose) != 0 && current() && state_ != wsConnecting) {
        ServeReadable(0);  // what is still readable comes first
        // A data handler that closed the socket (on reading 0 bytes, say) has been told of
        // the close already; the handle of this notification is gone.
        if (!current()) return;
        if (!closeNotified_) {
            closeNotified_ = true;
            NotifySessionClosed(error);
        }
        if (state_ != wsClosed && current()) Close();
    }
}

void TCustomWSocket::ServeReadable(uint16_t error) {
    const TSocket handle = hSocket_;
    try {
        for (;;) {
            lastError_ = 0;
            const int64_t readBefore = readCount_;
            if (!NotifyDataAvailable(error)) {
                // Nobody takes the data: drain it so that the stack's buffer does not fill.
                char scratch[kDrainChunk];
                if (Receive(scratch, sizeof(scratch)) < 0) {
                    if (lastError_ == kErrWouldBlock) {
                        lastError_ = 0;
                        break;
                    }
                }
            }
            if ((componentOptions_ & wsoNoReceiveLoop) != 0) {
                // Bytes a layer still holds get a read notification of their own, as the
                // stack's would after a receive: no more may come from the stack for them.
                if (hSocket_ == handle && readCount_ != readBefore && BufferedCount() > 0)
                    PostToSelf(MsgSocketEvent, handle, MakeSelectReply(kFdRead, 0));
                break;
            }
            if (lastError_ != 0) break;
            if (hSocket_ != handle) break;  // closed (or reconnected) by the handler
            // A handler that took nothing would be offered the same bytes for ever: the
            // next read notification (after its next receive) offers them again.
            if (readCount_ == readBefore) break;
            // What a layer holds is offered before the stack's count is asked: the stack
            // may have nothing left, and at a close the held bytes would be lost.
            if (BufferedCount() > 0) continue;
            unsigned long count = 0;
            if (SocketReadable(hSocket_, &count) != 0) {
                lastError_ = SocketLastError();
                break;
            }
            if (count == 0) break;
        }
    } catch (...) {
        // An exception during a pass ends the loop and goes nowhere.
    }
}

// ---- notification hooks -----------------------------------------------------------------

bool TCustomWSocket::NotifyDataAvailable(uint16_t error) {
    if (!OnDataAvailable) return false;
    OnDataAvailable(this, error);
    return true;
}

void TCustomWSocket::NotifySessionAvailable(uint16_t error) {
    if (OnSessionAvailable) OnSessionAvailable(this, error);
}

void TCustomWSocket::NotifySessionConnected(uint16_t error) {
    if (OnSessionConnected) OnSessionConnected(this, error);
}

void TCustomWSocket::NotifySessionClosed(uint16_t error) {
    if (OnSessionClosed) OnSessionClosed(this, error);
}

void TCustomWSocket::NotifyDataSent(uint16_t error) {
    if (OnDataSent) OnDataSent(this, error);
}

void TCustomWSocket::NotifyChangeState(TSocketState oldState, TSocketState newState) {
    // Not while the object is being destroyed: the owner whose handler it would run may
    // be half gone.
    if (OnChangeState && !destroying_) OnChangeState(this, oldState, newState);
}

void TCustomWSocket::NotifyDnsLookupDone(uint16_t error) {
    if (OnDnsLookupDone) OnDnsLookupDone(this, error);
}

void TCustomWSocket::NotifyError() {
    if (OnError) OnError(this);
}

// ---- receiving --------------------------------------------------------------------------

int TCustomWSocket::RawReceive(void* buffer, int size, int flags) {
    return SocketRecv(hSocket_, buffer, size, flags);
}

int TCustomWSocket::RawReceiveFrom(void* buffer, int size, int flags, sockaddr_in& from,
                                   int& fromLen) {
    return SocketRecvFrom(hSocket_, buffer, size, flags, &from, &fromLen);
}

int TCustomWSocket::Receive(void* buffer, int size) {
    const int n = RawReceive(buffer, size, 0);
    if (n < 0) {
        lastError_ = SocketLastError();
    } else {
        readCount_ += n;
    }
    return n;
}

int TCustomWSocket::ReceiveFrom(void* buffer, int size, sockaddr_in& from, int& fromLen) {
    const int n = RawReceiveFrom(buffer, size, 0, from, fromLen);
    if (n < 0) {
        lastError_ = SocketLastError();
    } else {
        readCount_ += n;
    }
    return n;
}

std::string TCustomWSocket::ReceiveText() {
    const int count = RcvdCount();
    if (count <= 0) return {};
    std::string text(static_cast<size_t>(count), '\0');
    const int n = Receive(text.data(), count);
    if (n <= 0) return {};
    text.resize(static_cast<size_t>(n));
    return text;
}

int TCustomWSocket::GetRcvdCount() {
    unsigned long count = 0;
    if (SocketReadable(hSocket_, &count) != 0) {
        ReportSocketError("ioctlSocket");
        return -1;
    }
    return static_cast<int>(count);
}

void TCustomWSocket::WaitUntilClosed() {
    while (hSocket_ != kInvalidSocket && state_ != wsClosed) {
        loop_->WaitAndPump(kWaitSliceMs);
        if (hSocket_ == kInvalidSocket) break;
        unsigned long count = 0;
        if (SocketReadable(hSocket_, &count) != 0) break;
        if (count > 0) NotifyDataAvailable(0);
        if (hSocket_ == kInvalidSocket) break;
        // Still open? A peek answers would-block while the connection is up and idle.
        char probe = 0;
        if (SocketRecv(hSocket_, &probe, 1, MSG_PEEK) >= 0 || SocketLastError() != kErrWouldBlock)
            break;
        PumpMessages();
    }
}

}  // namespace tarnwick::net

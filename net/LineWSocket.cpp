// TCustomLineWSocket: the receive buffer, line delivery, echo and terminal-style editing.
#include "net/LineWSocket.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/ErrorCodes.h"
#include "platform/SocketApi.h"

namespace tarnwick::net {

namespace {

constexpr char kBackspace = 8;
constexpr char kTab = 9;

}  // namespace

// ---- properties -------------------------------------------------------------------------

void TCustomLineWSocket::SetLineMode(bool value) {
    if (value == lineMode_) return;
    lineMode_ = value;
    // Held bytes are looked at afresh under the new mode.
    searchFrom_ = 0;
    if ((end_ > head_ || lineLength_ > 0) && !redeliverPosted_) {
        redeliverPosted_ = true;
        PostToSelf(MsgLineRedeliver, 0, 0);
    }
}

void TCustomLineWSocket::SetLineEnd(const std::string& value) {
    lineEnd_ = value;
    searchFrom_ = 0;
}

// ---- the buffer -------------------------------------------------------------------------

void TCustomLineWSocket::Compact() {
    if (head_ == 0) return;
    std::memmove(buffer_.data(), buffer_.data() + head_, end_ - head_);
    end_ -= head_;
    head_ = 0;
}

void TCustomLineWSocket::Reserve(size_t size) {
    if (buffer_.size() < size) buffer_.resize(size);
}

void TCustomLineWSocket::FreeBuffer() {
    std::vector<char>().swap(buffer_);
    head_ = end_ = searchFrom_ = lineLength_ = 0;
}

void TCustomLineWSocket::ResetDefaults() {
    TCustomTlsWSocket::ResetDefaults();
    // Whatever a closed connection left behind never reaches the next one.
    FreeBuffer();
}

// ---- receiving --------------------------------------------------------------------------

bool TCustomLineWSocket::NotifyDataAvailable(uint16_t error) {
    // The handshake's records are the TLS layer's own.
    if (!LineModeActive() || TlsHandshaking()) return TCustomTlsWSocket::NotifyDataAvailable(error);
    const int count = TCustomTlsWSocket::GetRcvdCount();
    if (count > 0) {
        Compact();
        Reserve(end_ + static_cast<size_t>(count));
        filling_ = true;
        int n = 0;
        try {
            n = Receive(buffer_.data() + end_, count);
        } catch (...) {
            filling_ = false;
            throw;
        }
        filling_ = false;
        if (n > 0) {
            const size_t start = end_;
            if (lineEdit_) EditReceived(n);
            end_ += static_cast<size_t>(std::max(n, 0));
            // The echo goes once the bytes are held: a refused send loses nothing.
            if (lineEdit_) {
                std::string echo;
                echo.swap(editEcho_);
                if (!echo.empty()) Send(echo.data(), static_cast<int>(echo.size()));
            } else if (lineEcho_) {
                Send(buffer_.data() + start, n);
            }
        }
    }
    DeliverLines();
    return true;
}

void TCustomLineWSocket::DeliverLines() {
    const size_t markLen = lineEnd_.size();
    while (LineModeActive()) {
        if (lineLength_ == 0) {
            const std::string_view held(buffer_.data() + head_, end_ - head_);
            // A marker split across two reads starts before the new bytes.
            const size_t pos = held.find(lineEnd_, searchFrom_);
            if (pos == std::string_view::npos) {
                searchFrom_ = held.size() >= markLen ? held.size() - markLen + 1 : 0;
                return;
            }
            lineLength_ = pos + markLen;
        }
        // A handler that does not take its line keeps it: it is offered again when more
        // data arrives or at the close, never in a loop here.
        if (!OfferPendingLine()) return;
        searchFrom_ = 0;
    }
}

bool TCustomLineWSocket::OfferPendingLine() {
    while (LineModeActive() && lineLength_ > 0) {
        if (!OnDataAvailable) {
            head_ += lineLength_;  // nobody wants it
            lineLength_ = 0;
            break;
        }
        const size_t before = lineLength_;
        TCustomTlsWSocket::NotifyDataAvailable(0);
        if (lineLength_ == before) return false;
    }
    return true;
}

void TCustomLineWSocket::OfferHeldBytes() {
    while (end_ > head_) {
        const size_t before = end_ - head_;
        if (!TCustomTlsWSocket::NotifyDataAvailable(0)) return;
        if (end_ - head_ == before) return;
    }
}

int TCustomLineWSocket::RawReceive(void* buffer, int size, int flags) {
    if (filling_) return TCustomTlsWSocket::RawReceive(buffer, size, flags);
    if (size <= 0) return 0;
    const bool linePending = lineMode_ && lineLength_ > 0;
    if (linePending || (!LineModeActive() && end_ > head_)) {
        // The pending line, or, line mode off, what line mode left behind: from the front.
        const size_t avail = linePending ? lineLength_ : end_ - head_;
        const size_t n = std::min(static_cast<size_t>(size), avail);
        std::memcpy(buffer, buffer_.data() + head_, n);
        head_ += n;
        lineLength_ -= std::min(lineLength_, n);
        searchFrom_ -= std::min(searchFrom_, n);
        return static_cast<int>(n);
    }
    if (!LineModeActive()) return TCustomTlsWSocket::RawReceive(buffer, size, flags);
    // In line mode the network is read only by the line layer: reading past the held
    // bytes would hand out later data before earlier.
    platform::SetSocketLastError(platform::kErrWouldBlock);
    return -1;
}

int TCustomLineWSocket::GetRcvdCount() {
    if (LineModeActive()) return static_cast<int>(lineLength_);
    if (end_ > head_) return static_cast<int>(end_ - head_);
    return TCustomTlsWSocket::GetRcvdCount();
}

// ---- editing ----------------------------------------------------------------------------

void TCustomLineWSocket::EditReceived(int& len) {
    if (len <= 0) return;
    const size_t start = end_;
    const char* in = buffer_.data() + start;
    const char* inEnd = in + len;
    // Only ordinary bytes: they stay as they came.
    const char* special =
        std::find_if(in, inEnd, [](char c) { return c == kBackspace || c == kTab; });
    if (special == inEnd) {
        if (lineEcho_) editEcho_.append(in, inEnd);
        return;
    }
    // Positions count from the front of the held bytes; a backspace may erase held bytes
    // but never a line already offered to the handler.
    const std::string input(in, inEnd);
    const size_t floor = head_ + lineLength_;
    size_t out = start;
    size_t lowest = start;
    std::string& echo = editEcho_;
    auto put = [&](char c) {
        Reserve(out + 1);
        buffer_[out++] = c;
    };
    for (const char c : input) {
        if (c == kBackspace) {
            if (out > floor) {
                if (lineEcho_) echo += kLineBackspaceEcho;
                --out;
                lowest = std::min(lowest, out);
            }
        } else if (c == kTab) {
            do {
                if (lineEcho_) echo += ' ';
                put(' ');
            } while ((out - head_) % kLineTabWidth != 0);
        } else {
            if (lineEcho_) echo += c;
            put(c);
        }
    }
    end_ = lowest;
    searchFrom_ = std::min(searchFrom_, lowest - head_);
    len = static_cast<int>(out - lowest);
}

// ---- closing and redelivery -------------------------------------------------------------

void TCustomLineWSocket::NotifySessionClosed(uint16_t error) {
    if (end_ > head_) {
        // Complete lines still held (the handler closed the socket in the middle of a
        // read) go first, each as a line.
        DeliverLines();
        if (lineMode_ && end_ > head_) {
            // What is left is the last line, without its marker.
            lineLength_ = end_ - head_;
            while (lineMode_ && lineLength_ > 0 && OnDataAvailable) {
                const size_t before = lineLength_;
                TCustomTlsWSocket::NotifyDataAvailable(0);
                if (lineLength_ == before) break;
            }
        }
        // Line mode off: the held bytes still reach the handler before the close.
        if (!lineMode_) OfferHeldBytes();
    }
    FreeBuffer();
    TCustomTlsWSocket::NotifySessionClosed(error);
}

void TCustomLineWSocket::HandleMessage(const platform::Message& msg) {
    if (msg.msg != MsgLineRedeliver) {
        TCustomTlsWSocket::HandleMessage(msg);
        return;
    }
    redeliverPosted_ = false;
    Redeliver();
}

void TCustomLineWSocket::Redeliver() {
    // Each pass either moves bytes or ends the redelivery.
    while (end_ > head_ || lineLength_ > 0) {
        const size_t held = end_ - head_;
        const size_t line = lineLength_;
        const int64_t read = ReadCount();
        if (!NotifyDataAvailable(0)) return;
        if (end_ - head_ == held && lineLength_ == line && ReadCount() == read) return;
    }
}

}  // namespace tarnwick::net

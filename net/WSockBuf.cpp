#include "net/WSockBuf.h"

#include <algorithm>
#include <cstring>

namespace tarnwick::net {

TBuffer::TBuffer(int size) : data_(static_cast<size_t>(size > 0 ? size : kBlockSize)) {}

int TBuffer::Append(const void* data, int len) {
    const int count = std::max(0, std::min(len, Capacity() - writeIndex_));
    if (count > 0) {
        std::memcpy(data_.data() + writeIndex_, data, static_cast<size_t>(count));
        writeIndex_ += count;
    }
    return count;
}

const uint8_t* TBuffer::PeekPending(int& len) const {
    len = writeIndex_ - readIndex_;
    if (len <= 0) {
        len = 0;
        return nullptr;
    }
    return data_.data() + readIndex_;
}

int TBuffer::Consume(int len) {
    const int pending = writeIndex_ - readIndex_;
    if (pending <= 0 || len <= 0) return 0;
    const int count = std::min(len, pending);
    readIndex_ += count;
    if (readIndex_ == writeIndex_) {
        readIndex_ = 0;
        writeIndex_ = 0;
    }
    return count;
}

void TSendQueue::QueueOutgoing(const void* data, int len) {
    if (len <= 0) return;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (blocks_.empty()) blocks_.push_back(std::make_unique<TBuffer>(blockSize_));
    int done = blocks_.back()->Append(bytes, len);
    while (done < len) {
        blocks_.push_back(std::make_unique<TBuffer>(blockSize_));
        done += blocks_.back()->Append(bytes + done, len - done);
    }
}

int64_t TSendQueue::PendingBytes() const {
    int64_t total = 0;
    for (const auto& b : blocks_) total += b->Pending();
    return total;
}

}  // namespace tarnwick::net

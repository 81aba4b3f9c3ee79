// The send buffer: fixed-size blocks (TBuffer) chained into the send queue of a socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace tarnwick::net {

inline constexpr int kBlockSize = 1514;  // capacity of each send block

// One block: bytes are appended at WriteIndex and handed to the network from ReadIndex;
// when everything stored has been handed over both indexes drop to 0 and the whole block
// is writable again. The capacity never changes.
class TBuffer {
  public:
    explicit TBuffer(int size = kBlockSize);

    // Copies as much of data as fits; returns the count copied (0 when full).
    int Append(const void* data, int len);
    // The pending bytes: len := their count; nullptr (and len 0) when nothing is pending.
    const uint8_t* PeekPending(int& len) const;
    // Removes up to len pending bytes; returns the count removed.
    int Consume(int len);

    int Capacity() const { return static_cast<int>(data_.size()); }
    int WriteIndex() const { return writeIndex_; }
    int ReadIndex() const { return readIndex_; }
    int Pending() const { return writeIndex_ - readIndex_; }

  private:
    std::vector<uint8_t> data_;
    int writeIndex_ = 0;
    int readIndex_ = 0;
};

// The ordered chain of blocks of one socket (first = oldest). Blocks are never merged.
class TSendQueue {
  public:
    explicit TSendQueue(int blockSize = kBlockSize) : blockSize_(blockSize) {}

    // Appends len bytes: fills the last block, then new blocks of the block size.
    void QueueOutgoing(const void* data, int len);
    void Clear() { blocks_.clear(); }

    bool Empty() const { return blocks_.empty(); }
    size_t BlockCount() const { return blocks_.size(); }
    TBuffer& Front() { return *blocks_.front(); }
    const TBuffer& Block(size_t i) const { return *blocks_[i]; }
    void PopFront() { blocks_.pop_front(); }
    int64_t PendingBytes() const;
    int BlockSize() const { return blockSize_; }
    // Capacity of the blocks created from now on; 0 or less gives kBlockSize.
    void SetBlockSize(int size) { blockSize_ = size > 0 ? size : kBlockSize; }

  private:
    std::deque<std::unique_ptr<TBuffer>> blocks_;
    int blockSize_;
};

}  // namespace tarnwick::net

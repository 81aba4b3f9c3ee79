#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/WSockBuf.h"

namespace tarnwick::net {
namespace {

TEST(TBuffer, AppendPeekConsume) {
    TBuffer b(10);
    EXPECT_EQ(b.Capacity(), 10);
    EXPECT_EQ(b.Append("abcdefgh", 8), 8);
    EXPECT_EQ(b.Append("xyz", 3), 2);  // only what fits
    EXPECT_EQ(b.Append("q", 1), 0);    // full
    int len = 0;
    const uint8_t* p = b.PeekPending(len);
    ASSERT_EQ(len, 10);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 10), "abcdefghxy");
    EXPECT_EQ(b.Consume(4), 4);
    p = b.PeekPending(len);
    EXPECT_EQ(len, 6);
    EXPECT_EQ(*p, 'e');
    EXPECT_EQ(b.Consume(100), 6);  // more than pending removes only what is pending
    EXPECT_EQ(b.WriteIndex(), 0);  // drained: wholly writable again
    EXPECT_EQ(b.ReadIndex(), 0);
    EXPECT_EQ(b.PeekPending(len), nullptr);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(b.Consume(1), 0);
    EXPECT_EQ(b.Append("0123456789", 10), 10);
}

TEST(TBuffer, NonPositiveSizeGivesTheBlockSize) {
    EXPECT_EQ(TBuffer(0).Capacity(), kBlockSize);
    EXPECT_EQ(TBuffer(-5).Capacity(), kBlockSize);
}

TEST(TSendQueue, FourThousandBytesFillThreeBlocks) {
    TSendQueue q;
    const std::vector<char> data(4000, 'd');
    q.QueueOutgoing(data.data(), 4000);
    ASSERT_EQ(q.BlockCount(), 3u);
    EXPECT_EQ(q.Block(0).Pending(), 1514);
    EXPECT_EQ(q.Block(1).Pending(), 1514);
    EXPECT_EQ(q.Block(2).Pending(), 972);
    EXPECT_EQ(q.PendingBytes(), 4000);

    q.QueueOutgoing(data.data(), 600);  // fills the last block first
    ASSERT_EQ(q.BlockCount(), 4u);
    EXPECT_EQ(q.Block(2).Pending(), 1514);
    EXPECT_EQ(q.Block(3).Pending(), 58);
    q.QueueOutgoing(data.data(), 0);
    q.QueueOutgoing(data.data(), -3);
    EXPECT_EQ(q.PendingBytes(), 4600);
}

TEST(TSendQueue, ALargerBlockSizeAppliesToNewBlocksOnly) {
    TSendQueue q;
    const std::vector<char> data(70000, 'd');
    q.QueueOutgoing(data.data(), 1000);
    q.SetBlockSize(65536);
    q.QueueOutgoing(data.data(), 70000);  // tops up the old block, then 64 KiB blocks
    ASSERT_EQ(q.BlockCount(), 3u);
    EXPECT_EQ(q.Block(0).Pending(), 1514);
    EXPECT_EQ(q.Block(1).Pending(), 65536);
    EXPECT_EQ(q.Block(2).Pending(), 70000 - 514 - 65536);
    q.SetBlockSize(0);
    EXPECT_EQ(q.BlockSize(), kBlockSize);
}

}  // namespace
}  // namespace tarnwick::net

#include "platform/EventLoop.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/TickCount.h"
#include "tests/support/PumpUntil.h"

namespace tarnwick::platform {
namespace {

using tarnwick::testing::PumpFor;
using tarnwick::testing::PumpUntil;

constexpr uint32_t kMsgA = kMsgUser + 100;

bool FdReadable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

struct Recorder {
    std::vector<std::string> log;
    MessageHandler Handler(const std::string& name) {
        return [this, name](const Message& m) {
            log.push_back(name + ":" + std::to_string(m.wParam));
        };
    }
};

TEST(EventLoop, DeliversLaterInPostingOrderAcrossTargets) {
    EventLoop loop;
    Recorder r;
    const TargetId a = loop.RegisterTarget(r.Handler("a"));
    const TargetId b = loop.RegisterTarget(r.Handler("b"));
    EXPECT_TRUE(loop.Post(a, kMsgA, 1, 0));
    EXPECT_TRUE(loop.Post(b, kMsgA, 2, 0));
    EXPECT_TRUE(loop.Post(a, kMsgA, 3, 0));
    EXPECT_TRUE(r.log.empty());  // nothing is delivered inside Post
    EXPECT_TRUE(loop.PumpMessages());
    EXPECT_EQ(r.log, (std::vector<std::string>{"a:1", "b:2", "a:3"}));
    EXPECT_FALSE(loop.PumpMessages());
}

TEST(EventLoop, UnregisteringDropsPendingMessagesAndUnknownTargetsRefusePosts) {
    EventLoop loop;
    Recorder r;
    const TargetId a = loop.RegisterTarget(r.Handler("a"));
    const TargetId b = loop.RegisterTarget(r.Handler("b"));
    loop.Post(a, kMsgA, 1, 0);
    loop.Post(b, kMsgA, 2, 0);
    loop.UnregisterTarget(a);
    EXPECT_FALSE(loop.Post(a, kMsgA, 3, 0));
    loop.PumpMessages();
    EXPECT_EQ(r.log, (std::vector<std::string>{"b:2"}));
}

TEST(EventLoop, HandlerMayUnregisterItselfWhileRunning) {
    EventLoop loop;
    int calls = 0;
    TargetId self = 0;
    self = loop.RegisterTarget([&](const Message&) {
        ++calls;
        loop.UnregisterTarget(self);
    });
    loop.Post(self, kMsgA, 0, 0);
    loop.Post(self, kMsgA, 0, 0);
    loop.PumpMessages();
    EXPECT_EQ(calls, 1);
}

TEST(EventLoop, PumpIsReentrantAndKeepsTheOrder) {
    EventLoop& loop = EventLoop::Current();
    std::vector<std::string> log;
    TargetId t = 0;
    t = loop.RegisterTarget([&](const Message& m) {
        log.push_back("begin" + std::to_string(m.wParam));
        if (m.wParam == 1) loop.PumpMessages();  // a nested wait inside a handler
        log.push_back("end" + std::to_string(m.wParam));
    });
    loop.Post(t, kMsgA, 1, 0);
    loop.Post(t, kMsgA, 2, 0);
    loop.Post(t, kMsgA, 3, 0);
    loop.PumpMessages();
    EXPECT_EQ(log,
              (std::vector<std::string>{"begin1", "begin2", "end2", "begin3", "end3", "end1"}));
    loop.UnregisterTarget(t);
}

TEST(EventLoop, PumpNeverBlocks) {
    EventLoop loop;
    const uint64_t start = GetTickCount();
    EXPECT_FALSE(loop.PumpMessages());
    EXPECT_LT(GetTickCount() - start, 500u);
}

TEST(EventLoop, MessagesFromOtherThreadsArriveInOrderAndWakeTheLoop) {
    EventLoop& loop = EventLoop::Current();
    std::vector<uintptr_t> got;
    const TargetId t = loop.RegisterTarget([&](const Message& m) { got.push_back(m.wParam); });
    CrossThreadPoster poster = loop.Poster();
    constexpr int kCount = 200;
    std::thread worker([&] {
        for (int i = 0; i < kCount; ++i) {
            Message m;
            m.target = t;
            m.msg = kMsgA;
            m.wParam = static_cast<uintptr_t>(i);
            poster.Post(m);
        }
    });
    EXPECT_TRUE(PumpUntil([&] { return got.size() == kCount; }));
    worker.join();
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(got[static_cast<size_t>(i)], static_cast<uintptr_t>(i));
    loop.UnregisterTarget(t);
}

TEST(EventLoop, RevokedTicketDropsTheMessageEvenWhenQueued) {
    EventLoop loop;
    int delivered = 0;
    const TargetId t = loop.RegisterTarget([&](const Message&) { ++delivered; });
    const Ticket kept = loop.NewTicket();
    const Ticket revoked = loop.NewTicket();
    for (Ticket ticket : {kept, revoked}) {
        Message m;
        m.target = t;
        m.msg = kMsgA;
        m.ticket = ticket;
        loop.Post(m);
    }
    EXPECT_TRUE(loop.RevokeTicket(revoked));
    EXPECT_FALSE(loop.RevokeTicket(revoked));
    loop.PumpMessages();
    EXPECT_EQ(delivered, 1);
    EXPECT_FALSE(loop.TicketLive(kept));  // delivery consumes the ticket
}

TEST(EventLoop, TimerFiresRepeatedlyWithAtMostOneMessageWaiting) {
    EventLoop& loop = EventLoop::Current();
    int fired = 0;
    const TargetId t = loop.RegisterTarget([&](const Message&) { ++fired; });
    const TimerId timer = loop.StartTimer(t, kMsgA, 30);
    EXPECT_TRUE(PumpUntil([&] { return fired >= 2; }, 2000));

    // Not pumped for several intervals: still only one timer message waits.
    fired = 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    loop.PumpMessages();
    EXPECT_EQ(fired, 1);

    loop.StopTimer(timer);
    fired = 0;
    PumpFor(30);
    EXPECT_EQ(fired, 0);
    loop.UnregisterTarget(t);
}

TEST(EventLoop, TheLoopFdTellsAGuiWhenThereIsWork) {
    EventLoop loop;
    const TargetId t = loop.RegisterTarget([](const Message&) {});
    loop.PumpMessages();
    EXPECT_FALSE(FdReadable(loop.Fd()));
    loop.Post(t, kMsgA, 0, 0);
    EXPECT_TRUE(FdReadable(loop.Fd()));
    loop.PumpMessages();
    EXPECT_FALSE(FdReadable(loop.Fd()));

    loop.StartTimer(t, kMsgA, 5);
    EXPECT_EQ(loop.NextTimerDelayMs() >= 0, true);
    pollfd p{loop.Fd(), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 1000), 1);  // the due timer wakes the fd
}

TEST(EventLoop, RunReturnsAfterQuit) {
    EventLoop& loop = EventLoop::Current();
    const TargetId t = loop.RegisterTarget([&](const Message&) { loop.Quit(); });
    loop.Post(t, kMsgA, 0, 0);
    loop.Run();
    EXPECT_FALSE(loop.QuitRequested());
    loop.UnregisterTarget(t);
}

TEST(TickCount, IsMonotonicMilliseconds) {
    const uint64_t a = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const uint64_t b = GetTickCount();
    EXPECT_GE(b - a, 19u);
    EXPECT_LT(b - a, 2000u);
}

}  // namespace
}  // namespace tarnwick::platform

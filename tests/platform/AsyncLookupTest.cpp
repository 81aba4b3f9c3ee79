#include "platform/AsyncLookup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/ErrorCodes.h"
#include "platform/SocketApi.h"
#include "platform/SocketNotifier.h"
#include "platform/TickCount.h"
#include "tests/support/FakeNameService.h"
#include "tests/support/PumpUntil.h"

namespace tarnwick::platform {
namespace {

using tarnwick::testing::PumpFor;
using tarnwick::testing::PumpUntil;
using tarnwick::testing::ScopedFakeNameService;

constexpr uint32_t kMsgDone = kMsgUser + 2;

struct Answers {
    std::vector<Message> got;
    TargetId target =
        EventLoop::Current().RegisterTarget([this](const Message& m) { got.push_back(m); });
    ~Answers() { EventLoop::Current().UnregisterTarget(target); }
};

TEST(AsyncLookup, AnswerArrivesOnTheCallingThreadWithTheRequestIdentity) {
    ScopedFakeNameService names;
    names->AddHost("ftp.example.test", {"10.0.0.5", "10.0.0.6"});
    Answers answers;
    const LookupRequest request = StartHostLookup(answers.target, kMsgDone, "ftp.example.test");
    ASSERT_NE(request, 0u);
    ASSERT_TRUE(PumpUntil([&] { return !answers.got.empty(); }));
    const Message& m = answers.got[0];
    EXPECT_EQ(m.msg, kMsgDone);
    EXPECT_EQ(m.wParam, request);
    EXPECT_EQ(SelectError(m.lParam), 0);
    auto answer = std::static_pointer_cast<const NameAnswer>(m.payload);
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->entry.addresses.size(), 2u);
    EXPECT_EQ(InetNtoa(answer->entry.addresses[1]), "10.0.0.6");
    EXPECT_FALSE(CancelLookup(request));  // delivered: nothing left to cancel
}

TEST(AsyncLookup, UnknownHostCarriesHostNotFound) {
    ScopedFakeNameService names;
    Answers answers;
    StartHostLookup(answers.target, kMsgDone, "nowhere.example.test");
    ASSERT_TRUE(PumpUntil([&] { return !answers.got.empty(); }));
    EXPECT_EQ(SelectError(answers.got[0].lParam), kErrHostNotFound);
}

TEST(AsyncLookup, ReverseLookupGivesTheName) {
    ScopedFakeNameService names;
    names->AddReverse("10.9.8.7", "files.example.test");
    Answers answers;
    StartAddrLookup(answers.target, kMsgDone, InetAddr("10.9.8.7"));
    ASSERT_TRUE(PumpUntil([&] { return !answers.got.empty(); }));
    auto answer = std::static_pointer_cast<const NameAnswer>(answers.got[0].payload);
    EXPECT_EQ(answer->entry.officialName, "files.example.test");
}

TEST(AsyncLookup, CancelledRequestIsNeverDelivered) {
    ScopedFakeNameService names;
    names->AddHost("slow.example.test", {"10.0.0.1"});
    names->Hold("slow.example.test");
    Answers answers;
    const LookupRequest request = StartHostLookup(answers.target, kMsgDone, "slow.example.test");
    // Cancelled while the worker is inside the query, then the answer comes.
    ASSERT_TRUE(PumpUntil([&] { return names->Queries().size() == 1; }));
    EXPECT_TRUE(CancelLookup(request));
    names->Release("slow.example.test");
    PumpFor(100);
    EXPECT_TRUE(answers.got.empty());
}

// Lookups that hang (a name server that never answers) and are given up do not keep new
// ones waiting, whether they were running or still waiting their turn.
TEST(AsyncLookup, CancelledLookupsThatHangHoldNoWorkerAgainstNewOnes) {
    constexpr int kHanging = 12;  // more than the lookups answered at once
    ScopedFakeNameService names;
    names->AddHost("quick.example.test", {"10.0.0.7"});
    std::vector<std::string> held;
    std::vector<LookupRequest> requests;
    Answers answers;
    for (int i = 0; i < kHanging; ++i) {
        held.push_back("dead" + std::to_string(i) + ".example.test");
        names->Hold(held.back());
        requests.push_back(StartHostLookup(answers.target, kMsgDone, held.back()));
    }
    ASSERT_TRUE(PumpUntil([&] { return !names->Queries().empty(); }));
    PumpFor(50);
    for (LookupRequest r : requests) EXPECT_TRUE(CancelLookup(r));
    StartHostLookup(answers.target, kMsgDone, "quick.example.test");
    const bool answered = PumpUntil([&] { return !answers.got.empty(); }, 2000);
    for (const auto& name : held) names->Release(name);
    ASSERT_TRUE(answered);
    EXPECT_EQ(SelectError(answers.got[0].lParam), 0);
    // The waiting ones were dropped without a query.
    PumpFor(50);
    EXPECT_LT(names->Queries().size(), static_cast<size_t>(kHanging + 1));
}

// A lookup still hanging at program end keeps neither the loop nor the process alive: a
// small program starts one, runs its loop for a moment and returns from main.
TEST(AsyncLookup, AHangingLookupDoesNotHoldTheProcessAtExit) {
    constexpr int kDeadlineMs = 5000;
    char* const argv[] = {const_cast<char*>(TARNWICK_LOOKUP_EXIT_PROBE), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, TARNWICK_LOOKUP_EXIT_PROBE, nullptr, nullptr, argv, environ), 0);
    const uint64_t stop = GetTickCount() + kDeadlineMs;
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 && GetTickCount() < stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the program was still running " << kDeadlineMs << " ms later";
    }
    ASSERT_EQ(done, pid);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace tarnwick::platform

#include "platform/AsyncLookup.h"

#include <gtest/gtest.h>

#include "platform/ErrorCodes.h"
#include "platform/SocketApi.h"
#include "platform/SocketNotifier.h"
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
    EXPECT_TRUE(CancelLookup(request));
    names->Release("slow.example.test");
    // Wait until the worker has answered, then make sure nothing was delivered.
    ASSERT_TRUE(PumpUntil([&] { return names->Queries().size() == 1; }));
    PumpFor(100);
    EXPECT_TRUE(answers.got.empty());
}

}  // namespace
}  // namespace tarnwick::platform

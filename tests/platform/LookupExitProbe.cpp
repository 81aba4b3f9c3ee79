// A program that ends while a name lookup hangs: the fake name service holds the query for
// ever, the event loop runs for a moment and quits, and main returns. It must exit at once.
#include <memory>

#include "platform/AsyncLookup.h"
#include "platform/EventLoop.h"
#include "tests/support/FakeNameService.h"

namespace {

constexpr uint32_t kMsgLookupDone = tarnwick::platform::kMsgUser + 2;
constexpr uint32_t kMsgTick = tarnwick::platform::kMsgUser + 3;
constexpr uint32_t kRunMs = 100;

}  // namespace

int main() {
    using namespace tarnwick::platform;
    auto names = std::make_shared<tarnwick::testing::FakeNameService>();
    names->Hold("never.example.test");
    SetNameService(names);
    EventLoop& loop = EventLoop::Current();
    bool answered = false;
    const TargetId target = loop.RegisterTarget([&](const Message& m) {
        if (m.msg == kMsgLookupDone) answered = true;
        if (m.msg == kMsgTick) loop.Quit();
    });
    StartHostLookup(target, kMsgLookupDone, "never.example.test");
    const TimerId timer = loop.StartTimer(target, kMsgTick, kRunMs);
    loop.Run();
    loop.StopTimer(timer);
    loop.UnregisterTarget(target);
    SetNameService(nullptr);
    return answered ? 1 : 0;
}

// Asynchronous name lookups. The blocking query runs on a worker thread; its answer is
// posted back to the calling thread's loop as one message to the given target:
// wParam = the request id, lParam = MakeSelectReply(0, error) (error in the high 16 bits),
// payload = the NameAnswer. A request that was cancelled before its answer is delivered is
// never delivered, also when the answer is already waiting in the queue.
#pragma once

#include <cstdint>
#include <string>

#include "platform/EventLoop.h"
#include "platform/NameService.h"

namespace tarnwick::platform {

using LookupRequest = Ticket;  // 0 = none

LookupRequest StartHostLookup(TargetId target, uint32_t msg, const std::string& name);
LookupRequest StartAddrLookup(TargetId target, uint32_t msg, uint32_t addressNetworkOrder);
// Cancels a request of the calling thread; false when it is not pending (already delivered,
// cancelled, or unknown).
bool CancelLookup(LookupRequest request);

}  // namespace tarnwick::platform

// The system's millisecond tick count: monotonic, unaffected by changes of the clock.
#pragma once

#include <cstdint>

namespace tarnwick::platform {

// Milliseconds since an arbitrary fixed point (the boot); never goes backwards. 64 bits, so
// differences of two readings never wrap.
uint64_t GetTickCount();

}  // namespace tarnwick::platform

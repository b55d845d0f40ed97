// Test hooks of the hosted display backends, beside those in hooks.h.
#pragma once

#include <cstdint>

namespace hosted {

// The clock the headless display's retrace waits on, in microseconds: now
// reads it, sleepUntil returns at the given time. Null functions go back to
// the monotonic clock.
void SetDisplayRetraceClock(uint64_t (*now)(), void (*sleepUntil)(uint64_t micros));

}  // namespace hosted

// The virtual retrace clock: ticks at every multiple of 1/hz seconds of the
// monotonic clock, as a display's retrace does whatever the program does.
#pragma once

#include <cstdint>

namespace display {

// Microseconds of the monotonic clock.
uint64_t NowMicros();
// Returns at the given time of the monotonic clock.
void SleepUntilMicros(uint64_t micros);
// The first tick of an hz clock strictly after now, rounded up to whole
// microseconds; hz is not 0.
uint64_t NextTick(uint64_t now, unsigned hz);

}  // namespace display

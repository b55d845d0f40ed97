// The virtual retrace clock: ticks at every multiple of 1/hz seconds of the
// substitute's clock (kernel/clock.h), as a display's retrace does whatever
// the program does.
#pragma once

#include <cstdint>

namespace display {

// The first tick of an hz clock strictly after now, rounded up to whole
// microseconds; hz is not 0.
uint64_t NextTick(uint64_t now, unsigned hz);
// Sleeps until the next tick of an hz clock; hz is not 0.
void WaitNextTick(unsigned hz);

}  // namespace display

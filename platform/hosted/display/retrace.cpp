#include "display/retrace.h"

#include "kernel/clock.h"

namespace display {

uint64_t NextTick(uint64_t now, unsigned hz) {
  // Split so that neither product overflows for any clock value.
  const uint64_t tick = now / 1000000u * hz + (now % 1000000u) * hz / 1000000u + 1;
  return tick / hz * 1000000u + ((tick % hz) * 1000000u + hz - 1) / hz;
}

void WaitNextTick(unsigned hz) { kernel::SleepUntilMicros(NextTick(kernel::NowMicros(), hz)); }

}  // namespace display

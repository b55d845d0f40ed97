#include "display/retrace.h"

#include <time.h>

#include <cerrno>

namespace display {

uint64_t NowMicros() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000u + static_cast<uint64_t>(t.tv_nsec) / 1000u;
}

void SleepUntilMicros(uint64_t micros) {
  timespec t;
  t.tv_sec = static_cast<time_t>(micros / 1000000u);
  t.tv_nsec = static_cast<long>(micros % 1000000u) * 1000;
  // An absolute deadline: a signal in between does not stretch the wait.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
  }
}

uint64_t NextTick(uint64_t now, unsigned hz) {
  // Split so that neither product overflows for any clock value.
  const uint64_t tick = now / 1000000u * hz + (now % 1000000u) * hz / 1000000u + 1;
  return tick / hz * 1000000u + ((tick % hz) * 1000000u + hz - 1) / hz;
}

}  // namespace display

// The substitute's one clock: GetTickCount and Sleep, Direct3D's present
// wait and the displays' retrace all read and sleep on it, so a test that
// puts its own clock in place (hosted::SetClock) moves every one of them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kernel {

// Microseconds of the monotonic clock, or of the test's clock.
uint64_t NowMicros();
// Returns once NowMicros has reached micros; at once when it has already.
void SleepUntilMicros(uint64_t micros);
// Waits on wake, whose mutex lock holds, until it is notified or NowMicros
// reaches micros; may return early. A test's clock is not waited on but
// moved: its sleepUntil(micros) runs with the lock released.
void WaitUntilMicros(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, uint64_t micros);

}  // namespace kernel

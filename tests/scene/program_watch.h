// Watching the whole program from inside its own process: the runtime
// names each step just before it runs it, and the end steps come only after
// the frame loop has ended, so the first of them sees the loop's last state.
#pragma once

#include <cstdio>
#include <cstring>

#include "system/startup.h"

namespace program_watch {

inline void (*atFirstEndStep)() = nullptr;
inline int endStepsRun = 0;

inline void Observe(const char* name) {
  for (const RuntimeStep& step : RuntimeEndSteps) {
    if (std::strcmp(step.name, name) != 0) continue;
    if (endStepsRun++ == 0 && atFirstEndStep != nullptr) atFirstEndStep();
    if (endStepsRun == RuntimeEndStepCount) std::fprintf(stderr, "all %d end steps ran\n", RuntimeEndStepCount);
    std::fflush(stderr);
  }
}

// From now on `first` runs as the first end step is about to, and the last
// end step is announced on standard error.
inline void Watch(void (*first)()) {
  atFirstEndStep = first;
  endStepsRun = 0;
  RuntimeStepObserver = Observe;
}

}  // namespace program_watch

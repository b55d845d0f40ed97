// Start-up and shutdown of the whole runtime: the fixed lists of every
// layer's start-up and end steps. It sits above the layers it starts, so
// that none of them has to know the ones above it.
#pragma once

#include "runtime/runtime.h"

// Brings every facility up: zero-fills the global block, takes the module
// handle, creates MainHeap, points the program's reader at its tables and
// runs the start-up steps in their fixed order.
void RuntimeStart(const signed char* programTables);
// Runs the end steps in their fixed order, releases the heaps and ends the
// process with exit code 0.
[[noreturn]] void RuntimeEnd();
// Runs the end steps and releases the string heap and MainHeap, without
// ending the process (RuntimeEnd's work before ExitProcess).
void RuntimeRelease();

// The two fixed step lists, in order. RuntimeStepObserver, when set, is told
// each step's name just before the step runs.
struct RuntimeStep {
  const char* name;
  void (*run)();
};
constexpr int RuntimeStartStepCount = 12;
constexpr int RuntimeEndStepCount = 11;
extern const RuntimeStep RuntimeStartSteps[RuntimeStartStepCount];
extern const RuntimeStep RuntimeEndSteps[RuntimeEndStepCount];
extern void (*RuntimeStepObserver)(const char* name);

#include "system/startup.h"

#include <cstring>

#include "drawing/context.h"
#include "runtime/array.h"
#include "runtime/facilities.h"
#include "runtime/stringmap.h"
#include "screen/screen.h"
#include "window/events.h"
#include "window/window.h"

void (*RuntimeStepObserver)(const char* name);

const RuntimeStep RuntimeStartSteps[RuntimeStartStepCount] = {
    {"StringsInit", StringsInit},
    {"AuxHeapInit", AuxHeapInit},
    {"ImageDecodersInit", ImageDecodersInit},
    {"ImageDrawingInit", ImageDrawingInit},
    {"ImagesInit", ImagesInit},
    {"DrawContextInit", DrawContextInit},
    {"ArraysInit", ArraysInit},
    {"ControlsInit", ControlsInit},
    {"StringMapsInit", StringMapsInit},
    {"PostedEventsInit", PostedEventsInit},
    {"WindowsInit", WindowsInit},
    {"BmpDecoderInit", BmpDecoderInit},
};

const RuntimeStep RuntimeEndSteps[RuntimeEndStepCount] = {
    {"ScreenClose", ScreenClose},
    {"ScreenSystemEnd", ScreenSystemEnd},
    {"KeyboardEnd", KeyboardEnd},
    {"MouseEnd", MouseEnd},
    {"WindowsEnd", WindowsEnd},
    {"PostedEventsEnd", PostedEventsEnd},
    {"ControlsEnd", ControlsEnd},
    {"ImagesEnd", ImagesEnd},
    {"ImageDrawingEnd", ImageDrawingEnd},
    {"ScreenLibraryEnd", ScreenLibraryEnd},
    {"AuxHeapEnd", AuxHeapEnd},
};

static void RunSteps(const RuntimeStep* steps, int count) {
  for (int i = 0; i < count; ++i) {
    if (RuntimeStepObserver != nullptr) RuntimeStepObserver(steps[i].name);
    steps[i].run();
  }
}

void RuntimeStart(const signed char* programTables) {
  std::memset(&Globals, 0, sizeof Globals);
  Globals.instance = GetModuleHandleW(nullptr);
  MainHeap = PrivateHeapCreate();
  // Without its main heap the program cannot hold anything at all; it ends
  // quietly with the same exit code as every other way out.
  if (MainHeap == nullptr) ExitProcess(0);
  Globals.readPos = programTables;
  RunSteps(RuntimeStartSteps, RuntimeStartStepCount);
}

void RuntimeRelease() {
  RunSteps(RuntimeEndSteps, RuntimeEndStepCount);
  StringsEnd();
  MainHeapDestroy();
}

void RuntimeEnd() {
  RuntimeRelease();
  ExitProcess(0);
}

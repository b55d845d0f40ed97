#include "runtime/runtime.h"

#include <cstring>
#include <string>

#include "drawing/context.h"
#include "runtime/array.h"
#include "runtime/facilities.h"
#include "runtime/pool.h"
#include "runtime/stringmap.h"
#include "screen/screen.h"
#include "window/events.h"
#include "window/window.h"

GlobalBlock Globals;
HANDLE StringHeap;
HANDLE AuxHeap;
StringWorkBuffer StringWork;
void (*RuntimeStepObserver)(const char* name);

static_assert(sizeof(void*) != 4 || sizeof(GlobalBlock) == 100, "the global block is 100 bytes on 32-bit x86");

// Every heap of the runtime starts with one page committed and grows on
// demand; the platform serialises access.
static HANDLE NewPrivateHeap() { return HeapCreate(0, 4096, 0); }

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
  MainHeap = NewPrivateHeap();
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

void MainHeapDestroy() {
  if (MainHeap == nullptr) return;
  PoolRegistryForget();
  HeapDestroy(MainHeap);
  MainHeap = nullptr;
}

void RuntimeEnd() {
  RuntimeRelease();
  ExitProcess(0);
}

void* StateRecordNew(int32_t size, StateRecordFn initialiser, StateRecordFn /*finaliser*/) {
  void* record = HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size));
  // An initialiser is only ever handed a real record.
  if (record != nullptr && initialiser != nullptr) initialiser(record);
  return record;
}

void* StateRecordGet(void* record) { return record; }

void StringsInit() {
  StringHeap = NewPrivateHeap();
  // Strings are values of every facility; without their heap nothing else can
  // work either, so the program ends quietly.
  if (StringHeap == nullptr) ExitProcess(0);
  StringWork.fill = 0;
  StringWork.capacity = 16;
  StringWork.block = static_cast<char*>(HeapAlloc(StringHeap, 0, 16));
  if (StringWork.block == nullptr) StringWork.capacity = 0;
}

void StringsEnd() {
  if (StringHeap == nullptr) return;
  if (StringWork.block != nullptr) HeapFree(StringHeap, 0, StringWork.block);
  HeapDestroy(StringHeap);
  StringHeap = nullptr;
  StringWork = {};
}

void AuxHeapInit() { AuxHeap = NewPrivateHeap(); }

void AuxHeapEnd() {
  if (AuxHeap != nullptr) HeapDestroy(AuxHeap);
  AuxHeap = nullptr;
}

void StringAssign(WCHAR** slot, const WCHAR* source) {
  if (source == nullptr) return;
  const size_t n = std::char_traits<WCHAR>::length(source);
  auto* value = static_cast<WCHAR*>(HeapAlloc(StringHeap, 0, 2 * n + 10));
  // The caller has freed the slot's old value already: on failure the slot
  // holds the empty string rather than a dangling pointer.
  *slot = value;
  if (value == nullptr) return;
  std::memcpy(value, source, n * sizeof(WCHAR));
  value[n] = 0;
}

void StringFree(WCHAR* value) {
  if (value != nullptr) HeapFree(StringHeap, 0, value);
}

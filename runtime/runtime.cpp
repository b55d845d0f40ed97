#include "runtime/runtime.h"

#include <cstring>
#include <string>

#include "runtime/pool.h"

GlobalBlock Globals;
HANDLE StringHeap;
HANDLE AuxHeap;
StringWorkBuffer StringWork;

static_assert(sizeof(void*) != 4 || sizeof(GlobalBlock) == 100, "the global block is 100 bytes on 32-bit x86");

// One page committed to start with, growing on demand; the platform
// serialises access.
HANDLE PrivateHeapCreate() { return HeapCreate(0, 4096, 0); }

void MainHeapDestroy() {
  if (MainHeap == nullptr) return;
  PoolRegistryForget();
  HeapDestroy(MainHeap);
  MainHeap = nullptr;
}

void* StateRecordNew(int32_t size, StateRecordFn initialiser, StateRecordFn /*finaliser*/) {
  void* record = HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size));
  // An initialiser is only ever handed a real record.
  if (record != nullptr && initialiser != nullptr) initialiser(record);
  return record;
}

void* StateRecordGet(void* record) { return record; }

void StringsInit() {
  StringHeap = PrivateHeapCreate();
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

void AuxHeapInit() { AuxHeap = PrivateHeapCreate(); }

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

// The private heaps, string values, facility state records and the image
// decoder registry. Start-up and shutdown, which run every layer's steps,
// live above the layers (system/startup.h).
#pragma once

#include "platform.h"

#include <cstdint>

// Bytes of the global block left to the program after the runtime's words.
constexpr int GlobalProgramBytes = 88;

// The program's global variables: one zero-filled block. The runtime owns
// the first words; the rest is the program's (its scene state).
struct GlobalBlock {
  HANDLE mainHeap;
  HINSTANCE instance;
  const signed char* readPos;  // the program's sequential table reader
  alignas(void*) unsigned char program[GlobalProgramBytes];
};
extern GlobalBlock Globals;
inline HANDLE& MainHeap = Globals.mainHeap;

extern HANDLE StringHeap;
extern HANDLE AuxHeap;

// The string work buffer: a StringHeap block with its capacity and fill.
struct StringWorkBuffer {
  char* block;
  int32_t capacity;
  int32_t fill;
};
extern StringWorkBuffer StringWork;

// A new private heap, as every heap of the runtime is made.
HANDLE PrivateHeapCreate();

// Destroys MainHeap with everything in it, after telling the facilities that
// keep process-wide lists of its blocks (the shared-pool registry).
void MainHeapDestroy();

// Facility state records: zero-filled MainHeap blocks, one per facility.
using StateRecordFn = void (*)(void* record);
void* StateRecordNew(int32_t size, StateRecordFn initialiser, StateRecordFn finaliser);
void* StateRecordGet(void* record);

// String values: UTF-16 text in StringHeap; null is the empty string.
void StringAssign(WCHAR** slot, const WCHAR* source);
void StringFree(WCHAR* value);

// Image decoders. What a decoder's open entry returns starts with the
// image's size, so that callers can prepare the pixels for decode: 32-bit
// pixels, 0x00RRGGBB, rows from the top, pitch bytes apart.
struct OpenedImage {
  int32_t width;
  int32_t height;
};
struct ImageDecoder {
  OpenedImage* (*open)(const void* data, int32_t size);  // validates a header, keeps what decoding needs
  int32_t (*decode)(OpenedImage* opened, void* pixels, int32_t pitch);  // 1 on success
  void (*release)(OpenedImage* opened);  // frees what open kept
  uint32_t tag;  // up to four ASCII letters, first in the lowest byte
};
constexpr int ImageDecoderCapacity = 30;
struct ImageDecoderRegistry {
  int32_t count;
  ImageDecoder* table[ImageDecoderCapacity];
  void* state;
};
extern ImageDecoderRegistry ImageDecoders;
void RegisterImageDecoder(ImageDecoder* decoder);
// A file image in memory decoded by the first registered decoder that
// takes its header: width x height pixels as decode writes them, rows
// width * 4 bytes apart, in a MainHeap block the caller frees. Null, with
// both sizes 0, when no decoder takes the file, decoding fails, or the
// image has more pixels than ImageDecodeMaxPixels (64 Mi; lower it to bound
// what a file can make the program allocate).
extern int64_t ImageDecodeMaxPixels;
uint32_t* ImageDecode(const void* data, int32_t size, int32_t* width, int32_t* height);

// A procedure found with GetProcAddress, as the function type it really has.
template <typename Fn>
Fn ProcAs(FARPROC proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

// Steps owned by the core.
void StringsInit();
void StringsEnd();
void AuxHeapInit();
void AuxHeapEnd();
void ImageDecodersInit();
void BmpDecoderInit();

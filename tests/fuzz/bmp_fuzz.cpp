// The fuzz target: every input goes through the decoder registry as a file
// the program loads would. libFuzzer calls it, or, where clang is missing,
// the mutation loop of bmp_fuzz_loop.cpp.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "runtime/runtime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    MainHeap = HeapCreate(0, 4096, 0);
    ImageDecodersInit();
    BmpDecoderInit();
    // Large images cost time, not coverage: a megapixel is plenty.
    ImageDecodeMaxPixels = 1 << 20;
    return MainHeap != nullptr;
  }();
  if (!ready || size > INT32_MAX) return 0;
  int32_t width = 0, height = 0;
  uint32_t* pixels = ImageDecode(data, static_cast<int32_t>(size), &width, &height);
  if (pixels == nullptr) return 0;
  // A whole image: every pixel written. Decoders leave the top byte 0; the
  // heap hands out blocks that are not.
  for (int64_t i = 0; i < int64_t{width} * height; ++i)
    if (pixels[i] >> 24 != 0) std::abort();
  HeapFree(MainHeap, 0, pixels);
  return 0;
}

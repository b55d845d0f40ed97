#include <cstring>

#include "runtime/runtime.h"

ImageDecoderRegistry ImageDecoders;

void ImageDecodersInit() {
  ImageDecoders.count = 0;
  ImageDecoders.state = StateRecordNew(76, nullptr, nullptr);
}

void RegisterImageDecoder(ImageDecoder* decoder) {
  // The table has a fixed size; a decoder beyond it is not registered rather
  // than written past the end.
  if (decoder == nullptr || ImageDecoders.count >= ImageDecoderCapacity) return;
  ImageDecoders.table[ImageDecoders.count] = decoder;
  ImageDecoders.count += 1;
}

// Uncompressed Windows bitmaps (1, 4, 8, 24 and 32 bits per pixel) from a
// file image in memory.
namespace {

struct OpenedBmp {
  OpenedImage size;
  int32_t bitsPerPixel;
  int32_t topDown;
  int32_t sourcePitch;
  int32_t paletteCount;
  const uint8_t* bits;
  const uint8_t* palette;  // BGRX quads
};

uint32_t ReadU32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

constexpr uint32_t FileHeaderSize = 14;
constexpr int32_t MaxDimension = 1 << 15;

OpenedImage* BmpOpen(const void* data, int32_t size) {
  const auto* file = static_cast<const uint8_t*>(data);
  if (file == nullptr || size < static_cast<int32_t>(FileHeaderSize + 12)) return nullptr;
  if (file[0] != 'B' || file[1] != 'M') return nullptr;
  const uint32_t length = static_cast<uint32_t>(size);
  const uint32_t bitsOffset = ReadU32(file + 10);
  const uint32_t infoSize = ReadU32(file + FileHeaderSize);
  const uint8_t* info = file + FileHeaderSize;
  if (infoSize < 40 || infoSize > length - FileHeaderSize) return nullptr;
  const int32_t width = static_cast<int32_t>(ReadU32(info + 4));
  const int32_t height = static_cast<int32_t>(ReadU32(info + 8));
  const int32_t planes = ReadU16(info + 12);
  const int32_t bpp = ReadU16(info + 14);
  const uint32_t compression = ReadU32(info + 16);
  uint32_t colours = ReadU32(info + 32);
  // Only uncompressed pixels (BI_RGB, or BI_BITFIELDS with the usual 32-bit masks).
  const bool bitfields = compression == 3 && bpp == 32;
  if (planes != 1 || (compression != 0 && !bitfields)) return nullptr;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return nullptr;
  if (width <= 0 || width > MaxDimension || height == 0 || height < -MaxDimension || height > MaxDimension) return nullptr;
  const int32_t rows = height < 0 ? -height : height;
  const int64_t pitch = ((static_cast<int64_t>(width) * bpp + 31) / 32) * 4;
  if (bitsOffset > length || pitch * rows > static_cast<int64_t>(length - bitsOffset)) return nullptr;
  const uint8_t* palette = nullptr;
  if (bpp <= 8) {
    if (colours == 0 || colours > (1u << bpp)) colours = 1u << bpp;
    const uint64_t paletteEnd = FileHeaderSize + static_cast<uint64_t>(infoSize) + 4ull * colours;
    if (paletteEnd > bitsOffset) return nullptr;
    palette = info + infoSize;
  } else {
    colours = 0;
  }
  auto* bmp = static_cast<OpenedBmp*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(OpenedBmp)));
  if (bmp == nullptr) return nullptr;
  bmp->size = {width, rows};
  bmp->bitsPerPixel = bpp;
  bmp->topDown = height < 0;
  bmp->sourcePitch = static_cast<int32_t>(pitch);
  bmp->paletteCount = static_cast<int32_t>(colours);
  bmp->bits = file + bitsOffset;
  bmp->palette = palette;
  return &bmp->size;
}

int32_t BmpDecode(OpenedImage* opened, void* pixels, int32_t pitch) {
  auto* bmp = reinterpret_cast<OpenedBmp*>(opened);
  if (bmp == nullptr || pixels == nullptr || pitch < bmp->size.width * 4) return 0;
  const int32_t bpp = bmp->bitsPerPixel;
  for (int32_t y = 0; y < bmp->size.height; ++y) {
    const int32_t sourceRow = bmp->topDown ? y : bmp->size.height - 1 - y;
    const uint8_t* src = bmp->bits + static_cast<ptrdiff_t>(sourceRow) * bmp->sourcePitch;
    auto* dst = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch);
    for (int32_t x = 0; x < bmp->size.width; ++x) {
      const uint8_t* bgr;
      if (bpp >= 24) {
        bgr = src + x * (bpp / 8);
      } else {
        const int32_t bit = x * bpp;
        const int32_t index = (src[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1);
        // An index beyond the palette reads as black, as GDI shows it.
        static const uint8_t black[3] = {0, 0, 0};
        bgr = index < bmp->paletteCount ? bmp->palette + 4 * index : black;
      }
      dst[x] = bgr[0] | bgr[1] << 8 | static_cast<uint32_t>(bgr[2]) << 16;
    }
  }
  return 1;
}

void BmpRelease(OpenedImage* opened) {
  if (opened != nullptr) HeapFree(MainHeap, 0, opened);
}

ImageDecoder BmpDecoder;

}  // namespace

void BmpDecoderInit() {
  BmpDecoder.open = BmpOpen;
  BmpDecoder.decode = BmpDecode;
  BmpDecoder.release = BmpRelease;
  BmpDecoder.tag = 'B' | 'M' << 8 | 'P' << 16;
  RegisterImageDecoder(&BmpDecoder);
}

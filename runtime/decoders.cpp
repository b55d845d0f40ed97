#include <bit>
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

// Uncompressed Windows bitmaps (1, 4, 8, 16, 24 and 32 bits per pixel, the
// last two also with bit-field masks) from a file image in memory.
namespace {

// One colour channel of a 16- or 32-bit pixel: a single run of set bits.
struct BitField {
  uint32_t mask;
  int32_t shift;
  int32_t bits;
};

struct OpenedBmp {
  OpenedImage size;
  int32_t bitsPerPixel;
  int32_t topDown;
  int32_t sourcePitch;
  int32_t paletteCount;
  const uint8_t* bits;
  const uint8_t* palette;  // BGRX quads
  BitField fields[3];      // red, green, blue
};

uint32_t ReadU32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

constexpr uint32_t FileHeaderSize = 14;
constexpr int32_t MaxDimension = 1 << 15;
constexpr uint32_t BiRgb = 0, BiBitfields = 3;

// A mask that is empty, reaches past the pixel or has a gap names no
// channel; GDI would read only its lowest run, which shows wrong colours.
bool ReadField(uint32_t mask, int32_t bpp, BitField* field) {
  if (mask == 0 || (bpp < 32 && mask >> bpp != 0)) return false;
  const int32_t shift = std::countr_zero(mask);
  const uint32_t run = mask >> shift;
  if ((run & (run + 1)) != 0) return false;
  *field = {mask, shift, std::popcount(run)};
  return true;
}

// A channel widened or narrowed to 8 bits as GDI shows it: a wide field
// keeps its top 8 bits, a narrow one repeats its top bits once.
uint32_t Channel(uint32_t pixel, const BitField& field) {
  uint32_t value = (pixel & field.mask) >> field.shift;
  if (field.bits >= 8) return value >> (field.bits - 8);
  value <<= 8 - field.bits;
  return value | value >> field.bits;
}

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
  // Only uncompressed pixels: BI_RGB, or BI_BITFIELDS at 16 and 32 bits.
  const bool bitfields = compression == BiBitfields && (bpp == 16 || bpp == 32);
  if (planes != 1 || (compression != BiRgb && !bitfields)) return nullptr;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
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
  // Without masks of their own, 16-bit pixels are 5-5-5 and 32-bit ones
  // 8-8-8. Headers of 52 bytes and more hold the masks; after the 40-byte
  // one they follow the header.
  const bool wide = bpp == 32;
  uint32_t masks[3] = {wide ? 0xFF0000u : 0x7C00u, wide ? 0xFF00u : 0x03E0u, wide ? 0xFFu : 0x001Fu};
  if (bitfields) {
    const uint32_t at = infoSize >= 52 ? 40 : infoSize;
    if (infoSize < 52 && FileHeaderSize + static_cast<uint64_t>(infoSize) + 12 > bitsOffset) return nullptr;
    for (int i = 0; i < 3; ++i) masks[i] = ReadU32(info + at + 4 * i);
  }
  BitField fields[3] = {};
  if (bpp == 16 || bpp == 32)
    for (int i = 0; i < 3; ++i)
      if (!ReadField(masks[i], bpp, &fields[i])) return nullptr;
  auto* bmp = static_cast<OpenedBmp*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(OpenedBmp)));
  if (bmp == nullptr) return nullptr;
  bmp->size = {width, rows};
  bmp->bitsPerPixel = bpp;
  bmp->topDown = height < 0;
  bmp->sourcePitch = static_cast<int32_t>(pitch);
  bmp->paletteCount = static_cast<int32_t>(colours);
  bmp->bits = file + bitsOffset;
  bmp->palette = palette;
  std::memcpy(bmp->fields, fields, sizeof fields);
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
      if (bpp == 16 || bpp == 32) {
        const uint32_t pixel = bpp == 16 ? ReadU16(src + 2 * x) : ReadU32(src + 4 * x);
        const BitField* f = bmp->fields;
        dst[x] = Channel(pixel, f[0]) << 16 | Channel(pixel, f[1]) << 8 | Channel(pixel, f[2]);
        continue;
      }
      const uint8_t* bgr;
      if (bpp == 24) {
        bgr = src + 3 * x;
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

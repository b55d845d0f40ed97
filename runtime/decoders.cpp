#include <algorithm>
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

int64_t ImageDecodeMaxPixels = int64_t{1} << 26;

uint32_t* ImageDecode(const void* data, int32_t size, int32_t* width, int32_t* height) {
  *width = 0;
  *height = 0;
  for (int32_t i = 0; i < ImageDecoders.count; ++i) {
    const ImageDecoder* decoder = ImageDecoders.table[i];
    OpenedImage* opened = decoder->open(data, size);
    if (opened == nullptr) continue;
    // The first decoder that takes the header owns the file. Its size is
    // checked here, before the one allocation that depends on it.
    const int64_t w = opened->width, h = opened->height;
    uint32_t* pixels = nullptr;
    const bool fits = w > 0 && h > 0 && w * h <= ImageDecodeMaxPixels && static_cast<uint64_t>(w * h) <= SIZE_MAX / 4 &&
                      w <= INT32_MAX / 4;
    if (fits) {
      pixels = static_cast<uint32_t*>(HeapAlloc(MainHeap, 0, static_cast<SIZE_T>(w * h * 4)));
      if (pixels != nullptr && decoder->decode(opened, pixels, static_cast<int32_t>(w * 4)) != 1) {
        HeapFree(MainHeap, 0, pixels);
        pixels = nullptr;
      }
    }
    decoder->release(opened);
    if (pixels != nullptr) {
      *width = static_cast<int32_t>(w);
      *height = static_cast<int32_t>(h);
    }
    return pixels;
  }
  return nullptr;
}

// Windows bitmap files from a file image in memory: the 40-byte info header
// and its longer successors, and the 12-byte core header of the oldest
// files; 1, 4, 8, 16, 24 and 32 bits per pixel, bit-field masks at 16 and
// 32, and run-length encoded 4- and 8-bit pixels. The file image must stay
// in place from open to decode: the pixels are read from it.
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
  uint32_t compression;
  int32_t topDown;
  int32_t sourcePitch;
  const uint8_t* bits;
  uint32_t bitsSize;   // bytes from bits on that belong to the pixels
  BitField fields[3];  // red, green, blue
  // 0x00RRGGBB; an index the file's colour table does not reach reads as
  // black, as GDI shows it.
  uint32_t palette[256];
};

uint32_t ReadU32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t ReadBgr(const uint8_t* p) { return p[0] | p[1] << 8 | static_cast<uint32_t>(p[2]) << 16; }

constexpr uint32_t FileHeaderSize = 14;
constexpr uint32_t CoreHeaderSize = 12, InfoHeaderSize = 40, MasksInHeaderSize = 52;
constexpr int32_t MaxDimension = 1 << 15;
constexpr uint32_t BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3;

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

bool Supported(int32_t bpp, uint32_t compression) {
  switch (compression) {
    case BiRgb: return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
    case BiRle8: return bpp == 8;
    case BiRle4: return bpp == 4;
    case BiBitfields: return bpp == 16 || bpp == 32;
    default: return false;
  }
}

// Every size, offset and count of the headers is checked against the file
// in 64 bits before anything is kept: what open accepts, decode can read
// without looking past the file.
OpenedImage* BmpOpen(const void* data, int32_t size) {
  const auto* file = static_cast<const uint8_t*>(data);
  if (file == nullptr || size < static_cast<int32_t>(FileHeaderSize + CoreHeaderSize)) return nullptr;
  if (file[0] != 'B' || file[1] != 'M') return nullptr;
  const uint64_t length = static_cast<uint32_t>(size);
  const uint32_t bitsOffset = ReadU32(file + 10);
  const uint8_t* info = file + FileHeaderSize;
  const uint32_t infoSize = ReadU32(info);
  const bool core = infoSize == CoreHeaderSize;
  if ((!core && infoSize < InfoHeaderSize) || FileHeaderSize + uint64_t{infoSize} > length) return nullptr;
  // The core header has 16-bit unsigned sizes, no compression and no count
  // of colours: its rows always run bottom-up and its table is whole.
  const int32_t width = core ? ReadU16(info + 4) : static_cast<int32_t>(ReadU32(info + 4));
  const int32_t height = core ? ReadU16(info + 6) : static_cast<int32_t>(ReadU32(info + 8));
  const int32_t planes = ReadU16(info + (core ? 8 : 12));
  const int32_t bpp = ReadU16(info + (core ? 10 : 14));
  const uint32_t compression = core ? BiRgb : ReadU32(info + 16);
  const uint32_t imageSize = core ? 0 : ReadU32(info + 20);
  const uint32_t colours = core ? 0 : ReadU32(info + 32);
  if (planes != 1 || !Supported(bpp, compression) || (core && (bpp == 16 || bpp == 32))) return nullptr;
  if (width <= 0 || width > MaxDimension || height == 0 || height < -MaxDimension || height > MaxDimension) return nullptr;
  const bool encoded = compression == BiRle8 || compression == BiRle4;
  // Run-length encoded rows cannot run top-down.
  if (encoded && height < 0) return nullptr;
  const int32_t rows = height < 0 ? -height : height;

  // What lies between the headers and the pixels: masks after a 40-byte
  // header, then the colour table (four bytes an entry, three after a core
  // header) of the length the header gives, or whole.
  uint64_t headersEnd = FileHeaderSize + uint64_t{infoSize};
  const bool masksAfterHeader = compression == BiBitfields && infoSize < MasksInHeaderSize;
  if (masksAfterHeader) headersEnd += 12;
  uint32_t entries = 0;
  if (bpp <= 8) entries = colours == 0 || colours > (1u << bpp) ? 1u << bpp : colours;
  const uint32_t entrySize = core ? 3 : 4;
  const uint64_t tableAt = headersEnd;
  headersEnd += uint64_t{entries} * entrySize;
  if (headersEnd > bitsOffset || bitsOffset > length) return nullptr;
  const uint64_t available = length - bitsOffset;

  const int64_t pitch = (int64_t{width} * bpp + 31) / 32 * 4;
  uint64_t bitsSize = static_cast<uint64_t>(pitch) * static_cast<uint64_t>(rows);
  // Encoded pixels take what the header says, or the rest of the file when
  // it says nothing.
  if (encoded) bitsSize = imageSize != 0 ? imageSize : available;
  if (bitsSize > available) return nullptr;

  // Without masks of their own, 16-bit pixels are 5-5-5 and 32-bit ones
  // 8-8-8. Headers of 52 bytes and more hold the masks.
  const bool wide = bpp == 32;
  uint32_t masks[3] = {wide ? 0xFF0000u : 0x7C00u, wide ? 0xFF00u : 0x03E0u, wide ? 0xFFu : 0x001Fu};
  if (compression == BiBitfields)
    for (int i = 0; i < 3; ++i) masks[i] = ReadU32(info + (masksAfterHeader ? infoSize : 40) + 4 * i);
  BitField fields[3] = {};
  if (bpp == 16 || bpp == 32)
    for (int i = 0; i < 3; ++i)
      if (!ReadField(masks[i], bpp, &fields[i])) return nullptr;

  auto* bmp = static_cast<OpenedBmp*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, sizeof(OpenedBmp)));
  if (bmp == nullptr) return nullptr;
  bmp->size = {width, rows};
  bmp->bitsPerPixel = bpp;
  bmp->compression = compression;
  bmp->topDown = height < 0;
  bmp->sourcePitch = static_cast<int32_t>(pitch);
  bmp->bits = file + bitsOffset;
  bmp->bitsSize = static_cast<uint32_t>(bitsSize);
  std::memcpy(bmp->fields, fields, sizeof fields);
  for (uint32_t i = 0; i < entries; ++i) bmp->palette[i] = ReadBgr(file + tableAt + entrySize * i);
  return &bmp->size;
}

uint32_t* OutputRow(void* pixels, int32_t pitch, int32_t y) {
  return reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch);
}

void DecodeRows(const OpenedBmp& bmp, void* pixels, int32_t pitch) {
  const int32_t bpp = bmp.bitsPerPixel;
  for (int32_t y = 0; y < bmp.size.height; ++y) {
    const int32_t sourceRow = bmp.topDown ? y : bmp.size.height - 1 - y;
    const uint8_t* src = bmp.bits + static_cast<ptrdiff_t>(sourceRow) * bmp.sourcePitch;
    uint32_t* dst = OutputRow(pixels, pitch, y);
    for (int32_t x = 0; x < bmp.size.width; ++x) {
      if (bpp == 16 || bpp == 32) {
        const uint32_t pixel = bpp == 16 ? ReadU16(src + 2 * x) : ReadU32(src + 4 * x);
        const BitField* f = bmp.fields;
        dst[x] = Channel(pixel, f[0]) << 16 | Channel(pixel, f[1]) << 8 | Channel(pixel, f[2]);
      } else if (bpp == 24) {
        dst[x] = ReadBgr(src + 3 * x);
      } else {
        const int32_t bit = x * bpp;
        dst[x] = bmp.palette[(src[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1)];
      }
    }
  }
}

// Run-length encoded rows, from the bottom: runs of one index (two
// alternating ones at 4 bits), escapes for the end of a line or of the
// bitmap, a move right and up, and runs of literal indices padded to an even
// byte count. Pixels no run reaches stay black; runs past the right edge
// are cut there, and moves past the top end the image. Data that ends early
// ends it as the end-of-bitmap escape would.
void DecodeRuns(const OpenedBmp& bmp, void* pixels, int32_t pitch) {
  const int64_t width = bmp.size.width, height = bmp.size.height;
  for (int32_t y = 0; y < height; ++y) std::memset(OutputRow(pixels, pitch, y), 0, static_cast<size_t>(width) * 4);
  const bool four = bmp.compression == BiRle4;
  const uint8_t* p = bmp.bits;
  const uint8_t* const end = p + bmp.bitsSize;
  int64_t x = 0, y = 0;
  // count pixels of index(i) from x on; those past the right edge are dropped.
  auto put = [&](int64_t count, auto index) {
    uint32_t* row = OutputRow(pixels, pitch, static_cast<int32_t>(height - 1 - y));
    for (int64_t i = 0; i < count && x + i < width; ++i) row[x + i] = bmp.palette[index(i)];
    x = std::min(x + count, width);
  };
  while (end - p >= 2 && y < height) {
    const uint8_t count = p[0], value = p[1];
    p += 2;
    if (count != 0) {
      put(count, [&](int64_t i) { return four ? (i % 2 == 0 ? value >> 4 : value & 15) : value; });
    } else if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      if (end - p < 2) return;
      x = std::min(x + p[0], width);
      y += p[1];
      p += 2;
    } else {
      const int64_t bytes = four ? (value + 1) / 2 : value;
      if (end - p < bytes) return;
      const uint8_t* literal = p;
      put(value, [&](int64_t i) { return four ? (literal[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 15 : literal[i]; });
      p += std::min<int64_t>(bytes + bytes % 2, end - p);
    }
  }
}

int32_t BmpDecode(OpenedImage* opened, void* pixels, int32_t pitch) {
  auto* bmp = reinterpret_cast<OpenedBmp*>(opened);
  if (bmp == nullptr || pixels == nullptr || pitch < bmp->size.width * 4) return 0;
  if (bmp->compression == BiRle8 || bmp->compression == BiRle4)
    DecodeRuns(*bmp, pixels, pitch);
  else
    DecodeRows(*bmp, pixels, pitch);
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

// Bitmaps: DIB sections of every depth, device-dependent bitmaps and the
// stock 1x1 monochrome one a memory DC starts with; what GetObjectW says of
// them, and their pixels read and written as device-independent bitmaps.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "internal.h"

namespace gdi {
namespace {

// No bitmap holds more bytes than this.
constexpr long long kLargestBitmap = 0x40000000LL;

constexpr DWORD k555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr DWORD k565[3] = {0xF800, 0x07E0, 0x001F};
constexpr DWORD k888[3] = {0xFF0000, 0x00FF00, 0x0000FF};

bool MasksAre(const DWORD* masks, const DWORD (&expected)[3]) { return std::equal(expected, expected + 3, masks); }

HGDIOBJ SelectBitmap(HGDIOBJ handle, Dc& dc) {
  // Only a memory DC draws into a bitmap, and a bitmap into one DC at a time.
  if (!dc.memory) return nullptr;
  if (handle == dc.bitmap) return handle;
  const Entry* entry = Lookup(handle);
  if (!entry->stock && entry->selectCount > 0) return nullptr;
  dc.target = static_cast<const BitmapObject*>(entry->object)->bits;
  return Swap(dc.bitmap, handle);
}

bool DestroyBitmap(HGDIOBJ handle) {
  auto* bitmap = static_cast<BitmapObject*>(Free(handle));
  if (bitmap != nullptr) std::free(bitmap->owned);
  delete bitmap;
  return true;
}

int DescribeBitmap(HGDIOBJ handle, int size, void* buffer) {
  const BitmapObject* bitmap = LookupBitmap(handle);
  const Image& image = bitmap->image;
  // Sections give their rows' whole 32-bit words and their pixels; other
  // bitmaps whole 16-bit words and no pixels.
  const LONG rowBytes = bitmap->section ? static_cast<LONG>(DibStride(image.width, image.depth))
                                        : static_cast<LONG>(((image.width * 1LL * image.depth + 15) >> 3) & ~1LL);
  const BITMAP description = {0,  image.width, image.height, rowBytes, 1, static_cast<WORD>(image.depth),
                              bitmap->section ? bitmap->owned : nullptr};
  if (buffer == nullptr) return sizeof(BITMAP);
  if (bitmap->section && size >= static_cast<int>(sizeof(DIBSECTION))) {
    DIBSECTION section = {};
    section.dsBm = description;
    section.dsBmih = bitmap->header;
    section.dsBmih.biHeight = image.height;
    std::copy(bitmap->masks, bitmap->masks + 3, section.dsBitfields);
    std::memcpy(buffer, &section, sizeof section);
    return sizeof section;
  }
  return DescribeWhole(description, size, buffer);
}

const ObjectFuncs kBitmapFuncs = {SelectBitmap, DestroyBitmap, DescribeBitmap};

// A record with zeroed pixels for a width x height bitmap; null when it
// would be too large or there is no memory.
BitmapObject* MakeBitmap(long long width, long long height, int depth, bool rgb565, bool bottomUp) {
  const long long stride = DibStride(width, depth);
  if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX || stride * height > kLargestBitmap)
    return nullptr;
  void* memory = std::calloc(static_cast<size_t>(stride * height), 1);
  if (memory == nullptr) return nullptr;
  auto* bitmap = new BitmapObject;
  bitmap->owned = memory;
  Image& image = bitmap->image;
  // Bottom-up rows: the top row is the last one in memory.
  image.bits = static_cast<BYTE*>(memory) + (bottomUp ? stride * (height - 1) : 0);
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pitch = static_cast<int>(bottomUp ? -stride : stride);
  image.depth = depth;
  image.rgb565 = rgb565;
  if (depth <= 8) image.colors = bitmap->colors;
  PixelFormat format;
  if (DrawableFormat(image, format)) bitmap->bits = {image.bits, image.width, image.height, image.pitch, format};
  return bitmap;
}

HBITMAP Register(BitmapObject* bitmap) {
  if (bitmap == nullptr) return nullptr;
  HGDIOBJ handle = Allocate(OBJ_BITMAP, kBitmapFuncs, bitmap);
  if (handle == nullptr) {
    std::free(bitmap->owned);
    delete bitmap;
  }
  return static_cast<HBITMAP>(handle);
}

// A device-dependent bitmap: top-down, its palette the depth's default;
// a monochrome one has none, so blits give it the destination's colours.
BitmapObject* MakeDeviceBitmap(long long width, long long height, int depth, bool rgb565) {
  BitmapObject* bitmap = MakeBitmap(width, height, depth, rgb565, false);
  if (bitmap == nullptr) return nullptr;
  if (depth == 1) bitmap->image.colors = nullptr;
  else if (depth <= 8) std::copy(DefaultColors(depth), DefaultColors(depth) + (1 << depth), bitmap->colors);
  return bitmap;
}

// A section as described by a header, its bit fields and colour table
// (entries as given); null when refused.
HBITMAP MakeSection(BITMAPINFOHEADER h, const DWORD* masks, const RGBQUAD* colors, void** bits) {
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1 || !KnownDepth(h.biBitCount)) return nullptr;
  const int depth = h.biBitCount;
  bool rgb565 = false;
  DWORD fields[3] = {};
  if (h.biCompression == BI_BITFIELDS) {
    // The rasteriser's formats: 5-6-5 or 5-5-5 in 16 bits, 8-8-8 in 32.
    if (depth == 16 && MasksAre(masks, k565)) rgb565 = true;
    else if (!(depth == 16 && MasksAre(masks, k555)) && !(depth == 32 && MasksAre(masks, k888))) return nullptr;
    std::copy(masks, masks + 3, fields);
  } else if (h.biCompression != BI_RGB) {
    return nullptr;
  } else if (depth == 16) {
    // Described as the 5-5-5 fields it holds.
    h.biCompression = BI_BITFIELDS;
    std::copy(k555, k555 + 3, fields);
  }
  const long long rows = std::llabs(static_cast<long long>(h.biHeight));
  BitmapObject* bitmap = MakeBitmap(h.biWidth, rows, depth, rgb565, h.biHeight > 0);
  if (bitmap == nullptr) return nullptr;
  bitmap->section = true;
  std::copy(fields, fields + 3, bitmap->masks);
  if (depth <= 8) {
    const DWORD count = h.biClrUsed != 0 ? std::min<DWORD>(h.biClrUsed, 1u << depth) : 1u << depth;
    std::copy(colors, colors + count, bitmap->colors);
    h.biClrUsed = count;
  } else {
    h.biClrUsed = 0;
  }
  h.biSizeImage = static_cast<DWORD>(DibStride(h.biWidth, depth) * rows);
  bitmap->header = h;
  void* memory = bitmap->owned;
  HBITMAP handle = Register(bitmap);
  if (handle != nullptr && bits != nullptr) *bits = memory;
  return handle;
}

}  // namespace

BitmapObject* LookupBitmap(HGDIOBJ handle) { return Get<BitmapObject>(handle, OBJ_BITMAP); }

bool DcImage(const Dc& dc, Image& image) {
  if (dc.memory) {
    const BitmapObject* bitmap = LookupBitmap(dc.bitmap);
    if (bitmap == nullptr) return false;
    image = bitmap->image;
    return true;
  }
  if (dc.target.bits == nullptr) return false;
  image = ImageOf(dc.target);
  return true;
}

HGDIOBJ DefaultBitmap() {
  static const HGDIOBJ handle = MakeStock(Register(MakeDeviceBitmap(1, 1, 1, false)));
  return handle;
}

}  // namespace gdi

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
  if (bits != nullptr) *bits = nullptr;
  if (info == nullptr || usage != DIB_RGB_COLORS || section != nullptr) return nullptr;
  // The bit fields and the colour table follow the header.
  return gdi::MakeSection(info->bmiHeader, reinterpret_cast<const DWORD*>(info->bmiColors), info->bmiColors, bits);
}

HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
  if (planes != 1 || bitsPerPixel > 32) return nullptr;
  if (width == 0 || height == 0) return static_cast<HBITMAP>(gdi::DefaultBitmap());
  // Depths between those GDI keeps are rounded up.
  const int depth = bitsPerPixel <= 1 ? 1 : bitsPerPixel <= 4 ? 4 : bitsPerPixel <= 8 ? 8 : bitsPerPixel <= 16 ? 16
                  : bitsPerPixel <= 24 ? 24 : 32;
  const long long w = std::llabs(static_cast<long long>(width)), h = std::llabs(static_cast<long long>(height));
  gdi::BitmapObject* bitmap = gdi::MakeDeviceBitmap(w, h, depth, false);
  if (bitmap == nullptr) return nullptr;
  if (bits != nullptr) {
    // The given rows are whole 16-bit words.
    const long long given = ((w * depth + 15) >> 3) & ~1LL;
    const auto* from = static_cast<const BYTE*>(bits);
    const gdi::Image& image = bitmap->image;
    for (long long y = 0; y < h; ++y)
      std::memcpy(image.bits + y * image.pitch, from + y * given, static_cast<size_t>((w * depth + 7) / 8));
  }
  return gdi::Register(bitmap);
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC dcHandle, int width, int height) {
  if (width < 0 || height < 0) return nullptr;
  const gdi::Dc* dc = dcHandle != nullptr ? gdi::LookupDc(dcHandle) : nullptr;
  if (dcHandle != nullptr && dc == nullptr) return nullptr;
  if (width == 0 || height == 0) return static_cast<HBITMAP>(gdi::DefaultBitmap());
  // Without a DC: the screen's, 32 bits.
  gdi::Image image;
  if (dc == nullptr || !gdi::DcImage(*dc, image)) image.depth = 32;
  // A DC holding a section gets a section like it.
  const gdi::BitmapObject* selected = dc != nullptr && dc->memory ? gdi::LookupBitmap(dc->bitmap) : nullptr;
  if (selected != nullptr && selected->section) {
    BITMAPINFOHEADER header = selected->header;
    header.biWidth = width;
    header.biHeight = header.biHeight < 0 ? -height : height;
    return gdi::MakeSection(header, selected->masks, selected->colors, nullptr);
  }
  return gdi::Register(gdi::MakeDeviceBitmap(width, height, image.depth, image.rgb565));
}

namespace {

// The device-independent layout a BITMAPINFO asks for, as GetDIBits and
// SetDIBits accept it; false when refused.
bool ValidLayout(const BITMAPINFOHEADER& h) {
  if (h.biWidth <= 0 || h.biHeight == 0 || !gdi::KnownDepth(h.biBitCount)) return false;
  if (h.biCompression == BI_BITFIELDS) return h.biBitCount == 16 || h.biBitCount == 32;
  return h.biCompression == BI_RGB;
}

BYTE* ColorTableOf(BITMAPINFO* info) { return reinterpret_cast<BYTE*>(info) + info->bmiHeader.biSize; }

}  // namespace

namespace gdi {

bool DibImage(const BITMAPINFO& info, const void* bits, Image& image, RGBQUAD (&table)[256]) {
  const BITMAPINFOHEADER& h = info.bmiHeader;
  if (!ValidLayout(h)) return false;
  image = Image{};
  image.depth = h.biBitCount;
  image.width = h.biWidth;
  const long long height = std::llabs(static_cast<long long>(h.biHeight));
  const long long stride = DibStride(h.biWidth, image.depth);
  if (height > INT_MAX || stride * height > INT_MAX) return false;
  image.height = static_cast<int>(height);
  const auto* masks = reinterpret_cast<const DWORD*>(info.bmiColors);
  if (h.biCompression == BI_BITFIELDS) {
    image.rgb565 = image.depth == 16 && MasksAre(masks, k565);
    if (!image.rgb565 && !MasksAre(masks, image.depth == 16 ? k555 : k888)) return false;
  }
  if (image.depth <= 8) {
    const DWORD count = h.biClrUsed != 0 ? std::min<DWORD>(h.biClrUsed, 1u << image.depth) : 1u << image.depth;
    std::fill(table, table + 256, RGBQUAD{});
    std::copy(info.bmiColors, info.bmiColors + count, table);
    image.colors = table;
  }
  // Bottom-up rows are read from the last one back.
  auto* first = const_cast<BYTE*>(static_cast<const BYTE*>(bits));
  image.pitch = static_cast<int>(h.biHeight > 0 ? -stride : stride);
  image.bits = h.biHeight > 0 ? first + (height - 1) * stride : first;
  return true;
}

}  // namespace gdi

int WINAPI GetDIBits(HDC dc, HBITMAP handle, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info, UINT usage) {
  if (info == nullptr || usage != DIB_RGB_COLORS || gdi::LookupDc(dc) == nullptr) return 0;
  const gdi::BitmapObject* bitmap = gdi::LookupBitmap(handle);
  if (bitmap == nullptr) return 0;
  const gdi::Image& from = bitmap->image;
  BITMAPINFOHEADER& h = info->bmiHeader;
  const long long height = std::llabs(static_cast<long long>(h.biHeight));
  if (lines == 0 || start >= height) bits = nullptr;
  if (bits == nullptr && h.biBitCount == 0) {
    // Only the bitmap's own description is asked for.
    const DWORD size = h.biSize;
    h = {};
    h.biSize = size;
    h.biWidth = from.width;
    h.biHeight = from.height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(from.depth);
    h.biCompression = from.depth == 16 || from.depth == 32 ? BI_BITFIELDS : BI_RGB;
    h.biSizeImage = static_cast<DWORD>(gdi::DibStride(from.width, from.depth) * from.height);
    return from.height;
  }
  if (!ValidLayout(h) || (lines != 0 && h.biPlanes == 0)) return 0;
  const int depth = h.biBitCount;
  const bool sameDepth = depth == from.depth;
  // What the copy is laid out as: for 16 and 32 bits, the bitmap's own
  // fields when the depths agree, otherwise 5-6-5 or 8-8-8 when fields are
  // asked for, and 5-5-5 or 8-8-8 without.
  gdi::Image to;
  to.depth = depth;
  to.width = h.biWidth;
  RGBQUAD table[256];
  if (depth == 16 && h.biCompression == BI_BITFIELDS) {
    to.rgb565 = sameDepth ? from.rgb565 : true;
    std::memcpy(info->bmiColors, to.rgb565 ? gdi::k565 : gdi::k555, sizeof gdi::k565);
  } else if (depth == 32 && h.biCompression == BI_BITFIELDS) {
    std::memcpy(info->bmiColors, gdi::k888, sizeof gdi::k888);
  } else if (depth <= 8) {
    // The bitmap's own palette between equal depths, else the default one.
    const RGBQUAD* colors = sameDepth && from.colors != nullptr ? from.colors : gdi::DefaultColors(depth);
    const DWORD count = sameDepth && bitmap->section ? bitmap->header.biClrUsed : 1u << depth;
    std::copy(colors, colors + (1 << depth), table);
    std::memcpy(ColorTableOf(info), table, count * sizeof(RGBQUAD));
    to.colors = table;
  }
  const long long stride = gdi::DibStride(h.biWidth, depth);
  h.biClrUsed = 0;
  h.biSizeImage = static_cast<DWORD>(stride * height);
  if (bits == nullptr) return 1;

  // The copy's rows (from its top) that are asked for, and how far its rows
  // lie from the bitmap's: scan lines count from the bottom of a bottom-up
  // copy, and a top-down copy's lines come from the bitmap's bottom rows.
  const bool bottomUp = h.biHeight > 0;
  long long count = lines, offset, top = 0, bottom = height;
  if (bottomUp) {
    offset = -static_cast<long long>(start);
    count = std::min(count, height - start);
    if (count < height) top = height - count;
  } else {
    offset = height - count - start;
    if (offset < 0) {
      offset = 0;
      count = height - start;
    }
    if (count < height) bottom = count;
  }
  const long long fromTop = std::max(top + offset, 0LL);
  const long long fromBottom = std::min(bottom + offset, static_cast<long long>(from.height));
  const int columns = std::min(h.biWidth, from.width);
  const bool empty = fromTop >= fromBottom;
  // Asked-for rows past the bitmap are zeroed.
  auto* out = static_cast<BYTE*>(bits);
  const long long copiedBottom = std::max(fromBottom - offset, 0LL);
  if (bottomUp && copiedBottom < height) {
    const long long padded = std::min(height - copiedBottom, count);
    std::memset(out, 0, static_cast<size_t>(padded * stride));
    out += padded * stride;
  } else if (!bottomUp && copiedBottom < count) {
    std::memset(out + copiedBottom * stride, 0, static_cast<size_t>((count - copiedBottom) * stride));
  }
  if (empty) return 0;
  const int rows = static_cast<int>(fromBottom - fromTop);
  static thread_local std::vector<uint32_t> row;
  row.resize(static_cast<size_t>(columns));
  // 4-bit rows of one palette are copied by whole bytes, so the unused
  // half of a last byte comes along (1-bit rows go pixel by pixel).
  const bool copyBytes = depth == 4 && gdi::SameFormat(from, to);
  const size_t rowBytes = (static_cast<size_t>(columns) * depth + 7) / 8;
  for (int i = 0; i < rows; ++i) {
    to.bits = out + (bottomUp ? rows - 1 - i : i) * stride;
    std::memset(to.bits, 0, static_cast<size_t>(stride));
    const int y = static_cast<int>(fromTop) + i;
    if (copyBytes) {
      std::memcpy(to.bits, from.bits + static_cast<ptrdiff_t>(y) * from.pitch, rowBytes);
      continue;
    }
    gdi::ReadPixels(from, 0, y, columns, row.data());
    gdi::ConvertPixels(from, to, row.data(), row.data(), columns);
    gdi::WritePixels(to, 0, 0, columns, row.data());
  }
  return rows;
}

int WINAPI SetDIBits(HDC, HBITMAP handle, UINT start, UINT lines, const void* bits, const BITMAPINFO* info,
                     UINT usage) {
  const gdi::BitmapObject* bitmap = gdi::LookupBitmap(handle);
  if (bitmap == nullptr || bits == nullptr || info == nullptr || usage != DIB_RGB_COLORS) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  gdi::Image from;
  RGBQUAD table[256];
  if (!gdi::DibImage(*info, bits, from, table)) return 0;
  // Bottom-up, scan lines [start, start + lines) counted from the bottom,
  // the first of them at bits; top-down, the band of `lines` rows ending
  // `start` rows above the bottom, its top row at bits. Rows past the
  // bitmap are counted but not copied.
  const long long height = std::llabs(static_cast<long long>(h.biHeight));
  const bool bottomUp = h.biHeight > 0;
  const long long count = bottomUp ? std::max(std::min<long long>(lines, height - start), 0LL) : lines;
  const gdi::Image& to = bitmap->image;
  const int columns = std::min(h.biWidth, to.width);
  static thread_local std::vector<uint32_t> row;
  row.resize(static_cast<size_t>(columns));
  for (long long i = 0; i < std::min(count, height); ++i) {
    const long long y = bottomUp ? height - 1 - start - i : height - start - count + i;
    if (y < 0 || y >= to.height) continue;
    gdi::ReadPixels(from, 0, static_cast<int>(bottomUp ? height - 1 - i : i), columns, row.data());
    gdi::ConvertPixels(from, to, row.data(), row.data(), columns);
    gdi::WritePixels(to, 0, static_cast<int>(y), columns, row.data());
  }
  return static_cast<int>(count);
}

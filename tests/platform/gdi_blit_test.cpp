// Copies between bitmaps over tables of cases generated from a fixed seed,
// compared by hash with what Windows GDI gives (taken under Wine, kept in
// gdi_blit_hashes.inc; with CUBE_GDI_RECORD=1 the test prints this lane's
// hashes in that file's form instead: scripts/record-gdi-hashes blit).
// BitBlt: sources of every depth and size 1-64 with random pixels and
// palettes, a monochrome device bitmap, the destination itself
// (overlapping), rectangles off every side, negative and zero sizes, every
// raster operation, into 32-, 565- and 555-bit destinations of random
// pixels. GetDIBits: sections of every depth read into every depth, scan
// line ranges in and out of the bitmap, both row orders, the header-only
// queries.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform.h"
#include "support/pixels.h"
#include "support/random.h"

namespace {

#include "gdi_blit_hashes.inc"

using pixels::Canvas;

constexpr int kWidth = 40;
constexpr int kHeight = 30;
constexpr D3DFORMAT kFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5};
constexpr int kCases = 300;

bool Recording() { return std::getenv("CUBE_GDI_RECORD") != nullptr; }

uint32_t Fnv(uint32_t hash, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
  return hash;
}

void FillRandom(Random& random, void* bits, size_t size) {
  auto* bytes = static_cast<uint8_t*>(bits);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(random.Next());
}

COLORREF Colour(Random& random) {
  return RGB(random.Int(0, 255), random.Int(0, 255), random.Int(0, 255));
}

// The kinds of bitmap a case reads: sections of each depth and layout, and
// two device-dependent bitmaps.
enum Kind { kMono, kFour, kEight, k555, k565, k24, k32, kMonoDevice, k32Device, kKinds };

int DepthOf(Kind kind) {
  static const int depths[] = {1, 4, 8, 16, 16, 24, 32, 1, 32};
  return depths[kind];
}

// A bitmap of random pixels (and palette), `width` x `height`; sections
// are bottom-up now and then.
struct Source {
  HBITMAP bitmap = nullptr;

  Source(Random& random, Kind kind, int width, int height) {
    const int depth = DepthOf(kind);
    if (kind == kMonoDevice || kind == k32Device) {
      std::vector<uint8_t> bits(static_cast<size_t>(((width * depth + 15) / 16) * 2 * height));
      FillRandom(random, bits.data(), bits.size());
      bitmap = CreateBitmap(width, height, 1, depth, bits.data());
      return;
    }
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[256];
    } info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = random.OneIn(3) ? height : -height;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(depth);
    const bool fields = kind == k565 || (kind == k32 && random.OneIn(3));
    info.header.biCompression = fields ? BI_BITFIELDS : BI_RGB;
    auto* masks = reinterpret_cast<DWORD*>(info.colours);
    if (kind == k565) masks[0] = 0xF800, masks[1] = 0x07E0, masks[2] = 0x001F;
    if (kind == k32 && fields) masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
    if (depth <= 8) FillRandom(random, info.colours, sizeof(RGBQUAD) << depth);
    void* bits = nullptr;
    bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bits != nullptr) FillRandom(random, bits, static_cast<size_t>((width * depth + 31) / 32 * 4 * height));
  }
  ~Source() { DeleteObject(bitmap); }
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
};

constexpr DWORD kNamed[] = {SRCCOPY,  SRCPAINT,  SRCAND,   SRCINVERT, SRCERASE,  NOTSRCCOPY, NOTSRCERASE, MERGECOPY,
                            MERGEPAINT, PATCOPY, PATPAINT, PATINVERT, DSTINVERT, BLACKNESS,  WHITENESS};

// A size: mostly 1-64 either way round, sometimes none or past any bitmap.
int Size(Random& random) {
  switch (random.Int(0, 15)) {
    case 0: return 0;
    case 1: return random.OneIn(2) ? 100000 : -100000;
    case 2:
    case 3:
    case 4: return -random.Int(1, 64);
    default: return random.Int(1, 64);
  }
}

// One BitBlt into canvas; its result is hashed with the picture.
BOOL Blit(Canvas& canvas, Random& random) {
  Source source(random, static_cast<Kind>(random.Int(0, kKinds - 1)), random.Int(1, 64), random.Int(1, 64));
  BITMAP described = {};
  GetObjectW(source.bitmap, sizeof described, &described);
  HDC dc = CreateCompatibleDC(canvas.dc);
  HGDIOBJ previous = SelectObject(dc, source.bitmap);
  // Now and then the destination reads itself.
  const bool itself = random.OneIn(8);
  const int sourceWidth = itself ? kWidth : described.bmWidth;
  const int sourceHeight = itself ? kHeight : described.bmHeight;
  SetTextColor(canvas.dc, Colour(random));
  SetBkColor(canvas.dc, Colour(random));
  HBRUSH brush = CreateSolidBrush(Colour(random));
  HGDIOBJ oldBrush = SelectObject(canvas.dc, brush);
  DWORD rop = random.OneIn(2) ? kNamed[random.Int(0, 14)] : static_cast<DWORD>(random.Int(0, 255)) << 16;
  // Wine works an operation of source, pattern and destination out in
  // steps, each over the whole rectangle, so where source and destination
  // overlap a later step reads what an earlier one wrote. Reading itself,
  // a case keeps to the operations that leave the pattern out.
  if (itself) rop = ((rop >> 16) & 0xF) * 0x11 << 16;
  const int x = random.Int(-8, kWidth + 4);
  const int y = random.Int(-8, kHeight + 4);
  const int width = Size(random);
  const int height = Size(random);
  const int srcX = random.Int(-8, sourceWidth + 4);
  const int srcY = random.Int(-8, sourceHeight + 4);
  const BOOL result = BitBlt(canvas.dc, x, y, width, height, itself ? canvas.dc : dc, srcX, srcY, rop);
  SelectObject(canvas.dc, oldBrush);
  DeleteObject(brush);
  SelectObject(dc, previous);
  DeleteDC(dc);
  return result;
}

TEST(GdiBlitTable, BitBltCopiesAsWindowsDoes) {
  const bool record = Recording();
  if (record) std::printf("constexpr uint32_t kBitBltHashes[][3] = {\n");
  int mismatches = 0;
  for (int c = 0; c < kCases; ++c) {
    uint32_t hashes[3];
    for (int f = 0; f < 3; ++f) {
      Canvas canvas(kWidth, kHeight, kFormats[f]);
      ASSERT_TRUE(canvas.usable());
      // The case's numbers do not depend on the format.
      Random background(0xBAC0000000000000ull + static_cast<uint64_t>(c));
      FillRandom(background, canvas.bits, static_cast<size_t>(canvas.pitch) * kHeight);
      Random random(0xB17B17000000000ull + static_cast<uint64_t>(c));
      const BOOL result = Blit(canvas, random);
      hashes[f] = Fnv(canvas.Hash(), &result, sizeof result);
      if (!record && hashes[f] != kBitBltHashes[c][f] && ++mismatches <= 5) {
        const std::string path = pixels::OutputPath("BitBlt-" + std::to_string(c) + "-" + pixels::Name(kFormats[f]), "actual");
        const bool written = pixels::WritePng(path, canvas.Picture());
        ADD_FAILURE() << "case " << c << " in " << pixels::Name(kFormats[f]) << ": 0x" << std::hex << hashes[f]
                      << " (returned " << result << ")" << (written ? "; picture in " : "; could not write ") << path;
      }
    }
    if (record) std::printf("    {0x%08X, 0x%08X, 0x%08X},\n", hashes[0], hashes[1], hashes[2]);
  }
  if (record) std::printf("};\n");
  EXPECT_EQ(mismatches, 0) << "cases copied otherwise than Windows copies them";
}

// One GetDIBits of a random bitmap: the hash of its result, the header and
// colour table it leaves, and every byte of the buffer it wrote into.
uint32_t ReadBack(Random& random) {
  const Kind kind = static_cast<Kind>(random.Int(0, kKinds - 1));
  const int sourceWidth = random.Int(1, 64);
  const int sourceHeight = random.Int(1, 64);
  Source source(random, kind, sourceWidth, sourceHeight);
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info;
  std::memset(&info, 0xAB, sizeof info);
  BITMAPINFOHEADER& h = info.header;
  h.biSize = sizeof(BITMAPINFOHEADER);
  static const int depths[] = {1, 4, 8, 16, 24, 32};
  h.biBitCount = static_cast<WORD>(depths[random.Int(0, 5)]);
  h.biPlanes = 1;
  h.biCompression = BI_RGB;
  // Bit fields only where the depths agree: between other depths the
  // fields Wine writes are whatever its stack held.
  if (h.biBitCount == DepthOf(kind) && h.biBitCount >= 16 && random.OneIn(2)) h.biCompression = BI_BITFIELDS;
  h.biWidth = random.OneIn(2) ? sourceWidth : random.Int(1, 70);
  const int rows = random.OneIn(2) ? sourceHeight : random.Int(1, 70);
  h.biHeight = random.OneIn(3) ? -rows : rows;
  h.biSizeImage = 0;
  h.biClrUsed = 0;
  UINT start = random.OneIn(2) ? 0 : static_cast<UINT>(random.Int(0, rows + 2));
  UINT lines = random.OneIn(2) ? static_cast<UINT>(rows) : static_cast<UINT>(random.Int(0, rows + 4));
  // A top-down copy whose lines lie past the bitmap's end: Wine zeroes
  // memory before the buffer there.
  if (h.biHeight < 0 && rows - static_cast<int>(lines) - static_cast<int>(start) > sourceHeight) lines = rows;
  const int mode = random.Int(0, 9);
  if (mode == 0) h.biBitCount = 0;
  std::vector<uint8_t> bits(static_cast<size_t>((h.biWidth * 32 + 31) / 32 * 4 * rows), 0xCD);
  HDC dc = CreateCompatibleDC(nullptr);
  const int result = GetDIBits(dc, source.bitmap, start, lines, mode <= 1 ? nullptr : bits.data(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteDC(dc);
  uint32_t hash = Fnv(2166136261u, &result, sizeof result);
  hash = Fnv(hash, &info, sizeof info);
  return Fnv(hash, bits.data(), bits.size());
}

TEST(GdiBlitTable, GetDIBitsReadsAsWindowsDoes) {
  const bool record = Recording();
  if (record) std::printf("constexpr uint32_t kGetDIBitsHashes[] = {\n");
  int mismatches = 0;
  for (int c = 0; c < kCases; ++c) {
    Random random(0xD1B175000000000ull + static_cast<uint64_t>(c));
    const uint32_t hash = ReadBack(random);
    if (record) std::printf("    0x%08X,\n", hash);
    else if (hash != kGetDIBitsHashes[c] && ++mismatches <= 5) ADD_FAILURE() << "case " << c << ": 0x" << std::hex << hash;
  }
  if (record) std::printf("};\n");
  EXPECT_EQ(mismatches, 0) << "cases read otherwise than Windows reads them";
}

// Calls the platform refuses, and calls at the edges it answers: the same
// answers on both lanes, nothing drawn, nothing crashed.
TEST(GdiBlitBadInput, RefusedAndEdgeCallsGetThePlatformsAnswers) {
  Canvas canvas(8, 8, D3DFMT_X8R8G8B8);
  ASSERT_TRUE(canvas.usable());
  canvas.FillRaw(0x123456);
  HDC source = CreateCompatibleDC(nullptr);
  HDC other = CreateCompatibleDC(nullptr);
  HDC ended = CreateCompatibleDC(nullptr);
  DeleteDC(ended);
  HBITMAP gone = CreateBitmap(4, 4, 1, 32, nullptr);
  DeleteObject(gone);
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info = {};
  info.header = {sizeof(BITMAPINFOHEADER), 4, 4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  const auto section = [&](LONG width, LONG height, WORD bits, DWORD compression) {
    info.header = {sizeof(BITMAPINFOHEADER), width, height, 1, bits, compression, 0, 0, 0, 0, 0};
    void* pixels = reinterpret_cast<void*>(1);
    HBITMAP made = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
    const bool consistent = (made == nullptr) == (pixels == nullptr);
    if (made != nullptr) DeleteObject(made);
    return made != nullptr && consistent ? 1 : consistent ? 0 : -1;
  };
  std::vector<uint8_t> bits(64 * 4);
  info.header = {sizeof(BITMAPINFOHEADER), 4, 4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  const auto readBack = [&](HDC dc, HBITMAP bitmap) {
    return GetDIBits(dc, bitmap, 0, 4, bits.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  };
  HBITMAP held = CreateBitmap(4, 4, 1, 32, nullptr);
  HGDIOBJ before = SelectObject(source, held);
  const struct {
    const char* call;
    long long result;
    long long expected;
  } cases[] = {
      {"BitBlt to no DC", BitBlt(nullptr, 0, 0, 4, 4, source, 0, 0, SRCCOPY), FALSE},
      {"BitBlt from no DC", BitBlt(canvas.dc, 0, 0, 4, 4, nullptr, 0, 0, SRCCOPY), FALSE},
      {"BitBlt from an ended DC", BitBlt(canvas.dc, 0, 0, 4, 4, ended, 0, 0, SRCCOPY), FALSE},
      {"BitBlt without a source it needs not", BitBlt(canvas.dc, 0, 0, 0, 0, nullptr, 0, 0, PATCOPY), TRUE},
      {"BitBlt of nothing", BitBlt(canvas.dc, 0, 0, 0, 4, source, 0, 0, SRCCOPY), TRUE},
      {"BitBlt past the int range", BitBlt(canvas.dc, INT_MAX - 2, INT_MIN, INT_MAX, INT_MAX, source, INT_MIN, 0, SRCCOPY), TRUE},
      {"PatBlt reading a source", PatBlt(canvas.dc, 0, 0, 4, 4, SRCCOPY), FALSE},
      {"second DC selecting a held bitmap", SelectObject(other, held) != nullptr, 0},
      {"GetDIBits of a deleted bitmap", readBack(canvas.dc, gone), 0},
      {"GetDIBits without a DC", readBack(nullptr, held), 0},
      {"GetDIBits of a held bitmap", readBack(canvas.dc, held), 4},
      {"section of 2 bits", section(4, 4, 2, BI_RGB), 0},
      {"section of 24 bits in fields", section(4, 4, 24, BI_BITFIELDS), 0},
      {"section without fields' masks", section(4, 4, 16, BI_BITFIELDS), 0},
      {"section of no width", section(0, 4, 32, BI_RGB), 0},
      {"section of no height", section(4, 0, 32, BI_RGB), 0},
      {"section of 100000 x 100000", section(100000, 100000, 32, BI_RGB), 0},
      {"bitmap of 100000 x 100000", CreateBitmap(100000, 100000, 1, 32, nullptr) != nullptr, 0},
      {"bitmap of 33 bits", CreateBitmap(4, 4, 1, 33, nullptr) != nullptr, 0},
      {"bitmap of no width is the stock one", CreateBitmap(0, 4, 1, 32, nullptr) == GetCurrentObject(other, OBJ_BITMAP), 1},
      {"compatible bitmap of no DC", DeleteObject(CreateCompatibleBitmap(ended, 4, 4)), FALSE},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected) << c.call;
  EXPECT_EQ(canvas.CountOther(0x123456), 0) << "nothing was drawn";
  SelectObject(source, before);
  DeleteObject(held);
  DeleteDC(other);
  DeleteDC(source);
}

// Into a monochrome device bitmap, a colour source keeps only the source
// DC's background colour (as 1; compared as raw pixels, so alpha counts)
// and a monochrome one is copied bit for bit whatever the DC colours;
// patterns reach it too; the destination DC's clip holds for blits as for
// drawing. Expected bytes as Wine gives them.
TEST(GdiBlitMonochrome, ColourKeepsTheSourceBackgroundAndMonochromeCopiesAsItIs) {
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 8, -1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* memory = nullptr;
  HBITMAP colour = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
  ASSERT_NE(memory, nullptr);
  const uint32_t row[8] = {0x000A141E, 0xFF0A141E, 0x00FFFFFF, 0x00000000,
                           0x000A141F, 0x00F0F0F0, 0x00101010, 0x000A141E};
  std::memcpy(memory, row, sizeof row);
  const BYTE pattern[2] = {0xA5, 0};
  HBITMAP monoSource = CreateBitmap(8, 1, 1, 1, pattern);
  HBITMAP mono = CreateBitmap(8, 1, 1, 1, nullptr);
  HDC src = CreateCompatibleDC(nullptr), dst = CreateCompatibleDC(nullptr), reader = CreateCompatibleDC(nullptr);
  HGDIOBJ srcBefore = SelectObject(src, colour), dstBefore = SelectObject(dst, mono);
  SetBkColor(src, RGB(0x0A, 0x14, 0x1E));
  SetTextColor(dst, RGB(255, 0, 0));
  SetBkColor(dst, RGB(0, 0, 255));
  const auto bits = [&] {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[2];
    } mi = {{sizeof(BITMAPINFOHEADER), 8, 1, 1, 1, BI_RGB, 0, 0, 0, 0, 0}, {}};
    BYTE out[4] = {};
    GetDIBits(reader, mono, 0, 1, out, reinterpret_cast<BITMAPINFO*>(&mi), DIB_RGB_COLORS);
    return static_cast<int>(out[0]);
  };
  const struct {
    const char* call;
    std::function<BOOL()> blit;
    int expected;
  } cases[] = {
      {"BitBlt of colour", [&] { return BitBlt(dst, 0, 0, 8, 1, src, 0, 0, SRCCOPY); }, 0x81},
      {"StretchBlt of colour at its size", [&] { return StretchBlt(dst, 0, 0, 8, 1, src, 0, 0, 8, 1, SRCCOPY); }, 0x81},
      {"StretchBlt of colour doubled", [&] { return StretchBlt(dst, 0, 0, 8, 1, src, 0, 0, 4, 1, SRCCOPY); }, 0xC0},
      {"BitBlt of monochrome", [&] { SelectObject(src, monoSource); return BitBlt(dst, 0, 0, 8, 1, src, 0, 0, SRCCOPY); },
       0xA5},
      {"BitBlt of monochrome, SRCINVERT", [&] { return BitBlt(dst, 0, 0, 8, 1, src, 0, 0, SRCINVERT); }, 0x00},
      {"StretchBlt of monochrome", [&] { return StretchBlt(dst, 0, 0, 8, 1, src, 0, 0, 8, 1, SRCCOPY); }, 0xA5},
      {"PatBlt WHITENESS", [&] { return PatBlt(dst, 0, 0, 8, 1, WHITENESS); }, 0xFF},
      {"PatBlt DSTINVERT of 3", [&] { return PatBlt(dst, 0, 0, 3, 1, DSTINVERT); }, 0x1F},
      {"PatBlt PATCOPY white of 4 on black",
       [&] {
         PatBlt(dst, 0, 0, 8, 1, BLACKNESS);
         SelectObject(dst, GetStockObject(WHITE_BRUSH));
         return PatBlt(dst, 0, 0, 4, 1, PATCOPY);
       },
       0xF0},
      {"PatBlt PATINVERT white of 4", [&] { return PatBlt(dst, 2, 0, 4, 1, PATINVERT); }, 0xCC},
      {"BitBlt clipped to columns 2-5",
       [&] {
         IntersectClipRect(dst, 2, 0, 6, 1);
         return BitBlt(dst, 0, 0, 8, 1, src, 0, 0, SRCINVERT);
       },
       0xE8},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(c.blit()) << c.call;
    EXPECT_EQ(bits(), c.expected) << c.call;
  }
  SelectObject(src, srcBefore);
  SelectObject(dst, dstBefore);
  DeleteDC(reader);
  DeleteDC(dst);
  DeleteDC(src);
  DeleteObject(mono);
  DeleteObject(monoSource);
  DeleteObject(colour);
}

// Within one bitmap, a copy reads every source pixel before it is
// overwritten, whichever way the rectangles overlap.
TEST(GdiBlitOverlap, CopiesWithinOneBitmapReadTheSourceFirst) {
  const POINT shifts[] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {2, 3}, {-3, -2}, {3, -1}};
  for (const POINT shift : shifts) {
    for (const DWORD rop : {SRCCOPY, SRCINVERT, SRCPAINT}) {
      Canvas canvas(12, 10, D3DFMT_X8R8G8B8);
      ASSERT_TRUE(canvas.usable());
      for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) static_cast<uint32_t*>(canvas.bits)[y * 12 + x] = 0x010101u * (y * 12 + x);
      const pixels::Picture before = canvas.Picture();
      pixels::Picture expected = before;
      for (int y = 2; y < 7; ++y)
        for (int x = 3; x < 9; ++x) {
          const uint32_t s = before.at(x, y), d = before.at(x + shift.x, y + shift.y);
          expected.at(x + shift.x, y + shift.y) = rop == SRCCOPY ? s : rop == SRCINVERT ? (s ^ d) : (s | d);
        }
      ASSERT_TRUE(BitBlt(canvas.dc, 3 + shift.x, 2 + shift.y, 6, 5, canvas.dc, 3, 2, rop));
      EXPECT_TRUE(pixels::SamePicture(canvas.Picture(), expected,
                                      std::to_string(shift.x) + "," + std::to_string(shift.y) + "-" + std::to_string(rop)));
    }
  }
}

// SetDIBits writes scan lines counted from the bottom of a bottom-up DIB,
// and of a top-down one the band of lines ending `start` above its bottom;
// rows past the bitmap are counted, not written.
TEST(GdiSetDIBits, WritesTheScanLinesThePlatformWrites) {
  const struct {
    LONG height;
    UINT start, lines;
    int result;
    uint32_t rows[4];
  } cases[] = {
      {4, 0, 2, 2, {0, 0, 0xB, 0xA}},    {4, 0, 4, 4, {0xD, 0xC, 0xB, 0xA}}, {4, 1, 2, 2, {0, 0xB, 0xA, 0}},
      {4, 1, 4, 3, {0xC, 0xB, 0xA, 0}},  {-4, 0, 2, 2, {0, 0, 0xA, 0xB}},    {-4, 0, 4, 4, {0xA, 0xB, 0xC, 0xD}},
      {-4, 1, 2, 2, {0, 0xA, 0xB, 0}},   {-4, 1, 4, 4, {0xB, 0xC, 0xD, 0}},  {3, 0, 4, 3, {0xC, 0xB, 0xA, 0}},
      {3, 1, 4, 2, {0xB, 0xA, 0, 0}},    {-3, 0, 4, 4, {0xB, 0xC, 0, 0}},    {-3, 1, 4, 4, {0xC, 0, 0, 0}},
      {6, 1, 4, 4, {0, 0xD, 0xC, 0xB}},  {-6, 0, 2, 2, {0, 0, 0, 0}},        {-6, 1, 4, 4, {0, 0xA, 0xB, 0xC}},
  };
  const uint32_t given[4] = {0xA, 0xB, 0xC, 0xD};
  Canvas canvas(1, 4, D3DFMT_X8R8G8B8);
  ASSERT_TRUE(canvas.usable());
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 1, 0, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  for (const auto& c : cases) {
    canvas.FillRaw(0);
    info.bmiHeader.biHeight = c.height;
    EXPECT_EQ(SetDIBits(canvas.dc, canvas.bitmap, c.start, c.lines, given, &info, DIB_RGB_COLORS), c.result)
        << c.height << " " << c.start << " " << c.lines;
    for (int y = 0; y < 4; ++y) EXPECT_EQ(canvas.Raw(0, y), c.rows[y]) << c.height << " " << c.start << " " << c.lines << " row " << y;
  }
}

// Pixels of every depth written with SetDIBits into a section of that
// depth read back unchanged, with the section's palette.
TEST(GdiSetDIBits, PixelsOfEveryDepthComeBackAsWritten) {
  for (const WORD depth : {1, 4, 8, 16, 24, 32}) {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[256];
    } info = {}, back = {};
    info.header = {sizeof(BITMAPINFOHEADER), 13, -5, 1, depth, BI_RGB, 0, 0, 0, 0, 0};
    Random random(depth);
    if (depth <= 8) FillRandom(random, info.colours, sizeof(RGBQUAD) << depth);
    std::vector<uint8_t> given(static_cast<size_t>((13 * depth + 31) / 32 * 4 * 5)), read(given.size(), 0xEE);
    FillRandom(random, given.data(), given.size());
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, nullptr, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SetDIBits(dc, bitmap, 0, 5, given.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS), 5);
    back.header = info.header;
    EXPECT_EQ(GetDIBits(dc, bitmap, 0, 5, read.data(), reinterpret_cast<BITMAPINFO*>(&back), DIB_RGB_COLORS), 5);
    // Only the bits of the 13 pixels of each row count.
    const size_t stride = given.size() / 5, used = (13 * depth + 7) / 8;
    const int spare = static_cast<int>(used * 8) - 13 * depth;
    for (size_t y = 0; y < 5; ++y) {
      for (size_t i = 0; i < used; ++i) {
        const uint8_t mask = i + 1 == used ? static_cast<uint8_t>(0xFF << spare) : 0xFF;
        EXPECT_EQ(read[y * stride + i] & mask, given[y * stride + i] & mask) << depth << " row " << y << " byte " << i;
      }
    }
    if (depth <= 8) {
      EXPECT_EQ(std::memcmp(back.colours, info.colours, sizeof(RGBQUAD) << depth), 0) << depth;
    }
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
}

}  // namespace

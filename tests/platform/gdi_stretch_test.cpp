// How GDI stretches, blends and draws icons, over tables of cases generated
// from a fixed seed: StretchBlt and StretchDIBits from sources of every
// depth, either way up, of 1 to 64 pixels, onto boxes from shrinking to
// enlarging, mirrored, clipped on every side and reading past the source,
// in every raster operation and the three exact stretch modes; AlphaBlend
// with constant and per-pixel alpha, and the calls it refuses; icons made,
// described, drawn and destroyed (gdi_stretch_icon_test.cpp). Each case is drawn in each destination
// format and compared, with the call's answer, by hash with what Windows GDI
// draws (taken under Wine, kept in gdi_stretch_cases.inc). HALFTONE, whose
// filter is the platform's own, is compared picture by picture within a
// tolerance. With CUBE_GDI_RECORD=1 the tests print this lane's results in
// that file's form instead (scripts/record-gdi-stretch).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform.h"
#include "support/pixels.h"
#include "support/random.h"

#include "gdi_stretch_shared.h"

namespace {

using namespace gdi_stretch;
using pixels::Canvas;

// A fifth of the cases leave the destination as it was (clipped away, reading
// only outside the source, refused), so 400 give past 300 that draw.
constexpr int kCases = 400;

// A source picture: a DIB of one depth with a colour table of random colours
// for the small depths (5-6-5 bit fields for half the 16-bit ones), random
// pixels, either way up.
struct Source {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info = {};
  std::vector<uint8_t> bits;
  int width = 0;
  int height = 0;

  const BITMAPINFO* bitmapInfo() const { return reinterpret_cast<const BITMAPINFO*>(&info); }
  int depth() const { return info.header.biBitCount; }
  int stride() const { return (width * depth() + 31) / 32 * 4; }
};

Source MakeSource(Random& random, int depth, int maxSide) {
  static const int depths[] = {1, 4, 8, 16, 24, 32};
  Source source;
  if (depth == 0) depth = depths[random.Int(0, 5)];
  source.width = random.Int(1, maxSide);
  source.height = random.Int(1, maxSide);
  BITMAPINFOHEADER& header = source.info.header;
  header.biSize = sizeof header;
  header.biWidth = source.width;
  header.biHeight = random.OneIn(2) ? -source.height : source.height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(depth);
  header.biCompression = BI_RGB;
  if (depth == 16 && random.OneIn(2)) {
    header.biCompression = BI_BITFIELDS;
    const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(source.info.colours, masks, sizeof masks);
  }
  if (depth <= 8) {
    for (int i = 0; i < (1 << depth); ++i) {
      const COLORREF colour = Colour(random);
      source.info.colours[i] = {GetBValue(colour), GetGValue(colour), GetRValue(colour), 0};
    }
  }
  source.bits.resize(static_cast<size_t>(source.stride()) * source.height);
  for (uint8_t& byte : source.bits) byte = static_cast<uint8_t>(random.Next());
  return source;
}

// Sets a pixel of a source: a colour table index for the small depths,
// 0xRRGGBB otherwise.
void Put(Source& source, int x, int y, uint32_t value) {
  uint8_t* row = source.bits.data() + static_cast<size_t>(y) * source.stride();
  const int depth = source.depth();
  const uint32_t r = (value >> 16) & 0xFF, g = (value >> 8) & 0xFF, b = value & 0xFF;
  if (depth <= 8) {
    const int shift = 8 - depth - x * depth % 8;
    uint8_t& byte = row[x * depth / 8];
    byte = static_cast<uint8_t>((byte & ~(((1 << depth) - 1) << shift)) | (value << shift));
  } else if (depth == 16) {
    const bool bitFields = source.info.header.biCompression == BI_BITFIELDS;
    const auto pixel = static_cast<uint16_t>(bitFields ? (r >> 3) << 11 | (g >> 2) << 5 | b >> 3
                                                       : (r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
    std::memcpy(row + 2 * x, &pixel, 2);
  } else {
    uint8_t* at = row + x * depth / 8;
    at[0] = static_cast<uint8_t>(b), at[1] = static_cast<uint8_t>(g), at[2] = static_cast<uint8_t>(r);
    if (depth == 32) at[3] = 0;
  }
}

// `a` moved `step` of `steps` of the way to `b`, channel by channel.
uint32_t Mix(uint32_t a, uint32_t b, int step, int steps) {
  uint32_t mixed = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int from = static_cast<int>((a >> shift) & 0xFF), to = static_cast<int>((b >> shift) & 0xFF);
    mixed |= static_cast<uint32_t>(from + (to - from) * step / std::max(steps, 1)) << shift;
  }
  return mixed;
}

// A picture for HALFTONE, whose filters differ least on smooth pictures: a
// blend between four corner colours (for the small depths, along a ramp of
// the colour table), with a box of one colour on it half the time, whose
// edges the filter softens.
Source SmoothSource(Random& random, int maxSide) {
  Source source = MakeSource(random, 0, maxSide);
  uint32_t corners[4];
  for (uint32_t& corner : corners) corner = static_cast<uint32_t>(random.Next() & 0xFFFFFF);
  const int w = source.width, h = source.height, depth = source.depth();
  const int last = (1 << std::min(depth, 8)) - 1;
  if (depth <= 8)
    for (int i = 0; i <= last; ++i) {
      const uint32_t colour = Mix(corners[0], corners[1], i, last);
      source.info.colours[i] = {static_cast<BYTE>(colour), static_cast<BYTE>(colour >> 8), static_cast<BYTE>(colour >> 16), 0};
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      Put(source, x, y,
          depth <= 8 ? static_cast<uint32_t>((x * last / std::max(w - 1, 1) + y * last / std::max(h - 1, 1)) / 2)
                     : Mix(Mix(corners[0], corners[1], x, w - 1), Mix(corners[2], corners[3], x, w - 1), y, h - 1));
  if (random.OneIn(2)) {
    const int left = random.Int(0, w - 1), top = random.Int(0, h - 1);
    const int right = random.Int(left + 1, w), bottom = random.Int(top + 1, h);
    const uint32_t value = depth <= 8 ? static_cast<uint32_t>(random.Int(0, last)) : corners[3] ^ 0xFFFFFF;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) Put(source, x, y, value);
  }
  return source;
}

// 32-bit pixels premultiplied by their alpha, which is often 0 or 255.
void Premultiply(Random& random, Source& source) {
  for (size_t i = 0; i + 3 < source.bits.size(); i += 4) {
    const int pick = random.Int(0, 3);
    const int alpha = pick == 0 ? 0 : pick == 1 ? 255 : random.Int(0, 255);
    for (int c = 0; c < 3; ++c) source.bits[i + c] = static_cast<uint8_t>(source.bits[i + c] % (alpha + 1));
    source.bits[i + 3] = static_cast<uint8_t>(alpha);
  }
}

// A memory DC with a section holding a source's pixels.
class SourceDc {
 public:
  explicit SourceDc(const Source& source) {
    dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc, source.bitmapInfo(), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bits != nullptr) std::memcpy(bits, source.bits.data(), source.bits.size());
    previous_ = SelectObject(dc, bitmap_);
  }
  ~SourceDc() {
    SelectObject(dc, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc);
  }
  SourceDc(const SourceDc&) = delete;
  SourceDc& operator=(const SourceDc&) = delete;

  HDC dc = nullptr;

 private:
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

// Destination and source boxes of one stretch.
struct Boxes {
  int x, y, w, h;
  int sx, sy, sw, sh;
};

// A span of a source axis of `size` pixels: all of it, a part, or one
// hanging off either end; now and then mirrored (the same pixels read from
// the other end).
void SourceSpan(Random& random, int size, bool within, int& origin, int& extent) {
  const int pick = random.Int(0, within ? 1 : 2);
  if (pick == 0) {
    origin = 0;
    extent = size;
  } else if (pick == 1) {
    origin = random.Int(0, size - 1);
    extent = random.Int(1, size - origin);
  } else {
    origin = random.Int(-4, size + 1);
    extent = random.Int(1, size + 6);
  }
  if (random.OneIn(6)) {
    origin += extent;
    extent = -extent;
  }
}

// A destination span for a source span: shrunk, kept or enlarged (to past
// twice), placed so that it crosses either edge of the `size` pixels of the
// destination as often as it stays inside, and at least half on them but
// for `margin` pixels; now and then mirrored.
void DestinationSpan(Random& random, int size, int sourceExtent, bool stretch, int margin, int& origin, int& extent) {
  const int span = std::abs(sourceExtent);
  const int pick = stretch ? random.Int(0, 2) : 1;
  extent = pick == 0 ? random.Int(1, span) : pick == 1 ? span : random.Int(span, 2 * span + 8);
  origin = random.Int(-extent / 2 - margin, size - (extent + 1) / 2 + margin);
  if (random.OneIn(6)) {
    origin += extent;
    extent = -extent;
  }
}

Boxes MakeBoxes(Random& random, const Source& source, int width, int height, bool within, bool stretch, int margin) {
  Boxes boxes;
  SourceSpan(random, source.width, within, boxes.sx, boxes.sw);
  SourceSpan(random, source.height, within, boxes.sy, boxes.sh);
  const bool same = !stretch || random.OneIn(4);
  DestinationSpan(random, width, boxes.sw, !same, margin, boxes.x, boxes.w);
  DestinationSpan(random, height, boxes.sh, !same, margin, boxes.y, boxes.h);
  return boxes;
}

// The operations with names often, half of them SRCCOPY; any of the 256 one
// time in four (GDI reads only the operation's number, bits 16 to 23).
DWORD RasterOperation(Random& random) {
  static const DWORD named[] = {SRCPAINT,  SRCAND,    SRCINVERT, SRCERASE,  NOTSRCCOPY, NOTSRCERASE, MERGECOPY,
                                MERGEPAINT, PATCOPY,  PATPAINT,  PATINVERT, DSTINVERT,  BLACKNESS,   WHITENESS};
  if (random.OneIn(4)) return static_cast<DWORD>(random.Int(0, 255)) << 16;
  if (random.OneIn(2)) return SRCCOPY;
  return named[random.Int(0, static_cast<int>(std::size(named)) - 1)];
}

// What a stretch draws with besides its source, set on the destination
// while it lives: a solid or hatched brush, text and background colours
// (which colour monochrome sources), a stretch mode and now and then a clip
// box (not for HALFTONE, so that each of its cases has pixels to compare).
class Destination {
 public:
  Destination(HDC dc, Random& random, int width, int height, int mode) : dc_(dc) {
    const COLORREF brushColour = Colour(random);
    brush_ = random.OneIn(4) ? CreateHatchBrush(random.Int(HS_HORIZONTAL, HS_DIAGCROSS), brushColour)
                             : CreateSolidBrush(brushColour);
    oldBrush_ = SelectObject(dc, brush_);
    const COLORREF text = Colour(random);
    SetTextColor(dc, text);
    const COLORREF background = Colour(random);
    SetBkColor(dc, background);
    if (mode == 0) {
      static const int modes[] = {COLORONCOLOR, BLACKONWHITE, WHITEONBLACK};
      mode = modes[random.Int(0, 2)];
    }
    SetStretchBltMode(dc, mode);
    if (mode == HALFTONE) SetBrushOrgEx(dc, 0, 0, nullptr);
    if (mode != HALFTONE && random.OneIn(5)) {
      const int left = random.Int(-2, width / 2), top = random.Int(-2, height / 2);
      const int right = random.Int(width / 2, width + 2), bottom = random.Int(height / 2, height + 2);
      IntersectClipRect(dc, left, top, right, bottom);
    }
  }
  ~Destination() {
    SelectClipRgn(dc_, nullptr);
    SelectObject(dc_, oldBrush_);
    DeleteObject(brush_);
  }
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;

 private:
  HDC dc_;
  HBRUSH brush_;
  HGDIOBJ oldBrush_;
};

constexpr int kWidth = 48;
constexpr int kHeight = 40;

int StretchBlts(HDC dc, Random& random) {
  const Source source = MakeSource(random, 0, 64);
  const Boxes b = MakeBoxes(random, source, kWidth, kHeight, false, true, 2);
  const DWORD rop = RasterOperation(random);
  Destination destination(dc, random, kWidth, kHeight, 0);
  SourceDc from(source);
  return StretchBlt(dc, b.x, b.y, b.w, b.h, from.dc, b.sx, b.sy, b.sw, b.sh, rop);
}

// Source boxes count their rows from the bottom for bottom-up sources.
int StretchDibs(HDC dc, Random& random) {
  const Source source = MakeSource(random, 0, 64);
  const Boxes b = MakeBoxes(random, source, kWidth, kHeight, false, true, 2);
  const DWORD rop = RasterOperation(random);
  Destination destination(dc, random, kWidth, kHeight, 0);
  return StretchDIBits(dc, b.x, b.y, b.w, b.h, b.sx, b.sy, b.sw, b.sh, source.bits.data(), source.bitmapInfo(),
                       DIB_RGB_COLORS, rop);
}

// Two cases in five constant alpha (the edges and the middle of its range
// often) from a source of any depth of 8 bits or more, two per-pixel alpha
// from a premultiplied 32-bit source (under a constant alpha now and then),
// stretched or not; one a call that may be refused: a negative size, a
// source box past the source, per-pixel alpha from fewer than 32 bits, an
// operation other than AC_SRC_OVER.
int AlphaBlends(HDC dc, Random& random) {
  static const int constants[] = {0, 1, 127, 128, 254, 255};
  static const int depths[] = {8, 16, 24, 32, 32};
  const int kind = random.Int(0, 4);
  const int refusal = kind == 4 ? random.Int(0, 4) : -1;
  const bool perPixel = kind == 2 || kind == 3 || refusal == 3;
  const int depth = refusal == 3 ? depths[random.Int(0, 2)] : perPixel ? 32 : depths[random.Int(0, 4)];
  Source source = MakeSource(random, depth, 40);
  if (perPixel && depth == 32) Premultiply(random, source);
  Boxes b = MakeBoxes(random, source, kWidth, kHeight, true, random.OneIn(2), 2);
  // Mirroring is refused by itself, so valid calls keep their sizes positive.
  if (b.sw < 0) b.sx += b.sw, b.sw = -b.sw;
  if (b.sh < 0) b.sy += b.sh, b.sh = -b.sh;
  if (b.w < 0) b.x += b.w, b.w = -b.w;
  if (b.h < 0) b.y += b.h, b.h = -b.h;
  switch (refusal) {
    case 0: (random.OneIn(2) ? b.w : b.h) *= -1; break;
    case 1: (random.OneIn(2) ? b.sw : b.sh) *= -1; break;
    case 2: {
      const int side = random.Int(0, 3);
      if (side == 0) b.sx = -random.Int(1, 3);
      if (side == 1) b.sy = -random.Int(1, 3);
      if (side == 2) b.sx = source.width - b.sw + random.Int(1, 3);
      if (side == 3) b.sy = source.height - b.sh + random.Int(1, 3);
      break;
    }
    default: break;
  }
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, static_cast<BYTE>(perPixel ? AC_SRC_ALPHA : 0)};
  if (!perPixel || random.OneIn(4)) {
    const bool listed = random.Int(0, 2) != 0;
    blend.SourceConstantAlpha = static_cast<BYTE>(listed ? constants[random.Int(0, 5)] : random.Int(0, 255));
  }
  if (refusal == 4) blend.BlendOp = static_cast<BYTE>(random.Int(1, 255));
  Destination destination(dc, random, kWidth, kHeight, 0);
  SourceDc from(source);
  return AlphaBlend(dc, b.x, b.y, b.w, b.h, from.dc, b.sx, b.sy, b.sw, b.sh, blend);
}

struct Call {
  const char* name;
  int (*draw)(HDC dc, Random& random);
  std::span<const Expected> expected;
};

void PrintTo(const Call& call, std::ostream* out) { *out << call.name; }

class GdiStretchTable : public ::testing::TestWithParam<Call> {};

TEST_P(GdiStretchTable, DrawsAndAnswersAsWindows) {
  const Call& call = GetParam();
  const bool record = Recording();
  if (record) {
    std::printf("constexpr Expected k%sCases[] = {\n", call.name);
  } else {
    ASSERT_EQ(call.expected.size(), static_cast<size_t>(kCases)) << "run scripts/record-gdi-stretch";
  }
  int mismatches = 0;
  for (int c = 0; c < kCases; ++c) {
    Expected actual = {};
    for (int f = 0; f < 3; ++f) {
      Canvas canvas(kWidth, kHeight, kFormats[f]);
      ASSERT_TRUE(canvas.usable());
      Background(canvas.dc, kWidth, kHeight);
      // Each case draws from its own seed, so cases can be added, removed
      // or run alone without moving the others.
      Random random(0x5791E7C400000000ull + static_cast<uint64_t>(c));
      const int result = call.draw(canvas.dc, random);
      if (f == 0) actual.result = result;
      // A call answers alike whatever the destination's format.
      EXPECT_EQ(result, actual.result) << "case " << c << " in " << pixels::Name(kFormats[f]);
      actual.hashes[f] = canvas.Hash();
      if (record) continue;
      const Expected& expected = call.expected[c];
      if ((result != expected.result || actual.hashes[f] != expected.hashes[f]) && ++mismatches <= 5) {
        const std::string name = std::string(call.name) + "-" + std::to_string(c) + "-" + pixels::Name(kFormats[f]);
        const std::string path = pixels::OutputPath(name, "actual");
        const bool written = pixels::WritePng(path, canvas.Picture());
        ADD_FAILURE() << "case " << c << " in " << pixels::Name(kFormats[f]) << ": returned " << result << " (expected "
                      << expected.result << "), hash 0x" << std::hex << actual.hashes[f] << " (expected 0x"
                      << expected.hashes[f] << ")" << (written ? "; picture in " : "; could not write ") << path;
      }
    }
    if (record)
      std::printf("    {%d, {0x%08X, 0x%08X, 0x%08X}},\n", actual.result, actual.hashes[0], actual.hashes[1],
                  actual.hashes[2]);
  }
  if (record) std::printf("};\n");
  EXPECT_EQ(mismatches, 0) << "cases drawn or answered otherwise than Windows does";
}

INSTANTIATE_TEST_SUITE_P(Stretch, GdiStretchTable,
                         ::testing::Values(Call{"StretchBlt", StretchBlts, kStretchBltCases},
                                           Call{"StretchDIBits", StretchDibs, kStretchDIBitsCases},
                                           Call{"AlphaBlend", AlphaBlends, kAlphaBlendCases}),
                         [](const ::testing::TestParamInfo<Call>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The stretch mode a DC starts with and keeps, and calls refused before they
// draw: every answer as Windows gives it. AlphaBlend is msimg32's, found at
// run time as a program finds it.

TEST(GdiStretch, ModesAndRefusedCallsAnswerAsWindows) {
  Canvas canvas(8, 8, D3DFMT_X8R8G8B8);
  ASSERT_TRUE(canvas.usable());
  HDC dc = canvas.dc;
  const Source source = [] {
    Random random(7);
    return MakeSource(random, 32, 4);
  }();
  SourceDc from(source);
  using AlphaBlendFn = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
  HMODULE msimg32 = LoadLibraryW(TEXT("msimg32.dll"));
  const auto alphaBlend = msimg32 != nullptr ? reinterpret_cast<AlphaBlendFn>(
                                                   reinterpret_cast<void (*)()>(GetProcAddress(msimg32, "AlphaBlend")))
                                             : nullptr;
  ASSERT_NE(alphaBlend, nullptr);
  const BLENDFUNCTION opaque = {AC_SRC_OVER, 0, 255, 0};
  const struct {
    const char* call;
    long long answer, expected;
  } answers[] = {
      {"GetStretchBltMode of a new DC", GetStretchBltMode(dc), BLACKONWHITE},
      {"SetStretchBltMode HALFTONE", SetStretchBltMode(dc, HALFTONE), BLACKONWHITE},
      {"SetStretchBltMode 0", SetStretchBltMode(dc, 0), 0},
      {"SetStretchBltMode 5", SetStretchBltMode(dc, 5), 0},
      {"GetStretchBltMode after them", GetStretchBltMode(dc), HALFTONE},
      {"SetStretchBltMode STRETCH_DELETESCANS", SetStretchBltMode(dc, STRETCH_DELETESCANS), HALFTONE},
      {"GetStretchBltMode COLORONCOLOR", GetStretchBltMode(dc), COLORONCOLOR},
      {"SetStretchBltMode of no DC", SetStretchBltMode(nullptr, COLORONCOLOR), 0},
      {"GetStretchBltMode of no DC", GetStretchBltMode(nullptr), 0},
      {"StretchBlt from no DC", StretchBlt(dc, 0, 0, 4, 4, nullptr, 0, 0, 2, 2, SRCCOPY), FALSE},
      {"StretchBlt onto no DC", StretchBlt(nullptr, 0, 0, 4, 4, from.dc, 0, 0, 2, 2, SRCCOPY), FALSE},
      {"StretchDIBits without bits",
       StretchDIBits(dc, 0, 0, 4, 4, 0, 0, 2, 2, nullptr, source.bitmapInfo(), DIB_RGB_COLORS, SRCCOPY), 0},
      {"StretchDIBits onto no DC",
       StretchDIBits(nullptr, 0, 0, 4, 4, 0, 0, 2, 2, source.bits.data(), source.bitmapInfo(), DIB_RGB_COLORS, SRCCOPY),
       0},
      {"AlphaBlend from no DC", alphaBlend(dc, 0, 0, 4, 4, nullptr, 0, 0, 2, 2, opaque), FALSE},
      {"AlphaBlend onto no DC", alphaBlend(nullptr, 0, 0, 4, 4, from.dc, 0, 0, 2, 2, opaque), FALSE},
      {"AlphaBlend within one DC, overlapping", alphaBlend(from.dc, 0, 0, 2, 2, from.dc, 1, 1, 2, 2, opaque), FALSE},
      {"AlphaBlend whole source", alphaBlend(dc, 0, 0, 8, 8, from.dc, 0, 0, source.width, source.height, opaque), TRUE},
  };
  for (const auto& a : answers) EXPECT_EQ(a.answer, a.expected) << a.call;
  if (msimg32 != nullptr) FreeLibrary(msimg32);
}

// ---------------------------------------------------------------------------
// HALFTONE: stretches of smooth pictures on a smaller canvas, SRCCOPY,
// compared picture by picture: a pixel differs when a channel is off by more
// than kChannelBound, and of the pixels either picture changed from the
// background at most kDifferingPercent (and at least one) may differ.

constexpr int kHalftoneCases = 40;
constexpr int kHalftoneWidth = 32;
constexpr int kHalftoneHeight = 24;
constexpr int kChannelBound = 24;
constexpr double kDifferingPercent = 5.0;

// The pixels that differ from the background as runs: "<pixels skipped>:
// <each pixel in six hex digits> ", rows from the top.
std::string Encode(const pixels::Picture& picture, const pixels::Picture& background) {
  std::string out;
  size_t skipped = 0;
  for (size_t i = 0; i < picture.rgb.size(); ++i) {
    if (picture.rgb[i] == background.rgb[i]) {
      ++skipped;
      continue;
    }
    if (i == 0 || picture.rgb[i - 1] == background.rgb[i - 1])
      out += (out.empty() ? "" : " ") + std::to_string(skipped) + ":";
    char hex[7];
    std::snprintf(hex, sizeof hex, "%06X", picture.rgb[i] & 0xFFFFFF);
    out += hex;
    skipped = 0;
  }
  return out;
}

pixels::Picture Decode(const char* text, pixels::Picture picture) {
  size_t at = 0;
  while (*text != 0) {
    char* end = nullptr;
    at += std::strtoul(text, &end, 10);
    if (*end != ':') break;
    for (text = end + 1; std::isxdigit(static_cast<unsigned char>(*text)); text += 6, ++at) {
      const uint32_t rgb = static_cast<uint32_t>(std::stoul(std::string(text, 6), nullptr, 16));
      if (at < picture.rgb.size()) picture.rgb[at] = rgb;
    }
    while (*text == ' ') ++text;
  }
  return picture;
}

// A long picture as string literals of up to 120 characters, one a line.
std::string Literal(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size() || i == 0; i += 120) out += "\n        \"" + text.substr(i, 120) + "\"";
  return out;
}

TEST(GdiStretch, HalftoneStretchesAsWindowsWithinTolerance) {
  const bool record = Recording();
  if (record) {
    std::printf("constexpr const char* kHalftonePictures[] = {\n");
  } else {
    ASSERT_EQ(std::size(kHalftonePictures), static_cast<size_t>(kHalftoneCases)) << "run scripts/record-gdi-stretch";
  }
  Canvas blank(kHalftoneWidth, kHalftoneHeight, D3DFMT_X8R8G8B8);
  ASSERT_TRUE(blank.usable());
  Background(blank.dc, kHalftoneWidth, kHalftoneHeight);
  const pixels::Picture background = blank.Picture();
  double worst = 0, sum = 0;
  int largest = 0, drawing = 0;
  for (int c = 0; c < kHalftoneCases; ++c) {
    Canvas canvas(kHalftoneWidth, kHalftoneHeight, D3DFMT_X8R8G8B8);
    ASSERT_TRUE(canvas.usable());
    Background(canvas.dc, kHalftoneWidth, kHalftoneHeight);
    Random random(0x4A1F700000000000ull + static_cast<uint64_t>(c));
    const Source source = SmoothSource(random, 24);
    const Boxes b = MakeBoxes(random, source, kHalftoneWidth, kHalftoneHeight, true, true, 0);
    {
      Destination destination(canvas.dc, random, kHalftoneWidth, kHalftoneHeight, HALFTONE);
      SourceDc from(source);
      EXPECT_TRUE(StretchBlt(canvas.dc, b.x, b.y, b.w, b.h, from.dc, b.sx, b.sy, b.sw, b.sh, SRCCOPY)) << "case " << c;
    }
    const pixels::Picture picture = canvas.Picture();
    if (record) {
      std::printf("    /* %d */%s,\n", c, Literal(Encode(picture, background)).c_str());
      continue;
    }
    const pixels::Picture wanted = Decode(kHalftonePictures[c], background);
    int covered = 0, differing = 0, most = 0;
    for (size_t i = 0; i < picture.rgb.size(); ++i) {
      if (picture.rgb[i] == background.rgb[i] && wanted.rgb[i] == background.rgb[i]) continue;
      const int difference = pixels::ChannelDifference(picture.rgb[i], wanted.rgb[i]);
      ++covered;
      differing += difference > kChannelBound;
      most = std::max(most, difference);
    }
    const double percent = covered == 0 ? 0 : 100.0 * differing / covered;
    std::printf("halftone case %2d: %3d of %3d pixels differ (%5.2f%%); largest channel difference %d\n", c, differing,
                covered, percent, most);
    worst = std::max(worst, percent);
    largest = std::max(largest, most);
    sum += percent;
    drawing += covered > 0;
    if (differing > std::max(1.0, covered * kDifferingPercent / 100)) {
      const std::string name = "halftone-" + std::to_string(c);
      const std::string actualPath = pixels::OutputPath(name, "actual"), expectedPath = pixels::OutputPath(name, "expected");
      const bool written = pixels::WritePng(actualPath, picture) && pixels::WritePng(expectedPath, wanted);
      ADD_FAILURE() << "case " << c << ": " << differing << " of " << covered << " pixels differ"
                    << (written ? "; pictures written to " : "; could not write ") << actualPath << " and "
                    << expectedPath;
    }
  }
  if (record) {
    std::printf("};\n");
  } else if (drawing > 0) {
    std::printf("Halftone stretch: %d cases, %d drawing; pixels differing: worst %.2f%%, mean %.2f%% of those; largest "
                "channel difference %d\n", kHalftoneCases, drawing, worst, sum / drawing, largest);
  }
}

}  // namespace

// Stretches and blends between 32-bit DIB sections: a 128 x 128 source
// stretched to 256 x 256 (COLORONCOLOR and HALFTONE) and AlphaBlend of 128 x
// 128 pixels with per-pixel alpha, in pixels written per second, beside
// memcpy of the bytes each writes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include "platform.h"

namespace {

// A top-down 32-bit section in its own memory DC, its pixels premultiplied
// with alpha ramps.
struct Section {
  explicit Section(int side) : side(side) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), side, -side, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    previous = SelectObject(dc, bitmap);
    if (bits == nullptr) return;
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int i = 0; i < side * side; ++i) {
      const uint32_t alpha = static_cast<uint32_t>(i * 7) & 0xFF, grey = alpha / 2;
      pixels[i] = alpha << 24 | grey << 16 | grey << 8 | grey;
    }
  }
  ~Section() {
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  int side;
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  void* bits = nullptr;
};

void BM_StretchBlt128To256(benchmark::State& state) {
  Section from(128), to(256);
  const int mode = state.range(0) == 0 ? COLORONCOLOR : HALFTONE;
  if (from.bits == nullptr || to.bits == nullptr) state.SkipWithError("no section");
  SetStretchBltMode(to.dc, mode);
  for (auto _ : state) {
    StretchBlt(to.dc, 0, 0, 256, 256, from.dc, 0, 0, 128, 128, SRCCOPY);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 256 * 256);
  state.SetLabel(mode == COLORONCOLOR ? "COLORONCOLOR" : "HALFTONE");
}
BENCHMARK(BM_StretchBlt128To256)->Arg(0)->Arg(1);

void BM_AlphaBlend128(benchmark::State& state) {
  Section from(128), to(128);
  if (from.bits == nullptr || to.bits == nullptr) state.SkipWithError("no section");
  const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  for (auto _ : state) {
    AlphaBlend(to.dc, 0, 0, 128, 128, from.dc, 0, 0, 128, 128, blend);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 128 * 128);
}
BENCHMARK(BM_AlphaBlend128);

// Baseline: memcpy of the bytes a call writes (side x side pixels), row by
// row, in pixels per second.
void BM_MemcpyPixels(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  Section from(side), to(side);
  auto* source = static_cast<const char*>(from.bits);
  auto* dest = static_cast<char*>(to.bits);
  if (source == nullptr || dest == nullptr) state.SkipWithError("no section");
  // A length the compiler cannot see, so that each row is the library's
  // memcpy, not an inlined string move.
  size_t row = static_cast<size_t>(side) * 4;
  benchmark::DoNotOptimize(row);
  for (auto _ : state) {
    for (int y = 0; y < side; ++y) std::memcpy(dest + y * row, source + y * row, row);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_MemcpyPixels)->Arg(128)->Arg(256);

}  // namespace

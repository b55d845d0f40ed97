// Unstretched copies between 32-bit DIB sections: BitBlt SRCCOPY and
// SRCINVERT of 128 x 128 pixels, beside memcpy of the bytes they move.
#include <benchmark/benchmark.h>

#include <cstring>

#include "platform.h"

namespace {

constexpr int Side = 128;

// A top-down 32-bit section of Side x Side pixels in its own memory DC.
struct Section {
  Section() {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), Side, -Side, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    previous = SelectObject(dc, bitmap);
    if (bits != nullptr) std::memset(bits, 0x5A, Side * Side * 4);
  }
  ~Section() {
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  void* bits = nullptr;
};

void BM_BitBlt128(benchmark::State& state) {
  Section from, to;
  const DWORD rop = state.range(0) == 0 ? SRCCOPY : SRCINVERT;
  if (from.bits == nullptr || to.bits == nullptr) state.SkipWithError("no section");
  for (auto _ : state) {
    BitBlt(to.dc, 0, 0, Side, Side, from.dc, 0, 0, rop);
    benchmark::ClobberMemory();
  }
  state.SetLabel(rop == SRCCOPY ? "SRCCOPY" : "SRCINVERT");
}
BENCHMARK(BM_BitBlt128)->Arg(0)->Arg(1);

// Baseline: the same 64 KB between the same two sections' pixels, copied
// by memcpy row by row as the blit goes.
void BM_MemcpyRows128(benchmark::State& state) {
  Section from, to;
  auto* source = static_cast<const char*>(from.bits);
  auto* dest = static_cast<char*>(to.bits);
  if (source == nullptr || dest == nullptr) state.SkipWithError("no section");
  // A length the compiler cannot see, so that each row is the library's
  // memcpy (as in the blit), not an inlined string move.
  size_t row = Side * 4;
  benchmark::DoNotOptimize(row);
  for (auto _ : state) {
    for (size_t y = 0; y < Side; ++y) std::memcpy(dest + y * row, source + y * row, row);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyRows128);

}  // namespace

// The drawing layer on a 640x480 32-bit surface: the frame's clearing fill
// and a face-sized polygon, each beside a memset of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "drawing/context.h"
#include "drawing/driver.h"
#include "runtime/runtime.h"

namespace {

constexpr int Width = 640;
constexpr int Height = 480;
constexpr int Pitch = Width * 4;
constexpr int Side = 180;

// A top-down 32-bit DIB section in a memory DC, with a session open on it.
struct BenchSurface {
  BenchSurface() : saved(MainHeap) {
    MainHeap = HeapCreate(0, 4096, 0);
    if (contextSlot == TLS_OUT_OF_INDEXES) DrawContextInit();
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = -Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    previous = SelectObject(dc, bitmap);
    DrawContext* context = ContextCreateGdi();
    if (context != nullptr) {
      context->targetWidth = Width;
      context->targetHeight = Height;
      context->targetDepth = 32;
      context->pixelFormat = PixelFormat8888;
      context->dc = dc;
    }
    open = DrawBegin(context) != nullptr;
  }
  ~BenchSurface() {
    DrawEnd();
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    MainHeapDestroy();
    MainHeap = saved;
  }
  HANDLE saved;
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  void* bits = nullptr;
  bool open = false;
};

// The frame's clear: the colour is already applied, so one Rectangle.
void BM_DrawFillRectFrame(benchmark::State& state) {
  BenchSurface surface;
  if (!surface.open) return state.SkipWithError("no session");
  DrawFillRect(0, 0, Width, Height, 0);
  for (auto _ : state) {
    DrawFillRect(0, 0, Width, Height, 0);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * Pitch * Height);
}
BENCHMARK(BM_DrawFillRectFrame);

// A new colour every time: a brush and a pen made, selected and deleted
// before the same Rectangle.
void BM_DrawFillRectFrameNewColour(benchmark::State& state) {
  BenchSurface surface;
  if (!surface.open) return state.SkipWithError("no session");
  Colour colour = 0;
  for (auto _ : state) {
    colour ^= 0x010101;
    DrawFillRect(0, 0, Width, Height, colour);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * Pitch * Height);
}
BENCHMARK(BM_DrawFillRectFrameNewColour);

// Baseline: the same bytes set by memset.
void BM_MemsetFrame(benchmark::State& state) {
  std::vector<unsigned char> frame(static_cast<size_t>(Pitch) * Height);
  for (auto _ : state) {
    std::memset(frame.data(), 0, frame.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * Pitch * Height);
}
BENCHMARK(BM_MemsetFrame);

// A face of the cube at its largest: a 180x180 square, brush and pen in one
// colour, as the face renderer draws it.
void BM_PolygonSquare180(benchmark::State& state) {
  BenchSurface surface;
  if (!surface.open) return state.SkipWithError("no session");
  HBRUSH brush = CreateSolidBrush(0x808080);
  HPEN pen = CreatePen(PS_SOLID, 0, 0x808080);
  HGDIOBJ oldBrush = SelectObject(surface.dc, brush);
  HGDIOBJ oldPen = SelectObject(surface.dc, pen);
  const POINT square[4] = {{230, 150}, {230 + Side, 150}, {230 + Side, 150 + Side}, {230, 150 + Side}};
  for (auto _ : state) {
    Polygon(surface.dc, square, 4);
    benchmark::ClobberMemory();
  }
  SelectObject(surface.dc, oldBrush);
  SelectObject(surface.dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
  state.SetBytesProcessed(state.iterations() * Side * Side * 4);
}
BENCHMARK(BM_PolygonSquare180);

// Baseline: memset of the square's rows in a frame of the same pitch.
void BM_MemsetSquare180(benchmark::State& state) {
  std::vector<unsigned char> frame(static_cast<size_t>(Pitch) * Height);
  for (auto _ : state) {
    for (int y = 150; y < 150 + Side; ++y) std::memset(frame.data() + y * Pitch + 230 * 4, 0x80, Side * 4);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * Side * Side * 4);
}
BENCHMARK(BM_MemsetSquare180);

}  // namespace

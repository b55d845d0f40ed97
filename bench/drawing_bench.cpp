// The drawing layer on a 640x480 32-bit surface: the frame's clearing fill,
// a face-sized polygon and the other shapes, each beside a memset of the
// bytes it touches.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "drawing/context.h"
#include "drawing/driver.h"
#include "runtime/facilities.h"
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
    session = context;
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
  DrawContext* session = nullptr;
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

// Pen and brush of one colour selected into the surface while it lives.
struct OneColour {
  OneColour(HDC dc, COLORREF colour)
      : dc(dc), brush(CreateSolidBrush(colour)), pen(CreatePen(PS_SOLID, 0, colour)),
        oldBrush(SelectObject(dc, brush)), oldPen(SelectObject(dc, pen)) {}
  ~OneColour() {
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
  }
  HDC dc;
  HBRUSH brush;
  HPEN pen;
  HGDIOBJ oldBrush;
  HGDIOBJ oldPen;
};

// A filled 400 x 300 ellipse, and a rounded rectangle 200 wide.
void BM_Ellipse400x300(benchmark::State& state) {
  BenchSurface surface;
  OneColour colour(surface.dc, 0x808080);
  for (auto _ : state) {
    Ellipse(surface.dc, 120, 90, 520, 390);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * 400 * 300 * 4);
}
BENCHMARK(BM_Ellipse400x300);

void BM_RoundRect200x150(benchmark::State& state) {
  BenchSurface surface;
  OneColour colour(surface.dc, 0x808080);
  for (auto _ : state) {
    RoundRect(surface.dc, 220, 165, 420, 315, 40, 30);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * 200 * 150 * 4);
}
BENCHMARK(BM_RoundRect200x150);

// Baseline: memset of the rows of a box of the given size.
void BM_MemsetBox(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::vector<unsigned char> frame(static_cast<size_t>(Pitch) * Height);
  for (auto _ : state) {
    for (int y = 0; y < h; ++y) std::memset(frame.data() + y * Pitch, 0x80, static_cast<size_t>(w) * 4);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * w * h * 4);
}
BENCHMARK(BM_MemsetBox)->Args({400, 300})->Args({200, 150})->Args({300, 16});

// 1,000 one-pixel lines between fixed pseudo-random points on the surface;
// items are pixels drawn.
void BM_Lines1000(benchmark::State& state) {
  BenchSurface surface;
  OneColour colour(surface.dc, 0x808080);
  std::vector<POINT> ends(1001);
  uint32_t seed = 12345;
  long pixels = 0;
  for (POINT& p : ends) {
    seed = seed * 1664525u + 1013904223u;
    p.x = static_cast<LONG>((seed >> 8) % Width);
    seed = seed * 1664525u + 1013904223u;
    p.y = static_cast<LONG>((seed >> 8) % Height);
  }
  for (size_t i = 1; i < ends.size(); ++i)
    pixels += std::max(std::labs(ends[i].x - ends[i - 1].x), std::labs(ends[i].y - ends[i - 1].y));
  for (auto _ : state) {
    MoveToEx(surface.dc, ends[0].x, ends[0].y, nullptr);
    for (size_t i = 1; i < ends.size(); ++i) LineTo(surface.dc, ends[i].x, ends[i].y);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * pixels);
}
BENCHMARK(BM_Lines1000);

// A flood fill of the whole surface (it alternates between two colours, so
// each fill finds the whole surface in the colour at its point).
void BM_FloodFillSurface(benchmark::State& state) {
  BenchSurface surface;
  HBRUSH brushes[2] = {CreateSolidBrush(0x000000), CreateSolidBrush(0xFFFFFF)};
  HGDIOBJ old = SelectObject(surface.dc, brushes[0]);
  PatBlt(surface.dc, 0, 0, Width, Height, PATCOPY);
  int next = 1;
  for (auto _ : state) {
    SelectObject(surface.dc, brushes[next]);
    ExtFloodFill(surface.dc, 320, 240, next != 0 ? 0x000000 : 0xFFFFFF, FLOODFILLSURFACE);
    next ^= 1;
    benchmark::ClobberMemory();
  }
  SelectObject(surface.dc, old);
  DeleteObject(brushes[0]);
  DeleteObject(brushes[1]);
  state.SetBytesProcessed(state.iterations() * Pitch * Height);
}
BENCHMARK(BM_FloodFillSurface);

// Text: a 40-character line through the driver's slots in the system
// font, in 16-pixel Tahoma (grey levels) and in that Tahoma turned 30
// degrees, and the measure of the same line; glyphs are made on the first
// round and reused after. The baseline is memset of the line's box.
constexpr WCHAR kLine[] = TEXT("The quick brown fox jumps over lazy dogs");
static_assert(sizeof kLine / sizeof kLine[0] == 41, "40 characters");

enum class LineFont { System, Tahoma };

struct TextSurface : BenchSurface {
  explicit TextSurface(LineFont which) {
    font = which == LineFont::Tahoma
               ? CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH, TEXT("Tahoma"))
               : nullptr;
    if (session != nullptr) session->slots.ApplyFont(session, font != nullptr ? font : DrawStockFont());
  }
  ~TextSurface() {
    if (session != nullptr) session->slots.ApplyFont(session, DrawStockFont());
    if (font != nullptr) DeleteObject(font);
  }
  HFONT font = nullptr;
};

void BM_TextLine(benchmark::State& state) {
  TextSurface surface(static_cast<LineFont>(state.range(0)));
  DrawContext* context = surface.session;
  if (!surface.open || context == nullptr) return state.SkipWithError("no session");
  for (auto _ : state) {
    benchmark::DoNotOptimize(context->slots.PaintText(context, 10, 100, kLine));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 40);
}
BENCHMARK(BM_TextLine)->Arg(static_cast<int>(LineFont::System))->Arg(static_cast<int>(LineFont::Tahoma));

void BM_TextLineTahomaAt30(benchmark::State& state) {
  TextSurface surface(LineFont::Tahoma);
  DrawContext* context = surface.session;
  if (!surface.open || context == nullptr) return state.SkipWithError("no session");
  for (auto _ : state) {
    benchmark::DoNotOptimize(context->slots.PaintTextAngled(context, 100, 300, kLine, 30.0f));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 40);
}
BENCHMARK(BM_TextLineTahomaAt30);

void BM_MeasureLine(benchmark::State& state) {
  TextSurface surface(static_cast<LineFont>(state.range(0)));
  DrawContext* context = surface.session;
  if (!surface.open || context == nullptr) return state.SkipWithError("no session");
  for (auto _ : state) benchmark::DoNotOptimize(context->slots.MeasureTextWidth(context, kLine));
  state.SetItemsProcessed(state.iterations() * 40);
}
BENCHMARK(BM_MeasureLine)->Arg(static_cast<int>(LineFont::System))->Arg(static_cast<int>(LineFont::Tahoma));

// A capture of the whole surface as an image: a section of the target's
// 32 bits (argument 0) or of 24 (argument 1, grabAs24), the frame copied
// into it, registered and released again. Baseline: memcpy of the frame
// (BM_MemcpyFrame640x480x4).
void BM_CaptureFrame(benchmark::State& state) {
  BenchSurface surface;
  if (!surface.open) return state.SkipWithError("no session");
  ImagesInit();
  surface.session->grabAs24 = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    auto* record = static_cast<ImageRecord*>(
        surface.session->slots.CaptureImage(surface.session, ObjectAny, 0, 0, Width, Height));
    if (record == nullptr) return state.SkipWithError("no capture");
    ImageRelease(reinterpret_cast<ObjectId>(record));
  }
  ImagesEnd();
  ImageTable = nullptr;  // it lived in the surface's heap
  state.SetBytesProcessed(state.iterations() * Pitch * Height);
  state.SetLabel(state.range(0) == 0 ? "32 bits" : "24 bits");
}
BENCHMARK(BM_CaptureFrame)->Arg(0)->Arg(1);

}  // namespace

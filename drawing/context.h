// Drawing sessions and the current drawing context.
//
// A target provider (the screen's back buffer) creates a context with
// ContextCreateGdi, fills its target fields and hands it to DrawBegin; the
// session's drawing goes through the context's driver slots, and DrawEnd
// gives the target back and frees the context.
#pragma once

#include <cstdint>

#include "platform.h"

// r + g * 256 + b * 65536, the layout of COLORREF; -1 means "no colour yet".
using Colour = int32_t;

struct DrawContext;

// The driver: 26 operations in a fixed order, each taking the context first.
struct DrawSlots {
  Colour (*ApplyBackColor)(DrawContext* context, Colour colour);
  BOOL (*PaintRect)(DrawContext* context, int32_t x, int32_t y, int32_t w, int32_t h);
  BOOL (*PaintRoundRect)(DrawContext* context, int32_t x, int32_t y, int32_t w, int32_t h, int32_t rx, int32_t ry);
  BOOL (*PaintCircle)(DrawContext* context, int32_t x, int32_t y, int32_t r);
  void (*ApplyFont)(DrawContext* context, HFONT font);  // DrawStockFont(): the system font
  void* (*MapPixels)(DrawContext* context);
  int32_t (*PixelPitch)(DrawContext* context);
  int32_t (*PixelFormatCode)(DrawContext* context);
  void (*ApplyMode)(DrawContext* context, int32_t flags);
  BOOL (*PaintImage)(DrawContext* context, HANDLE image, int32_t x, int32_t y);
  BOOL (*PaintImageScaled)(DrawContext* context, HANDLE image, int32_t x, int32_t y, int32_t w, int32_t h);
  BOOL (*PaintImageBlended)(DrawContext* context, HANDLE image, int32_t x, int32_t y, int32_t alpha);
  int32_t (*PaintText)(DrawContext* context, int32_t x, int32_t y, const WCHAR* text);
  BOOL (*PaintTextAngled)(DrawContext* context, int32_t x, int32_t y, const WCHAR* text, float angle);
  BOOL (*PaintEllipse)(DrawContext* context, int32_t x, int32_t y, int32_t rx, int32_t ry);
  BOOL (*PaintFloodFill)(DrawContext* context, int32_t x, int32_t y, Colour border);
  void (*ApplyColor)(DrawContext* context, Colour colour);
  void* (*CaptureImage)(DrawContext* context, int32_t number, int32_t x, int32_t y, int32_t w, int32_t h);
  BOOL (*PaintLine)(DrawContext* context, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  BOOL (*PaintPixel)(DrawContext* context, int32_t x, int32_t y);
  void (*PaintPixelColor)(DrawContext* context, int32_t x, int32_t y, Colour colour);
  Colour (*ReadPixel)(DrawContext* context, int32_t x, int32_t y);
  HDC (*OpenOutput)(DrawContext* context);
  void (*CloseOutput)(DrawContext* context);
  int32_t (*MeasureTextHeight)(DrawContext* context, const WCHAR* text);
  int32_t (*MeasureTextWidth)(DrawContext* context, const WCHAR* text);
};

// Kinds of target.
constexpr int32_t TargetLockableSurface = 7;  // pixels reached through the lock hooks
constexpr int32_t TargetDeviceIndependent = 5;

// Pixel layouts (the pixelFormat field) that PaintPixelColor writes
// directly; any other value, PixelFormatNone among them, draws through the
// device context.
constexpr int32_t PixelFormatNone = 0;
constexpr int32_t PixelFormat8 = 1;
constexpr int32_t PixelFormat555 = 2;  // 16-bit x1r5g5b5
constexpr int32_t PixelFormat565 = 4;  // 16-bit r5g6b5
constexpr int32_t PixelFormat8888 = 64;  // 32-bit x8r8g8b8

// dcState values.
constexpr int32_t DcHeld = 1;
constexpr int32_t DcGivenUpForPixels = -1;

struct DrawContext {
  DrawSlots slots;
  void (*releaseTarget)(DrawContext* context, int32_t flag);
  int32_t targetWidth;
  int32_t targetHeight;
  int32_t targetDepth;
  int32_t originX;
  int32_t originY;
  int32_t outputWidth;
  int32_t outputHeight;
  Colour color;
  Colour backColor;
  int32_t targetKind;
  void* pixels;
  int32_t pitch;
  int32_t pixelFormat;
  HDC (*acquireDc)(DrawContext* context);
  void* (*lockPixels)(DrawContext* context, int32_t* pitchOut);
  HDC dc;
  int32_t mode;
  int32_t dcState;
  HBRUSH brush;
  HPEN pen;
  HFONT font;
  HBRUSH baseBrush;
  HPEN basePen;
  HGDIOBJ savedBrush;
  HGDIOBJ savedPen;
  int32_t italicOverhang;
  HFONT angledFont;
  float angledFontAngle;
  int32_t grabAs24;
  HGDIOBJ savedFont;
};

// The current context of the process, and the thread-local slot that
// receives the same pointer (written, never read).
extern DrawContext* currentContext;
extern DWORD contextSlot;

// Start-up step: allocates contextSlot.
void DrawContextInit();
// A zero-filled context from MainHeap with the device-context driver in its
// slots, made current; null when the heap refuses.
DrawContext* ContextCreateGdi();
// A zero-filled context record of `size` bytes (at least sizeof(DrawContext))
// with empty slots, for providers that bring their own driver; made current.
DrawContext* ContextCreate(size_t size);
// Frees a context without calling any slot or hook; no context is current
// afterwards.
void ContextDiscard(DrawContext* context);
// Opens a session on a target; the device context to draw on, or 0.
HDC DrawBegin(DrawContext* target);
// Closes the current session: saved objects back, session objects deleted,
// target released, context freed.
void DrawEnd();

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
// Every slot that draws through the device context first takes it back
// from a pixel lock (RegainDc); "in color" means the context's colour.
struct DrawSlots {
  // Sets the device context's background colour; returns the previous one.
  // The context's backColor is the command level's to keep.
  Colour (*ApplyBackColor)(DrawContext* context, Colour colour);
  // Fills and outlines w x h at (x, y) in color (the outline alone in
  // outline mode, inverted in invert mode); nonzero when the platform drew it.
  BOOL (*PaintRect)(DrawContext* context, int32_t x, int32_t y, int32_t w, int32_t h);
  // A rectangle with corners of radius rx, ry (the platform's corner size
  // is twice that).
  BOOL (*PaintRoundRect)(DrawContext* context, int32_t x, int32_t y, int32_t w, int32_t h, int32_t rx, int32_t ry);
  // A circle of radius r round (x, y); r 0 and 1 are drawn as pixels, the
  // centre left out in outline mode.
  BOOL (*PaintCircle)(DrawContext* context, int32_t x, int32_t y, int32_t r);
  // Selects font (DrawStockFont(): the system font), measures its italic
  // overhang and drops the cached rotated font.
  void (*ApplyFont)(DrawContext* context, HFONT font);
  // Locks a lockable surface's pixels (giving up the device context) and
  // returns their address; null for any other target.
  void* (*MapPixels)(DrawContext* context);
  // Bytes per row of the locked pixels; 0 for any other target.
  int32_t (*PixelPitch)(DrawContext* context);
  // The pixel layout (PixelFormat*) of a lockable surface; PixelFormatNone
  // for any other target.
  int32_t (*PixelFormatCode)(DrawContext* context);
  // Sets the mode flags: transparent text, invert (R2_NOT), outline (hollow
  // brush); selects the objects they call for.
  void (*ApplyMode)(DrawContext* context, int32_t flags);
  // An image at its own size at (x, y).
  BOOL (*PaintImage)(DrawContext* context, HANDLE image, int32_t x, int32_t y);
  // An image stretched to w x h (its own size when either is 0); icons
  // drawn as icons, bitmaps inverted in invert mode.
  BOOL (*PaintImageScaled)(DrawContext* context, HANDLE image, int32_t x, int32_t y, int32_t w, int32_t h);
  // A bitmap blended at constant alpha 0-255, with its own per-pixel alpha
  // when it has one.
  BOOL (*PaintImageBlended)(DrawContext* context, HANDLE image, int32_t x, int32_t y, int32_t alpha);
  // Text with its top-left corner at (x, y); returns the x just after it.
  int32_t (*PaintText)(DrawContext* context, int32_t x, int32_t y, const WCHAR* text);
  // Text turned by angle degrees (counter-clockwise) through a cached rotated
  // copy of the font; 0 when that font cannot be made.
  BOOL (*PaintTextAngled)(DrawContext* context, int32_t x, int32_t y, const WCHAR* text, float angle);
  // An ellipse of radii rx, ry round (x, y); radii up to 1 are drawn as
  // pixels.
  BOOL (*PaintEllipse)(DrawContext* context, int32_t x, int32_t y, int32_t rx, int32_t ry);
  // Fills from (x, y) up to border, or (border -1) the area of the colour
  // found at (x, y); fills even in outline mode.
  BOOL (*PaintFloodFill)(DrawContext* context, int32_t x, int32_t y, Colour border);
  // Makes colour the colour of what follows: a new brush (unless outline
  // mode) and pen, selected, the old ones deleted; text colour too.
  void (*ApplyColor)(DrawContext* context, Colour colour);
  // Copies w x h at (x, y) into a new image registered under number (-1: a
  // new dynamic number); null for a device-independent target or failure.
  void* (*CaptureImage)(DrawContext* context, int32_t number, int32_t x, int32_t y, int32_t w, int32_t h);
  // A line in color with both end points drawn.
  BOOL (*PaintLine)(DrawContext* context, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // One pixel in color.
  BOOL (*PaintPixel)(DrawContext* context, int32_t x, int32_t y);
  // One pixel in colour: stored straight into the locked pixels of a
  // lockable surface of a known layout, else through the device context.
  void (*PaintPixelColor)(DrawContext* context, int32_t x, int32_t y, Colour colour);
  // The colour of the pixel at (x, y).
  Colour (*ReadPixel)(DrawContext* context, int32_t x, int32_t y);
  // Opens a session: makes the session's own brush and pen, keeps what the
  // device context held; returns the device context.
  HDC (*OpenOutput)(DrawContext* context);
  // Closes it: the kept objects back, the session's own deleted.
  void (*CloseOutput)(DrawContext* context);
  // Height of text in the current font; 0 for empty text.
  int32_t (*MeasureTextHeight)(DrawContext* context, const WCHAR* text);
  // Width of text in the current font with its italic overhang; 0 for
  // empty text.
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

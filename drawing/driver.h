// The device-context driver: the 26 slots over a GDI device context, and the
// command-level operations built on them.
#pragma once

#include "drawing/context.h"

// The driver's slots, in slot order; ContextCreateGdi copies them.
extern const DrawSlots GdiDriver;

// Mode flags.
constexpr int32_t ModeTransparentText = 1;
constexpr int32_t ModeInvert = 2;
constexpr int32_t ModeOutline = 4;

// The font handle that ApplyFont reads as "the stock system font".
inline HFONT DrawStockFont() { return reinterpret_cast<HFONT>(static_cast<INT_PTR>(-1)); }

// After pixels were locked, takes the device context back from the target
// and selects the session's state into it again.
void RegainDc(DrawContext* context);

// The value PaintPixelColor stores for a colour in a pixel layout.
uint32_t PixelValue(int32_t formatCode, Colour colour);

// Filled rectangle in `colour` on the current context; PaintRect's result.
BOOL DrawFillRect(int32_t x, int32_t y, int32_t w, int32_t h, Colour colour);
// r + g * 256 + b * 65536, not masked.
Colour ColorFromRgb(int32_t r, int32_t g, int32_t b);

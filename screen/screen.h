// The screen: a Direct3D 9 device whose back buffer is shown in a child
// window of a program window, presented once per retrace, and handed to the
// drawing layer as a target.
#pragma once

#include <cstdint>

#include "platform.h"
#include "runtime/object.h"

struct DrawContext;

// The one process-wide screen record; zero at process start.
struct ScreenState {
  IDirect3D9* d3d;
  ObjectTable* spriteTable;  // nonzero once the facility is initialised
  HWND baseWindow;
  int32_t baseWindowReady;
  HWND parentWindow;  // kept after the screen is closed
  HWND childWindow;   // 0 while no screen is open
  int32_t screenX;
  int32_t screenY;
  int32_t rightOffset;
  int32_t bottomOffset;
  int32_t autoStretch;
  int32_t screenWidth;
  int32_t screenHeight;
  int32_t screenDepth;
  int32_t pixelFormatCode;  // the drawing layer's PixelFormat* of the back buffer
  int32_t windowed;
  int32_t screenOpen;
  int32_t deviceActive;  // presenting is allowed
  IDirect3DDevice9* device;
  IDirect3DSurface9* backBuffer;
  D3DPRESENT_PARAMETERS presentParams;
  WNDPROC oldChildProc;
  WNDPROC oldParentProc;
};
extern ScreenState Screen;

// A sprite: device objects and memory of its own. Nothing in this system
// makes one; the table exists and is emptied when a screen goes.
struct SpriteRecord {
  IUnknown* texture;  // nonzero while the sprite exists
  void* pixels;       // MainHeap block, or null
  int32_t reserved[40];
};

// Bits per pixel of a back buffer format (0 for an unknown one), and the
// drawing layer's pixel layout of a format (PixelFormatNone when it has none).
int32_t ScreenFormatDepth(D3DFORMAT format);
int32_t ScreenFormatCode(D3DFORMAT format);

// Initialisation: the sprite table, or 0 when no screen can be opened.
ObjectTable* ScreenSystemInit();
LRESULT CALLBACK BaseWindowProc(HWND window, UINT message, WPARAM first, LPARAM second);
int32_t SpriteRelease(ObjectId id);
// End steps: closes an open screen; then, after a successful
// ScreenSystemInit, releases the Direct3D interface and the sprite table so
// that a later start begins anew.
void ScreenClose();
void ScreenSystemEnd();
void ScreenLibraryEnd();

// A windowed screen of width x height at (x, y) in parent's client area; 1 on
// success. autoStretch makes the child follow the parent's size, leaving
// rightOffset and bottomOffset free.
int32_t ScreenOpenInWindow(HWND parent, int32_t x, int32_t y, int32_t width, int32_t height, int32_t autoStretch,
                           int32_t rightOffset, int32_t bottomOffset);
int32_t ScreenOpenInWindowEx(HWND parent, int32_t x, int32_t y, int32_t width, int32_t height, int32_t autoStretch,
                             int32_t rightOffset, int32_t bottomOffset, int32_t waitVsync);
void ScreenFitChild();
LRESULT CALLBACK ChildWindowProc(HWND window, UINT message, WPARAM first, LPARAM second);
LRESULT CALLBACK ParentWindowProc(HWND window, UINT message, WPARAM first, LPARAM second);

// Presents the back buffer; 0 when the device cannot be brought back.
int32_t ScreenFlip();

// The back buffer as the current drawing context, or null.
DrawContext* ScreenDrawTarget();
void ScreenReleaseTarget(DrawContext* context, int32_t flag);
HDC ScreenAcquireDc(DrawContext* context);
void* ScreenLockPixels(DrawContext* context, int32_t* pitchOut);

// Facilities that the program starts and stops but never uses: images, image
// drawing, user-interface controls, keyboard and mouse devices. They hold
// only what their start-up steps acquire.
#pragma once

#include "platform.h"
#include "runtime/object.h"

// Images: bitmaps or icons in a table of numbered and dynamic objects.
struct ImageRecord {
  HANDLE handle;  // HBITMAP or HICON; nonzero while the image exists
  int32_t width;
  int32_t height;
  int32_t depth;
  int32_t flags;
};
extern ObjectTable* ImageTable;
int32_t ImageRelease(ObjectId id);
void ImagesInit();
void ImagesEnd();

// Image drawing: AlphaBlend from msimg32 when present, and whether visual
// themes are active.
using AlphaBlendFn = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, DWORD);
struct ImageDrawingState {
  HMODULE msimg32;
  AlphaBlendFn alphaBlend;
  int32_t themed;
};
extern ImageDrawingState ImageDrawing;
void ImageDrawingInit();
void ImageDrawingEnd();

// User-interface controls.
struct ControlRecord {
  HWND window;  // nonzero while the control exists
  HWND parent;
  int32_t kind;
  int32_t style;
  int32_t flags;
  HFONT font;
  HGDIOBJ brush;
  void* data;
};
struct ControlsState {
  HWND toolTip;  // a window the facility keeps; destroyed by ControlsEnd
  HFONT font;
  COLORREF textColour;
  COLORREF backColour;
  int32_t reserved[16];
};
extern ObjectTable* ControlTable;
extern ControlsState* Controls;
extern CRITICAL_SECTION ControlsLock;
extern HGDIOBJ DefaultControlFont;
int32_t ControlRelease(ObjectId id);
void ControlsInit();
void ControlsEnd();

// Keyboard and mouse devices share one input library object. Nothing in this
// system opens a device, so their end steps find nothing to release.
struct InputDeviceOps {
  void (*unacquire)(void* device);
  void (*release)(void* device);
};
struct InputDevice {
  void* device;
  const InputDeviceOps* ops;
};
struct SharedInput {
  int32_t users;
  void* object;
  void (*release)(void* object);
  HMODULE library;
};
extern InputDevice Keyboard;
extern InputDevice Mouse;
extern SharedInput DirectInputShared;
void SharedInputRelease();
void KeyboardEnd();
void MouseEnd();

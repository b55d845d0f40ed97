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
// The description of an uncompressed device-independent bitmap of width x
// height at depth bits; a negative height puts the top row first.
BITMAPINFO DibInfo(int32_t width, int32_t height, WORD depth);
// An image file in memory, decoded by the registered decoders into a new
// 32-bit section registered under number (ObjectAny: a new dynamic
// number): the record for ObjectAny, the bitmap otherwise, as captures
// are; null, with nothing made, when no decoder takes the file or the
// section or record cannot be made.
void* ImageLoad(ObjectId number, const void* data, int32_t size);
// The same from a file on disk; null, with nothing made, also when the file
// cannot be opened or read whole, or is larger than an image file can be
// (2 GB).
void* ImageLoadFile(ObjectId number, const WCHAR* path);
void ImagesInit();
void ImagesEnd();

// Image drawing: AlphaBlend from msimg32 when present, and whether visual
// themes are active.
// The blend function is passed as the structure it is: a 32-bit word is
// the same on x86, but not where structures go by address (WebAssembly).
using AlphaBlendFn = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
struct ImageDrawingState {
  HMODULE msimg32;
  AlphaBlendFn alphaBlend;
  int32_t themed;
};
extern ImageDrawingState ImageDrawing;
void ImageDrawingInit();
void ImageDrawingEnd();

// User-interface controls.
struct ControlRecord;
// What a kind of control does; handler, when set, answers messages that the
// control's parent receives for it (or ProcDefault).
struct ControlClassOps {
  LRESULT (*handler)(ControlRecord* control, HWND parent, UINT message, WPARAM first, LPARAM second);
};
struct ControlRecord {
  HWND window;  // nonzero while the control exists
  HWND parent;
  const ControlClassOps* ops;
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
  HWND currentParent;  // the window new controls go into
  int32_t reserved[15];
};
extern ObjectTable* ControlTable;
extern ControlsState* Controls;
extern CRITICAL_SECTION ControlsLock;
extern HGDIOBJ DefaultControlFont;
int32_t ControlRelease(ObjectId id);
// Makes window the one that controls created from now on go into.
void ControlParentSet(HWND window);
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

// The display backend: where user32's top-level windows appear and where the
// user's input comes from. One backend is chosen at start by the environment
// variable CUBE_DISPLAY: "sdl" (the default; sdl/) or "headless" (headless/,
// the one tests use).
#pragma once

#include "platform.h"

namespace display {

// What the user did, as the backend reports it. user32 turns each one into
// the messages Windows would send.
struct InputEvent {
  enum Kind {
    Key,           // key pressed or released: key, down
    MouseButton,   // left button pressed or released at (x, y) on the screen: down
    MouseMove,     // pointer moved to (x, y)
    AppActivate,   // the program's windows gained (down) or lost the foreground
    SysCommand,    // the shell asks window for a WM_SYSCOMMAND (command), e.g. restore from the taskbar
  };
  Kind kind;
  HWND window;
  BYTE key;
  bool down;
  int x;
  int y;
  WPARAM command;
};

struct Backend {
  const char* name;
  // Starts the backend; false when it cannot run here (then the next one
  // in the list is tried).
  bool (*init)();
  // A top-level window became visible or hidden.
  void (*shown)(HWND window, bool visible);
  // A top-level window's outer corner moved to (x, y) on the screen.
  void (*moved)(HWND window, int x, int y);
  // A top-level window's outer size changed; client is its client size.
  void (*sized)(HWND window, int width, int height, int clientWidth, int clientHeight);
  // A top-level window is gone; the backend forgets it.
  void (*destroyed)(HWND window);
  // Shows a picture of width x height 32-bit pixels (0x00RRGGBB, pitch
  // bytes a row) in a window's client area: the picture's top-left corner
  // goes to the top-left corner of the rectangles' bounds and only the
  // rectangles are updated; no rectangles means at (0, 0), all of it.
  void (*present)(HWND window, const void* pixels, int width, int height, int pitch, const RECT* rects, int count);
  // Blocks until the next vertical retrace.
  void (*waitRetrace)();
  // Hands every waiting input event to Deliver; never blocks.
  void (*pump)();
  // Size of the primary screen in pixels.
  void (*screenSize)(int* width, int* height);
  // Stops the backend; no other entry is called afterwards.
  void (*quit)();
};

// The chosen backend, started on first use; null when none could start.
const Backend* Current();

// user32's side: the input event becomes queued or sent messages.
void Deliver(const InputEvent& event);

// Hands every event injected through hosted::InjectInput to Deliver; each
// backend's pump calls it.
void PumpInjected();

}  // namespace display

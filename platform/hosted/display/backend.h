// The display backend: where user32's top-level windows appear and where the
// user's input comes from. One backend is chosen at start by the environment
// variable CUBE_DISPLAY: the lane's own screen (the default: "sdl", sdl/, on
// Linux; "canvas", web/, in a web page) or "headless" (headless/,
// the one tests use).
#pragma once

#include "platform.h"

namespace display {

// What the user did, as the backend reports it. user32 turns each one into
// the messages Windows would send.
struct InputEvent {
  enum Kind {
    Key,           // a key message: key pressed or released (down); repeat: it was down already; alt: Alt is held
    KeyState,      // the key's hardware state (GetAsyncKeyState) became down or up, without any message
    MouseButton,   // left button pressed or released (down) at (x, y) on the screen
    MouseMove,     // pointer moved to (x, y)
    CaptionClick,  // a left click on window's caption button hit (HTCLOSE, HTMINBUTTON or HTMAXBUTTON)
    AppActivate,   // the program's windows gained (down) or lost the foreground
    SysCommand,    // the shell asks window for a WM_SYSCOMMAND (command), e.g. restore from the taskbar
  };
  Kind kind;
  HWND window = nullptr;
  BYTE key = 0;
  bool down = false;
  bool repeat = false;
  bool alt = false;
  int x = 0;
  int y = 0;
  int hit = 0;
  WPARAM command = 0;
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

// The chosen backend, started on first use; the headless one when the
// chosen one cannot start.
const Backend* Current();
// The lane's own screen (SDL on Linux, a canvas in a web page) and the
// headless display; neither started.
const Backend* Native();
const Backend* Headless();

// user32's side: the input event becomes queued or sent messages. A key's
// state changes at once, from any thread; a caption click's mouse input
// waits for the next pump, and false says the window has no such button.
// Every other kind comes from the pump of the thread that owns the windows.
bool Deliver(const InputEvent& event);

// Holds an event for the next pump: input that arises outside one (the
// headless display's scripted user, tests' simulated user).
void Inject(const InputEvent& event);

// Hands every injected event to Deliver; each backend's pump calls it.
// A close request is delivered first.
void PumpInjected();

// The user closes a top-level window: a click on its close button, or its
// system menu's Close where it has no button. From the owning thread's pump.
void AskToClose(HWND window);

// Asks for the program's window to be closed, as the user would close it:
// the next pump of a thread with a visible top-level window closes the
// first one (AskToClose); until then the request waits. Safe in a signal
// handler.
void RequestClose();

}  // namespace display

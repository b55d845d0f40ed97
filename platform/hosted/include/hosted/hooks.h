// Test hooks of the hosted substitute: fault injection and counters that
// Windows does not have. Only hosted-only tests include this header.
#pragma once

#include "platform.h"

namespace hosted {

// Heap fault injection: the nth heap allocation from now (HeapAlloc or
// HeapReAlloc, any heap, 1 = the next one) fails as on Windows (null, no
// change). 0 turns injection off. Every later allocation succeeds again.
void FailNthAllocation(unsigned n);
// Heap allocations attempted (HeapAlloc and HeapReAlloc calls) since start.
unsigned long long HeapAllocationCalls();
// Blocks currently allocated in a heap (0 for an unknown heap), and heaps
// that exist now (created and not destroyed, the process heap excluded).
size_t HeapLiveBlocks(HANDLE heap);
size_t HeapLiveHeaps();

// Built-in modules: a module marked missing cannot be loaded (LoadLibrary
// gives null with ERROR_MOD_NOT_FOUND), as if its DLL were not installed.
void SetModuleMissing(const char* name, bool missing);
// Loaded reference count of a built-in module (0 when not loaded).
int ModuleLoadCount(const char* name);

// What GetVersionExW reports (no service pack); fail makes every call fail
// as a wrong record size does (FALSE, ERROR_INSUFFICIENT_BUFFER).
void SetVersion(DWORD major, DWORD minor, DWORD build, DWORD platformId, bool fail = false);
// Back to the default: what Wine 8 reports in a fresh prefix (6.1.7601,
// NT platform, Service Pack 1).
void ResetVersion();

}  // namespace hosted

namespace display {
struct InputEvent;
}

namespace hosted {

// User input, injected into the display backend as if the user had acted.
// It reaches the program when the owning thread next looks at its queue,
// as the messages Windows would send.
void InjectInput(const display::InputEvent& event);
// A key press (down) or release of a virtual key.
void InjectKey(BYTE virtualKey, bool down);
// The left mouse button pressed or released at a screen position.
void InjectMouseButton(int x, int y, bool down);
// A left click (press and release) on a caption button of a top-level
// window: HTCLOSE, HTMINBUTTON or HTMAXBUTTON. False when the window has no
// such button.
bool InjectCaptionClick(HWND window, int hitTest);
// The shell restores a window, as a click on its taskbar entry does.
void InjectRestore(HWND window);
// Another program takes the foreground (false), or the user returns to
// this one (true).
void InjectAppActivation(bool active);

// What the headless display was last told about a top-level window; known
// is false for a window it never heard of or that was destroyed.
struct DisplayWindow {
  bool known = false;
  bool visible = false;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int clientWidth = 0;
  int clientHeight = 0;
  unsigned presents = 0;
};
DisplayWindow DisplayState(HWND window);
// Name of the chosen display backend.
const char* DisplayName();

}  // namespace hosted

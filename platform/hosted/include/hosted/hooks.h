// Test hooks of the hosted substitute: fault injection and counters that
// Windows does not have. Only hosted-only tests include this header; the
// substitute's own parts configure one another through config.h.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

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

// The one clock of the substitute, in microseconds: now stands for the
// monotonic clock, sleepUntil returns once the given time has come. Both
// GetTickCount (now / 1000, wrapping at 32 bits) and Sleep(ms) (sleeping
// until now + ms; not 0 or INFINITE) use it, and so do Direct3D's present
// wait and the displays' retrace. Null functions go back to the real clock.
// Set it while no other thread is waiting on it.
void SetClock(uint64_t (*now)(), void (*sleepUntil)(uint64_t micros));

}  // namespace hosted

namespace hosted {

// User input, injected into the display backend as if the user had acted.
// It reaches the program when the owning thread next looks at its queue,
// as the messages Windows would send.
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

namespace hosted {

// GDI objects created and not yet deleted, by GetObjectType type (OBJ_PEN,
// OBJ_BRUSH, OBJ_DC, OBJ_MEMDC, OBJ_BITMAP...); stock objects never count.
// An object deleted while selected counts until the DC lets it go.
unsigned GdiLiveObjects(DWORD type);
// All types together.
unsigned GdiLiveObjects();
// GDI fault injection: the nth object made from now (pen, brush, font,
// bitmap, section or DC; 1 = the next one) fails as when the process is out
// of GDI handles: the call answers null. 0 turns injection off; every later
// object is made again. Stock objects are made on first use and could take
// the failure, so use GDI once before.
void FailNthGdiObject(unsigned n);

}  // namespace hosted

namespace hosted {

// Direct3D 9: the adapter's desktop format (D3DFMT_X8R8G8B8 by default;
// D3DFMT_R5G6B5 and D3DFMT_X1R5G5B5 are the others a desktop can have; any
// other 32-bit channel layout gives an X8R8G8B8 desktop).
void SetD3D9DesktopFormat(D3DFORMAT format);
// The adapter reports no display modes in any format.
void SetD3D9ZeroModes(bool zero);
// Display modes are reported in this format only, as on an adapter that
// offers no others (D3DFMT_UNKNOWN: in all three display formats).
void SetD3D9ModeFormat(D3DFORMAT only);
// Each makes every later call of its kind fail until turned off:
// CreateDevice (D3DERR_NOTAVAILABLE), Reset (D3DERR_INVALIDCALL, the device
// then waits for a reset), Present (D3DERR_DEVICELOST), GetDC
// (D3DERR_INVALIDCALL).
void FailD3D9CreateDevice(bool fail);
void FailD3D9Reset(bool fail);
void FailD3D9Present(bool fail);
void FailD3D9GetDC(bool fail);
// The next TestCooperativeLevel calls answer these, in order; afterwards the
// device's own state answers again.
void ScriptD3D9CooperativeLevel(std::initializer_list<HRESULT> answers);
void ScriptD3D9CooperativeLevel(const std::vector<HRESULT>& answers);
// Every Direct3D 9 hook back to its default.
void ResetD3D9();
// Direct3D objects alive now (interfaces, devices and surfaces).
int D3D9LiveObjects();

// What the last present showed: the window it went to, the destination
// rectangle in that window's client area and the 32-bit picture (width x
// height of that rectangle, top row first); count is every present so far.
struct D3D9Present {
  HWND window = nullptr;
  RECT source{};
  RECT destination{};
  std::vector<uint32_t> pixels;
  unsigned count = 0;
};
D3D9Present D3D9LastPresent();
// Whether the last present's picture is kept for D3D9LastPresent (every
// hosted test program turns this on at start). Off, its pixels stay empty
// and a 32-bit back buffer shown at its size reaches the display uncopied.
void KeepD3D9Pictures(bool keep);

// Calls made on every device and surface since the last ResetD3D9, counted
// whatever they answered.
struct D3D9CallCounts {
  unsigned testCooperativeLevel = 0;
  unsigned reset = 0;
  unsigned present = 0;
  unsigned getBackBuffer = 0;
  unsigned clear = 0;
  unsigned getDC = 0;
  unsigned releaseDC = 0;
  unsigned lockRect = 0;
  unsigned unlockRect = 0;
};
D3D9CallCounts D3D9Calls();

}  // namespace hosted

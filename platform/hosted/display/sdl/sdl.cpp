// The SDL2 display: each shown top-level window is an SDL window of its
// client size at its client position, showing what was presented through an
// SDL renderer; SDL's events come back as the input Windows would report.
// SDL2 itself is loaded when this display starts (loader.h).
#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

#include "display/backend.h"
#include "display/retrace.h"
#include "display/sdl/loader.h"
#include "display/sdl/x11_keys.h"
#include "kernel/clock.h"

namespace display {
namespace {

// Every SDL2 function the display calls.
#define CUBE_SDL_FUNCTIONS(X)                                                                                    \
  X(CreateRenderer) X(CreateTexture) X(CreateWindow) X(DestroyRenderer) X(DestroyTexture) X(DestroyWindow)       \
  X(GetCurrentDisplayMode) X(GetCurrentVideoDriver) X(GetNumVideoDisplays) X(GetRendererInfo) X(GetWindowID)     \
  X(GetWindowSize) X(HideWindow) X(Init) X(MinimizeWindow) X(PollEvent) X(Quit) X(RenderClear) X(RenderCopy)     \
  X(RenderPresent) X(RestoreWindow) X(SetHint) X(SetRenderDrawColor) X(SetTextureBlendMode) X(SetWindowPosition) \
  X(SetWindowSize) X(ShowWindow) X(UpdateTexture)

struct Sdl {
#define CUBE_SDL_SLOT(name) decltype(&::SDL_##name) name = nullptr;
  CUBE_SDL_FUNCTIONS(CUBE_SDL_SLOT)
#undef CUBE_SDL_SLOT
};

// Filled once by Load, before any other call.
Sdl sdl;

// False when libSDL2 or one of its functions is missing: then this display
// cannot start.
bool Load() {
  void* library = OpenLibrary("libSDL2-2.0.so.0");
  if (library == nullptr) return false;
  bool found = true;
#define CUBE_SDL_RESOLVE(name) found = ResolveFunction(library, "SDL_" #name, &sdl.name) && found;
  CUBE_SDL_FUNCTIONS(CUBE_SDL_RESOLVE)
#undef CUBE_SDL_RESOLVE
  return found;
}

struct Window {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int textureWidth = 0;
  int textureHeight = 0;
  bool vsync = false;
  bool minimised = false;
};

struct State {
  std::map<HWND, Window> windows;
  int screenWidth = 1024;
  int screenHeight = 768;
  unsigned refreshHz = 60;
  // Whether the last present already waited for the display's retrace.
  bool presentWaited = false;
  uint64_t lastPresentEnd = 0;
  // The X server tells Escape's state even when another program has the
  // focus; elsewhere SDL's key events are all there is.
  bool x11Keys = false;
  bool keysDown[256] = {};
};

// Only the thread that started SDL calls in: SDL video is single-threaded.
State& Shared() {
  static State state;
  return state;
}

Window* Find(HWND handle) {
  auto it = Shared().windows.find(handle);
  return it == Shared().windows.end() ? nullptr : &it->second;
}

HWND FindById(Uint32 id) {
  for (auto& [handle, w] : Shared().windows)
    if (w.window != nullptr && sdl.GetWindowID(w.window) == id) return handle;
  return nullptr;
}

std::string Utf8(const WCHAR* text) {
  std::string out;
  for (size_t i = 0; text[i] != 0; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      // A lone surrogate has no UTF-8 form.
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The client area on the screen: that is what the SDL window stands for.
RECT ClientOnScreen(HWND handle) {
  RECT r = {0, 0, 0, 0};
  GetClientRect(handle, &r);
  POINT origin = {0, 0};
  ClientToScreen(handle, &origin);
  return {origin.x, origin.y, origin.x + std::max<LONG>(r.right, 1), origin.y + std::max<LONG>(r.bottom, 1)};
}

void DropWindow(Window& w) {
  if (w.texture != nullptr) sdl.DestroyTexture(w.texture);
  if (w.renderer != nullptr) sdl.DestroyRenderer(w.renderer);
  if (w.window != nullptr) sdl.DestroyWindow(w.window);
  w = Window{};
}

bool Open(HWND handle, Window& w) {
  WCHAR title[256] = {0};
  GetWindowTextW(handle, title, 256);
  const RECT r = ClientOnScreen(handle);
  w.window = sdl.CreateWindow(Utf8(title).c_str(), r.left, r.top, r.right - r.left, r.bottom - r.top, SDL_WINDOW_SHOWN);
  if (w.window == nullptr) return false;
  w.renderer = sdl.CreateRenderer(w.window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
  if (w.renderer == nullptr) w.renderer = sdl.CreateRenderer(w.window, -1, SDL_RENDERER_SOFTWARE);
  if (w.renderer == nullptr) {
    DropWindow(w);
    return false;
  }
  SDL_RendererInfo info;
  w.vsync = sdl.GetRendererInfo(w.renderer, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
  // Black until the first present, as a new window's client area is.
  sdl.SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
  sdl.RenderClear(w.renderer);
  sdl.RenderPresent(w.renderer);
  return true;
}

// user32 minimises and restores windows too (ShowWindow); the SDL window
// follows.
void FollowIconic(HWND handle, Window& w) {
  const bool iconic = IsIconic(handle) != FALSE;
  if (iconic == w.minimised) return;
  w.minimised = iconic;
  if (iconic) sdl.MinimizeWindow(w.window);
  else sdl.RestoreWindow(w.window);
}

// SDL on its own would try every driver it has, some of which complain on
// standard error when there is nothing to reach; only the display systems
// the session names are tried, unless SDL_VIDEODRIVER chooses.
bool StartVideo() {
  const char* forced = std::getenv("SDL_VIDEODRIVER");
  if (forced != nullptr && *forced != 0) return sdl.Init(SDL_INIT_VIDEO) == 0;
  for (const char* driver : {"x11", "wayland"}) {
    const char* variable = std::string(driver) == "x11" ? "DISPLAY" : "WAYLAND_DISPLAY";
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == 0) continue;
    sdl.SetHint(SDL_HINT_VIDEODRIVER, driver);
    if (sdl.Init(SDL_INIT_VIDEO) == 0) return true;
  }
  return false;
}

bool Init() {
  if (!Load()) return false;
  // The program's own Ctrl+C handling stays the system's.
  sdl.SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  sdl.SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  if (!StartVideo()) return false;
  if (sdl.GetNumVideoDisplays() < 1) {
    sdl.Quit();
    return false;
  }
  State& s = Shared();
  SDL_DisplayMode mode;
  if (sdl.GetCurrentDisplayMode(0, &mode) == 0) {
    if (mode.w > 0 && mode.h > 0) {
      s.screenWidth = mode.w;
      s.screenHeight = mode.h;
    }
    if (mode.refresh_rate > 0) s.refreshHz = static_cast<unsigned>(mode.refresh_rate);
  }
  const char* driver = sdl.GetCurrentVideoDriver();
  s.x11Keys = driver != nullptr && std::string(driver) == "x11" && x11::OpenKeys();
  return true;
}

void Shown(HWND handle, bool visible) {
  Window& w = Shared().windows[handle];
  if (!visible) {
    if (w.window != nullptr) sdl.HideWindow(w.window);
    return;
  }
  if (w.window == nullptr && !Open(handle, w)) return;
  sdl.ShowWindow(w.window);
  FollowIconic(handle, w);
}

void Moved(HWND handle, int, int) {
  Window* w = Find(handle);
  if (w == nullptr || w->window == nullptr) return;
  FollowIconic(handle, *w);
  if (w->minimised) return;
  const RECT r = ClientOnScreen(handle);
  sdl.SetWindowPosition(w->window, r.left, r.top);
}

void Sized(HWND handle, int, int, int clientWidth, int clientHeight) {
  Window* w = Find(handle);
  if (w == nullptr || w->window == nullptr) return;
  FollowIconic(handle, *w);
  if (w->minimised) return;
  sdl.SetWindowSize(w->window, std::max(clientWidth, 1), std::max(clientHeight, 1));
}

void Destroyed(HWND handle) {
  auto it = Shared().windows.find(handle);
  if (it == Shared().windows.end()) return;
  DropWindow(it->second);
  Shared().windows.erase(it);
}

void PollKeys() {
  if (Shared().x11Keys) Deliver({.kind = InputEvent::KeyState, .key = VK_ESCAPE, .down = x11::EscapeDown()});
}

void Present(HWND handle, const void* pixels, int width, int height, int pitch, const RECT* rects, int count) {
  Window* w = Find(handle);
  if (w == nullptr || w->renderer == nullptr || pixels == nullptr || width <= 0 || height <= 0) return;
  int outW = 0, outH = 0;
  sdl.GetWindowSize(w->window, &outW, &outH);
  if (w->texture == nullptr || w->textureWidth != outW || w->textureHeight != outH) {
    if (w->texture != nullptr) sdl.DestroyTexture(w->texture);
    w->texture = sdl.CreateTexture(w->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, outW, outH);
    if (w->texture == nullptr) return;
    // The top byte of a presented pixel is not alpha.
    sdl.SetTextureBlendMode(w->texture, SDL_BLENDMODE_NONE);
    w->textureWidth = outW;
    w->textureHeight = outH;
  }
  const RECT whole = {0, 0, width, height};
  if (rects == nullptr || count <= 0) {
    rects = &whole;
    count = 1;
  }
  RECT bounds = rects[0];
  for (int i = 1; i < count; ++i) {
    bounds.left = std::min(bounds.left, rects[i].left);
    bounds.top = std::min(bounds.top, rects[i].top);
  }
  for (int i = 0; i < count; ++i) {
    // Clipped to the window and to the picture.
    const LONG left = std::max<LONG>({rects[i].left, 0, bounds.left});
    const LONG top = std::max<LONG>({rects[i].top, 0, bounds.top});
    const LONG right = std::min<LONG>({rects[i].right, outW, bounds.left + width});
    const LONG bottom = std::min<LONG>({rects[i].bottom, outH, bounds.top + height});
    if (right <= left || bottom <= top) continue;
    const SDL_Rect area = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                           static_cast<int>(bottom - top)};
    const auto* first = static_cast<const uint8_t*>(pixels) + static_cast<size_t>(top - bounds.top) * pitch +
                        static_cast<size_t>(left - bounds.left) * 4;
    sdl.UpdateTexture(w->texture, &area, first, pitch);
  }
  sdl.RenderCopy(w->renderer, w->texture, nullptr, nullptr);
  sdl.RenderPresent(w->renderer);
  State& s = Shared();
  const uint64_t end = kernel::NowMicros();
  // A renderer may promise vsync and not keep it (a virtual X server):
  // only a present that took most of a retrace period counts as waited.
  s.presentWaited = w->vsync && end - s.lastPresentEnd >= 750000u / s.refreshHz;
  s.lastPresentEnd = end;
}

void WaitRetrace() {
  State& s = Shared();
  if (!s.presentWaited) WaitNextTick(s.refreshHz);
  s.presentWaited = false;
  // The program reads Escape right after the retrace.
  PollKeys();
}

BYTE VirtualKey(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return static_cast<BYTE>('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<BYTE>('0' + (key - SDLK_0));
  if (key >= SDLK_F1 && key <= SDLK_F12) return static_cast<BYTE>(VK_F1 + (key - SDLK_F1));
  switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_TAB: return VK_TAB;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_HOME: return VK_HOME;
    case SDLK_END: return VK_END;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_LSHIFT: return VK_LSHIFT;
    case SDLK_RSHIFT: return VK_RSHIFT;
    case SDLK_LCTRL: return VK_LCONTROL;
    case SDLK_RCTRL: return VK_RCONTROL;
    case SDLK_LALT: return VK_LMENU;
    case SDLK_RALT: return VK_RMENU;
    default: return 0;
  }
}

// The generic key a sided modifier is reported as in key messages.
BYTE Generic(BYTE key) {
  switch (key) {
    case VK_LSHIFT:
    case VK_RSHIFT: return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL: return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU: return VK_MENU;
    default: return key;
  }
}

// Either side's key holds the generic modifier down.
bool GenericDown(const State& s, BYTE key) {
  switch (key) {
    case VK_SHIFT: return s.keysDown[VK_LSHIFT] || s.keysDown[VK_RSHIFT];
    case VK_CONTROL: return s.keysDown[VK_LCONTROL] || s.keysDown[VK_RCONTROL];
    case VK_MENU: return s.keysDown[VK_LMENU] || s.keysDown[VK_RMENU];
    default: return s.keysDown[key];
  }
}

void OnKey(const SDL_KeyboardEvent& event) {
  State& s = Shared();
  const BYTE sided = VirtualKey(event.keysym.sym);
  if (sided == 0) return;
  const BYTE key = Generic(sided);
  const bool down = event.state == SDL_PRESSED;
  const bool wasDown = GenericDown(s, key);
  s.keysDown[sided] = down;
  // With the X server's answer for Escape, SDL's (focused only) would
  // contradict it while another program has the focus.
  if (!(key == VK_ESCAPE && s.x11Keys)) {
    Deliver({.kind = InputEvent::KeyState, .key = sided, .down = down});
    if (key != sided) Deliver({.kind = InputEvent::KeyState, .key = key, .down = GenericDown(s, key)});
  }
  Deliver({.kind = InputEvent::Key, .key = key, .down = down, .repeat = wasDown, .alt = GenericDown(s, VK_MENU)});
}

void OnWindow(const SDL_WindowEvent& event) {
  HWND handle = FindById(event.windowID);
  if (handle == nullptr) return;
  switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
      AskToClose(handle);
      break;
    case SDL_WINDOWEVENT_MINIMIZED:
      if (!IsIconic(handle)) {
        if (Window* w = Find(handle)) w->minimised = true;
        Deliver({.kind = InputEvent::SysCommand, .window = handle, .command = SC_MINIMIZE});
      }
      break;
    case SDL_WINDOWEVENT_RESTORED:
      if (IsIconic(handle)) {
        if (Window* w = Find(handle)) w->minimised = false;
        Deliver({.kind = InputEvent::SysCommand, .window = handle, .command = SC_RESTORE});
      }
      break;
    // A window the program just showed is already active; only a real
    // change of the foreground is news.
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      if (GetForegroundWindow() == nullptr) Deliver({.kind = InputEvent::AppActivate, .down = true});
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      if (GetForegroundWindow() != nullptr) Deliver({.kind = InputEvent::AppActivate, .down = false});
      break;
    case SDL_WINDOWEVENT_EXPOSED:
      // The picture is gone from the screen: the windows repaint, and the
      // screen's child presents again from its WM_PAINT.
      RedrawWindow(handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      break;
    default:
      break;
  }
}

void OnMouse(Uint32 windowId, int x, int y, bool button, bool down) {
  HWND handle = FindById(windowId);
  if (handle == nullptr) return;
  POINT p = {x, y};
  ClientToScreen(handle, &p);
  if (!button) {
    Deliver({.kind = InputEvent::MouseMove, .x = p.x, .y = p.y});
    return;
  }
  Deliver({.kind = InputEvent::KeyState, .key = VK_LBUTTON, .down = down});
  Deliver({.kind = InputEvent::MouseButton, .down = down, .x = p.x, .y = p.y});
}

void Pump() {
  PumpInjected();
  SDL_Event event;
  while (sdl.PollEvent(&event)) {
    switch (event.type) {
      case SDL_WINDOWEVENT:
        OnWindow(event.window);
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        OnKey(event.key);
        break;
      case SDL_MOUSEMOTION:
        OnMouse(event.motion.windowID, event.motion.x, event.motion.y, false, false);
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        if (event.button.button == SDL_BUTTON_LEFT)
          OnMouse(event.button.windowID, event.button.x, event.button.y, true, event.type == SDL_MOUSEBUTTONDOWN);
        break;
      default:
        break;
    }
  }
  PollKeys();
}

void ScreenSize(int* width, int* height) {
  *width = Shared().screenWidth;
  *height = Shared().screenHeight;
}

void Quit() {
  for (auto& [handle, w] : Shared().windows) DropWindow(w);
  Shared().windows.clear();
  x11::CloseKeys();
  sdl.Quit();
}

}  // namespace

// The lane's own screen.
const Backend* Native() {
  static const Backend backend = {"sdl", &Init, &Shown, &Moved, &Sized, &Destroyed, &Present, &WaitRetrace,
                                  &Pump, &ScreenSize, &Quit};
  return &backend;
}

}  // namespace display

// The D-Bus library SDL starts keeps a buffer until the process ends; a
// sanitizer build would otherwise count it against every program that
// showed a window.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

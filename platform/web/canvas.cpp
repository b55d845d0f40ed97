// The web page's screen: the shown top-level window is the page's canvas,
// of the window's client size, and its title the page's title; a present
// puts the picture on the canvas; the retrace is the browser's animation
// frame, where the program's frame loop (which never returns to the
// browser) yields through Asyncify. Keys pressed in the page and the page's
// Close button arrive as the user's input. The headless display's scripted
// user (CUBE_ESCAPE_AFTER, CUBE_CLOSE_AFTER) and present log apply as on
// Linux, with controls read from the page's address.
#include <emscripten.h>

#include <cstdint>
#include <vector>

#include "display/backend.h"
#include "display/settings.h"

// Page side. The shell page keeps Module.cubeInput, a queue of what the
// user did: {key, down} for keys, {close: true} for its Close button.
EM_JS(void, cube_page_show, (int width, int height, const char16_t* title), {
  const canvas = Module['canvas'];
  canvas.width = width;
  canvas.height = height;
  document.title = UTF16ToString(title);
});

EM_JS(void, cube_page_present, (const uint8_t* rgba, int width, int height, int keep, double index), {
  const canvas = Module['canvas'];
  const pixels = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
  canvas.getContext('2d').putImageData(new ImageData(pixels.slice(), width, height), 0, 0);
  if (keep) (Module['cubeCaptures'] = Module['cubeCaptures'] || {})[index] = pixels.slice();
  Module['cubePresents'] = index + 1;
});

// The next input: -1 for none, 0x10000 | down << 8 | key for a key, 0x20000
// for the Close button.
EM_JS(int, cube_page_next_input, (), {
  const queue = Module['cubeInput'];
  if (!queue || queue.length === 0) return -1;
  const input = queue.shift();
  if (input.close) return 0x20000;
  return 0x10000 | (input.down ? 0x100 : 0) | (input.key & 0xFF);
});

EM_ASYNC_JS(void, cube_page_next_frame, (), {
  await new Promise(resolve => requestAnimationFrame(() => resolve()));
});

// A turn of the browser's event loop and nothing more: a message to
// ourselves, where setTimeout(0) would wait 4 ms once nested.
EM_ASYNC_JS(void, cube_page_yield, (), {
  const channel = Module['cubeYield'] || (Module['cubeYield'] = new MessageChannel());
  await new Promise(resolve => {
    channel.port1.onmessage = () => resolve();
    channel.port2.postMessage(0);
  });
});

namespace display {
namespace {

HWND shownWindow = nullptr;
std::vector<uint8_t> rgba;

// The page's canvas at the window's client size, its title the page's.
void ShowOnPage(HWND window, int width, int height) {
  WCHAR title[256] = {};
  GetWindowTextW(window, title, 256);
  cube_page_show(width, height, title);
}

void Shown(HWND window, bool visible) {
  Headless()->shown(window, visible);
  if (!visible) {
    if (window == shownWindow) shownWindow = nullptr;
    return;
  }
  shownWindow = window;
  RECT client = {};
  GetClientRect(window, &client);
  ShowOnPage(window, client.right, client.bottom);
}

void Sized(HWND window, int width, int height, int clientWidth, int clientHeight) {
  Headless()->sized(window, width, height, clientWidth, clientHeight);
  if (window == shownWindow) ShowOnPage(window, clientWidth, clientHeight);
}

void Destroyed(HWND window) {
  Headless()->destroyed(window);
  if (window == shownWindow) shownWindow = nullptr;
}

// The picture as the canvas takes it (RGBA bytes), and, when the frame is
// one CUBE_CAPTURE_FRAMES names, kept by the page for its tests.
void Show(const void* pixels, int width, int height, int pitch, bool keep, uint64_t index) {
  rgba.resize(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(pixels) + y * pitch);
    uint8_t* out = rgba.data() + static_cast<size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x) {
      out[4 * x] = static_cast<uint8_t>(row[x] >> 16);
      out[4 * x + 1] = static_cast<uint8_t>(row[x] >> 8);
      out[4 * x + 2] = static_cast<uint8_t>(row[x]);
      out[4 * x + 3] = 255;
    }
  }
  cube_page_present(rgba.data(), width, height, keep ? 1 : 0, static_cast<double>(index));
}

double lastYield = 0;

// Paced, every present goes to the canvas (the retrace waits for the
// browser's frame). Unpaced (CUBE_REFRESH_HZ=0), the browser shows only
// what it has when the program yields, every 16 ms of frames: only that
// present is converted and put on the canvas, so frames cost what they
// draw.
void Present(HWND window, const void* pixels, int width, int height, int pitch, const RECT* rects, int count) {
  static uint64_t presents = 0;
  const uint64_t index = presents++;
  const Settings& s = CurrentSettings();
  const bool keep = FrameNamed(s, index);
  const bool unpaced = s.refreshHz == 0;
  const double now = emscripten_get_now();
  const bool yield = unpaced && now - lastYield >= 16;
  if (!unpaced || keep || yield) Show(pixels, width, height, pitch, keep, index);
  // The scripted user and the present log, as on the headless display.
  Headless()->present(window, pixels, width, height, pitch, rects, count);
  if (yield) {
    cube_page_yield();
    lastYield = emscripten_get_now();
  }
}

// At the display's rate, the browser's animation frame; unpaced, nothing
// (presents yield).
void WaitRetrace() {
  if (CurrentSettings().refreshHz != 0) cube_page_next_frame();
}

void Pump() {
  for (int input; (input = cube_page_next_input()) >= 0;) {
    if (input == 0x20000) {
      if (shownWindow != nullptr) Deliver({.kind = InputEvent::CaptionClick, .window = shownWindow, .hit = HTCLOSE});
      continue;
    }
    const auto key = static_cast<BYTE>(input & 0xFF);
    const bool down = (input & 0x100) != 0;
    const bool repeat = down && (GetAsyncKeyState(key) & 0x8000) != 0;
    Deliver({.kind = InputEvent::KeyState, .key = key, .down = down});
    Inject({.kind = InputEvent::Key, .key = key, .down = down, .repeat = repeat});
  }
  PumpInjected();
}

}  // namespace

// Moves, the screen's size and the end are the headless display's own.
const Backend* Native() {
  const Backend* headless = Headless();
  static const Backend backend = {"canvas",     nullptr, &Shown, headless->moved, &Sized, &Destroyed, &Present,
                                  &WaitRetrace, &Pump,   headless->screenSize, headless->quit};
  return &backend;
}

}  // namespace display

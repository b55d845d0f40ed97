// The headless display: no screen, a fixed 1024 x 768 desktop (what the
// test display under Wine has). It records what user32 tells it and hands
// back input that tests inject.
#include <deque>
#include <map>
#include <mutex>

#include "display/backend.h"
#include "hosted/hooks.h"

namespace display {
namespace {

struct State {
  std::mutex lock;
  std::map<HWND, hosted::DisplayWindow> windows;
  std::deque<InputEvent> input;
};

State& Shared() {
  static State state;
  return state;
}

hosted::DisplayWindow& Entry(HWND window) {
  hosted::DisplayWindow& w = Shared().windows[window];
  w.known = true;
  return w;
}

void Shown(HWND window, bool visible) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  Entry(window).visible = visible;
}

void Moved(HWND window, int x, int y) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  hosted::DisplayWindow& w = Entry(window);
  w.x = x;
  w.y = y;
}

void Sized(HWND window, int width, int height, int clientWidth, int clientHeight) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  hosted::DisplayWindow& w = Entry(window);
  w.width = width;
  w.height = height;
  w.clientWidth = clientWidth;
  w.clientHeight = clientHeight;
}

void Destroyed(HWND window) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  Shared().windows.erase(window);
}

void Present(HWND window, const void*, int, int, int, const RECT*, int) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  Entry(window).presents++;
}

void WaitRetrace() {}

void Pump() {
  // Delivered one at a time without the lock: delivery may call back here.
  for (;;) {
    InputEvent event;
    {
      std::lock_guard<std::mutex> guard(Shared().lock);
      if (Shared().input.empty()) return;
      event = Shared().input.front();
      Shared().input.pop_front();
    }
    Deliver(event);
  }
}

void ScreenSize(int* width, int* height) {
  *width = 1024;
  *height = 768;
}

void Quit() {}

}  // namespace

const Backend* Headless() {
  static const Backend backend = {"headless", nullptr, &Shown, &Moved, &Sized, &Destroyed, &Present, &WaitRetrace,
                                  &Pump, &ScreenSize, &Quit};
  return &backend;
}

}  // namespace display

namespace hosted {

void InjectInput(const display::InputEvent& event) {
  std::lock_guard<std::mutex> guard(display::Shared().lock);
  display::Shared().input.push_back(event);
}

DisplayWindow DisplayState(HWND window) {
  std::lock_guard<std::mutex> guard(display::Shared().lock);
  auto it = display::Shared().windows.find(window);
  return it == display::Shared().windows.end() ? DisplayWindow{} : it->second;
}

const char* DisplayName() {
  const display::Backend* backend = display::Current();
  return backend != nullptr ? backend->name : "";
}

}  // namespace hosted

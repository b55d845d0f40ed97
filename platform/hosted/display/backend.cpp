// Choice of the display backend by CUBE_DISPLAY, and input injected outside
// a pump (the headless display's scripted user, tests), which every backend
// hands over when it pumps.
#include "display/backend.h"

#include <atomic>
#include <deque>
#include <mutex>

#include "config.h"
#include "display/settings.h"
#include "hosted/hooks.h"

namespace display {

namespace {

const Backend* const* List() {
  static const Backend* const list[] = {Native(), Headless(), nullptr};
  return list;
}

struct Injected {
  std::mutex lock;
  std::deque<InputEvent> events;
};

Injected& TheInjected() {
  static Injected injected;
  return injected;
}

// Set from signal handlers: only a lock-free flag may be.
std::atomic<bool> closeRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

BOOL CALLBACK FirstShownOfThisThread(HWND window, LPARAM found) {
  if (!IsWindowVisible(window) || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

void DeliverRequestedClose() {
  HWND window = nullptr;
  EnumWindows(&FirstShownOfThisThread, reinterpret_cast<LPARAM>(&window));
  if (window != nullptr && closeRequested.exchange(false)) AskToClose(window);
}

}  // namespace

const Backend* Current() {
  static const Backend* chosen = nullptr;
  static std::once_flag once;
  std::call_once(once, [] {
    const std::string& wanted = CurrentSettings().display;
    for (const Backend* const* b = List(); *b != nullptr; ++b) {
      if (wanted != (*b)->name) continue;
      if ((*b)->init == nullptr || (*b)->init()) chosen = *b;
      break;
    }
    if (chosen == nullptr) {
      // No display reachable: the adapter offers no modes, so a program
      // gives up before it shows anything; its windows live on the
      // headless display meanwhile.
      hosted::SetD3D9ZeroModes(true);
      chosen = Headless();
    }
  });
  return chosen;
}

void PumpInjected() {
  if (closeRequested.load()) DeliverRequestedClose();
  // Delivered one at a time without the lock: delivery may inject more.
  for (;;) {
    InputEvent event;
    {
      std::lock_guard<std::mutex> guard(TheInjected().lock);
      if (TheInjected().events.empty()) return;
      event = TheInjected().events.front();
      TheInjected().events.pop_front();
    }
    Deliver(event);
  }
}

void AskToClose(HWND window) {
  if (!Deliver({.kind = InputEvent::CaptionClick, .window = window, .hit = HTCLOSE}))
    Deliver({.kind = InputEvent::SysCommand, .window = window, .command = SC_CLOSE});
}

void RequestClose() { closeRequested.store(true); }

void Inject(const InputEvent& event) {
  std::lock_guard<std::mutex> guard(TheInjected().lock);
  TheInjected().events.push_back(event);
}

}  // namespace display

const char* hosted::DisplayName() { return display::Current()->name; }

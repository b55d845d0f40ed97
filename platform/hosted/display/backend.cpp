// Choice of the display backend by CUBE_DISPLAY.
#include "display/backend.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace display {

const Backend* Headless();

namespace {

// Backends in order of preference when CUBE_DISPLAY names none.
const Backend* const* List() {
  static const Backend* const list[] = {Headless(), nullptr};
  return list;
}

}  // namespace

const Backend* Current() {
  static const Backend* chosen = nullptr;
  static std::once_flag once;
  std::call_once(once, [] {
    const char* wanted = std::getenv("CUBE_DISPLAY");
    for (const Backend* const* b = List(); *b != nullptr; ++b) {
      if (wanted != nullptr && *wanted != 0 && std::strcmp(wanted, (*b)->name) != 0) continue;
      if ((*b)->init == nullptr || (*b)->init()) {
        chosen = *b;
        return;
      }
    }
    // An unknown name falls back to the first backend that starts.
    if (chosen == nullptr)
      for (const Backend* const* b = List(); *b != nullptr; ++b)
        if ((*b)->init == nullptr || (*b)->init()) {
          chosen = *b;
          return;
        }
  });
  return chosen;
}

}  // namespace display

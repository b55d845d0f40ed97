#include "screen/screen.h"

#include "platform.h"

// The screen facility's end steps. Until the screen can be opened there is
// nothing to close or release.
void ScreenClose() {}
void ScreenSystemEnd() {}

// An extra library of the screen facility: nothing in this system loads it,
// so the handle stays null and the step frees nothing.
static HMODULE screenExtraLibrary;

void ScreenLibraryEnd() {
  if (screenExtraLibrary != nullptr) {
    FreeLibrary(screenExtraLibrary);
    screenExtraLibrary = nullptr;
  }
}

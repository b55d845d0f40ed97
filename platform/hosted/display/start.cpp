// The display's controls take effect when the process starts: before main,
// so before the program could load "d3d9.dll" or ask for display modes.
// Nothing calls into this file; platform/CMakeLists.txt makes the linker
// keep it by naming cube_hosted_display_start.
#include <csignal>
#include <mutex>

#include "config.h"
#include "display/backend.h"
#include "display/settings.h"

namespace display {

void Start() {
  static std::once_flag once;
  std::call_once(once, [] {
    // A pipe whose reader has gone or a file past the size limit makes the
    // write fail, where its report can be made, instead of killing the
    // program: before anything is written, the reports of the controls too.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    const Settings& s = CurrentSettings();
    if (s.noD3D9) hosted::SetModuleMissing("d3d9.dll", true);
    if (s.desktopFormat != D3DFMT_X8R8G8B8) hosted::SetD3D9DesktopFormat(s.desktopFormat);
    // Held since before the program started: the key state says so, but
    // no key message was ever sent for it.
    if (s.display == "headless" && s.escapeAfter == 0)
      Deliver({.kind = InputEvent::KeyState, .key = VK_ESCAPE, .down = true});
    // Whether SDL reaches a display decides whether there are display modes
    // at all, so the backend starts now rather than with the first window.
    Current();
  });
}

}  // namespace display

extern "C" const int cube_hosted_display_start = 1;

namespace {

struct StartAtLoad {
  StartAtLoad() { display::Start(); }
} startAtLoad;

}  // namespace

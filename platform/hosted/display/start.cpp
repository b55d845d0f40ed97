// The display's controls take effect when the process starts: before main,
// so before the program could load "d3d9.dll" or ask for display modes.
// Nothing calls into this file; platform/CMakeLists.txt makes the linker
// keep it by naming cube_hosted_display_start.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <iterator>
#include <mutex>

#include "config.h"
#include "display/backend.h"
#include "display/settings.h"

namespace display {

namespace {

// Interrupt, termination and hang-up end the program as its close button
// does, so its shutdown runs and its files are whole. The first one takes
// the handlers away: a second ends the process at once, by that signal.
constexpr int kCloseSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t caught[std::size(kCloseSignals)];

void OnCloseSignal(int) {
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  for (size_t i = 0; i < std::size(kCloseSignals); ++i)
    if (caught[i]) sigaction(kCloseSignals[i], &fallback, nullptr);
  RequestClose();
}

void CatchCloseSignals() {
  struct sigaction handler = {};
  handler.sa_handler = &OnCloseSignal;
  handler.sa_flags = SA_RESTART;
  sigemptyset(&handler.sa_mask);
  for (int signal : kCloseSignals) sigaddset(&handler.sa_mask, signal);
  for (size_t i = 0; i < std::size(kCloseSignals); ++i) {
    struct sigaction old;
    // One ignored by whoever started the program (nohup, a shell's
    // background job) stays ignored.
    if (sigaction(kCloseSignals[i], nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    // Marked first: the handler must take its own signal away too.
    caught[i] = 1;
    if (sigaction(kCloseSignals[i], &handler, nullptr) != 0) caught[i] = 0;
  }
}

// Started with standard input, output or error closed, the program would
// give their numbers to the first files it opens (the present log, a
// frame), and reports meant for standard error would land in them.
void OccupyStandardDescriptors() {
  for (;;) {
    const int fd = open("/dev/null", O_RDWR);
    if (fd < 0) return;
    if (fd > STDERR_FILENO) {
      close(fd);
      return;
    }
  }
}

}  // namespace

void Start() {
  static std::once_flag once;
  std::call_once(once, [] {
    OccupyStandardDescriptors();
    CatchCloseSignals();
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

// The headless display: no screen, a fixed 1024 x 768 desktop (what the
// test display under Wine has). It records what user32 tells it, keeps a
// virtual retrace clock, writes presents out as PNG files and acts the
// scripted user of the CUBE_* controls (settings.h).

#include <time.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>

#include "display/backend.h"
#include "display/retrace.h"
#include "display/settings.h"
#include "display/headless/png.h"
#include "hosted/hooks.h"
#include "kernel/process_end.h"

namespace display {
namespace {

struct State {
  std::mutex lock;
  std::map<HWND, hosted::DisplayWindow> windows;
  uint64_t presents = 0;
  bool captureReady = false;
  bool captureReported = false;
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

// Reported once: a full disk must not fill the terminal as well.
void CaptureFailed(const std::string& what) {
  bool first = false;
  {
    std::lock_guard<std::mutex> guard(Shared().lock);
    first = !Shared().captureReported;
    Shared().captureReported = true;
  }
  if (first) std::fprintf(stderr, "cube display: cannot write %s; frames are not captured\n", what.c_str());
}

void Capture(uint64_t index, const void* pixels, int width, int height, int pitch) {
  const std::string& dir = CurrentSettings().captureDir;
  bool ready;
  {
    std::lock_guard<std::mutex> guard(Shared().lock);
    ready = Shared().captureReady;
  }
  if (!ready) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
      CaptureFailed(dir);
      return;
    }
    std::lock_guard<std::mutex> guard(Shared().lock);
    Shared().captureReady = true;
  }
  char name[32];
  std::snprintf(name, sizeof name, "frame-%05llu.png", static_cast<unsigned long long>(index));
  const std::string path = (std::filesystem::path(dir) / name).string();
  // Written under another name and renamed when whole: a process stopped
  // at any moment leaves no half frame under a frame's name.
  const std::string partial = path + ".tmp";
  if (!WritePng(partial, pixels, width, height, pitch) || std::rename(partial.c_str(), path.c_str()) != 0) {
    std::remove(partial.c_str());
    CaptureFailed(path);
  }
}

// The present log goes through a stdio buffer: the process's end empties
// it, whether through exit or through ExitProcess, which flushes every
// stream. Whole lines are flushed every so often as well, so a killed
// process leaves a log that ends on a line's end.
struct PresentLog {
  std::mutex lock;
  FILE* file = nullptr;
  bool opened = false;
  unsigned pending = 0;
  // Lines held between flushes; the buffer holds them all, so stdio never
  // writes part of a line by itself.
  static constexpr unsigned kFlushLines = 256;
  static constexpr size_t kLineMax = 42;
  char buffer[kFlushLines * kLineMax + 64];
};

PresentLog& TheLog() {
  static PresentLog log;
  return log;
}

void LogFailed(PresentLog& log, const std::string& path) {
  std::fprintf(stderr, "cube display: cannot write CUBE_PRESENT_LOG \"%s\"; presents are not logged\n", path.c_str());
  if (log.file != nullptr) std::fclose(log.file);
  log.file = nullptr;
}

// The last lines reach the file when the process ends; a failure found
// only then is reported as any other.
void FlushLogAtEnd() {
  PresentLog& log = TheLog();
  std::lock_guard<std::mutex> guard(log.lock);
  if (log.file != nullptr && std::fflush(log.file) != 0) LogFailed(log, CurrentSettings().presentLog);
}

void LogPresent(uint64_t index, uint64_t nanos) {
  const std::string& path = CurrentSettings().presentLog;
  if (path.empty()) return;
  PresentLog& log = TheLog();
  std::lock_guard<std::mutex> guard(log.lock);
  if (!log.opened) {
    log.opened = true;
    log.file = std::fopen(path.c_str(), "w");
    if (log.file == nullptr || std::setvbuf(log.file, log.buffer, _IOFBF, sizeof log.buffer) != 0) {
      LogFailed(log, path);
      return;
    }
    kernel::AtProcessEnd(FlushLogAtEnd);
  }
  if (log.file == nullptr) return;
  char line[PresentLog::kLineMax + 1];
  const int length = std::snprintf(line, sizeof line, "%llu %llu\n", static_cast<unsigned long long>(index),
                                   static_cast<unsigned long long>(nanos));
  // A full disk shows at the flush; the log stops there, said once.
  if (std::fwrite(line, 1, static_cast<size_t>(length), log.file) != static_cast<size_t>(length)) {
    LogFailed(log, path);
  } else if (++log.pending == PresentLog::kFlushLines) {
    log.pending = 0;
    if (std::fflush(log.file) != 0) LogFailed(log, path);
  }
}

uint64_t MonotonicNanos() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

void Present(HWND window, const void* pixels, int width, int height, int pitch, const RECT*, int) {
  // Read first: the time the present arrived, not after its capture.
  const uint64_t arrived = MonotonicNanos();
  uint64_t index;
  {
    std::lock_guard<std::mutex> guard(Shared().lock);
    Entry(window).presents++;
    index = Shared().presents++;
  }
  LogPresent(index, arrived);
  const Settings& s = CurrentSettings();
  if (CaptureWanted(s, index)) Capture(index, pixels, width, height, pitch);
  // The scripted user acts once the present is on the screen.
  const uint64_t shown = index + 1;
  if (s.escapeAfter > 0 && shown == static_cast<uint64_t>(s.escapeAfter)) {
    const bool repeat = (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0;
    const bool alt = (GetAsyncKeyState(VK_MENU) & 0x8000) != 0;
    Deliver({.kind = InputEvent::KeyState, .key = VK_ESCAPE, .down = true});
    Inject({.kind = InputEvent::Key, .key = VK_ESCAPE, .down = true, .repeat = repeat, .alt = alt});
  }
  if (s.closeAfter != 0 && shown == s.closeAfter) {
    HWND top = GetAncestor(window, GA_ROOT);
    if (!Deliver({.kind = InputEvent::CaptionClick, .window = top != nullptr ? top : window, .hit = HTCLOSE}))
      std::fprintf(stderr, "cube display: CUBE_CLOSE_AFTER: the window has no close button\n");
  }
}

// The retrace ticks at every multiple of the period on the clock, whatever
// the program did in between, so the pace never drifts with frame cost.
void WaitRetrace() {
  const unsigned hz = CurrentSettings().refreshHz;
  if (hz != 0) WaitNextTick(hz);
}

void Pump() { PumpInjected(); }

void ScreenSize(int* width, int* height) {
  *width = 1024;
  *height = 768;
}

void Quit() {
  PresentLog& log = TheLog();
  std::lock_guard<std::mutex> guard(log.lock);
  if (log.file != nullptr) std::fflush(log.file);
}

}  // namespace

const Backend* Headless() {
  static const Backend backend = {"headless", nullptr, &Shown, &Moved, &Sized, &Destroyed, &Present, &WaitRetrace,
                                  &Pump, &ScreenSize, &Quit};
  return &backend;
}

}  // namespace display

namespace hosted {

DisplayWindow DisplayState(HWND window) {
  std::lock_guard<std::mutex> guard(display::Shared().lock);
  auto it = display::Shared().windows.find(window);
  return it == display::Shared().windows.end() ? DisplayWindow{} : it->second;
}

}  // namespace hosted

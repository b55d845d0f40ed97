// The headless display: no screen, a fixed 1024 x 768 desktop (what the
// test display under Wine has). It records what user32 tells it, keeps a
// virtual retrace clock, writes presents out as PNG files and acts the
// scripted user of the CUBE_* controls (settings.h).

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
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
  // Frames not captured since the last one that was: gapFirst..gapLast.
  bool inGap = false;
  bool lossReported = false;
  uint64_t gapFirst = 0;
  uint64_t gapLast = 0;
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

// Said once when a frame is first lost, and once for each run of lost
// frames when it ends (a frame is captured again, or the process ends): a
// full disk must not fill the terminal as well, and whoever reads the
// frames must know which are missing.
void EndGap() {
  State& s = Shared();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.inGap) return;
  s.inGap = false;
  const auto first = static_cast<unsigned long long>(s.gapFirst), last = static_cast<unsigned long long>(s.gapLast);
  if (first == last) std::fprintf(stderr, "cube display: frame %llu was not captured\n", first);
  else std::fprintf(stderr, "cube display: frames %llu-%llu were not captured\n", first, last);
}

void CaptureFailed(uint64_t index, const std::string& what) {
  State& s = Shared();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.lossReported) {
    s.lossReported = true;
    std::fprintf(stderr, "cube display: cannot write %s; frames are not captured from frame %llu on\n", what.c_str(),
                 static_cast<unsigned long long>(index));
    kernel::AtProcessEnd(EndGap);
  }
  if (!s.inGap) s.gapFirst = index;
  s.inGap = true;
  s.gapLast = index;
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
      CaptureFailed(index, dir);
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
    CaptureFailed(index, path);
  } else {
    EndGap();
  }
}

// The present log keeps its lines in its own buffer and writes only whole
// lines: every 256 presents, and when the process ends (through exit or
// ExitProcess). A write that fails part way is cut back to the last whole
// line, so neither a full disk nor a killed process leaves a torn line.
struct PresentLog {
  std::mutex lock;
  int fd = -1;
  bool opened = false;
  // Where the last whole line written ends; -1 where the file cannot be
  // cut back (a pipe, a device).
  off_t whole = -1;
  unsigned pending = 0;
  size_t used = 0;
  static constexpr unsigned kFlushLines = 256;
  static constexpr size_t kLineMax = 42;
  // Room for the terminating null snprintf writes after the last line.
  char buffer[kFlushLines * kLineMax + 1];
};

PresentLog& TheLog() {
  static PresentLog log;
  return log;
}

void LogFailed(PresentLog& log, const std::string& path) {
  std::fprintf(stderr, "cube display: cannot write CUBE_PRESENT_LOG \"%s\"; presents are not logged\n", path.c_str());
  if (log.fd >= 0) close(log.fd);
  log.fd = -1;
}

// Writes all of data; false when the file takes less (a full disk, the
// file-size limit, a reader that has gone).
bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Writes the lines held; on failure reports it and ends the log.
void FlushLog(PresentLog& log) {
  if (log.fd < 0 || log.used == 0) return;
  if (WriteAll(log.fd, log.buffer, log.used)) {
    if (log.whole >= 0) log.whole += static_cast<off_t>(log.used);
    log.used = 0;
    log.pending = 0;
    return;
  }
  if (log.whole >= 0 && ftruncate(log.fd, log.whole) != 0) {
    // Nothing more can be done: the report says the log is not whole.
  }
  LogFailed(log, CurrentSettings().presentLog);
}

void FlushLogAtEnd() {
  PresentLog& log = TheLog();
  std::lock_guard<std::mutex> guard(log.lock);
  FlushLog(log);
}

void LogPresent(uint64_t index, uint64_t nanos) {
  const std::string& path = CurrentSettings().presentLog;
  if (path.empty()) return;
  PresentLog& log = TheLog();
  std::lock_guard<std::mutex> guard(log.lock);
  if (!log.opened) {
    log.opened = true;
    log.fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (log.fd < 0) {
      LogFailed(log, path);
      return;
    }
    log.whole = lseek(log.fd, 0, SEEK_CUR);
    kernel::AtProcessEnd(FlushLogAtEnd);
  }
  if (log.fd < 0) return;
  const int length = std::snprintf(log.buffer + log.used, PresentLog::kLineMax + 1, "%llu %llu\n",
                                   static_cast<unsigned long long>(index), static_cast<unsigned long long>(nanos));
  log.used += static_cast<size_t>(length);
  if (++log.pending == PresentLog::kFlushLines) FlushLog(log);
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

void Quit() { FlushLogAtEnd(); }

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

// The display's controls, read once from the environment when the process
// starts (see start.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

namespace display {

// Present indices first..last, both included.
struct FrameRange {
  uint64_t first;
  uint64_t last;
};

struct Settings {
  // CUBE_DISPLAY: the lane's own screen ("sdl" on Linux, "canvas" in a
  // web page) or "headless".
  std::string display;
  // CUBE_REFRESH_HZ: the headless retrace rate; 0 presents without waiting.
  unsigned refreshHz = 60;
  // CUBE_CAPTURE_DIR: where headless presents are written; empty for none.
  std::string captureDir;
  // CUBE_CAPTURE_FRAMES: which present indices are written; empty for all.
  std::vector<FrameRange> captureFrames;
  // CUBE_CLOSE_AFTER: the close button is clicked after this many presents;
  // 0 for never.
  uint64_t closeAfter = 0;
  // CUBE_ESCAPE_AFTER: Escape is held from this many presents on; -1 for
  // never, 0 from the start.
  int64_t escapeAfter = -1;
  // CUBE_NO_D3D9: "d3d9.dll" cannot be loaded.
  bool noD3D9 = false;
  // CUBE_DESKTOP_FORMAT.
  D3DFORMAT desktopFormat = D3DFMT_X8R8G8B8;
  // CUBE_PRESENT_LOG: a file that gets one line "index monotonic_ns" per
  // headless present (CLOCK_MONOTONIC when the present arrives), made
  // afresh at the first present; empty for none. A file that cannot be
  // written is reported once and nothing is logged.
  std::string presentLog;
};

// Reads every control through get (getenv's shape). A malformed value keeps
// its default and is told to report as one line without a newline.
Settings ReadSettings(const char* (*get)(const char* name), void (*report)(const char* line));

// The settings of this process, read once from the environment; malformed
// values are reported on standard error.
const Settings& CurrentSettings();

// Whether present index is to be captured.
bool CaptureWanted(const Settings& settings, uint64_t index);
// Whether CUBE_CAPTURE_FRAMES names a frame (none when it is not given).
bool FrameNamed(const Settings& settings, uint64_t index);

// Applies what must hold before the program's first call (missing d3d9,
// desktop format, Escape held from the start) and starts the chosen
// backend. Runs once, at process start.
void Start();

}  // namespace display

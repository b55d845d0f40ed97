// Parsing of the display's environment controls. Nothing here may fail the
// program: a value that does not parse is reported and replaced by its
// default.
#include "display/settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "display/backend.h"

namespace display {
namespace {

// A decimal number of digits only, no sign or spaces, at most max.
bool ParseNumber(std::string_view text, uint64_t max, uint64_t* out) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > max) return false;
  *out = value;
  return true;
}

// "0,1,2,100-120": single indices and inclusive ranges, comma separated.
bool ParseFrames(std::string_view text, std::vector<FrameRange>* out) {
  std::vector<FrameRange> ranges;
  constexpr uint64_t kMax = 1ull << 62;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    const size_t dash = item.find('-');
    FrameRange r{};
    if (dash == std::string_view::npos) {
      if (!ParseNumber(item, kMax, &r.first)) return false;
      r.last = r.first;
    } else if (!ParseNumber(item.substr(0, dash), kMax, &r.first) ||
               !ParseNumber(item.substr(dash + 1), kMax, &r.last) || r.last < r.first) {
      return false;
    }
    ranges.push_back(r);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  *out = std::move(ranges);
  return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

void ReportToStderr(const char* line) { std::fprintf(stderr, "%s\n", line); }

const char* GetEnv(const char* name) { return std::getenv(name); }

}  // namespace

Settings ReadSettings(const char* (*get)(const char* name), void (*report)(const char* line)) {
  Settings s;
  // An unset or empty variable means its default, silently.
  auto value = [&](const char* name) -> std::string_view {
    const char* v = get(name);
    return v != nullptr ? std::string_view(v) : std::string_view();
  };
  auto bad = [&](const char* name, std::string_view text, const char* fallback) {
    std::string line = "cube display: ignoring ";
    line += name;
    line += "=\"";
    // A value of any length gives a line that fits a terminal: its first
    // characters, cut where a character starts, and a mark of the cut.
    constexpr size_t kQuoted = 64;
    size_t cut = std::min(text.size(), kQuoted);
    while (cut < text.size() && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    line += text.substr(0, cut);
    if (cut < text.size()) line += "...";
    line += "\", using ";
    line += fallback;
    report(line.c_str());
  };

  s.display = Native()->name;
  if (std::string_view v = value("CUBE_DISPLAY"); !v.empty()) {
    if (v == s.display || v == "headless") s.display = v;
    else bad("CUBE_DISPLAY", v, Native()->name);
  }
  if (std::string_view v = value("CUBE_REFRESH_HZ"); !v.empty()) {
    uint64_t hz = 0;
    // Faster than a millisecond per retrace is no display anyone has.
    if (ParseNumber(v, 1000, &hz)) s.refreshHz = static_cast<unsigned>(hz);
    else bad("CUBE_REFRESH_HZ", v, "60");
  }
  s.captureDir = value("CUBE_CAPTURE_DIR");
  if (std::string_view v = value("CUBE_CAPTURE_FRAMES"); !v.empty()) {
    if (!ParseFrames(v, &s.captureFrames)) bad("CUBE_CAPTURE_FRAMES", v, "every frame");
  }
  if (std::string_view v = value("CUBE_CLOSE_AFTER"); !v.empty()) {
    uint64_t n = 0;
    if (ParseNumber(v, 1ull << 62, &n) && n > 0) s.closeAfter = n;
    else bad("CUBE_CLOSE_AFTER", v, "no close");
  }
  if (std::string_view v = value("CUBE_ESCAPE_AFTER"); !v.empty()) {
    uint64_t n = 0;
    if (ParseNumber(v, 1ull << 62, &n)) s.escapeAfter = static_cast<int64_t>(n);
    else bad("CUBE_ESCAPE_AFTER", v, "no Escape");
  }
  if (std::string_view v = value("CUBE_NO_D3D9"); !v.empty()) {
    if (v == "1") s.noD3D9 = true;
    else if (v != "0") bad("CUBE_NO_D3D9", v, "0");
  }
  if (std::string_view v = value("CUBE_DESKTOP_FORMAT"); !v.empty()) {
    if (EqualsIgnoringCase(v, "x8r8g8b8")) s.desktopFormat = D3DFMT_X8R8G8B8;
    else if (EqualsIgnoringCase(v, "r5g6b5")) s.desktopFormat = D3DFMT_R5G6B5;
    else if (EqualsIgnoringCase(v, "x1r5g5b5")) s.desktopFormat = D3DFMT_X1R5G5B5;
    else bad("CUBE_DESKTOP_FORMAT", v, "x8r8g8b8");
  }
  // Any name may be a path; whether it can be written shows at the first
  // present.
  s.presentLog = value("CUBE_PRESENT_LOG");
  return s;
}

const Settings& CurrentSettings() {
  static const Settings settings = ReadSettings(&GetEnv, &ReportToStderr);
  return settings;
}

bool CaptureWanted(const Settings& settings, uint64_t index) {
  if (settings.captureDir.empty()) return false;
  return settings.captureFrames.empty() || FrameNamed(settings, index);
}

bool FrameNamed(const Settings& settings, uint64_t index) {
  for (const FrameRange& r : settings.captureFrames)
    if (index >= r.first && index <= r.last) return true;
  return false;
}

}  // namespace display

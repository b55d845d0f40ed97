// The display's environment controls, read once when a process starts, so
// each case runs the helper program (display_helper.cpp) with its own
// environment and checks what it printed and what it left on disk; and the
// SDL display on a private Xvfb server, read back through X.
#include <gtest/gtest.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/png_file.h"

// After gtest: Xlib's macros (None, Bool) clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dlfcn.h>

namespace {

namespace fs = std::filesystem;

uint32_t Pattern(unsigned k, unsigned x, unsigned y) {
  return (((x * 7 + k * 13) & 0xFF) << 16) | (((y * 5 + k * 3) & 0xFF) << 8) | ((x ^ y ^ k) & 0xFF);
}

struct Outcome {
  int exitCode = -1;
  std::map<std::string, std::string> lines;  // first word -> the rest
  std::string err;
  std::string Line(const std::string& key) const {
    auto it = lines.find(key);
    return it == lines.end() ? "(absent)" : it->second;
  }
};

// Runs the helper headless, unpaced unless env says otherwise.
Outcome RunHelper(const std::vector<std::string>& args, std::map<std::string, std::string> env) {
  env.emplace("CUBE_DISPLAY", "headless");
  env.emplace("CUBE_REFRESH_HZ", "0");
  std::vector<std::string> argv = {CUBE_DISPLAY_HELPER};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess child;
  Outcome run;
  if (!child.Start(argv, env)) return run;
  run.exitCode = child.Finish();
  run.err = child.err;
  std::istringstream lines(child.out);
  for (std::string line; std::getline(lines, line);) {
    const size_t space = line.find(' ');
    run.lines.emplace(line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1));
  }
  return run;
}

// Lines written on standard error.
std::vector<std::string> ErrLines(const std::string& err) {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::path(::testing::TempDir()) / "cube-display-XXXXXX").string();
    path = mkdtemp(pattern.data()) != nullptr ? pattern : "";
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path.empty()) fs::remove_all(path, ignored);
  }
  std::string path;
};

std::set<std::string> Files(const std::string& dir) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) names.insert(entry.path().filename().string());
  return names;
}

// Compares a captured frame with frame k of the helper's picture, as seen
// through a destination scaled down by an integer step.
void ExpectFrame(const std::string& path, unsigned k, unsigned width, unsigned height, unsigned step = 1) {
  SCOPED_TRACE(path);
  pixels::Picture image(0, 0);
  bool rgb8 = false;
  ASSERT_TRUE(ReadPng(path, &image, &rgb8));
  EXPECT_TRUE(rgb8);
  pixels::Picture expected(static_cast<int>(width), static_cast<int>(height));
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x)
      expected.at(static_cast<int>(x), static_cast<int>(y)) = Pattern(k, x * step, y * step);
  EXPECT_TRUE(pixels::SamePicture(image, expected, std::to_string(k)));
}

std::string FrameName(unsigned index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame-%05u.png", index);
  return name;
}

TEST(HeadlessCapture, EveryPresentIsAnRgbPngOfThePresentedPicture) {
  TempDir tmp;
  ASSERT_FALSE(tmp.path.empty());
  // The directory and its parent do not exist yet.
  const std::string dir = tmp.path + "/out/frames";
  const Outcome run = RunHelper({"3"}, {{"CUBE_CAPTURE_DIR", dir}});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Files(dir), (std::set<std::string>{FrameName(0), FrameName(1), FrameName(2)}));
  for (unsigned k = 0; k < 3; ++k) ExpectFrame(dir + "/" + FrameName(k), k, 64, 48);
}

TEST(HeadlessCapture, HoldsTheDestinationRectangleNotTheBackBuffer) {
  TempDir tmp;
  const Outcome run = RunHelper({"2", "--size", "64", "48", "--dest", "32", "24"}, {{"CUBE_CAPTURE_DIR", tmp.path}});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // Shrunk to half by taking every second pixel.
  ExpectFrame(tmp.path + "/" + FrameName(1), 1, 32, 24, 2);
}

TEST(HeadlessCapture, FrameListLimitsWhichIndicesAreWritten) {
  TempDir tmp;
  const Outcome run = RunHelper({"12"}, {{"CUBE_CAPTURE_DIR", tmp.path}, {"CUBE_CAPTURE_FRAMES", "0,2,5-7,10-10,40"}});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Files(tmp.path), (std::set<std::string>{FrameName(0), FrameName(2), FrameName(5), FrameName(6),
                                                    FrameName(7), FrameName(10)}));
  ExpectFrame(tmp.path + "/" + FrameName(6), 6, 64, 48);
}

// A failure is reported once, naming the first frame lost; each run of lost
// frames is named when a frame is captured again or the program ends.
TEST(HeadlessCapture, WriteFailureIsReportedOnceAndTheProgramGoesOn) {
  TempDir tmp;
  // A directory cannot be made under a plain file, whoever runs the test.
  const std::string file = tmp.path + "/plain";
  std::ofstream(file) << "x";
  const Outcome run = RunHelper({"5"}, {{"CUBE_CAPTURE_DIR", file + "/frames"}});
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.Line("presents"), "5");
  EXPECT_EQ(ErrLines(run.err), (std::vector<std::string>{
                                   "cube display: cannot write " + file + "/frames; frames are not captured from frame 0 on",
                                   "cube display: frames 0-4 were not captured"}));

  // Directories standing where frames 1, 4 and 5 go.
  const std::string dir = tmp.path + "/dir";
  for (unsigned k : {1, 4, 5}) fs::create_directories(dir + "/" + FrameName(k));
  const Outcome blocked = RunHelper({"6"}, {{"CUBE_CAPTURE_DIR", dir}});
  ASSERT_EQ(blocked.exitCode, 0);
  EXPECT_EQ(ErrLines(blocked.err), (std::vector<std::string>{"cube display: cannot write " + dir + "/" + FrameName(1) +
                                                                 "; frames are not captured from frame 1 on",
                                                             "cube display: frame 1 was not captured",
                                                             "cube display: frames 4-5 were not captured"}));
  std::set<std::string> names;
  for (unsigned k = 0; k < 6; ++k) names.insert(FrameName(k));
  EXPECT_EQ(Files(dir), names);
  ExpectFrame(dir + "/" + FrameName(3), 3, 64, 48);
}

TEST(HeadlessUser, CloseAfterArrivesAsWmCloseAfterExactlyThatManyPresents) {
  EXPECT_EQ(RunHelper({"3"}, {{"CUBE_CLOSE_AFTER", "1"}}).Line("close"), "1");
  EXPECT_EQ(RunHelper({"6"}, {{"CUBE_CLOSE_AFTER", "4"}}).Line("close"), "4");
  EXPECT_EQ(RunHelper({"6"}, {{"CUBE_CLOSE_AFTER", "7"}}).Line("close"), "none");
  EXPECT_EQ(RunHelper({"6"}, {}).Line("close"), "none");
}

TEST(HeadlessUser, EscapeIsHeldFromThatManyPresentsOn) {
  EXPECT_EQ(RunHelper({"2"}, {{"CUBE_ESCAPE_AFTER", "0"}}).Line("escape"), "0");
  EXPECT_EQ(RunHelper({"5"}, {{"CUBE_ESCAPE_AFTER", "3"}}).Line("escape"), "3");
  EXPECT_EQ(RunHelper({"5"}, {{"CUBE_ESCAPE_AFTER", "6"}}).Line("escape"), "none");
  EXPECT_EQ(RunHelper({"5"}, {}).Line("escape"), "none");
}

TEST(HeadlessSystem, NoD3D9HidesTheLibrary) {
  const Outcome missing = RunHelper({"1"}, {{"CUBE_NO_D3D9", "1"}});
  EXPECT_EQ(missing.exitCode, 0);
  EXPECT_EQ(missing.Line("d3d9"), "missing");
  EXPECT_EQ(missing.Line("presents"), "(absent)");
  const Outcome present = RunHelper({"1"}, {{"CUBE_NO_D3D9", "0"}});
  EXPECT_EQ(present.Line("d3d9"), "(absent)");
  EXPECT_EQ(present.Line("presents"), "1");
}

TEST(HeadlessSystem, SdlIsNeverLoaded) {
  const Outcome run = RunHelper({"1"}, {});
  EXPECT_EQ(run.Line("presents"), "1");
  EXPECT_EQ(run.Line("sdl-mapped"), "0");
}

TEST(HeadlessSystem, DesktopFormatIsTheAdaptersAndOffersModes) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "22"}, {"x8r8g8b8", "22"}, {"r5g6b5", "23"}, {"x1r5g5b5", "24"}, {"R5G6B5", "23"}};
  for (auto [value, format] : cases) {
    SCOPED_TRACE(value);
    const Outcome run = RunHelper({"1"}, {{"CUBE_DESKTOP_FORMAT", value}});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.Line("format"), format);
    EXPECT_NE(run.Line("modes"), "0");
    // The device took the desktop's format and presented.
    EXPECT_EQ(run.Line("presents"), "1");
  }
}

// Parses "before:deadline ..." of the helper's fake clock.
std::vector<std::pair<uint64_t, uint64_t>> Sleeps(const Outcome& run) {
  std::vector<std::pair<uint64_t, uint64_t>> sleeps;
  std::istringstream in(run.Line("sleeps"));
  for (std::string item; in >> item;) {
    const size_t colon = item.find(':');
    if (colon == std::string::npos) continue;
    sleeps.emplace_back(std::stoull(item.substr(0, colon)), std::stoull(item.substr(colon + 1)));
  }
  return sleeps;
}

// Each wait ends on the first tick of an hz clock after it began: a
// deadline d is a tick when d = ceil(m * 1e6 / hz) for a whole m.
void ExpectTicks(const Outcome& run, unsigned hz, size_t count) {
  const auto sleeps = Sleeps(run);
  ASSERT_EQ(sleeps.size(), count) << run.Line("sleeps");
  for (auto [before, deadline] : sleeps) {
    const uint64_t m = deadline * hz / 1000000u;
    const uint64_t tick = (m * 1000000u + hz - 1) / hz;
    const uint64_t previous = ((m - 1) * 1000000u + hz - 1) / hz;
    EXPECT_EQ(deadline, tick) << "not on the clock: " << before << " -> " << deadline;
    EXPECT_GT(deadline, before);
    EXPECT_LE(previous, before) << "skipped a tick: " << before << " -> " << deadline;
  }
}

TEST(HeadlessRetrace, WaitsEndOnTheTicksOfTheRetraceClock) {
  // The helper's work between presents varies from 1 ms to 40 ms, so a
  // wait of one period after each present would leave the clock's grid.
  ExpectTicks(RunHelper({"8", "--fake-clock"}, {{"CUBE_REFRESH_HZ", "60"}}), 60, 8);
  ExpectTicks(RunHelper({"8", "--fake-clock"}, {{"CUBE_REFRESH_HZ", "50"}}), 50, 8);
  ExpectTicks(RunHelper({"8", "--fake-clock"}, {{"CUBE_REFRESH_HZ", "144"}}), 144, 8);
  // Unset means 60.
  ExpectTicks(RunHelper({"4", "--fake-clock"}, {{"CUBE_REFRESH_HZ", ""}}), 60, 4);
}

TEST(HeadlessRetrace, RateZeroPresentsWithoutWaiting) {
  const Outcome run = RunHelper({"8", "--fake-clock"}, {{"CUBE_REFRESH_HZ", "0"}});
  EXPECT_EQ(run.Line("presents"), "8");
  EXPECT_EQ(Sleeps(run).size(), 0u) << run.Line("sleeps");
}

TEST(HeadlessSettings, MalformedValuesAreReportedOnceEachAndDefaultsUsed) {
  TempDir tmp;
  const Outcome run = RunHelper({"4", "--fake-clock"}, {{"CUBE_REFRESH_HZ", "sixty"},
                                                    {"CUBE_CAPTURE_DIR", tmp.path},
                                                    {"CUBE_CAPTURE_FRAMES", "5-2"},
                                                    {"CUBE_CLOSE_AFTER", "0"},
                                                    {"CUBE_ESCAPE_AFTER", "-1"},
                                                    {"CUBE_NO_D3D9", "yes"},
                                                    {"CUBE_DESKTOP_FORMAT", "rgb565"}});
  ASSERT_EQ(run.exitCode, 0);
  const std::vector<std::string> lines = ErrLines(run.err);
  EXPECT_EQ(lines.size(), 6u) << run.err;
  for (const char* name : {"CUBE_REFRESH_HZ", "CUBE_CAPTURE_FRAMES", "CUBE_CLOSE_AFTER", "CUBE_ESCAPE_AFTER",
                           "CUBE_NO_D3D9", "CUBE_DESKTOP_FORMAT"})
    EXPECT_NE(run.err.find(name), std::string::npos) << name << " not reported in:\n" << run.err;
  EXPECT_EQ(run.Line("format"), "22");
  EXPECT_EQ(run.Line("close"), "none");
  EXPECT_EQ(run.Line("escape"), "none");
  EXPECT_EQ(run.Line("presents"), "4");
  EXPECT_EQ(Files(tmp.path).size(), 4u);
  ExpectTicks(run, 60, 4);
}

TEST(HeadlessSettings, NumbersTakeDigitsOnly) {
  for (const char* value : {" 5", "5 ", "+5", "0x10", "5.0", "99999999999999999999999"}) {
    SCOPED_TRACE(value);
    const Outcome run = RunHelper({"2", "--fake-clock"}, {{"CUBE_REFRESH_HZ", value}, {"CUBE_CLOSE_AFTER", value}});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(ErrLines(run.err).size(), 2u) << run.err;
    ExpectTicks(run, 60, 2);
    EXPECT_EQ(run.Line("close"), "none");
  }
  // Faster than 1000 Hz is no display.
  const Outcome fast = RunHelper({"2", "--fake-clock"}, {{"CUBE_REFRESH_HZ", "1001"}});
  EXPECT_EQ(ErrLines(fast.err).size(), 1u) << fast.err;
  ExpectTicks(fast, 60, 2);
  ExpectTicks(RunHelper({"2", "--fake-clock"}, {{"CUBE_REFRESH_HZ", "1000"}}), 1000, 2);
  for (const char* frames : {",", "1,", "-3", "3-", "1-2-3", "a"}) {
    SCOPED_TRACE(frames);
    TempDir tmp;
    const Outcome run = RunHelper({"2"}, {{"CUBE_CAPTURE_DIR", tmp.path}, {"CUBE_CAPTURE_FRAMES", frames}});
    EXPECT_EQ(ErrLines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(Files(tmp.path).size(), 2u);
  }
}

// However long a value, its report is one short line: the first 64
// characters, never half of one, and a mark of the cut.
TEST(HeadlessSettings, LongValuesAreQuotedUpToTheirFirst64Characters) {
  const std::string head = "cube display: ignoring CUBE_DESKTOP_FORMAT=\"", tail = "\", using x8r8g8b8";
  const std::string x64(64, 'x'), a63(63, 'a');
  const struct {
    std::string value, quoted;
  } cases[] = {
      {std::string(10000, 'x'), x64 + "..."},
      {a63 + "\u00e9" + std::string(9000, 'x'), a63 + "..."},
      {x64, x64},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.quoted);
    const Outcome run = RunHelper({"1"}, {{"CUBE_DESKTOP_FORMAT", c.value}});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ErrLines(run.err), std::vector<std::string>{head + c.quoted + tail});
  }
}

uint64_t MonotonicNanos() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

// A present log as (index, nanoseconds) pairs; a line that is not two
// numbers, or a last line without its end, fails the test.
std::vector<std::pair<uint64_t, uint64_t>> ReadLog(const std::string& path) {
  std::vector<std::pair<uint64_t, uint64_t>> entries;
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(text.empty() || text.back() == '\n') << "log ends inside a line";
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t space = line.find(' ');
    const bool digits = space != std::string::npos && space > 0 && space + 1 < line.size() &&
                        line.find_first_not_of("0123456789 ") == std::string::npos &&
                        line.find(' ', space + 1) == std::string::npos;
    if (!digits) {
      ADD_FAILURE() << "malformed log line \"" << line << "\"";
      break;
    }
    entries.emplace_back(std::stoull(line.substr(0, space)), std::stoull(line.substr(space + 1)));
  }
  return entries;
}

TEST(HeadlessPresentLog, OneLinePerPresentInOrderOnTheMonotonicClockHoweverTheProcessEnds) {
  TempDir tmp;
  const std::string path = tmp.path + "/presents.log";
  // More presents than are held between flushes, then one: each run starts
  // the log afresh. ExitProcess runs no atexit handlers.
  for (const char* end : {"", "--exit-process"}) {
    for (unsigned frames : {700u, 1u}) {
      SCOPED_TRACE(std::string(end) + " " + std::to_string(frames));
      std::vector<std::string> args = {std::to_string(frames)};
      if (*end != '\0') args.push_back(end);
      const uint64_t before = MonotonicNanos();
      const Outcome run = RunHelper(args, {{"CUBE_PRESENT_LOG", path}});
      const uint64_t after = MonotonicNanos();
      ASSERT_EQ(run.exitCode, 0) << run.err;
      EXPECT_EQ(run.err, "");
      const auto entries = ReadLog(path);
      ASSERT_EQ(entries.size(), frames);
      uint64_t previous = before;
      for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].first, i);
        EXPECT_GE(entries[i].second, previous) << "line " << i;
        previous = entries[i].second;
      }
      EXPECT_LE(previous, after);
    }
  }
  // Paced at 100 Hz, a present waits for the tick after the one before it,
  // so every second present is more than a period after.
  const Outcome paced = RunHelper({"6"}, {{"CUBE_PRESENT_LOG", path}, {"CUBE_REFRESH_HZ", "100"}});
  ASSERT_EQ(paced.exitCode, 0);
  const auto entries = ReadLog(path);
  ASSERT_EQ(entries.size(), 6u);
  for (size_t i = 2; i < entries.size(); ++i)
    EXPECT_GT(entries[i].second - entries[i - 2].second, 10000000u) << "line " << i;
}

TEST(HeadlessPresentLog, UnwritableLogIsReportedOnceAndThePresentsGoOn) {
  TempDir tmp;
  const std::string file = tmp.path + "/plain";
  std::ofstream(file) << "x";
  // Under a plain file, a directory, and a device that is always full
  // (which shows only when the first lines are flushed).
  for (const std::string& path : {file + "/presents.log", tmp.path, std::string("/dev/full")}) {
    SCOPED_TRACE(path);
    if (path == "/dev/full" && !fs::exists(path)) continue;
    const Outcome run = RunHelper({"700", "--exit-process"}, {{"CUBE_PRESENT_LOG", path}});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.Line("presents"), "700");
    const std::vector<std::string> lines = ErrLines(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_NE(lines[0].find(path), std::string::npos) << lines[0];
  }
  EXPECT_FALSE(fs::exists(file + "/presents.log"));
  EXPECT_EQ(Files(tmp.path), std::set<std::string>{"plain"});
}

TEST(SdlDisplay, WithoutADisplayThereAreNoModesAndTheProgramEndsQuietly) {
  const Outcome run = RunHelper({"1"}, {{"CUBE_DISPLAY", "sdl"}, {"SDL_VIDEODRIVER", "x11"}});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.Line("modes"), "0");
  EXPECT_EQ(run.Line("presents"), "(absent)");
  // An unknown name is reported and the default, sdl, is tried.
  const Outcome unknown = RunHelper({"1"}, {{"CUBE_DISPLAY", "wayland"}, {"SDL_VIDEODRIVER", "x11"}});
  EXPECT_EQ(unknown.exitCode, 0);
  EXPECT_EQ(ErrLines(unknown.err).size(), 1u) << unknown.err;
  EXPECT_EQ(unknown.Line("modes"), "0");
}

// A private X server, on whichever display number is free; stopped with
// the object.
class Xvfb {
 public:
  Xvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    const bool started =
        server_.Start({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "800x600x24", "-nolisten", "tcp"},
                      {});
    close(fds[1]);
    std::string number;
    pollfd in = {fds[0], POLLIN, 0};
    char c;
    while (started && poll(&in, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) name = ":" + number;
  }
  std::string name;

 private:
  ChildProcess server_;
};

TEST(SdlDisplay, WithoutAWorkingLibraryThereAreNoModesAndTheProgramEndsQuietly) {
  Xvfb server;
  if (server.name.empty()) GTEST_SKIP() << "no Xvfb here";
  // Found before the installed one: a file that is no library.
  TempDir tmp;
  std::ofstream(tmp.path + "/libSDL2-2.0.so.0") << "not a library";
  const Outcome run = RunHelper({"1"}, {{"CUBE_DISPLAY", "sdl"},
                                        {"DISPLAY", server.name},
                                        {"SDL_VIDEODRIVER", "x11"},
                                        {"LD_LIBRARY_PATH", tmp.path}});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.Line("modes"), "0");
  EXPECT_EQ(run.Line("presents"), "(absent)");
}

// A top-level window of the X server by its UTF-8 title, or 0.
::Window FindByTitle(Display* display, const std::string& title) {
  const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  ::Window root = 0, parent = 0, *children = nullptr, found = 0;
  unsigned count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count && found == 0; ++i) {
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, children[i], netName, 0, 256, False, utf8, &type, &format, &items, &after, &data) ==
            Success &&
        data != nullptr) {
      if (std::string(reinterpret_cast<char*>(data), items) == title) found = children[i];
      XFree(data);
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

// Pixels of the window that differ from frame k of the helper's picture.
unsigned WrongPixels(Display* display, ::Window window, unsigned k, unsigned width, unsigned height) {
  XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
  if (image == nullptr) return width * height;
  unsigned wrong = 0;
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x)
      if ((XGetPixel(image, static_cast<int>(x), static_cast<int>(y)) & 0xFFFFFF) != Pattern(k, x, y)) ++wrong;
  XDestroyImage(image);
  return wrong;
}

TEST(SdlDisplay, ShowsTheWindowAndItsPictureAndPassesOnTheUsersActions) {
  Xvfb server;
  if (server.name.empty()) GTEST_SKIP() << "no Xvfb here";
  const std::string title = "W\xC3\xBCrfel \xE2\x9C\x93";
  ChildProcess helper;
  ASSERT_TRUE(helper.Start({CUBE_DISPLAY_HELPER, "3", "--size", "96", "64", "--title", title, "--wait"},
                           {{"CUBE_DISPLAY", "sdl"}, {"DISPLAY", server.name}, {"SDL_VIDEODRIVER", "x11"}}));
  std::map<std::string, std::string> lines;
  for (std::string line; line != "ready";) {
    ASSERT_TRUE(helper.ReadLine(&line)) << "helper ended early: " << helper.out << helper.err;
    const size_t space = line.find(' ');
    if (space != std::string::npos) lines[line.substr(0, space)] = line.substr(space + 1);
  }
  EXPECT_NE(lines["modes"], "0");

  Display* display = XOpenDisplay(server.name.c_str());
  ASSERT_NE(display, nullptr);
  const ::Window window = FindByTitle(display, title);
  ASSERT_NE(window, 0u) << "no window titled " << title;
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
  EXPECT_EQ(attributes.width, 96);
  EXPECT_EQ(attributes.height, 64);
  int x = 0, y = 0;
  ::Window child;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  // Where the client area of a window placed at (10, 20) is.
  EXPECT_EQ(std::to_string(x) + " " + std::to_string(y), lines["client"]);
  // The helper presents its last frame over and over; give the server a
  // moment to show one.
  unsigned wrong = 96 * 64;
  for (int i = 0; i < 200 && wrong != 0; ++i) {
    wrong = WrongPixels(display, window, 2, 96, 64);
    if (wrong != 0) usleep(10000);
  }
  EXPECT_EQ(wrong, 0u);

  // The program was active since it showed its window: focus given to it
  // again is no news, focus taken away deactivates it.
  XSetInputFocus(display, window, RevertToNone, CurrentTime);
  XSync(display, False);
  XSetInputFocus(display, None, RevertToNone, CurrentTime);
  XFlush(display);
  std::string activation;
  ASSERT_TRUE(helper.ReadLine(&activation));
  EXPECT_EQ(activation, "activate 0");

  // Escape pressed while no window has the focus still shows in
  // GetAsyncKeyState: the X server is asked for the keyboard's state.
  // XTest presses it; its library is loaded only if it is there.
  using FakeKey = int (*)(Display*, unsigned, int, unsigned long);
  FakeKey fakeKey = nullptr;
  if (void* xtest = dlopen("libXtst.so.6", RTLD_NOW))
    fakeKey = reinterpret_cast<FakeKey>(dlsym(xtest, "XTestFakeKeyEvent"));
  if (fakeKey != nullptr) {
    const unsigned escape = XKeysymToKeycode(display, XK_Escape);
    fakeKey(display, escape, True, 0);
    XFlush(display);
    std::string seen;
    while (helper.ReadLine(&seen) && seen != "escape-seen") {
    }
    EXPECT_EQ(seen, "escape-seen");
    fakeKey(display, escape, False, 0);
    XFlush(display);
  } else {
    std::printf("libXtst.so.6 not found: Escape without focus not checked\n");
  }

  XSetInputFocus(display, window, RevertToNone, CurrentTime);
  XFlush(display);
  ASSERT_TRUE(helper.ReadLine(&activation));
  EXPECT_EQ(activation, "activate 1");

  // With the focus, keys arrive as messages with Windows' key codes.
  if (fakeKey != nullptr) {
    for (KeySym key : {XK_a, XK_7, XK_F5, XK_Left, XK_Return}) {
      fakeKey(display, XKeysymToKeycode(display, key), True, 0);
      fakeKey(display, XKeysymToKeycode(display, key), False, 0);
    }
    XFlush(display);
    std::vector<std::string> keys;
    for (std::string line; keys.size() < 5 && helper.ReadLine(&line);)
      if (line.rfind("keydown", 0) == 0) keys.push_back(line);
    EXPECT_EQ(keys, (std::vector<std::string>{"keydown 65", "keydown 55", "keydown 116", "keydown 37", "keydown 13"}));
  }

  // A window passing over it leaves it to be painted again.
  XSetWindowAttributes over = {};
  over.override_redirect = True;
  const ::Window cover = XCreateWindow(display, DefaultRootWindow(display), x - 5, y - 5, 200, 200, 0, CopyFromParent,
                                       InputOutput, CopyFromParent, CWOverrideRedirect, &over);
  XMapWindow(display, cover);
  XSync(display, False);
  XUnmapWindow(display, cover);
  XDestroyWindow(display, cover);
  XFlush(display);
  std::string painted;
  while (helper.ReadLine(&painted) && painted != "paint") {
  }
  EXPECT_EQ(painted, "paint");

  // The window manager's close button, as X clients are asked.
  XEvent close = {};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  close.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &close);
  XFlush(display);
  std::string line;
  while (helper.ReadLine(&line) && line.rfind("close", 0) != 0) {
  }
  EXPECT_EQ(line, "close 3") << helper.err;
  EXPECT_EQ(helper.Finish(), 0) << helper.err;
  EXPECT_NE(helper.out.find("sdl-mapped 1"), std::string::npos) << helper.out;
  XCloseDisplay(display);
}

// On either display, a signal to stop reaches the program as WM_CLOSE.
TEST(SignalToStop, ClosesTheWindowOnEitherDisplay) {
  Xvfb server;
  for (const char* display : {"headless", "sdl"}) {
    SCOPED_TRACE(display);
    if (std::string(display) == "sdl" && server.name.empty()) GTEST_SKIP() << "no Xvfb here";
    ChildProcess helper;
    ASSERT_TRUE(helper.Start({CUBE_DISPLAY_HELPER, "1", "--wait"},
                             {{"CUBE_DISPLAY", display}, {"DISPLAY", server.name}, {"SDL_VIDEODRIVER", "x11"}}));
    std::string line;
    while (helper.ReadLine(&line) && line != "ready") {
    }
    ASSERT_EQ(line, "ready") << helper.err;
    EXPECT_TRUE(helper.Signal(SIGTERM));
    while (helper.ReadLine(&line) && line.rfind("close", 0) != 0) {
    }
    EXPECT_EQ(line, "close 1") << helper.err;
    EXPECT_EQ(helper.Finish(), 0) << helper.err;
  }
}

}  // namespace

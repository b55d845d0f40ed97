// The real cube program on the headless display, driven and watched through
// its environment: captured frames against an independent computation of
// the scene, the ways out, and a long run that must leave nothing behind.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "hosted/hooks.h"
#include "scene/scene.h"
#include "hosted/fake_clock_screen.h"
#include "support/child_process.h"
#include "support/png_file.h"

namespace {

namespace fs = std::filesystem;

class CubeProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("cube-frames-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    log_ = dir_.string() + ".log";
    fs::remove(log_);
  }
  void TearDown() override {
    fs::remove_all(dir_);
    fs::remove(log_);
  }

  // Starts the program, after the words of prefix (a command that runs
  // the program it is given last), headless and unpaced, with these display
  // variables alone and the standard descriptors in closed closed.
  static bool Start(ChildProcess& cube, std::map<std::string, std::string> vars,
                    std::vector<std::string> prefix = {}, const std::vector<int>& closed = {}) {
    vars.emplace("CUBE_DISPLAY", "headless");
    vars.emplace("CUBE_REFRESH_HZ", "0");
    prefix.push_back(CUBE_PROGRAM);
    return cube.Start(prefix, vars, closed);
  }
  // Runs it to its end: its exit code, or -1 when it had to be killed after
  // a minute. What it printed is shown when it fails, and its errors are
  // kept in err.
  int Run(std::map<std::string, std::string> vars, std::vector<std::string> prefix = {}, std::string* err = nullptr) {
    ChildProcess cube;
    if (!Start(cube, std::move(vars), std::move(prefix))) return -2;
    const int code = cube.Finish();
    if (code != 0) std::fprintf(stderr, "%s%s", cube.out.c_str(), cube.err.c_str());
    if (err != nullptr) *err = cube.err;
    return code;
  }

  fs::path Frame(int index) const {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.png", index);
    return dir_ / name;
  }
  size_t FrameCount() const {
    if (!fs::exists(dir_)) return 0;
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }
  // The frames (frame-*.png) captured, each checked to decode.
  size_t WholeFrames() const {
    size_t frames = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      if (entry.path().extension() != ".png") continue;
      pixels::Picture frame(0, 0);
      EXPECT_TRUE(ReadPng(entry.path().string(), &frame)) << entry.path();
      ++frames;
    }
    return frames;
  }
  // Lines of the present log, each whole ("index nanoseconds", indices
  // counting from 0); -1 when one is not.
  long WholeLogLines() const {
    std::ifstream in(log_, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!text.empty() && text.back() != '\n') return -1;
    std::istringstream lines(text);
    long count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
      unsigned long long index = 0, nanos = 0;
      char extra = 0;
      if (std::sscanf(line.c_str(), "%llu %llu%c", &index, &nanos, &extra) != 2 || index != static_cast<size_t>(count))
        return -1;
    }
    return count;
  }

  fs::path dir_;
  // Where a test's present log goes, beside its frames.
  std::string log_;
};

// The scene after `steps` rotation steps, computed here from the rotation
// and shading formulas: each visible face's projected outline and grey.
struct ExpectedFace {
  double x[4];
  double y[4];
  uint32_t grey;
};

std::vector<ExpectedFace> ExpectedFaces(int steps) {
  static const int corners[8][3] = {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, -1}, {-1, 1, 1},
                                    {1, -1, -1},  {1, -1, 1},  {1, 1, -1},  {1, 1, 1}};
  static const int faces[6][4] = {{0, 3, 1, 2}, {0, 5, 4, 1}, {0, 6, 2, 4}, {6, 3, 2, 7}, {3, 5, 1, 7}, {4, 7, 6, 5}};
  double p[8][3];
  const double r = 3.14159265358979323846 / 180.0;
  const double a = steps == 0 ? 0 : (5 + 2 * (steps - 1)) % 360 * r;
  const double b = steps == 0 ? 0 : (2 + (steps - 1)) % 360 * r;
  const double c = steps == 0 ? 0 : (3 + 3 * (steps - 1)) % 360 * r;
  for (int k = 0; k < 8; ++k) {
    const double x = corners[k][0], y = corners[k][1], z = corners[k][2];
    const double y1 = std::cos(a) * y - std::sin(a) * z, z1 = std::sin(a) * y + std::cos(a) * z;
    const double x2 = std::cos(b) * x - std::sin(b) * z1, z2 = std::sin(b) * x + std::cos(b) * z1;
    p[k][0] = std::cos(c) * x2 - std::sin(c) * y1;
    p[k][1] = std::sin(c) * x2 + std::cos(c) * y1;
    p[k][2] = z2;
  }
  std::vector<ExpectedFace> visible;
  for (const auto& f : faces) {
    const double* A = p[f[0]];
    const double* B = p[f[1]];
    const double* C = p[f[2]];
    const double u[3] = {A[0] - B[0], A[1] - B[1], A[2] - B[2]};
    const double v[3] = {C[0] - A[0], C[1] - A[1], C[2] - A[2]};
    const double n[3] = {u[1] * v[2] - v[1] * u[2], u[2] * v[0] - v[2] * u[0], u[0] * v[1] - v[0] * u[1]};
    const double cosine = -n[2] / std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(cosine > 1e-9)) continue;
    ExpectedFace face{};
    const int order[4] = {f[0], f[2], f[1], f[3]};
    for (int i = 0; i < 4; ++i) {
      face.x[i] = 90 * p[order[i]][0] + 320;
      face.y[i] = 90 * p[order[i]][1] + 240;
    }
    face.grey = static_cast<uint32_t>(cosine * 255.0);
    visible.push_back(face);
  }
  return visible;
}

// Signed distance of (px, py) inside a convex outline (positive inside).
double Inside(const ExpectedFace& f, double px, double py) {
  double least = 1e9, area = 0;
  for (int i = 0; i < 4; ++i) area += f.x[i] * f.y[(i + 1) % 4] - f.x[(i + 1) % 4] * f.y[i];
  const double sign = area > 0 ? 1 : -1;
  for (int i = 0; i < 4; ++i) {
    const double ex = f.x[(i + 1) % 4] - f.x[i], ey = f.y[(i + 1) % 4] - f.y[i];
    const double d = sign * (ex * (py - f.y[i]) - ey * (px - f.x[i])) / std::hypot(ex, ey);
    least = std::min(least, d);
  }
  return least;
}

// Pixels of a frame that differ from the computed scene, everywhere but
// within two pixels of an outline, where rasterisation and float rounding
// decide; checked counts the pixels compared.
int WrongPixels(const pixels::Picture& frame, int steps, int* checked) {
  const std::vector<ExpectedFace> faces = ExpectedFaces(steps);
  int wrong = 0;
  *checked = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      uint32_t expected = 0;
      bool nearEdge = false;
      for (const ExpectedFace& f : faces) {
        const double d = Inside(f, x, y);
        if (std::fabs(d) < 2.0) nearEdge = true;
        if (d > 0) expected = f.grey * 0x010101u;
      }
      if (nearEdge) continue;
      ++*checked;
      const uint32_t seen = frame.at(x, y);
      const int diff = std::abs(static_cast<int>(seen & 0xFF) - static_cast<int>(expected & 0xFF));
      if (diff > 1 || seen != (seen & 0xFF) * 0x010101u) ++wrong;
    }
  return wrong;
}

TEST_F(CubeProgramTest, FirstFrameIsTheWhiteFrontSquare) {
  EXPECT_EQ(Run({{"CUBE_CAPTURE_DIR", dir_}, {"CUBE_CAPTURE_FRAMES", "0"}, {"CUBE_CLOSE_AFTER", "1"}}), 0);
  pixels::Picture frame(0, 0);
  ASSERT_TRUE(ReadPng(Frame(0), &frame));
  ASSERT_EQ(frame.width, 640);
  ASSERT_EQ(frame.height, 480);
  int wrong = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      if (frame.at(x, y) != ((x >= 230 && x <= 410 && y >= 150 && y <= 330) ? 0xFFFFFFu : 0u)) ++wrong;
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(FrameCount(), 1u);
}

TEST_F(CubeProgramTest, TurnedFramesShowTheComputedFacesAndGreys) {
  EXPECT_EQ(Run({{"CUBE_CAPTURE_DIR", dir_}, {"CUBE_CAPTURE_FRAMES", "1,37,180,359"}, {"CUBE_CLOSE_AFTER", "360"}}),
            0);
  for (int index : {1, 37, 180, 359}) {
    pixels::Picture frame(0, 0);
    ASSERT_TRUE(ReadPng(Frame(index), &frame)) << index;
    ASSERT_EQ(frame.width, 640);
    ASSERT_EQ(frame.height, 480);
    // Repaints of the window present too, showing the frame before again,
    // so present n shows the scene after n steps or a few less.
    int best = -1, fewest = 640 * 480, checked = 0;
    for (int steps = index; steps >= 0 && steps >= index - 8; --steps) {
      int seen = 0;
      const int wrong = WrongPixels(frame, steps, &seen);
      if (wrong < fewest) {
        fewest = wrong;
        best = steps;
        checked = seen;
      }
    }
    EXPECT_EQ(fewest, 0) << "present " << index << ", closest to " << best << " steps";
    EXPECT_GT(checked, 600 * 440);
  }
}

TEST_F(CubeProgramTest, EscapeHeldFromTheStartEndsAfterOneTurnedFrame) {
  EXPECT_EQ(Run({{"CUBE_CAPTURE_DIR", dir_}, {"CUBE_ESCAPE_AFTER", "0"}}), 0);
  // The unturned frame, then one turned frame.
  EXPECT_EQ(FrameCount(), 2u);
  EXPECT_TRUE(fs::exists(Frame(1)));
}

// The click after the Nth present is dispatched by one poll and its close
// event returned by the next, so the program draws one more frame: N + 1
// presents. Near the start, where the window's first paint messages are
// still queued (one message a frame), their frames come on top.
TEST_F(CubeProgramTest, CloseButtonEndsTheLoopWithZero) {
  const std::pair<const char*, long> cases[] = {{"1", 5}, {"4", 5}, {"5", 6}, {"6", 8}, {"7", 8}, {"300", 301}};
  for (const auto& [after, presents] : cases) {
    SCOPED_TRACE(after);
    EXPECT_EQ(Run({{"CUBE_PRESENT_LOG", log_}, {"CUBE_CLOSE_AFTER", after}}), 0);
    EXPECT_EQ(WholeLogLines(), presents);
  }
}

// Interrupted, terminated or hung up on, the program ends as its close
// button ends it: exit code 0, every present logged and captured whole.
TEST_F(CubeProgramTest, SignalsToStopEndItAsItsCloseButtonDoes) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    fs::remove_all(dir_);
    ChildProcess cube;
    ASSERT_TRUE(Start(cube, {{"CUBE_CAPTURE_DIR", dir_}, {"CUBE_PRESENT_LOG", log_}}));
    for (int i = 0; i < 2000 && FrameCount() < 20; ++i) usleep(10000);
    EXPECT_TRUE(cube.Signal(signal));
    EXPECT_EQ(cube.Finish(), 0);
    EXPECT_EQ(cube.err, "");
    const long presents = WholeLogLines();
    EXPECT_GE(presents, 20);
    EXPECT_EQ(static_cast<long>(FrameCount()), presents);
    EXPECT_EQ(static_cast<long>(WholeFrames()), presents);
  }
}

// Paced at 1 Hz, closing takes seconds; a second signal meanwhile ends the
// program at once, by that signal.
TEST_F(CubeProgramTest, ASecondSignalWhileClosingEndsItAtOnce) {
  ChildProcess cube;
  ASSERT_TRUE(Start(cube, {{"CUBE_CAPTURE_DIR", dir_}, {"CUBE_REFRESH_HZ", "1"}}));
  for (int i = 0; i < 2000 && FrameCount() < 1; ++i) usleep(10000);
  EXPECT_TRUE(cube.Signal(SIGINT));
  EXPECT_TRUE(cube.Signal(SIGTERM));
  EXPECT_EQ(cube.Finish(), -1);
  EXPECT_EQ(cube.endedBy, SIGTERM);
}

// Started with standard error closed, the program must not give its number
// to the log: the report of the capture that cannot be made goes nowhere.
TEST_F(CubeProgramTest, ReportsWithStandardErrorClosedStayOutOfTheLog) {
  const fs::path plain = dir_ / "plain";
  fs::create_directories(dir_);
  std::ofstream(plain) << "x";
  ChildProcess cube;
  ASSERT_TRUE(Start(cube, {{"CUBE_PRESENT_LOG", log_}, {"CUBE_CAPTURE_DIR", plain / "frames"}, {"CUBE_CLOSE_AFTER", "3"}},
                    {}, {STDERR_FILENO}));
  EXPECT_EQ(cube.Finish(), 0);
  EXPECT_GE(WholeLogLines(), 3);
}

// A log on a pipe whose reader has gone or on a full device (found only at
// the last flush), captures past the file-size limit: the writes fail, are
// reported once, and the program goes on to its ordinary end; no frame is
// left behind half written.
TEST_F(CubeProgramTest, WritesThatFailAreReportedAndNeverEndTheProgram) {
  const struct {
    std::vector<std::string> prefix;
    std::map<std::string, std::string> vars;
    const char* report;
    long logLines = 0;
  } cases[] = {
      {{"bash", "-c", "\"$0\" | head -n 1 >/dev/null; exit ${PIPESTATUS[0]}"},
       {{"CUBE_PRESENT_LOG", "/dev/stdout"}, {"CUBE_CLOSE_AFTER", "3000"}},
       "cannot write CUBE_PRESENT_LOG"},
      {{"prlimit", "--fsize=100", "--"},
       {{"CUBE_CAPTURE_DIR", dir_}, {"CUBE_CAPTURE_FRAMES", "0-3"}, {"CUBE_CLOSE_AFTER", "5"}},
       "frames are not captured"},
      {{}, {{"CUBE_PRESENT_LOG", "/dev/full"}, {"CUBE_CLOSE_AFTER", "5"}}, "cannot write CUBE_PRESENT_LOG"},
      // A file-size limit met in the log's second flush, as a disk that
      // fills: the log ends on the first flush's 256 lines.
      {{"prlimit", "--fsize=7000", "--"},
       {{"CUBE_PRESENT_LOG", log_}, {"CUBE_CLOSE_AFTER", "1000"}},
       "cannot write CUBE_PRESENT_LOG",
       256},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.report);
    std::string err;
    EXPECT_EQ(Run(c.vars, c.prefix, &err), 0);
    EXPECT_NE(err.find(c.report), std::string::npos) << err;
    EXPECT_EQ(FrameCount(), 0u);
    if (c.logLines != 0) {
      EXPECT_EQ(WholeLogLines(), c.logLines);
    }
  }
}

// Killed while it captures, the program leaves frames that are whole.
TEST_F(CubeProgramTest, FramesOfAStoppedCaptureAreWholeOrAbsent) {
  ChildProcess cube;
  ASSERT_TRUE(Start(cube, {{"CUBE_CAPTURE_DIR", dir_}}));
  for (int i = 0; i < 2000 && FrameCount() < 41; ++i) usleep(10000);
  EXPECT_TRUE(cube.Signal(SIGKILL));
  cube.Finish();
  EXPECT_GE(WholeFrames(), 40u);
}

TEST_F(CubeProgramTest, WithoutDirect3DNothingIsShownAndTheExitCodeIsZero) {
  EXPECT_EQ(Run({{"CUBE_CAPTURE_DIR", dir_}, {"CUBE_NO_D3D9", "1"}, {"CUBE_CLOSE_AFTER", "1"}}), 0);
  EXPECT_EQ(FrameCount(), 0u);
}

TEST_F(CubeProgramTest, SixteenBitDesktopsDrawTheSameGeometry) {
  auto shapes = [&](const char* format) {
    fs::remove_all(dir_);
    EXPECT_EQ(Run({{"CUBE_CAPTURE_DIR", dir_}, {"CUBE_CAPTURE_FRAMES", "50"}, {"CUBE_CLOSE_AFTER", "51"},
                   {"CUBE_DESKTOP_FORMAT", format}}),
              0);
    pixels::Picture frame(0, 0);
    EXPECT_TRUE(ReadPng(Frame(50), &frame)) << format;
    std::vector<bool> lit(frame.rgb.size());
    for (size_t i = 0; i < lit.size(); ++i) lit[i] = frame.rgb[i] != 0;
    return lit;
  };
  const std::vector<bool> full = shapes("x8r8g8b8");
  ASSERT_EQ(full.size(), 640u * 480u);
  EXPECT_EQ(shapes("r5g6b5"), full);
  EXPECT_EQ(shapes("x1r5g5b5"), full);
}

using CubeLongRunTest = FakeClockScreenFixture;

TEST_F(CubeLongRunTest, TwentyThousandFramesLeaveNothingBehind) {
  SceneSetUp();
  HWND window = OpenSceneScreen();
  RenderFrame();
  const unsigned gdi = hosted::GdiLiveObjects();
  const size_t blocks = hosted::HeapLiveBlocks(MainHeap);
  const int d3d = hosted::D3D9LiveObjects();
  for (int frame = 0; frame < 20000; ++frame) {
    RotateCube();
    RenderFrame();
    WindowPollEvent();
  }
  EXPECT_EQ(hosted::GdiLiveObjects(), gdi);
  EXPECT_EQ(hosted::HeapLiveBlocks(MainHeap), blocks);
  EXPECT_EQ(hosted::D3D9LiveObjects(), d3d);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(IsWindow(Screen.childWindow));
  EXPECT_EQ(Screen.deviceActive, 1);
}

}  // namespace

// The whole program's figures, each beside its baseline from the same run:
// the hosted cube on the headless display, timed through its present log,
// next to SDL2's software renderer doing the same frame's work in this
// process and, when given, the Windows build of the program under wine64.
//   cube_bench --cube PATH [--name NAME] [--wine-run PATH --wine-exe PATH]
//              [--repeat N] [--wine-frames N]
//              [--only unpaced,sdl,floor,wine,paced,start]
// bench/cube_bench.sh builds what it needs and runs it; bench/card_bench.sh
// runs the same figures for the test card (--name card), whose frames the
// SDL baseline does not draw.
#include <SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr unsigned kUnpacedFrames = 20000;
constexpr unsigned kPacedFrames = 600;
constexpr double kPeriodNs = 1e9 / 60.0;

uint64_t NowNs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

double Median(std::vector<double> values) {
  if (values.empty()) return NAN;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string List(const std::vector<double>& values, const char* format) {
  std::string out;
  char item[32];
  for (double v : values) {
    std::snprintf(item, sizeof item, format, v);
    out += out.empty() ? "" : ", ";
    out += item;
  }
  return out;
}

// ---- a child process, timed and measured by the kernel ----

struct Run {
  bool ok = false;
  int exitCode = -1;
  uint64_t spawnedNs = 0;  // just before posix_spawn
  uint64_t endedNs = 0;    // when wait4 returned
  double cpuSeconds = 0;   // user + system
  long peakRssKb = 0;      // the process's own high-water mark, or 0
  std::string out;         // standard output, when captured
};

// VmHWM of a live process, in kB; 0 when it cannot be read.
long HighWaterKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// Runs argv with the caller's environment plus env; standard error goes
// where ours does, standard output is captured when capture is set and
// otherwise dropped. watchMemory reads the peak resident size at the exit
// (wine is left alone: its server traces its own processes).
Run Spawn(const std::vector<std::string>& args, const std::map<std::string, std::string>& env, bool capture,
          bool watchMemory) {
  Run run;
  std::vector<std::string> vars;
  // The display's controls are only those given: a CUBE_ variable of the
  // caller's would change what is measured.
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string var = *e;
    if (var.rfind("CUBE_", 0) != 0 && env.count(var.substr(0, var.find('='))) == 0) vars.push_back(var);
  }
  for (const auto& [name, value] : env) vars.push_back(name + "=" + value);
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& v : vars) envp.push_back(const_cast<char*>(v.c_str()));
  envp.push_back(nullptr);

  int out[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (capture) {
    if (pipe(out) != 0) return run;
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = -1;
  run.spawnedNs = NowNs();
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (capture) {
    close(out[1]);
    char buffer[4096];
    for (ssize_t n; failed == 0 && (n = read(out[0], buffer, sizeof buffer)) > 0;)
      run.out.append(buffer, static_cast<size_t>(n));
    close(out[0]);
  }
  if (failed != 0) {
    std::fprintf(stderr, "cube_bench: cannot start %s\n", argv[0]);
    return run;
  }
  // wait4's ru_maxrss will not do: a spawned child shares this process's
  // memory until its exec, and the kernel keeps that size as the child's
  // peak. The child's own mark is read from /proc when it stops at its
  // exit, before its memory goes.
  const bool traced = watchMemory && ptrace(PTRACE_SEIZE, pid, nullptr, PTRACE_O_TRACEEXIT) == 0;
  int status = 0;
  rusage usage{};
  for (;;) {
    if (wait4(pid, &status, traced ? __WALL : 0, &usage) != pid) return run;
    if (!WIFSTOPPED(status)) break;
    int pass = 0;
    if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) run.peakRssKb = HighWaterKb(pid);
    else if (status >> 16 == 0) pass = WSTOPSIG(status);
    ptrace(PTRACE_CONT, pid, nullptr, pass);
  }
  run.endedNs = NowNs();
  run.ok = WIFEXITED(status);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return run;
}

// The present log: one "index nanoseconds" line per present. Empty when a
// line does not read, or an index is out of order.
std::vector<uint64_t> ReadPresentLog(const std::string& path) {
  std::vector<uint64_t> times;
  std::ifstream in(path);
  uint64_t index = 0, ns = 0;
  while (in >> index >> ns) {
    if (index != times.size()) return {};
    times.push_back(ns);
  }
  if (!in.eof()) return {};
  return times;
}

struct CubeRun {
  Run run;
  std::vector<uint64_t> presents;
};

CubeRun RunCube(const std::string& cube, const std::string& log, unsigned hz, unsigned closeAfter) {
  std::remove(log.c_str());
  CubeRun result;
  result.run = Spawn({cube},
                     {{"CUBE_DISPLAY", "headless"},
                      {"CUBE_REFRESH_HZ", std::to_string(hz)},
                      {"CUBE_CLOSE_AFTER", std::to_string(closeAfter)},
                      {"CUBE_PRESENT_LOG", log}},
                     false, true);
  result.presents = ReadPresentLog(log);
  if (!result.run.ok || result.run.exitCode != 0 || result.presents.size() < closeAfter) {
    std::fprintf(stderr, "cube_bench: %s ended with %d after %zu logged presents (wanted %u)\n", cube.c_str(),
                 result.run.exitCode, result.presents.size(), closeAfter);
    result.presents.clear();
  }
  return result;
}

// ---- the SDL2 baseline: the same frame through SDL's software renderer ----

// The cube's corners and faces (A, B diagonal; outline A, C, B, D).
const signed char kCorners[24] = {-1, -1, -1, -1, -1, 1, -1, 1, -1, -1, 1, 1,
                                  1,  -1, -1, 1,  -1, 1, 1,  1, -1, 1,  1, 1};
const signed char kFaces[24] = {0, 3, 1, 2, 0, 5, 4, 1, 0, 6, 2, 4, 6, 3, 2, 7, 3, 5, 1, 7, 4, 7, 6, 5};

struct Quad {
  float x[4];
  float y[4];
  uint8_t grey;
};

// Frame k's visible faces: corners turned by the angles after k steps,
// faces towards the light (0, 0, -4) shaded by their cosine, corners
// projected at scale 90 about (320, 240) and truncated.
int FrameQuads(unsigned k, Quad* quads) {
  float v[24];
  for (int i = 0; i < 24; ++i) v[i] = kCorners[i];
  // The first frame shows the corners as loaded; frame k turns them by the
  // angles after k - 1 steps of (2, 1, 3) degrees from (5, 2, 3).
  if (k > 0) {
    const double factor = 0.017453292f;
    const double a = (5 + 2 * (k - 1)) % 360 * factor;
    const double b = (2 + (k - 1)) % 360 * factor;
    const double c = (3 + 3 * (k - 1)) % 360 * factor;
    for (int i = 0; i < 8; ++i) {
      const double x = kCorners[3 * i], y = kCorners[3 * i + 1], z = kCorners[3 * i + 2];
      const float y1 = static_cast<float>(std::cos(a) * y - std::sin(a) * z);
      const float z1 = static_cast<float>(std::sin(a) * y + std::cos(a) * z);
      const float x2 = static_cast<float>(std::cos(b) * x - std::sin(b) * z1);
      const float z2 = static_cast<float>(std::sin(b) * x + std::cos(b) * z1);
      v[3 * i] = static_cast<float>(std::cos(c) * x2 - std::sin(c) * y1);
      v[3 * i + 1] = static_cast<float>(std::sin(c) * x2 + std::cos(c) * y1);
      v[3 * i + 2] = z2;
    }
  }
  int count = 0;
  for (int f = 0; f < 6; ++f) {
    const signed char* q = kFaces + 4 * f;
    const float* A = v + 3 * q[0];
    const float* B = v + 3 * q[1];
    const float* C = v + 3 * q[2];
    const float e[3] = {static_cast<float>(static_cast<double>(A[0]) - B[0]),
                        static_cast<float>(static_cast<double>(A[1]) - B[1]),
                        static_cast<float>(static_cast<double>(A[2]) - B[2])};
    const float d[3] = {static_cast<float>(static_cast<double>(C[0]) - A[0]),
                        static_cast<float>(static_cast<double>(C[1]) - A[1]),
                        static_cast<float>(static_cast<double>(C[2]) - A[2])};
    const float nx = static_cast<float>(static_cast<double>(e[1]) * d[2] - static_cast<double>(d[1]) * e[2]);
    const float ny = static_cast<float>(static_cast<double>(e[2]) * d[0] - static_cast<double>(d[2]) * e[0]);
    const float nz = static_cast<float>(static_cast<double>(e[0]) * d[1] - static_cast<double>(d[0]) * e[1]);
    const float len = static_cast<float>(
        std::sqrt(static_cast<double>(nx) * nx + static_cast<double>(ny) * ny + static_cast<double>(nz) * nz));
    const float shade = static_cast<float>(static_cast<double>(nz) * -4 / (static_cast<double>(len) * 4));
    if (!(shade > 0.0f)) continue;
    Quad& out = quads[count++];
    const int order[4] = {q[0], q[2], q[1], q[3]};
    for (int j = 0; j < 4; ++j) {
      out.x[j] = static_cast<float>(std::trunc(90.0 * v[3 * order[j]] + 320));
      out.y[j] = static_cast<float>(std::trunc(90.0 * v[3 * order[j] + 1] + 240));
    }
    out.grey = static_cast<uint8_t>(static_cast<int>(std::trunc(static_cast<double>(shade) * 255.0)) & 0xFF);
  }
  return count;
}

// Microseconds per frame of frames frames, or NaN when SDL fails.
double SdlFrames(unsigned frames) {
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_RGB888);
  SDL_Renderer* renderer = surface != nullptr ? SDL_CreateSoftwareRenderer(surface) : nullptr;
  if (renderer == nullptr) {
    std::fprintf(stderr, "cube_bench: SDL software renderer: %s\n", SDL_GetError());
    if (surface != nullptr) SDL_FreeSurface(surface);
    return NAN;
  }
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
  const int indices[6] = {0, 1, 2, 0, 2, 3};
  Quad quads[6];
  auto frame = [&](unsigned k) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    const int count = FrameQuads(k, quads);
    for (int i = 0; i < count; ++i) {
      SDL_Vertex v[4];
      for (int j = 0; j < 4; ++j) {
        v[j].position = {quads[i].x[j], quads[i].y[j]};
        v[j].color = {quads[i].grey, quads[i].grey, quads[i].grey, 255};
        v[j].tex_coord = {0, 0};
      }
      SDL_RenderGeometry(renderer, nullptr, v, 4, indices, 6);
    }
    // Runs the queued commands into the surface.
    SDL_RenderFlush(renderer);
  };
  // Frame 0 is a white square about the centre: check that SDL drew it.
  frame(0);
  const uint32_t centre = static_cast<const uint32_t*>(surface->pixels)[240 * (surface->pitch / 4) + 320];
  if ((centre & 0xFFFFFF) != 0xFFFFFF) std::fprintf(stderr, "cube_bench: SDL's first frame is not white\n");
  const uint64_t start = NowNs();
  for (unsigned k = 1; k <= frames; ++k) frame(k);
  const uint64_t end = NowNs();
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(surface);
  return static_cast<double>(end - start) / 1e3 / frames;
}

// ---- the memory floor: what every frame must move on this machine ----

// Four pixels at a time, as the present's vectorised loop does; this file
// is built at -O2, which would leave a plain loop scalar.
void CopyMasked(const uint32_t* from, uint32_t* to, size_t count) {
  using Four = uint32_t __attribute__((vector_size(16)));
  const Four mask = {0xFFFFFFu, 0xFFFFFFu, 0xFFFFFFu, 0xFFFFFFu};
  for (size_t p = 0; p + 4 <= count; p += 4) {
    Four v;
    std::memcpy(&v, from + p, sizeof v);
    v &= mask;
    std::memcpy(to + p, &v, sizeof v);
  }
}

struct Floor {
  double memsetUs;
  double memsetCopyUs;
};

// A 1.2 MB memset, and the same followed by a 32-bit copy of the frame as a
// present makes; the best of several blocks, in microseconds.
Floor MemoryFloor() {
  std::vector<uint32_t> back(kWidth * kHeight, 1), picture(kWidth * kHeight, 2);
  auto time = [&](bool copy) {
    double best = INFINITY;
    for (int block = 0; block < 5; ++block) {
      const uint64_t start = NowNs();
      for (int i = 0; i < 400; ++i) {
        std::memset(back.data(), 0, back.size() * 4);
        if (copy) CopyMasked(back.data(), picture.data(), back.size());
        // The stores must happen, every time.
        asm volatile("" : : "r"(back.data()), "r"(picture.data()) : "memory");
      }
      best = std::min(best, static_cast<double>(NowNs() - start) / 1e3 / 400);
    }
    return best;
  };
  return {time(false), time(true)};
}

// ---- figures ----

struct Options {
  std::string cube;
  std::string wineRun;
  std::string wineExe;
  unsigned repeat = 3;
  unsigned wineFrames = 2000;
  std::string only;
  std::string log;
};

bool Wanted(const Options& o, const char* name) {
  if (o.only.empty()) return true;
  return ("," + o.only + ",").find(std::string(",") + name + ",") != std::string::npos;
}

void Row(const char* figure, const std::string& measured, const std::string& baseline) {
  std::printf("%-44s %-24s %s\n", figure, measured.c_str(), baseline.c_str());
}

std::string Format(const char* format, double a, double b = 0) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// How many times the cube's rate a baseline's is, when both were measured.
// The program measured, as the rows name it.
std::string programName = "cube";

std::string Ratio(double baselineUs, double cubeUs, const char* format) {
  if (std::isnan(cubeUs) || std::isnan(baselineUs)) return programName + " not measured; ";
  return programName + Format(format, baselineUs / cubeUs);
}

long peakRssKb = 0;

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--cube" && more) o.cube = argv[++i];
    else if (a == "--name" && more) programName = argv[++i];
    else if (a == "--wine-run" && more) o.wineRun = argv[++i];
    else if (a == "--wine-exe" && more) o.wineExe = argv[++i];
    else if (a == "--repeat" && more) o.repeat = static_cast<unsigned>(std::max(1, std::atoi(argv[++i])));
    else if (a == "--wine-frames" && more) o.wineFrames = static_cast<unsigned>(std::max(1, std::atoi(argv[++i])));
    else if (a == "--only" && more) o.only = argv[++i];
    else {
      std::fprintf(stderr, "usage: %s --cube PATH [--name NAME] [--wine-run PATH --wine-exe PATH] [--repeat N] "
                           "[--wine-frames N] [--only unpaced,sdl,floor,wine,paced,start]\n", argv[0]);
      return 2;
    }
  }
  if (o.cube.empty()) {
    std::fprintf(stderr, "cube_bench: --cube is required\n");
    return 2;
  }
  // Each row as soon as it is measured, even into a pipe.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  char dir[] = "/tmp/cube-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  o.log = std::string(dir) + "/presents.log";

  std::printf("%-44s %-24s %s\n", "figure", "measured", "baseline (same run) / aim");
  std::fflush(stdout);

  // Unpaced: every figure the median of o.repeat runs.
  double cubeUs = NAN;
  if (Wanted(o, "unpaced")) {
    std::vector<double> us;
    for (unsigned r = 0; r < o.repeat; ++r) {
      const CubeRun c = RunCube(o.cube, o.log, 0, kUnpacedFrames);
      if (c.presents.size() < 2) continue;
      us.push_back(static_cast<double>(c.presents.back() - c.presents.front()) / 1e3 /
                   static_cast<double>(c.presents.size() - 1));
      peakRssKb = std::max(peakRssKb, c.run.peakRssKb);
    }
    cubeUs = Median(us);
    Row("unpaced headless frame, 20000 frames", Format("%.1f us (%.0f fps)", cubeUs, 1e6 / cubeUs),
        std::string(programName == "cube" ? "aim well under 100 us; " : "") + "runs: " + List(us, "%.1f"));
  }
  if (Wanted(o, "sdl")) {
    SDL_Init(0);
    std::vector<double> us;
    for (unsigned r = 0; r < o.repeat; ++r) us.push_back(SdlFrames(kUnpacedFrames));
    SDL_Quit();
    const double sdlUs = Median(us);
    Row("  SDL2 software renderer, same frames", Format("%.1f us (%.0f fps)", sdlUs, 1e6 / sdlUs),
        Ratio(sdlUs, cubeUs, " is %.2fx its rate (aim >= 2x); ") + "runs: " + List(us, "%.1f"));
  }
  if (Wanted(o, "floor")) {
    const Floor f = MemoryFloor();
    Row("  floor: 1.2 MB memset / + 1.2 MB copy", Format("%.1f us / %.1f us", f.memsetUs, f.memsetCopyUs),
        "a frame's clear, and the clear with the present's copy");
  }
  if (Wanted(o, "wine")) {
    if (o.wineRun.empty() || o.wineExe.empty()) {
      Row("  mingw-x86_64 build under wine64", "not run", "no wine64 or MinGW build given");
    } else {
      const Run w = Spawn({o.wineRun, o.wineExe, std::to_string(o.wineFrames)}, {}, true, false);
      double wineUs = NAN;
      std::istringstream out(w.out);
      for (std::string word; out >> word;)
        if (word == "us_per_frame") out >> wineUs;
      if (std::isnan(wineUs)) {
        Row("  mingw-x86_64 build under wine64", "failed", "harness said: " + w.out);
      } else {
        Row("  mingw-x86_64 build under wine64", Format("%.1f us (%.0f fps)", wineUs, 1e6 / wineUs),
            Ratio(wineUs, cubeUs, " is %.1fx its rate (aim >= 10x); ") + std::to_string(o.wineFrames) + " frames");
      }
    }
  }

  if (Wanted(o, "paced")) {
    const CubeRun c = RunCube(o.cube, o.log, 60, kPacedFrames);
    if (c.presents.size() >= 3) {
      // From the second present on: the first one comes at whatever point
      // of the retrace clock the program started.
      std::vector<double> deviations;
      for (size_t i = 2; i < c.presents.size(); ++i)
        deviations.push_back(std::fabs(static_cast<double>(c.presents[i] - c.presents[i - 1]) - kPeriodNs));
      const double meanMs = static_cast<double>(c.presents.back() - c.presents[1]) / 1e6 /
                            static_cast<double>(c.presents.size() - 2);
      std::sort(deviations.begin(), deviations.end());
      // Nearest rank.
      const size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(deviations.size())));
      const double p99Ms = deviations[std::max<size_t>(rank, 1) - 1] / 1e6;
      const double wall = static_cast<double>(c.run.endedNs - c.run.spawnedNs) / 1e9;
      peakRssKb = std::max(peakRssKb, c.run.peakRssKb);
      Row("paced 60 Hz, 600 frames: mean interval", Format("%.4f ms", meanMs),
          Format("16.6667 ms, aim within 0.5%%; off by %.3f%%", 100 * (meanMs - kPeriodNs / 1e6) / (kPeriodNs / 1e6)));
      Row("  99th percentile |interval - 16.667 ms|", Format("%.3f ms", p99Ms),
          Format("aim <= 1 ms; largest %.3f ms", deviations.back() / 1e6));
      Row("  CPU, user + system over wall", Format("%.2f%% of a core", 100 * c.run.cpuSeconds / wall),
          Format("aim <= %.0f%%", programName == "cube" ? 5 : 25) +
              Format("; %.3f s over %.2f s", c.run.cpuSeconds, wall));
    } else {
      Row("paced 60 Hz, 600 frames", "failed", "");
    }
  }

  if (Wanted(o, "start")) {
    std::vector<double> firstMs, trueMs;
    long trueRssKb = 0;
    for (int r = 0; r < 10; ++r) {
      const CubeRun c = RunCube(o.cube, o.log, 0, 1);
      if (!c.presents.empty()) firstMs.push_back(static_cast<double>(c.presents[0] - c.run.spawnedNs) / 1e6);
      peakRssKb = std::max(peakRssKb, c.run.peakRssKb);
      // The floor: a process that starts and ends at once.
      const Run t = Spawn({"/bin/true"}, {}, false, true);
      if (t.ok) trueMs.push_back(static_cast<double>(t.endedNs - t.spawnedNs) / 1e6);
      trueRssKb = std::max(trueRssKb, t.peakRssKb);
    }
    Row("start to first present, median of 10", Format("%.2f ms", Median(firstMs)),
        Format("aim < 20 ms; /bin/true start to exit %.2f ms; runs: ", Median(trueMs)) + List(firstMs, "%.1f"));
    Row("peak resident memory, headless", Format("%.1f MB", static_cast<double>(peakRssKb) / 1024),
        Format("aim < 16 MB; /bin/true %.1f MB; largest VmHWM at exit of the runs above",
               static_cast<double>(trueRssKb) / 1024));
  }

  std::remove(o.log.c_str());
  rmdir(dir);
  return 0;
}

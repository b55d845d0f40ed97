// The program as it ships, timed frame by frame on the Windows lane (under
// wine64 here). A thread waits for the screen's device and puts a counter
// in front of its Present in the device's method table; after a few frames
// to settle it times the next ones, prints the time per frame and asks the
// window to close as the close button does. The program is not changed.
//   cube_frames [FRAMES], card_frames [FRAMES]   print "frames N us_per_frame X"
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform.h"
#include "bench/frame_harness_program.h"
#include "screen/screen.h"

namespace {

using PresentFn = HRESULT(WINAPI*)(IDirect3DDevice9*, const RECT*, const RECT*, HWND, const RGNDATA*);

// Present's place in the device's table: IUnknown's three methods, then
// fourteen of IDirect3DDevice9 before it.
constexpr int kPresentSlot = 17;
constexpr long kSettleFrames = 20;

std::atomic<PresentFn> original{nullptr};
long timedFrames = 2000;
std::atomic<long> presents{0};
LARGE_INTEGER started;

HRESULT WINAPI CountedPresent(IDirect3DDevice9* device, const RECT* source, const RECT* destination, HWND window,
                              const RGNDATA* dirty) {
  const HRESULT result = original.load()(device, source, destination, window, dirty);
  const long count = ++presents;
  if (count == kSettleFrames) {
    QueryPerformanceCounter(&started);
  } else if (count == kSettleFrames + timedFrames) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    const double micros = static_cast<double>(now.QuadPart - started.QuadPart) * 1e6 /
                          static_cast<double>(frequency.QuadPart) / static_cast<double>(timedFrames);
    std::printf("frames %ld us_per_frame %.2f\n", timedFrames, micros);
    // ExitProcess does not empty the C runtime's buffers.
    std::fflush(stdout);
    PostMessageW(Screen.parentWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  return result;
}

bool Hook(IDirect3DDevice9* device) {
  void** table = *reinterpret_cast<void***>(device);
  void** slot = table + kPresentSlot;
  DWORD previous = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous)) return false;
  original = reinterpret_cast<PresentFn>(*slot);
  *slot = reinterpret_cast<void*>(&CountedPresent);
  VirtualProtect(slot, sizeof *slot, previous, &previous);
  FlushInstructionCache(GetCurrentProcess(), slot, sizeof *slot);
  return true;
}

void Watch() {
  std::thread([] {
    // Two minutes without the frames counted is a stalled loop: end with 3.
    for (int waited = 0; waited < 120000; ++waited) {
      IDirect3DDevice9* device = std::atomic_ref<IDirect3DDevice9*>(Screen.device).load();
      if (device != nullptr && original.load() == nullptr && !Hook(device)) {
        std::printf("cannot hook Present\n");
        std::fflush(stdout);
        ExitProcess(4);
      }
      Sleep(1);
    }
    std::printf("stalled after %ld presents\n", presents.load());
    std::fflush(stdout);
    ExitProcess(3);
  }).detach();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) timedFrames = std::max(1L, std::atol(argv[1]));
  Watch();
  HarnessProgram();
}

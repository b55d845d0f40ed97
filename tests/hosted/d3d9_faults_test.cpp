// The substitute's Direct3D 9 driven through its hooks: a missing library,
// an adapter without modes, 16-bit desktops, refused calls with their exact
// results, scripted device states, the injected retrace clock, what a
// present shows, call counts and object lifetimes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "hosted/hooks.h"
#include "platform.h"
#include "platform/d3d9_params.h"
#include "support/window_class.h"

namespace {

// A clock that only sleeping moves; each sleep is kept in microseconds.
uint64_t fakeMicros = 0;
std::vector<uint64_t> sleeps;

uint64_t FakeNow() { return fakeMicros; }
void FakeSleepUntil(uint64_t micros) {
  sleeps.push_back(micros - fakeMicros);
  fakeMicros = micros;
}

class D3D9Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    hosted::ResetD3D9();
    parent = windowClass.Make(WS_OVERLAPPEDWINDOW, nullptr, 0, 0, 0, 700, 560, TEXT("d3d9"));
    ASSERT_NE(parent, nullptr);
    child = windowClass.Make(WS_CHILD | WS_VISIBLE, parent, 0, 0, 0, 640, 480);
    ASSERT_NE(child, nullptr);
    ASSERT_EQ(hosted::D3D9LiveObjects(), 0);
  }
  void TearDown() override {
    if (surface) surface->Release();
    if (device) device->Release();
    if (d3d) d3d->Release();
    // Whatever a test made, nothing of it outlives its last reference.
    EXPECT_EQ(hosted::D3D9LiveObjects(), 0);
    hosted::ResetD3D9();
    hosted::SetModuleMissing("d3d9.dll", false);
    hosted::SetClock(nullptr, nullptr);
  }
  D3DPRESENT_PARAMETERS Parameters(D3DFORMAT format, UINT interval = D3DPRESENT_INTERVAL_IMMEDIATE) const {
    return WindowedParameters(child, format, interval);
  }
  // The interface, a device made as the screen makes it, and its back
  // buffer, all kept in the fixture so TearDown gives them back.
  void Open(D3DFORMAT format = D3DFMT_X8R8G8B8, UINT interval = D3DPRESENT_INTERVAL_IMMEDIATE) {
    d3d = CreateDirect3D9();
    ASSERT_NE(d3d, nullptr);
    params = Parameters(format, interval);
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, child, 0x42, &params, &device), D3D_OK);
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
  }
  // Every back buffer pixel gets its own value: x in bits 10 and up, y
  // below, and junk in the unused top byte that a present must not show.
  void FillPattern() {
    D3DLOCKED_RECT locked = {};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
    for (uint32_t y = 0; y < 480; ++y) {
      auto* row = static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch;
      for (uint32_t x = 0; x < 640; ++x) {
        uint32_t value = 0xAB000000u | (x << 10) | y;
        std::memcpy(row + x * 4, &value, 4);
      }
    }
    ASSERT_EQ(surface->UnlockRect(), D3D_OK);
  }
  static uint32_t Pattern(uint32_t x, uint32_t y) { return (x << 10) | y; }

  TestWindowClass windowClass{TEXT("D3D9FaultsWindow")};
  HWND parent = nullptr;
  HWND child = nullptr;
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;
  IDirect3DSurface9* surface = nullptr;
  D3DPRESENT_PARAMETERS params = {};
};

TEST_F(D3D9Faults, MissingLibraryCannotBeLoadedUntilItIsBack) {
  hosted::SetModuleMissing("d3d9.dll", true);
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(TEXT("d3d9.dll")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(CreateDirect3D9(), nullptr);
  EXPECT_EQ(hosted::D3D9LiveObjects(), 0);
  hosted::SetModuleMissing("d3d9.dll", false);
  d3d = CreateDirect3D9();
  ASSERT_NE(d3d, nullptr);
  EXPECT_EQ(hosted::D3D9LiveObjects(), 1);
}

TEST_F(D3D9Faults, ZeroModesInAllThreeFormatsUntilTurnedOff) {
  d3d = CreateDirect3D9();
  ASSERT_NE(d3d, nullptr);
  const D3DFORMAT formats[] = {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8};
  for (D3DFORMAT format : formats) EXPECT_GT(d3d->GetAdapterModeCount(0, format), 0u) << format;
  hosted::SetD3D9ZeroModes(true);
  for (D3DFORMAT format : formats) {
    EXPECT_EQ(d3d->GetAdapterModeCount(0, format), 0u) << format;
    D3DDISPLAYMODE mode = {};
    EXPECT_EQ(d3d->EnumAdapterModes(0, format, 0, &mode), D3DERR_INVALIDCALL) << format;
  }
  hosted::SetD3D9ZeroModes(false);
  for (D3DFORMAT format : formats) EXPECT_GT(d3d->GetAdapterModeCount(0, format), 0u) << format;
}

// Each desktop format: the expected raw pixels of red, green, blue and one
// mixed colour after GDI drew them, and the mixed colour as presented.
struct DesktopCase {
  D3DFORMAT format;
  uint32_t red, green, blue, mixed;
  uint32_t mixedShown;
};

class D3D9Desktop : public D3D9Faults, public ::testing::WithParamInterface<DesktopCase> {};

TEST_P(D3D9Desktop, ModeBackBufferAndDeviceContextFollowTheDesktop) {
  const DesktopCase& c = GetParam();
  hosted::SetD3D9DesktopFormat(c.format);
  d3d = CreateDirect3D9();
  ASSERT_NE(d3d, nullptr);
  D3DDISPLAYMODE mode = {};
  ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
  EXPECT_EQ(mode.Format, c.format);
  // A back buffer left to Direct3D takes the desktop's format.
  params = Parameters(D3DFMT_UNKNOWN);
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, child, 0x42, &params, &device), D3D_OK);
  EXPECT_EQ(params.BackBufferFormat, c.format);
  ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
  D3DSURFACE_DESC desc = {};
  ASSERT_EQ(surface->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Format, c.format);

  HDC dc = nullptr;
  ASSERT_EQ(surface->GetDC(&dc), D3D_OK);
  EXPECT_TRUE(SetPixelV(dc, 0, 0, RGB(255, 0, 0)));
  EXPECT_TRUE(SetPixelV(dc, 1, 0, RGB(0, 255, 0)));
  EXPECT_TRUE(SetPixelV(dc, 2, 0, RGB(0, 0, 255)));
  EXPECT_TRUE(SetPixelV(dc, 639, 479, RGB(0x80, 0x40, 0x20)));
  ASSERT_EQ(surface->ReleaseDC(dc), D3D_OK);

  D3DLOCKED_RECT locked = {};
  ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
  const int bytes = c.format == D3DFMT_X8R8G8B8 ? 4 : 2;
  auto raw = [&](int x, int y) {
    uint32_t value = 0;
    std::memcpy(&value, static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + x * bytes, bytes);
    return bytes == 4 ? value & 0xFFFFFFu : value;
  };
  EXPECT_GE(locked.Pitch, 640 * bytes);
  EXPECT_EQ(raw(0, 0), c.red);
  EXPECT_EQ(raw(1, 0), c.green);
  EXPECT_EQ(raw(2, 0), c.blue);
  EXPECT_EQ(raw(639, 479), c.mixed);
  EXPECT_EQ(raw(3, 0), 0u);
  ASSERT_EQ(surface->UnlockRect(), D3D_OK);

  // Presented, every format becomes 32 bits with full channels kept full.
  RECT source = {0, 0, 640, 480};
  ASSERT_EQ(device->Present(&source, nullptr, nullptr, nullptr), D3D_OK);
  hosted::D3D9Present shown = hosted::D3D9LastPresent();
  ASSERT_EQ(shown.pixels.size(), 640u * 480u);
  EXPECT_EQ(shown.pixels[0], 0xFF0000u);
  EXPECT_EQ(shown.pixels[1], 0x00FF00u);
  EXPECT_EQ(shown.pixels[2], 0x0000FFu);
  EXPECT_EQ(shown.pixels[639 + 479 * 640], c.mixedShown);
}

INSTANTIATE_TEST_SUITE_P(Formats, D3D9Desktop,
                         ::testing::Values(DesktopCase{D3DFMT_X8R8G8B8, 0xFF0000, 0x00FF00, 0x0000FF, 0x804020, 0x804020},
                                           DesktopCase{D3DFMT_R5G6B5, 0xF800, 0x07E0, 0x001F, 0x8204, 0x844121},
                                           DesktopCase{D3DFMT_X1R5G5B5, 0x7C00, 0x03E0, 0x001F, 0x4104, 0x844221}),
                         [](const ::testing::TestParamInfo<DesktopCase>& info) {
                           return info.param.format == D3DFMT_X8R8G8B8 ? std::string("X8R8G8B8")
                                  : info.param.format == D3DFMT_R5G6B5 ? std::string("R5G6B5")
                                                                        : std::string("X1R5G5B5");
                         });

TEST_F(D3D9Faults, RefusedDeviceLeavesNothingBehind) {
  d3d = CreateDirect3D9();
  ASSERT_NE(d3d, nullptr);
  hosted::FailD3D9CreateDevice(true);
  params = Parameters(D3DFMT_X8R8G8B8);
  auto* untouched = reinterpret_cast<IDirect3DDevice9*>(&params);
  IDirect3DDevice9* out = untouched;
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, child, 0x42, &params, &out), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(out, untouched);
  EXPECT_EQ(hosted::D3D9LiveObjects(), 1);
  hosted::FailD3D9CreateDevice(false);
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, child, 0x42, &params, &device), D3D_OK);
  EXPECT_EQ(hosted::D3D9LiveObjects(), 3);
}

TEST_F(D3D9Faults, FailedResetLeavesTheDeviceWaitingForAResetThatWorks) {
  ASSERT_NO_FATAL_FAILURE(Open());
  surface->Release();
  surface = nullptr;
  hosted::FailD3D9Reset(true);
  EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  // Still failing: the device stays where it was.
  EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  hosted::FailD3D9Reset(false);
  EXPECT_EQ(device->Reset(&params), D3D_OK);
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  // The reset made a new back buffer in place of the old one.
  EXPECT_EQ(hosted::D3D9LiveObjects(), 3);
}

TEST_F(D3D9Faults, FailedPresentShowsNothing) {
  ASSERT_NO_FATAL_FAILURE(Open());
  RECT source = {0, 0, 640, 480};
  ASSERT_EQ(device->Present(&source, nullptr, nullptr, nullptr), D3D_OK);
  unsigned shown = hosted::D3D9LastPresent().count;
  hosted::FailD3D9Present(true);
  EXPECT_EQ(device->Present(&source, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(device->Present(&source, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(hosted::D3D9LastPresent().count, shown);
  // A failing present is not a lost device as far as the device knows.
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  hosted::FailD3D9Present(false);
  EXPECT_EQ(device->Present(&source, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(hosted::D3D9LastPresent().count, shown + 1);
}

TEST_F(D3D9Faults, RefusedDeviceContextLeavesTheSurfaceFree) {
  ASSERT_NO_FATAL_FAILURE(Open());
  unsigned gdiBefore = hosted::GdiLiveObjects();
  hosted::FailD3D9GetDC(true);
  HDC dc = nullptr;
  EXPECT_EQ(surface->GetDC(&dc), D3DERR_INVALIDCALL);
  EXPECT_EQ(dc, nullptr);
  EXPECT_EQ(hosted::GdiLiveObjects(), gdiBefore);
  // Nothing is held: the lock and a reset are open to it.
  D3DLOCKED_RECT locked = {};
  EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(surface->UnlockRect(), D3D_OK);
  hosted::FailD3D9GetDC(false);
  ASSERT_EQ(surface->GetDC(&dc), D3D_OK);
  EXPECT_NE(dc, nullptr);
  EXPECT_EQ(surface->ReleaseDC(dc), D3D_OK);
  EXPECT_EQ(hosted::GdiLiveObjects(), gdiBefore);
}

TEST_F(D3D9Faults, ScriptedCooperativeAnswersComeInOrderThenTheDevicesOwn) {
  ASSERT_NO_FATAL_FAILURE(Open());
  hosted::ScriptD3D9CooperativeLevel({D3DERR_DEVICELOST, D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET,
                                      D3DERR_DRIVERINTERNALERROR, static_cast<HRESULT>(0x88760001)});
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DRIVERINTERNALERROR);
  EXPECT_EQ(device->TestCooperativeLevel(), static_cast<HRESULT>(0x88760001));
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);

  // A script replaces what was left of the one before; after it, the
  // device's own state is a device waiting for its reset.
  hosted::ScriptD3D9CooperativeLevel({D3DERR_DEVICELOST, D3DERR_DEVICELOST});
  hosted::ScriptD3D9CooperativeLevel({D3D_OK});
  EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL);  // the back buffer is still referenced
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
}

// The test display's retrace runs at 60 Hz: ticks at ceil(m * 1e6 / 60) us.
TEST_F(D3D9Faults, IntervalOneSleepsOnTheClockToTheNextRetrace) {
  ASSERT_NO_FATAL_FAILURE(Open(D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_ONE));
  sleeps.clear();
  hosted::SetClock(FakeNow, FakeSleepUntil);
  fakeMicros = 1000;
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  // Presenting on a retrace waits a whole frame for the next one.
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  fakeMicros = 40000;
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  // Nothing but the retrace wait slept.
  EXPECT_EQ(sleeps, (std::vector<uint64_t>{15667, 16667, 10000}));
  EXPECT_EQ(fakeMicros, 50000u);
}

TEST_F(D3D9Faults, IntervalImmediateDoesNotWait) {
  ASSERT_NO_FATAL_FAILURE(Open(D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_IMMEDIATE));
  sleeps.clear();
  hosted::SetClock(FakeNow, FakeSleepUntil);
  fakeMicros = 1000;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_TRUE(sleeps.empty());
  EXPECT_EQ(fakeMicros, 1000u);
}

TEST_F(D3D9Faults, PresentShowsTheSourceStretchedOntoTheDestination) {
  ASSERT_NO_FATAL_FAILURE(Open());
  ASSERT_NO_FATAL_FAILURE(FillPattern());

  // Same size: the picture is the back buffer without its unused byte.
  RECT whole = {0, 0, 640, 480};
  ASSERT_EQ(device->Present(&whole, &whole, nullptr, nullptr), D3D_OK);
  hosted::D3D9Present shown = hosted::D3D9LastPresent();
  EXPECT_EQ(shown.window, child);
  ASSERT_EQ(shown.pixels.size(), 640u * 480u);
  EXPECT_EQ(shown.pixels[0], Pattern(0, 0));
  EXPECT_EQ(shown.pixels[639], Pattern(639, 0));
  EXPECT_EQ(shown.pixels[479 * 640 + 639], Pattern(639, 479));

  // A part of the back buffer at its own size, then twice as large.
  RECT part = {100, 50, 420, 290};
  RECT small = {0, 0, 320, 240};
  ASSERT_EQ(device->Present(&part, &small, nullptr, nullptr), D3D_OK);
  shown = hosted::D3D9LastPresent();
  ASSERT_EQ(shown.pixels.size(), 320u * 240u);
  EXPECT_EQ(shown.pixels[0], Pattern(100, 50));
  EXPECT_EQ(shown.pixels[239 * 320 + 319], Pattern(419, 289));

  RECT doubled = {0, 0, 640, 480};
  ASSERT_EQ(device->Present(&part, &doubled, nullptr, nullptr), D3D_OK);
  shown = hosted::D3D9LastPresent();
  EXPECT_EQ(shown.source.left, 100);
  EXPECT_EQ(shown.source.bottom, 290);
  ASSERT_EQ(shown.pixels.size(), 640u * 480u);
  EXPECT_EQ(shown.pixels[0], Pattern(100, 50));
  EXPECT_EQ(shown.pixels[1], Pattern(100, 50));
  EXPECT_EQ(shown.pixels[2], Pattern(101, 50));
  EXPECT_EQ(shown.pixels[1 * 640 + 3], Pattern(101, 50));
  EXPECT_EQ(shown.pixels[2 * 640 + 3], Pattern(101, 51));
  EXPECT_EQ(shown.pixels[479 * 640 + 639], Pattern(419, 289));

  // Shrunk by an uneven ratio into an offset destination: the rectangle's
  // place is recorded, the picture has its size, and each pixel comes from
  // the nearest source pixel toward the top left.
  RECT shrunk = {5, 7, 5 + 213, 7 + 160};
  ASSERT_EQ(device->Present(&whole, &shrunk, nullptr, nullptr), D3D_OK);
  shown = hosted::D3D9LastPresent();
  EXPECT_EQ(shown.destination.left, 5);
  EXPECT_EQ(shown.destination.top, 7);
  EXPECT_EQ(shown.destination.right, 218);
  EXPECT_EQ(shown.destination.bottom, 167);
  ASSERT_EQ(shown.pixels.size(), 213u * 160u);
  EXPECT_EQ(shown.pixels[0], Pattern(0, 0));
  EXPECT_EQ(shown.pixels[1], Pattern(3, 0));             // 640 / 213 = 3.004
  EXPECT_EQ(shown.pixels[106], Pattern(318, 0));         // 106 * 640 / 213 = 318.49
  EXPECT_EQ(shown.pixels[212], Pattern(636, 0));         // 212 * 640 / 213 = 636.99
  EXPECT_EQ(shown.pixels[159 * 213], Pattern(0, 477));   // 159 * 3
  int wrong = 0;
  for (uint32_t y = 0; y < 160; ++y)
    for (uint32_t x = 0; x < 213; ++x)
      if (shown.pixels[y * 213 + x] != Pattern(x * 640 / 213, y * 3)) ++wrong;
  EXPECT_EQ(wrong, 0);

  // An empty destination shows nothing new but is still a present; a
  // source outside the back buffer is refused.
  unsigned count = shown.count;
  RECT empty = {10, 10, 10, 50};
  ASSERT_EQ(device->Present(&whole, &empty, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(hosted::D3D9LastPresent().count, count + 1);
  EXPECT_EQ(hosted::D3D9LastPresent().destination.right, 218);
  RECT outside = {0, 0, 641, 480};
  EXPECT_EQ(device->Present(&outside, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(hosted::D3D9LastPresent().count, count + 1);
}

TEST_F(D3D9Faults, CallsAreCountedOnEveryDeviceWhateverTheyAnswer) {
  ASSERT_NO_FATAL_FAILURE(Open());
  hosted::ResetD3D9();
  hosted::D3D9CallCounts zero = hosted::D3D9Calls();
  EXPECT_EQ(zero.testCooperativeLevel + zero.reset + zero.present + zero.getBackBuffer + zero.clear + zero.getDC +
                zero.releaseDC + zero.lockRect + zero.unlockRect,
            0u);

  device->TestCooperativeLevel();
  device->TestCooperativeLevel();
  IDirect3DSurface9* none = nullptr;
  EXPECT_EQ(device->GetBackBuffer(0, 1, D3DBACKBUFFER_TYPE_MONO, &none), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  HDC dc = nullptr;
  HDC second = nullptr;
  ASSERT_EQ(surface->GetDC(&dc), D3D_OK);
  EXPECT_EQ(surface->GetDC(&second), D3DERR_INVALIDCALL);
  D3DLOCKED_RECT locked = {};
  EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(surface->ReleaseDC(dc), D3D_OK);
  EXPECT_EQ(surface->ReleaseDC(dc), D3DERR_INVALIDCALL);
  EXPECT_EQ(surface->ReleaseDC(dc), D3DERR_INVALIDCALL);
  EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(surface->UnlockRect(), D3D_OK);
  EXPECT_EQ(surface->UnlockRect(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL);  // the back buffer is referenced
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);

  // A second device adds to the same counts.
  D3DPRESENT_PARAMETERS otherParams = Parameters(D3DFMT_X8R8G8B8);
  IDirect3DDevice9* other = nullptr;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, child, 0x42, &otherParams, &other), D3D_OK);
  EXPECT_EQ(other->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(other->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(other->Release(), 0u);

  hosted::D3D9CallCounts calls = hosted::D3D9Calls();
  EXPECT_EQ(calls.testCooperativeLevel, 3u);
  EXPECT_EQ(calls.reset, 1u);
  EXPECT_EQ(calls.present, 2u);
  EXPECT_EQ(calls.getBackBuffer, 1u);
  EXPECT_EQ(calls.clear, 2u);
  EXPECT_EQ(calls.getDC, 2u);
  EXPECT_EQ(calls.releaseDC, 3u);
  EXPECT_EQ(calls.lockRect, 2u);
  EXPECT_EQ(calls.unlockRect, 2u);

  hosted::ResetD3D9();
  calls = hosted::D3D9Calls();
  EXPECT_EQ(calls.testCooperativeLevel + calls.reset + calls.present + calls.getBackBuffer + calls.clear +
                calls.getDC + calls.releaseDC + calls.lockRect + calls.unlockRect,
            0u);
}

TEST_F(D3D9Faults, BackBufferReferenceKeepsTheDeviceAlive) {
  ASSERT_NO_FATAL_FAILURE(Open());
  // Interface, device and back buffer.
  EXPECT_EQ(hosted::D3D9LiveObjects(), 3);
  // The device holds the interface; the back buffer holds the device.
  EXPECT_EQ(d3d->Release(), 1u);
  d3d = nullptr;
  EXPECT_EQ(device->Release(), 1u);
  device = nullptr;
  EXPECT_EQ(hosted::D3D9LiveObjects(), 3);
  IDirect3DDevice9* owner = nullptr;
  ASSERT_EQ(surface->GetDevice(&owner), D3D_OK);
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(owner->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(owner->Release(), 1u);
  // The last reference to anything takes everything with it.
  EXPECT_EQ(surface->Release(), 0u);
  surface = nullptr;
  EXPECT_EQ(hosted::D3D9LiveObjects(), 0);
}

TEST_F(D3D9Faults, ReleasingTheDeviceTakesAnUnreferencedBackBufferAndItsDeviceContext) {
  ASSERT_NO_FATAL_FAILURE(Open());
  unsigned gdiBefore = hosted::GdiLiveObjects();
  HDC dc = nullptr;
  ASSERT_EQ(surface->GetDC(&dc), D3D_OK);
  EXPECT_GT(hosted::GdiLiveObjects(), gdiBefore);
  // The device context still held goes with the surface.
  EXPECT_EQ(surface->Release(), 0u);
  surface = nullptr;
  EXPECT_EQ(device->Release(), 0u);
  device = nullptr;
  EXPECT_EQ(hosted::D3D9LiveObjects(), 1);
  EXPECT_EQ(hosted::GdiLiveObjects(), gdiBefore);
  EXPECT_EQ(d3d->Release(), 0u);
  d3d = nullptr;
  EXPECT_EQ(hosted::D3D9LiveObjects(), 0);
}

TEST_F(D3D9Faults, ResetReplacesTheBackBufferWithoutLeaking) {
  ASSERT_NO_FATAL_FAILURE(Open());
  surface->Release();
  surface = nullptr;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(device->Reset(&params), D3D_OK) << i;
    EXPECT_EQ(hosted::D3D9LiveObjects(), 3) << i;
  }
  ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
  D3DSURFACE_DESC desc = {};
  ASSERT_EQ(surface->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Width, 640u);
}

}  // namespace

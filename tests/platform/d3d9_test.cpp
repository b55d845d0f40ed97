// Direct3D 9 as the screen uses it, loaded at run time from "d3d9.dll".
// Runs on both lanes: against Wine's d3d9 and against the substitute.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform.h"
#include "platform/d3d9_params.h"
#include "support/pixels.h"
#include "support/window_class.h"

namespace {

// The records the screen fills or reads keep the Windows layout on every
// lane: capabilities up to the texture limits, and the presentation
// parameters it stores and hands back on a reset.
static_assert(offsetof(D3DCAPS9, DeviceType) == 0);
static_assert(offsetof(D3DCAPS9, PresentationIntervals) == 20);
static_assert(offsetof(D3DCAPS9, DevCaps) == 28);
static_assert(offsetof(D3DCAPS9, MaxTextureWidth) == 88);
static_assert(offsetof(D3DCAPS9, MaxTextureHeight) == 92);
static_assert(sizeof(D3DPRESENT_PARAMETERS) == (sizeof(void*) == 4 ? 56 : 64));
static_assert(offsetof(D3DPRESENT_PARAMETERS, PresentationInterval) == sizeof(D3DPRESENT_PARAMETERS) - 4);

// The interface identifiers, spelled out so no import library is needed.
const IID kSurfaceIid = {0x0CFBAF3A, 0x9FF6, 0x429A, {0x99, 0xB3, 0xA2, 0x79, 0x6A, 0xF8, 0xB8, 0x9B}};
const IID kDirect3DIid = {0x81BDCBCA, 0x64D4, 0x426D, {0xAE, 0x8D, 0xAD, 0x01, 0x47, 0xF4, 0x27, 0x5C}};

TEST(Direct3D9Adapter, LoadsAndReportsWhatTheScreenNeeds) {
  IDirect3D9* d3d = CreateDirect3D9();
  ASSERT_NE(d3d, nullptr);
  D3DCAPS9 caps = {};
  ASSERT_EQ(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps), D3D_OK);
  EXPECT_NE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT, 0u);
  UINT modes = d3d->GetAdapterModeCount(0, D3DFMT_X1R5G5B5) + d3d->GetAdapterModeCount(0, D3DFMT_R5G6B5) +
               d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
  EXPECT_GT(modes, 0u);
  // A format no desktop has offers no modes, and no device runs on it; the
  // 32-bit layouts with red and blue swapped are such formats.
  EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_A8R8G8B8), 0u);
  for (D3DFORMAT format : {D3DFMT_A8B8G8R8, D3DFMT_X8B8G8R8}) {
    EXPECT_EQ(d3d->GetAdapterModeCount(0, format), 0u) << format;
    D3DDISPLAYMODE none = {};
    EXPECT_EQ(d3d->EnumAdapterModes(0, format, 0, &none), D3DERR_INVALIDCALL) << format;
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, format, D3DFMT_X8R8G8B8, TRUE), D3DERR_NOTAVAILABLE) << format;
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, format, format, FALSE), D3DERR_NOTAVAILABLE) << format;
  }
  D3DDISPLAYMODE mode = {};
  ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
  EXPECT_TRUE(mode.Format == D3DFMT_X8R8G8B8 || mode.Format == D3DFMT_R5G6B5 || mode.Format == D3DFMT_X1R5G5B5)
      << mode.Format;
  EXPECT_GT(mode.Width, 0u);
  EXPECT_EQ(d3d->Release(), 0u);
}

// A 640 x 480 child window with a device made as the screen makes it.
class Direct3D9Device : public ::testing::Test {
 protected:
  void SetUp() override {
    parent = windowClass.Make(WS_OVERLAPPEDWINDOW, nullptr, 0, 0, 0, 700, 560, TEXT("d3d9"));
    ASSERT_NE(parent, nullptr);
    child = windowClass.Make(WS_CHILD | WS_VISIBLE, parent, 0, 0, 0, 640, 480);
    ASSERT_NE(child, nullptr);
    d3d = CreateDirect3D9();
    ASSERT_NE(d3d, nullptr);
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    params = Parameters(mode.Format);
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, child, 0x42, &params, &device), D3D_OK);
    ASSERT_NE(device, nullptr);
  }
  void TearDown() override {
    if (device) {
      EXPECT_EQ(device->Release(), 0u);
    }
    if (d3d) {
      EXPECT_EQ(d3d->Release(), 0u);
    }
  }
  D3DPRESENT_PARAMETERS Parameters(D3DFORMAT format) const { return WindowedParameters(child, format); }
  IDirect3DSurface9* BackBuffer() {
    IDirect3DSurface9* surface = nullptr;
    EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
    return surface;
  }
  TestWindowClass windowClass{TEXT("D3D9TestWindow")};
  HWND parent = nullptr;
  HWND child = nullptr;
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;
  D3DDISPLAYMODE mode = {};
  D3DPRESENT_PARAMETERS params = {};
};

TEST_F(Direct3D9Device, CreationChecksItsParametersAsWineDoes) {
  struct Case {
    const char* what;
    DWORD flags;
    void (*change)(D3DPRESENT_PARAMETERS*);
    HRESULT expected;
  };
  const Case cases[] = {
      {"software processing", 0x22, [](D3DPRESENT_PARAMETERS*) {}, D3D_OK},
      {"no processing flag", 0x02, [](D3DPRESENT_PARAMETERS*) {}, D3D_OK},
      {"swap effect 0", 0x42, [](D3DPRESENT_PARAMETERS* p) { p->SwapEffect = static_cast<D3DSWAPEFFECT>(0); },
       D3DERR_INVALIDCALL},
      {"swap effect 9", 0x42, [](D3DPRESENT_PARAMETERS* p) { p->SwapEffect = static_cast<D3DSWAPEFFECT>(9); },
       D3DERR_INVALIDCALL},
      {"copy with two buffers", 0x42, [](D3DPRESENT_PARAMETERS* p) { p->BackBufferCount = 2; }, D3DERR_INVALIDCALL},
      {"four buffers", 0x42,
       [](D3DPRESENT_PARAMETERS* p) {
         p->BackBufferCount = 4;
         p->SwapEffect = D3DSWAPEFFECT_DISCARD;
       },
       D3DERR_INVALIDCALL},
      {"unknown format takes the desktop's", 0x42, [](D3DPRESENT_PARAMETERS* p) { p->BackBufferFormat = D3DFMT_UNKNOWN; },
       D3D_OK},
      {"16-bit back buffer", 0x42, [](D3DPRESENT_PARAMETERS* p) { p->BackBufferFormat = D3DFMT_R5G6B5; }, D3D_OK},
      {"X8B8G8R8 back buffer", 0x42, [](D3DPRESENT_PARAMETERS* p) { p->BackBufferFormat = D3DFMT_X8B8G8R8; },
       D3DERR_INVALIDCALL},
      {"no such format", 0x42, [](D3DPRESENT_PARAMETERS* p) { p->BackBufferFormat = static_cast<D3DFORMAT>(77); },
       D3DERR_INVALIDCALL},
      {"full screen", 0x42, [](D3DPRESENT_PARAMETERS* p) { p->Windowed = FALSE; }, D3DERR_NOTAVAILABLE},
      {"multisampling", 0x42,
       [](D3DPRESENT_PARAMETERS* p) { p->MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(2); }, D3DERR_NOTAVAILABLE},
      {"interval two", 0x42, [](D3DPRESENT_PARAMETERS* p) { p->PresentationInterval = D3DPRESENT_INTERVAL_TWO; },
       D3D_OK},
      {"two intervals at once", 0x42, [](D3DPRESENT_PARAMETERS* p) { p->PresentationInterval = 3; },
       D3DERR_INVALIDCALL},
      {"size from the client area", 0x42,
       [](D3DPRESENT_PARAMETERS* p) {
         p->BackBufferWidth = 0;
         p->BackBufferHeight = 0;
       },
       D3D_OK},
      {"device window from the focus window", 0x42, [](D3DPRESENT_PARAMETERS* p) { p->hDeviceWindow = nullptr; },
       D3D_OK},
  };
  for (const Case& c : cases) {
    D3DPRESENT_PARAMETERS p = Parameters(mode.Format);
    c.change(&p);
    IDirect3DDevice9* other = reinterpret_cast<IDirect3DDevice9*>(&p);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, child, c.flags, &p, &other), c.expected) << c.what;
    if (c.expected == D3D_OK) {
      ASSERT_NE(other, nullptr) << c.what;
      // What the caller left open is filled in.
      EXPECT_EQ(p.BackBufferWidth, 640u) << c.what;
      EXPECT_EQ(p.BackBufferHeight, 480u) << c.what;
      EXPECT_NE(p.BackBufferFormat, D3DFMT_UNKNOWN) << c.what;
      EXPECT_EQ(other->Release(), 0u) << c.what;
    } else {
      // A refused device leaves the caller's pointer alone.
      EXPECT_EQ(other, reinterpret_cast<IDirect3DDevice9*>(&p)) << c.what;
    }
  }
}

TEST_F(Direct3D9Device, BackBufferHasTheRequestedSizeAndFormat) {
  IDirect3DSurface9* surface = BackBuffer();
  ASSERT_NE(surface, nullptr);
  D3DSURFACE_DESC desc = {};
  ASSERT_EQ(surface->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Width, 640u);
  EXPECT_EQ(desc.Height, 480u);
  EXPECT_EQ(desc.Format, mode.Format);
  EXPECT_EQ(desc.Type, D3DRTYPE_SURFACE);
  IDirect3DSurface9* none = surface;
  EXPECT_EQ(device->GetBackBuffer(0, 1, D3DBACKBUFFER_TYPE_MONO, &none), D3DERR_INVALIDCALL);
  EXPECT_EQ(none, nullptr);
  surface->Release();
}

TEST_F(Direct3D9Device, ClearWithColourZeroLeavesTheBackBufferBlack) {
  IDirect3DSurface9* surface = BackBuffer();
  ASSERT_NE(surface, nullptr);
  D3DLOCKED_RECT locked = {};
  ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
  ASSERT_GE(locked.Pitch, 640 * (mode.Format == D3DFMT_X8R8G8B8 ? 4 : 2));
  for (int y = 0; y < 480; ++y) std::memset(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, 0x5A, 640 * 2);
  ASSERT_EQ(surface->UnlockRect(), D3D_OK);
  EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, 2), D3D_OK);
  EXPECT_EQ(device->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(4), 2), D3D_OK);
  EXPECT_EQ(device->SetSoftwareVertexProcessing(FALSE), D3D_OK);
  EXPECT_EQ(device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT), D3D_OK);
  EXPECT_EQ(device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT), D3D_OK);
  EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(161), 0), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
  ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
  EXPECT_TRUE(pixels::SamePicture(pixels::Picture::FromRaw(locked.pBits, locked.Pitch, mode.Format, 640, 480),
                                  pixels::Picture(640, 480)));
  EXPECT_EQ(surface->UnlockRect(), D3D_OK);
  EXPECT_EQ(surface->UnlockRect(), D3DERR_INVALIDCALL);
  surface->Release();
}

TEST_F(Direct3D9Device, DeviceContextAndLockExcludeEachOther) {
  IDirect3DSurface9* surface = BackBuffer();
  ASSERT_NE(surface, nullptr);
  D3DLOCKED_RECT locked = {};
  HDC dc = nullptr;
  ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(surface->GetDC(&dc), D3DERR_INVALIDCALL);
  ASSERT_EQ(surface->UnlockRect(), D3D_OK);
  ASSERT_EQ(surface->GetDC(&dc), D3D_OK);
  ASSERT_NE(dc, nullptr);
  HDC second = nullptr;
  EXPECT_EQ(surface->GetDC(&second), D3DERR_INVALIDCALL);
  EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(surface->ReleaseDC(dc), D3D_OK);
  EXPECT_EQ(surface->ReleaseDC(dc), D3DERR_INVALIDCALL);
  ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(surface->UnlockRect(), D3D_OK);
  surface->Release();
}

TEST_F(Direct3D9Device, ResetWaitsUntilTheBackBufferIsGivenBack) {
  IDirect3DSurface9* surface = BackBuffer();
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  RECT source = {0, 0, 640, 480};
  EXPECT_EQ(device->Present(&source, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(surface->Release(), 0u);
  ASSERT_EQ(device->Reset(&params), D3D_OK);
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  surface = BackBuffer();
  ASSERT_NE(surface, nullptr);
  D3DSURFACE_DESC desc = {};
  ASSERT_EQ(surface->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Width, 640u);
  EXPECT_EQ(device->Present(&source, nullptr, nullptr, nullptr), D3D_OK);
  surface->Release();
}

TEST_F(Direct3D9Device, PresentsTheWholeBackBufferIntoTheClientArea) {
  RECT source = {0, 0, 640, 480};
  RECT client = {};
  ASSERT_TRUE(GetClientRect(child, &client));
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(device->Present(&source, &client, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(Direct3D9Device, ReferenceCountsBalance) {
  IDirect3DSurface9* surface = BackBuffer();
  ASSERT_NE(surface, nullptr);
  ULONG deviceRefs = device->AddRef();
  ULONG surfaceRefs = surface->AddRef();
  EXPECT_EQ(surface->Release(), surfaceRefs - 1);
  EXPECT_EQ(device->Release(), deviceRefs - 1);
  IDirect3DSurface9* again = nullptr;
  ASSERT_EQ(surface->QueryInterface(kSurfaceIid, reinterpret_cast<void**>(&again)), D3D_OK);
  EXPECT_EQ(again, surface);
  again->Release();
  void* nothing = surface;
  EXPECT_EQ(surface->QueryInterface(kDirect3DIid, &nothing), E_NOINTERFACE);
  EXPECT_EQ(nothing, nullptr);
  // Each outside reference to the back buffer holds one on the device, and
  // the device holds one on its Direct3D object.
  EXPECT_EQ(d3d->AddRef(), 3u);
  EXPECT_EQ(d3d->Release(), 2u);
  EXPECT_EQ(device->AddRef(), 3u);
  EXPECT_EQ(device->Release(), 2u);
  EXPECT_EQ(surface->Release(), 0u);
  EXPECT_EQ(device->AddRef(), 2u);
  EXPECT_EQ(device->Release(), 1u);
}

}  // namespace

// The IDirect3D9 object: the adapter, its modes and capabilities, and device
// creation. There is one adapter, the display backend's screen.
#include <cstring>
#include <new>

#include "d3d9/internal.h"
#include "display/backend.h"
#include "hosted/hooks.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDirect3D9 = {0x81BDCBCA, 0x64D4, 0x426D, {0xAE, 0x8D, 0xAD, 0x01, 0x47, 0xF4, 0x27, 0x5C}};
const IID IID_IDirect3DDevice9 = {0xD0223B96, 0xBF7A, 0x43FD, {0x92, 0xBD, 0xA4, 0x3B, 0x0D, 0x82, 0xB9, 0xEB}};
const IID IID_IDirect3DResource9 = {0x05EEC05D, 0x8F7D, 0x4362, {0xB9, 0x99, 0xD1, 0xBA, 0xF3, 0x57, 0xC7, 0x04}};
const IID IID_IDirect3DSurface9 = {0x0CFBAF3A, 0x9FF6, 0x429A, {0x99, 0xB3, 0xA2, 0x79, 0x6A, 0xF8, 0xB8, 0x9B}};

namespace d3d9 {

int liveObjects = 0;

Faults& State() {
  static Faults faults;
  return faults;
}

int BytesPerPixel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8R8G8B8:
      return 4;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
      return 2;
    default:
      return 0;
  }
}

namespace {

// The modes every display format offers: common sizes up to the screen's.
struct Size {
  UINT width;
  UINT height;
};
constexpr Size kModes[] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}};
constexpr UINT kRefreshRate = 60;

void ScreenSize(UINT* width, UINT* height) {
  int w = 1024;
  int h = 768;
  if (const display::Backend* backend = display::Current(); backend && backend->screenSize) backend->screenSize(&w, &h);
  *width = static_cast<UINT>(w);
  *height = static_cast<UINT>(h);
}

// The display formats a desktop can be in; the 16-bit ones only where a
// hook selected them, as on a real adapter that offers all three.
bool DisplayFormat(D3DFORMAT format) {
  return format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5;
}

// Modes in a format the adapter offers (all three unless a hook narrowed
// them to one, as a real adapter may).
UINT ModeCount(D3DFORMAT format) {
  if (State().zeroModes || !DisplayFormat(format)) return 0;
  if (State().modeFormat != D3DFMT_UNKNOWN && format != State().modeFormat) return 0;
  UINT w = 0;
  UINT h = 0;
  ScreenSize(&w, &h);
  UINT count = 0;
  for (const Size& mode : kModes)
    if (mode.width <= w && mode.height <= h) ++count;
  return count;
}

}  // namespace

bool SameIid(REFIID a, REFIID b) { return std::memcmp(&a, &b, sizeof(IID)) == 0; }

Direct3D::Direct3D() { ++liveObjects; }
Direct3D::~Direct3D() { --liveObjects; }

HRESULT Direct3D::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (SameIid(riid, IID_IUnknown) || SameIid(riid, IID_IDirect3D9)) {
    AddRef();
    *object = this;
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG Direct3D::AddRef() { return ++refs_; }

ULONG Direct3D::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

UINT Direct3D::GetAdapterCount() { return 1; }

UINT Direct3D::GetAdapterModeCount(UINT Adapter, D3DFORMAT Format) {
  if (Adapter != 0) return 0;
  return ModeCount(Format);
}

HRESULT Direct3D::EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode, D3DDISPLAYMODE* pMode) {
  if (Adapter != 0 || !pMode || !DisplayFormat(Format)) return D3DERR_INVALIDCALL;
  if (Mode >= ModeCount(Format)) return D3DERR_INVALIDCALL;
  *pMode = {kModes[Mode].width, kModes[Mode].height, kRefreshRate, Format};
  return D3D_OK;
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) {
  if (Adapter != 0 || !pMode) return D3DERR_INVALIDCALL;
  UINT w = 0;
  UINT h = 0;
  ScreenSize(&w, &h);
  *pMode = {w, h, kRefreshRate, State().desktopFormat};
  return D3D_OK;
}

HRESULT Direct3D::CheckDeviceType(UINT iAdapter, D3DDEVTYPE DevType, D3DFORMAT DisplayFormat, D3DFORMAT BackBufferFormat,
                                  BOOL bWindowed) {
  if (iAdapter != 0 || DevType != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
  if (BytesPerPixel(BackBufferFormat) == 0 || BytesPerPixel(DisplayFormat) == 0) return D3DERR_NOTAVAILABLE;
  if (!bWindowed && DisplayFormat != State().desktopFormat) return D3DERR_NOTAVAILABLE;
  return D3D_OK;
}

HRESULT Direct3D::GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps) {
  if (Adapter != 0 || !pCaps) return D3DERR_INVALIDCALL;
  if (DeviceType != D3DDEVTYPE_HAL && DeviceType != D3DDEVTYPE_REF) return D3DERR_INVALIDCALL;
  *pCaps = {};
  pCaps->DeviceType = DeviceType;
  pCaps->PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
  pCaps->DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
  pCaps->MaxTextureWidth = 4096;
  pCaps->MaxTextureHeight = 4096;
  return D3D_OK;
}

HMONITOR Direct3D::GetAdapterMonitor(UINT) { return nullptr; }

HRESULT Direct3D::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                               D3DPRESENT_PARAMETERS* pPresentationParameters,
                               IDirect3DDevice9** ppReturnedDeviceInterface) {
  // A refused device leaves the caller's pointer alone, as Wine does.
  if (!ppReturnedDeviceInterface) return D3DERR_INVALIDCALL;
  if (Adapter != 0 || !pPresentationParameters) return D3DERR_INVALIDCALL;
  // The reference rasteriser counts as available, as Wine has it.
  if (DeviceType != D3DDEVTYPE_HAL && DeviceType != D3DDEVTYPE_REF) return D3DERR_NOTAVAILABLE;
  D3DPRESENT_PARAMETERS params = *pPresentationParameters;
  if (!params.hDeviceWindow) params.hDeviceWindow = hFocusWindow;
  // Either window will do to present into; with neither there is nothing.
  if (!IsWindow(params.hDeviceWindow)) params.hDeviceWindow = hFocusWindow;
  if (!IsWindow(params.hDeviceWindow)) return D3DERR_INVALIDCALL;
  if (HRESULT hr = CheckParameters(&params); FAILED(hr)) return hr;
  if (State().failCreateDevice) return D3DERR_NOTAVAILABLE;
  auto* device = new (std::nothrow) Device(this, params, BehaviorFlags);
  if (!device) return E_OUTOFMEMORY;
  if (!device->ok()) {
    device->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  // Direct3D fills in what the caller left to it.
  *pPresentationParameters = params;
  *ppReturnedDeviceInterface = device;
  return D3D_OK;
}

HRESULT CheckParameters(D3DPRESENT_PARAMETERS* params) {
  if (params->SwapEffect < D3DSWAPEFFECT_DISCARD || params->SwapEffect > D3DSWAPEFFECT_COPY) return D3DERR_INVALIDCALL;
  if (params->BackBufferCount > 3) return D3DERR_INVALIDCALL;
  if (params->SwapEffect == D3DSWAPEFFECT_COPY && params->BackBufferCount > 1) return D3DERR_INVALIDCALL;
  if (params->BackBufferFormat == D3DFMT_UNKNOWN) params->BackBufferFormat = State().desktopFormat;
  if (BytesPerPixel(params->BackBufferFormat) == 0) return D3DERR_INVALIDCALL;
  // One of the intervals, not a combination of them.
  UINT interval = params->PresentationInterval;
  if (interval != static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE) && (interval & (interval - 1)) != 0)
    return D3DERR_INVALIDCALL;
  if (interval != static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE) && interval > D3DPRESENT_INTERVAL_FOUR)
    return D3DERR_INVALIDCALL;
  // Only windowed devices without multisampling: the screen asks for
  // nothing else, and the substitute has no full-screen modes to switch to.
  if (!params->Windowed || params->MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
  if (params->EnableAutoDepthStencil) return D3DERR_NOTAVAILABLE;
  if (params->BackBufferWidth == 0 || params->BackBufferHeight == 0) {
    RECT client{};
    GetClientRect(params->hDeviceWindow, &client);
    if (params->BackBufferWidth == 0) params->BackBufferWidth = client.right > 0 ? static_cast<UINT>(client.right) : 1;
    if (params->BackBufferHeight == 0) params->BackBufferHeight = client.bottom > 0 ? static_cast<UINT>(client.bottom) : 1;
  }
  if (params->BackBufferWidth > 8192 || params->BackBufferHeight > 8192) return D3DERR_OUTOFVIDEOMEMORY;
  if (params->BackBufferCount == 0) params->BackBufferCount = 1;
  return D3D_OK;
}

}  // namespace d3d9

IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
  if (sdkVersion != D3D_SDK_VERSION) return nullptr;
  return new (std::nothrow) d3d9::Direct3D();
}

namespace hosted {

// A windowed desktop is X8R8G8B8, R5G6B5 or X1R5G5B5 to Direct3D 9: a 32-bit
// display reports X8R8G8B8 whatever the order of its channels (Wine's does
// too), so no device is ever told of an A8B8G8R8 desktop. Other formats are
// taken as given.
void SetD3D9DesktopFormat(D3DFORMAT format) {
  const bool wide = format == D3DFMT_A8R8G8B8 || format == D3DFMT_A8B8G8R8 || format == D3DFMT_X8B8G8R8;
  d3d9::State().desktopFormat = wide ? D3DFMT_X8R8G8B8 : format;
}
int DisplayDepth() { return d3d9::State().desktopFormat == D3DFMT_X8R8G8B8 ? 32 : 16; }
void SetD3D9ZeroModes(bool zero) { d3d9::State().zeroModes = zero; }
void SetD3D9ModeFormat(D3DFORMAT only) { d3d9::State().modeFormat = only; }
void FailD3D9CreateDevice(bool fail) { d3d9::State().failCreateDevice = fail; }
void FailD3D9Reset(bool fail) { d3d9::State().failReset = fail; }
void FailD3D9Present(bool fail) { d3d9::State().failPresent = fail; }
void FailD3D9GetDC(bool fail) { d3d9::State().failGetDC = fail; }
void ScriptD3D9CooperativeLevel(std::initializer_list<HRESULT> answers) {
  d3d9::State().cooperativeAnswers.assign(answers.begin(), answers.end());
}
void ScriptD3D9CooperativeLevel(const std::vector<HRESULT>& answers) {
  d3d9::State().cooperativeAnswers.assign(answers.begin(), answers.end());
}
void ResetD3D9() { d3d9::State() = d3d9::Faults{}; }
void KeepD3D9Pictures(bool keep) { d3d9::keepPictures = keep; }
int D3D9LiveObjects() { return d3d9::liveObjects; }
D3D9CallCounts D3D9Calls() { return d3d9::State().calls; }

// The record is copied out only when a test asks for it.
D3D9Present D3D9LastPresent() {
  const d3d9::LastPresent& last = d3d9::Presented();
  return {last.window, last.source, last.destination, last.pixels, last.count};
}

}  // namespace hosted

// IDirect3DDevice9: one windowed swap chain with a single back buffer in
// system memory. Drawing goes through the back buffer's device context or
// lock; Present converts it to 32 bits, stretches it onto the device
// window's client area and hands it to the display backend.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "d3d9/internal.h"
#include "display/backend.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace d3d9 {

std::atomic<bool> keepPictures{false};

LastPresent& Presented() {
  static LastPresent last;
  return last;
}

namespace {

uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

unsigned Load16(const uint8_t* p) { return p[0] | (p[1] << 8); }

// 5 and 6-bit channels widen by repeating their top bits, so full intensity
// stays full.
uint32_t From565(unsigned v) {
  unsigned r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
  return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

uint32_t From555(unsigned v) {
  unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
  return ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
}

// A row of 32-bit pixels with the top byte cleared. The picture is not read
// again while the program draws its next frame, so it is written past the
// cache: the back buffer, which the next frame draws on, stays in it.
void CopyRow32(const uint8_t* from, uint32_t* to, LONG count) {
  LONG x = 0;
#if defined(__SSE2__)
  // Single pixels up to a 16-byte boundary of the destination, then four
  // at a time.
  for (; x < count && (reinterpret_cast<uintptr_t>(to + x) & 15) != 0; ++x) to[x] = Load32(from + 4 * x) & 0xFFFFFFu;
  const __m128i mask = _mm_set1_epi32(0xFFFFFF);
  for (; x + 4 <= count; x += 4)
    _mm_stream_si128(reinterpret_cast<__m128i*>(to + x),
                     _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4 * x)), mask));
#endif
  for (; x < count; ++x) to[x] = Load32(from + 4 * x) & 0xFFFFFFu;
}

// Streaming stores are ordered with other threads' reads only after a fence.
void FinishStreaming() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

// Every destination row from its nearest source row, every pixel from the
// source column the table names.
template <typename Convert>
void StretchRows(const uint8_t* bits, size_t pitch, const RECT& src, LONG dstW, LONG dstH, const uint32_t* columns,
                 uint32_t* out, Convert convert) {
  LONG srcH = src.bottom - src.top;
  for (LONG y = 0; y < dstH; ++y, out += dstW) {
    LONG sy = src.top + static_cast<LONG>(static_cast<long long>(y) * srcH / dstH);
    const uint8_t* row = bits + static_cast<size_t>(sy) * pitch;
    for (LONG x = 0; x < dstW; ++x) out[x] = convert(row + columns[x]);
  }
}

}  // namespace

Device::Device(Direct3D* owner, const D3DPRESENT_PARAMETERS& params, DWORD flags)
    : owner_(owner), params_(params) {
  ++liveObjects;
  // The device keeps its Direct3D object alive, as on Windows.
  owner_->AddRef();
  softwareVertexProcessing_ = (flags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) ? TRUE : FALSE;
  MakeBackBuffer();
}

Device::~Device() {
  if (backBuffer_) SurfaceGone(backBuffer_);
  owner_->Release();
  --liveObjects;
}

bool Device::MakeBackBuffer() {
  backBuffer_ = new (std::nothrow)
      Surface(this, params_.BackBufferWidth, params_.BackBufferHeight, params_.BackBufferFormat);
  if (backBuffer_ && !backBuffer_->bits()) {
    delete backBuffer_;
    backBuffer_ = nullptr;
  }
  return backBuffer_ != nullptr;
}

void Device::SurfaceGone(Surface* surface) {
  // Outside references keep the object (not the device) alive; it is
  // deleted when the last one goes.
  if (surface == backBuffer_) backBuffer_ = nullptr;
  surface->Detach();
  if (surface->refs() == 0) delete surface;
}

HRESULT Device::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (SameIid(riid, IID_IUnknown) || SameIid(riid, IID_IDirect3DDevice9)) {
    AddRef();
    *object = this;
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG Device::AddRef() { return ++refs_; }

ULONG Device::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Device::TestCooperativeLevel() {
  ++State().calls.testCooperativeLevel;
  std::vector<HRESULT>& script = State().cooperativeAnswers;
  if (!script.empty()) {
    HRESULT answer = script.front();
    script.erase(script.begin());
    return answer;
  }
  return notReset_ ? D3DERR_DEVICENOTRESET : D3D_OK;
}

HRESULT Device::GetDirect3D(IDirect3D9** ppD3D9) {
  if (!ppD3D9) return D3DERR_INVALIDCALL;
  owner_->AddRef();
  *ppD3D9 = owner_;
  return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* pCaps) { return owner_->GetDeviceCaps(0, D3DDEVTYPE_HAL, pCaps); }

HRESULT Device::GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) {
  if (iSwapChain != 0) return D3DERR_INVALIDCALL;
  return owner_->GetAdapterDisplayMode(0, pMode);
}

UINT Device::GetNumberOfSwapChains() { return 1; }

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) {
  ++State().calls.reset;
  if (!pPresentationParameters) return D3DERR_INVALIDCALL;
  // A back buffer still referenced or held outside blocks the reset, and the
  // device then waits for a reset that works.
  if (backBuffer_ && (backBuffer_->refs() > 0 || backBuffer_->busy())) {
    notReset_ = true;
    return D3DERR_INVALIDCALL;
  }
  D3DPRESENT_PARAMETERS params = *pPresentationParameters;
  if (!params.hDeviceWindow) params.hDeviceWindow = params_.hDeviceWindow;
  if (!IsWindow(params.hDeviceWindow) || FAILED(CheckParameters(&params)) || State().failReset) {
    notReset_ = true;
    return D3DERR_INVALIDCALL;
  }
  Surface* old = backBuffer_;
  D3DPRESENT_PARAMETERS previous = params_;
  params_ = params;
  if (!MakeBackBuffer()) {
    params_ = previous;
    backBuffer_ = old;
    notReset_ = true;
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  if (old) {
    old->Detach();
    delete old;
  }
  // States go back to their defaults, as after creation.
  std::fill(std::begin(renderStates_), std::end(renderStates_), 0);
  for (auto& stage : stageStates_) std::fill(std::begin(stage), std::end(stage), 0);
  for (auto& sampler : samplerStates_) std::fill(std::begin(sampler), std::end(sampler), 0);
  notReset_ = false;
  *pPresentationParameters = params;
  return D3D_OK;
}

HRESULT Device::Present(const RECT* src_rect, const RECT* dst_rect, HWND dst_window_override,
                        const RGNDATA* dirty_region) {
  ++State().calls.present;
  (void)dirty_region;
  if (notReset_) return D3DERR_DEVICELOST;
  if (!backBuffer_ || backBuffer_->busy()) return D3DERR_INVALIDCALL;
  if (State().failPresent) return D3DERR_DEVICELOST;
  HWND window = dst_window_override ? dst_window_override : params_.hDeviceWindow;
  if (!IsWindow(window)) return D3DERR_INVALIDCALL;

  RECT src = {0, 0, static_cast<LONG>(backBuffer_->width()), static_cast<LONG>(backBuffer_->height())};
  if (src_rect) src = *src_rect;
  RECT client{};
  GetClientRect(window, &client);
  RECT dst = dst_rect ? *dst_rect : client;
  LONG srcW = src.right - src.left, srcH = src.bottom - src.top;
  LONG dstW = dst.right - dst.left, dstH = dst.bottom - dst.top;
  if (srcW <= 0 || srcH <= 0 || src.left < 0 || src.top < 0 || src.right > static_cast<LONG>(backBuffer_->width()) ||
      src.bottom > static_cast<LONG>(backBuffer_->height()))
    return D3DERR_INVALIDCALL;

  // Nothing to show in an empty client area, but the present still counts.
  if (dstW > 0 && dstH > 0) {
    LastPresent& last = Presented();
    const void* shown;
    int shownPitch;
    if (!keepPictures && BytesPerPixel(backBuffer_->format()) == 4 && srcW == dstW && srcH == dstH) {
      // Nobody reads the record: the display takes the rows where they are
      // (it ignores the unused top byte), sparing a copy of the frame.
      shownPitch = backBuffer_->pitch();
      shown = backBuffer_->bits() + static_cast<size_t>(src.top) * static_cast<size_t>(shownPitch) +
              static_cast<size_t>(src.left) * 4;
      last.pixels.clear();
    } else {
      last.pixels.resize(static_cast<size_t>(dstW) * static_cast<size_t>(dstH));
      Picture(src, dstW, dstH, last.pixels.data());
      shown = last.pixels.data();
      shownPitch = dstW * 4;
    }
    // The backend shows top-level windows: place the picture in the root
    // window's client area.
    HWND root = GetAncestor(window, GA_ROOT);
    if (!root) root = window;
    POINT origin = {dst.left, dst.top};
    ClientToScreen(window, &origin);
    POINT rootOrigin = {0, 0};
    ClientToScreen(root, &rootOrigin);
    RECT placed = {origin.x - rootOrigin.x, origin.y - rootOrigin.y, origin.x - rootOrigin.x + dstW,
                   origin.y - rootOrigin.y + dstH};
    if (const display::Backend* backend = display::Current(); backend && backend->present)
      backend->present(root, shown, dstW, dstH, shownPitch, &placed, 1);
    last.window = window;
    last.source = src;
    last.destination = dst;
  }
  ++Presented().count;
  // Any interval but immediate waits for the display's next retrace.
  if (params_.PresentationInterval != static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE))
    display::Current()->waitRetrace();
  return D3D_OK;
}

void Device::Picture(const RECT& src, LONG dstW, LONG dstH, uint32_t* out) {
  const D3DFORMAT format = backBuffer_->format();
  const int bpp = BytesPerPixel(format);
  const uint8_t* bits = backBuffer_->bits();
  const size_t pitch = static_cast<size_t>(backBuffer_->pitch());
  LONG srcW = src.right - src.left, srcH = src.bottom - src.top;
  // The screen's own case, a 32-bit back buffer shown at its size: whole
  // rows, only the unused top byte cleared.
  if (bpp == 4 && srcW == dstW && srcH == dstH) {
    for (LONG y = 0; y < dstH; ++y, out += dstW) {
      const uint8_t* row = bits + static_cast<size_t>(src.top + y) * pitch + static_cast<size_t>(src.left) * 4;
      CopyRow32(row, out, dstW);
    }
    FinishStreaming();
    return;
  }
  columns_.resize(static_cast<size_t>(dstW));
  for (LONG x = 0; x < dstW; ++x)
    columns_[x] = static_cast<uint32_t>((src.left + static_cast<LONG>(static_cast<long long>(x) * srcW / dstW)) * bpp);
  switch (format) {
    case D3DFMT_R5G6B5:
      StretchRows(bits, pitch, src, dstW, dstH, columns_.data(), out,
                  [](const uint8_t* p) { return From565(Load16(p)); });
      break;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
      StretchRows(bits, pitch, src, dstW, dstH, columns_.data(), out,
                  [](const uint8_t* p) { return From555(Load16(p)); });
      break;
    default:
      StretchRows(bits, pitch, src, dstW, dstH, columns_.data(), out,
                  [](const uint8_t* p) { return Load32(p) & 0xFFFFFFu; });
      break;
  }
}

HRESULT Device::GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                              IDirect3DSurface9** ppBackBuffer) {
  ++State().calls.getBackBuffer;
  if (!ppBackBuffer) return D3DERR_INVALIDCALL;
  *ppBackBuffer = nullptr;
  if (iSwapChain != 0 || iBackBuffer != 0 || Type != D3DBACKBUFFER_TYPE_MONO || !backBuffer_)
    return D3DERR_INVALIDCALL;
  backBuffer_->AddRef();
  *ppBackBuffer = backBuffer_;
  return D3D_OK;
}

HRESULT Device::BeginScene() { return D3D_OK; }
HRESULT Device::EndScene() { return D3D_OK; }

HRESULT Device::Clear(DWORD rect_count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
  ++State().calls.clear;
  (void)z;
  (void)stencil;
  if (!backBuffer_ || (rect_count && !rects)) return D3DERR_INVALIDCALL;
  // No depth or stencil buffer to clear.
  if (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) return D3DERR_INVALIDCALL;
  if (!(flags & D3DCLEAR_TARGET)) return D3D_OK;
  if (backBuffer_->busy()) return D3DERR_INVALIDCALL;
  D3DFORMAT format = backBuffer_->format();
  unsigned r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
  uint32_t value = color & 0xFFFFFFu;
  if (format == D3DFMT_R5G6B5) value = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
  if (format == D3DFMT_X1R5G5B5) value = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
  int bpp = BytesPerPixel(format);
  LONG width = static_cast<LONG>(backBuffer_->width()), height = static_cast<LONG>(backBuffer_->height());
  D3DRECT whole = {0, 0, width, height};
  DWORD count = rect_count ? rect_count : 1;
  const D3DRECT* list = rect_count ? rects : &whole;
  for (DWORD i = 0; i < count; ++i) {
    LONG x1 = std::max<LONG>(list[i].x1, 0), y1 = std::max<LONG>(list[i].y1, 0);
    LONG x2 = std::min(list[i].x2, width), y2 = std::min(list[i].y2, height);
    for (LONG y = y1; y < y2; ++y) {
      uint8_t* row = backBuffer_->bits() + static_cast<size_t>(y) * backBuffer_->pitch();
      for (LONG x = x1; x < x2; ++x)
        for (int k = 0; k < bpp; ++k) row[x * bpp + k] = static_cast<uint8_t>(value >> (8 * k));
    }
  }
  return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) {
  if (State >= std::size(renderStates_)) return D3DERR_INVALIDCALL;
  renderStates_[State] = Value;
  return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) {
  if (!pValue || State >= std::size(renderStates_)) return D3DERR_INVALIDCALL;
  *pValue = renderStates_[State];
  return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) {
  if (!pValue || Stage >= std::size(stageStates_) || Type >= std::size(stageStates_[0])) return D3DERR_INVALIDCALL;
  *pValue = stageStates_[Stage][Type];
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) {
  if (Stage >= std::size(stageStates_) || Type >= std::size(stageStates_[0])) return D3DERR_INVALIDCALL;
  stageStates_[Stage][Type] = Value;
  return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) {
  if (!pValue || Sampler >= std::size(samplerStates_) || Type >= std::size(samplerStates_[0]))
    return D3DERR_INVALIDCALL;
  *pValue = samplerStates_[Sampler][Type];
  return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) {
  if (Sampler >= std::size(samplerStates_) || Type >= std::size(samplerStates_[0])) return D3DERR_INVALIDCALL;
  samplerStates_[Sampler][Type] = Value;
  return D3D_OK;
}

HRESULT Device::SetSoftwareVertexProcessing(BOOL bSoftware) {
  // Accepted on any device: the substitute processes no vertices anyway.
  softwareVertexProcessing_ = bSoftware ? TRUE : FALSE;
  return D3D_OK;
}

BOOL Device::GetSoftwareVertexProcessing() { return softwareVertexProcessing_; }

}  // namespace d3d9

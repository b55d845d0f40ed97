// IDirect3DSurface9: the back buffer's pixels, reached either through a
// device context (GDI draws into them) or through a lock, never both.
#include <new>

#include "d3d9/internal.h"
#include "gdi/surface.h"

namespace d3d9 {

namespace {

gdi::PixelFormat GdiFormat(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R5G6B5:
      return gdi::PixelFormat::R5G6B5;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
      return gdi::PixelFormat::X1R5G5B5;
    default:
      return gdi::PixelFormat::X8R8G8B8;
  }
}

}  // namespace

Surface::Surface(Device* device, UINT width, UINT height, D3DFORMAT format)
    : device_(device), width_(width), height_(height), format_(format) {
  ++liveObjects;
  // Rows start on 4-byte boundaries, as a device context's bitmap needs.
  pitch_ = static_cast<int>((width * BytesPerPixel(format) + 3) & ~3u);
  pixels_.resize(static_cast<size_t>(pitch_) * height);
}

Surface::~Surface() {
  if (dc_) gdi::DeleteSurfaceDC(dc_);
  --liveObjects;
}

void Surface::Detach() {
  // While referenced the surface held the device; that hold ends with it.
  device_ = nullptr;
  if (dc_) {
    gdi::DeleteSurfaceDC(dc_);
    dc_ = nullptr;
  }
  locked_ = false;
}

HRESULT Surface::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (SameIid(riid, IID_IUnknown) || SameIid(riid, IID_IDirect3DResource9) || SameIid(riid, IID_IDirect3DSurface9)) {
    AddRef();
    *object = this;
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG Surface::AddRef() {
  // A referenced back buffer keeps its device alive.
  if (refs_++ == 0 && device_) device_->Hold();
  return refs_;
}

ULONG Surface::Release() {
  if (refs_ == 0) return 0;
  ULONG left = --refs_;
  if (left == 0) {
    if (device_)
      device_->Drop();  // may delete the device and with it this surface
    else
      delete this;
  }
  return left;
}

HRESULT Surface::GetDevice(IDirect3DDevice9** ppDevice) {
  if (!ppDevice) return D3DERR_INVALIDCALL;
  *ppDevice = nullptr;
  if (!device_) return D3DERR_INVALIDCALL;
  device_->AddRef();
  *ppDevice = device_;
  return D3D_OK;
}

D3DRESOURCETYPE Surface::GetType() { return D3DRTYPE_SURFACE; }

HRESULT Surface::GetContainer(REFIID riid, void** ppContainer) {
  if (!ppContainer) return D3DERR_INVALIDCALL;
  *ppContainer = nullptr;
  if (!device_) return E_NOINTERFACE;
  return device_->QueryInterface(riid, ppContainer);
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* pDesc) {
  if (!pDesc) return D3DERR_INVALIDCALL;
  *pDesc = {format_, D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, D3DMULTISAMPLE_NONE, 0, width_, height_};
  return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked_rect, const RECT* rect, DWORD flags) {
  ++State().calls.lockRect;
  (void)flags;
  if (!locked_rect) return D3DERR_INVALIDCALL;
  // Locking hands out the pixels; a held device context or a second lock
  // would let two writers at them.
  if (locked_ || dc_ || !device_) return D3DERR_INVALIDCALL;
  size_t offset = 0;
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
        rect->right > static_cast<LONG>(width_) || rect->bottom > static_cast<LONG>(height_))
      return D3DERR_INVALIDCALL;
    offset = static_cast<size_t>(rect->top) * pitch_ + static_cast<size_t>(rect->left) * BytesPerPixel(format_);
  }
  locked_ = true;
  locked_rect->Pitch = pitch_;
  locked_rect->pBits = pixels_.data() + offset;
  return D3D_OK;
}

HRESULT Surface::UnlockRect() {
  ++State().calls.unlockRect;
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

HRESULT Surface::GetDC(HDC* phdc) {
  ++State().calls.getDC;
  if (!phdc) return D3DERR_INVALIDCALL;
  // One device context at a time, and none while locked.
  if (dc_ || locked_ || !device_) return D3DERR_INVALIDCALL;
  if (State().failGetDC) return D3DERR_INVALIDCALL;
  gdi::Bitmap bitmap{pixels_.data(), static_cast<int>(width_), static_cast<int>(height_), pitch_, GdiFormat(format_)};
  HDC dc = gdi::CreateSurfaceDC(bitmap);
  if (!dc) return D3DERR_INVALIDCALL;
  dc_ = dc;
  *phdc = dc;
  return D3D_OK;
}

HRESULT Surface::ReleaseDC(HDC hdc) {
  ++State().calls.releaseDC;
  if (!dc_ || hdc != dc_) return D3DERR_INVALIDCALL;
  gdi::DeleteSurfaceDC(dc_);
  dc_ = nullptr;
  return D3D_OK;
}

}  // namespace d3d9

// Icons and cursors made from bitmaps: CreateIconIndirect keeps its own
// copies (a monochrome mask, a 32-bit colour bitmap, and for colour with
// an alpha channel a premultiplied 32-bit section), GetIconInfo hands out
// copies again, DrawIconEx draws through the DC calls a program would use.
// Handles are numbers never used twice, so a destroyed one stays refused.
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "config.h"
#include "user/internal.h"

namespace user {
namespace {

struct Icon {
  bool isIcon = true;
  POINT hotspot = {};
  int width = 0;
  int height = 0;
  HBITMAP color = nullptr;  // null for a monochrome icon: its mask holds both halves
  HBITMAP mask = nullptr;
  HBITMAP alpha = nullptr;  // premultiplied, for 32-bit colour with any alpha
};

struct Icons {
  std::mutex lock;
  std::unordered_map<uintptr_t, Icon> live;
  // Odd, so never the address of a stock icon's row.
  uintptr_t next = 0x20001;
};

Icons& icons() {
  static Icons table;
  return table;
}

bool FindIcon(HICON handle, Icon& icon) {
  Icons& t = icons();
  std::lock_guard<std::mutex> guard(t.lock);
  const auto it = t.live.find(reinterpret_cast<uintptr_t>(handle));
  if (it == t.live.end()) return false;
  icon = it->second;
  return true;
}

void DeleteBitmaps(const Icon& icon) {
  if (icon.color != nullptr) DeleteObject(icon.color);
  if (icon.mask != nullptr) DeleteObject(icon.mask);
  if (icon.alpha != nullptr) DeleteObject(icon.alpha);
}

// Copies `source` (width x height) into `dst`'s rectangle. A bitmap that is
// selected elsewhere cannot be selected here, so its bits are read instead.
void StretchIn(HDC dst, int x, int y, int width, int height, HBITMAP source, int sourceWidth, int sourceHeight,
               WORD depth) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return;
  if (SelectObject(dc, source) != nullptr) {
    StretchBlt(dst, x, y, width, height, dc, 0, 0, sourceWidth, sourceHeight, SRCCOPY);
  } else {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colors[2];
    } info = {{sizeof(BITMAPINFOHEADER), sourceWidth, sourceHeight, 1, depth, BI_RGB, 0, 0, 0, 0, 0}, {}};
    std::vector<uint8_t> bits(static_cast<size_t>((sourceWidth * depth + 31) / 32 * 4) * sourceHeight);
    auto* bmi = reinterpret_cast<BITMAPINFO*>(&info);
    if (GetDIBits(dc, source, 0, sourceHeight, bits.data(), bmi, DIB_RGB_COLORS) != 0)
      StretchDIBits(dst, x, y, width, height, 0, 0, sourceWidth, sourceHeight, bits.data(), bmi, DIB_RGB_COLORS,
                    SRCCOPY);
  }
  DeleteDC(dc);
}

// A 32-bit colour bitmap with any nonzero alpha byte gets a top-down
// section of its pixels premultiplied (rounded to nearest), for DrawIconEx
// to blend.
HBITMAP PremultipliedCopy(HBITMAP color) {
  BITMAP bm;
  if (color == nullptr || GetObjectW(color, sizeof bm, &bm) == 0 || bm.bmBitsPixel != 32) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return nullptr;
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, -bm.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* memory = nullptr;
  HBITMAP alpha = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
  if (alpha != nullptr) {
    auto* bits = static_cast<uint8_t*>(memory);
    const size_t pixels = static_cast<size_t>(bm.bmWidth) * bm.bmHeight;
    bool any = false;
    if (GetDIBits(dc, color, 0, bm.bmHeight, bits, &info, DIB_RGB_COLORS) != 0)
      for (size_t i = 0; i < pixels && !any; ++i) any = bits[4 * i + 3] != 0;
    if (any) {
      for (size_t i = 0; i < pixels; ++i) {
        uint8_t* p = bits + 4 * i;
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((p[c] * p[3] + 127) / 255);
      }
    } else {
      DeleteObject(alpha);
      alpha = nullptr;
    }
  }
  DeleteDC(dc);
  return alpha;
}

// A bitmap of the same size and format with the same pixels.
HBITMAP Copy(HBITMAP bitmap) {
  BITMAP bm;
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof bm, &bm) == 0) return nullptr;
  HBITMAP copy = nullptr;
  HDC src = CreateCompatibleDC(nullptr), dst = CreateCompatibleDC(nullptr);
  if (src != nullptr && dst != nullptr && SelectObject(src, bitmap) != nullptr &&
      (copy = CreateCompatibleBitmap(src, bm.bmWidth, bm.bmHeight)) != nullptr) {
    SelectObject(dst, copy);
    BitBlt(dst, 0, 0, bm.bmWidth, bm.bmHeight, src, 0, 0, SRCCOPY);
  }
  if (dst != nullptr) DeleteDC(dst);
  if (src != nullptr) DeleteDC(src);
  return copy;
}

}  // namespace
}  // namespace user

HICON WINAPI CreateIconIndirect(PICONINFO info) {
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Windows makes no icon without a mask, and says nothing of why.
  if (info->hbmMask == nullptr) return nullptr;
  BITMAP maskInfo, colorInfo;
  if (GetObjectW(info->hbmMask, sizeof maskInfo, &maskInfo) == 0 ||
      (info->hbmColor != nullptr && GetObjectW(info->hbmColor, sizeof colorInfo, &colorInfo) == 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  user::Icon icon;
  icon.isIcon = info->fIcon != FALSE;
  icon.width = info->hbmColor != nullptr ? colorInfo.bmWidth : maskInfo.bmWidth;
  icon.height = info->hbmColor != nullptr ? colorInfo.bmHeight : maskInfo.bmHeight;
  // Colour of any depth becomes a bitmap of the display's: 32 bits, or on a
  // 16-bit desktop the 5-5-5 pixels of the platform's 16-bit bitmaps.
  if (info->hbmColor != nullptr)
    icon.color = CreateBitmap(icon.width, icon.height, 1, static_cast<UINT>(hosted::DisplayDepth()), nullptr);
  icon.mask = CreateBitmap(icon.width, icon.height, 1, 1, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  if (icon.mask == nullptr || (info->hbmColor != nullptr && icon.color == nullptr) || dc == nullptr) {
    if (dc != nullptr) DeleteDC(dc);
    user::DeleteBitmaps(icon);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  SelectObject(dc, icon.mask);
  user::StretchIn(dc, 0, 0, icon.width, icon.height, info->hbmMask, maskInfo.bmWidth, maskInfo.bmHeight, 1);
  if (icon.color != nullptr) {
    SelectObject(dc, icon.color);
    user::StretchIn(dc, 0, 0, icon.width, icon.height, info->hbmColor, icon.width, icon.height,
                    static_cast<WORD>(hosted::DisplayDepth()));
  } else {
    icon.height /= 2;  // the mask's lower half is the picture
  }
  DeleteDC(dc);
  icon.alpha = user::PremultipliedCopy(info->hbmColor);
  // An icon's hotspot is its centre whatever was asked.
  icon.hotspot = icon.isIcon ? POINT{icon.width / 2, icon.height / 2}
                             : POINT{static_cast<LONG>(info->xHotspot), static_cast<LONG>(info->yHotspot)};
  user::Icons& t = user::icons();
  std::lock_guard<std::mutex> guard(t.lock);
  const uintptr_t handle = t.next;
  t.next += 4;
  t.live.emplace(handle, icon);
  return reinterpret_cast<HICON>(handle);
}

BOOL WINAPI GetIconInfo(HICON handle, PICONINFO info) {
  user::Icon icon;
  if (!user::FindIcon(handle, icon)) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HBITMAP mask = user::Copy(icon.mask), color = user::Copy(icon.color);
  if (mask == nullptr || (color == nullptr && icon.color != nullptr)) {
    if (mask != nullptr) DeleteObject(mask);
    if (color != nullptr) DeleteObject(color);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  *info = {icon.isIcon ? TRUE : FALSE, static_cast<DWORD>(icon.hotspot.x), static_cast<DWORD>(icon.hotspot.y), mask,
           color};
  return TRUE;
}

BOOL WINAPI DrawIconEx(HDC dc, int x0, int y0, HICON handle, int width, int height, UINT step, HBRUSH background,
                       UINT flags) {
  user::Icon icon;
  if (!user::FindIcon(handle, icon)) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  if (step != 0) return FALSE;  // one frame only
  HDC memory = CreateCompatibleDC(dc);
  if (memory == nullptr) return FALSE;
  if (width == 0) width = (flags & DI_DEFAULTSIZE) != 0 ? GetSystemMetrics(SM_CXICON) : icon.width;
  if (height == 0) height = (flags & DI_DEFAULTSIZE) != 0 ? GetSystemMetrics(SM_CYICON) : icon.height;

  // With a background brush the icon is put together off screen and then
  // copied.
  HDC target = dc;
  HBITMAP offscreen = nullptr;
  int x = x0, y = y0;
  if (background != nullptr && GetObjectType(background) == OBJ_BRUSH) {
    target = CreateCompatibleDC(dc);
    offscreen = target != nullptr ? CreateCompatibleBitmap(dc, width, height) : nullptr;
    if (offscreen == nullptr) {
      if (target != nullptr) DeleteDC(target);
      DeleteDC(memory);
      return FALSE;
    }
    SelectObject(target, offscreen);
    const RECT all = {0, 0, width, height};
    FillRect(target, &all, background);
    x = y = 0;
  }
  const int oldMode = SetStretchBltMode(dc, STRETCH_DELETESCANS);
  const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
  const COLORREF oldBack = SetBkColor(dc, RGB(255, 255, 255));

  bool blended = false;
  if (icon.alpha != nullptr && (flags & DI_IMAGE) != 0) {
    // Blending needs a destination of more than 8 bits.
    bool deep = true;
    if (GetObjectType(target) == OBJ_MEMDC) {
      BITMAP bm;
      deep = GetObjectW(GetCurrentObject(target, OBJ_BITMAP), sizeof bm, &bm) != 0 && bm.bmBitsPixel > 8;
    }
    if (deep) {
      const BLENDFUNCTION perPixel = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
      SelectObject(memory, icon.alpha);
      blended = AlphaBlend(target, x, y, width, height, memory, 0, 0, icon.width, icon.height, perPixel) != FALSE;
    }
  }
  if (!blended) {
    if ((flags & DI_MASK) != 0) {
      SelectObject(memory, icon.mask);
      StretchBlt(target, x, y, width, height, memory, 0, 0, icon.width, icon.height,
                 (flags & DI_IMAGE) != 0 ? SRCAND : SRCCOPY);
    }
    if ((flags & DI_IMAGE) != 0) {
      const DWORD rop = (flags & DI_MASK) != 0 ? SRCINVERT : SRCCOPY;
      SelectObject(memory, icon.color != nullptr ? icon.color : icon.mask);
      StretchBlt(target, x, y, width, height, memory, 0, icon.color != nullptr ? 0 : icon.height, icon.width,
                 icon.height, rop);
    }
  }
  if (offscreen != nullptr) BitBlt(dc, x0, y0, width, height, target, 0, 0, SRCCOPY);

  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBack);
  SetStretchBltMode(dc, oldMode);
  if (offscreen != nullptr) {
    DeleteDC(target);
    DeleteObject(offscreen);
  }
  DeleteDC(memory);
  return TRUE;
}

BOOL WINAPI DestroyIcon(HICON handle) {
  // Shared stock icons stay; destroying one succeeds without effect.
  if (user::IsStockIcon(handle)) return TRUE;
  user::Icon icon;
  {
    user::Icons& t = user::icons();
    std::lock_guard<std::mutex> guard(t.lock);
    const auto it = t.live.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.live.end()) {
      SetLastError(ERROR_INVALID_CURSOR_HANDLE);
      return FALSE;
    }
    icon = it->second;
    t.live.erase(it);
  }
  user::DeleteBitmaps(icon);
  return TRUE;
}

BOOL WINAPI DestroyCursor(HCURSOR cursor) { return DestroyIcon(cursor); }

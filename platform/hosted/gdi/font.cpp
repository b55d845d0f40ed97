// Fonts and palettes. A font is the LOGFONTW it was made from; what the
// platform makes of it is realised on first use and shared by every font
// asking the same. A palette is never selected (SelectPalette's work).
#include <algorithm>
#include <climits>
#include <cstring>

#include "internal.h"

namespace gdi {
namespace {

const ObjectFuncs kFontFuncs = {
    [](HGDIOBJ handle, Dc& dc) { return Swap(dc.font, handle); },
    FreeRecord<Font>,
    // The description is copied as far as the buffer goes.
    [](HGDIOBJ handle, int size, void* buffer) {
      const Font* font = Get<Font>(handle, OBJ_FONT);
      if (buffer == nullptr) return static_cast<int>(sizeof(LOGFONTW));
      size = std::clamp(size, 0, static_cast<int>(sizeof(LOGFONTW)));
      std::memcpy(buffer, &font->logFont, static_cast<size_t>(size));
      return size;
    },
};

const ObjectFuncs kPaletteFuncs = {
    [](HGDIOBJ, Dc&) -> HGDIOBJ { return nullptr; },
    FreeRecord<Palette>,
    nullptr,
};

}  // namespace

HGDIOBJ NewFont(const LOGFONTW& logFont) { return NewObject(OBJ_FONT, kFontFuncs, Font{logFont, nullptr}); }
HGDIOBJ NewPalette() { return NewObject(OBJ_PAL, kPaletteFuncs, Palette{}); }

RealizedFont* DcFont(const Dc& dc) {
  Font* font = Get<Font>(dc.font, OBJ_FONT);
  if (font == nullptr) return nullptr;
  if (font->realized == nullptr) font->realized = FindFont(font->logFont);
  return font->realized.get();
}

}  // namespace gdi

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* logFont) {
  if (logFont == nullptr) return nullptr;
  return static_cast<HFONT>(gdi::NewFont(*logFont));
}

HFONT WINAPI CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                         DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName) {
  LOGFONTW logFont = {height,
                      width,
                      escapement,
                      orientation,
                      weight,
                      static_cast<BYTE>(italic),
                      static_cast<BYTE>(underline),
                      static_cast<BYTE>(strikeOut),
                      static_cast<BYTE>(charSet),
                      static_cast<BYTE>(outPrecision),
                      static_cast<BYTE>(clipPrecision),
                      static_cast<BYTE>(quality),
                      static_cast<BYTE>(pitchAndFamily),
                      {}};
  for (int i = 0; faceName != nullptr && i < LF_FACESIZE - 1 && faceName[i] != u'\0'; ++i)
    logFont.lfFaceName[i] = faceName[i];
  return CreateFontIndirectW(&logFont);
}

BOOL WINAPI GetTextMetricsW(HDC handle, LPTEXTMETRICW metrics) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  gdi::RealizedFont* font = dc != nullptr ? gdi::DcFont(*dc) : nullptr;
  if (font == nullptr || metrics == nullptr) return FALSE;
  *metrics = font->font->Metrics();
  return TRUE;
}

int WINAPI GetTextFaceW(HDC handle, int count, LPWSTR name) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  gdi::RealizedFont* font = dc != nullptr ? gdi::DcFont(*dc) : nullptr;
  if (font == nullptr) return 0;
  const std::u16string& face = font->faceName;
  // Without a buffer: the length the name needs, its terminator included.
  if (name == nullptr) return static_cast<int>(face.size()) + 1;
  if (count <= 0) return 0;
  const int copied = std::min(count - 1, static_cast<int>(face.size()));
  std::copy_n(face.begin(), copied, name);
  name[copied] = u'\0';
  return copied + 1;
}

BOOL WINAPI GetTextExtentPoint32W(HDC handle, LPCWSTR text, int count, LPSIZE size) {
  gdi::Dc* dc = gdi::LookupDc(handle);
  gdi::RealizedFont* font = dc != nullptr ? gdi::DcFont(*dc) : nullptr;
  if (font == nullptr || size == nullptr || count < 0 || (text == nullptr && count > 0)) return FALSE;
  *size = {0, 0};
  if (count == 0) return TRUE;
  long long width = 0;
  for (int i = 0; i < count; ++i) width += font->font->CharWidth(text[i]);
  size->cx = static_cast<LONG>(std::min<long long>(width, INT_MAX));
  size->cy = font->font->Metrics().tmHeight;
  return TRUE;
}

HGDIOBJ WINAPI GetCurrentObject(HDC handle, UINT type) {
  const gdi::Dc* dc = gdi::LookupDc(handle);
  if (dc == nullptr) return nullptr;
  switch (type) {
    case OBJ_PEN: return dc->pen;
    case OBJ_BRUSH: return dc->brush;
    case OBJ_FONT: return dc->font;
    case OBJ_BITMAP: return dc->bitmap;
    default: return nullptr;
  }
}

#include "drawing/driver.h"

#include <cmath>
#include <cstring>

#include "runtime/facilities.h"
#include "runtime/runtime.h"
#include "runtime/trunc.h"

namespace {

// Handles the platform's colour calls take: a Colour's bits unchanged.
COLORREF Ref(Colour colour) { return static_cast<COLORREF>(colour); }

// The direct path writes only while the pixels are locked; anything else
// goes through the device context.
bool WritesDirectly(int32_t formatCode) {
  return formatCode == PixelFormat8 || formatCode == PixelFormat555 || formatCode == PixelFormat565 ||
         formatCode == PixelFormat8888;
}

Colour ApplyBackColor(DrawContext* context, Colour colour) {
  RegainDc(context);
  return static_cast<Colour>(SetBkColor(context->dc, Ref(colour)));
}

// Corners a caller's values put far off: added in unsigned, so that a sum
// past the 32-bit range wraps as the platform's own arithmetic would
// instead of being undefined behaviour.
int32_t Sum(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
int32_t Less(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

BOOL PaintRect(DrawContext* context, int32_t x, int32_t y, int32_t w, int32_t h) {
  RegainDc(context);
  // A rectangle one pixel each way would be drawn by the pen's outline
  // alone; one pixel set is the same and cheaper.
  if ((w == 1 || w == -1) && (h == 1 || h == -1)) {
    const int32_t px = w == 1 ? x : x - 1;
    const int32_t py = h == 1 ? y : y - 1;
    return SetPixelV(context->dc, px, py, Ref(context->color));
  }
  // The platform orders the corners.
  return Rectangle(context->dc, x, y, Sum(x, w), Sum(y, h));
}

BOOL PaintRoundRect(DrawContext* context, int32_t x, int32_t y, int32_t w, int32_t h, int32_t rx, int32_t ry) {
  RegainDc(context);
  return RoundRect(context->dc, x, y, Sum(x, w), Sum(y, h), Sum(rx, rx), Sum(ry, ry));
}

// The ellipse with radii rx and ry about (x, y), its box one pixel wider
// and higher than the radii make it so that (x, y) is its centre pixel.
BOOL EllipseAbout(DrawContext* context, int32_t x, int32_t y, int32_t rx, int32_t ry) {
  return Ellipse(context->dc, Less(x, rx), Less(y, ry), Sum(Sum(x, rx), 1), Sum(Sum(y, ry), 1));
}

// Radius 1 is the four neighbours, and the centre unless outlined; radius
// 0 is the centre pixel, then the platform's ellipse of one pixel.
BOOL PaintCircle(DrawContext* context, int32_t x, int32_t y, int32_t r) {
  RegainDc(context);
  HDC dc = context->dc;
  const COLORREF colour = Ref(context->color);
  if (r == 1) {
    SetPixelV(dc, x, Less(y, 1), colour);
    SetPixelV(dc, x, Sum(y, 1), colour);
    SetPixelV(dc, Less(x, 1), y, colour);
    const BOOL done = SetPixelV(dc, Sum(x, 1), y, colour);
    return (context->mode & ModeOutline) != 0 ? done : SetPixelV(dc, x, y, colour);
  }
  if (r == 0) SetPixelV(dc, x, y, colour);
  return EllipseAbout(context, x, y, r, r);
}

// Radii of 0 and 1 are drawn pixel by pixel: a radius of 1 adds the two
// neighbours on its axis; the centre is left out only in outline mode with
// both radii nonzero.
BOOL PaintEllipse(DrawContext* context, int32_t x, int32_t y, int32_t rx, int32_t ry) {
  RegainDc(context);
  if (rx > 1 || ry > 1) return EllipseAbout(context, x, y, rx, ry);
  HDC dc = context->dc;
  const COLORREF colour = Ref(context->color);
  BOOL done = TRUE;
  if (rx == 1) {
    SetPixelV(dc, Less(x, 1), y, colour);
    done = SetPixelV(dc, Sum(x, 1), y, colour);
  }
  if (ry == 1) {
    SetPixelV(dc, x, Less(y, 1), colour);
    done = SetPixelV(dc, x, Sum(y, 1), colour);
  }
  if ((context->mode & ModeOutline) == 0 || rx == 0 || ry == 0) done = SetPixelV(dc, x, y, colour);
  return done;
}

void* MapPixels(DrawContext* context) {
  if (context->targetKind != TargetLockableSurface) return nullptr;
  if (context->dcState == DcHeld && context->lockPixels != nullptr) {
    context->pixels = context->lockPixels(context, &context->pitch);
    context->dcState = DcGivenUpForPixels;
  }
  return context->pixels;
}

int32_t PixelPitch(DrawContext* context) {
  return context->targetKind == TargetLockableSurface ? context->pitch : 0;
}

int32_t PixelFormatCode(DrawContext* context) {
  return context->targetKind == TargetLockableSurface ? context->pixelFormat : 0;
}

void ApplyColor(DrawContext* context, Colour colour);

void ApplyMode(DrawContext* context, int32_t flags) {
  RegainDc(context);
  context->mode = flags;
  HDC dc = context->dc;
  SetROP2(dc, (flags & ModeInvert) != 0 ? R2_NOT : R2_COPYPEN);
  SelectObject(dc, (flags & ModeOutline) != 0 ? GetStockObject(NULL_BRUSH) : context->brush);
  SetBkMode(dc, (flags & ModeTransparentText) != 0 ? TRANSPARENT : OPAQUE);
  ApplyColor(context, context->color);
}

void ApplyColor(DrawContext* context, Colour colour) {
  RegainDc(context);
  HDC dc = context->dc;
  // Each new object is selected before the one it replaces is deleted; a
  // creation that fails leaves the previous one in force.
  if ((context->mode & ModeOutline) == 0) {
    if (HBRUSH brush = CreateSolidBrush(Ref(colour))) {
      SelectObject(dc, brush);
      if (context->brush != nullptr) DeleteObject(context->brush);
      context->brush = brush;
    }
  }
  if (HPEN pen = CreatePen(PS_SOLID, 0, Ref(colour))) {
    SelectObject(dc, pen);
    if (context->pen != nullptr) DeleteObject(context->pen);
    context->pen = pen;
  }
  SetTextColor(dc, Ref(colour));
}

BOOL PaintPixel(DrawContext* context, int32_t x, int32_t y) {
  RegainDc(context);
  return SetPixelV(context->dc, x, y, Ref(context->color));
}

// The platform's line leaves out its end point; the slot draws both.
BOOL PaintLine(DrawContext* context, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  RegainDc(context);
  HDC dc = context->dc;
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
  return SetPixelV(dc, x2, y2, Ref(context->color));
}

// -1: the area in the colour now at (x, y); otherwise the area up to the
// border colour. Outline mode's hollow brush would fill nothing, so the
// mode is dropped for the fill, which takes a brush of the colour of its
// own, and then restored.
BOOL PaintFloodFill(DrawContext* context, int32_t x, int32_t y, Colour border) {
  RegainDc(context);
  HDC dc = context->dc;
  const bool outline = (context->mode & ModeOutline) != 0;
  HBRUSH fill = nullptr;
  if (outline) {
    SetROP2(dc, R2_COPYPEN);
    fill = CreateSolidBrush(Ref(context->color));
    if (fill != nullptr) SelectObject(dc, fill);
  }
  const BOOL done = border == -1 ? ExtFloodFill(dc, x, y, GetPixel(dc, x, y), FLOODFILLSURFACE)
                                 : ExtFloodFill(dc, x, y, Ref(border), FLOODFILLBORDER);
  if (outline) {
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    if (fill != nullptr) DeleteObject(fill);
    SetROP2(dc, (context->mode & ModeInvert) != 0 ? R2_NOT : R2_COPYPEN);
  }
  return done;
}

void PaintPixelColor(DrawContext* context, int32_t x, int32_t y, Colour colour) {
  const int32_t format = context->pixelFormat;
  if (context->targetKind != TargetLockableSurface || !WritesDirectly(format)) {
    RegainDc(context);
    SetPixelV(context->dc, x, y, Ref(colour));
    return;
  }
  auto* pixels = static_cast<unsigned char*>(MapPixels(context));
  // A lock that failed, or a point off the target, writes nothing rather
  // than somewhere outside the locked memory.
  if (pixels == nullptr) return;
  if (static_cast<uint32_t>(x) >= static_cast<uint32_t>(context->targetWidth) ||
      static_cast<uint32_t>(y) >= static_cast<uint32_t>(context->targetHeight))
    return;
  const uint32_t value = PixelValue(format, colour);
  const int bytes = format == PixelFormat8 ? 1 : format == PixelFormat8888 ? 4 : 2;
  unsigned char* at = pixels + static_cast<ptrdiff_t>(y) * context->pitch + static_cast<ptrdiff_t>(x) * bytes;
  if (bytes == 1) {
    *at = static_cast<unsigned char>(value);
  } else if (bytes == 2) {
    const auto narrow = static_cast<uint16_t>(value);
    std::memcpy(at, &narrow, sizeof narrow);
  } else {
    std::memcpy(at, &value, sizeof value);
  }
}

Colour ReadPixel(DrawContext* context, int32_t x, int32_t y) {
  RegainDc(context);
  return static_cast<Colour>(GetPixel(context->dc, x, y));
}

HDC OpenOutput(DrawContext* context) {
  context->baseBrush = CreateSolidBrush(0);
  context->basePen = CreatePen(PS_SOLID, 0, 0);
  context->mode = 0;
  context->dcState = DcHeld;
  HDC dc = context->dc;
  if (dc == nullptr) {
    // The session will not open and nothing was selected: the two objects
    // go again, so that a failed open leaves nothing behind.
    if (context->baseBrush != nullptr) DeleteObject(context->baseBrush);
    if (context->basePen != nullptr) DeleteObject(context->basePen);
    context->baseBrush = nullptr;
    context->basePen = nullptr;
    return nullptr;
  }
  SetTextAlign(dc, TA_UPDATECP);
  context->font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
  // Held for ApplyMode to select, not selected now.
  context->brush = CreateSolidBrush(0);
  context->savedBrush = SelectObject(dc, context->baseBrush);
  context->savedPen = SelectObject(dc, context->basePen);
  context->savedFont = SelectObject(dc, context->font);
  return dc;
}

void CloseOutput(DrawContext* context) {
  HDC dc = context->dc;
  // Putting the saved objects back deselects whatever is selected now, the
  // session's objects or the caller's, so ours can be deleted.
  SelectObject(dc, context->savedBrush);
  SelectObject(dc, context->savedPen);
  SelectObject(dc, context->savedFont);
  if (context->brush != nullptr) DeleteObject(context->brush);
  if (context->pen != nullptr) DeleteObject(context->pen);
  if (context->angledFont != nullptr) DeleteObject(context->angledFont);
  if (context->baseBrush != nullptr) DeleteObject(context->baseBrush);
  if (context->basePen != nullptr) DeleteObject(context->basePen);
  // Cleared so that a second close deletes nothing twice.
  context->brush = nullptr;
  context->pen = nullptr;
  context->angledFont = nullptr;
  context->baseBrush = nullptr;
  context->basePen = nullptr;
}

// Text (empty means a missing string or a zero first unit).
bool EmptyText(const WCHAR* text) { return text == nullptr || text[0] == 0; }

int TextLength(const WCHAR* text) {
  int length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// How far an italic font's letters lean past their advance: "H" drawn
// white on black at the top left of a 32-bit bitmap twice its extent, then
// the rightmost lit column over its rows. 0 for upright fonts, and when
// anything cannot be made.
int32_t ItalicOverhang(HDC dc, HFONT font) {
  HDC memory = CreateCompatibleDC(dc);
  if (memory == nullptr) return 0;
  HGDIOBJ oldFont = SelectObject(memory, font);
  TEXTMETRICW metrics = {};
  SIZE extent = {};
  static const WCHAR kH[] = {'H', 0};
  int32_t overhang = 0;
  if (GetTextMetricsW(memory, &metrics) && metrics.tmItalic != 0 && GetTextExtentPoint32W(memory, kH, 1, &extent) &&
      extent.cx > 0 && extent.cy > 0) {
    const int width = 2 * extent.cx, height = 2 * extent.cy;
    BITMAPINFO info = DibInfo(width, -height, 32);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
      HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
      const RECT all = {0, 0, width, height};
      FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      SetTextColor(memory, RGB(255, 255, 255));
      SetBkColor(memory, RGB(0, 0, 0));
      TextOutW(memory, 0, 0, kH, 1);
      GdiFlush();
      const auto* pixels = static_cast<const uint32_t*>(bits);
      for (int column = width - 1; column >= 0 && overhang == 0; --column)
        for (int row = 0; row < extent.cy; ++row)
          if ((pixels[static_cast<size_t>(row) * width + column] & 0x00FFFFFF) != 0) {
            overhang = column - extent.cx + 2;
            break;
          }
      SelectObject(memory, oldBitmap);
      DeleteObject(bitmap);
    }
  }
  SelectObject(memory, oldFont);
  DeleteDC(memory);
  return overhang;
}

void ApplyFont(DrawContext* context, HFONT font) {
  RegainDc(context);
  if (font == DrawStockFont()) font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
  SelectObject(context->dc, font);
  context->font = font;
  context->italicOverhang = ItalicOverhang(context->dc, font);
  // The rotated copy was of the font before; deselected by now.
  if (context->angledFont != nullptr) DeleteObject(context->angledFont);
  context->angledFont = nullptr;
}

// A bitmap's size; false for anything that is not a bitmap.
bool BitmapSize(HANDLE image, SIZE& size) {
  BITMAP description = {};
  if (GetObjectType(image) != OBJ_BITMAP || GetObjectW(image, sizeof description, &description) == 0) return false;
  size = {description.bmWidth, description.bmHeight};
  return true;
}

// The bitmap as bottom-up 24-bit pixels, for targets that take images as
// device-independent bits; false when it cannot be read.
BOOL SendAsDib(HDC dc, HBITMAP bitmap, SIZE size, int32_t x, int32_t y, int32_t w, int32_t h, DWORD rop) {
  BITMAPINFO info = DibInfo(size.cx, size.cy, 24);
  const size_t bytes = static_cast<size_t>((size.cx * 24 + 31) / 32 * 4) * static_cast<size_t>(size.cy);
  void* pixels = HeapAlloc(MainHeap, 0, bytes);
  if (pixels == nullptr) return FALSE;
  BOOL drawn = FALSE;
  if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(size.cy), pixels, &info, DIB_RGB_COLORS) != 0) {
    SetStretchBltMode(dc, COLORONCOLOR);
    drawn = StretchDIBits(dc, x, y, w, h, 0, 0, size.cx, size.cy, pixels, &info, DIB_RGB_COLORS, rop) != 0;
  }
  HeapFree(MainHeap, 0, pixels);
  return drawn;
}

BOOL PaintImageScaled(DrawContext* context, HANDLE image, int32_t x, int32_t y, int32_t w, int32_t h) {
  RegainDc(context);
  HDC dc = context->dc;
  SIZE size;
  if (!BitmapSize(image, size)) return DrawIconEx(dc, x, y, static_cast<HICON>(image), w, h, 0, nullptr, DI_NORMAL);
  if (w == 0 || h == 0) w = size.cx, h = size.cy;
  const DWORD rop = (context->mode & ModeInvert) != 0 ? SRCINVERT : SRCCOPY;
  if (context->targetKind == TargetDeviceIndependent)
    return SendAsDib(dc, static_cast<HBITMAP>(image), size, x, y, w, h, rop);
  HDC memory = CreateCompatibleDC(dc);
  if (memory == nullptr) return FALSE;
  HGDIOBJ old = SelectObject(memory, image);
  BOOL drawn;
  if (w == size.cx && h == size.cy) {
    drawn = BitBlt(dc, x, y, w, h, memory, 0, 0, rop);
  } else {
    SetStretchBltMode(dc, HALFTONE);
    drawn = StretchBlt(dc, x, y, w, h, memory, 0, 0, size.cx, size.cy, rop);
  }
  SelectObject(memory, old);
  DeleteDC(memory);
  return drawn;
}

BOOL PaintImage(DrawContext* context, HANDLE image, int32_t x, int32_t y) {
  return PaintImageScaled(context, image, x, y, 0, 0);
}

// A copy of a 32-bit bitmap with its colours multiplied by its alpha, as
// per-pixel blending wants them; null when the bitmap has no alpha (a
// section of another depth, or every alpha byte 0) or cannot be read.
HBITMAP PremultipliedCopy(HDC dc, HBITMAP bitmap, SIZE size) {
  BITMAP description = {};
  if (GetObjectW(bitmap, sizeof description, &description) == 0 || description.bmBitsPixel != 32) return nullptr;
  DIBSECTION section = {};
  const bool isSection = GetObjectW(bitmap, sizeof section, &section) == static_cast<int>(sizeof section);
  BITMAPINFO info = DibInfo(size.cx, -size.cy, 32);
  void* pixels = nullptr;
  HBITMAP copy = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (copy == nullptr) return nullptr;
  bool alpha = isSection;
  if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(size.cy), pixels, &info, DIB_RGB_COLORS) == 0) {
    DeleteObject(copy);
    return nullptr;
  }
  auto* pixel = static_cast<uint32_t*>(pixels);
  const size_t count = static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy);
  for (size_t i = 0; i < count && !alpha; ++i) alpha = (pixel[i] >> 24) != 0;
  if (!alpha) {
    DeleteObject(copy);
    return nullptr;
  }
  for (size_t i = 0; i < count; ++i) {
    const uint32_t a = pixel[i] >> 24;
    auto scale = [a](uint32_t c) { return (c & 0xFF) * a / 255; };
    pixel[i] = a << 24 | scale(pixel[i] >> 16) << 16 | scale(pixel[i] >> 8) << 8 | scale(pixel[i]);
  }
  return copy;
}

BOOL PaintImageBlended(DrawContext* context, HANDLE image, int32_t x, int32_t y, int32_t alpha) {
  SIZE size;
  HDC memory = CreateCompatibleDC(context->dc);
  RegainDc(context);
  if (memory == nullptr) return FALSE;
  HDC dc = context->dc;
  BOOL drawn = FALSE;
  if (BitmapSize(image, size)) {
    const BYTE constant = static_cast<BYTE>(alpha);
    HBITMAP premultiplied = PremultipliedCopy(dc, static_cast<HBITMAP>(image), size);
    HGDIOBJ old = SelectObject(memory, premultiplied != nullptr ? premultiplied : image);
    if (premultiplied != nullptr) {
      const BLENDFUNCTION blend = {AC_SRC_OVER, 0, constant, AC_SRC_ALPHA};
      drawn = ImageDrawing.alphaBlend != nullptr &&
              ImageDrawing.alphaBlend(dc, x, y, size.cx, size.cy, memory, 0, 0, size.cx, size.cy, blend);
    } else if (constant == 0) {
      drawn = TRUE;
    } else if (constant == 255 || ImageDrawing.alphaBlend == nullptr) {
      drawn = BitBlt(dc, x, y, size.cx, size.cy, memory, 0, 0, SRCCOPY);
    } else {
      const BLENDFUNCTION blend = {AC_SRC_OVER, 0, constant, 0};
      drawn = ImageDrawing.alphaBlend(dc, x, y, size.cx, size.cy, memory, 0, 0, size.cx, size.cy, blend);
    }
    SelectObject(memory, old);
    if (premultiplied != nullptr) DeleteObject(premultiplied);
  }
  DeleteDC(memory);
  return drawn;
}

void* CaptureImage(DrawContext* context, int32_t number, int32_t x, int32_t y, int32_t w, int32_t h) {
  RegainDc(context);
  if (context->targetKind == TargetDeviceIndependent || ImageTable == nullptr) return nullptr;
  int32_t depth = context->targetDepth == 32 && context->grabAs24 != 0 ? 24 : context->targetDepth;
  if (depth < 24) depth = 24;
  BITMAPINFO info = DibInfo(w, h, static_cast<WORD>(depth));
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(context->dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (bitmap == nullptr) return nullptr;
  HDC memory = CreateCompatibleDC(context->dc);
  bool copied = false;
  if (memory != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    copied = BitBlt(memory, 0, 0, w, h, context->dc, x, y, SRCCOPY) != 0;
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  auto* record = copied ? static_cast<ImageRecord*>(ObjectAlloc(ImageTable, number)) : nullptr;
  if (record == nullptr) {
    DeleteObject(bitmap);
    return nullptr;
  }
  record->handle = bitmap;
  record->width = static_cast<int16_t>(w);
  record->height = static_cast<int16_t>(h);
  record->depth = static_cast<uint8_t>(depth);
  return number == ObjectAny ? static_cast<void*>(record) : static_cast<void*>(bitmap);
}

// Text is drawn at the current position, which it advances (the DC's
// alignment is update-current-position); the position is left at (0, 0).
int32_t PaintText(DrawContext* context, int32_t x, int32_t y, const WCHAR* text) {
  RegainDc(context);
  HDC dc = context->dc;
  MoveToEx(dc, x, y, nullptr);
  if (!EmptyText(text)) TextOutW(dc, 0, 0, text, TextLength(text));
  POINT after = {0, 0};
  MoveToEx(dc, 0, 0, &after);
  return after.x;
}

// A rotated copy of the current font, made again only when the angle
// (reduced to a turn) changes; drawn with a transparent background.
BOOL PaintTextAngled(DrawContext* context, int32_t x, int32_t y, const WCHAR* text, float angle) {
  if (EmptyText(text)) return FALSE;
  RegainDc(context);
  HDC dc = context->dc;
  const float reduced = static_cast<float>(std::fmod(static_cast<double>(angle), 360.0));
  if (context->angledFont == nullptr || context->angledFontAngle != reduced) {
    LOGFONTW description = {};
    if (GetObjectW(context->font, sizeof description, &description) == 0) return FALSE;
    const int32_t tenths = TruncToInt(static_cast<double>(reduced) * 10.0);
    description.lfEscapement = tenths;
    description.lfOrientation = tenths;
    description.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    HFONT rotated = CreateFontIndirectW(&description);
    if (rotated == nullptr) return FALSE;
    // The old copy may be selected (a session's DC keeps it only while
    // drawing); the current font is selected below before it goes.
    if (context->angledFont != nullptr) {
      SelectObject(dc, context->font);
      DeleteObject(context->angledFont);
    }
    context->angledFont = rotated;
    context->angledFontAngle = reduced;
  }
  SelectObject(dc, context->angledFont);
  SetBkMode(dc, TRANSPARENT);
  MoveToEx(dc, x, y, nullptr);
  const BOOL drawn = TextOutW(dc, 0, 0, text, TextLength(text));
  SelectObject(dc, context->font);
  if ((context->mode & ModeTransparentText) == 0) SetBkMode(dc, OPAQUE);
  return drawn;
}

// The extent of text in the current font; zero for empty text, which
// touches nothing.
SIZE TextExtent(DrawContext* context, const WCHAR* text) {
  SIZE extent = {0, 0};
  if (EmptyText(text)) return extent;
  RegainDc(context);
  if (!GetTextExtentPoint32W(context->dc, text, TextLength(text), &extent)) extent = {0, 0};
  return extent;
}

int32_t MeasureTextHeight(DrawContext* context, const WCHAR* text) { return TextExtent(context, text).cy; }

int32_t MeasureTextWidth(DrawContext* context, const WCHAR* text) {
  if (EmptyText(text)) return 0;
  return TextExtent(context, text).cx + context->italicOverhang;
}

}  // namespace

// Designated in declaration order, so a slot out of place does not compile.
const DrawSlots GdiDriver = {
    .ApplyBackColor = ApplyBackColor,
    .PaintRect = PaintRect,
    .PaintRoundRect = PaintRoundRect,
    .PaintCircle = PaintCircle,
    .ApplyFont = ApplyFont,
    .MapPixels = MapPixels,
    .PixelPitch = PixelPitch,
    .PixelFormatCode = PixelFormatCode,
    .ApplyMode = ApplyMode,
    .PaintImage = PaintImage,
    .PaintImageScaled = PaintImageScaled,
    .PaintImageBlended = PaintImageBlended,
    .PaintText = PaintText,
    .PaintTextAngled = PaintTextAngled,
    .PaintEllipse = PaintEllipse,
    .PaintFloodFill = PaintFloodFill,
    .ApplyColor = ApplyColor,
    .CaptureImage = CaptureImage,
    .PaintLine = PaintLine,
    .PaintPixel = PaintPixel,
    .PaintPixelColor = PaintPixelColor,
    .ReadPixel = ReadPixel,
    .OpenOutput = OpenOutput,
    .CloseOutput = CloseOutput,
    .MeasureTextHeight = MeasureTextHeight,
    .MeasureTextWidth = MeasureTextWidth,
};

void RegainDc(DrawContext* context) {
  if (context->targetKind != TargetLockableSurface || context->dcState != DcGivenUpForPixels) return;
  context->dcState = DcHeld;
  context->dc = context->acquireDc != nullptr ? context->acquireDc(context) : nullptr;
  HDC dc = context->dc;
  SetTextColor(dc, Ref(context->color));
  SetTextAlign(dc, TA_UPDATECP);
  SetBkColor(dc, Ref(context->backColor));
  // ApplyMode selects the brush (or the hollow one) itself.
  if (context->mode != 0) {
    ApplyMode(context, context->mode);
  } else {
    SelectObject(dc, context->brush);
  }
  SelectObject(dc, context->pen);
  SelectObject(dc, context->font);
}

uint32_t PixelValue(int32_t formatCode, Colour colour) {
  const auto c = static_cast<uint32_t>(colour);
  switch (formatCode) {
    case PixelFormat8: return c & 0xFF;
    case PixelFormat555: return ((c >> 6) & 0x3E0) | ((c & 0xF8) << 7) | (c >> 19);
    case PixelFormat565: return (((c >> 5) & 0x7E0) + ((c >> 19) & 0x1F) + ((c & 0xFFF8) << 8)) & 0xFFFF;
    case PixelFormat8888: return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
  }
  return 0;
}

BOOL DrawFillRect(int32_t x, int32_t y, int32_t w, int32_t h, Colour colour) {
  DrawContext* context = currentContext;
  // Outside a session there is nothing to draw on.
  if (context == nullptr) return FALSE;
  if (colour != context->color) {
    context->color = colour;
    context->slots.ApplyColor(context, colour);
  }
  const auto left = static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(context->originX));
  const auto top = static_cast<int32_t>(static_cast<uint32_t>(y) + static_cast<uint32_t>(context->originY));
  return context->slots.PaintRect(context, left, top, w, h);
}

Colour ColorFromRgb(int32_t r, int32_t g, int32_t b) {
  // Components carry into their neighbours and wrap at 32 bits, without
  // signed overflow.
  const uint32_t value = static_cast<uint32_t>(r) + static_cast<uint32_t>(g) * 256u + static_cast<uint32_t>(b) * 65536u;
  return static_cast<Colour>(value);
}

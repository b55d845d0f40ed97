#include "card/card.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "drawing/driver.h"
#include "runtime/facilities.h"
#include "runtime/runtime.h"

namespace {

constexpr const char* kPanelNames[CardPanelCount] = {
    "Rectangles", "Round rectangles", "Circles",  "Ellipses", "Lines",    "Flood fills", "Inverted", "Pixels",
    "Text",       "Angled text",      "Measures", "Images",   "Blending", "Icons",       "Capture",  "Direct pixels"};

constexpr int32_t kImageWidth = 48;
constexpr int32_t kImageHeight = 32;
constexpr int32_t kIconSide = 32;

// What the card draws with, made once.
struct CardResources {
  HFONT tahoma;
  HFONT sansSerif;
  HFONT courier;
  HBITMAP opaque;  // 24-bit
  HBITMAP alpha;   // 32-bit, straight alpha rising left to right
  HICON plainIcon;
  HICON alphaIcon;
};
CardResources card;

Colour Rgb(int32_t r, int32_t g, int32_t b) { return ColorFromRgb(r, g, b); }
const Colour kBlack = Rgb(0, 0, 0);
const Colour kWhite = Rgb(255, 255, 255);
const Colour kRed = Rgb(220, 40, 40);
const Colour kGreen = Rgb(40, 170, 60);
const Colour kBlue = Rgb(40, 70, 210);
const Colour kYellow = Rgb(250, 210, 40);
const Colour kCyan = Rgb(60, 200, 220);
const Colour kMagenta = Rgb(200, 60, 190);
const Colour kOrange = Rgb(240, 140, 30);
const Colour kGrey = Rgb(128, 128, 128);
const Colour kFrame = Rgb(96, 104, 112);

DrawContext* Session() { return currentContext; }

// The colour of what follows, applied only when it changes (as the
// command level does).
void Use(Colour colour) {
  DrawContext* c = Session();
  if (c->color == colour) return;
  c->color = colour;
  c->slots.ApplyColor(c, colour);
}

void Mode(int32_t flags) {
  DrawContext* c = Session();
  if (c->mode != flags) c->slots.ApplyMode(c, flags);
}

// The 16 directions of the lines panel as whole steps: no library maths,
// so both platforms draw the same star.
constexpr int8_t kDirections[16][2] = {{40, 0},   {37, 15},   {28, 28},   {15, 37},  {0, 40},   {-15, 37},
                                       {-28, 28}, {-37, 15},  {-40, 0},   {-37, -15}, {-28, -28}, {-15, -37},
                                       {0, -40},  {15, -37},  {28, -28},  {37, -15}};

HFONT Font(int height, int weight, DWORD quality, const WCHAR* face) {
  return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, quality, DEFAULT_PITCH, face);
}

// A top-down section of width x height at depth bits and its pixels.
HBITMAP Section(int32_t width, int32_t height, WORD depth, void** bits) {
  BITMAPINFO info = DibInfo(width, -height, depth);
  return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// Gradient pictures: red across, green down, a dark diagonal.
HBITMAP OpaqueImage() {
  void* bits = nullptr;
  HBITMAP bitmap = Section(kImageWidth, kImageHeight, 24, &bits);
  if (bitmap == nullptr) return nullptr;
  const int32_t stride = (kImageWidth * 3 + 3) & ~3;
  for (int32_t y = 0; y < kImageHeight; ++y)
    for (int32_t x = 0; x < kImageWidth; ++x) {
      auto* p = static_cast<unsigned char*>(bits) + y * stride + x * 3;
      const bool diagonal = x / 3 == y / 2;
      p[0] = static_cast<unsigned char>(diagonal ? 20 : 140);
      p[1] = static_cast<unsigned char>(diagonal ? 20 : y * 255 / (kImageHeight - 1));
      p[2] = static_cast<unsigned char>(diagonal ? 20 : x * 255 / (kImageWidth - 1));
    }
  return bitmap;
}

// Blue to magenta, transparent at the left edge and opaque at the right.
HBITMAP AlphaImage() {
  void* bits = nullptr;
  HBITMAP bitmap = Section(kImageWidth, kImageHeight, 32, &bits);
  if (bitmap == nullptr) return nullptr;
  auto* pixels = static_cast<uint32_t*>(bits);
  for (int32_t y = 0; y < kImageHeight; ++y)
    for (int32_t x = 0; x < kImageWidth; ++x) {
      const uint32_t alpha = static_cast<uint32_t>(x * 255 / (kImageWidth - 1));
      const uint32_t red = static_cast<uint32_t>(y * 255 / (kImageHeight - 1));
      pixels[y * kImageWidth + x] = alpha << 24 | red << 16 | 0x30 << 8 | 0xE0;
    }
  return bitmap;
}

// A ring icon: the mask clear inside a circle; with `alpha`, its colour
// carries alpha fading outwards (drawn blended), else none (drawn through
// the mask).
HICON RingIcon(bool alpha) {
  uint8_t maskBits[kIconSide * kIconSide / 8] = {};
  void* bits = nullptr;
  HBITMAP colour = Section(kIconSide, kIconSide, 32, &bits);
  if (colour == nullptr) return nullptr;
  auto* pixels = static_cast<uint32_t*>(bits);
  for (int32_t y = 0; y < kIconSide; ++y)
    for (int32_t x = 0; x < kIconSide; ++x) {
      const int32_t dx = 2 * x - (kIconSide - 1), dy = 2 * y - (kIconSide - 1);
      const int32_t d2 = dx * dx + dy * dy;  // (2r)^2, up to 2 * 31^2
      const bool inside = d2 <= 31 * 31;
      if (!inside) maskBits[y * (kIconSide / 8) + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      const bool ring = d2 >= 18 * 18;
      uint32_t pixel = inside ? (ring ? 0x00F0A020u : 0x00207040u + static_cast<uint32_t>(x * 4)) : 0;
      if (alpha && inside) pixel |= static_cast<uint32_t>(255 - d2 * 200 / (31 * 31)) << 24;
      pixels[y * kIconSide + x] = pixel;
    }
  HBITMAP mask = CreateBitmap(kIconSide, kIconSide, 1, 1, maskBits);
  ICONINFO info = {TRUE, 0, 0, mask, colour};
  HICON icon = mask != nullptr ? CreateIconIndirect(&info) : nullptr;
  if (mask != nullptr) DeleteObject(mask);
  DeleteObject(colour);
  return icon;
}

// Panel frames and labels.
void PanelFrame(const CardPanelInfo& p) {
  DrawFillRect(p.x + 2, p.y + 2, p.width - 4, p.height - 4, kWhite);
  DrawContext* c = Session();
  Mode(ModeTransparentText);
  Use(kBlack);
  WCHAR label[32] = {};
  for (int i = 0; p.name[i] != 0 && i < 31; ++i) label[i] = static_cast<WCHAR>(p.name[i]);
  c->slots.PaintText(c, p.x + 6, p.y + 4, label);
  Use(kFrame);
  c->slots.PaintLine(c, p.x + 6, p.y + 20, p.x + p.width - 7, p.y + 20);
  Mode(0);
}

void Rectangles(DrawContext* c, int32_t x, int32_t y) {
  const Colour fills[] = {kRed, kGreen, kBlue};
  for (int i = 0; i < 3; ++i) {
    Use(fills[i]);
    c->slots.PaintRect(c, x + 8 + 48 * i, y + 26, 40, 30);
  }
  Mode(ModeOutline);
  const Colour outlines[] = {kBlack, kRed, kGreen, kBlue, kMagenta};
  for (int k = 0; k < 5; ++k) {
    Use(outlines[k]);
    c->slots.PaintRect(c, x + 8 + 3 * k, y + 62 + 3 * k, 70 - 6 * k, 46 - 6 * k);
  }
  // The smallest: one pixel, one row, one column.
  Use(kBlack);
  c->slots.PaintRect(c, x + 100, y + 70, 1, 1);
  c->slots.PaintRect(c, x + 104, y + 70, 40, 1);
  c->slots.PaintRect(c, x + 104, y + 74, 1, 30);
  Mode(0);
  Use(kOrange);
  c->slots.PaintRect(c, x + 110, y + 78, 34, 26);
}

void RoundRects(DrawContext* c, int32_t x, int32_t y) {
  Use(kOrange);
  c->slots.PaintRoundRect(c, x + 8, y + 26, 64, 40, 10, 8);
  Use(kBlue);
  c->slots.PaintRoundRect(c, x + 80, y + 26, 68, 40, 34, 20);
  Mode(ModeOutline);
  Use(kRed);
  c->slots.PaintRoundRect(c, x + 8, y + 72, 64, 36, 4, 4);
  Use(kBlack);
  c->slots.PaintRoundRect(c, x + 80, y + 72, 32, 36, 1, 1);
  c->slots.PaintRoundRect(c, x + 118, y + 72, 30, 36, 0, 12);
  Mode(0);
}

void Circles(DrawContext* c, int32_t x, int32_t y) {
  Use(kBlack);
  for (int r = 0; r < 4; ++r) c->slots.PaintCircle(c, x + 12 + 14 * r, y + 32, r);
  Use(kGreen);
  c->slots.PaintCircle(c, x + 40, y + 80, 28);
  Mode(ModeOutline);
  Use(kBlue);
  c->slots.PaintCircle(c, x + 112, y + 72, 36);
  c->slots.PaintCircle(c, x + 112, y + 72, 1);
  Use(kRed);
  c->slots.PaintCircle(c, x + 112, y + 72, 20);
  Mode(0);
}

void Ellipses(DrawContext* c, int32_t x, int32_t y) {
  Use(kBlack);
  c->slots.PaintEllipse(c, x + 12, y + 32, 0, 0);
  c->slots.PaintEllipse(c, x + 24, y + 32, 1, 0);
  c->slots.PaintEllipse(c, x + 36, y + 32, 0, 1);
  c->slots.PaintEllipse(c, x + 48, y + 32, 1, 1);
  c->slots.PaintEllipse(c, x + 100, y + 32, 44, 1);
  Use(kMagenta);
  c->slots.PaintEllipse(c, x + 44, y + 76, 36, 22);
  Mode(ModeOutline);
  Use(kBlue);
  c->slots.PaintEllipse(c, x + 118, y + 74, 18, 34);
  Use(kOrange);
  c->slots.PaintEllipse(c, x + 44, y + 76, 24, 12);
  Mode(0);
}

void Lines(DrawContext* c, int32_t x, int32_t y) {
  const int32_t cx = x + 80, cy = y + 68;
  const Colour colours[] = {kRed, kGreen, kBlue, kMagenta};
  for (int i = 0; i < 16; ++i) {
    Use(colours[i % 4]);
    c->slots.PaintLine(c, cx, cy, cx + kDirections[i][0] * 11 / 10, cy - kDirections[i][1]);
  }
  // Lines end where they are told, both ends drawn.
  Use(kBlack);
  c->slots.PaintLine(c, x + 8, y + 110, x + 8, y + 110);
  c->slots.PaintLine(c, x + 12, y + 110, x + 30, y + 104);
  c->slots.PaintLine(c, x + 150, y + 26, x + 130, y + 110);
}

void FloodFills(DrawContext* c, int32_t x, int32_t y) {
  // Up to a border: the inside of an outlined circle crossed by a line.
  Mode(ModeOutline);
  Use(kBlack);
  c->slots.PaintCircle(c, x + 42, y + 68, 32);
  c->slots.PaintLine(c, x + 10, y + 68, x + 74, y + 68);
  Mode(0);
  Use(kYellow);
  c->slots.PaintFloodFill(c, x + 42, y + 50, kBlack);
  // Over a surface colour: a cyan field with a green bar, refilled in
  // magenta where it is cyan and joined to the point.
  DrawFillRect(x + 84, y + 30, 64, 78, kCyan);
  DrawFillRect(x + 84, y + 64, 64, 6, kGreen);
  Use(kMagenta);
  c->slots.PaintFloodFill(c, x + 100, y + 40, -1);
  // Outline mode fills all the same.
  Mode(ModeOutline);
  Use(kBlue);
  c->slots.PaintFloodFill(c, x + 100, y + 90, -1);
  Mode(0);
}

void Inverted(DrawContext* c, int32_t x, int32_t y) {
  const Colour stripes[] = {kRed, kYellow, kGreen, kCyan, kBlue, kMagenta, kBlack, kWhite};
  for (int i = 0; i < 8; ++i) DrawFillRect(x + 8 + 18 * i, y + 26, 18, 84, stripes[i]);
  Mode(ModeInvert);
  Use(kBlack);
  c->slots.PaintRect(c, x + 20, y + 36, 60, 30);
  c->slots.PaintCircle(c, x + 110, y + 80, 22);
  c->slots.PaintLine(c, x + 8, y + 104, x + 150, y + 74);
  c->slots.PaintEllipse(c, x + 50, y + 90, 34, 12);
  Mode(0);
}

void Pixels(DrawContext* c, int32_t x, int32_t y, const CardPanelInfo& rectangles) {
  // A checker of single pixels.
  for (int32_t j = 0; j < 40; ++j)
    for (int32_t i = 0; i < 60; ++i) {
      if ((i + j) % 2 != 0) continue;
      Use((i / 10 + j / 10) % 2 == 0 ? kBlue : kRed);
      c->slots.PaintPixel(c, x + 8 + i, y + 28 + j);
    }
  // Swatches of colours read back from the rectangles panel.
  for (int i = 0; i < 3; ++i) {
    const Colour read = c->slots.ReadPixel(c, rectangles.x + 28 + 48 * i, rectangles.y + 40);
    DrawFillRect(x + 80 + 24 * i, y + 28, 20, 40, read);
  }
  // And one read from a pixel of the checker.
  DrawFillRect(x + 8, y + 76, 140, 30, c->slots.ReadPixel(c, x + 8, y + 28));
}

void Text(DrawContext* c, int32_t x, int32_t y) {
  Mode(ModeTransparentText);
  Use(kBlack);
  c->slots.ApplyFont(c, DrawStockFont());
  c->slots.PaintText(c, x + 8, y + 26, TEXT("System font 123"));
  c->slots.ApplyFont(c, card.tahoma);
  Use(kBlue);
  c->slots.PaintText(c, x + 8, y + 46, TEXT("Tahoma 16 Qgjy"));
  // Opaque: the background colour behind the letters.
  Mode(0);
  const Colour before = c->slots.ApplyBackColor(c, kYellow);
  c->backColor = kYellow;
  Use(kRed);
  c->slots.ApplyFont(c, card.sansSerif);
  c->slots.PaintText(c, x + 8, y + 70, TEXT("MS Sans Serif"));
  c->slots.ApplyFont(c, card.courier);
  Use(kBlack);
  c->slots.PaintText(c, x + 8, y + 90, TEXT("Courier {x}"));
  c->slots.ApplyBackColor(c, before);
  c->backColor = before;
  c->slots.ApplyFont(c, DrawStockFont());
}

void AngledText(DrawContext* c, int32_t x, int32_t y) {
  Mode(ModeTransparentText);
  c->slots.ApplyFont(c, card.tahoma);
  const Colour colours[] = {kRed, kBlue, kGreen};
  for (int k = 0; k < 12; ++k) {
    // Each spoke names its own angle, starting clear of the centre.
    WCHAR text[8] = {' ', ' ', ' ', ' '};
    const int degrees = 30 * k;
    int at = 4;
    if (degrees >= 100) text[at++] = static_cast<WCHAR>('0' + degrees / 100);
    if (degrees >= 10) text[at++] = static_cast<WCHAR>('0' + degrees / 10 % 10);
    text[at] = static_cast<WCHAR>('0' + degrees % 10);
    Use(colours[k % 3]);
    c->slots.PaintTextAngled(c, x + 80, y + 68, text, static_cast<float>(degrees));
  }
  c->slots.ApplyFont(c, DrawStockFont());
  Mode(0);
}

void Measures(DrawContext* c, int32_t x, int32_t y) {
  const struct {
    HFONT font;
    const WCHAR* text;
  } lines[] = {{DrawStockFont(), TEXT("Measured")}, {card.tahoma, TEXT("Tahoma box")},
               {card.courier, TEXT("Courier")}};
  int32_t top = y + 28;
  for (const auto& line : lines) {
    c->slots.ApplyFont(c, line.font);
    const int32_t w = c->slots.MeasureTextWidth(c, line.text);
    const int32_t h = c->slots.MeasureTextHeight(c, line.text);
    Mode(ModeTransparentText);
    Use(kBlack);
    c->slots.PaintText(c, x + 10, top, line.text);
    Mode(ModeOutline);
    Use(kRed);
    c->slots.PaintRect(c, x + 9, top - 1, w + 2, h + 2);
    top += h + 8;
  }
  c->slots.ApplyFont(c, DrawStockFont());
  Mode(0);
}

void Images(DrawContext* c, int32_t x, int32_t y) {
  c->slots.PaintImage(c, card.opaque, x + 8, y + 26);
  c->slots.PaintImageScaled(c, card.opaque, x + 8, y + 64, kImageWidth, kImageHeight);
  Mode(ModeInvert);
  c->slots.PaintImage(c, card.opaque, x + 62, y + 26);
  Mode(0);
  c->slots.PaintImageScaled(c, card.opaque, x + 62, y + 64, 88, 44);
}

void Blending(DrawContext* c, int32_t x, int32_t y) {
  // A checker behind, so that what shows through can be seen.
  for (int32_t j = 0; j < 8; ++j)
    for (int32_t i = 0; i < 14; ++i)
      DrawFillRect(x + 8 + 10 * i, y + 26 + 11 * j, 10, 11, (i + j) % 2 == 0 ? kGrey : kWhite);
  c->slots.PaintImageBlended(c, card.opaque, x + 8, y + 28, 0);
  c->slots.PaintImageBlended(c, card.opaque, x + 30, y + 28, 128);
  c->slots.PaintImageBlended(c, card.opaque, x + 100, y + 28, 255);
  c->slots.PaintImageBlended(c, card.alpha, x + 8, y + 70, 255);
  c->slots.PaintImageBlended(c, card.alpha, x + 80, y + 70, 128);
}

void Icons(DrawContext* c, int32_t x, int32_t y) {
  DrawFillRect(x + 8, y + 26, 140, 84, kCyan);
  c->slots.PaintImage(c, card.plainIcon, x + 12, y + 30);
  c->slots.PaintImage(c, card.alphaIcon, x + 12, y + 72);
  c->slots.PaintImageScaled(c, card.plainIcon, x + 52, y + 30, 40, 76);
  c->slots.PaintImageScaled(c, card.alphaIcon, x + 98, y + 40, 48, 48);
}

void Capture(DrawContext* c, int32_t x, int32_t y, const CardPanelInfo& lines) {
  // The middle of the lines panel, registered under a fixed number (each
  // frame's capture replaces the last), drawn back at its size and halved.
  auto image = static_cast<HANDLE>(
      c->slots.CaptureImage(c, CardCaptureNumber, lines.x + 48, lines.y + 36, 64, 64));
  if (image == nullptr) return;
  c->slots.PaintImage(c, image, x + 8, y + 28);
  c->slots.PaintImageScaled(c, image, x + 84, y + 28, 32, 32);
  c->slots.PaintImageScaled(c, image, x + 120, y + 28, 32, 80);
}

// The panel's hand: a clock face whose hand turns 6 degrees a frame.
void Hand(DrawContext* c, int32_t cx, int32_t cy, int32_t frame) {
  Mode(ModeOutline);
  Use(kBlack);
  c->slots.PaintCircle(c, cx, cy, 20);
  Mode(0);
  const double angle = (frame % 60) * 6.0 * 3.14159265358979323846 / 180.0;
  Use(kRed);
  c->slots.PaintLine(c, cx, cy, cx + static_cast<int32_t>(std::lround(17 * std::sin(angle))),
                     cy - static_cast<int32_t>(std::lround(17 * std::cos(angle))));
}

void DirectPixels(DrawContext* c, int32_t x, int32_t y, int32_t frame) {
  // The surface's own layout, told before the strip is written.
  void* pixels = c->slots.MapPixels(c);
  const int32_t pitch = c->slots.PixelPitch(c);
  const int32_t format = c->slots.PixelFormatCode(c);
  // A gradient strip written pixel by pixel into the locked surface.
  for (int32_t j = 0; j < 24; ++j)
    for (int32_t i = 0; i < 96; ++i)
      c->slots.PaintPixelColor(c, x + 8 + i, y + 28 + j, Rgb(i * 255 / 95, j * 10, 255 - i * 255 / 95));
  char lines[3][24] = {};
  std::snprintf(lines[0], sizeof lines[0], "%s", pixels != nullptr ? "locked" : "not locked");
  std::snprintf(lines[1], sizeof lines[1], "format %d", format);
  std::snprintf(lines[2], sizeof lines[2], "pitch %d", pitch);
  Mode(ModeTransparentText);
  Use(kBlack);
  for (int line = 0; line < 3; ++line) {
    WCHAR label[24] = {};
    for (int i = 0; lines[line][i] != 0; ++i) label[i] = static_cast<WCHAR>(lines[line][i]);
    c->slots.PaintText(c, x + 8, y + 56 + 17 * line, label);
  }
  Mode(0);
  Hand(c, x + 126, y + 82, frame);
}

}  // namespace

CardPanelInfo CardPanelAt(int32_t panel) {
  return {(panel % CardColumns) * CardPanelWidth, (panel / CardColumns) * CardPanelHeight, CardPanelWidth,
          CardPanelHeight, panel >= 0 && panel < CardPanelCount ? kPanelNames[panel] : ""};
}

bool CardPanelFiltered(int32_t panel) {
  return panel == CardImages || panel == CardCapture;
}

bool CardSetUp() {
  card = {};
  card.tahoma = Font(-16, FW_NORMAL, ANTIALIASED_QUALITY, TEXT("Tahoma"));
  card.sansSerif = Font(-11, FW_NORMAL, DEFAULT_QUALITY, TEXT("MS Sans Serif"));
  card.courier = Font(-13, FW_NORMAL, DEFAULT_QUALITY, TEXT("Courier"));
  card.opaque = OpaqueImage();
  card.alpha = AlphaImage();
  card.plainIcon = RingIcon(false);
  card.alphaIcon = RingIcon(true);
  if (card.tahoma != nullptr && card.sansSerif != nullptr && card.courier != nullptr && card.opaque != nullptr &&
      card.alpha != nullptr && card.plainIcon != nullptr && card.alphaIcon != nullptr)
    return true;
  CardTearDown();
  return false;
}

void CardTearDown() {
  for (HFONT font : {card.tahoma, card.sansSerif, card.courier})
    if (font != nullptr) DeleteObject(font);
  for (HBITMAP bitmap : {card.opaque, card.alpha})
    if (bitmap != nullptr) DeleteObject(bitmap);
  for (HICON icon : {card.plainIcon, card.alphaIcon})
    if (icon != nullptr) DestroyIcon(icon);
  card = {};
}

void CardDraw(int32_t frame) {
  DrawContext* c = Session();
  if (c == nullptr) return;
  DrawFillRect(0, 0, CardWidth, CardHeight, Rgb(72, 80, 88));
  for (int32_t panel = 0; panel < CardPanelCount; ++panel) {
    const CardPanelInfo p = CardPanelAt(panel);
    PanelFrame(p);
    switch (panel) {
      case CardRectangles: Rectangles(c, p.x, p.y); break;
      case CardRoundRects: RoundRects(c, p.x, p.y); break;
      case CardCircles: Circles(c, p.x, p.y); break;
      case CardEllipses: Ellipses(c, p.x, p.y); break;
      case CardLines: Lines(c, p.x, p.y); break;
      case CardFloodFills: FloodFills(c, p.x, p.y); break;
      case CardInverted: Inverted(c, p.x, p.y); break;
      case CardPixels: Pixels(c, p.x, p.y, CardPanelAt(CardRectangles)); break;
      case CardText: Text(c, p.x, p.y); break;
      case CardAngledText: AngledText(c, p.x, p.y); break;
      case CardMeasures: Measures(c, p.x, p.y); break;
      case CardImages: Images(c, p.x, p.y); break;
      case CardBlending: Blending(c, p.x, p.y); break;
      case CardIcons: Icons(c, p.x, p.y); break;
      case CardCapture: Capture(c, p.x, p.y, CardPanelAt(CardLines)); break;
      case CardDirectPixels: DirectPixels(c, p.x, p.y, frame); break;
      default: break;
    }
  }
}

// Icons made, described, drawn and destroyed as Windows does, against the
// answers and picture hashes recorded with the stretch table (taken under
// Wine, kept in gdi_stretch_cases.inc; CUBE_GDI_RECORD=1 prints this lane's
// results in that file's form instead).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "gdi_stretch_shared.h"
#include "platform.h"
#include "support/pixels.h"
#include "support/random.h"

namespace {

using namespace gdi_stretch;
using pixels::Canvas;

// Icons from a 1-bit mask and a colour bitmap of 32 bits (with alpha and
// without), 24 or 1 bits, a monochrome icon (one mask of twice the height)
// and a cursor with its hotspot: what GetIconInfo tells of each, and each
// drawn by DrawIconEx as mask, image and both, at its size, enlarged and
// shrunk, on a DC whose text and background colours are not black and white.

struct IconKind {
  const char* name;
  int width;
  int height;
  int depth;  // of the colour bitmap; 0 for a monochrome icon
  bool alpha;
  BOOL icon;
};

constexpr IconKind kIconKinds[] = {{"Colour32", 32, 32, 32, false, TRUE}, {"Alpha32", 24, 24, 32, true, TRUE},
                                   {"Colour24", 16, 16, 24, false, TRUE}, {"Colour1", 20, 12, 1, false, TRUE},
                                   {"Monochrome", 32, 32, 0, false, TRUE}, {"Cursor32", 32, 32, 32, true, FALSE}};
constexpr int kIconWidth = 72;
constexpr int kIconHeight = 64;

HBITMAP MonochromeBitmap(Random& random, int width, int height) {
  std::vector<uint8_t> bits(static_cast<size_t>((width + 15) / 16 * 2) * height);
  for (uint8_t& byte : bits) byte = static_cast<uint8_t>(random.Next());
  return CreateBitmap(width, height, 1, 1, bits.data());
}

// Random colours; with alpha, straight (not premultiplied) and often 0 or 255.
HBITMAP ColourSection(Random& random, int width, int height, int depth, bool alpha) {
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, static_cast<WORD>(depth), BI_RGB, 0, 0, 0, 0, 0};
  void* memory = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
  if (memory == nullptr) return bitmap;
  auto* bits = static_cast<uint8_t*>(memory);
  const size_t size = static_cast<size_t>((width * depth + 31) / 32 * 4) * height;
  for (size_t i = 0; i < size; ++i) bits[i] = static_cast<uint8_t>(random.Next());
  if (depth == 32)
    for (size_t i = 3; i < size; i += 4) {
      const int pick = random.Int(0, 3);
      bits[i] = static_cast<uint8_t>(!alpha || pick == 0 ? 0 : pick == 1 ? 255 : random.Int(1, 254));
    }
  return bitmap;
}

// The bitmaps an icon is made from (CreateIconIndirect copies them).
struct IconBitmaps {
  IconBitmaps(const IconKind& kind, Random& random) {
    mask = MonochromeBitmap(random, kind.width, kind.depth == 0 ? 2 * kind.height : kind.height);
    if (kind.depth == 1) colour = MonochromeBitmap(random, kind.width, kind.height);
    if (kind.depth > 1) colour = ColourSection(random, kind.width, kind.height, kind.depth, kind.alpha);
  }
  ~IconBitmaps() {
    DeleteObject(mask);
    if (colour != nullptr) DeleteObject(colour);
  }
  IconBitmaps(const IconBitmaps&) = delete;
  IconBitmaps& operator=(const IconBitmaps&) = delete;

  HBITMAP mask = nullptr;
  HBITMAP colour = nullptr;
};

HICON MakeIcon(BOOL icon, HBITMAP mask, HBITMAP colour) {
  ICONINFO info = {icon, 3, 5, mask, colour};
  return CreateIconIndirect(&info);
}

// "<width>x<height>x<bits>", " section" for a DIB section; "none".
std::string BitmapText(HBITMAP bitmap) {
  if (bitmap == nullptr) return "none";
  DIBSECTION section = {};
  const int size = GetObjectW(bitmap, sizeof section, &section);
  char text[64];
  std::snprintf(text, sizeof text, "%ldx%ldx%d%s", static_cast<long>(section.dsBm.bmWidth),
                static_cast<long>(section.dsBm.bmHeight), section.dsBm.bmBitsPixel,
                size == static_cast<int>(sizeof section) ? " section" : "");
  return text;
}

std::string Describe(HICON icon) {
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return "GetIconInfo=0";
  const std::string text = "fIcon=" + std::to_string(info.fIcon) + " hotspot=" + std::to_string(info.xHotspot) + "," +
                           std::to_string(info.yHotspot) + " mask=" + BitmapText(info.hbmMask) +
                           " colour=" + BitmapText(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  return text;
}

template <typename Row, size_t N>
const Row* Find(const Row (&rows)[N], const std::string& name) {
  for (const Row& row : rows)
    if (name == row.name) return &row;
  return nullptr;
}

void CheckAnswers(const std::string& name, const std::string& answers) {
  if (Recording()) {
    std::printf("    {\"%s\", \"%s\"},\n", name.c_str(), answers.c_str());
    return;
  }
  const IconAnswer* expected = Find(kIconAnswers, name);
  ASSERT_NE(expected, nullptr) << name << " not recorded: run scripts/record-gdi-stretch";
  EXPECT_EQ(answers, expected->answers) << name;
}

TEST(GdiStretch, IconsAreMadeDescribedAndDrawnAsWindows) {
  static const struct {
    const char* name;
    UINT flags;
  } flagSets[] = {{"DI_NORMAL", DI_NORMAL}, {"DI_IMAGE", DI_IMAGE}, {"DI_MASK", DI_MASK}};
  const bool record = Recording();
  if (record) std::printf("constexpr IconPicture kIconPictures[] = {\n");
  std::vector<std::pair<std::string, std::string>> answers;
  int mismatches = 0;
  for (size_t k = 0; k < std::size(kIconKinds); ++k) {
    const IconKind& kind = kIconKinds[k];
    Random random(0x1C0E000000000000ull + k);
    IconBitmaps bitmaps(kind, random);
    HICON icon = MakeIcon(kind.icon, bitmaps.mask, bitmaps.colour);
    answers.emplace_back(kind.name, std::string(icon != nullptr ? "created " : "refused ") + Describe(icon));
    // At its size; enlarged, crossing the left edge; shrunk, crossing the
    // bottom and right edges.
    const struct {
      const char* name;
      int x, y, cx, cy;
    } placements[] = {{"own", 4, 4, 0, 0},
                      {"enlarged", -5, 6, 2 * kind.width + 3, kind.height * 3 / 2},
                      {"shrunk", 50, 44, kind.width / 2 + 1, kind.height / 3 + 1}};
    for (const auto& flags : flagSets)
      for (const auto& placement : placements) {
        const std::string name = std::string(kind.name) + " " + flags.name + " " + placement.name;
        const IconPicture* expected = record ? nullptr : Find(kIconPictures, name);
        if (!record && expected == nullptr) {
          ADD_FAILURE() << name << " not recorded: run scripts/record-gdi-stretch";
          continue;
        }
        IconPicture actual = {nullptr, 0, {}};
        for (int f = 0; f < 3; ++f) {
          Canvas canvas(kIconWidth, kIconHeight, kFormats[f]);
          ASSERT_TRUE(canvas.usable());
          Background(canvas.dc, kIconWidth, kIconHeight);
          SetTextColor(canvas.dc, RGB(0xFF, 0, 0));
          SetBkColor(canvas.dc, RGB(0, 0, 0xFF));
          actual.result = DrawIconEx(canvas.dc, placement.x, placement.y, icon, placement.cx, placement.cy, 0, nullptr,
                                     flags.flags);
          actual.hashes[f] = canvas.Hash();
          if (record || (actual.result == expected->result && actual.hashes[f] == expected->hashes[f])) continue;
          const std::string path = pixels::OutputPath(name + "-" + pixels::Name(kFormats[f]), "actual");
          const bool written = ++mismatches <= 5 && pixels::WritePng(path, canvas.Picture());
          ADD_FAILURE() << name << " in " << pixels::Name(kFormats[f]) << ": returned " << actual.result << " (expected "
                        << expected->result << "), hash 0x" << std::hex << actual.hashes[f] << " (expected 0x"
                        << expected->hashes[f] << ")" << (written ? "; picture in " + path : std::string());
        }
        if (record)
          std::printf("    {\"%s\", %d, {0x%08X, 0x%08X, 0x%08X}},\n", name.c_str(), actual.result, actual.hashes[0],
                      actual.hashes[1], actual.hashes[2]);
      }
    DestroyIcon(icon);
  }
  if (record) std::printf("};\n");

  // Refused and used-up handles, and the bitmaps an icon was made from,
  // which outlive it.
  {
    Random random(0x1C0E0000000000FFull);
    IconBitmaps bitmaps(kIconKinds[0], random);
    answers.emplace_back("NoMask", MakeIcon(TRUE, nullptr, bitmaps.colour) == nullptr ? "refused" : "created");
    HICON icon = MakeIcon(TRUE, bitmaps.mask, bitmaps.colour);
    Canvas canvas(kIconWidth, kIconHeight, D3DFMT_X8R8G8B8);
    const BOOL first = DestroyIcon(icon), second = DestroyIcon(icon);
    const BOOL drawn = DrawIconEx(canvas.dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
    ICONINFO info = {};
    const BOOL described = GetIconInfo(icon, &info);
    BITMAP bitmap;
    const bool kept = GetObjectW(bitmaps.mask, sizeof bitmap, &bitmap) != 0 &&
                      GetObjectW(bitmaps.colour, sizeof bitmap, &bitmap) != 0;
    answers.emplace_back("Destroyed", "DestroyIcon=" + std::to_string(first) + " again=" + std::to_string(second) +
                                          " DrawIconEx=" + std::to_string(drawn) + " GetIconInfo=" +
                                          std::to_string(described) + " bitmaps " + (kept ? "kept" : "lost"));
    const BOOL destroyedNull = DestroyIcon(nullptr);
    const BOOL drawnNull = DrawIconEx(canvas.dc, 0, 0, nullptr, 0, 0, 0, nullptr, DI_NORMAL);
    answers.emplace_back("Null", "DestroyIcon=" + std::to_string(destroyedNull) + " DrawIconEx=" + std::to_string(drawnNull));
  }
  if (record) std::printf("constexpr IconAnswer kIconAnswers[] = {\n");
  for (const auto& [name, text] : answers) CheckAnswers(name, text);
  if (record) std::printf("};\n");
}

}  // namespace

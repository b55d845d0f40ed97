// Bitmap fonts read from the platform's own .fon files (Debian's
// fonts-wine, the files Wine reads) and realised as the platform realises
// them.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform.h"
#include "platform/hosted/gdi/font_face.h"

namespace {

using Faces = std::vector<std::shared_ptr<const gdi::FonFace>>;

const std::string kFontDir = "/usr/share/wine/fonts/";

std::vector<uint8_t> FileBytes(const std::string& name) {
  std::ifstream in(kFontDir + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Faces Family(std::initializer_list<const char*> files) {
  Faces faces;
  for (const char* file : files) {
    const Faces read = gdi::ReadFonFile(FileBytes(file));
    faces.insert(faces.end(), read.begin(), read.end());
  }
  return faces;
}

// Each file's faces as name, cell height and character set.
TEST(FonFile, ReadsTheFacesOfEachFile) {
  struct Face {
    std::u16string name;
    int height, charSet;
    bool operator==(const Face&) const = default;
  };
  const struct {
    const char* file;
    std::vector<Face> faces;
  } kFiles[] = {
      {"vgasys.fon", {{u"System", 16, ANSI_CHARSET}}},
      {"vgasyse.fon", {{u"System", 16, 238}}},
      {"svgasys.fon", {{u"System", 16, 134}, {u"System", 16, ANSI_CHARSET}}},
      {"sserife.fon", {{u"MS Sans Serif", 13, 0}, {u"MS Sans Serif", 16, 0}, {u"MS Sans Serif", 20, 0}}},
      {"sseriff.fon", {{u"MS Sans Serif", 16, 0}, {u"MS Sans Serif", 20, 0}}},
      {"coure.fon", {{u"Courier", 13, ANSI_CHARSET}}},
      {"smalle.fon", {{u"Small Fonts", 11, ANSI_CHARSET}}},
      {"vgafix.fon", {{u"Fixedsys", 15, ANSI_CHARSET}}},
      {"jvgafix.fon", {{u"FixedSys", 18, 128}}},
      {"courier.ttf", {}},
  };
  for (const auto& file : kFiles) {
    std::vector<Face> got;
    for (const auto& face : Family({file.file}))
      got.push_back({gdi::FonFaceName(*face), gdi::FonFacePixelHeight(*face), gdi::FonFaceCharSet(*face)});
    EXPECT_EQ(got, file.faces) << file.file;
  }
  EXPECT_TRUE(gdi::ReadFonFile({}).empty());
}

// The units each case draws: the font's own range, and units outside it or
// outside the character set, which get the default character.
std::vector<char16_t> Units() {
  std::vector<char16_t> units;
  for (char16_t c = 0x20; c <= 0xFF; ++c) units.push_back(c);
  for (char16_t c : {0x00, 0x01, 0x1F, 0x100, 0x152, 0x178, 0x192, 0x2C6, 0x2013, 0x201C, 0x2122, 0x20AC, 0x263A,
                     0xD800, 0xFFFF})
    units.push_back(c);
  return units;
}

uint32_t Fnv(uint32_t hash, uint32_t value) {
  for (int i = 0; i < 4; ++i) hash = (hash ^ ((value >> (8 * i)) & 0xFF)) * 16777619u;
  return hash;
}

// The rows (first, from the baseline; count) of the lines a font has:
// a line of thickness t at position p starts p + t / 2 rows above the
// baseline, as TextOutW draws it.
std::vector<std::pair<int, int>> LineRows(const gdi::RealFont& font) {
  const gdi::TextLines lines = font.Lines();
  std::vector<std::pair<int, int>> rows;
  if (font.Metrics().tmUnderlined)
    rows.emplace_back(-(lines.underlinePosition + lines.underlineSize / 2), lines.underlineSize);
  if (font.Metrics().tmStruckOut)
    rows.emplace_back(-(lines.strikeOutPosition + lines.strikeOutSize / 2), lines.strikeOutSize);
  return rows;
}

// Hashes as the recording program takes them: each unit drawn alone with
// the pen at the top-left (16, 4) of a canvas 3 * tmMaxCharWidth + 32 by
// tmHeight + 8, with its underline and strike-out; the index of every
// covered pixel, row by row, for all units in turn; and each advance.
struct Hashes {
  uint32_t advances = 2166136261u;
  uint32_t pictures = 2166136261u;
};

Hashes Draw(gdi::RealFont& font) {
  const TEXTMETRICW& tm = font.Metrics();
  const int width = 3 * tm.tmMaxCharWidth + 32, height = tm.tmHeight + 8;
  const int penX = 16, baseline = 4 + tm.tmAscent;
  const std::vector<std::pair<int, int>> lines = LineRows(font);
  Hashes hashes;
  for (char16_t unit : Units()) {
    const gdi::GlyphImage& glyph = font.Glyph(unit);
    std::vector<bool> canvas(static_cast<size_t>(width) * height);
    auto set = [&](int x, int y) {
      if (x >= 0 && x < width && y >= 0 && y < height) canvas[static_cast<size_t>(y) * width + x] = true;
    };
    for (int y = 0; y < glyph.height; ++y)
      for (int x = 0; x < glyph.width; ++x)
        if (glyph.levels[static_cast<size_t>(y) * glyph.width + x] == 16) set(penX + glyph.left + x, baseline + glyph.top + y);
    for (auto [top, rows] : lines)
      for (int y = top; y < top + rows; ++y)
        for (int x = 0; x < glyph.advanceX; ++x) set(penX + x, baseline + y);
    hashes.advances = Fnv(hashes.advances, glyph.advanceX);
    for (int i = 0; i < width * height; ++i)
      if (canvas[i]) hashes.pictures = Fnv(hashes.pictures, i);
  }
  return hashes;
}

Faces FamilyNamed(const std::u16string& name) {
  if (name == u"System") return Family({"vgasyse.fon", "svgasys.fon", "vgasys.fon"});
  if (name == u"MS Sans Serif") return Family({"sseriff.fon", "sserifee.fon", "sserife.fon"});
  if (name == u"Courier") return Family({"coure.fon"});
  if (name == u"Small Fonts") return Family({"smalle.fon"});
  return Family({"vgafix.fon"});
}

// Recorded under wine64 from the same files by a program that asks for each
// font with CreateFontIndirectW and reads GetTextMetricsW, GetTextFaceW,
// GetTextExtentPoint32W and what TextOutW draws of each unit on a 32-bit DIB
// section. Where `wineDraws` is false Wine's pictures are not the platform's
// behaviour: it draws scaled and width-stretched bitmap fonts with their
// unscaled pictures, cut to the new width, and italic ones shifted a pixel
// left with stray pixels; the metrics and advances still hold there, and
// the pictures are checked against the unscaled ones below.
TEST(BitmapFont, RealisesMetricsAdvancesAndPicturesAsThePlatform) {
  const struct {
    struct {
      const char16_t* face;
      int height, width, weight, italic, underline, strikeOut;
    } request;
    const char16_t* face;
    LONG tm[20];
    uint32_t advances, pictures;
    bool wineDraws;
  } kCases[] = {
      // clang-format off
      {{u"System", 0, 0, 0, 0, 0, 0}, u"System", {16, 13, 3, 3, 0, 7, 15, 700, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 33, 0}, 0x3af8a870, 0x05fe2822, true},
      {{u"System", -13, 0, 0, 0, 0, 0}, u"System", {16, 13, 3, 3, 0, 7, 15, 700, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 33, 0}, 0x3af8a870, 0x05fe2822, true},
      {{u"System", 32, 0, 0, 0, 0, 0}, u"System", {32, 26, 6, 6, 0, 14, 30, 700, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 33, 0}, 0x6d4baa3f, 0x0fc026b7, false},
      {{u"System", -41, 0, 0, 0, 0, 0}, u"System", {48, 39, 9, 9, 0, 21, 45, 700, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 33, 0}, 0x9610071a, 0x9aea770d, false},
      {{u"System", 16, 0, 0, 1, 0, 0}, u"System", {16, 13, 3, 3, 0, 7, 15, 700, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 33, 0}, 0x3af8a870, 0x7bee3473, false},
      {{u"System", 16, 0, 0, 0, 1, 1}, u"System", {16, 13, 3, 3, 0, 7, 15, 700, 0, 96, 96, 32, 255, 128, 32, 0, 255, 255, 33, 0}, 0x3af8a870, 0x880623a6, true},
      {{u"System", 16, 0, 900, 0, 0, 0}, u"System", {16, 13, 3, 3, 0, 7, 15, 700, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 33, 0}, 0x3af8a870, 0x05fe2822, true},
      {{u"System", 16, 4, 0, 0, 0, 0}, u"System", {16, 13, 3, 3, 0, 4, 9, 700, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 33, 0}, 0xeae3a989, 0x20288940, false},
      {{u"System", 16, 14, 0, 0, 0, 0}, u"System", {16, 13, 3, 3, 0, 14, 30, 700, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 33, 0}, 0x6d4baa3f, 0x0fc026b7, false},
      {{u"MS Sans Serif", 0, 0, 0, 0, 0, 0}, u"MS Sans Serif", {13, 11, 2, 2, 0, 5, 11, 400, 0, 96, 96, 32, 255, 129, 32, 0, 0, 0, 33, 0}, 0x8c155bb9, 0x82a57ff5, true},
      {{u"MS Sans Serif", -8, 0, 0, 0, 0, 0}, u"MS Sans Serif", {13, 11, 2, 2, 0, 5, 11, 400, 0, 96, 96, 32, 255, 129, 32, 0, 0, 0, 33, 0}, 0x8c155bb9, 0x82a57ff5, true},
      {{u"MS Sans Serif", 16, 0, 0, 0, 0, 0}, u"MS Sans Serif", {16, 13, 3, 3, 0, 7, 14, 400, 0, 96, 96, 32, 255, 129, 32, 0, 0, 0, 33, 0}, 0x0d2efd90, 0xadb4126b, true},
      {{u"MS Sans Serif", -16, 0, 0, 0, 0, 0}, u"MS Sans Serif", {20, 16, 4, 4, 0, 8, 16, 400, 0, 96, 96, 32, 255, 129, 32, 0, 0, 0, 33, 0}, 0x76ca852a, 0x6a9d999b, true},
      {{u"MS Sans Serif", 36, 0, 0, 0, 0, 0}, u"MS Sans Serif", {40, 32, 8, 8, 0, 16, 32, 400, 0, 96, 96, 32, 255, 129, 32, 0, 0, 0, 33, 0}, 0x64534d8b, 0xb7246029, false},
      {{u"MS Sans Serif", 13, 0, 700, 0, 0, 0}, u"MS Sans Serif", {13, 11, 2, 2, 0, 6, 12, 700, 1, 96, 96, 32, 255, 129, 32, 0, 0, 0, 33, 0}, 0xebb12ad8, 0xfcf4dc97, true},
      {{u"MS Sans Serif", 13, 0, 0, 1, 0, 0}, u"MS Sans Serif", {13, 11, 2, 2, 0, 5, 11, 400, 0, 96, 96, 32, 255, 129, 32, 0, 0, 0, 33, 0}, 0x8c155bb9, 0x70c25834, false},
      {{u"MS Sans Serif", 13, 0, 700, 1, 1, 1}, u"MS Sans Serif", {13, 11, 2, 2, 0, 6, 12, 700, 1, 96, 96, 32, 255, 129, 32, 0, 255, 255, 33, 0}, 0xebb12ad8, 0x2a695cc3, false},
      {{u"MS Sans Serif", 20, 0, 0, 0, 1, 0}, u"MS Sans Serif", {20, 16, 4, 4, 0, 8, 16, 400, 0, 96, 96, 32, 255, 129, 32, 0, 255, 0, 33, 0}, 0x76ca852a, 0x0c6a0d4a, true},
      {{u"MS Sans Serif", 20, 0, 0, 0, 0, 1}, u"MS Sans Serif", {20, 16, 4, 4, 0, 8, 16, 400, 0, 96, 96, 32, 255, 129, 32, 0, 0, 255, 33, 0}, 0x76ca852a, 0x32c2a895, true},
      {{u"MS Sans Serif", 40, 0, 700, 1, 0, 0}, u"MS Sans Serif", {40, 32, 8, 8, 0, 18, 34, 700, 1, 96, 96, 32, 255, 129, 32, 0, 0, 0, 33, 0}, 0x7f71f34a, 0x85696fb7, false},
      {{u"MS Sans Serif", 13, 10, 0, 0, 0, 0}, u"MS Sans Serif", {13, 11, 2, 2, 0, 10, 22, 400, 0, 96, 96, 32, 255, 129, 32, 0, 0, 0, 33, 0}, 0xaf693e4d, 0xebb6a8b0, false},
      {{u"Courier", 0, 0, 0, 0, 0, 0}, u"Courier", {13, 11, 2, 0, 0, 8, 8, 400, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 48, 0}, 0x25dfaa7d, 0xfceacd6d, true},
      {{u"Courier", -24, 0, 0, 0, 0, 0}, u"Courier", {26, 22, 4, 0, 0, 16, 16, 400, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 48, 0}, 0x882b8565, 0x0af7a482, false},
      {{u"Courier", 13, 0, 700, 0, 0, 0}, u"Courier", {13, 11, 2, 0, 0, 9, 9, 700, 1, 96, 96, 32, 255, 128, 32, 0, 0, 0, 48, 0}, 0x98b712fc, 0x204b8e1f, true},
      {{u"Courier", 13, 0, 0, 1, 1, 0}, u"Courier", {13, 11, 2, 0, 0, 8, 8, 400, 0, 96, 96, 32, 255, 128, 32, 0, 255, 0, 48, 0}, 0x25dfaa7d, 0x57139fc6, false},
      {{u"Courier", 26, 0, 0, 0, 0, 1}, u"Courier", {26, 22, 4, 0, 0, 16, 16, 400, 0, 96, 96, 32, 255, 128, 32, 0, 0, 255, 48, 0}, 0x882b8565, 0x01bf589f, false},
      {{u"Courier", 13, 16, 0, 0, 0, 0}, u"Courier", {13, 11, 2, 0, 0, 16, 16, 400, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 48, 0}, 0x882b8565, 0x0af7a482, false},
      {{u"Small Fonts", 0, 0, 0, 0, 0, 0}, u"Small Fonts", {11, 9, 2, 2, 0, 5, 9, 400, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 33, 0}, 0x151101e5, 0x94b1fbdf, true},
      {{u"Small Fonts", -24, 0, 0, 0, 0, 0}, u"Small Fonts", {22, 18, 4, 4, 0, 10, 18, 400, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 33, 0}, 0x0256d1b5, 0x834ed126, false},
      {{u"Small Fonts", 11, 0, 700, 0, 0, 0}, u"Small Fonts", {11, 9, 2, 2, 0, 6, 10, 700, 1, 96, 96, 32, 255, 128, 32, 0, 0, 0, 33, 0}, 0x519547c4, 0x4dd3641c, true},
      {{u"Small Fonts", 33, 0, 0, 1, 0, 0}, u"Small Fonts", {33, 27, 6, 6, 0, 15, 27, 400, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 33, 0}, 0xcda168bd, 0x4d6032ca, false},
      {{u"Small Fonts", 11, 0, 0, 0, 1, 1}, u"Small Fonts", {11, 9, 2, 2, 0, 5, 9, 400, 0, 96, 96, 32, 255, 128, 32, 0, 255, 255, 33, 0}, 0x151101e5, 0x05b2d9db, true},
      {{u"Fixedsys", 0, 0, 0, 0, 0, 0}, u"Fixedsys", {15, 12, 3, 3, 0, 8, 8, 400, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 48, 0}, 0x25dfaa7d, 0x62cbdd01, true},
      {{u"Fixedsys", 30, 0, 0, 0, 0, 0}, u"Fixedsys", {30, 24, 6, 6, 0, 16, 16, 400, 0, 96, 96, 32, 255, 128, 32, 0, 0, 0, 48, 0}, 0x882b8565, 0x24640ca1, false},
      {{u"Fixedsys", 15, 0, 600, 1, 0, 0}, u"Fixedsys", {15, 12, 3, 3, 0, 9, 9, 700, 1, 96, 96, 32, 255, 128, 32, 0, 0, 0, 48, 0}, 0x98b712fc, 0xe02dee1b, false},
      {{u"Fixedsys", 15, 0, 0, 0, 1, 0}, u"Fixedsys", {15, 12, 3, 3, 0, 8, 8, 400, 0, 96, 96, 32, 255, 128, 32, 0, 255, 0, 48, 0}, 0x25dfaa7d, 0x10eee5fa, true},
      // clang-format on
  };
  for (const auto& c : kCases) {
    LOGFONTW request = {};
    request.lfHeight = c.request.height;
    request.lfWidth = c.request.width;
    request.lfWeight = c.request.weight;
    request.lfItalic = static_cast<BYTE>(c.request.italic);
    request.lfUnderline = static_cast<BYTE>(c.request.underline);
    request.lfStrikeOut = static_cast<BYTE>(c.request.strikeOut);
    const std::u16string face = c.request.face;
    SCOPED_TRACE(std::string(face.begin(), face.end()) + " " + std::to_string(c.request.height) + " width " +
                 std::to_string(c.request.width) + " weight " + std::to_string(c.request.weight));
    const std::unique_ptr<gdi::RealFont> font = gdi::RealizeBitmapFont(FamilyNamed(face), request);
    ASSERT_NE(font, nullptr);
    const TEXTMETRICW& tm = font->Metrics();
    const LONG got[20] = {tm.tmHeight, tm.tmAscent, tm.tmDescent, tm.tmInternalLeading, tm.tmExternalLeading,
                          tm.tmAveCharWidth, tm.tmMaxCharWidth, tm.tmWeight, tm.tmOverhang, tm.tmDigitizedAspectX,
                          tm.tmDigitizedAspectY, tm.tmFirstChar, tm.tmLastChar, tm.tmDefaultChar, tm.tmBreakChar,
                          tm.tmItalic, tm.tmUnderlined, tm.tmStruckOut, tm.tmPitchAndFamily, tm.tmCharSet};
    EXPECT_EQ(std::vector<LONG>(got, got + 20), std::vector<LONG>(c.tm, c.tm + 20));
    EXPECT_EQ(font->FaceName(), c.face);
    EXPECT_FALSE(font->Antialiased());
    const Hashes hashes = Draw(*font);
    EXPECT_EQ(hashes.advances, c.advances);
    if (c.wineDraws) {
      EXPECT_EQ(hashes.pictures, c.pictures);
    }
  }
}

// The cell height chosen for every height from -80 to 80: the runs of
// equal heights, each from its first request on, as Wine chose them.
TEST(BitmapFont, PicksAndScalesSizesAsThePlatform) {
  const struct {
    const char16_t* face;
    std::vector<std::pair<int, int>> runs;
  } kFamilies[] = {
      {u"System", {{-80, 80}, {-72, 64}, {-56, 48}, {-40, 32}, {-25, 16}, {29, 32}, {44, 48}, {60, 64}, {76, 80}}},
      {u"MS Sans Serif", {{-80, 80}, {-70, 60}, {-50, 40}, {-31, 20}, {-15, 16}, {-12, 13}, {16, 16}, {20, 20}, {36, 40}, {55, 60}, {75, 80}}},
      {u"Courier", {{-80, 78}, {-74, 65}, {-61, 52}, {-48, 39}, {-35, 26}, {-23, 13}, {24, 26}, {36, 39}, {49, 52}, {62, 65}, {75, 78}}},
      {u"Small Fonts", {{-80, 77}, {-72, 66}, {-61, 55}, {-50, 44}, {-39, 33}, {-28, 22}, {-18, 11}, {21, 22}, {31, 33}, {42, 44}, {53, 55}, {64, 66}, {75, 77}}},
      {u"Fixedsys", {{-80, 75}, {-68, 60}, {-53, 45}, {-38, 30}, {-24, 15}, {28, 30}, {42, 45}, {57, 60}, {72, 75}}},
  };
  for (const auto& family : kFamilies) {
    const Faces faces = FamilyNamed(family.face);
    size_t run = 0;
    for (int height = -80; height <= 80; ++height) {
      if (run + 1 < family.runs.size() && family.runs[run + 1].first == height) ++run;
      LOGFONTW request = {};
      request.lfHeight = height;
      EXPECT_EQ(gdi::RealizeBitmapFont(faces, request)->Metrics().tmHeight, family.runs[run].second)
          << std::string(family.face, family.face + std::char_traits<char16_t>::length(family.face)) << " " << height;
    }
  }
}

// Heights and widths far out of range: Wine's answers where it gives sane
// ones (1001 for 1000, widths up to a hundred cells), otherwise the cell
// kept under 4096 pixels and the width ignored, and pictures to match.
TEST(BitmapFont, ExtremeRequestsGiveBoundedFonts) {
  const Faces courier = FamilyNamed(u"Courier");
  const struct {
    int height, width;
    LONG tmHeight, tmAveCharWidth;
  } kCases[] = {
      {1000, 0, 1001, 616}, {-1000, 0, 1001, 616}, {INT_MAX, 0, 4095, 2520}, {INT_MIN, 0, 4095, 2520},
      {13, 1300, 13, 1300}, {13, 1304, 13, 8},     {13, -1000, 13, 1000},     {13, INT_MIN, 13, 8},
  };
  for (const auto& c : kCases) {
    LOGFONTW request = {};
    request.lfHeight = c.height;
    request.lfWidth = c.width;
    const std::unique_ptr<gdi::RealFont> font = gdi::RealizeBitmapFont(courier, request);
    EXPECT_EQ(font->Metrics().tmHeight, c.tmHeight) << c.height << " " << c.width;
    EXPECT_EQ(font->Metrics().tmAveCharWidth, c.tmAveCharWidth) << c.height << " " << c.width;
    const gdi::GlyphImage& glyph = font->Glyph(u'W');
    EXPECT_EQ(glyph.height, c.tmHeight);
    EXPECT_EQ(glyph.advanceX, c.tmAveCharWidth);
  }
  EXPECT_EQ(gdi::RealizeBitmapFont({}, LOGFONTW{}), nullptr);
}

// The rows of the underline and strike-out, from the baseline, as TextOutW
// draws them under wine64 at unscaled and scaled sizes.
TEST(BitmapFont, LinesSitWhereThePlatformDrawsThem) {
  using Rows = std::vector<std::pair<int, int>>;
  const struct {
    const char16_t* face;
    int height;
    Rows rows;  // underline, strike-out
  } kCases[] = {
      {u"System", 16, {{0, 1}, {-6, 1}}},          {u"Small Fonts", 11, {{0, 1}, {-4, 1}}},
      {u"Courier", 52, {{-1, 3}, {-23, 3}}},       {u"MS Sans Serif", 60, {{-1, 3}, {-25, 3}}},
      {u"Fixedsys", 90, {{-2, 4}, {-38, 4}}},      {u"Small Fonts", 88, {{-2, 4}, {-38, 4}}},
      {u"System", 112, {{-2, 5}, {-47, 5}}},
  };
  for (const auto& c : kCases) {
    LOGFONTW request = {};
    request.lfHeight = c.height;
    request.lfUnderline = request.lfStrikeOut = TRUE;
    EXPECT_EQ(LineRows(*gdi::RealizeBitmapFont(FamilyNamed(c.face), request)), c.rows) << c.height;
  }
  LOGFONTW plain = {};
  EXPECT_EQ(LineRows(*gdi::RealizeBitmapFont(FamilyNamed(u"System"), plain)), Rows());
}

// A size scaled by n repeats each pixel of the unscaled picture n times
// each way, and a requested width stretches the columns to the nearest.
TEST(BitmapFont, ScaledPicturesRepeatTheUnscaledPixels) {
  const Faces faces = FamilyNamed(u"MS Sans Serif");
  LOGFONTW request = {};
  request.lfHeight = 20;
  const std::unique_ptr<gdi::RealFont> unscaled = gdi::RealizeBitmapFont(faces, request);
  for (int n : {2, 3}) {
    request.lfHeight = 20 * n;
    request.lfWidth = 0;
    const std::unique_ptr<gdi::RealFont> scaled = gdi::RealizeBitmapFont(faces, request);
    request.lfWidth = 8 * n;  // n times the average width
    const std::unique_ptr<gdi::RealFont> stretched = gdi::RealizeBitmapFont(faces, request);
    for (char16_t unit : {u'W', u'g', u'\u00C5'}) {
      const gdi::GlyphImage& one = unscaled->Glyph(unit);
      for (gdi::RealFont* font : {scaled.get(), stretched.get()}) {
        const gdi::GlyphImage& big = font->Glyph(unit);
        ASSERT_EQ(big.width, one.width * n);
        ASSERT_EQ(big.height, one.height * n);
        EXPECT_EQ(big.top, one.top * n);
        EXPECT_EQ(big.advanceX, one.advanceX * n);
        for (int y = 0; y < big.height; ++y)
          for (int x = 0; x < big.width; ++x)
            ASSERT_EQ(big.levels[y * big.width + x], one.levels[(y / n) * one.width + x / n]) << n << " " << x << "," << y;
      }
    }
  }
}

// Damaged copies of a real file: bytes changed at random, offsets and
// sizes in its headers pointed past the end, the file cut short. Each must
// read without a read past its bytes (run under AddressSanitizer) and give
// only faces that realise and draw every character.
TEST(FonFile, DamagedFilesGiveNoFaceOrWholeOnes) {
  const std::vector<uint8_t> original = FileBytes("sserife.fon");
  ASSERT_GT(original.size(), 1024u);
  // Where the headers keep offsets and sizes: the executable header's, the
  // resource table's, and each font's (its size, glyph table, face name).
  auto u16 = [&](size_t at) { return static_cast<size_t>(original[at] | original[at + 1] << 8); };
  const size_t ne = u16(0x3C), table = ne + u16(ne + 0x24);
  std::vector<size_t> fields = {0x3C, ne + 0x24, table};
  for (size_t at = table + 2; u16(at) != 0; at += 8 + 12 * u16(at + 2)) {
    fields.insert(fields.end(), {at + 2, at + 8, at + 10});
    if (u16(at) != 0x8008) continue;
    for (size_t font = 0; font < u16(at + 2); ++font) {
      const size_t start = u16(at + 8 + 12 * font) << u16(table);
      for (size_t field : {2, 88, 95, 96, 105, 148, 150, 152}) fields.push_back(start + field);
    }
  }
  ASSERT_EQ(fields.size(), 3u + 2 * 3 + 3 * 8);
  std::mt19937 random(12);
  int whole = 0;
  for (int copy = 0; copy < 400; ++copy) {
    std::vector<uint8_t> bytes = original;
    switch (copy % 4) {
      case 0:
        for (int i = 0; i < 1 + copy % 7; ++i) bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1 + random() % 255);
        break;
      case 1: {
        const size_t at = fields[random() % fields.size()];
        const uint32_t past = static_cast<uint32_t>(bytes.size() + random() % 70000);
        for (size_t i = 0; i < 4 && at + i < bytes.size(); ++i) bytes[at + i] = static_cast<uint8_t>(past >> (8 * i));
        break;
      }
      case 2:
        bytes[(fields[random() % fields.size()] + random() % 2) % bytes.size()] = static_cast<uint8_t>(random());
        break;
      default:
        bytes.resize(random() % bytes.size());
    }
    const Faces faces = gdi::ReadFonFile(bytes);
    whole += !faces.empty();
    for (const auto& face : faces) {
      LOGFONTW request = {};
      request.lfHeight = gdi::FonFacePixelHeight(*face);
      const std::unique_ptr<gdi::RealFont> font = gdi::RealizeBitmapFont({face}, request);
      ASSERT_NE(font, nullptr) << copy;
      for (char16_t unit = 0; unit < 0x100; ++unit) {
        const gdi::GlyphImage& glyph = font->Glyph(unit);
        EXPECT_EQ(glyph.levels.size(), static_cast<size_t>(glyph.width) * glyph.height) << copy;
      }
    }
  }
  // The seed leaves some copies readable: damage that the reader need not
  // refuse still gives faces.
  EXPECT_GT(whole, 0);
}

}  // namespace

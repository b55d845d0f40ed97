// Bitmap fonts read from the platform's own .fon files (Debian's
// fonts-wine, the files Wine reads) and realised as the platform realises
// them.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
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
  const gdi::FontLines lines = font.Lines();
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
    for (auto [top, rows] : {std::pair{lines.underlineTop, lines.underlineHeight},
                             std::pair{lines.strikeOutTop, lines.strikeOutHeight}})
      for (int y = top; y < top + rows; ++y)
        for (int x = 0; x < glyph.advanceX; ++x) set(penX + x, baseline + y);
    hashes.advances = Fnv(hashes.advances, glyph.advanceX);
    for (int i = 0; i < width * height; ++i)
      if (canvas[i]) hashes.pictures = Fnv(hashes.pictures, i);
  }
  return hashes;
}

Faces FamilyNamed(const std::u16string& name) {
  if (name == u"System") return Family({"vgasys.fon", "vgasyse.fon", "svgasys.fon"});
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

}  // namespace

// Scalable fonts against what Windows GDI answers for the same requests and
// font files (recorded under Wine: scalable_font_cases.inc), and against
// missing and damaged files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform.h"
#include "platform/hosted/gdi/font_face.h"
#include "vdmx_font.h"

namespace {

namespace fs = std::filesystem;

struct RecordedGlyph {
  char16_t unit;
  // GetGlyphOutlineW's origin (y up), black box and cell increment.
  int originX, originY, width, height, advanceX, advanceY;
  // Levels 0-16 by rows: a letter is a level ('a' = 1), digits a run of 0.
  const char* levels;
};

struct RecordedCase {
  struct {
    const char* file;
    int height, width, escapement, weight, italic, underline, strikeOut, quality, charSet;
  } request;
  TEXTMETRICW metrics;
  const char* face;
  bool antialiased;
  int widths[224];  // characters 32-255
  SIZE extent;      // of "Hello, World"
  gdi::TextLines lines;
  RecordedGlyph glyphs[10];
};

const RecordedCase kCases[] = {
#include "scalable_font_cases.inc"
};

void PrintTo(const RecordedCase& c, std::ostream* out) {
  *out << c.request.file << " height " << c.request.height << " width " << c.request.width << " escapement "
       << c.request.escapement << " weight " << c.request.weight << (c.request.italic ? " italic" : "") << " quality "
       << c.request.quality << " charset " << c.request.charSet;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string TempPath(const char* name) {
  return (fs::path(::testing::TempDir()) / ("scalable-font-" + std::to_string(getpid()) + "-" + name)).string();
}

// Where a recorded font file is; "tahoma.ttf:vdmx" is made from tahoma.ttf.
std::string FontPath(const std::string& file) {
  if (file == "tahoma.ttf:vdmx") {
    // One per process: ctest runs cases side by side.
    std::string path = TempPath("tahomv.ttf");
    std::vector<uint8_t> bytes = ReadFile(FontPath("tahoma.ttf"));
    EXPECT_TRUE(MakeVdmxFont(bytes));
    WriteFile(path, bytes);
    return path;
  }
  for (const char* folder : {"/usr/share/wine/fonts/", "/usr/share/fonts/truetype/dejavu/"})
    if (fs::exists(folder + file)) return folder + file;
  return file;
}

std::vector<uint8_t> Levels(const char* encoded) {
  std::vector<uint8_t> levels;
  for (const char* c = encoded; *c != '\0';) {
    if (*c >= 'a') {
      levels.push_back(static_cast<uint8_t>(*c++ - 'a' + 1));
    } else {
      levels.insert(levels.end(), std::strtoul(c, const_cast<char**>(&c), 10), 0);
    }
  }
  return levels;
}

// Pixels whose level differs between the two pictures placed at their
// origins, and the pixels the recorded one covers.
std::pair<int, int> CompareGlyph(const RecordedGlyph& want, const gdi::GlyphImage& got) {
  std::vector<uint8_t> wantLevels = Levels(want.levels);
  auto level = [](const std::vector<uint8_t>& levels, int width, int height, int x, int y) {
    return x >= 0 && y >= 0 && x < width && y < height ? levels[y * width + x] : 0;
  };
  int left = std::min(want.originX, got.left), top = std::min(-want.originY, got.top);
  int right = std::max(want.originX + want.width, got.left + got.width);
  int bottom = std::max(-want.originY + want.height, got.top + got.height);
  int differing = 0, covered = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      int a = level(wantLevels, want.width, want.height, x - want.originX, y + want.originY);
      int b = level(got.levels, got.width, got.height, x - got.left, y - got.top);
      differing += a != b;
      covered += a != 0;
    }
  }
  return {differing, covered};
}

class ScalableFontTable : public ::testing::TestWithParam<RecordedCase> {};

TEST_P(ScalableFontTable, AnswersAsWindows) {
  const RecordedCase& c = GetParam();
  LOGFONTW request = {};
  request.lfHeight = c.request.height;
  request.lfWidth = c.request.width;
  request.lfEscapement = request.lfOrientation = c.request.escapement;
  request.lfWeight = c.request.weight;
  request.lfItalic = static_cast<BYTE>(c.request.italic);
  request.lfUnderline = static_cast<BYTE>(c.request.underline);
  request.lfStrikeOut = static_cast<BYTE>(c.request.strikeOut);
  request.lfQuality = static_cast<BYTE>(c.request.quality);
  request.lfCharSet = static_cast<BYTE>(c.request.charSet);
  const std::string path = FontPath(c.request.file);
  std::unique_ptr<gdi::RealFont> font = gdi::RealizeScalableFont(path, 0, request);
  // A made file can go: FreeType keeps what it opened.
  if (path.starts_with(::testing::TempDir())) fs::remove(path);
  ASSERT_NE(font, nullptr);

  const TEXTMETRICW& got = font->Metrics();
  const TEXTMETRICW& want = c.metrics;
  EXPECT_EQ(std::vector<LONG>({got.tmHeight, got.tmAscent, got.tmDescent, got.tmInternalLeading, got.tmExternalLeading,
                               got.tmAveCharWidth, got.tmMaxCharWidth, got.tmWeight, got.tmOverhang,
                               got.tmDigitizedAspectX, got.tmDigitizedAspectY}),
            std::vector<LONG>({want.tmHeight, want.tmAscent, want.tmDescent, want.tmInternalLeading,
                               want.tmExternalLeading, want.tmAveCharWidth, want.tmMaxCharWidth, want.tmWeight,
                               want.tmOverhang, want.tmDigitizedAspectX, want.tmDigitizedAspectY}));
  EXPECT_EQ(std::vector<int>({got.tmFirstChar, got.tmLastChar, got.tmDefaultChar, got.tmBreakChar, got.tmItalic,
                              got.tmUnderlined, got.tmStruckOut, got.tmPitchAndFamily, got.tmCharSet}),
            std::vector<int>({want.tmFirstChar, want.tmLastChar, want.tmDefaultChar, want.tmBreakChar, want.tmItalic,
                              want.tmUnderlined, want.tmStruckOut, want.tmPitchAndFamily, want.tmCharSet}));
  EXPECT_EQ(font->FaceName(), std::u16string(c.face, c.face + std::char_traits<char>::length(c.face)));
  EXPECT_EQ(font->Antialiased(), c.antialiased);

  std::vector<int> widths;
  for (char16_t unit = 32; unit < 256; ++unit) widths.push_back(font->CharWidth(unit));
  EXPECT_EQ(widths, std::vector<int>(std::begin(c.widths), std::end(c.widths)));
  int extent = 0;
  for (char16_t unit : std::u16string(u"Hello, World")) extent += font->CharWidth(unit);
  EXPECT_EQ(extent, c.extent.cx);
  EXPECT_EQ(got.tmHeight, c.extent.cy);
  const gdi::TextLines lines = font->Lines();
  EXPECT_EQ(std::vector<int>({lines.underlinePosition, lines.underlineSize, lines.strikeOutPosition, lines.strikeOutSize}),
            std::vector<int>(
                {c.lines.underlinePosition, c.lines.underlineSize, c.lines.strikeOutPosition, c.lines.strikeOutSize}));

  // The pictures: placed and advanced exactly, and at most 2% of the
  // pixels the platform covers differing.
  int differing = 0, covered = 0;
  for (const RecordedGlyph& glyph : c.glyphs) {
    const gdi::GlyphImage& image = font->Glyph(glyph.unit);
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<int>(glyph.unit));
    ASSERT_EQ(image.levels.size(), static_cast<size_t>(image.width * image.height));
    EXPECT_EQ(std::vector<int>({image.advanceX, image.advanceY}), std::vector<int>({glyph.advanceX, glyph.advanceY}));
    if (glyph.width != 0) {
      EXPECT_EQ(std::vector<int>({image.left, image.top, image.width, image.height}),
                std::vector<int>({glyph.originX, -glyph.originY, glyph.width, glyph.height}));
    }
    auto [d, n] = CompareGlyph(glyph, image);
    differing += d;
    covered += n;
    EXPECT_EQ(&font->Glyph(glyph.unit), &image) << "pictures are made once";
  }
  EXPECT_LE(differing * 50, covered) << differing << " of " << covered << " pixels differ";
}

INSTANTIATE_TEST_SUITE_P(Wine, ScalableFontTable, ::testing::ValuesIn(kCases));

LOGFONTW Request(LONG height) {
  LOGFONTW request = {};
  request.lfHeight = height;
  request.lfWeight = FW_NORMAL;
  return request;
}

// A font made from damaged bytes, when one is made at all, must hold
// pictures as large as it says.
void ExpectUsable(gdi::RealFont* font) {
  if (font == nullptr) return;
  for (char16_t unit : std::u16string(u"Ag@\xe9\xd800")) {
    const gdi::GlyphImage& image = font->Glyph(unit);
    ASSERT_EQ(image.levels.size(), static_cast<size_t>(image.width) * image.height);
    font->CharWidth(unit);
  }
}

TEST(ScalableFont, NamesTheFamiliesOfAFile) {
  auto faces = [](const char* file) {
    std::vector<std::tuple<std::u16string, bool, bool>> found;
    for (const gdi::ScalableFace& face : gdi::ScalableFaces(FontPath(file)))
      found.emplace_back(face.family, face.bold, face.italic);
    return found;
  };
  using Face = std::tuple<std::u16string, bool, bool>;
  EXPECT_EQ(faces("tahoma.ttf"), std::vector<Face>({{u"Tahoma", false, false}}));
  EXPECT_EQ(faces("tahomabd.ttf"), std::vector<Face>({{u"Tahoma", true, false}}));
  EXPECT_EQ(faces("DejaVuSans-ExtraLight.ttf"), std::vector<Face>({{u"DejaVu Sans Light", false, false}}));
  EXPECT_EQ(faces("DejaVuSansMono-BoldOblique.ttf"), std::vector<Face>({{u"DejaVu Sans Mono", true, true}}));
  // Wine's bitmap-only intermediates stand in for .fon files: not fonts.
  EXPECT_TRUE(faces("ms_sans_serif.ttf").empty());
  EXPECT_EQ(gdi::RealizeScalableFont(FontPath("ms_sans_serif.ttf"), 0, Request(-13)), nullptr);
}

TEST(ScalableFont, RefusesMissingFilesAndFaces) {
  EXPECT_TRUE(gdi::ScalableFaces("/nonexistent/font.ttf").empty());
  EXPECT_EQ(gdi::RealizeScalableFont("/nonexistent/font.ttf", 0, Request(-16)), nullptr);
  EXPECT_EQ(gdi::RealizeScalableFont(FontPath("tahoma.ttf"), 1, Request(-16)), nullptr);
  EXPECT_EQ(gdi::RealizeScalableFont(FontPath("tahoma.ttf"), -1, Request(-16)), nullptr);
}

TEST(ScalableFont, SurvivesExtremeRequests) {
  for (LONG height : {LONG(INT32_MIN), LONG(-100000), LONG(-65536), LONG(1), LONG(100000), LONG(INT32_MAX)}) {
    LOGFONTW request = Request(height);
    request.lfWidth = height;
    request.lfEscapement = height;
    std::unique_ptr<gdi::RealFont> font = gdi::RealizeScalableFont(FontPath("tahoma.ttf"), 0, request);
    ASSERT_NE(font, nullptr) << height;
    // Sizes beyond what the platform scales fall back to one pixel.
    EXPECT_LE(font->Metrics().tmHeight, 2) << height;
    ExpectUsable(font.get());
  }
}

TEST(ScalableFont, RefusesOrSurvivesDamagedFiles) {
  // Tahoma with a VDMX table that applies, so that it is read too.
  std::vector<uint8_t> good = ReadFile(FontPath("tahoma.ttf"));
  ASSERT_TRUE(MakeVdmxFont(good));
  ASSERT_GT(good.size(), 1000u);
  const std::string path = TempPath("damaged.ttf");
  auto tryBytes = [&](const std::vector<uint8_t>& bytes) {
    WriteFile(path, bytes);
    gdi::ScalableFaces(path);
    LOGFONTW scaled = Request(20);
    scaled.lfWidth = 7;
    scaled.lfEscapement = 300;
    ExpectUsable(gdi::RealizeScalableFont(path, 0, scaled).get());
    std::unique_ptr<gdi::RealFont> font = gdi::RealizeScalableFont(path, 0, Request(-20));
    ExpectUsable(font.get());
    return font != nullptr;
  };
  // Truncated anywhere, or not a font at all: no font.
  for (size_t length : {size_t(0), size_t(4), size_t(12), size_t(200), size_t(4000), good.size() / 2})
    EXPECT_FALSE(tryBytes(std::vector<uint8_t>(good.begin(), good.begin() + length))) << length;
  std::mt19937 random(12);
  std::vector<uint8_t> garbage(good.size());
  for (uint8_t& byte : garbage) byte = static_cast<uint8_t>(random());
  EXPECT_FALSE(tryBytes(garbage));

  // Where the tables read here (VDMX, gasp, OS/2, hhea, name) are.
  std::map<std::string, std::pair<size_t, size_t>> tables;
  for (size_t i = 0, count = good[4] << 8 | good[5]; i < count; ++i) {
    const uint8_t* entry = &good[12 + i * 16];
    auto dword = [&](int at) {
      return size_t(entry[at]) << 24 | entry[at + 1] << 16 | entry[at + 2] << 8 | entry[at + 3];
    };
    std::string tag(entry, entry + 4);
    if (tag == "VDMX" || tag == "gasp" || tag == "OS/2" || tag == "hhea" || tag == "name")
      tables[tag] = {dword(8), dword(12)};
  }
  ASSERT_EQ(tables.size(), 5u);

  // A font that claims no height at all (Windows and hhea ascent and
  // descent 0, no VDMX) is a font, whatever width is asked.
  std::vector<uint8_t> flat = good;
  flat[tables["VDMX"].first + 6] = 0;
  std::fill_n(flat.begin() + static_cast<long>(tables["OS/2"].first) + 74, 4, 0);
  std::fill_n(flat.begin() + static_cast<long>(tables["hhea"].first) + 4, 4, 0);
  EXPECT_TRUE(tryBytes(flat));

  // Bytes changed anywhere, and within those tables: a font or none,
  // never a fault.
  std::vector<std::pair<size_t, size_t>> ranges = {{0, good.size()}};
  for (const auto& [tag, range] : tables) ranges.push_back(range);
  for (int copy = 0; copy < 300; ++copy) {
    auto [start, length] = ranges[copy % ranges.size()];
    std::vector<uint8_t> bytes = good;
    for (int change = 0; change < 8; ++change) bytes[start + random() % length] = static_cast<uint8_t>(random());
    tryBytes(bytes);
  }
  std::remove(path.c_str());
}

}  // namespace

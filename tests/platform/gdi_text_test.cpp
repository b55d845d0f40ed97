// Text as Windows GDI draws and measures it with the platform's own font
// files (Debian's fonts-wine, which Wine reads too): bitmap fonts pixel for
// pixel in each bitmap format and their metrics exactly; the TrueType face
// Tahoma within a stated tolerance, since the two lanes rasterise outlines
// with their own code; and defined answers of the text calls to bad input.
// What Windows does was taken under Wine and is kept in gdi_text_cases.inc;
// with CUBE_GDI_RECORD=1 the tests print this lane's answers in that file's
// form instead (scripts/record-gdi-text), and CUBE_GDI_DUMP=1 writes every
// picture drawn, for comparing the two lanes by eye.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform.h"
#include "support/pixels.h"

namespace {

struct BitmapRecord {
  const char* name;
  const char* face;      // GetTextFaceW
  LONG metrics[20];      // GetTextMetricsW, every field in declaration order
  LONG extents[5][2];    // GetTextExtentPoint32W of each line
  LONG position[2];      // the current position after drawing
  uint32_t hashes[3];    // by format, as kFormats
};

struct OutlineRecord {
  const char* name;
  LONG metrics[4];      // height, ascent, descent, average width
  LONG extent[2];       // of kGreeting
  const char* picture;  // as Encode writes it
};

struct InputRecord {
  const char* name;
  const char* answers;
};

#include "gdi_text_cases.inc"

using pixels::Canvas;
using WString = std::basic_string<WCHAR>;

constexpr D3DFORMAT kFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5};

bool Recording() { return std::getenv("CUBE_GDI_RECORD") != nullptr; }

template <typename Record, size_t N>
const Record* Find(const Record (&records)[N], const std::string& name) {
  for (const Record& record : records)
    if (name == record.name) return &record;
  return nullptr;
}

WString Wide(const char* text) {
  WString wide;
  for (; *text != 0; ++text) wide += static_cast<WCHAR>(static_cast<unsigned char>(*text));
  return wide;
}

// Printable ASCII as itself, anything else (quotes and backslashes too) as
// <U+XXXX>: readable, and a C string literal as it stands.
std::string Narrow(const WCHAR* text) {
  std::string narrow;
  for (; *text != 0; ++text) {
    const unsigned unit = static_cast<unsigned>(*text);
    if (unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\') {
      narrow += static_cast<char>(unit);
    } else {
      char escape[16];
      std::snprintf(escape, sizeof escape, "<U+%04X>", unit);
      narrow += escape;
    }
  }
  return narrow;
}

struct FontRequest {
  const char* face;
  int height;
  int weight = FW_NORMAL;
  bool italic = false, underline = false, strikeOut = false;
  int escapement = 0;
  int quality = DEFAULT_QUALITY;
};

HFONT MakeFont(const FontRequest& request) {
  LOGFONTW font = {};
  font.lfHeight = request.height;
  font.lfEscapement = font.lfOrientation = request.escapement;
  font.lfWeight = request.weight;
  font.lfItalic = request.italic;
  font.lfUnderline = request.underline;
  font.lfStrikeOut = request.strikeOut;
  font.lfQuality = static_cast<BYTE>(request.quality);
  const WString face = Wide(request.face);
  std::copy_n(face.begin(), std::min<size_t>(face.size(), LF_FACESIZE - 1), font.lfFaceName);
  return CreateFontIndirectW(&font);
}

// A font selected into a DC while the object lives, and deleted after.
class SelectedFont {
 public:
  SelectedFont(HDC dc, HFONT font) : dc_(dc), font_(font), old_(font != nullptr ? SelectObject(dc, font) : nullptr) {}
  explicit SelectedFont(HDC dc, const FontRequest& request) : SelectedFont(dc, MakeFont(request)) {}
  ~SelectedFont() {
    if (font_ == nullptr) return;
    SelectObject(dc_, old_);
    DeleteObject(font_);
  }
  SelectedFont(const SelectedFont&) = delete;
  SelectedFont& operator=(const SelectedFont&) = delete;

 private:
  HDC dc_;
  HFONT font_;
  HGDIOBJ old_;
};

std::vector<LONG> Metrics(HDC dc) {
  TEXTMETRICW tm = {};
  GetTextMetricsW(dc, &tm);
  return {tm.tmHeight,     tm.tmAscent,          tm.tmDescent,         tm.tmInternalLeading, tm.tmExternalLeading,
          tm.tmAveCharWidth, tm.tmMaxCharWidth,  tm.tmWeight,          tm.tmOverhang,        tm.tmDigitizedAspectX,
          tm.tmDigitizedAspectY, tm.tmFirstChar, tm.tmLastChar,        tm.tmDefaultChar,     tm.tmBreakChar,
          tm.tmItalic,     tm.tmUnderlined,      tm.tmStruckOut,       tm.tmPitchAndFamily,  tm.tmCharSet};
}

std::string Face(HDC dc) {
  WCHAR face[LF_FACESIZE + 1] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  return Narrow(face);
}

std::vector<LONG> Extent(HDC dc, const WString& text) {
  SIZE size = {-1, -1};
  GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
  return {size.cx, size.cy};
}

std::string Join(const std::vector<LONG>& numbers) {
  std::string joined;
  for (LONG n : numbers) joined += (joined.empty() ? "" : ", ") + std::to_string(n);
  return joined;
}

// ---------------------------------------------------------------------------
// Bitmap fonts: every printable ASCII character and the Latin-1 letters, on
// a background of four colour bands, at each face's unscaled sizes.

constexpr int kBitmapWidth = 360;
constexpr int kBitmapHeight = 120;
constexpr int kLinePitch = 22;  // more than the tallest cell, 20
constexpr COLORREF kTextColour = RGB(0x10, 0x30, 0xA0);
constexpr COLORREF kBackColour = RGB(0xE0, 0x60, 0x30);

const std::vector<WString>& TextLines() {
  static const std::vector<WString> lines = [] {
    std::vector<WString> made;
    for (int first : {0x20, 0x40, 0x60, 0xC0, 0xE0}) {
      WString line;
      for (int c = first; c < first + 32 && c != 0x7F; ++c) line += static_cast<WCHAR>(c);
      made.push_back(line);
    }
    return made;
  }();
  return lines;
}

// Heights that pick each face's unscaled sizes, as cell or character height.
const struct {
  const char* name;
  FontRequest font;
} kBitmapFonts[] = {
    {"System16", {"System", 16}},
    {"SansSerif13", {"MS Sans Serif", -8}},
    {"SansSerif16", {"MS Sans Serif", 16}},
    {"SansSerif20", {"MS Sans Serif", -16}},
    {"Courier13", {"Courier", 13}},
    {"SmallFonts11", {"Small Fonts", -9}},
    {"Fixedsys15", {"Fixedsys", 15}},
    {"SansSerif13Bold", {"MS Sans Serif", 13, FW_BOLD}},
    {"SansSerif20Bold", {"MS Sans Serif", 20, FW_BOLD}},
    {"Courier13Bold", {"Courier", -11, FW_BOLD}},
    {"SmallFonts11Bold", {"Small Fonts", 11, FW_BOLD}},
    {"Fixedsys15Bold", {"Fixedsys", -12, FW_BOLD}},
    {"System16UnderlinedStruckOut", {"System", -13, FW_NORMAL, false, true, true}},
    {"SansSerif16Underlined", {"MS Sans Serif", 16, FW_NORMAL, false, true}},
    {"Courier13StruckOut", {"Courier", 13, FW_NORMAL, false, false, true}},
    {"SmallFonts11BoldUnderlinedStruckOut", {"Small Fonts", 11, FW_BOLD, false, true, true}},
};

struct Style {
  const char* name;
  int backgroundMode = OPAQUE;
  UINT align = TA_LEFT | TA_TOP;
  // ETO_OPAQUE and ETO_CLIPPED: ExtTextOutW with a box across each line.
  UINT options = 0;
  int rop = R2_COPYPEN;
  // Of every line's reference point: text partly off the bitmap.
  int shiftX = 0, shiftY = 0;
};

const Style kOpaque = {"Opaque"};
const Style kTransparent = {"Transparent", TRANSPARENT};

// Each further style on one font.
const struct {
  const char* font;
  Style style;
} kStyledCases[] = {
    {"System16", {"CentreTop", OPAQUE, TA_CENTER | TA_TOP}},
    {"SansSerif13", {"RightTop", TRANSPARENT, TA_RIGHT | TA_TOP}},
    {"SansSerif16", {"LeftBaseline", OPAQUE, TA_LEFT | TA_BASELINE}},
    {"SansSerif20Bold", {"CentreBaseline", TRANSPARENT, TA_CENTER | TA_BASELINE}},
    {"Courier13", {"RightBaseline", OPAQUE, TA_RIGHT | TA_BASELINE}},
    {"SmallFonts11", {"LeftBottom", TRANSPARENT, TA_LEFT | TA_BOTTOM}},
    {"Fixedsys15", {"CentreBottom", OPAQUE, TA_CENTER | TA_BOTTOM}},
    {"SansSerif16Underlined", {"RightBottom", OPAQUE, TA_RIGHT | TA_BOTTOM}},
    {"System16", {"UpdateLeftTop", TRANSPARENT, TA_UPDATECP | TA_LEFT | TA_TOP}},
    {"SansSerif13Bold", {"UpdateCentreBaseline", TRANSPARENT, TA_UPDATECP | TA_CENTER | TA_BASELINE}},
    {"Courier13StruckOut", {"UpdateRightBottom", OPAQUE, TA_UPDATECP | TA_RIGHT | TA_BOTTOM}},
    {"SansSerif20", {"OpaqueBox", TRANSPARENT, TA_LEFT | TA_TOP, ETO_OPAQUE}},
    {"Fixedsys15Bold", {"ClippedBox", OPAQUE, TA_LEFT | TA_TOP, ETO_CLIPPED}},
    {"System16UnderlinedStruckOut", {"OpaqueClippedBox", TRANSPARENT, TA_CENTER | TA_BASELINE, ETO_OPAQUE | ETO_CLIPPED}},
    {"SmallFonts11Bold", {"OffTopLeft", OPAQUE, TA_LEFT | TA_TOP, 0, R2_COPYPEN, -40, -9}},
    {"SansSerif20Bold", {"OffBottomRight", TRANSPARENT, TA_LEFT | TA_TOP, 0, R2_COPYPEN, 200, 30}},
    {"System16UnderlinedStruckOut", {"XorPen", OPAQUE, TA_LEFT | TA_TOP, 0, R2_XORPEN}},
    {"SmallFonts11BoldUnderlinedStruckOut", {"NotPen", TRANSPARENT, TA_LEFT | TA_TOP, 0, R2_NOT}},
    {"SansSerif16Underlined", {"BlackPen", OPAQUE, TA_RIGHT | TA_BASELINE, 0, R2_BLACK}},
};

struct BitmapCase {
  std::string name;
  FontRequest font;
  Style style;
};

// Every font opaque and transparent, then the further styles.
std::vector<BitmapCase> BitmapCases() {
  std::vector<BitmapCase> cases;
  for (const auto& font : kBitmapFonts)
    for (const Style& style : {kOpaque, kTransparent})
      cases.push_back({std::string(font.name) + "-" + style.name, font.font, style});
  for (const auto& styled : kStyledCases) {
    const auto font = std::find_if(std::begin(kBitmapFonts), std::end(kBitmapFonts),
                                   [&](const auto& f) { return std::string(f.name) == styled.font; });
    cases.push_back({std::string(font->name) + "-" + styled.style.name, font->font, styled.style});
  }
  return cases;
}

// Four upright bands, so that every line crosses each colour.
void Bands(HDC dc) {
  static const COLORREF bands[] = {RGB(0xFF, 0xFF, 0xFF), RGB(0xF0, 0xE0, 0x10), RGB(0x80, 0x80, 0x80),
                                   RGB(0x05, 0xA0, 0x50)};
  for (int i = 0; i < 4; ++i) {
    HBRUSH brush = CreateSolidBrush(bands[i]);
    const RECT band = {i * kBitmapWidth / 4, 0, (i + 1) * kBitmapWidth / 4, kBitmapHeight};
    FillRect(dc, &band, brush);
    DeleteObject(brush);
  }
}

// Draws the lines in the style; with TA_UPDATECP each line in two calls
// from a moved-to point, so that the second half goes where the first left
// the current position. Gives the current position afterwards.
POINT DrawLines(HDC dc, const Style& style) {
  SetBkMode(dc, style.backgroundMode);
  SetTextAlign(dc, style.align);
  SetROP2(dc, style.rop);
  SetTextColor(dc, kTextColour);
  SetBkColor(dc, kBackColour);
  const UINT horizontal = style.align & TA_CENTER, vertical = style.align & TA_BASELINE;
  const int x = (horizontal == TA_CENTER ? kBitmapWidth / 2 : horizontal == TA_RIGHT ? kBitmapWidth - 4 : 4) +
                style.shiftX;
  const int down = vertical == TA_BASELINE ? 16 : vertical == TA_BOTTOM ? 20 : 0;
  const std::vector<WString>& lines = TextLines();
  for (size_t i = 0; i < lines.size(); ++i) {
    const WString& line = lines[i];
    const int count = static_cast<int>(line.size());
    const int top = 4 + static_cast<int>(i) * kLinePitch + style.shiftY, y = top + down;
    if ((style.align & TA_UPDATECP) != 0) {
      MoveToEx(dc, x, y, nullptr);
      TextOutW(dc, 0, 0, line.data(), count / 2);
      TextOutW(dc, 0, 0, line.data() + count / 2, count - count / 2);
    } else if (style.options != 0) {
      // Across the middle rows of the line, cutting it short at one end or both.
      const RECT box = {x - 90, top + 3, x + 120, top + 12};
      ExtTextOutW(dc, x, y, style.options, &box, line.data(), static_cast<UINT>(count), nullptr);
    } else {
      TextOutW(dc, x, y, line.data(), count);
    }
  }
  POINT position = {};
  MoveToEx(dc, 0, 0, &position);
  return position;
}

TEST(GdiText, BitmapFontsDrawAndMeasureAsWindows) {
  const bool record = Recording(), dump = std::getenv("CUBE_GDI_DUMP") != nullptr;
  if (record) std::printf("constexpr BitmapRecord kBitmapRecords[] = {\n");
  int pictureMismatches = 0;
  for (const BitmapCase& c : BitmapCases()) {
    SCOPED_TRACE(c.name);
    const BitmapRecord* expected = record ? nullptr : Find(kBitmapRecords, c.name);
    if (!record && expected == nullptr) {
      ADD_FAILURE() << "not recorded: run scripts/record-gdi-text";
      continue;
    }
    std::string face;
    std::vector<LONG> metrics, extents, position;
    uint32_t hashes[3];
    for (int f = 0; f < 3; ++f) {
      Canvas canvas(kBitmapWidth, kBitmapHeight, kFormats[f]);
      ASSERT_TRUE(canvas.usable());
      Bands(canvas.dc);
      SelectedFont font(canvas.dc, c.font);
      if (f == 0) {
        face = Face(canvas.dc);
        metrics = Metrics(canvas.dc);
        for (const WString& line : TextLines())
          for (LONG n : Extent(canvas.dc, line)) extents.push_back(n);
      }
      const POINT at = DrawLines(canvas.dc, c.style);
      position = {at.x, at.y};
      hashes[f] = canvas.Hash();
      const bool differs = expected != nullptr && hashes[f] != expected->hashes[f];
      pictureMismatches += differs;
      if (dump || (differs && pictureMismatches <= 5)) {
        const std::string path = pixels::OutputPath(c.name + "-" + pixels::Name(kFormats[f]), "actual");
        const bool written = pixels::WritePng(path, canvas.Picture());
        if (differs)
          ADD_FAILURE() << "picture in " << pixels::Name(kFormats[f]) << ": 0x" << std::hex << hashes[f]
                        << (written ? "; written to " : "; could not write ") << path;
      }
    }
    if (record) {
      std::printf("    {\"%s\", \"%s\", {%s}, {", c.name.c_str(), face.c_str(), Join(metrics).c_str());
      for (size_t i = 0; i < extents.size(); i += 2)
        std::printf("%s{%ld, %ld}", i == 0 ? "" : ", ", static_cast<long>(extents[i]), static_cast<long>(extents[i + 1]));
      std::printf("}, {%s}, {0x%08X, 0x%08X, 0x%08X}},\n", Join(position).c_str(), hashes[0], hashes[1], hashes[2]);
      continue;
    }
    EXPECT_EQ(face, expected->face);
    EXPECT_EQ(metrics, std::vector<LONG>(std::begin(expected->metrics), std::end(expected->metrics)));
    EXPECT_EQ(extents, std::vector<LONG>(&expected->extents[0][0], &expected->extents[0][0] + 10));
    EXPECT_EQ(position, std::vector<LONG>(std::begin(expected->position), std::end(expected->position)));
  }
  if (record) std::printf("};\n");
  EXPECT_EQ(pictureMismatches, 0) << "pictures drawn otherwise than Windows draws them";
}

// ---------------------------------------------------------------------------
// TrueType: Tahoma in black on white, upright from near the top-left corner
// or turned about the middle. Compared with a tolerance: metrics within a
// pixel, and at most 2% of the text's pixels (those either lane changed)
// off by more than one of the 16 grey steps Windows antialiases with.

constexpr int kOutlineSide = 240;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr int kGreyStep = 16;
const char kGreeting[] = "Hello, World!";

struct OutlineCase {
  std::string name;
  FontRequest font;
};

std::vector<OutlineCase> OutlineCases() {
  std::vector<OutlineCase> cases;
  for (int size = 9; size <= 28; ++size) cases.push_back({"Tahoma" + std::to_string(size), {"Tahoma", -size}});
  for (int size : {11, 16, 24}) {
    cases.push_back({"Tahoma" + std::to_string(size) + "Bold", {"Tahoma", -size, FW_BOLD}});
    cases.push_back({"Tahoma" + std::to_string(size) + "Italic", {"Tahoma", -size, FW_NORMAL, true}});
  }
  cases.push_back({"Tahoma20BoldItalic", {"Tahoma", -20, FW_BOLD, true}});
  for (int angle = 0; angle < 3600; angle += 150)
    cases.push_back({"Tahoma16Turned" + std::to_string(angle / 10), {"Tahoma", -16, FW_NORMAL, false, false, false, angle}});
  cases.push_back({"Tahoma28Turned30", {"Tahoma", -28, FW_NORMAL, false, false, false, 300}});
  for (int size : {12, 20, 28})
    cases.push_back({"Tahoma" + std::to_string(size) + "NonAntialiased",
                     {"Tahoma", -size, FW_NORMAL, false, false, false, 0, NONANTIALIASED_QUALITY}});
  cases.push_back({"Tahoma28Turned45NonAntialiased",
                   {"Tahoma", -28, FW_NORMAL, false, false, false, 450, NONANTIALIASED_QUALITY}});
  return cases;
}

// The changed pixels as runs: "<pixels skipped>:<grey of each pixel in two
// hex digits> ", rows from the top. Windows draws black text on white in
// greys only.
std::string Encode(const pixels::Picture& picture) {
  std::string out;
  size_t skipped = 0;
  for (size_t i = 0; i < picture.rgb.size(); ++i) {
    if (picture.rgb[i] == kWhite) {
      ++skipped;
      continue;
    }
    if (i == 0 || picture.rgb[i - 1] == kWhite) out += (out.empty() ? "" : " ") + std::to_string(skipped) + ":";
    char grey[3];
    std::snprintf(grey, sizeof grey, "%02x", picture.rgb[i] & 0xFF);
    out += grey;
    skipped = 0;
  }
  return out;
}

pixels::Picture Decode(const char* text, int width, int height) {
  pixels::Picture picture(width, height, kWhite);
  size_t at = 0;
  while (*text != 0) {
    char* end = nullptr;
    at += std::strtoul(text, &end, 10);
    if (*end != ':') break;
    for (text = end + 1; std::isxdigit(static_cast<unsigned char>(text[0])) && std::isxdigit(static_cast<unsigned char>(text[1]));
         text += 2, ++at) {
      const uint32_t grey = static_cast<uint32_t>(std::stoul(std::string(text, 2), nullptr, 16));
      if (at < picture.rgb.size()) picture.rgb[at] = grey * 0x010101;
    }
    while (*text == ' ') ++text;
  }
  return picture;
}

bool Grey(uint32_t rgb) { return (rgb & 0xFF) == ((rgb >> 8) & 0xFF) && (rgb & 0xFF) == ((rgb >> 16) & 0xFF); }

// A long picture as string literals of up to 100 characters, one a line.
std::string Literal(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size() || i == 0; i += 100)
    out += "\n        \"" + text.substr(i, 100) + "\"";
  return out;
}

TEST(GdiText, TrueTypeDrawsAndMeasuresAsWindowsWithinTolerance) {
  const bool record = Recording(), dump = std::getenv("CUBE_GDI_DUMP") != nullptr;
  if (record) std::printf("constexpr OutlineRecord kOutlineRecords[] = {\n");
  const WString greeting = Wide(kGreeting);
  double worst = 0, sum = 0;
  LONG worstMetric = 0;
  int measured = 0;
  for (const OutlineCase& c : OutlineCases()) {
    SCOPED_TRACE(c.name);
    Canvas canvas(kOutlineSide, kOutlineSide, D3DFMT_X8R8G8B8);
    ASSERT_TRUE(canvas.usable());
    canvas.FillRaw(kWhite);
    SelectedFont font(canvas.dc, c.font);
    const std::vector<LONG> all = Metrics(canvas.dc);
    const std::vector<LONG> metrics = {all[0], all[1], all[2], all[5]}, extent = Extent(canvas.dc, greeting);
    SetBkMode(canvas.dc, TRANSPARENT);
    SetTextColor(canvas.dc, RGB(0, 0, 0));
    const int at = c.font.escapement == 0 ? 8 : kOutlineSide / 2;
    EXPECT_TRUE(TextOutW(canvas.dc, at, at, greeting.data(), static_cast<int>(greeting.size())));
    const pixels::Picture picture = canvas.Picture();
    if (record) {
      EXPECT_TRUE(std::all_of(picture.rgb.begin(), picture.rgb.end(), Grey)) << "colours the record cannot hold";
      std::printf("    {\"%s\", {%s}, {%s},%s},\n", c.name.c_str(), Join(metrics).c_str(), Join(extent).c_str(),
                  Literal(Encode(picture)).c_str());
      continue;
    }
    if (dump) pixels::WritePng(pixels::OutputPath(c.name, "actual"), picture);
    const OutlineRecord* expected = Find(kOutlineRecords, c.name);
    if (expected == nullptr) {
      ADD_FAILURE() << "not recorded: run scripts/record-gdi-text";
      continue;
    }
    LONG metricDifference = 0;
    for (int i = 0; i < 4; ++i) metricDifference = std::max(metricDifference, std::abs(metrics[i] - expected->metrics[i]));
    for (int i = 0; i < 2; ++i) metricDifference = std::max(metricDifference, std::abs(extent[i] - expected->extent[i]));
    const pixels::Picture wanted = Decode(expected->picture, kOutlineSide, kOutlineSide);
    int text = 0, differing = 0;
    for (size_t i = 0; i < picture.rgb.size(); ++i) {
      if (picture.rgb[i] == kWhite && wanted.rgb[i] == kWhite) continue;
      ++text;
      differing += pixels::ChannelDifference(picture.rgb[i], wanted.rgb[i]) > kGreyStep;
    }
    const double percent = text == 0 ? 0 : 100.0 * differing / text;
    std::printf("%-32s %4d of %4d text pixels differ (%5.2f%%); metrics off by %ld\n", c.name.c_str(), differing, text,
                percent, static_cast<long>(metricDifference));
    worst = std::max(worst, percent);
    worstMetric = std::max(worstMetric, metricDifference);
    sum += percent;
    ++measured;
    EXPECT_LE(metricDifference, 1) << "metrics {" << Join(metrics) << "} extent {" << Join(extent) << "}";
    if (differing * 50 > text) {
      const std::string actualPath = pixels::OutputPath(c.name, "actual"), expectedPath = pixels::OutputPath(c.name, "expected");
      const bool written = pixels::WritePng(actualPath, picture) && pixels::WritePng(expectedPath, wanted);
      ADD_FAILURE() << differing << " of " << text << " text pixels differ"
                    << (written ? "; pictures written to " : "; could not write ") << actualPath << " and " << expectedPath;
    }
  }
  if (record) {
    std::printf("};\n");
  } else if (measured > 0) {
    std::printf("TrueType text: %d cases; text pixels differing: worst %.2f%%, mean %.2f%%; metrics off by at most %ld\n",
                measured, worst, sum / measured, static_cast<long>(worstMetric));
  }
}

// ---------------------------------------------------------------------------
// Bad input: each case's answers as one line of text.

// What a font request turned out to be, and whether text draws with it.
std::string FontAnswers(const FontRequest& request) {
  Canvas canvas(64, 32, D3DFMT_X8R8G8B8);
  const HFONT made = MakeFont(request);
  if (made == nullptr) return "no font";
  SelectedFont font(canvas.dc, made);
  const std::vector<LONG> metrics = Metrics(canvas.dc);
  return "face " + Face(canvas.dc) + ", height " + std::to_string(metrics[0]) + ", ascent " +
         std::to_string(metrics[1]) + ", TextOutW " + std::to_string(TextOutW(canvas.dc, 2, 2, TEXT("Ag"), 2));
}

// What the system font draws of a string, and its extent.
std::string SystemFontText(const WString& text) {
  Canvas canvas(64, 24, D3DFMT_X8R8G8B8);
  canvas.FillRaw(kWhite);
  SelectedFont font(canvas.dc, FontRequest{"System", 16});
  const std::vector<LONG> extent = Extent(canvas.dc, text);
  const BOOL drawn = TextOutW(canvas.dc, 2, 2, text.data(), static_cast<int>(text.size()));
  char hash[16];
  std::snprintf(hash, sizeof hash, "0x%08X", canvas.Hash());
  return "TextOutW " + std::to_string(drawn) + ", extent " + Join(extent) + ", picture " + hash;
}

WString Units(std::initializer_list<unsigned> units) {
  WString text;
  for (unsigned unit : units) text += static_cast<WCHAR>(unit);
  return text;
}

const struct {
  const char* name;
  std::string (*run)();
} kInputCases[] = {
    {"CreateFontIndirectWOfNothing", [] { return std::string(CreateFontIndirectW(nullptr) == nullptr ? "null" : "a font"); }},
    {"FaceFoundNowhere",
     [] {
       Canvas canvas(16, 16, D3DFMT_X8R8G8B8);
       SelectedFont font(canvas.dc, CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                                TEXT("NoSuchFace")));
       return "face " + Face(canvas.dc) + ", TextOutW " + std::to_string(TextOutW(canvas.dc, 0, 0, TEXT("Ag"), 2));
     }},
    {"NoFaceName", [] { return FontAnswers({"", -16}); }},
    // Bitmap faces only at heights Windows draws quickly: a million-pixel
    // bitmap font takes Wine many seconds to scale.
    {"SystemHeight0", [] { return FontAnswers({"System", 0}); }},
    {"SystemHeightMinus1", [] { return FontAnswers({"System", -1}); }},
    {"TahomaHeight0", [] { return FontAnswers({"Tahoma", 0}); }},
    {"TahomaHeight1", [] { return FontAnswers({"Tahoma", 1}); }},
    {"TahomaHeightMinus1", [] { return FontAnswers({"Tahoma", -1}); }},
    {"TahomaHeightMillion", [] { return FontAnswers({"Tahoma", 1000000}); }},
    {"TahomaHeightMinusMillion", [] { return FontAnswers({"Tahoma", -1000000}); }},
    {"TahomaHeightIntMax", [] { return FontAnswers({"Tahoma", INT_MAX}); }},
    {"TahomaHeightIntMin", [] { return FontAnswers({"Tahoma", INT_MIN}); }},
    {"TextOutWOfNoCharacters",
     [] {
       Canvas canvas(16, 16, D3DFMT_X8R8G8B8);
       return "TextOutW " + std::to_string(TextOutW(canvas.dc, 0, 0, TEXT("A"), 0));
     }},
    {"TextOutWOfMinus1Characters",
     [] {
       Canvas canvas(16, 16, D3DFMT_X8R8G8B8);
       return "TextOutW " + std::to_string(TextOutW(canvas.dc, 0, 0, TEXT("A"), -1));
     }},
    {"TextOutWOnADeletedDc",
     [] {
       HDC dc = CreateCompatibleDC(nullptr);
       DeleteDC(dc);
       return "TextOutW " + std::to_string(TextOutW(dc, 0, 0, TEXT("A"), 1));
     }},
    {"ExtentOfNoCharacters",
     [] {
       Canvas canvas(16, 16, D3DFMT_X8R8G8B8);
       SIZE size = {-1, -1};
       const BOOL done = GetTextExtentPoint32W(canvas.dc, TEXT("A"), 0, &size);
       return std::to_string(done) + ", " + std::to_string(size.cx) + " x " + std::to_string(size.cy);
     }},
    {"OpaqueBoxWithNoCharacters",
     [] {
       Canvas canvas(16, 16, D3DFMT_X8R8G8B8);
       SetBkColor(canvas.dc, kBackColour);
       const RECT box = {2, 3, 9, 11};
       const BOOL done = ExtTextOutW(canvas.dc, 0, 0, ETO_OPAQUE, &box, TEXT("A"), 0, nullptr);
       return std::to_string(done) + ", " + std::to_string(canvas.CountOther(canvas.Raw(0, 0))) + " pixels changed";
     }},
    {"LoneHighSurrogate", [] { return SystemFontText(Units({0xD800})); }},
    {"LoneLowSurrogate", [] { return SystemFontText(Units({0xDC00})); }},
    {"SurrogatesSwapped", [] { return SystemFontText(Units({'A', 0xDC00, 0xD800, 'B'})); }},
    {"SurrogatePair", [] { return SystemFontText(Units({'A', 0xD83D, 0xDE00, 'B'})); }},
};

TEST(GdiText, BadInputGivesDefinedAnswers) {
  const bool record = Recording();
  if (record) std::printf("constexpr InputRecord kInputRecords[] = {\n");
  for (const auto& c : kInputCases) {
    const std::string answers = c.run();
    if (record) {
      std::printf("    {\"%s\", \"%s\"},\n", c.name, answers.c_str());
      continue;
    }
    const InputRecord* expected = Find(kInputRecords, c.name);
    ASSERT_NE(expected, nullptr) << c.name << " not recorded: run scripts/record-gdi-text";
    EXPECT_EQ(answers, expected->answers) << c.name;
  }
  if (record) std::printf("};\n");
}

}  // namespace

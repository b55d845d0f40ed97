// Scalable fonts (TrueType and OpenType) through FreeType, realised the way
// the platform realises them with the same library and font files: the
// size from the cell or em height (the font's VDMX table first), text
// metrics from the OS/2 and hhea tables, hinted glyphs (embedded bitmaps
// for unscaled monochrome text), synthetic bold and slant, width scaling
// and rotation by a transform of the hinted outline, and the font's gasp
// table deciding between grey levels and monochrome.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_SFNT_NAMES_H
#include FT_TRIGONOMETRY_H
#include FT_TRUETYPE_IDS_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "font_face.h"

namespace gdi {
namespace {

// FreeType objects are not safe to use from two threads at once; every
// use of the library, its faces and the glyph caches holds this lock.
std::mutex gFreeTypeLock;

FT_Library Library() {
  static FT_Library library = [] {
    FT_Library made = nullptr;
    return FT_Init_FreeType(&made) == 0 ? made : nullptr;
  }();
  return library;
}

struct FaceCloser {
  void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using FacePtr = std::unique_ptr<FT_FaceRec, FaceCloser>;

// The bytes of one table of the font; empty when it has none.
std::vector<uint8_t> SfntTable(FT_Face face, FT_ULong tag) {
  FT_ULong length = 0;
  if (FT_Load_Sfnt_Table(face, tag, 0, nullptr, &length) != 0 || length == 0) return {};
  std::vector<uint8_t> bytes(length);
  if (FT_Load_Sfnt_Table(face, tag, 0, bytes.data(), &length) != 0) return {};
  return bytes;
}

uint16_t Word(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

// Whether every table face `index` lists lies within the file: a
// truncated file is no font, though FreeType would open what is left.
bool TablesWhole(FT_Face face, long index) {
  // Tag 0 reads the file itself.
  FT_ULong size = 0;
  if (FT_Load_Sfnt_Table(face, 0, 0, nullptr, &size) != 0) return false;
  auto read = [&](FT_ULong at, FT_ULong length) {
    std::vector<uint8_t> bytes(length);
    FT_ULong got = length;
    if (at + length > size || FT_Load_Sfnt_Table(face, 0, static_cast<FT_Long>(at), bytes.data(), &got) != 0)
      bytes.clear();
    return bytes;
  };
  auto dword = [](const std::vector<uint8_t>& b, size_t at) {
    return FT_ULong(b[at]) << 24 | FT_ULong(b[at + 1]) << 16 | FT_ULong(b[at + 2]) << 8 | b[at + 3];
  };
  std::vector<uint8_t> header = read(0, 12);
  if (header.empty()) return false;
  FT_ULong directory = 0;
  if (dword(header, 0) == FT_MAKE_TAG('t', 't', 'c', 'f')) {
    std::vector<uint8_t> offset = read(12 + 4 * static_cast<FT_ULong>(index), 4);
    if (offset.empty() || (header = read(dword(offset, 0), 12)).empty()) return false;
    directory = dword(offset, 0);
  }
  size_t tables = Word(header, 4);
  std::vector<uint8_t> entries = read(directory + 12, tables * 16);
  if (entries.size() != tables * 16) return false;
  for (size_t i = 0; i < tables; ++i)
    if (dword(entries, i * 16 + 8) > size || dword(entries, i * 16 + 12) > size - dword(entries, i * 16 + 8))
      return false;
  return true;
}

// Face `index` of the file when the platform would use it as a scalable
// font: an sfnt outline font with OS/2, hhea and head tables that is not
// one of Wine's bitmap-only intermediates (vendor "Wine" with an EBSC
// table), which only stand in for .fon files, and is whole. Called with
// the lock held.
FacePtr OpenFace(const std::string& path, long index) {
  FT_Library library = Library();
  FT_Face opened = nullptr;
  if (library == nullptr || FT_New_Face(library, path.c_str(), index, &opened) != 0) return nullptr;
  FacePtr face(opened);
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(opened, FT_SFNT_OS2));
  if (!FT_IS_SFNT(opened) || !FT_IS_SCALABLE(opened) || os2 == nullptr || os2->version == 0xFFFF ||
      FT_Get_Sfnt_Table(opened, FT_SFNT_HHEA) == nullptr || FT_Get_Sfnt_Table(opened, FT_SFNT_HEAD) == nullptr ||
      opened->family_name == nullptr || opened->style_name == nullptr || opened->units_per_EM == 0 ||
      !TablesWhole(opened, index))
    return nullptr;
  if (std::memcmp(os2->achVendID, "Wine", 4) == 0 && !SfntTable(opened, FT_MAKE_TAG('E', 'B', 'S', 'C')).empty())
    return nullptr;
  return face;
}

// The family name the platform gives a face: the name table's family name
// (name 1), preferring the Windows platform's and US English.
std::u16string FamilyName(FT_Face face) {
  int bestScore = 0;
  std::u16string best;
  for (FT_UInt i = 0, count = FT_Get_Sfnt_Name_Count(face); i < count; ++i) {
    FT_SfntName name;
    if (FT_Get_Sfnt_Name(face, i, &name) != 0 || name.name_id != TT_NAME_ID_FONT_FAMILY) continue;
    int score = 0;
    bool utf16 = true;
    if (name.platform_id == TT_PLATFORM_MICROSOFT &&
        (name.encoding_id == TT_MS_ID_UNICODE_CS || name.encoding_id == TT_MS_ID_SYMBOL_CS)) {
      score = 5 + (name.language_id == 0x409 ? 30 : (name.language_id & 0x3ff) == 0x09 ? 20 : 0);
    } else if (name.platform_id == TT_PLATFORM_APPLE_UNICODE && name.language_id == 0) {
      score = 2 + 30;
    } else if (name.platform_id == TT_PLATFORM_MACINTOSH && name.encoding_id == TT_MAC_ID_ROMAN &&
               name.language_id == TT_MAC_LANGID_ENGLISH) {
      score = 30;
      utf16 = false;
    }
    if (score <= bestScore) continue;
    bestScore = score;
    best.clear();
    if (utf16) {
      for (FT_UInt at = 0; at + 1 < name.string_len; at += 2)
        best += static_cast<char16_t>(name.string[at] << 8 | name.string[at + 1]);
    } else {
      for (FT_UInt at = 0; at < name.string_len; ++at) best += static_cast<char16_t>(name.string[at]);
    }
  }
  if (bestScore == 0)
    for (const char* c = face->family_name; *c != '\0'; ++c) best += static_cast<char16_t>(static_cast<uint8_t>(*c));
  return best;
}

// The font's VDMX entry for a height: its ppem and the rounded yMax and
// yMin that become the ascent and descent; ppem 0 when the table has no
// entry for it (or no table, or a damaged one).
struct VdmxEntry {
  int ppem = 0;
  int yMax = 0;
  int yMin = 0;
};

VdmxEntry FindVdmx(FT_Face face, long height) {
  std::vector<uint8_t> table = SfntTable(face, TTAG_VDMX);
  if (table.size() < 6) return {};
  size_t ratios = Word(table, 4);
  size_t group = 0;
  for (size_t i = 0; i < ratios; ++i) {
    size_t at = 6 + i * 4;
    if (at + 4 > table.size()) return {};
    uint8_t charSet = table[at], xRatio = table[at + 1], yStart = table[at + 2], yEnd = table[at + 3];
    if (charSet == 0) continue;
    // Square pixels: a 1:1 ratio, or the record that matches any.
    if ((xRatio == 0 && yStart == 0 && yEnd == 0) || (xRatio == 1 && yStart <= 1 && yEnd >= 1)) {
      size_t offsetAt = 6 + ratios * 4 + i * 2;
      if (offsetAt + 2 > table.size()) return {};
      group = Word(table, offsetAt);
      break;
    }
  }
  if (group == 0 || group + 4 > table.size()) return {};
  size_t records = Word(table, group);
  int startSize = table[group + 2], endSize = table[group + 3];
  if (group + 4 + records * 6 > table.size()) return {};
  auto entry = [&](size_t i) {
    size_t at = group + 4 + i * 6;
    return VdmxEntry{Word(table, at), static_cast<int16_t>(Word(table, at + 2)),
                     static_cast<int16_t>(Word(table, at + 4))};
  };
  if (height > 0) {
    // The largest size whose yMax - yMin fits the cell height.
    for (size_t i = 0; i < records; ++i) {
      VdmxEntry e = entry(i);
      if (e.yMax - e.yMin == height) return e;
      if (e.yMax - e.yMin > height) return i == 0 ? VdmxEntry{} : entry(i - 1);
    }
    return {};
  }
  long ppem = -height;
  if (ppem < startSize || ppem > endSize) return {};
  for (size_t i = 0; i < records; ++i) {
    VdmxEntry e = entry(i);
    if (e.ppem > ppem) return {};
    if (e.ppem == ppem) return e;
  }
  // In the table's range but without a record: the em height as asked.
  return {static_cast<int>(ppem), 0, 0};
}

// The em height in pixels for a LOGFONTW height: the character height
// itself when negative; the cell height (usWinAscent + usWinDescent)
// scaled to fit when positive; 16 pixels of cell for 0.
long PpemForHeight(FT_Face face, long height) {
  constexpr long kMaxPpem = 0xFFFF;
  if (height == 0) height = 16;
  if (height < 0) return height >= -kMaxPpem ? -height : 1;
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  // Some fonts store a negative descent in the unsigned field.
  long units = os2->usWinAscent + std::abs(static_cast<int16_t>(os2->usWinDescent));
  if (units == 0) units = hhea->Ascender - hhea->Descender;
  if (units <= 0) return 1;
  long ppem = FT_MulDiv(face->units_per_EM, height, units);
  if (ppem > 1 && FT_MulDiv(units, ppem, face->units_per_EM) > height) --ppem;
  return ppem > kMaxPpem || ppem < 1 ? 1 : ppem;
}

// The platform's choice of character map: Unicode, then Apple Roman, then
// symbol (symbol first for the symbol character set); within one encoding
// the Windows platform's map first.
void PickCharmap(FT_Face face, bool symbolFirst) {
  const FT_Encoding regular[] = {FT_ENCODING_UNICODE, FT_ENCODING_APPLE_ROMAN, FT_ENCODING_MS_SYMBOL};
  const FT_Encoding symbol[] = {FT_ENCODING_MS_SYMBOL, FT_ENCODING_UNICODE, FT_ENCODING_APPLE_ROMAN};
  for (FT_Encoding encoding : symbolFirst ? symbol : regular) {
    FT_CharMap best = nullptr;
    int bestRank = 0;
    for (int i = 0; i < face->num_charmaps; ++i) {
      FT_CharMap map = face->charmaps[i];
      if (map->encoding != encoding) continue;
      // Windows, then Macintosh, ISO, Apple Unicode, any other.
      static const int kRank[] = {2, 4, 3, 5};
      int rank = map->platform_id < 4 ? kRank[map->platform_id] : 1;
      if (rank > bestRank) {
        best = map;
        bestRank = rank;
      }
    }
    if (best != nullptr && FT_Set_Charmap(face, best) == 0) return;
  }
  if (face->charmap == nullptr && face->num_charmaps > 0) FT_Set_Charmap(face, face->charmaps[0]);
}

// The character set the platform gives a font: the one asked for
// (DEFAULT_CHARSET: ANSI) when the face covers it, otherwise the first the
// face covers, as its OS/2 code page bits (or its character maps) say.
BYTE ResolveCharSet(FT_Face face, BYTE requested) {
  static const struct {
    BYTE charSet;
    uint32_t codePages;
  } kCharSets[] = {{ANSI_CHARSET, 0x1}, {238, 0x2},      {204, 0x4},      {161, 0x8},
                   {162, 0x10},         {177, 0x20},     {178, 0x40},     {186, 0x80},
                   {163, 0x100},        {222, 0x10000},  {128, 0x20000},  {134, 0x40000},
                   {129, 0x80000},      {136, 0x100000}, {130, 0x200000}, {SYMBOL_CHARSET, 0x80000000u}};
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  bool symbolRange = os2->usFirstCharIndex >= 0xf000 && os2->usFirstCharIndex < 0xf100;
  uint32_t codePages = os2->version != 0 ? os2->ulCodePageRange1 : symbolRange ? 0x80000000u : 0x1u;
  for (int i = 0; codePages == 0 && i < face->num_charmaps; ++i) {
    FT_Encoding encoding = face->charmaps[i]->encoding;
    if (encoding == FT_ENCODING_UNICODE || encoding == FT_ENCODING_APPLE_ROMAN) codePages |= 0x1;
    if (encoding == FT_ENCODING_MS_SYMBOL) codePages |= 0x80000000u;
  }
  if (requested == DEFAULT_CHARSET) requested = ANSI_CHARSET;
  for (const auto& entry : kCharSets)
    if (entry.charSet == requested && (codePages & entry.codePages) != 0) return requested;
  for (const auto& entry : kCharSets)
    if ((codePages & entry.codePages) != 0) return entry.charSet;
  return requested;
}

// Whether the font's gasp table asks for monochrome at this size.
bool GaspForbidsGrey(FT_Face face) {
  std::vector<uint8_t> table = SfntTable(face, TTAG_gasp);
  if (table.size() < 8) return false;
  size_t records = Word(table, 2);
  if (Word(table, 0) > 1 || table.size() < 4 + records * 4) return false;
  constexpr uint16_t kDoGray = 0x02;
  uint16_t flags = 0;
  for (size_t i = 0; i < records; ++i) {
    flags = Word(table, 4 + i * 4 + 2);
    if (face->size->metrics.y_ppem <= Word(table, 4 + i * 4)) break;
  }
  return (flags & kDoGray) == 0;
}

int GdiRound(double value) { return static_cast<int>(std::floor(value + 0.5)); }

class ScalableFont final : public RealFont {
 public:
  ScalableFont(FacePtr face, const LOGFONTW& request) : face_(std::move(face)) {
    FT_Face ft = face_.get();
    name_ = FamilyName(ft);
    fakeBold_ = request.lfWeight > 550 && (ft->style_flags & FT_STYLE_FLAG_BOLD) == 0;
    fakeItalic_ = request.lfItalic != 0 && (ft->style_flags & FT_STYLE_FLAG_ITALIC) == 0;
    VdmxEntry vdmx = FindVdmx(ft, request.lfHeight);
    ppem_ = vdmx.ppem != 0 ? vdmx.ppem : PpemForHeight(ft, request.lfHeight);
    FT_Set_Pixel_Sizes(ft, 0, static_cast<FT_UInt>(ppem_));
    charSet_ = ResolveCharSet(ft, request.lfCharSet);
    PickCharmap(ft, charSet_ == SYMBOL_CHARSET);
    SetOutlineMetrics(vdmx);
    SetTransforms(request);
    ScaleMetrics(request);

    if (request.lfQuality == NONANTIALIASED_QUALITY) {
      antialiased_ = false;
    } else {
      // Grey text unless the font's own table says monochrome at this
      // size; synthetic bold and italic stay grey whatever it says.
      antialiased_ = fakeBold_ || fakeItalic_ || !GaspForbidsGrey(ft);
    }
  }

  ~ScalableFont() override {
    std::lock_guard<std::mutex> lock(gFreeTypeLock);
    face_.reset();
  }

  const TEXTMETRICW& Metrics() const override { return metrics_; }
  TextLines Lines() const override { return lines_; }
  const std::u16string& FaceName() const override { return name_; }
  bool Antialiased() const override { return antialiased_; }

  const GlyphImage& Glyph(char16_t unit) override {
    std::lock_guard<std::mutex> lock(gFreeTypeLock);
    auto found = glyphs_.find(unit);
    if (found != glyphs_.end()) return found->second;
    return glyphs_.emplace(unit, MakeGlyph(unit)).first->second;
  }

  int CharWidth(char16_t unit) override {
    std::lock_guard<std::mutex> lock(gFreeTypeLock);
    auto found = widths_.find(unit);
    if (found != widths_.end()) return found->second;
    int width = 0;
    FT_Glyph_Metrics metrics;
    // Measured from the outline hinted for grey levels, whatever the
    // pictures are drawn with, as the platform measures.
    if (LoadGlyph(unit, FT_LOAD_TARGET_NORMAL | FT_LOAD_NO_BITMAP, &metrics)) {
      if (!transformed_) {
        width = static_cast<int>(Advance(metrics.horiAdvance, nullptr).x >> 6);
      } else {
        FT_Vector advance = Advance(metrics.horiAdvance, &unrotated_);
        width = static_cast<int>(FT_Vector_Length(&advance) >> 6);
      }
    }
    widths_.emplace(unit, width);
    return width;
  }

 private:
  // The metrics of the font at its em size, before width scaling and
  // synthetic bold: what clips glyph boxes and scales widths.
  void SetOutlineMetrics(const VdmxEntry& vdmx) {
    FT_Face ft = face_.get();
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA));
    emScale_ = FT_MulDiv(ppem_, 1 << 16, ft->units_per_EM);
    avgWidthUnits_ = os2->xAvgCharWidth;
    auto scale = [&](long units) { return static_cast<LONG>(FT_MulFix(units, emScale_)); };
    long ascent = os2->usWinAscent, descent = std::abs(static_cast<int16_t>(os2->usWinDescent));
    if (ascent + descent == 0) {
      ascent = hhea->Ascender;
      descent = -hhea->Descender;
    }
    TEXTMETRICW& tm = outline_;
    if (vdmx.yMax != 0) {
      tm.tmAscent = vdmx.yMax;
      tm.tmDescent = -vdmx.yMin;
      tm.tmInternalLeading = tm.tmAscent + tm.tmDescent - ft->size->metrics.y_ppem;
    } else {
      tm.tmAscent = scale(ascent);
      tm.tmDescent = scale(descent);
      tm.tmInternalLeading = scale(ascent + descent - ft->units_per_EM);
    }
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    // The line gap beyond what the Windows ascent and descent already
    // hold.
    tm.tmExternalLeading =
        std::max<LONG>(0, scale(hhea->Line_Gap - ((ascent + descent) - (hhea->Ascender - hhea->Descender))));
    tm.tmAveCharWidth = std::max<LONG>(1, scale(os2->xAvgCharWidth));
    tm.tmMaxCharWidth = scale(ft->bbox.xMax - ft->bbox.xMin);
    tm.tmWeight = FW_NORMAL;
    if (fakeBold_) {
      tm.tmWeight = FW_BOLD;
    } else if ((ft->style_flags & FT_STYLE_FLAG_BOLD) != 0) {
      if (os2->usWeightClass > FW_MEDIUM) tm.tmWeight = os2->usWeightClass;
    } else if (os2->usWeightClass <= FW_MEDIUM) {
      tm.tmWeight = os2->usWeightClass;
    }
    tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 96;
    bool symbol = false;
    for (int i = 0; i < ft->num_charmaps; ++i) symbol = symbol || ft->charmaps[i]->encoding == FT_ENCODING_MS_SYMBOL;
    if (symbol || (os2->usFirstCharIndex >= 0xf000 && os2->usFirstCharIndex < 0xf100)) {
      tm.tmFirstChar = 0;
      tm.tmLastChar = 0xf0ff;
      tm.tmBreakChar = 0x20;
      tm.tmDefaultChar = 0x1f;
    } else {
      tm.tmFirstChar = os2->usFirstCharIndex;
      tm.tmLastChar = os2->usLastCharIndex;
      tm.tmBreakChar = os2->usFirstCharIndex <= 1     ? os2->usFirstCharIndex + 2
                       : os2->usFirstCharIndex > 0xff ? 0x20
                                                      : os2->usFirstCharIndex;
      tm.tmDefaultChar = static_cast<WCHAR>(tm.tmBreakChar - 1);
    }
    tm.tmItalic = fakeItalic_ || (ft->style_flags & FT_STYLE_FLAG_ITALIC) != 0 ? 255 : 0;
    // TMPF_FIXED_PITCH is set for proportional fonts: the name is the
    // opposite of its meaning.
    enum { kFamilyType, kSerifStyle, kProportion = 3 };
    constexpr uint8_t kMonospaced = 9, kScript = 3, kDecorative = 4;
    fixedPitch_ = FT_IS_FIXED_WIDTH(ft) || os2->panose[kProportion] == kMonospaced;
    BYTE pitch = fixedPitch_ ? 0 : TMPF_FIXED_PITCH;
    if (os2->panose[kFamilyType] == kScript) {
      pitch |= FF_SCRIPT;
    } else if (os2->panose[kFamilyType] == kDecorative) {
      pitch |= FF_DECORATIVE;
    } else if (fixedPitch_) {
      pitch = FF_MODERN;
    } else if (os2->panose[kSerifStyle] >= 2 && os2->panose[kSerifStyle] <= 10) {
      pitch |= FF_ROMAN;
    } else if (os2->panose[kSerifStyle] >= 11 && os2->panose[kSerifStyle] <= 15) {
      pitch |= FF_SWISS;
    }
    // PostScript outlines make an OpenType font a "device" font.
    bool postScript = !SfntTable(ft, TTAG_CFF).empty();
    tm.tmPitchAndFamily = pitch | TMPF_VECTOR | (postScript ? TMPF_DEVICE : TMPF_TRUETYPE);
    tm.tmCharSet = charSet_;
    auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(ft, FT_SFNT_POST));
    if (post != nullptr) {
      lines_.underlinePosition = scale(post->underlinePosition);
      lines_.underlineSize = scale(post->underlineThickness);
    }
    lines_.strikeOutPosition = scale(os2->yStrikeoutPosition);
    lines_.strikeOutSize = scale(os2->yStrikeoutSize);
  }

  // The transforms of the hinted outline: width scaling and slant, then
  // the rotation by the escapement.
  void SetTransforms(const LOGFONTW& request) {
    unrotated_ = {1 << 16, 0, 0, 1 << 16};
    long averageWidth = std::labs(request.lfWidth);
    // An absurd width for the height is ignored rather than rendered.
    if (averageWidth != 0 &&
        (outline_.tmHeight <= 0 || (averageWidth + outline_.tmHeight - 1) / outline_.tmHeight > 100))
      averageWidth = 0;
    widthRatio_ = averageWidth != 0 ? static_cast<double>(averageWidth) / outline_.tmAveCharWidth : 1.0;
    if (widthRatio_ != 1.0) {
      FT_Matrix scale = {static_cast<FT_Fixed>(widthRatio_ * 65536), 0, 0, 1 << 16};
      FT_Matrix_Multiply(&scale, &unrotated_);
      transformed_ = true;
    }
    if (fakeItalic_) {
      FT_Matrix slant = {1 << 16, 1 << 14, 0, 1 << 16};
      FT_Matrix_Multiply(&slant, &unrotated_);
      transformed_ = true;
    }
    rotated_ = unrotated_;
    if (request.lfEscapement % 3600 != 0) {
      FT_Vector unit;
      FT_Vector_Unit(&unit, FT_MulDiv(1 << 16, request.lfEscapement, 10));
      FT_Matrix rotation = {unit.x, -unit.y, unit.y, unit.x};
      FT_Matrix_Multiply(&rotation, &rotated_);
      transformed_ = true;
    }
  }

  // What GetTextMetricsW answers: the outline metrics with synthetic bold
  // widening and the width scaling applied.
  void ScaleMetrics(const LOGFONTW& request) {
    metrics_ = outline_;
    if (fakeBold_) {
      ++metrics_.tmAveCharWidth;
      ++metrics_.tmMaxCharWidth;
    }
    metrics_.tmAveCharWidth = GdiRound(metrics_.tmAveCharWidth * widthRatio_);
    metrics_.tmMaxCharWidth = GdiRound(metrics_.tmMaxCharWidth * widthRatio_);
    metrics_.tmUnderlined = request.lfUnderline != 0 ? 255 : 0;
    metrics_.tmStruckOut = request.lfStrikeOut != 0 ? 255 : 0;
  }

  FT_UInt GlyphIndex(char16_t unit) const {
    FT_Face ft = face_.get();
    if (ft->charmap == nullptr || ft->charmap->encoding != FT_ENCODING_MS_SYMBOL) return FT_Get_Char_Index(ft, unit);
    // Symbol fonts map their characters at U+F0xx, old ones at U+00xx.
    FT_ULong code = unit < 0x100 ? unit + 0xf000u : unit;
    FT_UInt index = FT_Get_Char_Index(ft, code);
    return index != 0 || code < 0xf000 ? index : FT_Get_Char_Index(ft, code - 0xf000);
  }

  // Loads a unit's glyph (the font's first glyph when it has none) hinted
  // for the target in flags, emboldened when the font is synthetic bold;
  // metrics get its box, clipped to the font's ascent and descent.
  bool LoadGlyph(char16_t unit, FT_Int32 flags, FT_Glyph_Metrics* metrics) {
    FT_Face ft = face_.get();
    FT_UInt index = GlyphIndex(unit);
    flags |= FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH;
    if (FT_Load_Glyph(ft, index, flags) != 0 && FT_Load_Glyph(ft, index, flags | FT_LOAD_NO_HINTING) != 0) return false;
    FT_GlyphSlot slot = ft->glyph;
    *metrics = slot->metrics;
    if (fakeBold_) {
      if (slot->format == FT_GLYPH_FORMAT_OUTLINE &&
          FT_Outline_Embolden(&slot->outline, FT_MulDiv(ppem_, 64, 24)) == 0) {
        FT_BBox box;
        FT_Outline_Get_CBox(&slot->outline, &box);
        metrics->width = box.xMax - box.xMin;
        metrics->height = box.yMax - box.yMin;
        metrics->horiBearingX = box.xMin;
        metrics->horiBearingY = box.yMax;
      } else if (metrics->width != 0) {
        metrics->width += 64;
      }
    }
    FT_Pos top = std::min<FT_Pos>(metrics->horiBearingY, outline_.tmAscent * 64);
    FT_Pos bottom = std::max<FT_Pos>(metrics->horiBearingY - metrics->height, -outline_.tmDescent * 64);
    metrics->horiBearingY = top;
    metrics->height = top - bottom;
    return true;
  }

  // The pen's movement for an advance width (26.6) through a transform:
  // rounded up to whole pixels, y pointing down.
  FT_Vector Advance(FT_Pos width, const FT_Matrix* transform) const {
    FT_Vector advance = {width, 0};
    // A fixed-pitch font's full-width characters move exactly two
    // half-width cells.
    bool fullWidth = false;
    FT_Pos average = FT_MulFix(avgWidthUnits_, emScale_);
    if (fixedPitch_) {
      fullWidth = average > 0 && (width + 63) >> 6 == FT_MulFix(avgWidthUnits_ * 2, emScale_);
      if (fullWidth && transform == nullptr) advance.x = (average * 2) << 6;
    }
    if (transform != nullptr) {
      FT_Vector_Transform(&advance, transform);
      if (fullWidth && advance.y == 0) {
        FT_Vector cell = {avgWidthUnits_, 0};
        FT_Vector_Transform(&cell, transform);
        advance.x = (FT_MulFix(cell.x, emScale_) * 2) << 6;
      }
    }
    if (fakeBold_) {
      if (transform == nullptr) {
        advance.x += 1 << 6;
      } else {
        // One more pixel along the (transformed) baseline.
        FT_Vector step = {1 << 6, 0};
        FT_Vector_Transform(&step, transform);
        FT_Fixed length = FT_Vector_Length(&step);
        if (length != 0) {
          advance.x += step.x * 64 / length;
          advance.y += step.y * 64 / length;
        }
      }
    }
    advance.x = (advance.x + 63) & -64;
    advance.y = -((advance.y + 63) & -64);
    return advance;
  }

  GlyphImage MakeGlyph(char16_t unit) {
    GlyphImage image;
    FT_Face ft = face_.get();
    // Embedded bitmaps serve only untransformed monochrome text.
    FT_Int32 flags = antialiased_ ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO;
    if (antialiased_ || transformed_) flags |= FT_LOAD_NO_BITMAP;
    FT_Glyph_Metrics metrics;
    if (!LoadGlyph(unit, flags, &metrics)) return image;
    FT_BBox box;
    if (!transformed_) {
      box.xMin = metrics.horiBearingX & -64;
      box.xMax = (metrics.horiBearingX + metrics.width + 63) & -64;
      box.yMax = (metrics.horiBearingY + 63) & -64;
      box.yMin = (metrics.horiBearingY - metrics.height) & -64;
    } else {
      box = {LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
      for (int corner = 0; corner < 4; ++corner) {
        FT_Vector v = {metrics.horiBearingX + (corner & 1) * metrics.width,
                       metrics.horiBearingY - (corner >> 1) * metrics.height};
        FT_Vector_Transform(&v, &rotated_);
        box.xMin = std::min(box.xMin, v.x);
        box.xMax = std::max(box.xMax, v.x);
        box.yMin = std::min(box.yMin, v.y);
        box.yMax = std::max(box.yMax, v.y);
      }
      box.xMin &= -64;
      box.xMax = (box.xMax + 63) & -64;
      box.yMin &= -64;
      box.yMax = (box.yMax + 63) & -64;
    }
    FT_Vector advance = Advance(metrics.horiAdvance, transformed_ ? &rotated_ : nullptr);
    image.advanceX = static_cast<int>(advance.x >> 6);
    image.advanceY = static_cast<int>(advance.y >> 6);
    image.left = static_cast<int>(box.xMin >> 6);
    image.top = -static_cast<int>(box.yMax >> 6);
    long width = (box.xMax - box.xMin) >> 6, height = (box.yMax - box.yMin) >> 6;
    // A glyph too large to be worth a picture (an absurd size) draws
    // nothing rather than exhausting memory.
    constexpr long kMaxPixels = 1L << 24;
    if (width <= 0 || height <= 0 || width * height > kMaxPixels) return image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.levels.assign(static_cast<size_t>(width * height), 0);
    FT_GlyphSlot slot = ft->glyph;
    if (slot->format == FT_GLYPH_FORMAT_BITMAP) {
      // An embedded monochrome bitmap, copied from its top-left corner;
      // synthetic bold smears each row one pixel to the right.
      const FT_Bitmap& bitmap = slot->bitmap;
      long rows = std::min<long>(height, bitmap.rows), columns = std::min<long>(width, bitmap.width);
      for (long y = 0; y < rows; ++y) {
        const uint8_t* row = bitmap.buffer + y * bitmap.pitch;
        for (long x = 0; x < columns; ++x) {
          if ((row[x >> 3] & (0x80 >> (x & 7))) == 0) continue;
          image.levels[y * width + x] = 16;
          if (fakeBold_ && x + 1 < width) image.levels[y * width + x + 1] = 16;
        }
      }
      return image;
    }
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return image;
    if (transformed_) FT_Outline_Transform(&slot->outline, &rotated_);
    FT_Outline_Translate(&slot->outline, -box.xMin, -box.yMin);
    FT_Bitmap target{};
    target.width = static_cast<unsigned>(width);
    target.rows = static_cast<unsigned>(height);
    target.pitch = antialiased_ ? static_cast<int>(width) : static_cast<int>((width + 7) / 8);
    target.pixel_mode = antialiased_ ? FT_PIXEL_MODE_GRAY : FT_PIXEL_MODE_MONO;
    target.num_grays = 256;
    std::vector<uint8_t> pixels(static_cast<size_t>(target.pitch) * height, 0);
    target.buffer = pixels.data();
    if (FT_Outline_Get_Bitmap(Library(), &slot->outline, &target) != 0) return image;
    for (long y = 0; y < height; ++y) {
      const uint8_t* row = pixels.data() + y * target.pitch;
      for (long x = 0; x < width; ++x) {
        // 256 grey levels become the platform's 17.
        image.levels[y * width + x] =
            static_cast<uint8_t>(antialiased_ ? row[x] * 17 / 256 : (row[x >> 3] >> (7 - (x & 7)) & 1) * 16);
      }
    }
    return image;
  }

  FacePtr face_;
  std::u16string name_;
  TEXTMETRICW outline_{};
  TEXTMETRICW metrics_{};
  TextLines lines_;
  long ppem_ = 0;
  FT_Fixed emScale_ = 0;
  FT_Short avgWidthUnits_ = 0;
  bool fixedPitch_ = false;
  bool fakeBold_ = false;
  bool fakeItalic_ = false;
  bool antialiased_ = true;
  double widthRatio_ = 1.0;
  BYTE charSet_ = ANSI_CHARSET;
  bool transformed_ = false;
  FT_Matrix unrotated_{};
  FT_Matrix rotated_{};
  std::unordered_map<char16_t, GlyphImage> glyphs_;
  std::unordered_map<char16_t, int> widths_;
};

}  // namespace

std::vector<ScalableFace> ScalableFaces(const std::string& path) {
  std::lock_guard<std::mutex> lock(gFreeTypeLock);
  FT_Library library = Library();
  FT_Face probe = nullptr;
  // Face -1 asks only how many faces the file holds.
  if (library == nullptr || FT_New_Face(library, path.c_str(), -1, &probe) != 0) return {};
  long count = probe->num_faces;
  FT_Done_Face(probe);
  std::vector<ScalableFace> faces;
  bool any = false;
  for (long index = 0; index < count; ++index) {
    FacePtr face = OpenFace(path, index);
    ScalableFace& entry = faces.emplace_back();
    if (face == nullptr) continue;
    entry.family = FamilyName(face.get());
    entry.bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    entry.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    any = true;
  }
  if (!any) faces.clear();
  return faces;
}

std::unique_ptr<RealFont> RealizeScalableFont(const std::string& path, int faceIndex, const LOGFONTW& request) {
  std::lock_guard<std::mutex> lock(gFreeTypeLock);
  if (faceIndex < 0) return nullptr;
  FacePtr face = OpenFace(path, faceIndex);
  if (face == nullptr) return nullptr;
  return std::make_unique<ScalableFont>(std::move(face), request);
}

}  // namespace gdi

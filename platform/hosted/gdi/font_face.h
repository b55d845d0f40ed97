// A font as the text calls use it: one face realised at one size, style
// and angle, as the platform picks it for a LOGFONTW. Two kinds make them:
// bitmap fonts read from Windows .fon files and scalable fonts rendered by
// FreeType; the text calls know neither.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform.h"

namespace gdi {

// One character's picture and how far it moves the pen, in device pixels
// (y grows downwards, as on the bitmap).
struct GlyphImage {
  // From the pen position (on the baseline) to the picture's top-left
  // pixel.
  int left = 0;
  int top = 0;  // negative: the picture starts above the baseline
  int width = 0;
  int height = 0;
  // The pen's movement after the character; both are used by rotated text.
  int advanceX = 0;
  int advanceY = 0;
  // width x height coverage levels, top row first: 0 (none) to 16 (full),
  // the platform's 17 levels; pictures drawn without antialiasing hold
  // only 0 and 16.
  std::vector<uint8_t> levels;
};

// Where a font's underline and strike-out go, as GetOutlineTextMetricsW
// gives them for scalable fonts (otmsUnderscorePosition and -Size,
// otmsStrikeoutPosition and -Size): positions in pixels above the baseline
// (negative: below), thicknesses in pixels. A line of thickness t at
// position p covers the rows from p + t / 2 above the baseline, t rows
// down, along the whole string.
struct TextLines {
  int underlinePosition = 0;
  int underlineSize = 0;
  int strikeOutPosition = 0;
  int strikeOutSize = 0;
};

class RealFont {
 public:
  virtual ~RealFont() = default;
  // What GetTextMetricsW answers for the font.
  virtual const TEXTMETRICW& Metrics() const = 0;
  // The face name GetTextFaceW answers.
  virtual const std::u16string& FaceName() const = 0;
  // Whether the font is drawn with levels between 0 and 16.
  virtual bool Antialiased() const = 0;
  // The picture of a UTF-16 unit; one the font lacks gets the font's
  // default character's. Pictures are made once and kept; the reference
  // stays valid as long as the font does.
  virtual const GlyphImage& Glyph(char16_t unit) = 0;
  // The width a UTF-16 unit adds to a measured text (GetCharWidth32W,
  // GetTextExtentPoint32W) and to the current position. Scalable fonts
  // measure from outlines hinted for grey levels, so for monochrome or
  // rotated text this can differ from the picture's advance, which moves
  // the pen between the characters of one unrotated call.
  virtual int CharWidth(char16_t unit) { return Glyph(unit).advanceX; }
  // Where the font's underline and strike-out are drawn when it has them.
  virtual TextLines Lines() const = 0;
};

// A bitmap font face read from a .fon file: the faces (one per size) of
// one file, as the file describes them. Made by ReadFonFile.
struct FonFace;

// The faces in the bytes of a .fon file (a 16-bit Windows executable
// whose font resources hold bitmap fonts); none when the bytes are not
// such a file or are damaged anywhere they are read.
std::vector<std::shared_ptr<const FonFace>> ReadFonFile(const std::vector<uint8_t>& bytes);
// A face's name, its cell height in pixels and its character set.
const std::u16string& FonFaceName(const FonFace& face);
int FonFacePixelHeight(const FonFace& face);
int FonFaceCharSet(const FonFace& face);

// The platform's choice among the sizes of one bitmap family for a
// LOGFONTW (lfFaceName already matched), with its scaling and its
// synthetic bold, italic, underline and strike-out; null when the family
// has no sizes.
std::unique_ptr<RealFont> RealizeBitmapFont(const std::vector<std::shared_ptr<const FonFace>>& family,
                                            const LOGFONTW& request);

// Each face in a scalable font file (TrueType or OpenType, or a collection
// of them), by face index: its family name and style; an unreadable face
// has no name. Empty when FreeType cannot open the file.
struct ScalableFace {
  std::u16string family;
  bool bold = false;
  bool italic = false;
};
std::vector<ScalableFace> ScalableFaces(const std::string& path);
// A scalable face realised for a LOGFONTW (lfFaceName already matched):
// height as cell (positive) or character (negative) height, width,
// weight (synthetic bold where the face has none), italic (synthetic
// slant), underline, strike-out, escapement (rotated pictures and
// advances), quality; null when the face cannot be loaded.
std::unique_ptr<RealFont> RealizeScalableFont(const std::string& path, int faceIndex, const LOGFONTW& request);

}  // namespace gdi
